#include "TwinLanternApp/ui/TestResult.h"

#include "TwinLanternApp/ui/Appearance.h"
#include "TwinLanternApp/ui/Owned.h"
#include "TwinLanternApp/ui/PlainText.h"
#include "TwinLanternApp/ui/ProfileDot.h"
#include "TwinLanternApp/ui/TestResultWhy.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

namespace twinlantern::ui {

namespace {

constexpr int dotSize = 10;
constexpr int rowSpacing = 6;

} // namespace

TestResult::TestResult(QWidget* parent) : QWidget(parent) {
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
    name_ = plainLabel(QString(), answer_);
    QFont bold = name_->font();
    bold.setBold(true);
    name_->setFont(bold);
    row->addWidget(name_, 0, Qt::AlignVCenter);
    why_ = plainLabel(QString(), answer_);
    appearance::setTextColor(why_, appearance::secondaryLabel(why_->palette()));
    row->addWidget(why_, 0, Qt::AlignVCenter);
    row->addStretch(1);
    column->addWidget(answer_);

    warningBox_ = owned<QWidget>(this);
    warningRows_ = owned<QVBoxLayout>(warningBox_);
    warningRows_->setContentsMargins(0, 0, 0, 0);
    warningBox_->setLayout(warningRows_);
    column->addWidget(warningBox_);
}

void TestResult::setResolution(const Resolution& resolution, const Paths& paths) {
    std::optional<ProfileColor> color;
    if (resolution.profile) {
        color = resolution.profile->color;
    }
    dot_->setColor(color);

    const QString name = qs(testResultName(resolution));
    const QString why = qs(testResultWhy(resolution, paths));
    setPlainText(name_, name);
    setPlainText(why_, why);
    // One element for a screen reader, as it reads on screen.
    answer_->setAccessibleName(name + QStringLiteral(" ") + why);

    // Rows are kept and reused: a result changes with every keystroke.
    const auto count = static_cast<qsizetype>(resolution.warnings.size());
    while (warningLabels_.size() < count) {
        auto* line = owned<QWidget>(warningBox_);
        auto* lineRow = owned<QHBoxLayout>(line);
        lineRow->setContentsMargins(0, 0, 0, 0);
        line->setLayout(lineRow);
        QLabel* icon = owned<QLabel>(line);
        const int side = QFontMetrics(appearance::font(appearance::TextStyle::caption)).height();
        icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(side, side));
        lineRow->addWidget(icon, 0, Qt::AlignVCenter);
        QLabel* text = plainLabel(QString(), line);
        text->setFont(appearance::font(appearance::TextStyle::caption));
        text->setWordWrap(true);
        appearance::setTextColor(text, appearance::orange(text->palette()));
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
}

QStringList TestResult::warnings() const {
    QStringList texts;
    for (const QLabel* label : warningLabels_) {
        if (!label->parentWidget()->isHidden()) {
            texts.append(label->text());
        }
    }
    return texts;
}

} // namespace twinlantern::ui
