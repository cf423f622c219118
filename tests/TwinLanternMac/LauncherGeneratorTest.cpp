#include "TwinLanternMac/launchers/LauncherGenerator.h"
#include "core/base/PropertyList.h"
#include "core/base/Text.h"
#include "tests/TwinLanternMac/LauncherFixture.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/Profiles.h"
#include "tests/support/Programs.h"
#include "tests/support/Seal.h"

#include <gtest/gtest.h>

#include <QImage>
#include <sys/stat.h>

#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>

namespace twinlantern {
namespace {

using testing::LauncherFixture;

Profile desktopProfile(const std::string& id, const std::string& name,
                       Profile::Storage storage = Profile::Storage::managed) {
    Profile p = testing::profile(id, name, storage, {ToolKind::claudeDesktop});
    p.color = ProfileColor::purple;
    p.badge = "W";
    return p;
}

// key -> (type, value as text)
std::map<std::string, std::pair<plist_type, std::string>> infoOf(const std::string& bundle) {
    const auto info = PropertyList::readDictionary(bundle + "/Contents/Info.plist");
    EXPECT_TRUE(info.has_value()) << bundle;
    std::map<std::string, std::pair<plist_type, std::string>> out;
    if (!info) {
        return out;
    }
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(info->root(), &it);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(info->root(), it, &key, &value);
        if (key == nullptr) {
            break;
        }
        const plist_type type = plist_get_node_type(value);
        std::string text;
        if (type == PLIST_STRING) {
            char* s = nullptr;
            plist_get_string_val(value, &s);
            text = s;
            std::free(s);
        } else if (type == PLIST_BOOLEAN) {
            uint8_t b = 0;
            plist_get_bool_val(value, &b);
            text = b ? "true" : "false";
        } else if (type == PLIST_UINT) {
            uint64_t u = 0;
            plist_get_uint_val(value, &u);
            text = std::to_string(u);
        }
        out[key] = {type, text};
        std::free(key);
    }
    std::free(it);
    return out;
}

TEST(LauncherGenerator, ManagedProfileBundle) {
    LauncherFixture f;
    const Profile work = desktopProfile("work", "Work");
    const std::string bundle = f.generator().generate(work);
    EXPECT_EQ(bundle, f.home.home() + "/Applications/TwinLantern/Claude — Work.app");

    const std::string contents = bundle + "/Contents";
    EXPECT_EQ(testing::readFile(contents + "/MacOS/launcher"), testing::readFile(f.launcherBinary));
    EXPECT_EQ(testing::fileMode(contents + "/MacOS/launcher"), 0755u);
    EXPECT_EQ(testing::readFile(contents + "/Resources/AppIcon.icns").substr(0, 4), "icns");

    using T = std::pair<plist_type, std::string>;
    const std::map<std::string, T> expected = {
        {"CFBundleIdentifier", {PLIST_STRING, "app.twinlantern.launcher.work"}},
        {"CFBundleName", {PLIST_STRING, "Claude — Work"}},
        {"CFBundleDisplayName", {PLIST_STRING, "Claude — Work"}},
        {"CFBundleExecutable", {PLIST_STRING, "launcher"}},
        {"CFBundleIconFile", {PLIST_STRING, "AppIcon"}},
        {"CFBundlePackageType", {PLIST_STRING, "APPL"}},
        {"CFBundleShortVersionString", {PLIST_STRING, "1.0"}},
        {"CFBundleVersion", {PLIST_STRING, "1"}},
        {"LSMinimumSystemVersion", {PLIST_STRING, "14.0"}},
        {"LSUIElement", {PLIST_BOOLEAN, "true"}},
        {"NSAppleEventsUsageDescription",
         {PLIST_STRING, "Brings this profile's Claude window back to the front."}},
        {"NSHumanReadableCopyright", {PLIST_STRING, "TwinLantern launcher for “Work”"}},
        {"TLProfileID", {PLIST_STRING, "work"}},
        {"TLUserDataDir",
         {PLIST_STRING, f.home.paths.dataDirectory(ToolKind::claudeDesktop, work.id).value()}},
        {"TLTargetBundleID", {PLIST_STRING, "com.anthropic.claudefordesktop"}},
        {"TLLockDirectory",
         {PLIST_STRING, f.home.home() + "/Library/Application Support/TwinLantern/desktop"}},
        {"TLLauncherVersion", {PLIST_UINT, "1"}},
    };
    EXPECT_EQ(infoOf(bundle), expected);

    std::map<std::string, std::string> sealed;
    for (const char* file :
         {"Info.plist", "MacOS/launcher", "Resources/AppIcon.icns", "Resources/AppIcon.png"}) {
        sealed[file] = testing::sha256sum(contents + "/" + file);
    }
    EXPECT_EQ(testing::sealedFiles(bundle), sealed);
    EXPECT_EQ(testing::folderEntries(f.directory()), std::vector<std::string>{"Claude — Work.app"});
    EXPECT_EQ(f.generator().installed(),
              (std::vector<LauncherGenerator::Installed>{{bundle, ProfileID("work"), false}}));
}

TEST(LauncherGenerator, SlashesAndColonsInTheName) {
    LauncherFixture f;
    const Profile odd = desktopProfile("odd", "a/b:c");
    const std::string bundle = f.generator().generate(odd);
    EXPECT_EQ(bundle, f.directory() + "/Claude — a-b-c.app");
    const auto info = infoOf(bundle);
    EXPECT_EQ(info.at("CFBundleName").second, "Claude — a-b-c");
    EXPECT_EQ(info.at("NSHumanReadableCopyright").second, "TwinLantern launcher for “a/b:c”");

    ProfileDocument document;
    Profile other = desktopProfile("other", "x/y");
    document.profiles = {odd, other};
    const std::vector<DoctorCheck> checks = f.generator().doctorChecks(document);
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0], (DoctorCheck{"launcher.missing", DoctorCheck::Level::info,
                                      "x/y has no Claude launcher yet",
                                      "Optional: a Dock-friendly “Claude — x-y” app.",
                                      "Run `twinlantern launchers install`."}));
}

