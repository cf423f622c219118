// The doctor's check groups that read only the file system and the environment.
#include "core/doctor/Doctor.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/ShellQuote.h"
#include "core/base/Text.h"
#include "core/base/UniqueFd.h"
#include "core/rules/ShimPlan.h"
#include "core/shell/ShellIntegration.h"
#include "core/tools/BinaryLocator.h"
#include "core/tools/ToolRegistry.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>

namespace twinlantern {

namespace {

bool isWritableDirectory(const std::string& path, bool& exists) {
    struct stat st {};
    exists = ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return exists && ::access(path.c_str(), W_OK) == 0;
}

// "~/" then the rest quoted: a tilde inside quotes would never expand.
std::string shellWordForPath(const Paths& paths, const std::string& path) {
    const std::string shown = paths.abbreviate(path);
    if (shown == "~") {
        return "~";
    }
    if (shown.starts_with("~/")) {
        return "~/" + ShellQuote::quote(shown.substr(2));
    }
    return ShellQuote::quote(shown);
}

} // namespace

std::vector<DoctorCheck> Doctor::dataDirectoryChecks(const ProfileDocument& document) const {
    const Paths& paths = context.paths;
    std::vector<std::string> unwritable;
    for (const Profile& profile : document.profiles) {
        if (profile.storage != Profile::Storage::managed) {
            continue;
        }
        for (ToolKind tool : profile.tools()) {
            const auto folder = paths.dataDirectory(tool, profile.id);
            bool exists = false;
            if (folder && !isWritableDirectory(*folder, exists) && exists) {
                unwritable.push_back(paths.abbreviate(*folder));
            }
        }
    }
    std::string nearest = paths.supportDirectory();
    bool exists = false;
    bool writable = isWritableDirectory(nearest, exists);
    while (!exists && nearest != "/") {
        nearest = PathUtil::parent(nearest);
        writable = isWritableDirectory(nearest, exists);
    }
    if (exists && !writable) {
        unwritable.push_back(paths.abbreviate(nearest));
    }
    if (unwritable.empty()) {
        return {{"datadirs", DoctorCheck::Level::ok, "Data folders are writable", std::nullopt,
                 std::nullopt}};
    }
    return {{"datadirs", DoctorCheck::Level::failure, "Some data folders aren't writable",
             text::joined(unwritable, ", "),
             "Fix ownership with `sudo chown -R $USER " +
                 shellWordForPath(paths, paths.supportDirectory()) + "`."}};
}

std::vector<DoctorCheck> Doctor::environmentChecks(const Environment& environment,
                                                   const ProfileDocument&) const {
    std::vector<DoctorCheck> checks;
    const std::set<std::string> marked = ShimPlan::managedNames(environment);
    for (const auto& name : ToolRegistry::managedVariables) {
        const std::string n(name);
        auto it = environment.find(n);
        if (it == environment.end()) {
            continue;
        }
        if (marked.contains(n)) {
            auto profile = environment.find("TWINLANTERN_PROFILE");
            checks.push_back({"env." + n, DoctorCheck::Level::info, n + " was set by TwinLantern",
                              "Profile " + (profile != environment.end() ? profile->second : "?") +
                                  " is active in this shell.",
                              std::nullopt});
        } else {
            checks.push_back(
                {"env." + n, DoctorCheck::Level::warning, "You export " + n + " yourself",
                 n + "=" + context.paths.abbreviate(it->second) +
                     ". TwinLantern leaves it alone, so folder rules won't change it.",
                 "Remove the `export " + n +
                     "=…` line from your shell file if you want TwinLantern to choose."});
        }
    }
    std::vector<std::string> overriding;
    for (ToolKind kind : terminalTools) {
        for (std::string_view name : toolInfo(kind).overridingVariables) {
            overriding.emplace_back(name);
        }
    }
    for (const std::string& key : overriding) {
        if (!environment.contains(key)) {
            continue;
        }
        checks.push_back(
            {"env." + key, DoctorCheck::Level::warning, key + " is set in your environment",
             "It overrides profile logins, so usage goes to whatever account that key belongs to.",
             "Remove `export " + key +
                 "=…` from your shell file unless you mean to use it everywhere."});
    }
    return checks;
}

std::vector<DoctorCheck> Doctor::conflictChecks() const {
    std::vector<std::string> found;
    auto path = context.environment.find("PATH");
    const BinaryLocator locator(path != context.environment.end() ? path->second : "", {});
    for (std::string_view name : conflictingExecutables) {
        if (auto hit = locator.find(std::string(name))) {
            found.push_back(context.paths.abbreviate(*hit));
        }
    }
    for (const std::string& folder : DesktopInstall::applicationFolders(context.paths)) {
        UniqueDir dir(::opendir(folder.c_str()));
        if (!dir) {
            continue;
        }
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string name = entry->d_name;
            if (!name.ends_with(".app") || !text::isValidUtf8(name)) {
                continue;
            }
            const std::string lower = text::lowercased(name);
            for (const char* marker :
                 {"ccswitcher", "claude switcher", "multi instance for claude"}) {
                if (lower.find(marker) != std::string::npos) {
                    found.push_back(context.paths.abbreviate(folder + "/" + name));
                    break;
                }
            }
        }
    }
    if (found.empty()) {
        return {{"conflicts", DoctorCheck::Level::ok, "No other account switchers found",
                 std::nullopt, std::nullopt}};
    }
    return {{"conflicts", DoctorCheck::Level::warning,
             "Other account-switching tools are installed", text::joined(found, ", "),
             "Use one switcher at a time. Uninstall the others, or stop using them for Claude and "
             "Codex."}};
}

std::vector<DoctorCheck> Doctor::aliasChecks() const {
    std::vector<std::string> hits;
    for (const char* file :
         {".zshrc", ".zprofile", ".zshenv", ".bashrc", ".bash_profile", ".profile"}) {
        const ReadResult read =
            readWholeFile(context.paths.home + "/" + file, ShellIntegration::maxFileBytes);
        if (!read.bytes || !text::isValidUtf8(*read.bytes)) {
            continue;
        }
        std::string_view rest = *read.bytes;
        for (std::size_t number = 1;; ++number) {
            const auto newline = rest.find('\n');
            const std::string_view line = text::trimSpacesTabs(rest.substr(0, newline));
            if (!line.starts_with("#")) {
                for (ToolKind kind : terminalTools) {
                    const std::string command = toolInfo(kind).command;
                    for (const std::string& start :
                         {"alias " + command + "=", "function " + command + " ",
                          "function " + command + "(", command + "()", command + " ()"}) {
                        if (line.starts_with(start)) {
                            hits.push_back(std::string("~/") + file + ":" + std::to_string(number) +
                                           " (" + command + ")");
                            break;
                        }
                    }
                }
            }
            if (newline == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(newline + 1);
        }
    }
    if (hits.empty()) {
        return {};
    }
    return {{"aliases", DoctorCheck::Level::warning,
             "A shell alias or function bypasses TwinLantern", text::joined(hits, ", "),
             "Remove or rename the alias so `claude` and `codex` reach the TwinLantern shim."}};
}

} // namespace twinlantern
