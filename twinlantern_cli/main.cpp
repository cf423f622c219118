// twinlantern: the terminal's way to the setup check, the folder test, the shell
// integration, the profiles and sign-in. Each command fronts one operation of the core.
#include "core/base/FileUtil.h"
#include "core/base/TwinLanternError.h"
#include "twinlantern_cli/Commands.h"

#include <unistd.h>

#include <exception>
#include <optional>
#include <string>
#include <vector>

using namespace twinlantern;
using namespace twinlantern::cli;

namespace {

constexpr int usageError = 2;

void error(const std::string& message) {
    // A message may quote a profile, a path or an argument.
    (void)writeAll(STDERR_FILENO, "twinlantern: " + terminalSafeLines(message) + "\n");
}

// The full name of the deepest command the parser reached, for its usage line.
const CLI::App* deepestCommand(const CLI::App& app, std::string& name) {
    name = app.get_name();
    const CLI::App* at = &app;
    for (auto chosen = at->get_subcommands(); !chosen.empty(); chosen = at->get_subcommands()) {
        at = chosen.front();
        name += " " + at->get_name();
    }
    return at;
}

// The word after the chosen commands, when `at` takes commands.
std::optional<std::string> wordAfter(const std::vector<std::string>& args, const CLI::App& at) {
    std::vector<std::string> names;
    for (const CLI::App* app = &at; app->get_parent() != nullptr; app = app->get_parent()) {
        names.insert(names.begin(), app->get_name());
    }
    std::size_t i = 1;
    for (const std::string& name : names) {
        while (i < args.size() && args[i] != name) {
            ++i;
        }
        ++i;
    }
    if (i >= args.size() || at.get_subcommands([](const CLI::App*) { return true; }).empty()) {
        return std::nullopt;
    }
    return args[i];
}

// The doctor's fix quotes a profile name as the shell needs it, and a name may start with
// "-": after `login` two words are the name and the tool, whatever they look like.
std::vector<std::string> withLoginOperands(std::vector<std::string> args) {
    if (args.size() == 4 && args[1] == "login" && args[2] != "--") {
        args.insert(args.begin() + 2, "--");
    }
    return args;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const Cli cli(currentEnvironment());
        CLI::App app("TwinLantern keeps separate sign-in profiles for Claude Code and Codex.",
                     "twinlantern");
        app.set_version_flag("--version", std::string("twinlantern ") + TL_VERSION,
                             "Print the version");
        app.require_subcommand(1);
        Action action;
        addDoctorCommand(app, cli, action);
        addWhichCommand(app, cli, action);
        addShellCommands(app, cli, action);
        addLaunchersCommands(app, cli, action);
        addProfileCommands(app, cli, action);
        addLoginCommand(app, cli, action);
        addRuleCommands(app, cli, action);

        std::vector<std::string> args =
            withLoginOperands(std::vector<std::string>(argv, argv + argc));
        if (args.empty()) {
            args.emplace_back("twinlantern");
        }
        std::vector<char*> cArgs;
        for (auto& a : args) {
            cArgs.push_back(a.data());
        }
        try {
            app.parse(static_cast<int>(cArgs.size()), cArgs.data());
        } catch (const CLI::CallForHelp&) {
            cli.out(app.help());
            return 0;
        } catch (const CLI::CallForAllHelp&) {
            cli.out(app.help("", CLI::AppFormatMode::All));
            return 0;
        } catch (const CLI::CallForVersion&) {
            cli.out(app.version() + "\n");
            return 0;
        } catch (const CLI::ParseError& e) {
            std::string name;
            const CLI::App* command = deepestCommand(app, name);
            std::string message = e.what();
            // The parser calls a word that names no command a missing command.
            if (auto unknown = wordAfter(args, *command);
                unknown && e.get_name() == "RequiredError") {
                message = std::string(unknown->starts_with("-") ? "There's no option \u201C"
                                                                : "There's no command \u201C") +
                          *unknown + "\u201D.";
            }
            // A command's own formatter may say more in its usage line.
            const CLI::Formatter plain;
            const auto own = std::dynamic_pointer_cast<CLI::Formatter>(command->get_formatter());
            error(message + "\n" + (own ? *own : plain).make_usage(command, name) + "Run `" + name +
                  " --help` for more.");
            return usageError;
        }
        return action ? action() : usageError;
    } catch (const TwinLanternError& e) {
        error(e.what());
    } catch (const std::exception& e) {
        error(e.what());
    }
    return 1;
}
