#include "TwinLanternApp/ui/frame/HelpWindow.h"

#include "TwinLanternApp/ui/frame/HelpView.h"
#include "TwinLanternApp/ui/frame/Owned.h"

#include <QVBoxLayout>
#include <QWidget>

namespace twinlantern::ui {

HelpWindow::HelpWindow() = default;
HelpWindow::~HelpWindow() = default;

void HelpWindow::show() {
    if (!window_) {
        window_ = std::make_unique<QWidget>(nullptr, Qt::Window);
        window_->setWindowTitle(QStringLiteral("TwinLantern Help"));
        auto* layout = owned<QVBoxLayout>(window_.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize); // the size of its content
        window_->setLayout(layout);
        view_ = owned<HelpView>(window_.get());
        layout->addWidget(view_);
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

} // namespace twinlantern::ui
