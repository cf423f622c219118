#include "TwinLanternApp/ui/advanced/SetupCheckSection.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Markdown.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <numbers>

namespace twinlantern::ui {

namespace {

constexpr int rowSpacing = 3;

QColor red(const QPalette& palette) {
    return appearance::isDark(palette) ? QColor(0xFF, 0x45, 0x3A) : QColor(0xD7, 0x00, 0x15);
}

QColor green(const QPalette& palette) {
    return appearance::isDark(palette) ? QColor(0x32, 0xD7, 0x4B) : QColor(0x1E, 0x8E, 0x3E);
}

} // namespace

CheckIcon::CheckIcon(DoctorCheck::Level level, int size, QWidget* parent)
    : QWidget(parent), failure_(level == DoctorCheck::Level::failure), size_(size) {
    setFixedSize(size_, size_);
}

QColor CheckIcon::color() const {
    return failure_ ? red(palette()) : appearance::orange(palette());
}

QSize CheckIcon::sizeHint() const {
    return {size_, size_};
}

void CheckIcon::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 16-unit square.
    painter.scale(width() / 16.0, height() / 16.0);
    QPainterPath shape;
    if (failure_) {
        for (int corner = 0; corner < 8; ++corner) {
            const double angle = std::numbers::pi / 8 + corner * std::numbers::pi / 4;
            const QPointF point(8 + 7.5 * std::cos(angle), 8 + 7.5 * std::sin(angle));
            if (corner == 0) {
                shape.moveTo(point);
            } else {
                shape.lineTo(point);
            }
        }
    } else {
        shape.moveTo(8, 0.8);
        shape.lineTo(15.6, 14.8);
        shape.lineTo(0.4, 14.8);
    }
    shape.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(color());
    painter.drawPath(shape);
    QPen mark(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(mark);
    if (failure_) {
        painter.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
        painter.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
    } else {
        painter.drawLine(QPointF(8, 5.5), QPointF(8, 9.6));
        painter.drawPoint(QPointF(8, 12.4));
    }
}

SetupCheckRow::SetupCheckRow(const DoctorCheck& check, QWidget* parent) : QWidget(parent) {
    auto* stack = owned<QVBoxLayout>(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(rowSpacing);
    setLayout(stack);
    auto* labelRow = handedOver<QHBoxLayout>();
    icon_ = owned<CheckIcon>(this, check.level, QFontMetrics(font()).height());
    labelRow->addWidget(icon_, 0, Qt::AlignTop);
    title_ = owned<QLabel>(this);
    setMarkdown(title_, check.title);
    labelRow->addWidget(title_, 1);
    stack->addLayout(labelRow);
    if (check.fix) {
        fix_ = owned<QLabel>(this);
        setMarkdown(fix_, *check.fix);
        fix_->setFont(appearance::font(appearance::TextStyle::caption));
        fix_->setForegroundRole(QPalette::PlaceholderText); // the secondary style
        fix_->setTextInteractionFlags(fix_->textInteractionFlags() | Qt::TextSelectableByMouse |
                                      Qt::TextSelectableByKeyboard);
        stack->addWidget(fix_);
    }
}

SetupCheckSection::SetupCheckSection(app::AppModel& model, QWidget* parent)
    : QGroupBox(parent), model_(model) {
    setTitle(QStringLiteral("Setup"));
    column_ = owned<QVBoxLayout>(this);
    setLayout(column_);
    auto* headRow = handedOver<QHBoxLayout>();
    button_ = owned<QPushButton>(this);
    setButtonText(button_, QStringLiteral("Check Setup"));
    connect(button_, &QPushButton::clicked, this, [this] { run(); });
    headRow->addWidget(button_, 0, Qt::AlignVCenter);
    headRow->addStretch(1);
    summary_ = plainLabel(QString(), this);
    summary_->setVisible(false);
    headRow->addWidget(summary_, 0, Qt::AlignVCenter);
    column_->addLayout(headRow);
}

void SetupCheckSection::run() {
    if (running_) {
        return;
    }
    running_ = true;
    setButtonText(button_, QStringLiteral("Checking…"));
    button_->setEnabled(false);
    model_.runDoctor(
        true, [alive = std::weak_ptr<SetupCheckSection*>(alive_)](std::vector<DoctorCheck> checks) {
            if (auto self = alive.lock()) {
                (*self)->finish(std::move(checks));
            }
        });
}

void SetupCheckSection::finish(std::vector<DoctorCheck> checks) {
    std::vector<DoctorCheck> kept;
    for (DoctorCheck& check : checks) {
        if (check.level >= DoctorCheck::Level::warning) {
            kept.push_back(std::move(check));
        }
    }
    problems_ = std::move(kept);
    running_ = false;
    setButtonText(button_, QStringLiteral("Check Setup"));
    button_->setEnabled(true);
    showProblems();
}

void SetupCheckSection::showProblems() {
    // The old rows stayed while the check ran; the new result replaces them whole.
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
    for (const DoctorCheck& check : *problems_) {
        auto* row = owned<SetupCheckRow>(list_, check);
        rows->addWidget(row);
        rows_.push_back(row);
    }
    const auto count = problems_->size();
    setPlainText(summary_, count == 0 ? QStringLiteral("All good")
                                      : QString::number(count) + QStringLiteral(" to fix"));
    summary_->setVisible(true);
    restyle();
}

void SetupCheckSection::changeEvent(QEvent* event) {
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        restyle();
    }
}

void SetupCheckSection::restyle() {
    if (problems_) {
        appearance::setTextColor(summary_, problems_->empty() ? green(palette())
                                                              : appearance::orange(palette()));
    }
}

} // namespace twinlantern::ui
