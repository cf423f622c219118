#include "tests/desktop/GuiApp.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {
std::unique_ptr<QGuiApplication> app;
}

namespace twinlantern::testing {
bool haveGuiApp() {
    return app != nullptr;
}
} // namespace twinlantern::testing

// Every test draws under an offscreen QGuiApplication, except a run that is asked to go
// without one (to show the renderer then refuses instead of aborting).
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    static int qtArgc = 1;
    static char name[] = "test_desktop";
    static char* qtArgv[] = {name, nullptr};
    if (std::getenv(twinlantern::testing::noGuiAppVariable) == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        app = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
    }
    const int result = RUN_ALL_TESTS();
    app.reset();
    return result;
}
