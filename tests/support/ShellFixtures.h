#pragma once

#include "core/base/Paths.h"
#include "core/shell/ShellIntegration.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"

#include <map>
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
    // The texts of the backups left in ~/.twinlantern/backups, sorted; empty when
    // ~/.twinlantern holds nothing else (or is gone).
    std::vector<std::string> keptBackups() const;
};

// Every item below root, links not followed: path -> mode and bytes or link text, so two
// trees compare equal exactly when every file and folder is as it was.
std::map<std::string, std::string> treeState(const std::string& root);

} // namespace twinlantern::testing
