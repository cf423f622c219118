#include "TwinLanternApp/ui/HelpView.h"

#include "TwinLanternApp/ui/Appearance.h"
#include "TwinLanternApp/ui/Markdown.h"
#include "TwinLanternApp/ui/Owned.h"
#include "TwinLanternApp/ui/PlainText.h"

#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

namespace twinlantern::ui {

const std::array<HelpView::Section, 4> HelpView::sections = {{
    {"Claude Desktop",
     "Click a profile in the menu to open its own Claude window. Sign in with your email "
     "address. Every Claude window shows the usual Claude icon; the menu shows which profile is "
     "which."},
    {"Terminal",
     "With Terminal → “Use profiles in the terminal” on, `claude` and `codex` use the profile for "
     "the folder you're in (add folders in the Profiles tab). Run `twinlantern which` in any "
     "folder to see which applies."},
    {"Your logins",
     "Each tool keeps its own login in your Mac's Keychain. TwinLantern never sees your "
     "passwords, and nothing leaves this Mac."},
    {"Not for dodging limits",
     "Profiles keep work and personal apart. TwinLantern will never switch accounts to get "
     "around usage limits."},
}};

HelpView::HelpView(QWidget* parent) : QScrollArea(parent) {
    setFixedSize(width, height);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setAccessibleName(QStringLiteral("TwinLantern Help"));

    auto* page = owned<QWidget>(this);
    auto* column = owned<QVBoxLayout>(page);
    column->setSpacing(14);
    column->setContentsMargins(24, 24, 24, 24);
    column->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    page->setLayout(column);

    QLabel* name = plainLabel(QStringLiteral("TwinLantern"), page);
    QFont large = appearance::font(appearance::TextStyle::title);
    large.setPointSizeF(large.pointSizeF() * 1.4);
    large.setBold(true);
    name->setFont(large);
    column->addWidget(name);
    QLabel* tagline = plainLabel(QStringLiteral("Work and personal AI accounts, side by side."), page);
    tagline->setFont(appearance::font(appearance::TextStyle::title));
    tagline->setWordWrap(true);
    appearance::setTextColor(tagline, appearance::secondaryLabel(tagline->palette()));
    column->addWidget(tagline);

    for (const Section& section : sections) {
        auto* block = owned<QWidget>(page);
        auto* rows = owned<QVBoxLayout>(block);
        rows->setSpacing(4);
        rows->setContentsMargins(0, 0, 0, 0);
        block->setLayout(rows);
        QLabel* title = plainLabel(QString::fromUtf8(section.title), block);
        title->setFont(appearance::font(appearance::TextStyle::headline));
        rows->addWidget(title);
        QLabel* body = markdownLabel(section.body, block);
        body->setWordWrap(true); // grows downwards instead of being cut off
        rows->addWidget(body);
        column->addWidget(block);
        titles_.append(title);
        bodies_.append(body);
    }
    column->addStretch(1);
    setWidget(page);
}

} // namespace twinlantern::ui
