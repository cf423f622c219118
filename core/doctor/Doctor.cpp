#include "core/doctor/Doctor.h"

#include "core/base/PathUtil.h"
#include "core/base/ShellQuote.h"
#include "core/base/TwinLanternError.h"
#include "core/shell/ShellIntegration.h"
#include "core/tools/BinaryLocator.h"
#include "core/tools/ToolRegistry.h"

#include <unistd.h>

#include <exception>
#include <set>

namespace twinlantern {

namespace {

constexpr const char* desktopDownloadPage = "https://claude.ai/download";

std::string plural(std::size_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::set<ToolKind> usedTools(const ProfileDocument& document) {
    std::set<ToolKind> used;
    for (const Profile& profile : document.profiles) {
        used.insert(profile.tools().begin(), profile.tools().end());
    }
    return used;
}

void append(std::vector<DoctorCheck>& to, std::vector<DoctorCheck> more) {
    to.insert(to.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

} // namespace

std::vector<DoctorCheck> Doctor::run(bool deep) const {
    std::vector<DoctorCheck> checks;
    ProfileDocument document = ProfileDocument::empty();
    checks.push_back(profilesCheck(document));
    const std::set<ToolKind> used = usedTools(document);

    for (ToolKind kind : terminalTools) {
        checks.push_back(binaryCheck(kind, used.contains(kind)));
        checks.push_back(shimCheck(kind));
    }
    checks.push_back(desktopCheck(used.contains(ToolKind::claudeDesktop)));
    append(checks, dataDirectoryChecks(document));
    append(checks, environmentChecks(context.environment, document));
    append(checks, missingRuleChecks(document));
    append(checks, shellBlockChecks());
    if (extraChecks) {
        append(checks, extraChecks(document));
    }
    append(checks, conflictChecks());
    append(checks, aliasChecks());
    if (deep) {
        append(checks, accountChecks(document));
    }
    return checks;
}

DoctorCheck Doctor::profilesCheck(ProfileDocument& document) const {
    try {
        document = loadDocument ? loadDocument() : ProfileDocument::empty();
    } catch (const std::exception& error) {
        document = ProfileDocument::empty();
        const std::string file = context.paths.abbreviate(context.paths.profilesFile());
        // A newer version's file holds what that version saved: never suggest deleting it.
        if (const auto* known = dynamic_cast<const TwinLanternError*>(&error);
            known != nullptr && known->kind() == TwinLanternError::Kind::storeTooNew) {
            return {"profiles", DoctorCheck::Level::failure, "Profiles file can't be read",
                    error.what(),
                    "Update TwinLantern to read it, and keep " + file +
                        " as it is: it holds what the newer version saved."};
        }
        return {"profiles", DoctorCheck::Level::failure, "Profiles file can't be read",
                error.what(), "Restore " + file + " from a backup, or delete it to start over."};
    }
    return {"profiles", DoctorCheck::Level::ok, "Profiles file is readable",
            plural(document.profiles.size(), "profile") + ", " +
                plural(document.rules.size(), "folder rule"),
            std::nullopt};
}

DoctorCheck Doctor::binaryCheck(ToolKind kind, bool used) const {
    const std::string id = std::string("binary.") + rawValue(kind);
    const std::string display = displayName(kind);
    const char* name = toolInfo(kind).command;
    std::optional<std::string> real = context.locator().find(name);
    if (!real) {
        real = ToolRegistry::adapter(kind, context)->bundledBinary();
    }
    if (real) {
        return {id, DoctorCheck::Level::ok, display + " found", context.paths.abbreviate(*real),
                std::nullopt};
    }
    return {id, used ? DoctorCheck::Level::warning : DoctorCheck::Level::info,
            display + " isn't installed",
            std::string("No `") + name + "` on PATH outside " +
                context.paths.abbreviate(context.paths.shimDirectory()) + ".",
            used ? std::optional<std::string>("Install " + display +
                                              ", or turn it off for your profiles.")
                 : std::nullopt};
}

DoctorCheck Doctor::shimCheck(ToolKind kind) const {
    const std::string id = std::string("shim.") + rawValue(kind);
    const char* name = toolInfo(kind).command;
    const std::string shimFolder = context.paths.shimDirectory();
    const std::string shim = shimFolder + "/" + name;
    if (!PathUtil::isRegularFile(shim) || ::access(shim.c_str(), X_OK) != 0) {
        return {id, DoctorCheck::Level::info,
                std::string("Shell integration for `") + name + "` isn't installed",
                "Folder rules only apply once it is.",
                "Turn on Settings → Terminal → Use profiles in the terminal, or run "
                "`twinlantern shell install`."};
    }
    const std::optional<std::string> first = context.locator().findIncludingExcluded(name);
    bool inFront = false;
    if (first) {
        const std::string folder = PathUtil::normalize(PathUtil::parent(*first));
        const std::string shims = PathUtil::normalize(shimFolder);
        inFront = folder == shims || PathUtil::realPath(folder) == PathUtil::realPath(shims);
    }
    if (inFront) {
        return {id, DoctorCheck::Level::ok, std::string("`") + name + "` goes through TwinLantern",
                std::nullopt, std::nullopt};
    }
    return {id, DoctorCheck::Level::warning,
            std::string("`") + name + "` skips TwinLantern in this shell",
            "PATH finds " + (first ? context.paths.abbreviate(*first) : std::string("nothing")) +
                " before " + context.paths.abbreviate(shimFolder) + ".",
            "Move the TwinLantern block to the end of your shell file (`twinlantern shell "
            "install` does this), then open a new terminal."};
}

DoctorCheck Doctor::desktopCheck(bool used) const {
    if (desktop) {
        std::string detail = context.paths.abbreviate(desktop->path);
        if (desktop->version) {
            detail += ", version " + *desktop->version;
        }
        return {"desktop", DoctorCheck::Level::ok, "Claude Desktop found", detail, std::nullopt};
    }
    return {"desktop", used ? DoctorCheck::Level::warning : DoctorCheck::Level::info,
            "Claude Desktop isn't installed", std::nullopt,
            used ? std::optional<std::string>(std::string("Install Claude Desktop from ") +
                                              desktopDownloadPage +
                                              ", or turn it off for your profiles.")
                 : std::nullopt};
}

std::vector<DoctorCheck> Doctor::missingRuleChecks(const ProfileDocument& document) const {
    std::vector<DoctorCheck> checks;
    for (const FolderRule& rule : document.rules) {
        const std::string folder =
            PathUtil::normalize(PathUtil::expandTilde(rule.folderPath(), context.paths.home));
        if (PathUtil::isDirectory(folder)) {
            continue;
        }
        const Profile* profile = document.profile(rule.profileID);
        checks.push_back({"rule.missing", DoctorCheck::Level::warning,
                          "A folder rule points at a missing folder",
                          rule.path + " → " + (profile != nullptr ? profile->name : "?") +
                              ". Was it moved or renamed?",
                          "Update or remove the rule: `twinlantern rule remove " +
                              ShellQuote::quote(rule.path) + "`."});
    }
    return checks;
}

std::vector<DoctorCheck> Doctor::shellBlockChecks() const {
    std::vector<DoctorCheck> checks;
    const ShellIntegration::Status status =
        ShellIntegration(context.paths, context.environment).status();
    for (const auto& block : status.blocks) {
        if (block.isLast) {
            continue;
        }
        checks.push_back({"shell.block", DoctorCheck::Level::warning,
                          "Something in " + context.paths.abbreviate(block.path) +
                              " comes after the TwinLantern block",
                          "Lines after it can put another `claude` or `codex` ahead of the shim "
                          "in new terminals.",
                          "Run `twinlantern shell install --yes` to move the block to the end."});
    }
    return checks;
}

} // namespace twinlantern
