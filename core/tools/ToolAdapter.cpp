#include "core/tools/ToolAdapter.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"

#include <cerrno>
#include <cstring>

namespace twinlantern {

void ToolAdapter::launch(const Profile&) const {
    throw TwinLanternError::unsupported(std::string(displayName(kind_)) +
                                        " runs in your terminal; there's nothing to launch.");
}

bool ToolAdapter::isPrepared(const std::string& dataDirectory) const {
    return PathUtil::isDirectory(dataDirectory);
}

std::optional<std::string> ToolAdapter::dataDirectory(const Profile& profile) const {
    if (profile.storage == Profile::Storage::system) {
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

void ToolAdapter::deleteDataDirectory(const Profile& profile) const {
    if (profile.storage == Profile::Storage::system) {
        return;
    }
    const auto folder = dataDirectory(profile);
    if (!folder || !context_.paths.isInsideSupportDirectory(*folder)) {
        // The id as it would read below the support folder; it never becomes a path.
        throw TwinLanternError::unsafeDeletion(folder.value_or(context_.paths.supportDirectory() +
                                                               "/" + dataFolderName(kind_) + "/" +
                                                               profile.id.rawValue));
    }
    const std::string& path = *folder;
    if (const int err = removeTreeWithoutFollowing(path); err != 0) {
        throw TwinLanternError::io("Couldn't delete " + path + ": " + std::strerror(err));
    }
}

} // namespace twinlantern
