#include "TwinLanternMac/launchers/LauncherGenerator.h"

#include "TwinLanternMac/launchers/AdHocSeal.h"
#include "TwinLanternMac/apps/DesktopLocator.h"
#include "TwinLanternMac/launchers/IconRenderer/LauncherIcons.h"
#include "TwinLanternMac/launchers/LauncherDesktopEntry.h"
#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/PropertyList.h"
#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"
#include "core/base/UniqueFd.h"
#include "core/base/Utf8Replacing.h"
#include "core/tools/DesktopInstall.h"
#include "platform/Workspace.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <optional>

namespace twinlantern {

namespace {

// Our own program, a few megabytes; the limit only keeps a wrong path from bloating us.
constexpr std::size_t maxLauncherBytes = 512u << 20;

const char* const quarantineAttribute = "user.com.apple.quarantine";

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};

void makeFolder(const std::string& path) {
    if (!makeDirectories(path, 0755)) {
        throw TwinLanternError::ioErrno("create " + path, errno);
    }
}

void writeFile(const std::string& path, std::string_view bytes, mode_t mode) {
    if (auto failure = writeFileAtomically(path, bytes, mode)) {
        throw TwinLanternError::ioErrno("write " + path, failure->error);
    }
}

std::string replaced(std::string s, char from, char to) {
    for (char& c : s) {
        if (c == from) {
            c = to;
        }
    }
    return s;
}

// Whether XML gives the text back as it is: no C0 control but tab and line feed (a
// carriage return comes back as a line feed, the others make the file ill-formed) and
// neither U+FFFE nor U+FFFF.
bool xmlCarries(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 && c != '\t' && c != '\n') {
            return false;
        }
        if (text.compare(i, 3, "\xEF\xBF\xBE") == 0 || text.compare(i, 3, "\xEF\xBF\xBF") == 0) {
            return false;
        }
    }
    return true;
}

std::string binaryPropertyList(plist_t node) {
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node, &bytes, &length);
    std::string out;
    if (bytes != nullptr) {
        out.assign(bytes, length);
        plist_to_bin_free(bytes);
    }
    return out;
}

// The TLProfileID of the bundle at path (links followed), when it has one.
std::optional<std::string> bundleProfileID(const std::string& path) {
    const auto info = PropertyList::readDictionary(path + "/Contents/Info.plist");
    if (!info) {
        return std::nullopt;
    }
    return info->string(LauncherGenerator::infoKeys.profileID);
}

bool somethingAt(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Puts staging at target: exchanged with whatever stands there, which then stands at
// staging; a plain rename when nothing does.
void swapInto(const std::string& staging, const std::string& target) {
    if (somethingAt(target)) {
        if (renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) != 0) {
            throw TwinLanternError::ioErrno("move " + staging + " to " + target, errno);
        }
        return;
    }
    if (rename(staging.c_str(), target.c_str()) != 0) {
        throw TwinLanternError::ioErrno("move " + staging + " to " + target, errno);
    }
}

} // namespace

LauncherGenerator::LauncherGenerator(Paths paths, std::string launcherBinary,
                                     std::string targetBundleID, Environment environment)
    : paths_(std::move(paths)), launcherBinary_(std::move(launcherBinary)),
      targetBundleID_(std::move(targetBundleID)), environment_(std::move(environment)),
      directory_(paths_.home + "/Applications/TwinLantern"),
      applications_(LauncherDesktopEntry::applicationsDirectory(environment_, paths_.home)) {}

std::string LauncherGenerator::appName(const Profile& profile) {
    return "Claude — " + replaced(replaced(profile.name, '/', '-'), ':', '-');
}

std::string LauncherGenerator::bundleName(const Profile& profile, std::size_t limit) {
    const std::string text = utf8Replacing(appName(profile));
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            name += "\uFFFD";
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            name += "\uFFFD"; // U+0080 to U+009F
            ++i;
        } else {
            name += text[i];
        }
    }
    const std::size_t budget = limit > 4 ? limit - 4 : 0;
    if (name.size() <= budget) {
        return name;
    }
    // The most user-perceived characters that fit.
    std::size_t fits = 0, beyond = text::characterCount(name);
    while (beyond - fits > 1) {
        const std::size_t middle = fits + (beyond - fits) / 2;
        if (text::firstCharacters(name, middle).size() <= budget) {
            fits = middle;
        } else {
            beyond = middle;
        }
    }
    return text::firstCharacters(name, fits);
}

