#include "platform/SchemeHandlers.h"

#include "TwinLanternMac/launchers/LauncherDesktopEntry.h"
#include "core/base/TwinLanternError.h"
#include "platform/DesktopEntry.h"
#include "platform/LoginItem.h"
#include "platform/SystemLog.h"
#include "tests/support/fakeapp/FakeApp.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace twinlantern {
namespace {

using platform::SchemeHandlers;
using testing::FakeApp;

TEST(SchemeHandlersTest, WithDefaultChangesOnlyTheKey) {
    const std::string key = "x-scheme-handler/claude";
    struct Case {
        std::string before;
        std::string after;
    };
    for (const Case& c : {
             Case{"", "[Default Applications]\n" + key + "=ours.desktop\n"},
             Case{"[Added Associations]\n" + key + "=x.desktop;\n",
                  "[Added Associations]\n" + key + "=x.desktop;\n\n[Default Applications]\n" + key +
                      "=ours.desktop\n"},
             Case{"# keep\r\n[Default Applications]\ntext/html=f.desktop\n" + key +
                      " = old.desktop;\n\n[Other]\n" + key + "=z\n",
                  "# keep\r\n[Default Applications]\ntext/html=f.desktop\n" + key +
                      "=ours.desktop\n\n[Other]\n" + key + "=z\n"},
             Case{"[Default Applications]\na=b\n\n[X]\n",
                  "[Default Applications]\na=b\n" + key + "=ours.desktop\n\n[X]\n"},
             Case{"[Default Applications]\na=b",
                  "[Default Applications]\na=b\n" + key + "=ours.desktop\n"},
         }) {
        EXPECT_EQ(SchemeHandlers::withDefault(c.before, key, "ours.desktop", false), c.after)
            << c.before;
    }
    EXPECT_EQ(SchemeHandlers::withDefault("[Default Applications]\na=b\n", key, "o", true),
              std::nullopt);
}

class SchemeHandlersFixture : public ::testing::Test {
protected:
    tltest::TempHome home;
    std::string config = home.home() + "/.config";
    std::string data = home.home() + "/.local/share";
    std::string systemData = home.home() + "/sys";
    std::string systemConfig = home.home() + "/etc";
    Environment environment{{"HOME", home.home()},
                            {"PATH", "/usr/bin:/bin"},
                            {"XDG_CONFIG_HOME", config},
                            {"XDG_DATA_HOME", data},
                            {"XDG_DATA_DIRS", systemData},
                            {"XDG_CONFIG_DIRS", systemConfig},
                            {"XDG_CURRENT_DESKTOP", "Test:Other"}};

    SchemeHandlers handlers() const { return SchemeHandlers(home.home(), environment); }

    void install(const std::string& folder, const std::string& id, const std::string& exec) {
        tltest::makeDirs(folder + "/applications");
        tltest::writeFile(folder + "/applications/" + id,
                          "[Desktop Entry]\nType=Application\nName=X\nExec=" + exec + "\n");
    }

