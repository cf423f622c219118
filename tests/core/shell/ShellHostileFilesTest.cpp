// The shell integration's readers of files it does not own, given what is no small
// regular file: each returns at once, with the read error or as if the file were absent,
// and writes nothing.
#include "core/shell/ShellIntegration.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/ShellFixtures.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

int errorFor(Hostile kind) {
    switch (kind) {
    case Hostile::folder:
        return EISDIR;
    case Hostile::fifo:
    case Hostile::devZeroLink:
        return EINVAL;
    case Hostile::overLimit:
    case Hostile::sparseHuge:
        return EFBIG;
    }
    return 0;
}

void expectDevZeroIntact() {
    struct stat st {};
    ASSERT_EQ(::stat("/dev/zero", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

} // namespace

TEST(ShellHostileFiles, ShellFileReadFailsNamingTheFileAndStatusSkipsIt) {
    for (const auto& c : hostileCases()) {
        SCOPED_TRACE(c.name);
        ShellHome home;
        const std::string zshrc = home.path(".zshrc");
        makeHostile(c.kind, zshrc, ShellIntegration::maxFileBytes,
                    "export A=1\n" + ShellIntegration::block());
        const FolderSnapshot before = snapshot(zshrc);
        const std::string expected =
            std::string("Couldn't read ~/.zshrc: ") + std::strerror(errorFor(c.kind));
        const ShellIntegration shell = home.integration();

        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(errorOf([&] { shell.read(zshrc); }).description(), expected);
        EXPECT_EQ(errorOf([&] { shell.planInstall(); }).description(), expected);
        EXPECT_EQ(errorOf([&] { home.install(); }).description(), expected);
        EXPECT_TRUE(shell.status().blocks.empty());
        EXPECT_EQ(errorOf([&] { shell.uninstall(); }).description(), expected);
        EXPECT_LT(std::chrono::steady_clock::now() - started, hostileReadBound);

        // The install got as far as its programs, and no further.
        FolderSnapshot after = snapshot(zshrc);
        std::erase(after.entries, ".twinlantern");
        EXPECT_EQ(after, before);
        EXPECT_FALSE(exists(home.path(".twinlantern/install.json")));
        expectDevZeroIntact();
    }
}

TEST(ShellHostileFiles, InstallRecordIsTreatedAsMissing) {
    for (const auto& c : hostileCases()) {
        SCOPED_TRACE(c.name);
        ShellHome home;
        writeFile(home.path(".zshrc"), "a\n" + ShellIntegration::block());
        makeDirs(home.path(".twinlantern"));
        const std::string record = home.path(".twinlantern/install.json");
        const std::string validRecord = installStateText(
            {1, std::nullopt, {{home.path(".zshrc"), false, std::nullopt, false, "digest"}}});
        makeHostile(c.kind, record, 4u << 20, validRecord);
        const FolderSnapshot before = snapshot(record);
        const ShellIntegration shell = home.integration();

        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(shell.loadState(), std::nullopt);
        // Without a record, removal only cuts the block out.
        const auto plan = shell.planUninstall();
        ASSERT_EQ(plan.size(), 1u);
        EXPECT_EQ(plan[0].after, "a\n");
        EXPECT_LT(std::chrono::steady_clock::now() - started, hostileReadBound);
        EXPECT_EQ(snapshot(record), before);
        expectDevZeroIntact();
    }
}

TEST(ShellHostileFiles, AppPathIsNoRecordedPathAndIsNotWrittenThrough) {
    for (const auto& c : hostileCases()) {
        SCOPED_TRACE(c.name);
        ShellHome home;
        makeDirs(home.path(".twinlantern/libexec"));
        const std::string appPath = home.path(".twinlantern/app-path");
        makeHostile(c.kind, appPath, 64 * 1024, "/Applications/TwinLantern.app\n");
        const FolderSnapshot before = snapshot(appPath);
        const ShellIntegration shell = home.integration();

        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(shell.status().appPath, std::nullopt);
        shell.recordAppLocation("/Applications/TwinLantern.app");
        EXPECT_LT(std::chrono::steady_clock::now() - started, hostileReadBound);
        if (c.kind == Hostile::overLimit || c.kind == Hostile::sparseHuge) {
            // A regular file of ours that is too large is simply replaced.
            EXPECT_EQ(readFile(appPath), "/Applications/TwinLantern.app\n");
        } else {
            // A pipe, a folder or a device is never replaced by a file.
            EXPECT_EQ(snapshot(appPath), before);
        }
        expectDevZeroIntact();
    }
}
