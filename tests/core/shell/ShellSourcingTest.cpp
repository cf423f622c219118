#include "core/base/PathUtil.h"
#include "core/shell/ShellIntegration.h"
#include "tests/support/ShellFixtures.h"

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

const std::vector<std::vector<std::string>> shells = {
    {"/usr/bin/zsh", "-f"},
    {"/usr/bin/bash", "--norc", "--noprofile"},
    {"/usr/bin/dash"},
};

// Sources the block twice and prints PATH and whether the helper variables are still set.
// PATH is set inside, since zsh puts its own default in place of an empty one at start.
const std::string script =
    "PATH=\"$2\"; . \"$1\"; . \"$1\"; printf '%s\\n%s\\n' \"$PATH\" \"${_tl+set}${_tlp+set}\"";

std::string joined(const std::vector<std::string>& entries) {
    std::string out;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        out += (i > 0 ? ":" : "") + entries[i];
    }
    return out;
}

} // namespace

TEST(ShellSourcing, ShimFolderFirstExactlyOnceInEveryShell) {
    TempDir dir;
    const std::string home = dir / "home with space";
    makeDirs(home);
    const std::string blockFile = dir / "block";
    writeFile(blockFile, ShellIntegration::block());
    const std::string S = home + "/.twinlantern/bin";

    const std::vector<std::vector<std::string>> table = {
        {},
        {"/usr/bin", "/bin"},
        {S},
        {S, S, S},
        {"/a", S, "/b", S},
        {"/a", "", "/b"},
        {"", "/a"},
        {"/a", ""},
        {S + "/", "/a"},
        {"/x" + S, S},
        {"/a b", S, "/c"},
        {"/x*", "/$y", "/`z`", S},
    };
    for (const auto& shell : shells) {
        for (const auto& entries : table) {
            const std::string path = joined(entries);
            SCOPED_TRACE(shell[0] + " with PATH=" + path);
            std::vector<std::string> rest;
            for (const auto& entry : entries) {
                if (entry != S) {
                    rest.push_back(entry);
                }
            }
            const std::string expected = rest.empty() ? S : S + ":" + joined(rest);
            std::vector<std::string> argv = shell;
            argv.insert(argv.end(), {"-c", script, "sh", blockFile, path});
            const RunResult run = runProgram(argv, {{"HOME", home}, {"PATH", "/nonexistent"}});
            EXPECT_EQ(run.exitCode, 0);
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(run.out, expected + "\n\n");
        }
    }
}

TEST(ShellSourcing, BlockStartsNoProcess) {
    if (!PathUtil::isExecutableFile("/usr/bin/strace")) {
        GTEST_SKIP() << "strace is not installed";
    }
    TempDir dir;
    const std::string blockFile = dir / "block";
    writeFile(blockFile, ShellIntegration::block());
    for (const auto& shell : shells) {
        SCOPED_TRACE(shell[0]);
        const std::string trace = dir / "trace";
        std::vector<std::string> argv = {"/usr/bin/strace",
                                         "-f",
                                         "-qq",
                                         "-o",
                                         trace,
                                         "-e",
                                         "trace=execve,fork,vfork,clone,clone3"};
        argv.insert(argv.end(), shell.begin(), shell.end());
        argv.insert(argv.end(), {"-c", script, "sh", blockFile, "/usr/bin:/bin"});
        const RunResult run = runProgram(argv, {{"HOME", dir.path()}, {"PATH", "/usr/bin:/bin"}});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        // Only the shell's own start.
        const auto calls = lines(readFile(trace));
        ASSERT_EQ(calls.size(), 1u) << readFile(trace);
        EXPECT_NE(calls[0].find("execve(\"" + shell[0] + "\""), std::string::npos) << calls[0];
    }
}
