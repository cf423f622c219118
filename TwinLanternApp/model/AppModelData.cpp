#include "TwinLanternApp/model/ActionSupport.h"
#include "TwinLanternApp/model/AppModel.h"

#include "TwinLanternMac/LauncherGenerator.h"
#include "core/base/FileUtil.h"
#include "core/base/Json.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"
#include "core/profiles/ProfileDocumentReader.h"

#include <algorithm>
#include <cstring>

namespace twinlantern::app {

using actions::report;

std::string AppModel::exportData() const {
    return jsonText(nlohmann::json(document_));
}

void AppModel::exportTo(const std::string& path) const {
    const std::string text = exportData();
    // Atomic, so a failed write leaves the old export whole; a link stays a link.
    if (const int error = writeFileThroughLinks(path, text, 0644); error != 0) {
        std::string what = "write ";
        what += paths_.abbreviate(path);
        throw TwinLanternError::ioErrno(what, error);
    }
}

std::string AppModel::importData(std::string_view bytes) {
    ProfileDocument imported;
    try {
        // The document alone: an export's version and default are not ours to take.
        imported = ProfileDocumentReader::decodeDocument(bytes);
    } catch (...) {
        setAlert("That file isn't a TwinLantern profiles export.");
        return {};
    }
    int added = 0;
    auto error = changeReporting([&](ProfileDocument& document) {
        added = 0;
        for (const Profile& profile : imported.profiles) {
            const bool secondSystem =
                profile.storage == Profile::Storage::system &&
                std::any_of(document.profiles.begin(), document.profiles.end(),
                            [](const Profile& p) { return p.storage == Profile::Storage::system; });
            if (document.profile(profile.id) || document.profileNamed(profile.name) ||
                secondSystem) {
                continue;
            }
            document.profiles.push_back(profile);
            ++added;
        }
        for (const FolderRule& rule : imported.rules) {
            const bool taken =
                std::any_of(document.rules.begin(), document.rules.end(),
                            [&rule](const FolderRule& r) { return r.id() == rule.id(); });
            if (!document.profile(rule.profileID) || taken) {
                continue;
            }
            document.rules.push_back(rule);
        }
    });
    if (error) {
        setAlert(std::move(error));
        return {};
    }
    std::string message = "Imported ";
    message += std::to_string(added);
    message += added == 1 ? " profile" : " profiles";
    message += ". Sign each one in to use it.";
    return message;
}

// ---- Remove everything ----

struct AppModel::Removal {
    std::vector<Profile> profiles;
    std::size_t next = 0;
    Done done;
};

void AppModel::removeEverything(Done done) {
    auto removal = std::make_shared<Removal>();
    removal->profiles = document_.profiles;
    removal->done = std::move(done);
    removeNext(removal);
}

void AppModel::removeNext(const std::shared_ptr<Removal>& removal) {
    // One deletion at a time; system profiles only go with the file.
    while (removal->next < removal->profiles.size()) {
        const Profile& profile = removal->profiles[removal->next++];
        if (profile.storage == Profile::Storage::managed) {
            deleteProfile(profile, weakly([removal](AppModel& m) { m.removeNext(removal); }));
            return;
        }
    }
    finishRemoval(removal);
}

void AppModel::finishRemoval(const std::shared_ptr<Removal>& removal) {
    auto finish = [&removal] {
        if (removal->done) {
            removal->done();
        }
    };
    if (alert_) {
        finish(); // a deletion refused, or an alert was already up
        return;
    }
    const std::string launcher = bundledBinary("twinlantern-launcher");
    if (PathUtil::isExecutableFile(launcher)) {
        LauncherGenerator(paths_, launcher, DesktopInstall::bundleID, context_.environment)
            .removeAll();
    }
    if (shellStatus_ && (shellStatus_->binariesInstalled || !shellStatus_->blocks.empty())) {
        uninstallShell();
        if (alert_) {
            finish(); // the shell files still point at what the folder holds
            return;
        }
    }
    const std::string support = paths_.supportDirectory();
    const int error = removeTreeWithoutFollowing(support);
    reload();
    if (error != 0) {
        std::string message = "Couldn't remove ";
        message += paths_.abbreviate(support);
        message += ": ";
        message += std::strerror(error);
        setAlert(std::move(message));
    } else {
        report("Everything TwinLantern added has been removed");
    }
    finish();
}

} // namespace twinlantern::app
