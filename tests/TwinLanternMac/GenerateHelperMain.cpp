// Builds one launcher with a cap on file sizes, as `ulimit -f` sets it, so a write fails
// part way: generate-helper <home> <launcher program> <profile id> <name> <max bytes>.
#include "TwinLanternMac/launchers/LauncherGenerator.h"
#include "core/base/TwinLanternError.h"
#include "core/tools/DesktopInstall.h"

#include <QGuiApplication>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    using namespace twinlantern;
    if (argc != 6) {
        std::fputs("usage: generate-helper home launcher id name max-bytes\n", stderr);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    const std::string home = argv[1];
    Profile profile;
    profile.id = ProfileID(argv[3]);
    profile.name = argv[4];
    profile.badge = "W";
    profile.setTools({ToolKind::claudeDesktop});
    const LauncherGenerator generator(Paths(home, home + "/Applications"), argv[2],
                                      DesktopInstall::bundleID, currentEnvironment());
    std::signal(SIGXFSZ, SIG_IGN);
    const rlim_t limit = std::stoull(argv[5]);
    const rlimit cap{limit, limit};
    setrlimit(RLIMIT_FSIZE, &cap);
    try {
        std::puts(generator.generate(profile).c_str());
    } catch (const TwinLanternError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
