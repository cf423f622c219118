#pragma once

#include <memory>

class QWidget;

namespace twinlantern::ui {

class HelpView;

// The single "TwinLantern Help" window: made on the first show, shown and raised again
// after; closing it only hides it.
class HelpWindow final {
public:
    HelpWindow();
    ~HelpWindow();
    HelpWindow(const HelpWindow&) = delete;
    HelpWindow& operator=(const HelpWindow&) = delete;

    void show();
    // Null before the first show.
    QWidget* window() const { return window_.get(); }
    HelpView* view() const { return view_; }

private:
    std::unique_ptr<QWidget> window_;
    HelpView* view_ = nullptr;
};

} // namespace twinlantern::ui
