#include "tests/app/ui/UiTest.h"

#include <QApplication>
#include <QFontMetrics>
#include <QSettings>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <cstdlib>

namespace twinlantern::ui::test {

FreshSettings::FreshSettings() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        previousConfigHome_ = QByteArray(old);
    }
    setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(dir_.path()));
}

FreshSettings::~FreshSettings() {
    if (previousConfigHome_) {
        setenv("XDG_CONFIG_HOME", previousConfigHome_->constData(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

UiModel::UiModel() = default;

UiModel::~UiModel() {
    bridge.reset();
    model.reset();
}

app::AppModel& UiModel::start(bool watch) {
    model = fixture.model(watch);
    bridge = std::make_unique<app::ModelBridge>(*model);
    return *model;
}

void UiModel::refreshStatuses() {
    model->refreshStatuses();
    settle();
}

void UiModel::settle() {
    fixture.scheduler.settle();
    QApplication::processEvents();
    fixture.scheduler.settle();
    QApplication::processEvents();
}

void showActive(QWidget* window) {
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    (void)QTest::qWaitForWindowExposed(window, 2000);
    (void)QTest::qWaitForWindowActive(window, 2000);
    QApplication::processEvents();
}

int titleBarNeed(const QWidget* window) {
    QFont font = QApplication::font();
    font.setBold(true);
    const QString title = window->windowHandle() ? window->windowHandle()->title() : QString();
    return QFontMetrics(font).horizontalAdvance(title) + 100;
}

} // namespace twinlantern::ui::test
