#include "tests/support/TestSupport.h"
#include "tests/support/qt/GuiApp.h"

#include <QApplication>
#include <QFont>
#include <QSettings>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {
std::unique_ptr<QApplication> app;
}

namespace twinlantern::testing {
bool haveGuiApp() {
    return app != nullptr;
}
} // namespace twinlantern::testing

// One offscreen QApplication for the whole program, as the app has, with the look the
// app uses for its pictures (Fusion, DejaVu Sans 10 pt) and settings in a folder of the
// run's own. A child run asked to go without one has none, to show what then refuses
// instead of aborting.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    tltest::TempDir config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(config.path()));
    if (std::getenv(twinlantern::testing::noGuiAppVariable) == nullptr) {
        app = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(10);
        QApplication::setFont(font);
    }
    const int result = RUN_ALL_TESTS();
    app.reset();
    return result;
}
