#include "TwinLanternApp/ui/frame/HelpView.h"
#include "TwinLanternApp/ui/frame/LinuxWords.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Markdown.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"

#include <QLabel>
#include <QVBoxLayout>

namespace twinlantern::ui {

namespace {

QFont scaled(double factor, QFont::Weight weight) {
    QFont font = appearance::font(appearance::TextStyle::body);
    font.setPointSizeF(font.pointSizeF() * factor);
    font.setWeight(weight);
    return font;
}

} // namespace

const std::array<HelpView::Section, 4> HelpView::sections = {{
    {"Claude Desktop",
     "Click a profile in the menu to open its own Claude window. Sign in with your email "
     "address. Every Claude window shows the usual Claude icon; the menu shows which profile is "
     "which."},
    {"Terminal",
     "With Terminal → “Use profiles in the terminal” on, `claude` and `codex` use the profile for "
     "the folder you're in (add folders in the Profiles tab). Run `twinlantern which` in any "
     "folder to see which applies."},
    {"Your logins", linuxWords::helpLogins},
    {"Not for dodging limits",
     "Profiles keep work and personal apart. TwinLantern will never switch accounts to get "
     "around usage limits."},
}};

HelpView::HelpView(QWidget* parent) : QScrollArea(parent) {
    setFixedSize(pageWidth, pageHeight);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setAccessibleName(QStringLiteral("TwinLantern Help"));

    auto* page = owned<QWidget>(this);
    auto* column = owned<QVBoxLayout>(page);
    column->setSpacing(14);
    column->setContentsMargins(24, 24, 24, 24);
    page->setLayout(column);

    QLabel* name = plainLabel(QStringLiteral("TwinLantern"), page);
    name->setFont(scaled(2.0, QFont::Bold)); // the large title
    column->addWidget(name);
    QLabel* tagline =
        plainLabel(QStringLiteral("Work and personal AI accounts, side by side."), page);
    tagline->setFont(scaled(1.15, QFont::Normal));
    tagline->setWordWrap(true);
    tagline->setForegroundRole(QPalette::PlaceholderText); // the secondary style
    column->addWidget(tagline);

    for (const Section& section : sections) {
        auto* rows = handedOver<QVBoxLayout>();
        rows->setSpacing(4);
        QLabel* title = plainLabel(QString::fromUtf8(section.title), page);
        title->setFont(appearance::font(appearance::TextStyle::headline));
        rows->addWidget(title);
        QLabel* body = owned<QLabel>(page);
        setMarkdown(body, section.body); // wraps: grows downwards instead of being cut off
        body->setAlignment(Qt::AlignLeading | Qt::AlignTop);
        rows->addWidget(body);
        column->addLayout(rows);
        titles_.append(title);
        bodies_.append(body);
    }
    column->addStretch(1);
    setWidget(page);
}

} // namespace twinlantern::ui
