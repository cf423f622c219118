#include "TwinLanternApp/ui/terminal/PromptSnippetSheet.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "core/shell/ShellIntegration.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace twinlantern::ui {

namespace {

constexpr int snippetPadding = 8;
constexpr int snippetRadius = 6;

} // namespace

QLabel* snippetBox(const QString& text, QWidget* parent) {
    QLabel* label = plainLabel(text, parent);
    QFont mono = appearance::monospace();
    mono.setPointSizeF(appearance::font(appearance::TextStyle::caption).pointSizeF());
    label->setFont(mono);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    QColor fill = appearance::label(label->palette());
    fill.setAlphaF(0.05f); // a faint wash of the text colour, light or dark
    label->setStyleSheet(QStringLiteral("QLabel { background-color: %1; border-radius: %2px; "
                                        "padding: %3px; }")
                             .arg(fill.name(QColor::HexArgb))
                             .arg(snippetRadius)
                             .arg(snippetPadding));
    return label;
}

PromptSnippetSheet::PromptSnippetSheet(app::AppModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setWindowTitle(QStringLiteral("Show the Profile in Your Prompt"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(sheetWidth);
    auto* column = owned<QVBoxLayout>(this);
    column->setSpacing(12);
    column->setContentsMargins(20, 20, 20, 20);
    setLayout(column);

    QLabel* title = plainLabel(QStringLiteral("Show the Profile in Your Prompt"), this);
    title->setFont(appearance::font(appearance::TextStyle::headline));
    column->addWidget(title);

    // A segmented picker: three exclusive buttons side by side.
    auto* segments = owned<QWidget>(this);
    segments->setAccessibleName(QStringLiteral("Shell"));
    auto* segmentRow = owned<QHBoxLayout>(segments);
    segmentRow->setContentsMargins(0, 0, 0, 0);
    segmentRow->setSpacing(0);
    segments->setLayout(segmentRow);
    picker_ = owned<QButtonGroup>(this);
    picker_->setObjectName(QStringLiteral("Shell"));
    picker_->setExclusive(true);
    const std::pair<const char*, const char*> choices[] = {
        {"zsh", "zsh"}, {"bash", "bash"}, {"Starship", "starship"}};
    for (const auto& [text, value] : choices) {
        auto* segment = owned<QToolButton>(segments);
        segment->setText(QString::fromUtf8(text));
        segment->setAccessibleName(QString::fromUtf8(text));
        segment->setCheckable(true);
        segment->setProperty("shell", QString::fromUtf8(value));
        segment->setChecked(shell_ == QString::fromUtf8(value));
        segment->setFocusPolicy(Qt::StrongFocus);
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        picker_->addButton(segment);
        segmentRow->addWidget(segment);
    }
    connect(picker_, &QButtonGroup::buttonClicked, this,
            [this](QAbstractButton* button) { choose(button->property("shell").toString()); });
    column->addWidget(segments);

    // Shell lines must not break where a break would read as a new line: they stay whole and
    // the box scrolls sideways when one is wider than the sheet.
    scroll_ = owned<QScrollArea>(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setFocusPolicy(Qt::NoFocus);
    snippet_ = snippetBox(QString(), scroll_);
    snippet_->setAccessibleName(QStringLiteral("Snippet"));
    scroll_->setWidget(snippet_);
    column->addWidget(scroll_);

    auto* buttons = handedOver<QHBoxLayout>();
    buttons->addStretch(1);
    copy_ = owned<QPushButton>(this);
    setButtonText(copy_, QStringLiteral("Copy"));
    copy_->setDefault(true); // Return
    connect(copy_, &QPushButton::clicked, this, [this] { copy(); });
    buttons->addWidget(copy_);
    done_ = owned<QPushButton>(this);
    setButtonText(done_, QStringLiteral("Done"));
    connect(done_, &QPushButton::clicked, this, &QDialog::reject); // Escape rejects too
    buttons->addWidget(done_);
    column->addLayout(buttons);

    choose(shell_);
}

void PromptSnippetSheet::choose(const QString& shell) {
    shell_ = shell;
    const auto text = ShellIntegration::promptSnippet(utf8(shell));
    setPlainText(snippet_, text ? qs(*text) : QString());
    // Every line in sight at once; room kept for the sideways bar so it never covers the last.
    scroll_->setFixedHeight(snippet_->sizeHint().height() +
                            scroll_->horizontalScrollBar()->sizeHint().height() +
                            2 * scroll_->frameWidth());
}

void PromptSnippetSheet::copy() {
    const QString text = snippet_->text();
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
    accept();
    model_.showToast("Copied. Paste it into your shell settings.");
}

} // namespace twinlantern::ui
