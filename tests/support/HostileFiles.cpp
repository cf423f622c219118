#include "tests/support/HostileFiles.h"

#include "core/base/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace twinlantern::testing {

const std::vector<HostileCase>& hostileCases() {
    static const std::vector<HostileCase> cases = {
        {Hostile::fifo, "a FIFO"},
        {Hostile::folder, "a folder"},
        {Hostile::devZeroLink, "a link to /dev/zero"},
        {Hostile::overLimit, "a file one byte over the limit"},
        {Hostile::sparseHuge, "a sparse 2 GB file"},
    };
    return cases;
}

void makeHostile(Hostile kind, const std::string& path, std::size_t limit,
                 std::string_view validText) {
    switch (kind) {
    case Hostile::fifo:
        ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0) << path;
        return;
    case Hostile::folder:
        ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path;
        return;
    case Hostile::devZeroLink:
        ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0) << path;
        return;
    case Hostile::overLimit:
    case Hostile::sparseHuge: {
        UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        ASSERT_TRUE(fd) << path;
        std::string text(validText);
        if (kind == Hostile::overLimit) {
            ASSERT_LE(text.size(), limit);
            text.resize(limit + 1, ' ');
        }
        ASSERT_EQ(::write(fd.get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
        if (kind == Hostile::sparseHuge) {
            ASSERT_EQ(::ftruncate(fd.get(), off_t{2} << 30), 0);
        }
        return;
    }
    }
}

FolderSnapshot snapshot(const std::string& path) {
    FolderSnapshot out;
    const auto slash = path.rfind('/');
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    struct Closer {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    if (std::unique_ptr<DIR, Closer> dir(::opendir(folder.c_str())); dir) {
        while (const dirent* entry = ::readdir(dir.get())) {
            out.entries.emplace_back(entry->d_name);
        }
    }
    std::sort(out.entries.begin(), out.entries.end());
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        out.mode = st.st_mode;
        out.size = static_cast<long long>(st.st_size);
    }
    return out;
}

void PrintTo(const FolderSnapshot& snapshot, std::ostream* out) {
    *out << "mode " << std::oct << snapshot.mode << std::dec << ", size " << snapshot.size
         << ", folder [";
    for (const auto& entry : snapshot.entries) {
        *out << " " << entry;
    }
    *out << " ]";
}

} // namespace twinlantern::testing
