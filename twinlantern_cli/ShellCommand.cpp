// `twinlantern shell install` and `shell uninstall`: the plan, its diffs, a question on a
// terminal, then the shell integration's own install or removal.
#include "twinlantern_cli/Commands.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"
#include "core/shell/ShellIntegration.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <memory>

namespace twinlantern::cli {

namespace {

using FileChange = ShellIntegration::FileChange;

bool standsAt(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    return names;
}

std::optional<std::string> linkText(const std::string& path) {
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer) {
        return std::nullopt;
    }
    return std::string(buffer, static_cast<std::size_t>(n));
}

// The enclosing bundle, else the app already recorded: a copy run from
// ~/.twinlantern/libexec must not forget where the app lives.
std::optional<std::string> appPathFor(const ShellIntegration& shell,
                                      const BundledPrograms& programs) {
    if (programs.appPath) {
        return programs.appPath;
    }
    std::optional<std::string> recorded = shell.status().appPath;
    if (recorded && recorded->ends_with(".app")) {
        return recorded;
    }
    return std::nullopt;
}

// True when an install would leave every file as it is (only the record's time would move).
bool alreadyInstalled(const ShellIntegration& shell, const std::vector<FileChange>& plan,
                      const BundledPrograms& programs, const std::optional<std::string>& appPath) {
    for (const FileChange& change : plan) {
        if (change.changes()) {
            return false;
        }
    }
    if (!shell.status().isInstalled()) {
        return false;
    }
    const std::string libexec = shell.libexec();
    if (!ShellIntegration::sameContents(programs.resolver, libexec + "/twinlantern-resolve") ||
        !ShellIntegration::sameContents(programs.cli, libexec + "/twinlantern")) {
        return false;
    }
    if (PathUtil::isExecutableFile(programs.launcher) &&
        !ShellIntegration::sameContents(programs.launcher, libexec + "/twinlantern-launcher")) {
        return false;
    }
    for (std::string_view name : ShellIntegration::toolNames) {
        if (linkText(shell.shimFolder() + "/" + std::string(name)) !=
            "../libexec/twinlantern-resolve") {
            return false;
        }
    }
    if (linkText(shell.shimFolder() + "/twinlantern") != "../libexec/twinlantern") {
        return false;
    }
    if (appPath) {
        const ReadResult recorded = readWholeFile(shell.appPathFile(), 64 * 1024);
        if (recorded.bytes != *appPath + "\n") {
            return false;
        }
    } else if (standsAt(shell.appPathFile())) {
        return false;
    }
    const std::optional<ShellIntegration::InstallState> state = shell.loadState();
    if (!state) {
        return false;
    }
    for (const FileChange& change : plan) {
        bool recorded = false;
        for (const auto& file : state->files) {
            recorded = recorded || file.path == change.path;
        }
        if (!recorded) {
            return false; // a first install still makes its backup and record
        }
    }
    return true;
}

std::string coloured(const Cli& cli, const std::string& diff) {
    if (!cli.colour) {
        return diff;
    }
    std::string out;
    std::size_t start = 0;
    while (start < diff.size()) {
        const auto end = diff.find('\n', start);
        const std::string line =
            diff.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const char* style = line.starts_with("+++") || line.starts_with("---") ? "1"
                            : line.starts_with("+")                            ? "32"
                            : line.starts_with("-")                            ? "31"
                            : line.starts_with("@@")                           ? "36"
                                                                               : "";
        out += *style ? cli.paint(line, style) : line;
        out += '\n';
        start = end == std::string::npos ? diff.size() : end + 1;
    }
    return out;
}

std::string planText(const Cli& cli, const ShellIntegration& shell,
                     const std::vector<FileChange>& plan) {
    std::string text;
    for (const FileChange& change : plan) {
        if (!change.changes()) {
            text += cli.paths.abbreviate(change.path) + ": no change\n";
            continue;
        }
        const std::string diff = shell.diff(change);
        if (diff.empty()) {
            text += cli.paths.abbreviate(change.path) + ": changes (no preview: diff failed)\n";
        } else {
            text += coloured(cli, diff);
        }
    }
    return text;
}

// Without a terminal nothing is asked and nothing happens unless --yes said so.
void confirmOrRefuse(const Cli& cli, bool yes, std::string_view question,
                     std::string_view command) {
    if (yes) {
        return;
    }
    if (!cli.stdinIsTerminal()) {
        throw TwinLanternError::io("Not asking without a terminal, so nothing was changed. Run `" +
                                   std::string(command) + " --yes` to go ahead.");
    }
    if (!cli.confirm(question)) {
        throw TwinLanternError::io("Nothing was changed.");
    }
}

int install(const Cli& cli, bool yes) {
    const ShellIntegration shell(cli.paths, cli.environment);
    const BundledPrograms programs = bundledPrograms();
    const std::optional<std::string> appPath = appPathFor(shell, programs);
    const std::vector<FileChange> plan = shell.planInstall();
    if (alreadyInstalled(shell, plan, programs, appPath)) {
        cli.out("The shell integration is already installed; nothing to change.\n");
        return 0;
    }
    cli.out(planText(cli, shell, plan) + "Programs go into " +
            cli.paths.abbreviate(shell.libexec()) + ", the `claude`, `codex` and `twinlantern` " +
            "links into " + cli.paths.abbreviate(shell.shimFolder()) + ".\n");
    confirmOrRefuse(cli, yes, "Install the shell integration?", "twinlantern shell install");
    // Under a file-size limit a write must fail, not end the program half-way: the
    // install then puts back everything it did.
    std::signal(SIGXFSZ, SIG_IGN);
    shell.install(programs.resolver, programs.cli, programs.launcher, appPath);
    cli.out("Shell integration installed. Open a new terminal window to use it.\n");
    return 0;
}

int uninstall(const Cli& cli, bool yes) {
    const ShellIntegration shell(cli.paths, cli.environment);
    const std::vector<FileChange> plan = shell.planUninstall();
    // Backups an earlier removal kept are the user's to delete.
    bool changes = false;
    for (const std::string& entry : folderEntries(shell.root())) {
        changes = changes || entry != "backups";
    }
    for (const FileChange& change : plan) {
        changes = changes || change.changes();
    }
    if (!changes) {
        cli.out("The shell integration isn't installed; nothing to remove.\n");
        return 0;
    }
    cli.out(planText(cli, shell, plan) + "Programs and links under " +
            cli.paths.abbreviate(shell.root()) + " go too, and the backups that are put back.\n");
    confirmOrRefuse(cli, yes, "Remove the shell integration?", "twinlantern shell uninstall");
    shell.uninstall();
    cli.out("Shell integration removed.\n");
    if (!folderEntries(shell.backups()).empty()) {
        cli.out("Backups of your shell files as they were before the install stay in " +
                cli.paths.abbreviate(shell.backups()) + ".\n");
    }
    return 0;
}

void addShellCommand(CLI::App& shell, const char* name, const char* description,
                     int (*run)(const Cli&, bool), const Cli& cli, Action& action) {
    CLI::App* command = shell.add_subcommand(name, description);
    auto yes = std::make_shared<bool>(false);
    command->add_flag("-y,--yes", *yes, "Go ahead without asking");
    command->callback([&cli, &action, yes, run] {
        action = [&cli, yes, run] {
            return run(cli, *yes);
        };
    });
}

} // namespace

void addShellCommands(CLI::App& app, const Cli& cli, Action& action) {
    CLI::App* shell = app.add_subcommand("shell", "Install or remove the terminal integration");
    shell->require_subcommand(1);
    addShellCommand(*shell, "install",
                    "Add the TwinLantern block to your shell files and install the shims", install,
                    cli, action);
    addShellCommand(*shell, "uninstall",
                    "Give your shell files back and remove the shims and programs", uninstall, cli,
                    action);
}

} // namespace twinlantern::cli
