#pragma once

#include "core/profiles/ProfileDocument.h"

#include <optional>
#include <string>
#include <vector>

namespace twinlantern {

// Which profile applies in a folder, and why.
struct Resolution {
    enum class Source { folderRule, dotfile, cliDefault, none };

    std::optional<Profile> profile;
    Source source = Source::none;
    std::optional<FolderRule> rule; // folderRule only
    std::string dotfilePath;        // dotfile only: the file, not its folder
    std::vector<std::string> warnings;

    friend bool operator==(const Resolution&, const Resolution&) = default;
};

// Folder rules, `.twinlantern` files and the terminal default, in that precedence.
// Never writes and never fails: problems become warnings or no profile.
struct RuleResolver {
    static constexpr const char* dotfileName = ".twinlantern";

    ProfileDocument document;
    std::string home; // expands "~"

    Resolution resolve(const std::string& path, const std::string& cwd) const;

    // The first line that is neither blank nor a comment, trimmed; nothing when the
    // file is not a regular file of at most 4096 bytes of UTF-8, or has no such line.
    static std::optional<std::string> readReference(const std::string& path);

    friend bool operator==(const RuleResolver&, const RuleResolver&) = default;
};

// What `RuleResolver{document, home}.resolve(path, cwd)` gives, without copying the
// document into a resolver.
Resolution resolveFolder(const ProfileDocument& document, const std::string& home,
                         const std::string& path, const std::string& cwd);

} // namespace twinlantern
