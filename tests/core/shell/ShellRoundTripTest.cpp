#include "core/shell/ShellIntegration.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/ShellFixtures.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

const std::string B = ShellIntegration::block();

struct Row {
    const char* name{};
    std::optional<std::string> zshrc{}; // none: no file
    mode_t mode = 0644;
    bool linkedFromDotfiles = false;
    // .zshrc links to a dotfiles file that does not exist yet.
    bool danglingLink = false;
    // ... in a dotfiles folder that does not exist either.
    bool linkFolderMissing = false;
    // Install fails with this message and leaves every file and folder as it was.
    std::optional<std::string> failure{};
    bool zdotdir = false;
    std::optional<std::string> bashrc{};
    std::optional<std::string> bashProfile{};
    // What the user (or another tool) does to the zsh file after the install.
    std::function<std::string(const std::string&)> edit{};
    // The zsh file after removal, when it is not the original, or the edited file's lines
    // without ours.
    std::optional<std::string> expected{};
};

bool isOurLine(const std::string& line) {
    auto ours = lines(B);
    return std::find(ours.begin(), ours.end(), line) != ours.end();
}

// Every line we did not write appears in the result, in its order.
void expectUserLinesKept(const std::string& source, const std::string& result,
                         const std::string& where) {
    auto kept = lines(result);
    auto at = kept.begin();
    for (const auto& line : lines(source)) {
        if (isOurLine(line)) {
            continue;
        }
        at = std::find(at, kept.end(), line);
        ASSERT_NE(at, kept.end()) << where << ": lost line \"" << line << "\"";
        ++at;
    }
}

std::string withoutEndMarker(const std::string& text) {
    std::string out = text;
    const std::string end = std::string(ShellIntegration::endMarker) + "\n";
    out.erase(out.rfind(end), end.size());
    return out;
}

const Row rows[] = {
    {.name = "no file"},
    {.name = "empty file", .zshrc = ""},
    {.name = "no final newline", .zshrc = "export A=1"},
    {.name = "CRLF line ends", .zshrc = "export A=1\r\nalias l='ls -l'\r\n"},
    {.name = "link into a dotfiles folder",
     .zshrc = "source ~/.aliases\n",
     .mode = 0640,
     .linkedFromDotfiles = true},
    {.name = "mode 0600", .zshrc = "export TOKEN=secret\n", .mode = 0600},
    {.name = "ZDOTDIR set", .zshrc = "bindkey -e\n", .zdotdir = true},
    {.name = "bash files present",
     .zshrc = "a\n",
     .bashrc = "bashrc line\n",
     .bashProfile = "bash_profile line"},
    {.name = "only .bash_profile", .bashProfile = "# profile\n"},
    {.name = "user lines after the block",
     .zshrc = "a\n",
     .edit =
         [](const std::string& t) {
             return t + "export B=2\n";
         }},
    {.name = "user lines after the block, no final newline",
     .zshrc = "x",
     .mode = 0600,
     .edit = [](const std::string& t) { return t + "y\n"; },
     .expected = "x\ny\n"},
    {.name = "another tool's block after ours",
     .zshrc = "a\n",
     .edit =
         [](const std::string& t) {
             return t + "# >>> conda initialize >>>\nconda activate\n# <<< conda initialize <<<\n";
         }},
    {.name = "end marker deleted by the user",
     .zshrc = "a\n",
     .edit = [](const std::string& t) { return withoutEndMarker(t) + "u\n"; },
     .expected = "a\nu\n"},
    {.name = "begin marker without end before install",
     .zshrc = "a\n# >>> twinlantern >>>\nu\n",
     .expected = "a\nu\n"},
    {.name = "block already there, record lost", .zshrc = "x\n" + B, .expected = "x\n"},
    {.name = "dangling link into a dotfiles folder", .danglingLink = true},
    {.name = "dangling link into a missing folder",
     .danglingLink = true,
     .linkFolderMissing = true,
     .failure = std::string("Couldn't write ~/.zshrc (a link to ~/dotfiles/zshrc): ") +
                std::strerror(ENOENT),
     .bashrc = "b"},
    {.name = "near the read limit, the block just fits",
     .zshrc = std::string(ShellIntegration::maxFileBytes - B.size() - 1, '#') + "\n"},
    {.name = "near the read limit, the block does not fit",
     .zshrc = std::string(ShellIntegration::maxFileBytes - B.size(), '#') + "\n",
     .failure = std::string("Couldn't write ~/.zshrc: ") + std::strerror(EFBIG)},
};

} // namespace

