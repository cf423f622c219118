#include "tests/support/DeepFolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace twinlantern::testing {

namespace {

constexpr std::size_t nameLength = 200;

// Everything in the folder `name` inside `parent`, then the folder itself.
void removeAt(int parent, const std::string& name) {
    UniqueFd fd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (const UniqueDir dir(fd ? ::fdopendir(fd.get()) : nullptr); dir) {
        fd.release(); // the stream owns it now
        std::vector<std::string> entries;
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string entryName = entry->d_name;
            if (entryName != "." && entryName != "..") {
                entries.push_back(entryName);
            }
        }
        for (const std::string& entry : entries) {
            if (::unlinkat(::dirfd(dir.get()), entry.c_str(), 0) != 0 && errno == EISDIR) {
                removeAt(::dirfd(dir.get()), entry);
            }
        }
    }
    ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

} // namespace

DeepFolder::DeepFolder(std::string base, std::size_t bytes) : base_(std::move(base)), path_(base_) {
    deepen(bytes > base_.size() ? bytes - base_.size() : 0);
}

DeepFolder::~DeepFolder() {
    if (!names_.empty()) {
        const UniqueFd base(::open(base_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        removeAt(base.get(), names_.front());
    }
}

const std::string& DeepFolder::deepen(std::size_t bytes) {
    UniqueFd at = openDeepest();
    const std::size_t goal = path_.size() + bytes;
    while (at && path_.size() < goal) {
        const std::string name(nameLength, static_cast<char>('a' + names_.size() % 26));
        if (::mkdirat(at.get(), name.c_str(), 0700) != 0) {
            ADD_FAILURE() << "mkdirat: " << std::strerror(errno);
            break;
        }
        names_.push_back(name);
        path_ += "/" + name;
        at = UniqueFd(::openat(at.get(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return path_;
}

void DeepFolder::writeFile(const std::string& name, std::string_view bytes) const {
    const UniqueFd at = openDeepest();
    const UniqueFd file(
        ::openat(at.get(), name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!file ||
        ::write(file.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        ADD_FAILURE() << "writing " << name << ": " << std::strerror(errno);
    }
}

UniqueFd DeepFolder::openDeepest() const {
    UniqueFd at(::open(base_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (const std::string& name : names_) {
        at = UniqueFd(::openat(at.get(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return at;
}

DeepFolder::Inside::Inside(const DeepFolder& folder)
    : before_(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC)) {
    const UniqueFd deepest = folder.openDeepest();
    if (!deepest || ::fchdir(deepest.get()) != 0) {
        ADD_FAILURE() << "fchdir: " << std::strerror(errno);
    }
}

DeepFolder::Inside::~Inside() {
    if (before_) {
        if (::fchdir(before_.get()) != 0) {
            // A destructor has no one to tell; the next test's own folders are absolute.
        }
    }
}

} // namespace twinlantern::testing
