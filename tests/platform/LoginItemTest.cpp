#include "platform/LoginItem.h"

#include "core/base/TwinLanternError.h"
#include "platform/DesktopEntry.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

using namespace twinlantern;
using platform::LoginItem;

namespace {

class LoginItemTest : public ::testing::Test {
protected:
    tltest::TempHome home;
    Environment environment{{"XDG_CONFIG_HOME", home.dir / "config"}};
    std::string executable = home.dir / "TwinLantern.app/Contents/MacOS/TwinLantern";

    LoginItem item() const { return LoginItem(home.home(), environment, executable); }
};

TEST_F(LoginItemTest, RegisterWritesAnEntryThatIsEnabledAndUnregisterRemovesIt) {
    EXPECT_EQ(item().status(), LoginItem::Status::notRegistered);
    item().registerItem();
    EXPECT_EQ(item().entryPath(), home.dir / "config/autostart/app.twinlantern.desktop");
    EXPECT_TRUE(item().enabled());
    EXPECT_EQ(tltest::fileMode(item().entryPath()), 0644);
    const std::string text = tltest::readFile(item().entryPath());
    EXPECT_EQ(DesktopEntry::value(text, "Type"), "Application");
    EXPECT_EQ(DesktopEntry::execArguments(*DesktopEntry::value(text, "Exec")),
              (std::vector<std::string>{executable, "--launched-at-login"}));
    // Registering again is harmless; another executable's entry isn't ours.
    item().registerItem();
    EXPECT_TRUE(item().enabled());
    EXPECT_FALSE(LoginItem(home.home(), environment, executable + "2").enabled());

    item().unregister();
    EXPECT_FALSE(tltest::exists(item().entryPath()));
    EXPECT_EQ(item().status(), LoginItem::Status::notRegistered);
    item().unregister(); // nothing there
}

TEST_F(LoginItemTest, AnAwkwardPathSurvivesExecAndTheEntryStartsIt) {
    executable = home.dir / "My \"Apps\" 100%/Twin$Lantern `x`\\.app/Contents/MacOS/TwinLantern";
    item().registerItem();
    EXPECT_TRUE(item().enabled());
    const std::string text = tltest::readFile(item().entryPath());
    const auto arguments = DesktopEntry::command(*DesktopEntry::value(text, "Exec"));
    ASSERT_TRUE(arguments);
    EXPECT_EQ(*arguments, (std::vector<std::string>{executable, "--launched-at-login"}));
}

TEST_F(LoginItemTest, HiddenOrForeignEntriesAreNotEnabled) {
    item().registerItem();
    const std::string ours = tltest::readFile(item().entryPath());
    const std::string cases[] = {
        ours + "Hidden=true\n",
        "[Desktop Entry]\nType=Application\nExec=/usr/bin/other --launched-at-login\n",
        "[Desktop Entry]\nType=Application\nName=TwinLantern\n",
        "[Desktop Entry]\nExec=\"unclosed\n",
        "[Other Group]\nExec=" + executable + "\n",
    };
    for (const auto& text : cases) {
        tltest::writeFile(item().entryPath(), text);
        EXPECT_FALSE(item().enabled()) << text;
    }
    tltest::writeFile(item().entryPath(), ours + "Hidden=false\n");
    EXPECT_TRUE(item().enabled());
}

TEST_F(LoginItemTest, AHostileEntryReadsAsNotRegistered) {
    tltest::makeDirs(home.dir / "config/autostart");
    tltest::makeDirs(item().entryPath()); // a folder where the entry belongs
    EXPECT_FALSE(item().enabled());
    tltest::removeTree(item().entryPath());
    ASSERT_EQ(::mkfifo(item().entryPath().c_str(), 0600), 0);
    EXPECT_FALSE(item().enabled()); // and doesn't hang
    tltest::removeTree(item().entryPath());
    ASSERT_EQ(::symlink("/dev/zero", item().entryPath().c_str()), 0);
    EXPECT_FALSE(item().enabled());
}

TEST_F(LoginItemTest, AnAutostartFileInsteadOfAFolderGivesTheErrorAndChangesNothing) {
    tltest::makeDirs(home.dir / "config");
    tltest::writeFile(home.dir / "config/autostart", "a file");
    try {
        item().registerItem();
        FAIL() << "registered";
    } catch (const TwinLanternError& error) {
        std::string expected = "Couldn't write ";
        expected += item().entryPath();
        expected += ": ";
        expected += std::strerror(ENOTDIR);
        EXPECT_EQ(std::string(error.what()), expected);
    }
    EXPECT_EQ(tltest::readFile(home.dir / "config/autostart"), "a file");
    EXPECT_FALSE(item().enabled());
    item().unregister(); // nothing to remove there
}

TEST_F(LoginItemTest, APathExecCantCarryIsRefusedWithoutWriting) {
    executable = home.dir / "esc\x1b[2Jape/TwinLantern";
    EXPECT_THROW(item().registerItem(), TwinLanternError);
    EXPECT_FALSE(tltest::exists(item().entryPath()));
}

TEST_F(LoginItemTest, TheFolderFollowsXdgConfigHomeElseDotConfig) {
    EXPECT_EQ(LoginItem(home.home(), {}, executable).entryPath(),
              home.home() + "/.config/autostart/app.twinlantern.desktop");
    EXPECT_EQ(LoginItem(home.home(), {{"XDG_CONFIG_HOME", "relative"}}, executable).entryPath(),
              home.home() + "/.config/autostart/app.twinlantern.desktop");
    EXPECT_EQ(LoginItem(home.home(), {{"XDG_CONFIG_HOME", ""}}, executable).entryPath(),
              home.home() + "/.config/autostart/app.twinlantern.desktop");
}

} // namespace
