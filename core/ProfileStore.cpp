#include "core/ProfileStore.h"

#include "core/FileUtil.h"
#include "core/Json.h"
#include "core/JsonDecode.h"
#include "core/TwinLanternError.h"
#include "core/UniqueFd.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace twinlantern {

namespace {

// Holds the exclusive flock; released before the descriptor closes.
class FileLock {
public:
    explicit FileLock(int fd) : fd_(fd) {}
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() { ::flock(fd_, LOCK_UN); }

private:
    int fd_;
};

std::optional<std::int64_t> probeVersion(const nlohmann::json& j) {
    if (!j.is_object()) {
        return std::nullopt;
    }
    auto it = j.find("version");
    if (it == j.end()) {
        return std::nullopt;
    }
    if (it->is_number_unsigned()) {
        auto v = it->get<std::uint64_t>();
        if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(v);
    }
    if (it->is_number_integer()) {
        return it->get<std::int64_t>();
    }
    return std::nullopt;
}

} // namespace

ProfileDocument ProfileStore::load() const {
    const std::string file = paths_.profilesFile();
    ReadResult read = readWholeFile(file);
    if (!read.bytes) {
        if (read.error == ENOENT) {
            return ProfileDocument::empty();
        }
        throw TwinLanternError::io("Couldn't read " + file + ": " + std::strerror(read.error));
    }
    return decode(*read.bytes, file);
}

ProfileDocument ProfileStore::decode(std::string_view bytes, const std::string& path) {
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(bytes.begin(), bytes.end());
    } catch (const nlohmann::json::parse_error& e) {
        throw TwinLanternError::storeCorrupt(path, std::string("the file isn't valid JSON (") +
                                                       e.what() + ")");
    }
    if (auto version = probeVersion(j); version && *version > ProfileDocument::currentVersion) {
        throw TwinLanternError::storeTooNew(*version);
    }
    try {
        if (!j.is_object()) {
            throw JsonDecodeError("the file should hold an object but holds " + json_decode::typeName(j));
        }
        return j.get<ProfileDocument>();
    } catch (const JsonDecodeError& e) {
        throw TwinLanternError::storeCorrupt(path, e.what());
    } catch (const nlohmann::json::exception& e) {
        throw TwinLanternError::storeCorrupt(path, e.what());
    }
}

void ProfileStore::ensureSupportDirectory() const {
    const std::string dir = paths_.supportDirectory();
    struct stat st{};
    if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return; // an existing folder keeps its mode
    }
    if (!makeDirectories(dir, 0700)) {
        throw TwinLanternError::io("Couldn't create " + dir + ": " + std::strerror(errno));
    }
}

void ProfileStore::updateImpl(const std::function<void(ProfileDocument&)>& change) {
    ensureSupportDirectory();
    const std::string lockPath = paths_.lockFile();
    UniqueFd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd) {
        throw TwinLanternError::io("Couldn't open " + lockPath + ": " + std::strerror(errno));
    }
    ::fchmod(fd.get(), 0600); // the umask must not widen it
    while (::flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            throw TwinLanternError::io(std::string("Couldn't lock profiles: ") + std::strerror(errno));
        }
    }
    FileLock lock(fd.get());

    const ProfileDocument current = load();
    ProfileDocument changed = current;
    change(changed);
    if (changed == current) {
        return;
    }
    changed.version = ProfileDocument::currentVersion;
    changed.validate();
    write(changed);
}

void ProfileStore::write(const ProfileDocument& document) const {
    const std::string bytes = jsonText(nlohmann::json(document));
    auto failure = writeFileAtomically(paths_.profilesFile(), bytes, 0600);
    if (!failure) {
        return;
    }
    if (failure->stage == AtomicWriteFailure::Stage::create) {
        throw TwinLanternError::io("Couldn't write " + failure->temporaryPath + ": " +
                                   std::strerror(failure->error));
    }
    throw TwinLanternError::io(std::string("Couldn't save profiles: ") + std::strerror(failure->error));
}

} // namespace twinlantern
