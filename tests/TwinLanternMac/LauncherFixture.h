#pragma once

#include "TwinLanternMac/launchers/LauncherGenerator.h"
#include "tests/support/TestSupport.h"

#include <map>
#include <string>

namespace twinlantern::testing {

// A temporary home with an installed Claude Desktop (an icon file of its own) and a
// launcher program to copy.
struct LauncherFixture {
    TempHome home;
    TempDir runtime; // XDG_RUNTIME_DIR, outside the home
    std::string claudeBundle = home.paths.applicationsDirectory + "/Claude.app";
    std::string launcherBinary = home.dir / "bin/twinlantern-launcher";
    Environment environment;

    LauncherFixture();
    LauncherGenerator generator() const;
    std::string directory() const { return home.home() + "/Applications/TwinLantern"; }
    std::string applications() const { return home.dir / "share/applications"; }
};

// A Claude Desktop bundle at path: Info.plist with its identifier and icon file.
void makeClaudeBundle(const std::string& path);

// Every file below path with its bytes, links as "-> target": shows nothing changed.
std::map<std::string, std::string> treeContents(const std::string& path);

} // namespace twinlantern::testing
