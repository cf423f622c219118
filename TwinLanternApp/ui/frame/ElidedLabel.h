#pragma once

#include <QComboBox>
#include <QLabel>

namespace twinlantern::ui {

// One line of plain text that never asks for more width than it is given: what doesn't
// fit is cut in the middle (or where the mode says) and shown as "…", the tooltip and
// screen readers get the whole text. For paths and names of any length.
class ElidedLabel final : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr) : ElidedLabel(Qt::ElideMiddle, parent) {}
    ElidedLabel(Qt::TextElideMode mode, QWidget* parent = nullptr);

    // In place of QLabel::setText, which can't keep the tooltip whole.
    void setText(const QString& text);
    // What is drawn at the current width.
    QString shownText() const;
    bool isElided() const { return shownText() != text(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::TextElideMode mode_;
};

// A combo box that shows its current entry cut in the middle when it doesn't fit, with
// the whole entry in its tooltip; the list shows entries the same way.
class ElidedComboBox final : public QComboBox {
    Q_OBJECT
public:
    explicit ElidedComboBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace twinlantern::ui
