#include "TwinLanternApp/ui/SetupCheckSection.h"

#include "TwinLanternApp/ui/Appearance.h"
#include "TwinLanternApp/ui/Markdown.h"
#include "TwinLanternApp/ui/Owned.h"
#include "TwinLanternApp/ui/PlainText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace twinlantern::ui {

SetupCheckSection::SetupCheckSection(app::AppModel& model, QWidget* parent)
    : QGroupBox(parent), model_(model) {
    setTitle(QStringLiteral("Setup"));
    column_ = owned<QVBoxLayout>(this);
    setLayout(column_);
    auto* head = owned<QWidget>(this);
    auto* headRow = owned<QHBoxLayout>(head);
    headRow->setContentsMargins(0, 0, 0, 0);
    head->setLayout(headRow);
    button_ = owned<QPushButton>(head);
    setButtonText(button_, QStringLiteral("Check Setup"));
    connect(button_, &QPushButton::clicked, this, [this] { run(); });
    headRow->addWidget(button_, 0, Qt::AlignVCenter);
    headRow->addStretch(1);
    summary_ = plainLabel(QString(), head);
    summary_->setVisible(false);
    headRow->addWidget(summary_, 0, Qt::AlignVCenter);
    column_->addWidget(head);
}

void SetupCheckSection::run() {
    running_ = true;
    setButtonText(button_, QStringLiteral("Checking…"));
    button_->setEnabled(false);
    model_.runDoctor(true, [alive = std::weak_ptr<SetupCheckSection*>(alive_)](
                               std::vector<DoctorCheck> checks) {
        auto self = alive.lock();
        if (!self) {
            return;
        }
        SetupCheckSection& section = **self;
        std::vector<DoctorCheck> kept;
        for (DoctorCheck& check : checks) {
            if (check.level >= DoctorCheck::Level::warning) {
                kept.push_back(std::move(check));
            }
        }
        section.problems_ = std::move(kept);
        section.running_ = false;
        setButtonText(section.button_, QStringLiteral("Check Setup"));
        section.button_->setEnabled(true);
        section.showProblems();
    });
}

void SetupCheckSection::showProblems() {
    // The old rows stay until the new result replaces them.
    if (list_) {
        list_->hide();
        list_->deleteLater();
    }
    rows_.clear();
    list_ = owned<QWidget>(this);
    auto* rows = owned<QVBoxLayout>(list_);
    rows->setContentsMargins(0, 0, 0, 0);
    list_->setLayout(rows);
    column_->addWidget(list_);

    const auto& problems = *problems_;
    if (problems.empty()) {
        setPlainText(summary_, QStringLiteral("All good"));
        appearance::setTextColor(summary_, QColor(0x34, 0xc7, 0x59)); // green
    } else {
        setPlainText(summary_, QString::number(problems.size()) + QStringLiteral(" to fix"));
        appearance::setTextColor(summary_, appearance::orange(summary_->palette()));
    }
    summary_->setVisible(true);

    const int side = QFontMetrics(font()).height();
    for (const DoctorCheck& check : problems) {
        auto* row = owned<QWidget>(list_);
        auto* stack = owned<QVBoxLayout>(row);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(3);
        row->setLayout(stack);
        auto* labelRow = owned<QHBoxLayout>(row);
        QLabel* icon = owned<QLabel>(row);
        const bool failure = check.level == DoctorCheck::Level::failure;
        icon->setPixmap(style()
                            ->standardIcon(failure ? QStyle::SP_MessageBoxCritical
                                                   : QStyle::SP_MessageBoxWarning)
                            .pixmap(side, side));
        icon->setAccessibleName(failure ? QStringLiteral("Failure") : QStringLiteral("Warning"));
        labelRow->addWidget(icon, 0, Qt::AlignTop);
        QLabel* title = markdownLabel(check.title, row);
        title->setWordWrap(true);
        labelRow->addWidget(title, 1);
        stack->addLayout(labelRow);
        QLabel* fix = nullptr;
        if (check.fix) {
            fix = markdownLabel(*check.fix, row);
            fix->setWordWrap(true);
            fix->setFont(appearance::font(appearance::TextStyle::caption));
            appearance::setTextColor(fix, appearance::secondaryLabel(fix->palette()));
            fix->setTextInteractionFlags(fix->textInteractionFlags() |
                                         Qt::TextSelectableByMouse |
                                         Qt::TextSelectableByKeyboard);
            stack->addWidget(fix);
        }
        rows->addWidget(row);
        rows_.push_back({row, icon, title, fix});
    }
}

} // namespace twinlantern::ui
