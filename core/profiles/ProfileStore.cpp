#include "core/profiles/ProfileStore.h"

#include "core/base/FileUtil.h"
#include "core/base/Json.h"
#include "core/base/JsonDecode.h"
#include "core/base/LockFile.h"
#include "core/base/TwinLanternError.h"
#include "core/profiles/ProfileDocumentReader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace twinlantern {

ProfileDocument ProfileStore::load() const {
    const std::string file = paths_.profilesFile();
    ReadResult read = readWholeFile(file, maxFileBytes);
    if (!read.bytes) {
        if (read.error == ENOENT) {
            return ProfileDocument::empty();
        }
        if (read.error == EFBIG) {
            throw TwinLanternError::storeCorrupt(
                file, "the file is larger than " + std::to_string(maxFileBytes >> 20) + " MiB");
        }
        // A FIFO or a device is refused unopened; "Invalid argument" would not say why.
        throw TwinLanternError::io("Couldn't read " + file + ": " +
                                   (read.error == EINVAL ? std::string("it isn't a regular file")
                                                         : std::strerror(read.error)));
    }
    return decode(*read.bytes, file);
}

ProfileDocument ProfileStore::decode(std::string_view bytes, const std::string& path) {
    // One validating pass on the usual path; the version probe runs only when that
    // pass fails or finds a newer format, so a newer file is refused before its shape
    // is judged.
    std::optional<ProfileDocument> document;
    std::string shapeError;
    try {
        document = ProfileDocumentReader::decodeDocument(bytes);
        if (document->version <= ProfileDocument::currentVersion) {
            return std::move(*document);
        }
    } catch (const JsonDecodeError& e) {
        shapeError = e.what();
    }
    std::optional<std::int64_t> version;
    try {
        ProfileDocumentReader::checkSyntax(bytes, version);
    } catch (const JsonDecodeError& e) {
        throw TwinLanternError::storeCorrupt(path, e.what());
    }
    if (version && *version > ProfileDocument::currentVersion) {
        throw TwinLanternError::storeTooNew(*version);
    }
    throw TwinLanternError::storeCorrupt(path, shapeError);
}

void ProfileStore::ensureSupportDirectory() const {
    const std::string dir = paths_.supportDirectory();
    struct stat st {};
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
    LockFile lock = LockFile::open(lockPath);
    if (!lock) {
        throw TwinLanternError::io("Couldn't open " + lockPath + ": " + lock.problem());
    }
    if (!lock.lock()) {
        throw TwinLanternError::io(std::string("Couldn't lock profiles: ") + std::strerror(errno));
    }

    const ProfileDocument current = load();
    ProfileDocument changed = current;
    change(changed);
    if (changed == current) {
        return;
    }
    changed.version = ProfileDocument::currentVersion;
    changed.validate(&current);
    write(changed);
}

TwinLanternError ProfileStore::tooLargeToSave() {
    return TwinLanternError::io("Couldn't save profiles: the file would be larger than " +
                                std::to_string(maxFileBytes >> 20) + " MiB");
}

void ProfileStore::write(const ProfileDocument& document) const {
    const std::string bytes = jsonText(nlohmann::json(document));
    if (bytes.size() > maxFileBytes) {
        throw tooLargeToSave();
    }
    auto failure = writeFileAtomically(paths_.profilesFile(), bytes, 0600);
    if (!failure) {
        return;
    }
    if (failure->stage == AtomicWriteFailure::Stage::create) {
        throw TwinLanternError::io("Couldn't write " + failure->temporaryPath + ": " +
                                   std::strerror(failure->error));
    }
    throw TwinLanternError::io(std::string("Couldn't save profiles: ") +
                               std::strerror(failure->error));
}

} // namespace twinlantern
