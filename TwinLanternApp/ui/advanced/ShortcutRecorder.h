#pragma once

#include "TwinLanternMac/services/KeyCombo.h"
#include "platform/KeyboardLayout.h"

#include <QObject>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace twinlantern::ui {

// While recording, every key goes to the recorder and nowhere else: presses and
// releases are consumed and shortcut overrides accepted, so no control or shortcut of
// the app sees a key.
class ShortcutRecordingFilter final : public QObject {
    Q_OBJECT
public:
    explicit ShortcutRecordingFilter(std::function<void(QKeyEvent&)> onPress,
                                     QObject* parent = nullptr)
        : QObject(parent), onPress_(std::move(onPress)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(QKeyEvent&)> onPress_;
};

// The hot key's switch and its recorder: rows of the Advanced tab's second section.
// Writes "cycleShortcutEnabled" and the stored combination and calls
// ShortcutSettings::onChange after each change; it never registers a hot key itself.
class ShortcutSection final : public QWidget {
    Q_OBJECT
public:
    // The system beep; tests count it.
    static std::function<void()> beep;
    // Where key names come from; the X server's keymap unless a test says otherwise.
    static std::function<std::unique_ptr<platform::KeyboardLayout>()> makeLayout;

    explicit ShortcutSection(QWidget* parent = nullptr);
    ~ShortcutSection() override;

    bool recording() const { return recording_; }
    QCheckBox* enabledSwitch() const { return switch_; }
    QPushButton* recordButton() const { return button_; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void setEnabledByUser(bool on);
    void toggleRecording();
    void stopRecording();
    void keyPressed(QKeyEvent& event);
    void updateRows();

    std::unique_ptr<platform::KeyboardLayout> layout_;
    bool enabled_ = false;
    std::optional<KeyCombo> combo_;
    bool recording_ = false;
    QCheckBox* switch_ = nullptr;
    QWidget* shortcutRow_ = nullptr;
    QPushButton* button_ = nullptr;
    ShortcutRecordingFilter* filter_ = nullptr; // installed on the application while recording
};

} // namespace twinlantern::ui