TEST(ShellRoundTrip, RemovalGivesBackWhatWasThere) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ShellHome home;
        const std::string zshFolder = row.zdotdir ? home.path(".config/zsh") : home.home.home();
        if (row.zdotdir) {
            home.environment["ZDOTDIR"] = zshFolder;
            writeFile(home.path(".zshrc"), "# the home file zsh does not read here\n");
        }
        const std::string zshrc = zshFolder + "/.zshrc";
        const std::string dotfile = home.path("dotfiles/zshrc");
        if (row.zshrc) {
            if (row.linkedFromDotfiles) {
                writeFile(dotfile, *row.zshrc, row.mode);
                makeDirs(zshFolder);
                ASSERT_EQ(::symlink("dotfiles/zshrc", zshrc.c_str()), 0);
            } else {
                writeFile(zshrc, *row.zshrc, row.mode);
            }
        }
        if (row.danglingLink) {
            if (!row.linkFolderMissing) {
                makeDirs(home.path("dotfiles"));
            }
            ASSERT_EQ(::symlink("dotfiles/zshrc", zshrc.c_str()), 0);
        }
        if (row.bashrc) {
            writeFile(home.path(".bashrc"), *row.bashrc);
        }
        if (row.bashProfile) {
            writeFile(home.path(".bash_profile"), *row.bashProfile);
        }
        struct Original {
            std::string path;
            std::optional<std::string> text;
            mode_t mode;
        };
        std::vector<Original> originals;
        for (const auto& path : {zshrc, home.path(".bashrc"), home.path(".bash_profile"),
                                 home.path(".zshrc"), dotfile}) {
            if (row.danglingLink && path == zshrc) {
                continue; // the link itself is checked below
            }
            if (exists(path)) {
                originals.push_back({path, readFile(path), fileMode(path)});
            } else {
                originals.push_back({path, std::nullopt, 0});
            }
        }

        const ShellIntegration shell = home.integration();
        if (row.failure) {
            const auto tree = treeState(home.home.home());
            EXPECT_EQ(errorOf([&] { home.install(); }).description(), *row.failure);
            EXPECT_EQ(treeState(home.home.home()), tree);
            shell.uninstall();
            for (const auto& original : originals) {
                EXPECT_EQ(original.text, exists(original.path)
                                             ? std::optional(readFile(original.path))
                                             : std::nullopt)
                    << original.path;
            }
            EXPECT_FALSE(exists(home.path(".twinlantern")));
            continue;
        }
        const auto plan = home.install();
        // Whatever install wrote, status can read.
        EXPECT_FALSE(shell.status().blocks.empty());
        for (const auto& change : plan) {
            EXPECT_TRUE(readFile(change.path).ends_with(B)) << change.path;
            expectUserLinesKept(change.before, readFile(change.path), change.path);
        }
        // Backups are as private as the files they copy.
        const auto state = shell.loadState();
        ASSERT_TRUE(state);
        for (const auto& record : state->files) {
            if (record.backupPath) {
                struct stat st {};
                ASSERT_EQ(::stat(record.path.c_str(), &st), 0);
                EXPECT_EQ(fileMode(*record.backupPath), st.st_mode & 07777) << record.path;
            }
        }

        std::string userText = row.zshrc.value_or("");
        std::string expected = userText;
        if (row.edit) {
            userText = row.edit(readFile(zshrc));
            writeFile(row.linkedFromDotfiles ? dotfile : zshrc, userText, row.mode);
            expected.clear();
            for (const auto& line : lines(userText)) {
                if (!isOurLine(line)) {
                    expected += line + "\n";
                }
            }
        }

        shell.uninstall();

        for (const auto& original : originals) {
            SCOPED_TRACE(original.path);
            const bool isZsh =
                original.path == zshrc || (row.linkedFromDotfiles && original.path == dotfile);
            if (!original.text) {
                EXPECT_FALSE(exists(original.path));
                continue;
            }
            ASSERT_TRUE(exists(original.path));
            const std::string now = readFile(original.path);
            EXPECT_EQ(fileMode(original.path), original.mode);
            if (isZsh) {
                EXPECT_EQ(now, row.expected.value_or(expected));
                expectUserLinesKept(userText, now, original.path);
            } else {
                EXPECT_EQ(now, *original.text);
            }
        }
        if (row.linkedFromDotfiles || row.danglingLink) {
            struct stat st {};
            ASSERT_EQ(::lstat(zshrc.c_str(), &st), 0);
            EXPECT_TRUE(S_ISLNK(st.st_mode));
            char target[64] = {};
            EXPECT_EQ(::readlink(zshrc.c_str(), target, sizeof target - 1), 14);
            EXPECT_STREQ(target, "dotfiles/zshrc");
        }
        // A backup that was not put back is the only copy of the file as it was: it stays.
        std::vector<std::string> kept;
        if (row.edit && row.zshrc && readFile(zshrc) != *row.zshrc) {
            kept.push_back(*row.zshrc);
        }
        EXPECT_EQ(home.keptBackups(), kept);
    }
}