// What Python's plistlib reads at key, as UTF-8; exit 0 only when it parses.
testing::RunResult plistlibString(const std::string& plist, const std::string& key) {
    return testing::runProgram({"/usr/bin/python3", "-c",
                                "import plistlib, sys\n"
                                "d = plistlib.load(open(sys.argv[1], 'rb'))\n"
                                "sys.stdout.buffer.write(d[sys.argv[2]].encode())",
                                plist, key},
                               {{"PATH", "/usr/bin:/bin"}, {"LANG", "C.UTF-8"}});
}

TEST(LauncherGenerator, BundleNamesAreCutAtACharacterBoundary) {
    const std::string family = "👨‍👩‍👧‍👦"; // one character of 25 bytes
    const Profile p = desktopProfile("p", "ab" + family + "c");
    const std::string full = "Claude — ab" + family + "c"; // 39 bytes
    struct Case {
        std::size_t limit;
        std::string name;
    };
    for (const Case& c : {Case{255, full}, Case{43, full}, Case{42, "Claude — ab" + family},
                          Case{40, "Claude — ab"}, Case{18, "Claude — ab"}, Case{17, "Claude — ab"},
                          Case{16, "Claude — a"}}) {
        EXPECT_EQ(LauncherGenerator::bundleName(p, c.limit), c.name) << c.limit;
    }
    EXPECT_EQ(LauncherGenerator::bundleName(desktopProfile("q", "a\x1b[1m\r\n\x7f\xC2\x85"
                                                                "b/c"),
                                            255),
              "Claude — a\uFFFD[1m\uFFFD\uFFFD\uFFFD\uFFFDb-c");
}

TEST(LauncherGenerator, LongNamesGetTheirLaunchersAndMeetingOnesFollowTheRule) {
    LauncherFixture f;
    std::string emoji;
    for (int i = 0; i < 40; ++i) {
        emoji += "👨‍👩‍👧‍👦";
    }
    const Profile first = desktopProfile("first", emoji + " one");
    const Profile second = desktopProfile("second", emoji + " two");
    const std::string path = f.generator().generate(first);
    const std::string file = path.substr(f.directory().size() + 1);
    EXPECT_LE(file.size(), 255u);
    EXPECT_TRUE(file.ends_with(".app")) << file;
    EXPECT_TRUE(text::isValidUtf8(file));
    const auto info = infoOf(path);
    EXPECT_EQ(info.at("CFBundleName").second, LauncherGenerator::appName(first));
    EXPECT_EQ(info.at("CFBundleDisplayName").second, LauncherGenerator::appName(first));
    const std::string entry = testing::readFile(f.generator().entryPath(first.id));
    EXPECT_NE(entry.find("\nName=" + LauncherGenerator::appName(first) + "\n"), std::string::npos);

    // Cut, the two names are one: the second takes the bundle as any two such names do.
    EXPECT_EQ(f.generator().generate(second), path);
    EXPECT_EQ(f.generator().installed(),
              (std::vector<LauncherGenerator::Installed>{{path, ProfileID("second"), false}}));
    EXPECT_FALSE(testing::exists(f.generator().entryPath(first.id)));
    // A third profile after them gets its launcher as well.
    EXPECT_TRUE(testing::exists(f.generator().generate(desktopProfile("third", "Third"))));
}

