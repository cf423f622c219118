#include "platform/SchemeHandlers.h"

#include "core/base/FileUtil.h"
#include "core/base/TwinLanternError.h"
#include "core/tools/DesktopInstall.h"
#include "platform/DesktopEntry.h"
#include "platform/linux/LinuxWorkspace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace twinlantern::platform {

namespace {

constexpr std::size_t maxListBytes = 1 << 20;
constexpr std::string_view defaultsGroup = "[Default Applications]";

std::string variable(const Environment& environment, const std::string& name) {
    const auto found = environment.find(name);
    return found == environment.end() ? std::string() : found->second;
}

// An XDG folder variable: absolute entries only, else the fallback.
std::vector<std::string> folderList(const std::string& value, const std::string& fallback) {
    std::vector<std::string> folders;
    std::string_view rest = value;
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view entry = rest.substr(0, colon);
        if (entry.starts_with('/')) {
            folders.emplace_back(entry);
        }
        if (colon == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(colon + 1);
    }
    if (folders.empty()) {
        folders = folderList(fallback, "/");
    }
    return folders;
}

// The ids a list gives the key in [Default Applications].
std::vector<std::string> defaultsIn(std::string_view text, std::string_view key) {
    std::vector<std::string> ids;
    bool inGroup = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = DesktopEntry::trimmed(text.substr(0, end));
        text = end == text.npos ? std::string_view() : text.substr(end + 1);
        if (line.starts_with('[')) {
            inGroup = line == defaultsGroup;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inGroup || equals == line.npos ||
            DesktopEntry::trimmed(line.substr(0, equals)) != key) {
            continue;
        }
        std::string_view value = DesktopEntry::trimmed(line.substr(equals + 1));
        while (!value.empty()) {
            const std::size_t semicolon = value.find(';');
            const std::string_view id = DesktopEntry::trimmed(value.substr(0, semicolon));
            if (!id.empty()) {
                ids.emplace_back(id);
            }
            value = semicolon == value.npos ? std::string_view() : value.substr(semicolon + 1);
        }
    }
    return ids;
}

// The first line giving key a value in [Default Applications], as it stands.
std::optional<std::string> keyLine(std::string_view text, std::string_view key) {
    bool inGroup = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text = end == text.npos ? std::string_view() : text.substr(end + 1);
        const std::string_view content = DesktopEntry::trimmed(raw);
        if (content.starts_with('[')) {
            inGroup = content == defaultsGroup;
            continue;
        }
        const std::size_t equals = content.find('=');
        if (inGroup && equals != content.npos &&
            DesktopEntry::trimmed(content.substr(0, equals)) == key) {
            return std::string(raw);
        }
    }
    return std::nullopt;
}

std::string normal(const std::string& path) {
    std::string s = std::filesystem::path(path).lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') {
        s.pop_back();
    }
    return s;
}

[[noreturn]] void refuse(std::string_view scheme, const std::string& cause) {
    throw TwinLanternError::io("Couldn't change the " + std::string(scheme) +
                               ":// handler: " + cause);
}

// A list's text; empty when it isn't there.
std::string readList(std::string_view scheme, const std::string& path) {
    const ReadResult read = readWholeFile(path, maxListBytes);
    if (read.bytes) {
        return *read.bytes;
    }
    if (read.error == ENOENT) {
        return {};
    }
    refuse(scheme, std::strerror(read.error));
}

void writeFile(std::string_view scheme, const std::string& path, std::string_view text) {
    if (const int err = writeFileThroughLinks(path, text, 0644); err != 0) {
        refuse(scheme, std::strerror(err));
    }
}

} // namespace

SchemeHandlers::SchemeHandlers(std::string home, const Environment& environment) {
    configHome_ = folderList(variable(environment, "XDG_CONFIG_HOME"), home + "/.config")[0];
    configDirs_ = folderList(variable(environment, "XDG_CONFIG_DIRS"), "/etc/xdg");
    dataHome_ = folderList(variable(environment, "XDG_DATA_HOME"), home + "/.local/share")[0];
    dataDirs_ = folderList(variable(environment, "XDG_DATA_DIRS"), "/usr/local/share:/usr/share");
    const std::string current = variable(environment, "XDG_CURRENT_DESKTOP");
    std::string_view rest = current;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        std::string name(rest.substr(0, colon));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (!name.empty() && name.find('/') == std::string::npos) {
            desktops_.push_back(std::move(name));
        }
        rest = colon == rest.npos ? std::string_view() : rest.substr(colon + 1);
    }
}

