// The tool starts without Qt: only building launchers draws, in the twinlantern-icons
// helper, which an installed copy of the tool finds in the app bundle it was installed
// from.
#include "tests/cli/CliFixture.h"

#include "core/base/PathUtil.h"

#include <gmock/gmock.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

using namespace twinlantern;
using namespace twinlantern::testing;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class CliStart : public CliFixture {
protected:
    // A Claude Desktop to make launchers for, and a profile that uses it.
    void SetUp() override {
        CliFixture::SetUp();
        const std::string app = home.dir / "Applications/Claude.app/Contents";
        writeFile(app + "/Info.plist",
                  "<plist><dict><key>CFBundleIdentifier</key>"
                  "<string>com.anthropic.claudefordesktop</string>"
                  "<key>CFBundleExecutable</key><string>Claude</string></dict></plist>");
        writeFile(app + "/MacOS/Claude", "#!/bin/sh\n", 0755);
        store({1,
               {profile("work", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop})},
               {},
               {}});
    }

    // The tool and the launcher copied where `shell install` puts them, with nothing else.
    std::string installedCopy() const {
        const std::string libexec = home.dir / ".twinlantern/libexec";
        writeFile(libexec + "/twinlantern", readFile(program()), 0755);
        writeFile(libexec + "/twinlantern-launcher", readFile(helpers() + "/twinlantern-launcher"),
                  0755);
        return libexec + "/twinlantern";
    }

    RunResult runCopy(const std::string& copy) const {
        return runProgram(copy, {"twinlantern", "launchers", "install"}, env(),
                          {.cwd = home.home(), .timeoutSeconds = 300});
    }

    std::string bundle = home.dir / "Applications/TwinLantern/Claude — Work.app";
};

TEST_F(CliStart, TheToolLoadsNoQtAndItsDrawingHelperDoes) {
    const RunResult tool = runProgram({"/usr/bin/ldd", program()}, env());
    ASSERT_EQ(tool.exitCode, 0) << tool.err;
    EXPECT_THAT(tool.out, Not(HasSubstr("libQt")));
    const RunResult icons = runProgram({"/usr/bin/ldd", helpers() + "/twinlantern-icons"}, env());
    ASSERT_EQ(icons.exitCode, 0) << icons.err;
    EXPECT_THAT(icons.out, HasSubstr("libQt6Gui"));
}

TEST_F(CliStart, AnInstalledCopyDrawsWithTheHelperOfTheRecordedApp) {
    const std::string copy = installedCopy();
    const std::string app = PathUtil::parent(PathUtil::parent(helpers()));
    writeFile(home.dir / ".twinlantern/app-path", app + "\n");
    const RunResult r = runCopy(copy);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Built ~/Applications/TwinLantern/Claude — Work.app\n");
    for (const char* icon : {"AppIcon.icns", "AppIcon.png"}) {
        struct stat st {};
        EXPECT_EQ(::stat((bundle + "/Contents/Resources/" + icon).c_str(), &st), 0) << icon;
        EXPECT_GT(st.st_size, 0) << icon;
    }
}

TEST_F(CliStart, WithoutTheHelperTheBuildFailsAndLeavesNoLauncher) {
    const std::string copy = installedCopy();
    const RunResult r = runCopy(copy);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "twinlantern: Couldn't run " + PathUtil::parent(copy) +
                         "/twinlantern-icons: " + std::strerror(ENOENT) + "\n");
    EXPECT_FALSE(exists(bundle));
}

} // namespace
