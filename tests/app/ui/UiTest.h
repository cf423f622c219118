#pragma once

#include "TwinLanternApp/app/ModelBridge.h"
#include "TwinLanternApp/model/AppModel.h"
#include "tests/support/TestSupport.h"
#include "tests/support/app/AppFixture.h"

#include <QByteArray>
#include <QString>

#include <memory>
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

// A real model for the windows: the app model's fixture (temporary HOME, fake claude
// and codex, virtual scheduler), fresh settings, and the Qt bridge. Write the document
// (fixture.writeDocument) before start.
struct UiModel {
    app::test::AppFixture fixture;
    FreshSettings settings;
    std::unique_ptr<app::AppModel> model;
    std::unique_ptr<app::ModelBridge> bridge;

    UiModel();
    ~UiModel();
    app::AppModel& start(bool watch = false);
    // Refreshes every status and waits for the fake tools.
    void refreshStatuses();
    // Runs what the model posted and Qt's own queued work.
    void settle();
};

// Shows a top-level widget offscreen, makes it the active window and lets it lay out.
void showActive(QWidget* window);

// The width a title bar needs for the title a shown window gave the platform: its text in
// the bold application font, with 100 px for the title bar's buttons and borders.
int titleBarNeed(const QWidget* window);

} // namespace twinlantern::ui::test
