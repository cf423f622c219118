#include "TwinLanternApp/ui/frame/Footnote.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Markdown.h"

#include <QEvent>

namespace twinlantern::ui {

Footnote::Footnote(std::string_view markdown, QWidget* parent) : QLabel(parent) {
    setFont(appearance::font(appearance::TextStyle::callout));
    setAlignment(Qt::AlignLeading | Qt::AlignTop);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    setMarkdownText(markdown);
    applyColour();
}

void Footnote::setMarkdownText(std::string_view markdown) {
    setMarkdown(this, markdown);
}

void Footnote::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::ParentChange) {
        applyColour();
    }
}

void Footnote::applyColour() {
    // The window's palette decides; a footnote only dims its text.
    setForegroundRole(QPalette::PlaceholderText);
}

} // namespace twinlantern::ui
