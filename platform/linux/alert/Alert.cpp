#include "platform/Alert.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace twinlantern::platform {

bool canShowAlert() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return false;
    }
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
        xcb_connect(display, nullptr), &xcb_disconnect);
    return connection && xcb_connection_has_error(connection.get()) == 0;
}

bool showAlert(const std::string& title, const std::string& message) {
    if (!canShowAlert()) {
        return false;
    }
    // Widgets on the X server that was just reached, whatever else the environment asks.
    static int argc = 3;
    static char name[] = "twinlantern-launcher";
    static char platformFlag[] = "-platform";
    static char platformName[] = "xcb";
    static char* argv[] = {name, platformFlag, platformName, nullptr};
    QApplication app(argc, argv);
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(QString::fromStdString(title));
    box.setInformativeText(QString::fromStdString(message));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    return true;
}

} // namespace twinlantern::platform
