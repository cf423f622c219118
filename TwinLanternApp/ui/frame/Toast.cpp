#include "TwinLanternApp/ui/frame/Toast.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

#include <algorithm>

namespace twinlantern::ui {

Toast::Toast(QWidget* window) : WrappingLabel(window) {
    setTextFormat(Qt::PlainText);
    setFont(appearance::font(appearance::TextStyle::callout));
    setContentsMargins(14, 8, 14, 8);
    setAlignment(Qt::AlignCenter);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    opacity_ = owned<QGraphicsOpacityEffect>(this);
    opacity_->setOpacity(0);
    setGraphicsEffect(opacity_);
    animation_ = owned<QParallelAnimationGroup>(this);
    auto* slide = owned<QPropertyAnimation>(animation_, this, QByteArray("pos"));
    auto* fade = owned<QPropertyAnimation>(animation_, opacity_, QByteArray("opacity"));
    for (QPropertyAnimation* part : {slide, fade}) {
        part->setDuration(animationMs);
        part->setEasingCurve(QEasingCurve::InOutCubic);
        animation_->addAnimation(part);
    }
    connect(animation_, &QParallelAnimationGroup::finished, this, [this] {
        if (!presenting_) {
            hide();
        }
    });
    window->installEventFilter(this);
    hide();
}

void Toast::present(const std::optional<std::string>& message) {
    if (message) {
        setText(qs(*message));
        fit();
        if (!presenting_) {
            presenting_ = true;
            animate(true);
        } else if (animation_->state() != QAbstractAnimation::Running) {
            move(restingPosition());
        }
    } else if (presenting_) {
        presenting_ = false;
        animate(false);
    }
}

void Toast::animate(bool in) {
    animation_->stop();
    auto* slide = static_cast<QPropertyAnimation*>(animation_->animationAt(0));
    auto* fade = static_cast<QPropertyAnimation*>(animation_->animationAt(1));
    slide->setStartValue(in ? hiddenPosition() : pos());
    slide->setEndValue(in ? restingPosition() : hiddenPosition());
    fade->setStartValue(in ? 0.0 : opacity_->opacity());
    fade->setEndValue(in ? 1.0 : 0.0);
    if (in) {
        move(hiddenPosition());
        show();
        raise();
    }
    animation_->start();
}

QPoint Toast::restingPosition() const {
    const QWidget* window = parentWidget();
    return {(window->width() - width()) / 2, window->height() - height() - bottomMargin};
}

QPoint Toast::hiddenPosition() const {
    const QWidget* window = parentWidget();
    return {(window->width() - width()) / 2, window->height()};
}

void Toast::fit() {
    const QMargins m = contentsMargins();
    const int oneLine = fontMetrics().horizontalAdvance(text()) + m.left() + m.right() + 1;
    const int room = std::max(1, parentWidget()->width() - 2 * bottomMargin);
    const int width = std::min(oneLine, room);
    resize(width, heightForWidth(width));
}

bool Toast::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize && presenting_) {
        fit();
        if (animation_->state() != QAbstractAnimation::Running) {
            move(restingPosition());
        }
    }
    return false;
}

void Toast::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(appearance::separator(palette()), 1));
    painter.setBrush(appearance::toastBackground(palette()));
    // A capsule for one line; a wrapped message keeps the same corners.
    const qreal radius =
        std::min(capsule.height(), qreal(fontMetrics().height() + contentsMargins().top() +
                                         contentsMargins().bottom())) /
        2;
    painter.drawRoundedRect(capsule, radius, radius);
    painter.end();
    WrappingLabel::paintEvent(event);
}

} // namespace twinlantern::ui
