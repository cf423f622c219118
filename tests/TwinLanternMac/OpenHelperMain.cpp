// One launch from its own process, as a launcher bundle does:
// tl_desktop_open_helper <home> <applications> <bundle id> <lock folder> <user-data folder>
#include "TwinLanternMac/apps/DesktopLauncher.h"
#include "core/base/TwinLanternError.h"
#include "platform/Workspace.h"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace twinlantern;
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s home applications bundle-id lock-folder folder\n", argv[0]);
        return 2;
    }
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(Paths(argv[1], argv[2]), currentEnvironment());
    try {
        const auto result =
            DesktopLauncher::open(*workspace, std::string(argv[5]), argv[3], argv[4], {}, "Fake");
        std::printf("%s %d\n",
                    result.kind == DesktopLauncher::LaunchResult::Kind::launched ? "launched"
                                                                                 : "focused",
                    static_cast<int>(result.pid));
        return 0;
    } catch (const TwinLanternError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
