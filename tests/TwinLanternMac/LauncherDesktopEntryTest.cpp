#include "TwinLanternMac/launchers/LauncherDesktopEntry.h"
#include "platform/DesktopEntry.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace twinlantern {
namespace {

const Environment toolEnvironment = {{"PATH", "/usr/bin:/bin"}, {"LANG", "C.UTF-8"}};

testing::RunResult validate(const std::string& entry) {
    return testing::runProgram({"/usr/bin/desktop-file-validate", entry}, toolEnvironment);
}

TEST(LauncherDesktopEntry, Escaping) {
    EXPECT_EQ(DesktopEntry::escaped("Claude — Work"), "Claude — Work");
    EXPECT_EQ(DesktopEntry::escaped(" a\\b\nc\td\r"), "\\sa\\\\b\\nc\\td\\r");
    EXPECT_EQ(DesktopEntry::execArgument("/a b/launcher"), "\"/a b/launcher\"");
    EXPECT_EQ(DesktopEntry::execArgument("/x\"y`z$w\\v%u"),
              "\"/x\\\\\"y\\\\`z\\\\$w\\\\\\\\v%%u\"");
}

TEST(LauncherDesktopEntry, Folder) {
    using LauncherDesktopEntry::applicationsDirectory;
    EXPECT_EQ(applicationsDirectory({{"XDG_DATA_HOME", "/d/share/"}}, "/h"),
              "/d/share/applications");
    EXPECT_EQ(applicationsDirectory({{"XDG_DATA_HOME", "rel"}}, "/h"),
              "/h/.local/share/applications");
    EXPECT_EQ(applicationsDirectory({}, "/h"), "/h/.local/share/applications");
    EXPECT_EQ(LauncherDesktopEntry::path("/d/applications", "work"),
              "/d/applications/app.twinlantern.launcher.work.desktop");
}

// Entries for awkward bundle paths validate, and what a desktop runs from the Exec line
// is exactly the bundle's program.
TEST(LauncherDesktopEntry, ValidatesAndRunsTheProgramItNames) {
    const std::string names[] = {
        "Claude — Work.app",
        "Claude — a \"quoted\" $HOME `x` 100% \\ back.app",
        "Claude — ' ; & | < > ~ * ? # ( ).app",
    };
    for (const std::string& name : names) {
        testing::TempHome home;
        const std::string bundle = home.dir / name;
        const std::string program = bundle + "/Contents/MacOS/launcher";
        const std::string marker = home.dir / "ran";
        // Written whole, then renamed: the test must never read it half written.
        testing::writeFile(program,
                           "#!/bin/sh\nprintf '%s|%s' \"$0\" \"$#\" > '" + marker +
                               ".tmp' && /bin/mv '" + marker + ".tmp' '" + marker + "'\n",
                           0755);
        const std::string icon = bundle + "/Contents/Resources/AppIcon.png";
        const std::string applications = home.dir / "share/applications";
        const std::string entry = LauncherDesktopEntry::path(applications, "work-1");
        LauncherDesktopEntry::write(
            entry,
            LauncherDesktopEntry::text(name.substr(0, name.size() - 4), program, icon, "work-1"));
        EXPECT_EQ(testing::fileMode(entry), 0644u);
        const testing::RunResult valid = validate(entry);
        EXPECT_EQ(valid.exitCode, 0) << name << "\n" << valid.out << valid.err;
        EXPECT_EQ(valid.out + valid.err, "") << name;

        Environment environment = toolEnvironment;
        environment["HOME"] = home.home();
        environment["XDG_DATA_HOME"] = home.dir / "share";
        const testing::RunResult launched =
            testing::runProgram({"/usr/bin/gio", "launch", entry}, environment);
        EXPECT_EQ(launched.exitCode, 0) << name << launched.err;
        ASSERT_TRUE(testing::eventually([&] { return testing::exists(marker); }))
            << name << "\n"
            << testing::readFile(entry);
        EXPECT_EQ(testing::readFile(marker), program + "|0") << name;
    }
}

TEST(LauncherDesktopEntry, WriteFailureNamesTheEntry) {
    testing::TempDir dir;
    testing::writeFile(dir / "share", "a file where a folder belongs");
    const std::string entry = LauncherDesktopEntry::path(dir / "share/applications", "w");
    EXPECT_EQ(testing::errorOf([&] { LauncherDesktopEntry::write(entry, "x"); }).description(),
              "Couldn't write " + entry + ": " + std::strerror(ENOTDIR));
}

TEST(LauncherDesktopEntry, NoteChangedBuildsTheCacheAndIgnoresFailure) {
    testing::TempDir dir;
    const std::string applications = dir / "applications";
    LauncherDesktopEntry::write(
        LauncherDesktopEntry::path(applications, "w"),
        LauncherDesktopEntry::text("Claude — W", "/bin/true", "/nonexistent.png", "w"));
    LauncherDesktopEntry::noteChanged(applications, toolEnvironment);
    EXPECT_TRUE(testing::exists(applications + "/mimeinfo.cache"));
    LauncherDesktopEntry::noteChanged(dir / "missing", toolEnvironment); // no throw
}

} // namespace
} // namespace twinlantern
