#include "TwinLanternApp/ui/onboarding/OnboardingWindow.h"
#include "TwinLanternApp/ui/onboarding/OnboardingView.h"
#include "TwinLanternApp/ui/frame/Owned.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace twinlantern::ui::OnboardingWindow {
namespace {

// Lets go of the window as soon as it closes, not only when Qt deletes it later, so a
// show right after a close makes a fresh one.
class Frame final : public QWidget {
public:
    explicit Frame(QWidget* parent) : QWidget(parent) {}
    OnboardingView* view = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
};

QPointer<Frame>& current() {
    static QPointer<Frame> frame;
    return frame;
}

void Frame::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted() && current() == this) {
        current() = nullptr;
    }
}

void bringForward(QWidget* frame) {
    frame->show();
    frame->raise();
    frame->activateWindow();
}

} // namespace

void show(app::ModelBridge& bridge, Tray tray, std::function<void()> afterDone) {
    if (Frame* open = current()) {
        bringForward(open);
        return;
    }
    // Top level and deleted on close; the pointer above only watches it.
    Frame* frame = owned<Frame>(static_cast<QWidget*>(nullptr));
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint);
    frame->setWindowTitle(QStringLiteral("Welcome to TwinLantern"));
    frame->setAccessibleName(QStringLiteral("Welcome to TwinLantern"));
    auto* layout = handedOver<QVBoxLayout>(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    frame->view = owned<OnboardingView>(
        frame, bridge,
        [frame, afterDone = std::move(afterDone)] {
            frame->close();
            if (afterDone) {
                afterDone();
            }
        },
        OnboardingView::Step::profiles, tray);
    layout->addWidget(frame->view);
    frame->setFixedSize(OnboardingView::viewWidth, OnboardingView::viewHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect placed(QPoint(), frame->size());
        placed.moveCenter(screen->availableGeometry().center());
        frame->move(placed.topLeft());
    }
    current() = frame;
    bringForward(frame);
}

QWidget* window() {
    return current();
}

OnboardingView* view() {
    Frame* frame = current();
    return frame != nullptr ? frame->view : nullptr;
}

} // namespace twinlantern::ui::OnboardingWindow
