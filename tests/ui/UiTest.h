#pragma once

#include "tests/support/TestSupport.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

class QWidget;

namespace twinlantern::ui::test {

// The app's settings (QSettings) and XDG_CONFIG_HOME in a fresh temporary folder for
// as long as it lives, so tests in one process never see each other's keys.
class FreshSettings {
public:
    FreshSettings();
    ~FreshSettings();
    FreshSettings(const FreshSettings&) = delete;
    FreshSettings& operator=(const FreshSettings&) = delete;
    const std::string& folder() const { return dir_.path(); }

private:
    tltest::TempDir dir_;
    std::optional<QByteArray> previousConfigHome_;
};

// Shows a top-level widget offscreen, makes it the active window and lets it lay out.
void showActive(QWidget* window);

} // namespace twinlantern::ui::test
