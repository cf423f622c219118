// `twinlantern profile list`: the profiles file as the app shows it.
#include "twinlantern_cli/Commands.h"

#include "core/base/Json.h"
#include "core/base/Text.h"
#include "core/profiles/ProfileStore.h"

#include <memory>

namespace twinlantern::cli {

namespace {

std::string toolList(const Profile& profile) {
    std::string out;
    for (ToolKind kind : profile.tools()) {
        out += (out.empty() ? "" : ", ") + std::string(rawValue(kind));
    }
    return out.empty() ? "none" : out;
}

int list(const Cli& cli, bool json) {
    const ProfileDocument document = ProfileStore(cli.paths).load();
    const auto isDefault = [&](const Profile& p) {
        return document.cliDefault == p.id;
    };
    if (json) {
        nlohmann::json profiles = nlohmann::json::array();
        for (const Profile& profile : document.profiles) {
            nlohmann::json entry = profile;
            entry["terminalDefault"] = isDefault(profile);
            entry["rules"] = nlohmann::json::array();
            for (const FolderRule& rule : document.rulesFor(profile.id)) {
                entry["rules"].push_back(rule.path);
            }
            profiles.push_back(std::move(entry));
        }
        cli.out(jsonText(profiles));
        return 0;
    }
    if (document.profiles.empty()) {
        cli.out("No profiles yet.\n");
        return 0;
    }
    std::string text;
    for (const Profile& profile : document.profiles) {
        text += text.empty() ? "" : "\n";
        text += cli.paint(text::terminalSafe(profile.name), "1");
        text += isDefault(profile) ? " (terminal default)\n" : "\n";
        text += "  id       " + text::terminalSafe(profile.id.rawValue) + "\n";
        text += "  colour   " + std::string(rawValue(profile.color)) + "\n";
        text += "  badge    " + text::terminalSafe(profile.badge) + "\n";
        text += "  tools    " + toolList(profile) + "\n";
        text += "  storage  " + std::string(rawValue(profile.storage)) + "\n";
        for (const FolderRule& rule : document.rulesFor(profile.id)) {
            text += "  rule     " + text::terminalSafe(rule.path) + "\n";
        }
    }
    cli.out(text);
    return 0;
}

} // namespace

void addProfileCommands(CLI::App& app, const Cli& cli, Action& action) {
    CLI::App* profile = app.add_subcommand("profile", "Look at your profiles");
    profile->require_subcommand(1);
    CLI::App* listCommand = profile->add_subcommand(
        "list", "List the profiles with their tools, storage and folder rules");
    auto json = std::make_shared<bool>(false);
    listCommand->add_flag("--json", *json, "Print the profiles as a JSON array");
    listCommand->callback([&cli, &action, json] {
        action = [&cli, json] {
            return list(cli, *json);
        };
    });
}

} // namespace twinlantern::cli
