#include "core/base/PathUtil.h"
#include "core/base/Text.h"
#include "core/shell/ShellIntegration.h"

#include <sys/stat.h>
#include <unicode/uchar.h>

#include <algorithm>

namespace twinlantern {

namespace {

// Lines 2 to 6 of the block: the lines we wrote between the markers.
constexpr std::array<std::string_view, 5> innerLines = {
    "# Added by TwinLantern: puts the claude/codex profile shims first on PATH.",
    "# Remove with `twinlantern shell uninstall`, or delete this block.",
    "_tl=\"$HOME/.twinlantern/bin\"; _tlp=\":$PATH:\"",
    "while [ \"${_tlp#*:\"$_tl\":}\" != \"$_tlp\" ]; do "
    "_tlp=\"${_tlp%%:\"$_tl\":*}:${_tlp#*:\"$_tl\":}\"; done",
    "_tlp=\"${_tlp#:}\"; _tlp=\"${_tlp%:}\"; export PATH=\"$_tl${_tlp:+:$_tlp}\"; unset _tl _tlp",
};

bool matchesMarker(std::string_view line, std::string_view marker) {
    return text::trimSpacesTabs(line) == marker;
}

bool isOurLine(std::string_view line) {
    return matchesMarker(line, ShellIntegration::beginMarker) ||
           std::find(innerLines.begin(), innerLines.end(), line) != innerLines.end();
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (;;) {
        auto lf = text.find('\n');
        lines.push_back(text.substr(0, lf));
        if (lf == std::string_view::npos) {
            return lines;
        }
        text.remove_prefix(lf + 1);
    }
}

bool isAllWhiteSpace(std::string_view s) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = 0; i < s.size();) {
        const int length = text::utf8Sequence(bytes + i, s.size() - i);
        if (length < 0 ||
            !u_isUWhiteSpace(static_cast<UChar32>(text::utf8Scalar(bytes + i, length)))) {
            return false;
        }
        i += static_cast<std::size_t>(length);
    }
    return true;
}

bool existsFollowingLinks(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

const std::string& ShellIntegration::block() {
    static const std::string text = [] {
        std::string out(beginMarker);
        out += '\n';
        for (auto line : innerLines) {
            out += line;
            out += '\n';
        }
        out += endMarker;
        out += '\n';
        return out;
    }();
    return text;
}

ShellIntegration::ShellIntegration(Paths paths_, const Environment& environment)
    : paths(std::move(paths_)) {
    auto it = environment.find("ZDOTDIR");
    if (it != environment.end() && it->second.starts_with("/")) {
        std::string normalized = PathUtil::normalize(it->second);
        if (normalized != paths.home) {
            zdotdir = std::move(normalized);
        }
    }
}

std::vector<std::string> ShellIntegration::targetFiles() const {
    std::vector<std::string> files{zdotdir.value_or(paths.home) + "/.zshrc"};
    for (const char* name : {"/.bashrc", "/.bash_profile"}) {
        std::string path = paths.home + name;
        if (existsFollowingLinks(path)) {
            files.push_back(std::move(path));
        }
    }
    return files;
}

std::string ShellIntegration::removingBlock(std::string_view text) {
    std::vector<std::string_view> lines = splitLines(text);
    for (;;) {
        auto begin = std::find_if(lines.begin(), lines.end(),
                                  [](auto line) { return matchesMarker(line, beginMarker); });
        if (begin == lines.end()) {
            break;
        }
        auto end = std::find_if(begin, lines.end(),
                                [](auto line) { return matchesMarker(line, endMarker); });
        if (end != lines.end()) {
            lines.erase(begin, end + 1);
        } else {
            // Without its end marker the block's extent is unknown: take only what we wrote
            // and keep every other line after it.
            lines.erase(std::remove_if(begin, lines.end(), isOurLine), lines.end());
        }
        if (lines.empty()) {
            return {};
        }
    }
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            out += '\n';
        }
        out += lines[i];
    }
    return out;
}

std::string ShellIntegration::addingBlock(std::string_view text) {
    std::string out = removingBlock(text);
    if (!out.empty() && out.back() != '\n') {
        out += '\n';
    }
    out += block();
    return out;
}

bool ShellIntegration::blockIsLast(std::string_view text) {
    auto at = text.rfind(endMarker);
    if (at == std::string_view::npos) {
        return false;
    }
    std::string_view rest = text.substr(at + endMarker.size());
    if (isAllWhiteSpace(rest)) {
        return true;
    }
    // The prompt snippets are offered for pasting after the theme, so below our block;
    // they only read the profile and leave PATH alone.
    static const std::vector<std::string> snippetLines = [] {
        std::vector<std::string> out;
        for (const char* shell : {"zsh", "bash", "starship"}) {
            // Held here: the lines are views into it.
            const std::string snippet = *promptSnippet(shell);
            for (auto line : splitLines(snippet)) {
                out.emplace_back(text::trimSpacesTabs(line));
            }
        }
        return out;
    }();
    for (auto piece : splitLines(rest)) {
        piece = text::trimSpacesTabs(piece);
        if (!piece.empty() && !piece.starts_with("#") &&
            std::find(snippetLines.begin(), snippetLines.end(), piece) == snippetLines.end()) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> ShellIntegration::promptSnippet(std::string_view shell) {
    static constexpr std::string_view update =
        "_twinlantern_update() { export TWINLANTERN_PROFILE=\"$(\"$HOME/.twinlantern/libexec/"
        "twinlantern-resolve\" --prompt 2>/dev/null)\"; }";
    if (shell == "zsh" || shell == "oh-my-zsh") {
        return std::string(
                   "# TwinLantern: show this folder's profile in your prompt, and export "
                   "TWINLANTERN_PROFILE\n"
                   "# for themes. Add to ~/.zshrc after your theme or oh-my-zsh is loaded.\n") +
               std::string(update) +
               "\nautoload -Uz add-zsh-hook && add-zsh-hook chpwd _twinlantern_update && "
               "_twinlantern_update\n"
               "setopt PROMPT_SUBST\n"
               "RPROMPT='${TWINLANTERN_PROFILE:+[$TWINLANTERN_PROFILE]}'\"$RPROMPT\"";
    }
    if (shell == "bash") {
        return std::string("# TwinLantern: show this folder's profile in your prompt. Add to "
                           "~/.bashrc.\n") +
               std::string(update) +
               "\nPROMPT_COMMAND=\"_twinlantern_update${PROMPT_COMMAND:+; $PROMPT_COMMAND}\"\n"
               "PS1='${TWINLANTERN_PROFILE:+[$TWINLANTERN_PROFILE] }'\"$PS1\"";
    }
    if (shell == "starship") {
        return std::string("# TwinLantern: add to ~/.config/starship.toml\n"
                           "[custom.twinlantern]\n"
                           "command = \"~/.twinlantern/libexec/twinlantern-resolve --prompt\"\n"
                           "when = \"test -x ~/.twinlantern/libexec/twinlantern-resolve\"\n"
                           "format = \"[$output]($style) \"\n"
                           "style = \"bold blue\"");
    }
    return std::nullopt;
}

std::string ShellIntegration::root() const {
    return paths.home + "/.twinlantern";
}
std::string ShellIntegration::libexec() const {
    return root() + "/libexec";
}
std::string ShellIntegration::backups() const {
    return root() + "/backups";
}
std::string ShellIntegration::stateFile() const {
    return root() + "/install.json";
}
std::string ShellIntegration::appPathFile() const {
    return root() + "/app-path";
}
std::string ShellIntegration::shimFolder() const {
    return paths.shimDirectory();
}

} // namespace twinlantern
