// `twinlantern shell install` and `shell uninstall`.
#include "tests/cli/CliFixture.h"
#include "tests/support/ShellFixtures.h"

#include "core/shell/ShellIntegration.h"

#include <gmock/gmock.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

using namespace twinlantern;
using namespace twinlantern::testing;
using ::testing::HasSubstr;

namespace {

class CliShell : public CliFixture {
protected:
    ShellIntegration integration(const Environment& e) const {
        return ShellIntegration(home.paths, e);
    }
    std::string zshrc() const { return home.dir / ".zshrc"; }
};

TEST_F(CliShell, WithoutATerminalAndWithoutYesNothingIsWritten) {
    writeFile(zshrc(), "export A=1\n");
    const auto before = treeState(home.home());
    const RunResult r = run({"shell", "install"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.out, HasSubstr("+" + std::string(ShellIntegration::beginMarker)));
    EXPECT_EQ(r.err, "twinlantern: Not asking without a terminal, so nothing was changed. Run "
                     "`twinlantern shell install --yes` to go ahead.\n");
    EXPECT_EQ(treeState(home.home()), before);

    writeFile(zshrc(), "export A=1\n" + ShellIntegration::block());
    ASSERT_EQ(run({"shell", "install", "--yes"}).exitCode, 0);
    const auto installed = treeState(home.home());
    const RunResult removal = run({"shell", "uninstall"});
    EXPECT_EQ(removal.exitCode, 1);
    EXPECT_THAT(removal.err, HasSubstr("`twinlantern shell uninstall --yes`"));
    EXPECT_EQ(treeState(home.home()), installed);
}

TEST_F(CliShell, InstallShowsThePlanAndInstallsTheCopiesBesideThisProgram) {
    writeFile(zshrc(), "export A=1\n");
    const RunResult r = run({"shell", "install", "--yes"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("--- ~/.zshrc\n+++ ~/.zshrc\n"));
    EXPECT_THAT(r.out,
                HasSubstr("Shell integration installed. Open a new terminal window to use it.\n"));
    const std::string libexec = home.dir / ".twinlantern/libexec";
    EXPECT_TRUE(ShellIntegration::sameContents(resolver(), libexec + "/twinlantern-resolve"));
    EXPECT_TRUE(ShellIntegration::sameContents(program(), libexec + "/twinlantern"));
    EXPECT_EQ(readFile(home.dir / ".twinlantern/app-path"),
              std::string(TL_HELPERS_DIR)
                      .substr(0, std::string(TL_HELPERS_DIR).size() -
                                     std::string("/Contents/Helpers").size()) +
                  "\n");
    EXPECT_TRUE(integration(env()).status().isInstalled());
    // The installed tool runs through its link.
    const RunResult linked = runProgram(home.paths.shimDirectory() + "/twinlantern",
                                        {"twinlantern", "--version"}, env(), {.cwd = home.home()});
    EXPECT_EQ(linked.out, std::string("twinlantern ") + TL_VERSION + "\n");
}

TEST_F(CliShell, ASecondRunThatChangesNothingSaysSoAndWritesNothing) {
    ASSERT_EQ(run({"shell", "install", "--yes"}).exitCode, 0);
    const auto before = treeState(home.home());
    const ino_t record = inode(home.dir / ".twinlantern/install.json");
    for (bool yes : {true, false}) {
        const RunResult again =
            yes ? run({"shell", "install", "--yes"}) : run({"shell", "install"});
        EXPECT_EQ(again.exitCode, 0) << again.err;
        EXPECT_EQ(again.out, "The shell integration is already installed; nothing to change.\n");
    }
    EXPECT_EQ(treeState(home.home()), before);
    EXPECT_EQ(inode(home.dir / ".twinlantern/install.json"), record);

    // A stale copy is something to change.
    writeFile(home.dir / ".twinlantern/libexec/twinlantern-resolve", "#!/bin/sh\n", 0755);
    const RunResult refresh = run({"shell", "install", "--yes"});
    EXPECT_THAT(refresh.out, HasSubstr("Shell integration installed."));
    EXPECT_TRUE(ShellIntegration::sameContents(
        resolver(), home.dir / ".twinlantern/libexec/twinlantern-resolve"));
}

TEST_F(CliShell, OnATerminalItAsksFirst) {
    writeFile(zshrc(), "export A=1\n");
    const auto before = treeState(home.home());
    // No, an empty answer, and end of input (^D).
    for (const char* answer : {"n\n", "\n", "\x04"}) {
        const RunResult no = runInTerminal(program(), {"twinlantern", "shell", "install"}, env(),
                                           home.home(), answer);
        EXPECT_EQ(no.exitCode, 1) << no.out;
        EXPECT_THAT(no.out, HasSubstr("Install the shell integration? [y/N]"));
        EXPECT_THAT(no.out, HasSubstr("twinlantern: Nothing was changed."));
        EXPECT_EQ(treeState(home.home()), before);
    }
    const RunResult yes =
        runInTerminal(program(), {"twinlantern", "shell", "install"}, env(), home.home(), "yes\n");
    EXPECT_EQ(yes.exitCode, 0) << yes.out;
    EXPECT_TRUE(integration(env()).status().isInstalled());

    const RunResult keep =
        runInTerminal(program(), {"twinlantern", "shell", "uninstall"}, env(), home.home(), "N\n");
    EXPECT_EQ(keep.exitCode, 1);
    EXPECT_TRUE(integration(env()).status().isInstalled());
    const RunResult remove =
        runInTerminal(program(), {"twinlantern", "shell", "uninstall"}, env(), home.home(), "y\n");
    EXPECT_EQ(remove.exitCode, 0) << remove.out;
    EXPECT_THAT(remove.out, HasSubstr("Shell integration removed."));
    EXPECT_EQ(readFile(zshrc()), "export A=1\n");
}

TEST_F(CliShell, UninstallWithNothingInstalledSaysSo) {
    writeFile(zshrc(), "export A=1\n");
    const auto before = treeState(home.home());
    const RunResult r = run({"shell", "uninstall"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "The shell integration isn't installed; nothing to remove.\n");
    EXPECT_EQ(treeState(home.home()), before);
}

TEST_F(CliShell, AnInstalledCopyKeepsTheRecordedAppPath) {
    ASSERT_EQ(run({"shell", "install", "--yes"}).exitCode, 0);
    const std::string appPath = readFile(home.dir / ".twinlantern/app-path");
    writeFile(zshrc(), readFile(zshrc()) + "export LATER=1\n");
    // The doctor's fix, run from the copy in ~/.twinlantern/libexec.
    const RunResult r =
        runProgram(home.paths.shimDirectory() + "/twinlantern",
                   {"twinlantern", "shell", "install", "--yes"}, env(), {.cwd = home.home()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(home.dir / ".twinlantern/app-path"), appPath);
    EXPECT_TRUE(integration(env()).status().blocks.at(0).isLast);
}

// The shell integration's round-trip cases, through the command line.
TEST_F(CliShell, InstallThenUninstallGivesEveryFileBackByteForByte) {
    struct Row {
        const char* name;
        std::optional<std::string> zshrc;
        mode_t mode = 0644;
        bool linkedFromDotfiles = false;
        bool zdotdir = false;
        std::optional<std::string> bashrc{};
        std::optional<std::string> bashProfile{};
    };
    const Row rows[] = {
        {"no file", {}},
        {"empty file", ""},
        {"no final newline", "export A=1"},
        {"CRLF line ends", "export A=1\r\nalias l='ls -l'\r\n"},
        {"link into a dotfiles folder", "source ~/.aliases\n", 0640, true},
        {"mode 0600", "export TOKEN=secret\n", 0600},
        {"ZDOTDIR set", "bindkey -e\n", 0644, false, true},
        {"bash files present", "a\n", 0644, false, false, "bashrc line\n", "bash_profile line"},
        {"only .bash_profile", {}, 0644, false, false, {}, "# profile\n"},
    };
    for (const Row& row : rows) {
        TempHome h;
        Environment e{{"HOME", h.home()}, {"PATH", tools + ":/usr/bin:/bin"}};
        std::string zsh = h.dir / ".zshrc";
        if (row.zdotdir) {
            makeDirs(h.dir / "zdot");
            e["ZDOTDIR"] = h.dir / "zdot";
            zsh = h.dir / "zdot/.zshrc";
        }
        if (row.zshrc) {
            if (row.linkedFromDotfiles) {
                writeFile(h.dir / "dotfiles/zshrc", *row.zshrc, row.mode);
                ASSERT_EQ(::symlink((h.dir / "dotfiles/zshrc").c_str(), zsh.c_str()), 0);
            } else {
                writeFile(zsh, *row.zshrc, row.mode);
            }
        }
        if (row.bashrc) {
            writeFile(h.dir / ".bashrc", *row.bashrc);
        }
        if (row.bashProfile) {
            writeFile(h.dir / ".bash_profile", *row.bashProfile);
        }
        const auto before = treeState(h.home());
        const RunResult install = runProgram(
            program(), {"twinlantern", "shell", "install", "--yes"}, e, {.cwd = h.home()});
        ASSERT_EQ(install.exitCode, 0) << row.name << ": " << install.err;
        EXPECT_TRUE(ShellIntegration(h.paths, e).status().isInstalled()) << row.name;
        const RunResult removal = runProgram(
            program(), {"twinlantern", "shell", "uninstall", "--yes"}, e, {.cwd = h.home()});
        ASSERT_EQ(removal.exitCode, 0) << row.name << ": " << removal.err;
        EXPECT_EQ(treeState(h.home()), before) << row.name;
    }
}

// A failed install, through the real program: the message names the link and where it
// points, and every file and folder is as it was.
TEST_F(CliShell, AnInstallThatFailsChangesNothing) {
    struct Case {
        const char* name;
        std::string command;
        std::string error;
    };
    const Case cases[] = {
        {"~/.zshrc a link into a missing folder", "twinlantern shell install --yes",
         "twinlantern: Couldn't write ~/.zshrc (a link to ~/dots/zsh/zshrc): " +
             std::string(std::strerror(ENOENT)) + "\n"},
        // 512-byte blocks: the programs do not fit.
        {"ulimit -f", "ulimit -f 8 && twinlantern shell install --yes",
         "twinlantern: Couldn't install ~/.twinlantern/libexec/twinlantern-resolve: " +
             std::string(std::strerror(EFBIG)) + "\n"},
        {"a file where a folder belongs", "twinlantern shell install --yes",
         "twinlantern: Couldn't create ~/.twinlantern/backups: " +
             std::string(std::strerror(ENOTDIR)) + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempHome h;
        writeFile(h.dir / ".bashrc", "b");
        if (std::string_view(c.name).starts_with("~/.zshrc")) {
            ASSERT_EQ(::symlink("dots/zsh/zshrc", (h.dir / ".zshrc").c_str()), 0);
        } else {
            writeFile(h.dir / ".zshrc", "export A=1", 0600);
        }
        if (std::string_view(c.name).starts_with("a file")) {
            writeFile(h.dir / ".twinlantern/backups", "mine\n");
        }
        const Environment e{{"HOME", h.home()}, {"PATH", helpers() + ":/usr/bin:/bin"}};
        const auto before = treeState(h.home());
        const RunResult r = runProgram("/bin/sh", {"sh", "-c", c.command}, e, {.cwd = h.home()});
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.err, c.error);
        EXPECT_EQ(treeState(h.home()), before);
    }
}

// An install killed at any one of its renames, then removed: every file as before.
TEST_F(CliShell, AnInstallKilledAtEachRenameIsUndoneExactly) {
    const std::string strace = "/usr/bin/strace";
    if (!exists(strace)) {
        GTEST_SKIP() << "strace is not installed (scripts/install-deps installs it)";
    }
    {
        const RunResult probe =
            runProgram(strace, {"strace", "-qq", "-o", "/dev/null", "/bin/true"}, env());
        if (probe.exitCode != 0) {
            GTEST_SKIP() << "strace can't trace here: " << probe.err;
        }
    }
    bool completed = false;
    for (int n = 1; n <= 40 && !completed; ++n) {
        SCOPED_TRACE("killed at rename " + std::to_string(n));
        TempHome h;
        TempDir temporary;
        writeFile(h.dir / ".zshrc", "export A=1", 0600); // no final line feed
        writeFile(h.dir / ".bashrc", "b\n");
        // LeakSanitizer can't run under ptrace and fails the traced run in the sanitizer build.
        const Environment e{{"HOME", h.home()},
                            {"PATH", helpers() + ":/usr/bin:/bin"},
                            {"TMPDIR", temporary.path()},
                            {"ASAN_OPTIONS", "detect_leaks=0"}};
        const auto before = treeState(h.home());
        const RunResult killed =
            runProgram(strace,
                       {"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=rename", "-e",
                        "inject=rename:signal=SIGKILL:when=" + std::to_string(n), program(),
                        "shell", "install", "--yes"},
                       e, {.cwd = h.home()});
        completed = killed.exitCode == 0;
        const RunResult removal = runProgram(
            program(), {"twinlantern", "shell", "uninstall", "--yes"}, e, {.cwd = h.home()});
        EXPECT_EQ(removal.exitCode, 0) << removal.err;
        EXPECT_EQ(treeState(h.home()), before);
    }
    EXPECT_TRUE(completed) << "the install was still renaming after 40 renames";
}

} // namespace
