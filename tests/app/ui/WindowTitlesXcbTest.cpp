#include "TwinLanternApp/ui/frame/SettingsWindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <memory>

using namespace twinlantern;

namespace {

// The title the window manager reads: the window's _NET_WM_NAME on the X server.
QString managerTitle(const QWidget& window) {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11->connection();
    const char name[] = "_NET_WM_NAME";
    const char utf8[] = "UTF8_STRING";
    auto atom = [connection](const char* text, int length) {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, length, text),
                                  nullptr),
            &free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    };
    const xcb_atom_t property = atom(name, sizeof name - 1);
    const xcb_atom_t type = atom(utf8, sizeof utf8 - 1);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply(
        xcb_get_property_reply(
            connection,
            xcb_get_property(connection, 0, xcb_window_t(window.winId()), property, type, 0, 1024),
            nullptr),
        &free);
    if (!reply) {
        return {};
    }
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
}

TEST(WindowTitlesXcbTest, TheWindowManagerIsGivenEachTitleAsItIsWritten) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        GTEST_SKIP() << "no X server for this test";
    }
    ui::nameApplication();
    EXPECT_EQ(QGuiApplication::applicationDisplayName().toStdString(), "TwinLantern");
    for (const char* title :
         {"TwinLantern Settings", "Welcome to TwinLantern", "TwinLantern Help", "Delete Work?"}) {
        SCOPED_TRACE(title);
        QWidget window;
        window.setWindowTitle(QString::fromUtf8(title));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, 5000));
        EXPECT_EQ(managerTitle(window).toStdString(), title);
    }
}

} // namespace
