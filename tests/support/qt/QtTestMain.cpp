#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

// One offscreen QApplication for the whole program, as the app has.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
