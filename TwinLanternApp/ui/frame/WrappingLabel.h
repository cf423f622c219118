#pragma once

#include <QLabel>

class QTextLayout;

namespace twinlantern::ui {

// Plain text on as many lines as it needs at the width it is given: lines break between
// words, and inside a word (a long path) only when the word alone is wider than the
// line, so it never asks for more width than one letter.
class WrappingLabel : public QLabel {
    Q_OBJECT
public:
    explicit WrappingLabel(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Lays the text out at `width` (without margins); gives the height.
    int layOut(QTextLayout& layout, int width) const;
};

} // namespace twinlantern::ui
