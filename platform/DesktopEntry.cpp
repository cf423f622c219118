#include "platform/DesktopEntry.h"

namespace twinlantern::DesktopEntry {

namespace {

constexpr std::string_view reserved = " \t\n\r\"'\\><~|&;$*?#()`";
constexpr std::string_view shell = "/bin/sh";
constexpr std::string_view shellScript = "exec \"$0\" \"$@\"";

// The string-level escapes of a Desktop Entry value.
std::optional<std::string> unescapeString(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
            continue;
        }
        if (++i == value.size()) {
            return std::nullopt;
        }
        switch (value[i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}

std::string undoublePercent(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        out += s[i];
        if (s[i] == '%' && i + 1 < s.size() && s[i + 1] == '%') {
            ++i;
        }
    }
    return out;
}

} // namespace

std::string escaped(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        switch (const char c = value[i]) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case ' ':
            out += i == 0 ? "\\s" : " ";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::optional<std::string> execArgument(std::string_view argument) {
    std::string quoted;
    const bool quote = argument.empty() || argument.find_first_of(reserved) != argument.npos;
    for (const char c : argument) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\n' && c != '\t' && c != '\r') || u == 0x7F) {
            return std::nullopt;
        }
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            quoted += '\\';
        }
        quoted += c;
        if (c == '%') {
            quoted += '%';
        }
    }
    if (quote) {
        quoted = '"' + quoted + '"';
    }
    return escaped(quoted);
}

std::optional<std::string> exec(std::string_view program, const std::vector<std::string>& arguments,
                                std::string_view fieldCode) {
    std::vector<std::string_view> pieces;
    if (program.find('%') != std::string_view::npos) {
        pieces = {shell, "-c", shellScript};
    }
    pieces.push_back(program);
    pieces.insert(pieces.end(), arguments.begin(), arguments.end());
    std::string out;
    for (const std::string_view piece : pieces) {
        const auto argument = execArgument(piece);
        if (!argument) {
            return std::nullopt;
        }
        if (!out.empty()) {
            out += ' ';
        }
        out += *argument;
    }
    if (!fieldCode.empty()) {
        out += ' ';
        out += fieldCode;
    }
    return out;
}

std::optional<std::vector<std::string>> execArguments(std::string_view value) {
    const auto text = unescapeString(value);
    if (!text) {
        return std::nullopt;
    }
    std::vector<std::string> arguments;
    std::size_t i = 0;
    const std::string& s = *text;
    while (true) {
        while (i < s.size() && s[i] == ' ') {
            ++i;
        }
        if (i == s.size()) {
            return arguments;
        }
        std::string argument;
        if (s[i] == '"') {
            for (++i;; ++i) {
                if (i == s.size()) {
                    return std::nullopt;
                }
                if (s[i] == '"') {
                    ++i;
                    break;
                }
                if (s[i] == '\\') {
                    if (++i == s.size() ||
                        std::string_view("\"`$\\").find(s[i]) == std::string_view::npos) {
                        return std::nullopt;
                    }
                }
                argument += s[i];
            }
            if (i < s.size() && s[i] != ' ') {
                return std::nullopt;
            }
        } else {
            while (i < s.size() && s[i] != ' ') {
                if (s[i] == '"') {
                    return std::nullopt;
                }
                argument += s[i++];
            }
        }
        arguments.push_back(undoublePercent(argument));
    }
}

std::optional<std::vector<std::string>> command(std::string_view value) {
    auto arguments = execArguments(value);
    if (arguments && arguments->size() > 3 && (*arguments)[0] == shell && (*arguments)[1] == "-c" &&
        (*arguments)[2] == shellScript) {
        arguments->erase(arguments->begin(), arguments->begin() + 3);
    }
    return arguments;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::optional<std::string> value(std::string_view text, std::string_view key) {
    bool inEntry = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == text.npos ? std::string_view() : text.substr(end + 1);
        if (line.starts_with('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry || line.starts_with('#')) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals != line.npos && trimmed(line.substr(0, equals)) == key) {
            return std::string(trimmed(line.substr(equals + 1)));
        }
    }
    return std::nullopt;
}

} // namespace twinlantern::DesktopEntry
