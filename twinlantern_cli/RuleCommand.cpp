// `twinlantern rule remove`: drops one folder rule, as the doctor's fix asks.
#include "twinlantern_cli/Commands.h"

#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"
#include "core/profiles/ProfileStore.h"

#include <algorithm>
#include <memory>

namespace twinlantern::cli {

namespace {

int remove(const Cli& cli, const std::string& path) {
    ProfileStore store(cli.paths);
    // The stored path exactly: the form `twinlantern doctor` quotes.
    const std::optional<std::pair<FolderRule, std::string>> removed =
        store.update([&](ProfileDocument& document) {
            std::optional<std::pair<FolderRule, std::string>> found;
            auto it = std::find_if(document.rules.begin(), document.rules.end(),
                                   [&](const FolderRule& rule) { return rule.path == path; });
            if (it != document.rules.end()) {
                const Profile* profile = document.profile(it->profileID);
                found.emplace(*it, profile != nullptr ? profile->name : it->profileID.rawValue);
                document.rules.erase(it);
            }
            return found;
        });
    if (!removed) {
        throw TwinLanternError::io("There's no folder rule \u201C" + path +
                                   "\u201D. `twinlantern profile list` shows each rule as stored.");
    }
    cli.out("Removed the folder rule " + text::terminalSafe(removed->first.path) + " \u2192 " +
            text::terminalSafe(removed->second) + ".\n");
    return 0;
}

} // namespace

void addRuleCommands(CLI::App& app, const Cli& cli, Action& action) {
    CLI::App* rule = app.add_subcommand("rule", "Change your folder rules");
    rule->require_subcommand(1);
    CLI::App* removeCommand =
        rule->add_subcommand("remove", "Remove the folder rule stored with this path");
    auto path = std::make_shared<std::string>();
    removeCommand->add_option("PATH", *path, "The rule's path as stored, such as '~/work/**'")
        ->required();
    removeCommand->callback([&cli, &action, path] {
        action = [&cli, path] {
            return remove(cli, *path);
        };
    });
}

} // namespace twinlantern::cli