std::vector<std::string> SchemeHandlers::mimeAppsLists() const {
    std::vector<std::string> folders{configHome_};
    folders.insert(folders.end(), configDirs_.begin(), configDirs_.end());
    folders.push_back(dataHome_ + "/applications");
    for (const auto& dir : dataDirs_) {
        folders.push_back(dir + "/applications");
    }
    std::vector<std::string> lists;
    for (const auto& folder : folders) {
        for (const auto& desktop : desktops_) {
            lists.push_back(folder + "/" + desktop + "-mimeapps.list");
        }
        lists.push_back(folder + "/mimeapps.list");
    }
    return lists;
}

std::optional<std::string> SchemeHandlers::entryPath(std::string_view desktopID) const {
    if (desktopID.empty() || desktopID.find('/') != desktopID.npos) {
        return std::nullopt;
    }
    std::vector<std::string> folders{dataHome_};
    folders.insert(folders.end(), dataDirs_.begin(), dataDirs_.end());
    for (const auto& folder : folders) {
        const std::string path = folder + "/applications/" + std::string(desktopID);
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            return path;
        }
    }
    return std::nullopt;
}

std::optional<std::string> SchemeHandlers::handlerEntry(std::string_view scheme) const {
    const std::string key = "x-scheme-handler/" + std::string(scheme);
    for (const auto& list : mimeAppsLists()) {
        const ReadResult read = readWholeFile(list, maxListBytes);
        if (!read.bytes) {
            continue; // missing or unreadable: the next list decides
        }
        for (const auto& id : defaultsIn(*read.bytes, key)) {
            if (auto path = entryPath(id)) {
                return path;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> SchemeHandlers::currentHandler(std::string_view scheme) const {
    auto entry = handlerEntry(scheme);
    if (!entry) {
        return std::nullopt;
    }
    const ReadResult read = readWholeFile(*entry, maxListBytes);
    const auto exec = read.bytes ? DesktopEntry::value(*read.bytes, "Exec") : std::nullopt;
    const auto arguments = exec ? DesktopEntry::command(*exec) : std::nullopt;
    if (arguments && !arguments->empty()) {
        const std::string& program = arguments->front();
        const std::size_t at = program.rfind("/Contents/MacOS/");
        if (at != std::string::npos && program.substr(0, at).ends_with(".app")) {
            return program.substr(0, at);
        }
    }
    return entry;
}

std::optional<std::string> SchemeHandlers::entryText(const std::string& name,
                                                     const std::string& program) {
    const auto exec = DesktopEntry::exec(program, {}, "%u");
    if (!exec) {
        return std::nullopt;
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           DesktopEntry::escaped(name) +
           "\n"
           "Exec=" +
           *exec +
           "\n"
           "NoDisplay=true\n";
}

std::optional<std::string> SchemeHandlers::withDefault(std::string_view text, std::string_view key,
                                                       std::string_view value, bool onlyIfPresent) {
    const std::string line = std::string(key) + "=" + std::string(value) + "\n";
    std::string out;
    bool inGroup = false;
    bool sawGroup = false;
    bool replaced = false;
    std::size_t groupEnd = std::string::npos; // after the group's last non-blank line
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view raw = end == text.npos ? text : text.substr(0, end + 1);
        text.remove_prefix(raw.size());
        const std::string_view content = DesktopEntry::trimmed(raw.substr(0, raw.find('\n')));
        if (content.starts_with('[')) {
            inGroup = content == defaultsGroup;
            sawGroup = sawGroup || inGroup;
        }
        const std::size_t equals = content.find('=');
        if (inGroup && !content.starts_with('[') && equals != content.npos &&
            DesktopEntry::trimmed(content.substr(0, equals)) == key) {
            out += line;
            replaced = true;
        } else {
            out += raw;
            if (!raw.ends_with('\n')) {
                out += '\n';
            }
        }
        if (inGroup && !content.empty()) {
            groupEnd = out.size();
        }
    }
    if (replaced) {
        return out;
    }
    if (onlyIfPresent) {
        return std::nullopt;
    }
    if (sawGroup) {
        out.insert(groupEnd, line);
        return out;
    }
    if (!out.empty()) {
        out += '\n';
    }
    return out + std::string(defaultsGroup) + "\n" + line;
}

std::string SchemeHandlers::withLine(std::string_view text, std::string_view key,
                                     const std::optional<std::string>& line) {
    std::string out;
    bool inGroup = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view raw = end == text.npos ? text : text.substr(0, end + 1);
        text.remove_prefix(raw.size());
        const std::string_view content = DesktopEntry::trimmed(raw.substr(0, raw.find('\n')));
        if (content.starts_with('[')) {
            inGroup = content == defaultsGroup;
        }
        const std::size_t equals = content.find('=');
        if (inGroup && !content.starts_with('[') && equals != content.npos &&
            DesktopEntry::trimmed(content.substr(0, equals)) == key) {
            if (line) {
                out += *line + "\n";
            }
            continue;
        }
        out += raw;
    }
    return out;
}

std::vector<std::string> SchemeHandlers::userLists() const {
    std::vector<std::string> lists;
    for (const auto& desktop : desktops_) {
        lists.push_back(configHome_ + "/" + desktop + "-mimeapps.list");
    }
    lists.push_back(configHome_ + "/mimeapps.list");
    return lists;
}

std::vector<SchemeHandlers::SavedDefault>
SchemeHandlers::userDefaults(std::string_view scheme) const {
    const std::string key = "x-scheme-handler/" + std::string(scheme);
    const std::string plain = configHome_ + "/mimeapps.list";
    std::vector<SavedDefault> saved;
    for (const auto& list : userLists()) {
        const ReadResult read = readWholeFile(list, maxListBytes);
        if (!read.bytes && read.error != ENOENT) {
            refuse(scheme, std::strerror(read.error));
        }
        if (list == plain || (read.bytes && keyLine(*read.bytes, key))) {
            saved.push_back({list, read.bytes});
        }
    }
    return saved;
}

void SchemeHandlers::restoreDefaults(std::string_view scheme,
                                     const std::vector<SavedDefault>& saved) const {
    const std::string key = "x-scheme-handler/" + std::string(scheme);
    const std::vector<std::string> lists = userLists();
    for (const SavedDefault& entry : saved) {
        if (std::find(lists.begin(), lists.end(), entry.list) == lists.end()) {
            continue;
        }
        const ReadResult read = readWholeFile(entry.list, maxListBytes);
        if (!read.bytes) {
            if (read.error == ENOENT) {
                continue; // gone since, and our line with it
            }
            refuse(scheme, std::strerror(read.error));
        }
        const std::string& now = *read.bytes;
        const auto ours = keyLine(now, key);
        if (!ours) {
            continue;
        }
        const std::string value(
            DesktopEntry::trimmed(std::string_view(*ours).substr(ours->find('=') + 1)));
        if (withDefault(entry.text.value_or(""), key, value, false) == now) {
            if (entry.text) {
                writeFile(scheme, entry.list, *entry.text);
            } else if (::unlink(entry.list.c_str()) != 0 && errno != ENOENT) {
                refuse(scheme, std::strerror(errno));
            }
            continue;
        }
        const std::string after =
            withLine(now, key, entry.text ? keyLine(*entry.text, key) : std::nullopt);
        if (after != now) {
            writeFile(scheme, entry.list, after);
        }
    }
}

void SchemeHandlers::setHandler(std::string_view scheme, const std::string& bundlePath, bool own) {
    if (const auto current = currentHandler(scheme);
        current && normal(*current) == normal(bundlePath)) {
        return;
    }
    const auto info = DesktopInstall::readBundleInfo(bundlePath);
    if (!info || !info->identifier || info->identifier->empty()) {
        throw TwinLanternError::unsupported("Couldn't read the bundle ID of " + bundlePath + ".");
    }
    const std::string id = *info->identifier + ".desktop";
    if (id.find('/') != std::string::npos) {
        throw TwinLanternError::unsupported("Couldn't read the bundle ID of " + bundlePath + ".");
    }
    const auto program = LinuxWorkspace::bundleExecutable(bundlePath);
    if (!program) {
        refuse(scheme, "the bundle names no program");
    }
    const std::string bundleName = std::filesystem::path(normal(bundlePath)).stem().string();
    const auto entry = entryText(bundleName, *program);
    if (!entry) {
        refuse(scheme, "the program's path holds a control character");
    }
    const std::string& text = *entry;
    const std::string applications = dataHome_ + "/applications";
    const std::string ownEntry = applications + "/" + id;
    // Our own entry is kept current; another app's entry is its own, and we only stand in
    // when it has none.
    bool write = false;
    if (own) {
        const ReadResult read = readWholeFile(ownEntry, maxListBytes);
        write = !read.bytes || *read.bytes != text;
    } else {
        write = !entryPath(id);
    }
    if (write) {
        if (!makeDirectories(applications, 0755)) {
            refuse(scheme, std::strerror(errno));
        }
        writeFile(scheme, ownEntry, text);
    }
    if (!makeDirectories(configHome_, 0755)) {
        refuse(scheme, std::strerror(errno));
    }
    const std::string key = "x-scheme-handler/" + std::string(scheme);
    for (const auto& desktop : desktops_) {
        const std::string list = configHome_ + "/" + desktop + "-mimeapps.list";
        const std::string before = readList(scheme, list);
        if (const auto after = withDefault(before, key, id, true); after && *after != before) {
            writeFile(scheme, list, *after);
        }
    }
    const std::string list = configHome_ + "/mimeapps.list";
    const std::string before = readList(scheme, list);
    if (const auto after = withDefault(before, key, id, false); *after != before) {
        writeFile(scheme, list, *after);
    }
}

} // namespace twinlantern::platform
