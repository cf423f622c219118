#include "core/shell/ShellIntegration.h"
#include "tests/support/ShellFixtures.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {
const std::string B = ShellIntegration::block();
} // namespace

TEST(ShellStatus, ProgramsAndLinks) {
    ShellHome home;
    writeFile(home.path(".zshrc"), "a\n");
    EXPECT_EQ(home.integration().status(), ShellIntegration::Status{});
    home.install();
    ShellIntegration::Status installed{
        true, {{home.path(".zshrc"), true}}, "/Applications/TwinLantern.app"};
    EXPECT_EQ(home.integration().status(), installed);
    EXPECT_TRUE(installed.isInstalled());

    struct Case {
        const char* name;
        std::function<void(const ShellHome&)> breakIt;
    };
    const Case cases[] = {
        {"resolver copy missing",
         [](const ShellHome& h) {
             ::unlink(h.path(".twinlantern/libexec/twinlantern-resolve").c_str());
         }},
        {"resolver copy not executable",
         [](const ShellHome& h) {
             ::chmod(h.path(".twinlantern/libexec/twinlantern-resolve").c_str(), 0644);
         }},
        {"claude link dangling",
         [](const ShellHome& h) {
             const std::string link = h.path(".twinlantern/bin/claude");
             ::unlink(link.c_str());
             ASSERT_EQ(::symlink("../libexec/gone", link.c_str()), 0);
         }},
        {"codex link missing",
         [](const ShellHome& h) {
             ::unlink(h.path(".twinlantern/bin/codex").c_str());
         }},
        {"claude is a folder",
         [](const ShellHome& h) {
             ::unlink(h.path(".twinlantern/bin/claude").c_str());
             makeDirs(h.path(".twinlantern/bin/claude"));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShellHome broken;
        writeFile(broken.path(".zshrc"), "a\n");
        broken.install();
        c.breakIt(broken);
        const auto status = broken.integration().status();
        EXPECT_FALSE(status.binariesInstalled);
        EXPECT_EQ(status.blocks.size(), 1u);
        EXPECT_FALSE(status.isInstalled());
    }
}

TEST(ShellStatus, BlocksAndAppPath) {
    ShellHome home;
    home.install();
    writeFile(home.path(".zshrc"), B + "export LATE=1\n");
    writeFile(home.path(".bashrc"), "x\n" + B + "\n# only a comment\n   \n");
    writeFile(home.path(".bash_profile"), "echo '# >>> twinlantern >>> in a longer line'\n");
    const auto status = home.integration().status();
    EXPECT_EQ(status.blocks, (std::vector<ShellIntegration::Status::Block>{
                                 {home.path(".zshrc"), false},
                                 {home.path(".bashrc"), true},
                                 {home.path(".bash_profile"), false},
                             }));

    struct Case {
        std::optional<std::string> file;
        std::optional<std::string> appPath;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt},
        {"\n", ""},
        {"  /Applications/TwinLantern.app \n\n", "/Applications/TwinLantern.app"},
    };
    for (const auto& c : cases) {
        ::unlink(home.path(".twinlantern/app-path").c_str());
        if (c.file) {
            writeFile(home.path(".twinlantern/app-path"), *c.file);
        }
        EXPECT_EQ(home.integration().status().appPath, c.appPath) << c.file.value_or("(none)");
    }
    ::unlink(home.path(".twinlantern/app-path").c_str());
    makeDirs(home.path(".twinlantern/app-path"));
    EXPECT_EQ(home.integration().status().appPath, std::nullopt);
}

TEST(ShellStatus, RefreshReplacesOnlyChangedCopies) {
    ShellHome home;
    home.install();
    const ShellIntegration shell = home.integration();
    const std::string libexec = home.path(".twinlantern/libexec/");
    const ino_t cliCopy = inode(libexec + "twinlantern");
    const ino_t launcherCopy = inode(libexec + "twinlantern-launcher");
    const ino_t resolverCopy = inode(libexec + "twinlantern-resolve");

    EXPECT_FALSE(shell.refreshBinariesIfStale(home.helpers.resolver(), home.helpers.cli(),
                                              home.helpers.launcher()));
    EXPECT_EQ(inode(libexec + "twinlantern-resolve"), resolverCopy);

    // Same size, other bytes: the comparison reads contents.
    std::string changed = readFile(home.helpers.resolver());
    changed.back() = '#';
    writeFile(home.helpers.resolver(), changed, 0755);
    EXPECT_TRUE(shell.refreshBinariesIfStale(home.helpers.resolver(), home.helpers.cli(),
                                             home.helpers.launcher()));
    EXPECT_EQ(readFile(libexec + "twinlantern-resolve"), changed);
    EXPECT_EQ(fileMode(libexec + "twinlantern-resolve"), 0755u);
    EXPECT_EQ(inode(libexec + "twinlantern"), cliCopy);
    EXPECT_EQ(inode(libexec + "twinlantern-launcher"), launcherCopy);
    EXPECT_FALSE(shell.refreshBinariesIfStale(home.helpers.resolver(), home.helpers.cli(),
                                              home.helpers.launcher()));

    // A missing copy of the tool is put back; sources that are not programs are passed over.
    ::unlink((libexec + "twinlantern").c_str());
    writeFile(home.path("not-a-program"), "x", 0644);
    EXPECT_TRUE(shell.refreshBinariesIfStale(home.path("missing"), home.helpers.cli(),
                                             home.path("not-a-program")));
    EXPECT_EQ(readFile(libexec + "twinlantern"), readFile(home.helpers.cli()));

    // Never installed: nothing is created.
    ::unlink((libexec + "twinlantern-resolve").c_str());
    EXPECT_FALSE(shell.refreshBinariesIfStale(home.helpers.resolver(), home.helpers.cli(),
                                              home.helpers.launcher()));
    EXPECT_FALSE(exists(libexec + "twinlantern-resolve"));
    ShellHome fresh;
    EXPECT_FALSE(fresh.integration().refreshBinariesIfStale(fresh.helpers.resolver(), std::nullopt,
                                                            std::nullopt));
    EXPECT_FALSE(exists(fresh.path(".twinlantern")));
}

TEST(ShellStatus, RecordAppLocation) {
    ShellHome home;
    const std::string appPath = home.path(".twinlantern/app-path");
    home.integration().recordAppLocation("/Applications/TwinLantern.app");
    EXPECT_FALSE(exists(home.path(".twinlantern"))); // not installed

    home.install();
    const ShellIntegration shell = home.integration();
    const ino_t recorded = inode(appPath);
    shell.recordAppLocation("/Applications/TwinLantern.app");
    EXPECT_EQ(inode(appPath), recorded);
    shell.recordAppLocation("/Applications/TwinLantern");
    EXPECT_EQ(readFile(appPath), "/Applications/TwinLantern.app\n");
    shell.recordAppLocation("/Users/me/Apps/TwinLantern.app");
    EXPECT_EQ(readFile(appPath), "/Users/me/Apps/TwinLantern.app\n");

    // Cannot write: stays as it was, no failure.
    ::unlink(appPath.c_str());
    makeDirs(appPath + "/in-the-way");
    shell.recordAppLocation("/Other/TwinLantern.app");
    EXPECT_TRUE(exists(appPath + "/in-the-way"));
}
