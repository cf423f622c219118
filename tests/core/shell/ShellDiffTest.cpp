#include "core/shell/ShellIntegration.h"
#include "tests/support/ShellFixtures.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

// Points the process's temporary folder at a folder of the test's own.
class TemporaryFolderOverride {
public:
    explicit TemporaryFolderOverride(const std::string& path) {
        if (const char* old = std::getenv("TMPDIR")) {
            previous_ = old;
        }
        ::setenv("TMPDIR", path.c_str(), 1);
    }
    ~TemporaryFolderOverride() {
        if (previous_) {
            ::setenv("TMPDIR", previous_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
    TemporaryFolderOverride(const TemporaryFolderOverride&) = delete;
    TemporaryFolderOverride& operator=(const TemporaryFolderOverride&) = delete;

private:
    std::optional<std::string> previous_;
};

} // namespace

TEST(ShellDiff, UnifiedDiffOfPlannedChanges) {
    ShellHome home;
    TempDir scratch;
    // Something already standing where a fixed name would go is neither used nor touched.
    const std::string planted = scratch / ("twinlantern-diff-" + std::to_string(::getpid()));
    writeFile(planted + "/a", "planted");
    TemporaryFolderOverride tmp(scratch.path());
    const ShellIntegration shell = home.integration();
    const std::string B = ShellIntegration::block();
    const std::string zshrc = home.path(".zshrc");

    std::string expectedNew = "--- ~/.zshrc (new file)\n+++ ~/.zshrc\n@@ -0,0 +1,7 @@\n";
    for (const auto& line : lines(B)) {
        expectedNew += "+" + line + "\n";
    }
    EXPECT_EQ(shell.diff({zshrc, false, "", B}), expectedNew);

    std::string expectedChange = "--- ~/.zshrc\n+++ ~/.zshrc\n@@ -1 +1,8 @@\n a\n";
    for (const auto& line : lines(B)) {
        expectedChange += "+" + line + "\n";
    }
    EXPECT_EQ(shell.diff({zshrc, true, "a\n", "a\n" + B}), expectedChange);

    EXPECT_EQ(shell.diff({zshrc, true, "same\n", "same\n"}), "");
    EXPECT_EQ(shell.diff({"/etc/zshrc", true, "x", "y"}),
              "--- /etc/zshrc\n+++ /etc/zshrc\n@@ -1 +1 @@\n-x\n\\ No newline at end of file\n+y\n"
              "\\ No newline at end of file\n");

    // Nothing of the previews stays behind.
    EXPECT_EQ(folderEntries(scratch.path()),
              std::vector<std::string>{"twinlantern-diff-" + std::to_string(::getpid())});
    EXPECT_EQ(readFile(planted + "/a"), "planted");
}
