#include "tests/support/x11/Xdotool.h"

#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"

#include <chrono>
#include <thread>

namespace twinlantern::testing {

std::string waitForWindowNamed(const std::string& title, const Environment& environment) {
    std::string window;
    eventually([&] {
        const RunResult search =
            runProgram({"/usr/bin/xdotool", "search", "--name", title}, environment);
        if (search.exitCode == 0 && !search.out.empty()) {
            window = search.out.substr(0, search.out.find('\n'));
        }
        return !window.empty();
    });
    return window;
}

void pressReturnUntil(const std::string& window, const Environment& environment,
                      const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        runProgram({"/usr/bin/xdotool", "windowfocus", "--sync", window, "key", "Return"},
                   environment);
    }
}

} // namespace twinlantern::testing
