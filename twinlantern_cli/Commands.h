#pragma once

#include "twinlantern_cli/Cli.h"

#include <CLI/CLI.hpp>

namespace twinlantern::cli {

// Each adds its subcommand to `app`; parsing it stores the command's action in `action`.
void addDoctorCommand(CLI::App& app, const Cli& cli, Action& action);
void addWhichCommand(CLI::App& app, const Cli& cli, Action& action);
void addShellCommands(CLI::App& app, const Cli& cli, Action& action);
void addLaunchersCommands(CLI::App& app, const Cli& cli, Action& action);
void addProfileCommands(CLI::App& app, const Cli& cli, Action& action);
void addLoginCommand(CLI::App& app, const Cli& cli, Action& action);
void addRuleCommands(CLI::App& app, const Cli& cli, Action& action);

} // namespace twinlantern::cli