TEST(LauncherGenerator, ControlCharactersInTheNameLeaveEveryFileWellFormed) {
    LauncherFixture f;
    const Profile odd =
        desktopProfile("odd", "Esc\x1b[31mRed\x01 CR\rLF\nTab\t\x7f\xC2\x85 \xEF\xBF\xBF");
    const std::string bundle = f.generator().generate(odd);
    EXPECT_EQ(bundle, f.directory() + "/" + LauncherGenerator::bundleName(odd, 255) + ".app");
    const std::string plist = bundle + "/Contents/Info.plist";
    for (const char* key : {"CFBundleName", "CFBundleDisplayName"}) {
        const testing::RunResult read = plistlibString(plist, key);
        EXPECT_EQ(read.exitCode, 0) << read.err;
        EXPECT_EQ(read.out, LauncherGenerator::appName(odd)) << key;
    }
    EXPECT_EQ(plistlibString(plist, "NSHumanReadableCopyright").out,
              "TwinLantern launcher for “" + odd.name + "”");
    EXPECT_EQ(infoOf(bundle).at("CFBundleName").second, LauncherGenerator::appName(odd));
    EXPECT_EQ(testing::sealedFiles(bundle).at("Info.plist"), testing::sha256sum(plist));
    const std::string entry = f.generator().entryPath(odd.id);
    const testing::RunResult valid =
        testing::runProgram({"/usr/bin/desktop-file-validate", entry}, f.environment);
    EXPECT_EQ(valid.exitCode, 0) << valid.out << valid.err;
    EXPECT_EQ(f.generator().installed().size(), 1u);

    // A plain name keeps the XML form.
    const std::string plain = f.generator().generate(desktopProfile("plain", "Plain"));
    EXPECT_TRUE(testing::readFile(plain + "/Contents/Info.plist").starts_with("<?xml"));
}

TEST(LauncherGenerator, RenamedProfileKeepsOneBundle) {
    LauncherFixture f;
    Profile work = desktopProfile("work", "Work");
    f.generator().generate(work);
    work.name = "Job";
    const std::string bundle = f.generator().generate(work);
    EXPECT_EQ(testing::folderEntries(f.directory()), std::vector<std::string>{"Claude — Job.app"});
    EXPECT_EQ(f.generator().installed().size(), 1u);
    const std::string entry = testing::readFile(f.generator().entryPath(work.id));
    EXPECT_NE(entry.find("Name=Claude — Job\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find(bundle + "/Contents/MacOS/launcher"), std::string::npos) << entry;
}

TEST(LauncherGenerator, TwoNamesOnOneBundle) {
    LauncherFixture f;
    const Profile first = desktopProfile("first", "a/b");
    const Profile second = desktopProfile("second", "a:b");
    const std::string path = f.generator().generate(first);
    EXPECT_EQ(f.generator().generate(second), path);
    EXPECT_EQ(f.generator().installed(),
              (std::vector<LauncherGenerator::Installed>{{path, ProfileID("second"), false}}));
    // The first profile's entry would now open the second's instance: it went.
    EXPECT_FALSE(testing::exists(f.generator().entryPath(first.id)));
    EXPECT_TRUE(testing::exists(f.generator().entryPath(second.id)));

    ProfileDocument document;
    document.profiles = {first, second};
    const std::vector<DoctorCheck> checks = f.generator().doctorChecks(document);
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].id, "launcher.missing");
    EXPECT_EQ(checks[0].title, "a/b has no Claude launcher yet");
}

TEST(LauncherGenerator, SystemProfileOpensTheOrdinaryInstance) {
    LauncherFixture f;
    const std::string bundle =
        f.generator().generate(desktopProfile("personal", "Personal", Profile::Storage::system));
    EXPECT_EQ(infoOf(bundle).at("TLUserDataDir"), std::make_pair(PLIST_STRING, std::string()));
}