    std::string read(const std::string& path) { return tltest::readFile(path); }
};

TEST_F(SchemeHandlersFixture, ListsAreReadInOrderAndTheFirstInstalledIdWins) {
    EXPECT_EQ(
        handlers().mimeAppsLists(),
        (std::vector<std::string>{
            config + "/test-mimeapps.list", config + "/other-mimeapps.list",
            config + "/mimeapps.list", systemConfig + "/test-mimeapps.list",
            systemConfig + "/other-mimeapps.list", systemConfig + "/mimeapps.list",
            data + "/applications/test-mimeapps.list", data + "/applications/other-mimeapps.list",
            data + "/applications/mimeapps.list", systemData + "/applications/test-mimeapps.list",
            systemData + "/applications/other-mimeapps.list",
            systemData + "/applications/mimeapps.list"}));
    install(systemData, "a.desktop", "/opt/A.app/Contents/MacOS/a %u");
    install(data, "b.desktop", "/usr/bin/b %u");
    tltest::makeDirs(systemConfig);
    tltest::writeFile(systemConfig + "/mimeapps.list",
                      "[Default Applications]\nx-scheme-handler/claude=a.desktop\n");
    EXPECT_EQ(handlers().currentHandler("claude"), "/opt/A.app");
    tltest::makeDirs(config);
    tltest::writeFile(config + "/mimeapps.list",
                      "[Default Applications]\nx-scheme-handler/claude=gone.desktop;b.desktop\n");
    EXPECT_EQ(handlers().currentHandler("claude"), data + "/applications/b.desktop");
    tltest::writeFile(config + "/other-mimeapps.list",
                      "[Default Applications]\nx-scheme-handler/claude=a.desktop\n");
    EXPECT_EQ(handlers().handlerEntry("claude"), systemData + "/applications/a.desktop");
    tltest::writeFile(config + "/other-mimeapps.list", "[Default Applications]\n");
    tltest::writeFile(config + "/test-mimeapps.list", std::string(2 << 20, 'x'));
    EXPECT_EQ(handlers().handlerEntry("claude"), data + "/applications/b.desktop");
    EXPECT_EQ(handlers().handlerEntry("other"), std::nullopt);
}

std::string defaultOf(const Environment& environment) {
    return tltest::runProgram({"/usr/bin/xdg-mime", "query", "default", "x-scheme-handler/claude"},
                              environment)
        .out;
}

TEST_F(SchemeHandlersFixture, OurEntryOpensTheLinkFromAHostileFolder) {
    for (const std::string& folder :
         {std::string("/Applications"), std::string("/A p'p \"q\" $x \\ Ü")}) {
        SCOPED_TRACE(folder);
        tltest::removeTree(config);
        tltest::removeTree(data);
        const std::string applications = home.home() + folder;
        tltest::makeDirs(applications);
        FakeApp app(applications, "TwinLantern", testing::uniqueBundleID("twinlantern"));
        handlers().setHandler("claude", app.bundle(), true);
        const std::string id = app.bundleID() + ".desktop";
        const std::string entry = data + "/applications/" + id;
        EXPECT_EQ(handlers().currentHandler("claude"), app.bundle());
        EXPECT_EQ(read(config + "/mimeapps.list"),
                  "[Default Applications]\nx-scheme-handler/claude=" + id + "\n");
        if (applications.find_first_of(" '\"$\\") == std::string::npos) {
            // xdg-utils takes Exec's first word as it stands, so only a plain path works
            // there (not a TMPDIR with a space either).
            EXPECT_EQ(defaultOf(environment), id + "\n");
        }
        EXPECT_THAT(
            tltest::runProgram({"/usr/bin/gio", "mime", "x-scheme-handler/claude"}, environment)
                .out,
            ::testing::HasSubstr(id));
        const auto valid =
            tltest::runProgram({"/usr/bin/desktop-file-validate", entry}, environment);
        EXPECT_EQ(valid.exitCode, 0) << valid.out << valid.err;
        const auto opened =
            tltest::runProgram({"/usr/bin/gio", "open", "claude://cb/x?code=1#f"}, environment);
        EXPECT_EQ(opened.exitCode, 0) << opened.err;
        ASSERT_TRUE(tltest::eventually([&] { return !app.runs().empty(); }));
        const std::vector<pid_t> runs = app.runs();
        ASSERT_EQ(runs.size(), 1u);
        const auto run = app.run(runs[0]);
        ASSERT_TRUE(run);
        EXPECT_EQ(run->argv,
                  (std::vector<std::string>{app.executable(), "claude://cb/x?code=1#f"}));
        app.killAll();
    }
}

// The one Exec writer over the folder names users have: every entry the system writes
// validates and starts exactly the program it names, through GLib as desktops do.
TEST_F(SchemeHandlersFixture, EveryEntryStartsItsProgramFromAnyFolder) {
    const std::string folders[] = {
        "100%",
        "%=x",
        "a=b",
        "two words",
        "say \"hi\" it's",
        "back\\slash\\",
        "$HOME $(id) `id`",
        "line\nbreak",
        "Ünïcødé — 漢字 👨‍👩‍👧",
        "100% a=b \"q\" 'x' \\ $v `c` \n Ü ~ # ; & | < > * ? ( )",
    };
    const auto waitForRun = [](const FakeApp& app) {
        std::vector<pid_t> runs;
        for (int i = 0; i < 2000 && runs.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            runs = app.runs();
        }
        std::optional<FakeApp::Run> run;
        if (runs.size() == 1) {
            run = app.run(runs[0]);
        }
        app.killAll();
        return run ? run->argv : std::vector<std::string>{"runs: " + std::to_string(runs.size())};
    };
    const auto validate = [&](const std::string& entry) {
        const auto valid =
            tltest::runProgram({"/usr/bin/desktop-file-validate", entry}, environment);
        EXPECT_EQ(valid.exitCode, 0) << valid.out << valid.err << read(entry);
    };
    const auto launch = [&](const std::string& entry) {
        const auto launched = tltest::runProgram({"/usr/bin/gio", "launch", entry}, environment);
        EXPECT_EQ(launched.exitCode, 0) << launched.err << read(entry);
    };
    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        tltest::removeTree(config);
        tltest::removeTree(data);
        const std::string applications = home.home() + "/" + folder;
        tltest::makeDirs(applications);

        FakeApp handler(applications, "TwinLantern", testing::uniqueBundleID("twinlantern"));
        handlers().setHandler("claude", handler.bundle(), true);
        EXPECT_EQ(handlers().currentHandler("claude"), handler.bundle());
        validate(data + "/applications/" + handler.bundleID() + ".desktop");
        const auto opened =
            tltest::runProgram({"/usr/bin/gio", "open", "claude://cb/x?code=1"}, environment);
        EXPECT_EQ(opened.exitCode, 0) << opened.err;
        EXPECT_EQ(waitForRun(handler),
                  (std::vector<std::string>{handler.executable(), "claude://cb/x?code=1"}));

        FakeApp launcher(applications, "Claude — " + folder, testing::uniqueBundleID("launcher"));
        const std::string entry = LauncherDesktopEntry::path(data + "/applications", "work");
        LauncherDesktopEntry::write(
            entry, LauncherDesktopEntry::text("Claude — " + folder, launcher.executable(),
                                              applications + "/i.png", "work"));
        validate(entry);
        launch(entry);
        EXPECT_EQ(waitForRun(launcher), std::vector<std::string>{launcher.executable()});

        FakeApp app(applications, "App", testing::uniqueBundleID("app"));
        const platform::LoginItem item(home.home(), environment, app.executable());
        item.registerItem();
        EXPECT_TRUE(item.enabled());
        validate(item.entryPath());
        launch(item.entryPath());
        EXPECT_EQ(waitForRun(app),
                  (std::vector<std::string>{
                      app.executable(), std::string(platform::LoginItem::launchedAtLoginFlag)}));
    }
}

