#include "TwinLanternApp/ui/onboarding/StepHeading.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"

#include <QLabel>
#include <QVBoxLayout>

namespace twinlantern::ui {

QLabel* secondaryLabel(const QString& text, QWidget* parent, appearance::TextStyle style) {
    QLabel* label = plainLabel(text, parent);
    label->setFont(appearance::font(style));
    label->setWordWrap(true);
    // The role, not a fixed colour, so the label follows the light and dark palettes.
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QVBoxLayout* stepHeading(const QString& title, const QString& explanation, QWidget* parent) {
    auto* heading = handedOver<QVBoxLayout>();
    heading->setSpacing(6);
    QLabel* titleLabel = plainLabel(title, parent);
    QFont titleFont = appearance::font(appearance::TextStyle::title);
    titleFont.setWeight(QFont::Bold);
    titleLabel->setFont(titleFont);
    heading->addWidget(titleLabel);
    heading->addWidget(secondaryLabel(explanation, parent));
    return heading;
}

} // namespace twinlantern::ui
