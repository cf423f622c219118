#pragma once

#include "core/base/Paths.h"
#include "core/shell/ShellIntegration.h"
#include "tests/support/TestSupport.h"

#include <string>
#include <vector>

namespace twinlantern::testing {

// A folder shaped like the bundle's Helpers folder, holding small executable scripts
// named after the three programs.
struct FakeHelpers {
    TempDir dir;
    FakeHelpers();
    std::string resolver() const { return dir / "twinlantern-resolve"; }
    std::string cli() const { return dir / "twinlantern"; }
    std::string launcher() const { return dir / "twinlantern-launcher"; }
};

// A temporary home with a shell integration over it.
struct ShellHome {
    TempHome home;
    FakeHelpers helpers;
    Environment environment{{"HOME", home.home()}};

    ShellIntegration integration() const { return ShellIntegration(home.paths, environment); }
    std::string path(std::string_view relative) const { return home.dir / relative; }
    std::vector<ShellIntegration::FileChange> install() const;
};

struct RunResult {
    int exitCode = -1;
    std::string output; // standard output
    std::string errors; // standard error
};

// Runs a program directly (no PATH lookup) with exactly this environment.
RunResult runProgram(const std::vector<std::string>& argv, const Environment& environment);

std::vector<std::string> lines(std::string_view text);
// The inode of what stands at path (links not followed), 0 when nothing: shows a rewrite.
ino_t inode(const std::string& path);
// Names of the entries of a folder, sorted; empty when it cannot be read.
std::vector<std::string> folderEntries(const std::string& path);

} // namespace twinlantern::testing
