#include "TwinLanternMac/apps/ProcessArguments.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/Utf8Replacing.h"

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>

namespace twinlantern::ProcessArguments {

namespace {

constexpr std::uint32_t maxCount = 99999;
constexpr std::string_view flag = "--user-data-dir";
// Command lines are capped by the kernel's argument space; this is far above it.
constexpr std::size_t maxCmdlineBytes = 8 * 1024 * 1024;

// /proc files report size 0, so they are read to the end rather than sized first.
std::optional<std::string> readProcFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        return std::nullopt;
    }
    std::string out;
    char buffer[4096];
    while (out.size() < maxCmdlineBytes) {
        const ssize_t got = readUpTo(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
}

} // namespace

std::optional<std::vector<std::string>> parse(std::string_view buffer) {
    if (buffer.size() < 4) {
        return std::nullopt;
    }
    std::uint32_t count = 0;
    std::memcpy(&count, buffer.data(), sizeof count);
    if (count == 0 || count > maxCount) {
        return std::nullopt;
    }
    std::size_t offset = buffer.find('\0', 4);
    if (offset == std::string_view::npos) {
        return std::nullopt;
    }
    offset = buffer.find_first_not_of('\0', offset);
    if (offset == std::string_view::npos) {
        return std::nullopt;
    }
    std::vector<std::string> strings;
    while (strings.size() < count && offset < buffer.size()) {
        std::size_t end = buffer.find('\0', offset);
        if (end == std::string_view::npos) {
            end = buffer.size();
        }
        strings.push_back(utf8Replacing(buffer.substr(offset, end - offset)));
        offset = end + 1;
    }
    if (strings.size() != count) {
        return std::nullopt;
    }
    return strings;
}

std::string layout(std::string_view cmdline, std::string_view executable) {
    std::uint32_t count = 0;
    for (char c : cmdline) {
        count += c == '\0' ? 1 : 0;
    }
    if (!cmdline.empty() && cmdline.back() != '\0') {
        ++count; // the last string lost its NUL (a process rewrote its arguments)
    }
    std::string out(sizeof count, '\0');
    std::memcpy(out.data(), &count, sizeof count);
    out.append(executable);
    out.push_back('\0');
    out.append(cmdline);
    return out;
}

std::optional<std::vector<std::string>> arguments(pid_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    const std::string base = "/proc/" + std::to_string(pid);
    const auto cmdline = readProcFile(base + "/cmdline");
    if (!cmdline || cmdline->empty()) {
        return std::nullopt;
    }
    char exe[PATH_MAX];
    const ssize_t n = ::readlink((base + "/exe").c_str(), exe, sizeof exe);
    if (n <= 0) {
        return std::nullopt;
    }
    return parse(layout(*cmdline, std::string_view(exe, static_cast<std::size_t>(n))));
}

std::optional<std::string> userDataDirectory(const std::vector<std::string>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() > flag.size() && argument.starts_with(flag) &&
            argument[flag.size()] == '=') {
            return PathUtil::normalize(std::string_view(argument).substr(flag.size() + 1));
        }
        if (argument == flag && i + 1 < arguments.size()) {
            return PathUtil::normalize(arguments[i + 1]);
        }
    }
    return std::nullopt;
}

} // namespace twinlantern::ProcessArguments