TEST(LauncherGenerator, StaleStagingIsUnlistedAndReplaced) {
    LauncherFixture f;
    const std::string staging = f.directory() + "/.staging-work.app";
    testing::writeFile(staging + "/Contents/Info.plist",
                       "<plist><dict><key>TLProfileID</key><string>work</string></dict></plist>");
    testing::writeFile(staging + "/Contents/leftover", "x");
    EXPECT_TRUE(f.generator().installed().empty());
    f.generator().generate(desktopProfile("work", "Work"));
    EXPECT_EQ(testing::folderEntries(f.directory()), std::vector<std::string>{"Claude — Work.app"});
}

TEST(LauncherGenerator, HandMadeBundleIsLeftAlone) {
    LauncherFixture f;
    const std::string handMade = f.directory() + "/Mine.app";
    testing::writeFile(handMade + "/Contents/Info.plist",
                       "<plist><dict><key>CFBundleName</key><string>Mine</string></dict></plist>");
    const std::string other = f.directory() + "/Other.app";
    testing::writeFile(other + "/Contents/Info.plist",
                       "<plist><dict><key>TLProfileID</key><integer>3</integer></dict></plist>");
    const LauncherGenerator generator = f.generator();
    generator.generate(desktopProfile("work", "Work"));
    ASSERT_EQ(generator.installed().size(), 1u);
    generator.removeAll();
    EXPECT_EQ(testing::folderEntries(f.directory()),
              (std::vector<std::string>{"Mine.app", "Other.app"}));
    EXPECT_FALSE(testing::exists(generator.entryPath(ProfileID("work"))));
    testing::removeTree(handMade);
    testing::removeTree(other);
    generator.removeAll();
    EXPECT_FALSE(testing::exists(f.directory()));
}

TEST(LauncherGenerator, QuarantineAndOrphanInTheDoctor) {
    LauncherFixture f;
    const Profile work = desktopProfile("work", "Work");
    const std::string bundle = f.generator().generate(work);
    ProfileDocument document;
    document.profiles = {work};
    EXPECT_TRUE(f.generator().doctorChecks(document).empty());

    if (setxattr(bundle.c_str(), "user.com.apple.quarantine", "0081;1;x;", 9, 0) != 0) {
        GTEST_SKIP() << "user extended attributes are refused here: " << std::strerror(errno);
    }
    EXPECT_TRUE(LauncherGenerator::isQuarantined(bundle));
    document.profiles.clear();
    const std::vector<DoctorCheck> checks = f.generator().doctorChecks(document);
    const std::string shown = "~/Applications/TwinLantern/Claude — Work.app";
    EXPECT_EQ(checks,
              (std::vector<DoctorCheck>{
                  {"launcher.quarantine", DoctorCheck::Level::warning,
                   "A Claude launcher is quarantined", shown + " will be blocked by Gatekeeper.",
                   "Rebuild it: `twinlantern launchers install`."},
                  {"launcher.orphan", DoctorCheck::Level::warning,
                   "A launcher belongs to a deleted profile", shown,
                   "Run `twinlantern launchers install` to tidy up."},
              }));
}

TEST(LauncherGenerator, NothingTouchedWithoutClaudeDesktopOrLauncher) {
    {
        LauncherFixture f;
        testing::removeTree(f.claudeBundle);
        const auto before = testing::treeContents(f.home.home());
        EXPECT_EQ(testing::errorOf([&] {
                      f.generator().generate(desktopProfile("w", "W"));
                  }).description(),
                  "Claude Desktop isn't installed, so there's nothing to make a launcher for.");
        EXPECT_EQ(testing::treeContents(f.home.home()), before);
    }
    for (const mode_t mode : {0644, 0}) {
        LauncherFixture f;
        if (mode == 0) {
            testing::removeTree(f.launcherBinary);
            testing::makeDirs(f.launcherBinary); // a folder is no program either
        } else {
            chmod(f.launcherBinary.c_str(), mode);
        }
        const auto before = testing::treeContents(f.home.home());
        EXPECT_EQ(testing::errorOf([&] {
                      f.generator().generate(desktopProfile("w", "W"));
                  }).description(),
                  "Couldn't find twinlantern-launcher at " + f.launcherBinary + ".");
        EXPECT_EQ(testing::treeContents(f.home.home()), before);
    }
}

