#include "TwinLanternApp/model/ActionSupport.h"
#include "TwinLanternApp/model/AppModel.h"

#include "TwinLanternMac/launchers/LauncherGenerator.h"
#include "core/base/PathUtil.h"
#include "core/base/Text.h"

#include <algorithm>

namespace twinlantern::app {

using actions::report;

namespace {

// The folder a rule stands for, as addRule compares them: "~" expanded, case folded.
std::string folderKey(const FolderRule& rule, const std::string& home) {
    return text::lowercased(PathUtil::expandTilde(rule.folderPath(), home));
}

} // namespace

std::string AppModel::stillRunning(ToolKind app, const std::string& name) const {
    std::string message = appName(app);
    message += " \u2014 ";
    message += text::bidiIsolated(name);
    // The Linux way: these apps have no system-wide quit shortcut.
    message += " is still running. Quit it (Quit in its window, or close the window), then try "
               "again. Nothing was removed.";
    return message;
}

// ---- The document change ----

std::optional<std::string>
AppModel::changeReporting(const std::function<void(ProfileDocument&)>& body) {
    std::optional<std::string> error;
    try {
        store_.update(body);
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    reload();
    return error;
}

bool AppModel::change(const std::function<void(ProfileDocument&)>& body) {
    auto error = changeReporting(body);
    if (error) {
        setAlert(std::move(error));
        return false;
    }
    return true;
}

// ---- Edits ----

std::optional<Profile> AppModel::createProfile(const std::string& name,
                                               std::optional<ProfileColor> color,
                                               const std::vector<ToolKind>& tools,
                                               Profile::Storage storage) {
    std::optional<Profile> created;
    const bool saved = change([&](ProfileDocument& document) {
        std::set<ProfileID> ids;
        std::set<ProfileColor> used;
        for (const Profile& existing : document.profiles) {
            ids.insert(existing.id);
            used.insert(existing.color);
        }
        const ProfileID id = ProfileID::generate(name, ids);
        ProfileColor chosen = ProfileColor::graphite;
        if (color) {
            chosen = *color;
        } else if (auto free = std::find_if(allProfileColors.begin(), allProfileColors.end(),
                                            [&used](ProfileColor c) { return !used.contains(c); });
                   free != allProfileColors.end()) {
            chosen = *free;
        }
        Profile profile(id, std::string(text::trimSpacesTabs(name)), chosen, std::nullopt, tools,
                        storage);
        document.profiles.push_back(profile);
        created = std::move(profile);
    });
    if (!saved) {
        return std::nullopt;
    }
    checkNewProfiles({created->id});
    if (const Profile* stored = document_.profile(created->id)) {
        return *stored;
    }
    return created;
}

void AppModel::edit(const ProfileID& id, const std::function<void(Profile&)>& mutation) {
    change([&](ProfileDocument& document) {
        if (Profile* profile = document.profile(id)) {
            mutation(*profile);
        }
    });
}

void AppModel::move(const std::set<std::size_t>& fromOffsets, std::size_t toOffset) {
    // The offsets are the list's, which shows the model's document; the file under the
    // lock may differ by then. So they become ids here and the move goes by id.
    const auto& shown = document_.profiles;
    std::set<ProfileID> moving;
    for (std::size_t offset : fromOffsets) {
        if (offset < shown.size()) {
            moving.insert(shown[offset].id);
        }
    }
    if (moving.empty()) {
        return;
    }
    // They go before the first profile at or after the destination that stays put; the
    // later ones stand in when that one is gone under the lock.
    std::vector<ProfileID> anchors;
    for (std::size_t at = std::min(toOffset, shown.size()); at < shown.size(); ++at) {
        if (!moving.contains(shown[at].id)) {
            anchors.push_back(shown[at].id);
        }
    }
    change([&](ProfileDocument& document) {
        std::vector<Profile> moved;
        std::vector<Profile> staying;
        for (Profile& profile : document.profiles) {
            (moving.contains(profile.id) ? moved : staying).push_back(std::move(profile));
        }
        auto before = staying.end();
        for (const ProfileID& anchor : anchors) {
            before = std::find_if(staying.begin(), staying.end(),
                                  [&anchor](const Profile& p) { return p.id == anchor; });
            if (before != staying.end()) {
                break;
            }
        }
        staying.insert(before, std::make_move_iterator(moved.begin()),
                       std::make_move_iterator(moved.end()));
        document.profiles = std::move(staying);
    });
}

void AppModel::setTerminalDefault(const std::optional<ProfileID>& id) {
    change([&id](ProfileDocument& document) { document.cliDefault = id; });
}

void AppModel::cycleTerminalDefault() {
    const auto& profiles = document_.profiles;
    if (profiles.empty()) {
        return;
    }
    ProfileID next = profiles.front().id;
    if (document_.cliDefault) {
        const auto current =
            std::find_if(profiles.begin(), profiles.end(),
                         [this](const Profile& p) { return p.id == *document_.cliDefault; });
        if (current != profiles.end() && std::next(current) != profiles.end()) {
            next = std::next(current)->id;
        }
    }
    // Only a saved default is announced.
    if (!change([&next](ProfileDocument& document) { document.cliDefault = next; })) {
        return;
    }
    if (const Profile* chosen = document_.profile(next)) {
        std::string message = "Terminal default: ";
        message += text::bidiIsolated(chosen->name);
        report(message);
    }
}

void AppModel::addRule(const std::string& folder, const ProfileID& profile) {
    const std::string stored =
        paths_.abbreviate(PathUtil::normalize(PathUtil::expandTilde(folder, paths_.home)));
    const std::string key = folderKey(FolderRule(stored, profile), paths_.home);
    change([&](ProfileDocument& document) {
        for (FolderRule& rule : document.rules) {
            if (folderKey(rule, paths_.home) == key) {
                rule.profileID = profile;
                return;
            }
        }
        document.rules.emplace_back(stored, profile);
    });
}

void AppModel::removeRule(const FolderRule& rule) {
    change([&rule](ProfileDocument& document) { std::erase(document.rules, rule); });
}

// ---- Deleting a profile ----

struct AppModel::Deletion {
    Profile profile;
    std::vector<ToolKind> toQuit; // apps whose instance must end first
    std::vector<std::shared_ptr<ToolAdapter>> adapters;
    bool quitting = true;
    std::size_t next = 0; // into toQuit, then into adapters
    std::vector<std::string> messages;
    Done done;
};

void AppModel::deleteProfile(const Profile& profile, Done done) {
    auto deletion = std::make_shared<Deletion>();
    deletion->profile = profile;
    deletion->done = std::move(done);
    // The user's ordinary instances, which a system profile uses, are never quit.
    if (profile.storage == Profile::Storage::managed) {
        for (ToolKind app : {ToolKind::claudeDesktop, ToolKind::chatGPTApp}) {
            if (profile.uses(app)) {
                deletion->toQuit.push_back(app);
            }
        }
    }
    for (auto& one : adapters()) {
        deletion->adapters.push_back(std::move(one));
    }
    deleteNext(deletion);
}

void AppModel::deleteNext(const std::shared_ptr<Deletion>& deletion) {
    Scheduler& scheduler = *services_.scheduler;
    const Profile& profile = deletion->profile;
    if (deletion->quitting && deletion->next < deletion->toQuit.size()) {
        const ToolKind kind = deletion->toQuit[deletion->next];
        auto app = DesktopAdapters::app(kind, context_);
        scheduler.background([app, profile] { return app->quitInstance(profile); },
                             weakly([deletion, kind](AppModel& m, JobResult<bool> ended) {
                                 if (!ended.ok() || !*ended.value) {
                                     m.setAlert(m.stillRunning(kind, deletion->profile.name));
                                     if (deletion->done) {
                                         deletion->done();
                                     }
                                     return;
                                 }
                                 ++deletion->next;
                                 m.deleteNext(deletion);
                             }));
        return;
    }
    if (deletion->quitting) {
        deletion->quitting = false;
        deletion->next = 0;
    }
    if (deletion->next < deletion->adapters.size()) {
        // Every tool's, used or not: a tool the profile left may still hold its data.
        auto tool = deletion->adapters[deletion->next];
        scheduler.background([tool, profile] { tool->removeData(profile); },
                             weakly([deletion](AppModel& m, JobResult<void> removed) {
                                 if (!removed.ok()) {
                                     deletion->messages.push_back(removed.error);
                                 }
                                 ++deletion->next;
                                 m.deleteNext(deletion);
                             }));
        return;
    }
    finishDeletion(deletion);
}

void AppModel::finishDeletion(const std::shared_ptr<Deletion>& deletion) {
    const ProfileID id = deletion->profile.id;
    const std::string launcher = bundledBinary("twinlantern-launcher");
    if (PathUtil::isExecutableFile(launcher)) {
        LauncherGenerator(paths_, launcher, DesktopInstall::bundleID, context_.environment)
            .removeLaunchers(id);
    }
    auto error = changeReporting([&id](ProfileDocument& document) {
        std::erase_if(document.profiles, [&id](const Profile& p) { return p.id == id; });
        std::erase_if(document.rules, [&id](const FolderRule& r) { return r.profileID == id; });
        if (document.cliDefault == id) {
            document.cliDefault.reset();
        }
    });
    if (statuses_.erase(id) > 0) {
        notices_.notify(ModelField::statuses);
    }
    // Each data message, then the document's own error: one failure never hides another.
    std::vector<std::string> lines = std::move(deletion->messages);
    if (error) {
        lines.push_back(std::move(*error));
    }
    if (!lines.empty()) {
        setAlert(text::joined(lines, "\n"));
    }
    if (deletion->done) {
        deletion->done();
    }
}

} // namespace twinlantern::app
