#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QFont>
#include <QSettings>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

// Every widget test runs offscreen under one QApplication with the look the app uses
// for its pictures (Fusion, DejaVu Sans 10 pt), and settings in a folder of the run's
// own until a test asks for a fresh one.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    tltest::TempDir config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(config.path()));
    static int qtArgc = 1;
    static char name[] = "test_ui";
    static char* qtArgv[] = {name, nullptr};
    int result = 0;
    {
        QApplication app(qtArgc, qtArgv);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(10);
        QApplication::setFont(font);
        result = RUN_ALL_TESTS();
    }
    return result;
}
