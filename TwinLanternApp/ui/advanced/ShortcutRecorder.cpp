#include "TwinLanternApp/ui/advanced/ShortcutRecorder.h"
#include "TwinLanternApp/ui/frame/LinuxWords.h"

#include "TwinLanternApp/app/AppSettings.h"
#include "TwinLanternApp/app/ShortcutSettings.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/advanced/ShortcutRecorderKeys.h"
#include "platform/KeyboardLayout.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace twinlantern::ui {

bool ShortcutRecordingFilter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Accepted: the key goes to the focus widget as a press, which is ours below.
        event->accept();
        return true;
    case QEvent::KeyPress: {
        // The application sees one press once per receiver on its way up; the first
        // stops it.
        auto& key = static_cast<QKeyEvent&>(*event);
        onPress_(key);
        return true;
    }
    case QEvent::KeyRelease:
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}

std::function<void()> ShortcutSection::beep = [] {
    QApplication::beep();
};

std::function<std::unique_ptr<platform::KeyboardLayout>()> ShortcutSection::makeLayout = [] {
    return platform::makeKeyboardLayout(currentEnvironment());
};

ShortcutSection::ShortcutSection(QWidget* parent)
    : QWidget(parent), layout_(makeLayout()),
      enabled_(app::AppSettings::boolValue(app::AppSettings::cycleShortcutEnabled)),
      combo_(app::ShortcutSettings::combo()) {
    auto* rows = owned<QVBoxLayout>(this);
    rows->setContentsMargins(0, 0, 0, 0);
    setLayout(rows);

    switch_ = owned<QCheckBox>(this);
    setButtonText(switch_, QStringLiteral("Shortcut to switch the terminal default"));
    switch_->setChecked(enabled_);
    connect(switch_, &QCheckBox::toggled, this, [this](bool on) { setEnabledByUser(on); });
    rows->addWidget(switch_);

    shortcutRow_ = owned<QWidget>(this);
    auto* row = owned<QHBoxLayout>(shortcutRow_);
    row->setContentsMargins(0, 0, 0, 0);
    shortcutRow_->setLayout(row);
    QLabel* label = plainLabel(QStringLiteral("Shortcut"), shortcutRow_);
    row->addWidget(label);
    row->addStretch(1);
    button_ = owned<QPushButton>(shortcutRow_);
    button_->setAccessibleDescription(QStringLiteral("Shortcut"));
    label->setBuddy(button_);
    connect(button_, &QPushButton::clicked, this, [this] { toggleRecording(); });
    row->addWidget(button_);
    rows->addWidget(shortcutRow_);

    filter_ = owned<ShortcutRecordingFilter>(this, [this](QKeyEvent& event) { keyPressed(event); });
    updateRows();
}

ShortcutSection::~ShortcutSection() {
    stopRecording();
}

void ShortcutSection::hideEvent(QHideEvent* event) {
    // Another tab, or the window hidden or closed.
    stopRecording();
    QWidget::hideEvent(event);
}

void ShortcutSection::setEnabledByUser(bool on) {
    if (on == enabled_) {
        return;
    }
    enabled_ = on;
    if (!on) {
        stopRecording();
    }
    app::AppSettings::setBool(app::AppSettings::cycleShortcutEnabled, on);
    if (app::ShortcutSettings::onChange) {
        app::ShortcutSettings::onChange();
    }
    updateRows();
}

void ShortcutSection::toggleRecording() {
    if (recording_) {
        stopRecording();
        return;
    }
    recording_ = true;
    qApp->installEventFilter(filter_);
    updateRows();
}

void ShortcutSection::stopRecording() {
    if (!recording_) {
        return;
    }
    recording_ = false;
    qApp->removeEventFilter(filter_);
    updateRows();
}

void ShortcutSection::keyPressed(QKeyEvent& event) {
    const RecordedKey key = recordedKey(event);
    switch (key.kind) {
    case RecordedKey::Kind::escape:
        stopRecording();
        return;
    case RecordedKey::Kind::modifier:
        return; // the combination is still being pressed
    case RecordedKey::Kind::refused:
        if (beep) {
            beep();
        }
        return;
    case RecordedKey::Kind::combo:
        break;
    }
    combo_ = key.combo;
    app::ShortcutSettings::setCombo(combo_);
    if (app::ShortcutSettings::onChange) {
        app::ShortcutSettings::onChange();
    }
    stopRecording();
}

void ShortcutSection::updateRows() {
    shortcutRow_->setVisible(enabled_);
    QString title = QStringLiteral("Record");
    if (recording_) {
        title = QStringLiteral("Press keys…");
    } else if (combo_) {
        title = qs(linuxWords::shortcutTitle(*combo_, *layout_));
    }
    setButtonText(button_, title);
    button_->setAccessibleName(title);
}

} // namespace twinlantern::ui
