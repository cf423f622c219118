#include "TwinLanternApp/ui/terminal/FolderAnswer.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/ElidedLabel.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/frame/ProfileLook.h"
#include "TwinLanternApp/ui/frame/Symbols.h"
#include "TwinLanternApp/ui/terminal/FolderAnswerWhy.h"
#include "TwinLanternApp/ui/frame/WrappingLabel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace twinlantern::ui {

namespace {

constexpr int dotSize = 10;
constexpr int rowSpacing = 6;

} // namespace

WarningSign::WarningSign(int size, QWidget* parent) : QWidget(parent), size_(size) {
    setFixedSize(size_, size_);
}

QSize WarningSign::sizeHint() const {
    return {size_, size_};
}

void WarningSign::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    symbols::draw(painter, symbols::Symbol::warning, QRectF(rect()), appearance::orange(palette()));
}

FolderAnswer::FolderAnswer(QWidget* parent) : QWidget(parent) {
    auto* column = owned<QVBoxLayout>(this);
    column->setContentsMargins(0, 0, 0, 0);
    setLayout(column);

    answer_ = owned<QWidget>(this);
    auto* row = owned<QHBoxLayout>(answer_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(rowSpacing);
    answer_->setLayout(row);
    dot_ = owned<ProfileDot>(answer_, std::optional<ProfileColor>(), dotSize);
    row->addWidget(dot_, 0, Qt::AlignVCenter);
    name_ = owned<ElidedLabel>(answer_);
    QFont bold = name_->font();
    bold.setBold(true);
    name_->setFont(bold);
    row->addWidget(name_, 0, Qt::AlignVCenter);
    why_ = owned<ElidedLabel>(answer_);
    why_->setForegroundRole(QPalette::PlaceholderText); // the secondary style, light or dark
    row->addWidget(why_, 1, Qt::AlignVCenter);
    column->addWidget(answer_);
    answer_->installEventFilter(this);

    warningBox_ = owned<QWidget>(this);
    warningRows_ = owned<QVBoxLayout>(warningBox_);
    warningRows_->setContentsMargins(0, 0, 0, 0);
    warningBox_->setLayout(warningRows_);
    warningBox_->setVisible(false);
    column->addWidget(warningBox_);
}

void FolderAnswer::setResolution(const Resolution& resolution, const Paths& paths) {
    std::optional<ProfileColor> color;
    if (resolution.profile) {
        color = resolution.profile->color;
    }
    dot_->setColor(color);

    const QString name =
        resolution.profile ? nameText(resolution.profile->name) : qs(folderAnswerName(resolution));
    const QString why = qs(folderAnswerWhy(resolution, paths));
    setPlainText(name_, name);
    setPlainText(why_, why);
    // One element for a screen reader, read as it shows.
    answer_->setAccessibleName(qs(folderAnswerName(resolution)) + QStringLiteral(" ") + why);

    // Rows are kept and reused: the result changes with every keystroke.
    const auto count = static_cast<qsizetype>(resolution.warnings.size());
    const QFont caption = appearance::font(appearance::TextStyle::caption);
    while (warningLabels_.size() < count) {
        auto* line = owned<QWidget>(warningBox_);
        auto* lineRow = owned<QHBoxLayout>(line);
        lineRow->setContentsMargins(0, 0, 0, 0);
        line->setLayout(lineRow);
        // Beside the first line of a warning that wraps.
        lineRow->addWidget(owned<WarningSign>(line, QFontMetrics(caption).height()), 0,
                           Qt::AlignTop);
        QLabel* text = owned<WrappingLabel>(line); // a warning holds whole paths
        text->setFont(caption);
        lineRow->addWidget(text, 1);
        warningRows_->addWidget(line);
        warningLabels_.append(text);
    }
    for (qsizetype i = 0; i < warningLabels_.size(); ++i) {
        QLabel* text = warningLabels_[i];
        if (i < count) {
            setPlainText(text, qs(resolution.warnings[static_cast<std::size_t>(i)]));
        }
        text->parentWidget()->setVisible(i < count);
    }
    warningBox_->setVisible(count > 0);
    restyle();
}

QList<QLabel*> FolderAnswer::warningLabels() const {
    QList<QLabel*> shown;
    for (QLabel* label : warningLabels_) {
        if (!label->parentWidget()->isHidden()) {
            shown.append(label);
        }
    }
    return shown;
}

QStringList FolderAnswer::warnings() const {
    QStringList texts;
    for (const QLabel* label : warningLabels()) {
        texts.append(label->text());
    }
    return texts;
}

void FolderAnswer::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        restyle();
    }
}

bool FolderAnswer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == answer_ && event->type() == QEvent::Resize) {
        // A long name leaves the reason at least half the row.
        name_->setMaximumWidth(std::max(name_->minimumSizeHint().width(), answer_->width() / 2));
    }
    return QWidget::eventFilter(watched, event);
}

void FolderAnswer::restyle() {
    for (QLabel* label : warningLabels_) {
        appearance::setTextColor(label, appearance::orange(palette()));
    }
}

} // namespace twinlantern::ui
