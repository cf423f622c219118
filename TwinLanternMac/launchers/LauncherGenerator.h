#pragma once

#include "core/base/Paths.h"
#include "core/doctor/DoctorCheck.h"
#include "core/profiles/Profile.h"
#include "core/profiles/ProfileDocument.h"

#include <string>
#include <string_view>
#include <vector>

namespace twinlantern {

// The Info.plist keys of a launcher bundle; the launcher program reads them.
struct LauncherInfoKeys {
    const char* profileID = "TLProfileID";
    const char* dataDir = "TLUserDataDir";
    const char* target = "TLTargetBundleID";
    const char* lock = "TLLockDirectory";
    const char* version = "TLLauncherVersion";
};

// One small app bundle per profile in ~/Applications/TwinLantern that opens the profile's
// own Claude Desktop instance, with a desktop entry so docks and menus list it.
class LauncherGenerator {
public:
    static constexpr const char* bundleIDPrefix = "app.twinlantern.launcher.";
    static constexpr LauncherInfoKeys infoKeys{};
    static constexpr int version = 1;
    // The PNG beside the icon file, for the desktop entry.
    static constexpr int entryIconPixels = 256;

    struct Installed {
        std::string path;
        ProfileID profileID;
        bool quarantined = false;
        friend bool operator==(const Installed&, const Installed&) = default;
    };

    // The environment gives the desktop entries' folder ($XDG_DATA_HOME) and what
    // update-desktop-database sees.
    LauncherGenerator(Paths paths, std::string launcherBinary, std::string targetBundleID,
                      Environment environment);

    const std::string& directory() const { return directory_; }
    const std::string& applicationsDirectory() const { return applications_; }

    // "Claude — " + the name with every "/" and then every ":" made "-".
    static std::string appName(const Profile& profile);
    // The bundle's file name without ".app": appName with controls shown as U+FFFD, cut
    // at a character boundary so that the name with ".app" fits in `limit` bytes.
    static std::string bundleName(const Profile& profile, std::size_t limit);
    // directory() + "/" + bundleName for the folder's file-name limit + ".app".
    std::string appPath(const Profile& profile) const;
    // The profile's desktop entry.
    std::string entryPath(const ProfileID& id) const;

    // Builds the bundle beside the old one and swaps it in, then removes the profile's
    // other launchers; the bundle's path. A failure leaves the old launcher as it was.
    // Call off the main thread; two calls for one profile must not run at once. Draws:
    // needs a QGuiApplication.
    std::string generate(const Profile& profile) const;
    // Every launcher whose TLProfileID is id, and the id's desktop entry; links are
    // removed as links. Failures are skipped.
    void removeLaunchers(const ProfileID& id) const;
    // The bundles in directory() with a TLProfileID, in listing order; staging bundles
    // (names starting with ".") never. An unreadable folder gives none.
    std::vector<Installed> installed() const;
    static bool isQuarantined(const std::string& path);
    // Every installed launcher and its entry, then the folder when it is empty.
    void removeAll() const;
    std::vector<DoctorCheck> doctorChecks(const ProfileDocument& document) const;
    // Removes our desktop entries whose profile has no installed launcher (a bundle the
    // user deleted by hand leaves one behind).
    void removeStrayEntries() const;

private:
    void removeEntry(const ProfileID& id) const;

    Paths paths_;
    std::string launcherBinary_;
    std::string targetBundleID_;
    Environment environment_;
    std::string directory_;
    std::string applications_;
};

} // namespace twinlantern