std::string LauncherGenerator::appPath(const Profile& profile) const {
    const long limit = pathconf(directory_.c_str(), _PC_NAME_MAX);
    return directory_ + "/" +
           bundleName(profile, limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX) + ".app";
}

std::string LauncherGenerator::entryPath(const ProfileID& id) const {
    return LauncherDesktopEntry::path(applications_, id.rawValue);
}

std::string LauncherGenerator::generate(const Profile& profile) const {
    const std::optional<DesktopInstall> app =
        DesktopLocator::locate(*platform::makeWorkspace(paths_, environment_), targetBundleID_);
    if (!app) {
        throw TwinLanternError::unsupported(
            "Claude Desktop isn't installed, so there's nothing to make a launcher for.");
    }
    if (!PathUtil::isExecutableFile(launcherBinary_)) {
        throw TwinLanternError::io("Couldn't find twinlantern-launcher at " + launcherBinary_ +
                                   ".");
    }
    const auto dataDirectory = paths_.dataDirectory(ToolKind::claudeDesktop, profile.id);
    if (!dataDirectory) {
        throw TwinLanternError::invalidProfile("“" + profile.id.rawValue +
                                               "” isn't a valid profile id.");
    }
    makeFolder(directory_);

    const std::string target = appPath(profile);
    const std::string staging = directory_ + "/.staging-" + profile.id.rawValue + ".app";
    removeTreeWithoutFollowing(staging);
    const std::string displaced = bundleProfileID(target).value_or("");
    try {
        const std::string contents = staging + "/Contents";
        makeFolder(contents + "/MacOS");
        makeFolder(contents + "/Resources");

        const ReadResult launcher = readWholeFile(launcherBinary_, maxLauncherBytes);
        if (!launcher.bytes) {
            throw TwinLanternError::ioErrno("read " + launcherBinary_, launcher.error);
        }
        writeFile(contents + "/MacOS/launcher", *launcher.bytes, 0755);

        writeLauncherIcons(app->path, profile.color, profile.badge,
                           contents + "/Resources/AppIcon.icns",
                           contents + "/Resources/AppIcon.png", entryIconPixels);

        const std::string name = appName(profile);
        std::unique_ptr<std::remove_pointer_t<plist_t>, PlistFree> info(plist_new_dict());
        const auto set = [&](const char* key, plist_t value) {
            plist_dict_set_item(info.get(), key, value);
        };
        bool xml = true;
        const auto setString = [&](const char* key, const std::string& value) {
            xml = xml && xmlCarries(value);
            set(key, plist_new_string(value.c_str()));
        };
        setString("CFBundleIdentifier", bundleIDPrefix + profile.id.rawValue);
        setString("CFBundleName", name);
        setString("CFBundleDisplayName", name);
        setString("CFBundleExecutable", "launcher");
        setString("CFBundleIconFile", "AppIcon");
        setString("CFBundlePackageType", "APPL");
        setString("CFBundleShortVersionString", "1.0");
        setString("CFBundleVersion", std::to_string(version));
        setString("LSMinimumSystemVersion", "14.0");
        set("LSUIElement", plist_new_bool(1));
        setString("NSAppleEventsUsageDescription",
                  "Brings this profile's Claude window back to the front.");
        setString("NSHumanReadableCopyright", "TwinLantern launcher for “" + profile.name + "”");
        setString(infoKeys.profileID, profile.id.rawValue);
        setString(infoKeys.dataDir,
                  profile.storage == Profile::Storage::managed ? *dataDirectory : std::string());
        setString(infoKeys.target, targetBundleID_);
        setString(infoKeys.lock, paths_.supportDirectory() + "/desktop");
        set(infoKeys.version, plist_new_uint(version));
        // A name XML can't give back exactly goes into the binary form, which holds any text.
        const std::string plist =
            xml ? propertyListXml(info.get()) : binaryPropertyList(info.get());
        if (plist.empty()) {
            throw TwinLanternError::ioErrno("write " + contents + "/Info.plist", EIO);
        }
        writeFile(contents + "/Info.plist", plist, 0644);

        sealBundle(staging);
        swapInto(staging, target);
    } catch (...) {
        removeTreeWithoutFollowing(staging);
        throw;
    }
    // What came out of the swap: the previous bundle at that path.
    removeTreeWithoutFollowing(staging);

    for (const Installed& other : installed()) {
        if (other.profileID == profile.id && other.path != target) {
            removeTreeWithoutFollowing(other.path);
        }
    }
    // Two names can meet in one bundle path: the profile that had it keeps no entry that
    // would now open this one.
    if (!displaced.empty() && displaced != profile.id.rawValue) {
        removeEntry(ProfileID(displaced));
    }
    LauncherDesktopEntry::write(
        entryPath(profile.id),
        LauncherDesktopEntry::text(appName(profile), target + "/Contents/MacOS/launcher",
                                   target + "/Contents/Resources/AppIcon.png",
                                   profile.id.rawValue));
    LauncherDesktopEntry::noteChanged(applications_, environment_);
    return target;
}

