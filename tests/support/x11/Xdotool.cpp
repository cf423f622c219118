#include "tests/support/x11/Xdotool.h"

#include "tests/support/Programs.h"

#include <chrono>
#include <thread>

namespace twinlantern::testing {

std::string waitForWindowNamed(const std::string& title, const Environment& environment) {
    for (int i = 0; i < 200; ++i) {
        const RunResult search =
            runProgram({"/usr/bin/xdotool", "search", "--name", title}, environment);
        if (search.exitCode == 0 && !search.out.empty()) {
            return search.out.substr(0, search.out.find('\n'));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

void pressReturnUntil(const std::string& window, const Environment& environment,
                      const std::function<bool()>& done) {
    for (int i = 0; i < 20 && !done(); ++i) {
        runProgram({"/usr/bin/xdotool", "windowfocus", "--sync", window, "key", "Return"},
                   environment);
    }
}

} // namespace twinlantern::testing
