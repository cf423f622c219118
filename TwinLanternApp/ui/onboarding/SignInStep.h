#pragma once

#include "core/profiles/Profile.h"

#include "TwinLanternApp/ui/frame/LinuxWords.h"

#include <QWidget>

#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QVBoxLayout;

namespace twinlantern::app {
class ModelBridge;
}

namespace twinlantern::ui {

class ToolRow;

// The second step: a tool row per tool of each new profile with its own logins, the
// terminal toggle and the menu-bar note. Follows the profiles file, so a profile gone
// from it leaves the list; refreshes the statuses each time it is shown.
class SignInStep final : public QWidget {
    Q_OBJECT
public:
    using OnTerminal = std::function<void(bool)>;
    SignInStep(app::ModelBridge& bridge, std::vector<ProfileID> created, bool useTerminal,
               OnTerminal onTerminal, Tray tray = Tray::available, QWidget* parent = nullptr);

    // The created profiles still in the file, in order, and those of them to sign in
    // (own logins; the one that keeps the accounts already here has nothing to sign).
    std::vector<Profile> profiles() const;
    std::vector<Profile> toSignIn() const;

    QLabel* nothingToSignIn() const { return nothing_; }
    const std::vector<ToolRow*>& toolRows() const { return toolRows_; }
    QCheckBox* terminalToggle() const { return terminal_; }

signals:
    // Controls were put back in order; the step's last one is still the terminal toggle.
    void focusOrderChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void follow();
    void orderFocus();

    app::ModelBridge& bridge_;
    std::vector<ProfileID> created_;
    QLabel* nothing_ = nullptr;
    QWidget* list_ = nullptr;
    QVBoxLayout* listLayout_ = nullptr;
    QCheckBox* terminal_ = nullptr;
    std::vector<Profile> listed_;
    std::vector<ToolRow*> toolRows_;
    std::vector<QWidget*> listWidgets_;
};

} // namespace twinlantern::ui
