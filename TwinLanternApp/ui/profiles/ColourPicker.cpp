#include "TwinLanternApp/ui/profiles/ColourPicker.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Owned.h"

#include <QHBoxLayout>
#include <QPainter>

namespace twinlantern::ui {

namespace {

constexpr int dot = 16;
constexpr int ring = 22;    // the ring stands 1 point clear of the dot
constexpr int focusBar = 3; // room under the ring for the keyboard focus mark

QColor fill(ProfileColor color) {
    const RGB c = rgb(color);
    return QColor(c.r, c.g, c.b);
}

} // namespace

QString colourName(ProfileColor color) {
    QString name = QString::fromLatin1(rawValue(color));
    if (!name.isEmpty()) {
        name[0] = name[0].toUpper();
    }
    return name;
}

ColourSwatch::ColourSwatch(ProfileColor color, QWidget* parent)
    : QAbstractButton(parent), color_(color) {
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(colourName(color));
    setToolTip(colourName(color));
    setFixedSize(sizeHint());
}

QSize ColourSwatch::sizeHint() const {
    return QSize(ring, ring + focusBar);
}

void ColourSwatch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF ringBox(0, 0, ring, ring);
    const qreal inset = (ring - dot) / 2.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill(color_));
    painter.drawEllipse(ringBox.adjusted(inset, inset, -inset, -inset));
    if (isChecked()) {
        QColor line = appearance::label(palette());
        line.setAlphaF(0.7f);
        // Drawn inside the bounds: a 2-point pen centred 1 point in.
        painter.setPen(QPen(line, 2.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(ringBox.adjusted(1, 1, -1, -1));
    }
    if (hasFocus()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(appearance::accent(palette()));
        painter.drawRoundedRect(QRectF(inset, ring + 1, dot, 2), 1, 1);
    }
}

ColourPicker::ColourPicker(ProfileColor selection, OnPick onPick, QWidget* parent)
    : QWidget(parent), selection_(selection), onPick_(std::move(onPick)) {
    auto* row = owned<QHBoxLayout>(this);
    setLayout(row);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8 - (ring - dot)); // 8 points between the dots
    for (std::size_t i = 0; i < allProfileColors.size(); ++i) {
        const ProfileColor color = allProfileColors[i];
        auto* swatch = owned<ColourSwatch>(this, color, this);
        swatch->setChecked(color == selection_);
        connect(swatch, &QAbstractButton::clicked, this, [this, color] {
            if (onPick_) {
                onPick_(color);
            }
        });
        row->addWidget(swatch, 0, Qt::AlignVCenter);
        swatches_[i] = swatch;
    }
    row->addStretch(1);
}

void ColourPicker::setSelection(ProfileColor selection) {
    selection_ = selection;
    for (ColourSwatch* swatch : swatches_) {
        swatch->setChecked(swatch->color() == selection);
    }
}

ColourSwatch* ColourPicker::swatch(ProfileColor color) const {
    return swatches_[static_cast<std::size_t>(color)];
}

} // namespace twinlantern::ui