namespace {

std::string failed(const std::string& what, int err) {
    return "Couldn't " + what + ": " + std::strerror(err);
}

} // namespace

// Every step of an install can fail; whichever does, every file and folder is as before.
TEST(ShellRoundTrip, AFailedInstallLeavesEverythingAsItWas) {
    struct Case {
        const char* name;
        std::function<void(ShellHome&)> arrange;
        std::string message;
        rlim_t fileSizeLimit = RLIM_INFINITY;
    };
    const Case cases[] = {
        {"~/.zshrc a link into a missing folder",
         [](ShellHome& h) {
             ::unlink(h.path(".zshrc").c_str());
             ASSERT_EQ(::symlink("dots/zsh/zshrc", h.path(".zshrc").c_str()), 0);
         },
         failed("write ~/.zshrc (a link to ~/dots/zsh/zshrc)", ENOENT)},
        {"a file where ~/.twinlantern belongs",
         [](ShellHome& h) { writeFile(h.path(".twinlantern"), "mine\n"); },
         failed("create ~/.twinlantern", ENOTDIR)},
        {"a file where the backups folder belongs",
         [](ShellHome& h) { writeFile(h.path(".twinlantern/backups"), "mine\n"); },
         failed("create ~/.twinlantern/backups", ENOTDIR)},
        {"a folder where app-path belongs",
         [](ShellHome& h) { makeDirs(h.path(".twinlantern/app-path")); },
         failed("write ~/.twinlantern/app-path", EISDIR)},
        {"a folder where install.json belongs, and one where a shim goes",
         [](ShellHome& h) {
             makeDirs(h.path(".twinlantern/install.json"));
             writeFile(h.path(".twinlantern/bin/codex/kept"), "mine\n");
         },
         failed("write ~/.twinlantern/install.json", EISDIR)},
        {"a file-size limit the record outgrows after ~/.zshrc is written", [](ShellHome&) {},
         failed("write ~/.twinlantern/install.json", EFBIG), 600},
        {"a re-install that replaces a copy, then fails",
         [](ShellHome& h) {
             h.install();
             writeFile(h.path(".twinlantern/libexec/twinlantern-resolve"), "#!/bin/sh\nold\n",
                       0755);
             writeFile(h.path(".zshrc"), readFile(h.path(".zshrc")) + "export LATER=1\n");
         },
         failed("write ~/.twinlantern/install.json", EFBIG), 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShellHome home;
        writeFile(home.path(".zshrc"), "export A=1\n", 0600);
        writeFile(home.path(".bashrc"), "b");
        c.arrange(home);
        const auto tree = treeState(home.home.home());
        std::string message;
        {
            const FileSizeLimit limit(c.fileSizeLimit);
            message = errorOf([&] { home.install(); }).description();
        }
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(treeState(home.home.home()), tree);
    }
}