TEST_F(SchemeHandlersFixture, AlreadyTheHandlerWritesNothing) {
    FakeApp app(home.paths.applicationsDirectory, "TwinLantern", testing::uniqueBundleID("tl"));
    handlers().setHandler("claude", app.bundle(), true);
    const std::string list = config + "/mimeapps.list";
    struct stat before {};
    ASSERT_EQ(::stat(list.c_str(), &before), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    handlers().setHandler("claude", app.bundle() + "/", true);
    struct stat after {};
    ASSERT_EQ(::stat(list.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
}

TEST_F(SchemeHandlersFixture, AnotherAppsEntryIsItsOwnAndADesktopListThatHoldsTheKeyChanges) {
    FakeApp claude(home.paths.applicationsDirectory, "Claude", testing::uniqueBundleID("claude"));
    const std::string id = claude.bundleID() + ".desktop";
    install(systemData, id, "/usr/bin/claude-desktop %u");
    tltest::makeDirs(config);
    tltest::writeFile(config + "/test-mimeapps.list",
                      "[Default Applications]\nx-scheme-handler/claude=ours.desktop\n");
    tltest::writeFile(config + "/other-mimeapps.list", "[Default Applications]\na=b\n");
    handlers().setHandler("claude", claude.bundle(), false);
    EXPECT_FALSE(tltest::exists(data + "/applications/" + id));
    EXPECT_EQ(read(config + "/test-mimeapps.list"),
              "[Default Applications]\nx-scheme-handler/claude=" + id + "\n");
    EXPECT_EQ(read(config + "/other-mimeapps.list"), "[Default Applications]\na=b\n");
    EXPECT_EQ(handlers().handlerEntry("claude"), systemData + "/applications/" + id);

    tltest::removeTree(systemData);
    tltest::removeTree(config);
    handlers().setHandler("claude", claude.bundle(), false);
    EXPECT_EQ(handlers().currentHandler("claude"), claude.bundle());
}

TEST_F(SchemeHandlersFixture, ALinkedPrivateListKeepsItsLinkModeAndOtherLines) {
    FakeApp app(home.paths.applicationsDirectory, "TwinLantern", testing::uniqueBundleID("tl"));
    const std::string dotfiles = home.home() + "/dotfiles";
    tltest::makeDirs(dotfiles);
    tltest::makeDirs(config);
    const std::string text = "# mine\n[Added Associations]\ntext/plain=e.desktop;\n\n"
                             "[Default Applications]\ntext/plain=e.desktop\n"
                             "x-scheme-handler/claude=old.desktop\n# tail\n";
    tltest::writeFile(dotfiles + "/mimeapps.list", text, 0600);
    ASSERT_EQ(::symlink((dotfiles + "/mimeapps.list").c_str(), (config + "/mimeapps.list").c_str()),
              0);
    handlers().setHandler("claude", app.bundle(), true);
    struct stat st {};
    ASSERT_EQ(::lstat((config + "/mimeapps.list").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(tltest::fileMode(dotfiles + "/mimeapps.list"), 0600u);
    std::string expected = text;
    expected.replace(expected.find("old.desktop"), 11, app.bundleID() + ".desktop");
    EXPECT_EQ(read(dotfiles + "/mimeapps.list"), expected);
}

TEST_F(SchemeHandlersFixture, AFolderInTheListsPlaceIsAClearError) {
    FakeApp app(home.paths.applicationsDirectory, "TwinLantern", testing::uniqueBundleID("tl"));
    tltest::makeDirs(config + "/mimeapps.list");
    try {
        handlers().setHandler("claude", app.bundle(), true);
        FAIL() << "no error";
    } catch (const TwinLanternError& e) {
        EXPECT_EQ(std::string(e.what()),
                  std::string("Couldn't change the claude:// handler: ") + std::strerror(EISDIR));
    }
    EXPECT_EQ(tltest::folderEntries(config + "/mimeapps.list"), std::vector<std::string>{});
}

TEST_F(SchemeHandlersFixture, ABundleWithoutIdentifierIsRefused) {
    const std::string bundle = home.home() + "/Bare.app";
    tltest::makeDirs(bundle + "/Contents");
    try {
        handlers().setHandler("claude", bundle, true);
        FAIL() << "no error";
    } catch (const TwinLanternError& e) {
        EXPECT_EQ(std::string(e.what()), "Couldn't read the bundle ID of " + bundle + ".");
    }
    EXPECT_FALSE(tltest::exists(config + "/mimeapps.list"));
}

} // namespace
} // namespace twinlantern
