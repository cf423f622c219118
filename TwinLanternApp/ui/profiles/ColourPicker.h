#pragma once

#include "core/profiles/Profile.h"

#include <QAbstractButton>
#include <QWidget>

#include <array>
#include <functional>

namespace twinlantern::ui {

// One colour of the picker: a 16-point dot, ringed when it is the selection. It is
// checked only through the picker; a click never toggles it.
class ColourSwatch final : public QAbstractButton {
    Q_OBJECT
public:
    ColourSwatch(ProfileColor color, QWidget* parent);
    ProfileColor color() const { return color_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override {}

private:
    ProfileColor color_;
};

// The six profile colours in a row. The picker shows the selection it is given and
// reports clicks; the caller saves the colour and passes the stored one back.
class ColourPicker final : public QWidget {
    Q_OBJECT
public:
    using OnPick = std::function<void(ProfileColor)>;
    ColourPicker(ProfileColor selection, OnPick onPick, QWidget* parent = nullptr);

    void setSelection(ProfileColor selection);
    ProfileColor selection() const { return selection_; }
    ColourSwatch* swatch(ProfileColor color) const;

private:
    ProfileColor selection_;
    OnPick onPick_;
    std::array<ColourSwatch*, allProfileColors.size()> swatches_{};
};

// "Blue", "Graphite": the raw value with its first letter capitalised.
QString colourName(ProfileColor color);

} // namespace twinlantern::ui
