#include "core/tools/ToolAdapter.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ftw.h>

namespace twinlantern {

void ToolAdapter::launch(const Profile&) const {
    throw TwinLanternError::unsupported(std::string(displayName(kind_)) +
                                        " runs in your terminal; there's nothing to launch.");
}

bool ToolAdapter::isPrepared(const std::string& dataDirectory) const {
    return PathUtil::isDirectory(dataDirectory);
}

std::optional<std::string> ToolAdapter::dataDirectory(const Profile& profile) const {
    if (profile.storage == Profile::Storage::system || !profile.id.isValid()) {
        return std::nullopt;
    }
    return context_.paths.dataDirectory(kind_, profile.id);
}

std::optional<std::string> ToolAdapter::createDataDirectory(const Profile& profile) const {
    if (profile.storage == Profile::Storage::system) {
        return std::nullopt;
    }
    auto folder = dataDirectory(profile);
    if (!folder) {
        throw TwinLanternError::invalidProfile("“" + profile.id.rawValue +
                                               "” isn't a valid profile id.");
    }
    if (!makeDirectories(*folder, 0700)) {
        throw TwinLanternError::io("Couldn't create " + *folder + ": " + std::strerror(errno));
    }
    return folder;
}

namespace {
int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path) == 0 ? 0 : errno;
}
} // namespace

void ToolAdapter::deleteDataDirectory(const Profile& profile) const {
    if (profile.storage == Profile::Storage::system) {
        return;
    }
    auto folder = dataDirectory(profile);
    const std::string path = folder ? *folder : context_.paths.dataDirectory(kind_, profile.id);
    if (!folder || !context_.paths.isInsideSupportDirectory(path)) {
        throw TwinLanternError::unsafeDeletion(path);
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return;
        }
        throw TwinLanternError::io("Couldn't delete " + path + ": " + std::strerror(errno));
    }
    // Depth first, links removed as links, never followed.
    const int failed = S_ISDIR(st.st_mode)
                           ? ::nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS)
                           : (::unlink(path.c_str()) == 0 ? 0 : errno);
    if (failed != 0) {
        const int err = failed > 0 ? failed : errno;
        throw TwinLanternError::io("Couldn't delete " + path + ": " + std::strerror(err));
    }
}

} // namespace twinlantern
