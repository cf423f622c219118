#include "TwinLanternApp/app/BasicWindows.h"

#include "TwinLanternApp/app/AppCommands.h"
#include "TwinLanternApp/app/SettingsOpener.h"
#include "TwinLanternApp/model/AppModel.h"
#include "core/base/FileUtil.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>
#include <QWidget>

namespace twinlantern::app {

namespace {

std::unique_ptr<QWidget> window(const QString& title, const QString& text) {
    auto widget = std::make_unique<QWidget>();
    widget->setWindowTitle(title);
    widget->setAccessibleName(title);
    auto* layout = new QVBoxLayout(widget.get());
    auto* label = new QLabel(text, widget.get());
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleName(text);
    layout->addWidget(label);
    widget->resize(420, 160);
    return widget;
}

void bringForward(QWidget& widget) {
    widget.show();
    widget.raise();
    widget.activateWindow();
}

} // namespace

BasicWindows::BasicWindows(AppModel& model, AppCommands& commands, std::function<void()> quit)
    : model_(model), commands_(commands), quit_(std::move(quit)) {}

BasicWindows::~BasicWindows() {
    SettingsOpener::setAction({});
}

void BasicWindows::prepare() {
    settings_ = window(
        QStringLiteral("TwinLantern Settings"),
        QStringLiteral("TwinLantern keeps your profiles in ") +
            QString::fromStdString(model_.paths().abbreviate(model_.paths().supportDirectory())) +
            QStringLiteral("."));
    SettingsOpener::setAction([this] { bringForward(*settings_); });

    menu_ = std::make_unique<QMenu>();
    QAction* settings = menu_->addAction(QStringLiteral("Settings…"));
    connect(settings, &QAction::triggered, this, [] { SettingsOpener::open(); });
    if (QAction* updates = commands_.checkForUpdates()) {
        menu_->addAction(updates);
    }
    menu_->addAction(commands_.help());
    menu_->addSeparator();
    QAction* quit = menu_->addAction(QStringLiteral("Quit TwinLantern"));
    connect(quit, &QAction::triggered, this, [this] { quit_(); });
}

void BasicWindows::showOnboarding() {
    if (!onboarding_) {
        onboarding_ =
            window(QStringLiteral("Welcome to TwinLantern"), QStringLiteral("No profiles yet."));
    }
    bringForward(*onboarding_);
}

void BasicWindows::showHelp() {
    if (!help_) {
        help_ = window(QStringLiteral("TwinLantern Help"),
                       QStringLiteral("TwinLantern keeps a separate sign-in per profile."));
    }
    bringForward(*help_);
}

bool BasicWindows::renderSnapshots(const std::string& folder) {
    // Nothing to draw yet; the folder is there for whoever lists it.
    return makeDirectories(folder, 0755);
}

} // namespace twinlantern::app