void LauncherGenerator::removeEntry(const ProfileID& id) const {
    if (id.isValid()) {
        unlink(entryPath(id).c_str());
    }
}

void LauncherGenerator::removeLaunchers(const ProfileID& id) const {
    for (const Installed& launcher : installed()) {
        if (launcher.profileID == id) {
            removeTreeWithoutFollowing(launcher.path);
        }
    }
    removeEntry(id);
    LauncherDesktopEntry::noteChanged(applications_, environment_);
}

std::vector<LauncherGenerator::Installed> LauncherGenerator::installed() const {
    std::vector<Installed> out;
    UniqueDir dir(opendir(directory_.c_str()));
    if (!dir) {
        return out;
    }
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.empty() || name.front() == '.' || name.size() < 4 ||
            name.compare(name.size() - 4, 4, ".app") != 0) {
            continue;
        }
        const std::string path = directory_ + "/" + name;
        if (std::optional<std::string> id = bundleProfileID(path)) {
            out.push_back({path, ProfileID(std::move(*id)), isQuarantined(path)});
        }
    }
    return out;
}

bool LauncherGenerator::isQuarantined(const std::string& path) {
    return getxattr(path.c_str(), quarantineAttribute, nullptr, 0) >= 0;
}

void LauncherGenerator::removeAll() const {
    for (const Installed& launcher : installed()) {
        removeTreeWithoutFollowing(launcher.path);
        removeEntry(launcher.profileID);
    }
    rmdir(directory_.c_str());
    removeStrayEntries();
}

void LauncherGenerator::removeStrayEntries() const {
    const std::string prefix = "app.twinlantern.launcher.", suffix = ".desktop";
    std::vector<ProfileID> stray;
    {
        UniqueDir dir(opendir(applications_.c_str()));
        if (!dir) {
            return;
        }
        while (const dirent* entry = readdir(dir.get())) {
            const std::string name = entry->d_name;
            if (name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) &&
                name.ends_with(suffix)) {
                stray.emplace_back(
                    name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()));
            }
        }
    }
    for (const Installed& launcher : installed()) {
        std::erase(stray, launcher.profileID);
    }
    for (const ProfileID& id : stray) {
        removeEntry(id);
    }
    LauncherDesktopEntry::noteChanged(applications_, environment_);
}

std::vector<DoctorCheck> LauncherGenerator::doctorChecks(const ProfileDocument& document) const {
    const std::vector<Installed> launchers = installed();
    std::vector<DoctorCheck> checks;
    for (const Installed& launcher : launchers) {
        if (launcher.quarantined) {
            checks.push_back({"launcher.quarantine", DoctorCheck::Level::warning,
                              "A Claude launcher is quarantined",
                              paths_.abbreviate(launcher.path) + " will be blocked by Gatekeeper.",
                              "Rebuild it: `twinlantern launchers install`."});
        }
    }
    for (const Installed& launcher : launchers) {
        if (document.profile(launcher.profileID) == nullptr) {
            checks.push_back({"launcher.orphan", DoctorCheck::Level::warning,
                              "A launcher belongs to a deleted profile",
                              paths_.abbreviate(launcher.path),
                              "Run `twinlantern launchers install` to tidy up."});
        }
    }
    for (const Profile& profile : document.profiles) {
        if (!profile.uses(ToolKind::claudeDesktop)) {
            continue;
        }
        bool found = false;
        for (const Installed& launcher : launchers) {
            found = found || launcher.profileID == profile.id;
        }
        if (!found) {
            checks.push_back({"launcher.missing", DoctorCheck::Level::info,
                              profile.name + " has no Claude launcher yet",
                              "Optional: a Dock-friendly “" + appName(profile) + "” app.",
                              "Run `twinlantern launchers install`."});
        }
    }
    return checks;
}

} // namespace twinlantern
