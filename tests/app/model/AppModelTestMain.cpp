#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// Launchers are drawn: every test runs under an offscreen QGuiApplication.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int qtArgc = 1;
    static char name[] = "test_appmodel";
    static char* qtArgv[] = {name, nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    return RUN_ALL_TESTS();
}
