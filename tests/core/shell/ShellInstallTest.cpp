#include "core/base/TwinLanternError.h"
#include "core/shell/ShellIntegration.h"
#include "tests/support/ShellFixtures.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

const std::string B = ShellIntegration::block();

std::string errorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const TwinLanternError& error) {
        EXPECT_EQ(error.kind(), TwinLanternError::Kind::io);
        return error.what();
    }
    return "(no error)";
}

} // namespace

TEST(ShellInstall, LaysOutProgramsLinksAndRecord) {
    ShellHome home;
    writeFile(home.path(".zshrc"), "a");
    const auto plan = home.install();
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0], (ShellIntegration::FileChange{home.path(".zshrc"), true, "a", "a\n" + B}));

    for (const char* name : {"twinlantern-resolve", "twinlantern", "twinlantern-launcher"}) {
        const std::string copy = home.path(".twinlantern/libexec/") + name;
        EXPECT_EQ(readFile(copy), readFile(home.helpers.dir / name)) << name;
        EXPECT_EQ(fileMode(copy), 0755u) << name;
    }
    for (const char* name : {"claude", "codex"}) {
        char target[256] = {};
        ASSERT_GT(::readlink(home.path(".twinlantern/bin/").append(name).c_str(), target, 255), 0);
        EXPECT_STREQ(target, "../libexec/twinlantern-resolve");
    }
    char target[256] = {};
    ASSERT_GT(::readlink(home.path(".twinlantern/bin/twinlantern").c_str(), target, 255), 0);
    EXPECT_STREQ(target, "../libexec/twinlantern");
    EXPECT_EQ(readFile(home.path(".twinlantern/app-path")), "/Applications/TwinLantern.app\n");

    // The record: sorted keys, no nulls, slashes as they are.
    const std::string text = readFile(home.path(".twinlantern/install.json"));
    const auto backups = folderEntries(home.path(".twinlantern/backups"));
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_TRUE(std::regex_match(backups[0], std::regex(R"(zshrc\.\d{8}-\d{6})"))) << backups[0];
    EXPECT_EQ(readFile(home.path(".twinlantern/backups/") + backups[0]), "a");
    std::smatch at;
    ASSERT_TRUE(std::regex_search(text, at, std::regex(R"re("installedAt": "([^"]*)")re")));
    EXPECT_TRUE(std::regex_match(at[1].str(), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
    EXPECT_EQ(text, "{\n"
                    "  \"files\": [\n"
                    "    {\n"
                    "      \"addedNewline\": true,\n"
                    "      \"backupPath\": \"" +
                        home.path(".twinlantern/backups/") + backups[0] +
                        "\",\n"
                        "      \"existedBefore\": true,\n"
                        "      \"installedSHA256\": \"" +
                        ShellIntegration::sha256("a\n" + B) +
                        "\",\n"
                        "      \"path\": \"" +
                        home.path(".zshrc") +
                        "\"\n"
                        "    }\n"
                        "  ],\n"
                        "  \"installedAt\": \"" +
                        at[1].str() +
                        "\",\n"
                        "  \"version\": 1\n"
                        "}\n");

    // A file that did not exist has no backup key at all.
    ShellHome fresh;
    fresh.install();
    const std::string freshText = readFile(fresh.path(".twinlantern/install.json"));
    EXPECT_THAT(freshText, ::testing::Not(::testing::HasSubstr("backupPath")));
    EXPECT_THAT(freshText, ::testing::Not(::testing::HasSubstr("null")));
    EXPECT_THAT(freshText, ::testing::Not(::testing::HasSubstr("\\/")));
    EXPECT_EQ(readFile(fresh.path(".zshrc")), B);
    EXPECT_EQ(fileMode(fresh.path(".zshrc")), 0644u);
}

TEST(ShellInstall, ReinstallChangesNoShellFile) {
    ShellHome home;
    writeFile(home.path(".zshrc"), "a\n", 0600);
    writeFile(home.path(".bashrc"), "b");
    home.install();
    const ShellIntegration shell = home.integration();
    const auto first = shell.loadState().value();
    const std::string zsh = readFile(home.path(".zshrc"));
    const ino_t zshInode = inode(home.path(".zshrc"));
    const auto backups = folderEntries(home.path(".twinlantern/backups"));

    home.install();
    EXPECT_EQ(readFile(home.path(".zshrc")), zsh);
    EXPECT_EQ(inode(home.path(".zshrc")), zshInode); // not even rewritten
    EXPECT_EQ(folderEntries(home.path(".twinlantern/backups")), backups);
    auto second = shell.loadState().value();
    second.installedAt = first.installedAt;
    EXPECT_EQ(second, first);
}

TEST(ShellInstall, SimpleFacts) {
    EXPECT_EQ(ShellIntegration::sha256("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(ShellIntegration::sha256(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_TRUE(std::regex_match(ShellIntegration::timestamp(), std::regex(R"(\d{8}-\d{6})")));
}

TEST(ShellInstall, EditsBetweenInstallsSurviveRemoval) {
    ShellHome home;
    writeFile(home.path(".zshrc"), "a\n");
    home.install();
    writeFile(home.path(".zshrc"), "edited\n" + readFile(home.path(".zshrc")));
    home.install();
    home.integration().uninstall();
    EXPECT_EQ(readFile(home.path(".zshrc")), "edited\na\n");
}

TEST(ShellInstall, RemovalWithoutRecordCutsBlocksOnly) {
    ShellHome home;
    writeFile(home.path(".zshrc"), "a");
    writeFile(home.path(".bashrc"), "b\n" + B + "c");
    home.install();
    ::unlink(home.path(".twinlantern/install.json").c_str());
    writeFile(home.path(".bash_profile"), "untouched");
    const ino_t profileInode = inode(home.path(".bash_profile"));

    const auto plan = home.integration().uninstall();
    EXPECT_EQ(plan.size(), 3u);
    EXPECT_EQ(readFile(home.path(".zshrc")), "a\n"); // no record: the line feed stays
    EXPECT_EQ(readFile(home.path(".bashrc")), "b\nc\n");
    EXPECT_EQ(readFile(home.path(".bash_profile")), "untouched");
    EXPECT_EQ(inode(home.path(".bash_profile")), profileInode);
    // Neither backup was put back, so both stay: the files exactly as they were.
    EXPECT_EQ(home.keptBackups(), (std::vector<std::string>{"a", "b\n" + B + "c"}));
}

TEST(ShellInstall, BrokenRecordsReadAsNone) {
    const std::string good = R"({"files":[{"addedNewline":false,"existedBefore":false,)"
                             R"("installedSHA256":"x","path":"/h/.zshrc","extra":1}],"version":1})";
    ASSERT_TRUE(decodeInstallState(good));
    EXPECT_FALSE(decodeInstallState(good)->files[0].backupPath);
    const std::string broken[] = {
        "",
        "{",
        good.substr(0, good.size() / 2),
        "[]",
        "null",
        R"({"files":[]})",
        R"({"version":1})",
        R"({"version":"1","files":[]})",
        R"({"version":1,"files":{}})",
        R"({"version":1,"files":[{"path":"/a"}]})",
        R"({"version":1,"files":[{"path":"/a","existedBefore":"yes","addedNewline":false,"installedSHA256":"x"}]})",
        R"({"version":1,"files":[{"path":"/a","existedBefore":true,"addedNewline":false,"installedSHA256":"x","backupPath":null}]})",
        R"({"version":1,"installedAt":null,"files":[]})",
        std::string(1 << 20, '['),
    };
    for (const auto& text : broken) {
        EXPECT_FALSE(decodeInstallState(text)) << text.substr(0, 80);
    }

    // A broken record on disk is treated as none: install rewrites it, nothing is lost.
    ShellHome home;
    writeFile(home.path(".zshrc"), "a\n");
    writeFile(home.path(".twinlantern/install.json"), "{\"files\": [");
    home.install();
    ASSERT_TRUE(home.integration().loadState());
    home.integration().uninstall();
    EXPECT_EQ(readFile(home.path(".zshrc")), "a\n");
}

TEST(ShellInstall, LauncherIsSkippedUnlessExecutable) {
    ShellHome home;
    writeFile(home.path("plain"), "x", 0644);
    makeDirs(home.path("folder"));
    for (const std::string& launcher :
         {home.path("missing"), home.path("plain"), home.path("folder")}) {
        home.integration().install(home.helpers.resolver(), std::nullopt, launcher, std::nullopt);
        EXPECT_FALSE(exists(home.path(".twinlantern/libexec/twinlantern-launcher"))) << launcher;
        EXPECT_FALSE(exists(home.path(".twinlantern/libexec/twinlantern")));
        EXPECT_FALSE(exists(home.path(".twinlantern/bin/twinlantern")));
        EXPECT_FALSE(exists(home.path(".twinlantern/app-path")));
    }
}

TEST(ShellInstall, SymlinkReplacesOnlyWhatDiffers) {
    ShellHome home;
    const ShellIntegration shell = home.integration();
    const std::string link = home.path("link");
    shell.symlink(link, "dest");
    const ino_t first = inode(link);
    shell.symlink(link, "dest");
    EXPECT_EQ(inode(link), first);
    shell.symlink(link, "other");
    char target[64] = {};
    ASSERT_GT(::readlink(link.c_str(), target, 63), 0);
    EXPECT_STREQ(target, "other");
    ::unlink(link.c_str());
    writeFile(link, "regular");
    shell.symlink(link, "dest");
    std::memset(target, 0, sizeof target);
    ASSERT_GT(::readlink(link.c_str(), target, 63), 0);
    EXPECT_STREQ(target, "dest");
}

TEST(ShellInstall, FailuresNameThePathAndTheCause) {
    {
        ShellHome home;
        const std::string text = errorText([&] {
            home.integration().install(home.helpers.resolver(), home.path("no-cli"), std::nullopt,
                                       std::nullopt);
        });
        EXPECT_EQ(text, std::string("Couldn't install ~/.twinlantern/libexec/twinlantern: ") +
                            std::strerror(ENOENT));
        EXPECT_FALSE(exists(
            home.path(".twinlantern/libexec/twinlantern.tmp." + std::to_string(::getpid()))));
    }
    {
        ShellHome home;
        writeFile(home.path(".twinlantern"), "a file where a folder belongs");
        EXPECT_EQ(errorText([&] { home.install(); }),
                  std::string("Couldn't create ~/.twinlantern: ") + std::strerror(ENOTDIR));
    }
    {
        // A folder where a shell file belongs: the install stops before any record.
        ShellHome home;
        makeDirs(home.path(".bashrc"));
        EXPECT_EQ(errorText([&] { home.install(); }),
                  std::string("Couldn't read ~/.bashrc: ") + std::strerror(EISDIR));
        EXPECT_FALSE(exists(home.path(".twinlantern/install.json")));
    }
    {
        // Not shell files: a pipe (reading would block), a device, a huge file.
        ShellHome home;
        ASSERT_EQ(::mkfifo(home.path(".zshrc").c_str(), 0644), 0);
        EXPECT_EQ(errorText([&] { home.install(); }),
                  std::string("Couldn't read ~/.zshrc: ") + std::strerror(EINVAL));
        ::unlink(home.path(".zshrc").c_str());
        ASSERT_EQ(::symlink("/dev/null", home.path(".zshrc").c_str()), 0);
        EXPECT_EQ(errorText([&] { home.install(); }),
                  std::string("Couldn't read ~/.zshrc: ") + std::strerror(EINVAL));
        EXPECT_EQ(errorText([&] { home.integration().uninstall(); }),
                  std::string("Couldn't read ~/.zshrc: ") + std::strerror(EINVAL));
        struct stat st {};
        ASSERT_EQ(::stat("/dev/null", &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
        ::unlink(home.path(".zshrc").c_str());
        const std::string huge(17u << 20, 'x');
        writeFile(home.path(".zshrc"), huge);
        EXPECT_EQ(errorText([&] { home.install(); }),
                  std::string("Couldn't read ~/.zshrc: ") + std::strerror(EFBIG));
        EXPECT_EQ(readFile(home.path(".zshrc")).size(), huge.size());
    }
    {
        ShellHome home;
        writeFile(home.path(".zshrc"), "bad \xff\xfe utf-8\n");
        EXPECT_EQ(errorText([&] { home.install(); }),
                  std::string("Couldn't read ~/.zshrc: ") + std::strerror(EILSEQ));
        EXPECT_EQ(readFile(home.path(".zshrc")), "bad \xff\xfe utf-8\n");
    }
    {
        // A write that runs out of room leaves the file as it was and no temporary file.
        ShellHome home;
        writeFile(home.path(".zshrc"), "keep\n", 0600);
        const ShellIntegration shell = home.integration();
        rlimit old{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        auto previous = ::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const std::string text =
            errorText([&] { shell.write(std::string(8192, 'x'), home.path(".zshrc")); });
        ::setrlimit(RLIMIT_FSIZE, &old);
        ::signal(SIGXFSZ, previous);
        EXPECT_EQ(text, std::string("Couldn't write ~/.zshrc: ") + std::strerror(EFBIG));
        EXPECT_EQ(readFile(home.path(".zshrc")), "keep\n");
        EXPECT_EQ(fileMode(home.path(".zshrc")), 0600u);
        EXPECT_EQ(folderEntries(home.home.home()), (std::vector<std::string>{".zshrc"}));
    }
    {
        // A failed removal leaves programs and record for the next attempt.
        ShellHome home;
        writeFile(home.path(".zshrc"), "a\n");
        home.install();
        const std::string dotfile = home.path(".zshrc");
        ::unlink(dotfile.c_str());
        makeDirs(dotfile);
        EXPECT_EQ(errorText([&] { home.integration().uninstall(); }),
                  std::string("Couldn't read ~/.zshrc: ") + std::strerror(EISDIR));
        EXPECT_TRUE(exists(home.path(".twinlantern/install.json")));
        EXPECT_TRUE(exists(home.path(".twinlantern/libexec/twinlantern-resolve")));
    }
}

TEST(ShellInstall, BackupsOfOneSecondDoNotOverwriteEachOther) {
    // A zsh file in ZDOTDIR and one in the home folder share the backup name.
    ShellHome home;
    writeFile(home.path(".zshrc"), "home\n");
    writeFile(home.path("z/.zshrc"), "zdotdir\n");
    home.install();
    home.environment["ZDOTDIR"] = home.path("z");
    home.install();
    const auto backups = folderEntries(home.path(".twinlantern/backups"));
    ASSERT_EQ(backups.size(), 2u);
    home.integration().uninstall();
    EXPECT_EQ(readFile(home.path(".zshrc")), "home\n");
    EXPECT_EQ(readFile(home.path("z/.zshrc")), "zdotdir\n");
}
