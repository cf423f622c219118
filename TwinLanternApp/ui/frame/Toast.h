#pragma once

#include "TwinLanternApp/ui/frame/WrappingLabel.h"

#include <optional>
#include <string>

class QGraphicsOpacityEffect;
class QParallelAnimationGroup;

namespace twinlantern::ui {

// The model's passing success message: a capsule at the bottom of its window that
// slides up and fades in, and slides down and fades out when the message goes.
class Toast final : public WrappingLabel {
    Q_OBJECT
public:
    explicit Toast(QWidget* window);
    // Shows the message, changes it, or (none) lets it go.
    void present(const std::optional<std::string>& message);
    // The message shown or arriving; none while leaving or gone.
    bool presenting() const { return presenting_; }

    static constexpr int bottomMargin = 12;
    static constexpr int animationMs = 250;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPoint restingPosition() const;
    QPoint hiddenPosition() const;
    // As wide as the message on one line, at most the window's width less the margins;
    // a longer one wraps.
    void fit();
    void animate(bool in);

    QGraphicsOpacityEffect* opacity_ = nullptr;
    QParallelAnimationGroup* animation_ = nullptr;
    bool presenting_ = false;
};

} // namespace twinlantern::ui
