#pragma once

#include "TwinLanternApp/model/ProfilePlan.h"
#include "TwinLanternApp/ui/frame/LinuxWords.h"

#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace twinlantern::app {
class ModelBridge;
}

namespace twinlantern::ui {

class AlertPresenter;
class ProfilesStep;
class SignInStep;

// The first-run window's content, 600 × 520: the current step over a footer with the
// step count, "Back" and the main button. It keeps the plan, the profiles it created and
// the terminal choice for as long as it lives. Return or Enter anywhere in it presses
// the main button while that is enabled.
class OnboardingView final : public QWidget {
    Q_OBJECT
public:
    enum class Step { profiles = 0, signIn = 1 };
    static constexpr std::array<Step, 2> allSteps{Step::profiles, Step::signIn};
    // 0 and 1; any other value is no step.
    static std::optional<Step> stepFromRawValue(int raw);

    static constexpr int viewWidth = 600;
    static constexpr int viewHeight = 520;

    // `tray` says where the app lives once the window closes.
    OnboardingView(app::ModelBridge& bridge, std::function<void()> close,
                   Step start = Step::profiles, Tray tray = Tray::available,
                   QWidget* parent = nullptr);

    Step step() const { return step_; }
    const app::ProfilePlan& plan() const { return plan_; }
    const std::vector<ProfileID>& created() const { return created_; }
    bool useTerminal() const { return useTerminal_; }

    // The step shown; the other is null.
    ProfilesStep* profilesStep() const { return profilesStep_; }
    SignInStep* signInStep() const { return signInStep_; }
    QLabel* stepLabel() const { return stepLabel_; }
    QPushButton* backButton() const { return back_; }
    // "Continue" on the first step, "Done" on the second.
    QPushButton* mainButton() const { return main_; }
    AlertPresenter* alerts() const { return alerts_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showStep(Step step);
    void advance();
    void follow();
    void footerLastInTabOrder();

    app::ModelBridge& bridge_;
    std::function<void()> close_;
    Step step_ = Step::profiles;
    app::ProfilePlan plan_ = app::ProfilePlan::starting();
    std::vector<ProfileID> created_;
    bool useTerminal_ = false;
    Tray tray_;

    QVBoxLayout* stepArea_ = nullptr;
    QWidget* stepView_ = nullptr;
    ProfilesStep* profilesStep_ = nullptr;
    SignInStep* signInStep_ = nullptr;
    QLabel* stepLabel_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* main_ = nullptr;
    AlertPresenter* alerts_ = nullptr;
};

} // namespace twinlantern::ui
