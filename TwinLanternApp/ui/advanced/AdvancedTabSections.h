#pragma once

#include "TwinLanternApp/app/UpdaterService.h"
#include "platform/LoginItem.h"

#include <QGroupBox>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace twinlantern::ui {

class Footnote;

// "Updates": the version, and the updater's switch and check when the build has one,
// else the note that updates are off.
class UpdatesSection final : public QGroupBox {
    Q_OBJECT
public:
    explicit UpdatesSection(app::UpdaterService& updater, QWidget* parent = nullptr);
    QLabel* version() const { return version_; }
    QCheckBox* automatic() const { return automatic_; }  // null without an updater
    QPushButton* checkNow() const { return checkNow_; }  // null without an updater
    Footnote* updatesOff() const { return updatesOff_; } // null with an updater

private:
    app::UpdaterService& updater_;
    QLabel* version_ = nullptr;
    QCheckBox* automatic_ = nullptr;
    QPushButton* checkNow_ = nullptr;
    Footnote* updatesOff_ = nullptr;
};

// "Open at login" over the autostart entry: the switch shows the entry's state after
// each change, and a failed change shows inline until the next success.
class OpenAtLoginToggle final : public QWidget {
    Q_OBJECT
public:
    explicit OpenAtLoginToggle(platform::LoginItem item, QWidget* parent = nullptr);
    QCheckBox* toggle() const { return switch_; }
    // Hidden while no change has failed.
    QLabel* error() const { return error_; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void change(bool on);
    void colourError();

    platform::LoginItem item_;
    QCheckBox* switch_ = nullptr;
    QLabel* error_ = nullptr;
};

} // namespace twinlantern::ui