// The old launcher survives a build that fails part way, byte for byte.
TEST(LauncherGenerator, FailedBuildKeepsTheOldBundle) {
    LauncherFixture f;
    const Profile work = desktopProfile("work", "Work");
    const std::string bundle = f.generator().generate(work);
    // A launcher program past the cap: its copy fails.
    testing::writeFile(f.launcherBinary, std::string(2'000'000, '#'), 0755);
    const auto before = testing::treeContents(f.home.home());
    const testing::RunResult run = testing::runProgram(
        TL_GENERATE_HELPER,
        {TL_GENERATE_HELPER, f.home.home(), f.launcherBinary, "work", "Work", "1000000"},
        f.environment);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    const std::string staging = f.directory() + "/.staging-work.app";
    EXPECT_EQ(run.err, "Couldn't write " + staging +
                           "/Contents/MacOS/launcher: " + std::strerror(EFBIG) + "\n");
    // Bundle, entry and all else as they were; no staging left.
    EXPECT_EQ(testing::treeContents(f.home.home()), before);
    EXPECT_TRUE(testing::exists(bundle + "/Contents/MacOS/launcher"));
}

TEST(LauncherGenerator, LinkedBundleGoesAsALink) {
    LauncherFixture f;
    const std::string outside = f.home.dir / "outside/Claude — Work.app";
    testing::writeFile(outside + "/Contents/Info.plist",
                       "<plist><dict><key>TLProfileID</key><string>work</string></dict></plist>");
    testing::makeDirs(f.directory());
    const std::string link = f.directory() + "/Claude — Work.app";
    ASSERT_EQ(symlink(outside.c_str(), link.c_str()), 0);
    ASSERT_EQ(f.generator().installed().size(), 1u);
    f.generator().removeLaunchers(ProfileID("work"));
    EXPECT_FALSE(testing::exists(link));
    EXPECT_EQ(testing::readFile(outside + "/Contents/Info.plist").substr(0, 7), "<plist>");
}

TEST(LauncherGenerator, DesktopEntryNamesTheBundleAndGoesWithIt) {
    LauncherFixture f;
    const Profile work = desktopProfile("work-2", "Work “quoted” $x");
    const std::string bundle = f.generator().generate(work);
    const std::string entry = f.applications() + "/app.twinlantern.launcher.work-2.desktop";
    ASSERT_TRUE(testing::exists(entry));
    const testing::RunResult valid =
        testing::runProgram({"/usr/bin/desktop-file-validate", entry}, f.environment);
    EXPECT_EQ(valid.exitCode, 0) << valid.out << valid.err;
    EXPECT_EQ(valid.out + valid.err, "");
    const std::string text = testing::readFile(entry);
    EXPECT_NE(text.find("\nName=Claude — Work “quoted” $x\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=" + bundle + "/Contents/Resources/AppIcon.png\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nX-TwinLantern-Profile=work-2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nStartupNotify=false\n"), std::string::npos) << text;
    QImage icon;
    ASSERT_TRUE(icon.load(QString::fromStdString(bundle + "/Contents/Resources/AppIcon.png")));
    EXPECT_EQ(icon.size(), QSize(256, 256));

    f.generator().removeLaunchers(work.id);
    EXPECT_FALSE(testing::exists(bundle));
    EXPECT_FALSE(testing::exists(entry));
}

TEST(LauncherGenerator, StrayEntriesGoOthersStay) {
    LauncherFixture f;
    const LauncherGenerator generator = f.generator();
    const std::string kept = generator.generate(desktopProfile("kept", "Kept"));
    const std::string gone = generator.generate(desktopProfile("gone", "Gone"));
    testing::removeTree(gone); // deleted by hand
    const std::string foreign = f.applications() + "/org.example.Editor.desktop";
    testing::writeFile(foreign, "[Desktop Entry]\nType=Application\nName=E\nExec=e\n");
    generator.removeStrayEntries();
    EXPECT_TRUE(testing::exists(generator.entryPath(ProfileID("kept"))));
    EXPECT_FALSE(testing::exists(generator.entryPath(ProfileID("gone"))));
    EXPECT_TRUE(testing::exists(foreign));
    EXPECT_TRUE(testing::exists(kept));
}

} // namespace
} // namespace twinlantern
