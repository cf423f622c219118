#include "TwinLanternApp/model/ActionSupport.h"
#include "TwinLanternApp/model/AppModel.h"

#include "TwinLanternMac/launchers/LauncherGenerator.h"
#include "core/base/FileUtil.h"
#include "core/base/Json.h"
#include "core/base/PathUtil.h"
#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"
#include "core/profiles/ProfileDocumentReader.h"
#include "core/profiles/ProfileFileSize.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

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

namespace {

// What an import takes from a file: duplicates are found by lookup, so a large file
// costs in proportion to its size, not to its size times the document's.
class ImportMerge {
public:
    explicit ImportMerge(const ProfileDocument& document) {
        for (const Profile& p : document.profiles) {
            note(p);
        }
        for (const FolderRule& r : document.rules) {
            folders_.insert(r.id());
        }
    }

    // ProfileDocument::profile(id), then profileNamed, then the one system profile.
    bool takes(const Profile& profile) const {
        if (ids_.contains(profile.id.rawValue)) {
            return false;
        }
        const std::string name = text::caseFolded(text::trimSpacesTabs(profile.name));
        if (names_.contains(name) || caselessIds_.contains(name)) {
            return false;
        }
        return !(profile.storage == Profile::Storage::system && hasSystem_);
    }
    void note(const Profile& profile) {
        ids_.insert(profile.id.rawValue);
        names_.insert(text::caseFolded(profile.name));
        caselessIds_.insert(text::caseFolded(profile.id.rawValue));
        hasSystem_ = hasSystem_ || profile.storage == Profile::Storage::system;
    }
    // A rule needs its profile, and a folder no rule has yet.
    bool takes(const FolderRule& rule) {
        return ids_.contains(rule.profileID.rawValue) && folders_.insert(rule.id()).second;
    }

private:
    std::unordered_set<std::string> ids_;
    std::unordered_set<std::string> names_;
    std::unordered_set<std::string> caselessIds_;
    std::unordered_set<std::string> folders_;
    bool hasSystem_ = false;
};

// How many of the added profiles, taken in order with their rules, fit in the file.
std::size_t profilesThatFit(const ProfileDocument& before, const std::vector<Profile>& profiles,
                            const std::vector<FolderRule>& rules) {
    std::unordered_set<std::string> there;
    for (const Profile& profile : before.profiles) {
        there.insert(profile.id.rawValue);
    }
    std::unordered_map<std::string, std::vector<const FolderRule*>> rulesOf;
    ProfileFileSize size(before);
    for (const FolderRule& rule : rules) {
        if (there.contains(rule.profileID.rawValue)) {
            size.add(rule);
        } else {
            rulesOf[rule.profileID.rawValue].push_back(&rule);
        }
    }
    std::size_t fit = 0;
    for (const Profile& profile : profiles) {
        size.add(profile);
        for (const FolderRule* rule : rulesOf[profile.id.rawValue]) {
            size.add(*rule);
        }
        if (size.bytes() > ProfileStore::maxFileBytes) {
            break;
        }
        ++fit;
    }
    return fit;
}

} // namespace

std::string AppModel::importData(std::string_view bytes) {
    ProfileDocument imported;
    try {
        // The document alone: an export's version and default are not ours to take.
        imported = ProfileDocumentReader::decodeDocument(bytes);
    } catch (...) {
        setAlert("That file isn't a TwinLantern profiles export.");
        return {};
    }
    ProfileDocument before;
    std::vector<Profile> addedProfiles;
    std::vector<FolderRule> addedRules;
    auto merge = [&](ProfileDocument& document) {
        before = document;
        addedProfiles.clear();
        addedRules.clear();
        ImportMerge lookup(document);
        for (const Profile& profile : imported.profiles) {
            if (lookup.takes(profile)) {
                lookup.note(profile);
                addedProfiles.push_back(profile);
            }
        }
        for (const FolderRule& rule : imported.rules) {
            if (lookup.takes(rule)) {
                addedRules.push_back(rule);
            }
        }
        document.profiles.insert(document.profiles.end(), addedProfiles.begin(),
                                 addedProfiles.end());
        document.rules.insert(document.rules.end(), addedRules.begin(), addedRules.end());
    };
    std::optional<std::string> error;
    try {
        store_.update(merge);
    } catch (const TwinLanternError& failure) {
        error = failure.what();
        if (failure == ProfileStore::tooLargeToSave()) {
            // Nothing was written; say how far a smaller file would get.
            *error += ". ";
            if (!addedProfiles.empty()) {
                *error += "Only " +
                          std::to_string(profilesThatFit(before, addedProfiles, addedRules)) +
                          " of the " + std::to_string(addedProfiles.size()) + " new profiles fit. ";
            }
            *error += "Nothing was imported.";
        }
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    reload();
    if (error) {
        setAlert(std::move(error));
        return {};
    }
    std::vector<ProfileID> addedIds;
    for (const Profile& profile : addedProfiles) {
        addedIds.push_back(profile.id);
    }
    checkNewProfiles(addedIds);
    const std::size_t added = addedProfiles.size();
    std::string message = "Imported ";
    message += std::to_string(added);
    message += added == 1 ? " profile" : " profiles";
    message += ". Sign each one in to use it.";
    return message;
}

// ---- Remove everything ----

struct AppModel::Removal {
    std::vector<Profile> profiles;
    // Every managed profile's apps, all quit before anything is removed.
    std::vector<std::pair<Profile, ToolKind>> toQuit;
    std::size_t nextQuit = 0;
    std::size_t next = 0;
    Done done;
};

void AppModel::removeEverything(Done done) {
    auto removal = std::make_shared<Removal>();
    removal->profiles = document_.profiles;
    removal->done = std::move(done);
    for (const Profile& profile : removal->profiles) {
        if (profile.storage != Profile::Storage::managed) {
            continue; // the user's ordinary instances are never quit
        }
        for (ToolKind app : {ToolKind::claudeDesktop, ToolKind::chatGPTApp}) {
            if (profile.uses(app)) {
                removal->toQuit.emplace_back(profile, app);
            }
        }
    }
    quitNext(removal);
}

void AppModel::quitNext(const std::shared_ptr<Removal>& removal) {
    if (removal->nextQuit == removal->toQuit.size()) {
        removeNext(removal);
        return;
    }
    // Named, not a structured binding: lambdas capture them (clang 14 cannot).
    const auto& profile = removal->toQuit[removal->nextQuit].first;
    const auto kind = removal->toQuit[removal->nextQuit].second;
    ++removal->nextQuit;
    auto app = DesktopAdapters::app(kind, context_);
    services_.scheduler->background(
        [app, profile] { return app->quitInstance(profile); },
        weakly([removal, name = profile.name, kind](AppModel& m, JobResult<bool> ended) {
            if (!ended.ok() || !*ended.value) {
                // Nothing is gone yet, so the message is true.
                m.setAlert(m.stillRunning(kind, name));
                if (removal->done) {
                    removal->done();
                }
                return;
            }
            m.quitNext(removal);
        }));
}

void AppModel::removeNext(const std::shared_ptr<Removal>& removal) {
    // One deletion at a time; system profiles only go with the file.
    while (removal->next < removal->profiles.size()) {
        const Profile& profile = removal->profiles[removal->next++];
        if (profile.storage == Profile::Storage::managed) {
            deleteProfile(profile, weakly([removal, before = alert_](AppModel& m) {
                              if (m.alert_ && m.alert_ != before) {
                                  m.finishRemoval(removal); // that deletion failed: stop here
                                  return;
                              }
                              m.removeNext(removal);
                          }));
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
