#include "TwinLanternApp/ui/onboarding/OnboardingView.h"
#include "TwinLanternApp/ui/frame/AlertPresenter.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/onboarding/ProfilesStep.h"
#include "TwinLanternApp/ui/onboarding/SignInStep.h"

#include "TwinLanternApp/app/AppSettings.h"
#include "TwinLanternApp/app/ModelBridge.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace twinlantern::ui {

std::optional<OnboardingView::Step> OnboardingView::stepFromRawValue(int raw) {
    switch (raw) {
    case 0:
        return Step::profiles;
    case 1:
        return Step::signIn;
    default:
        return std::nullopt;
    }
}

OnboardingView::OnboardingView(app::ModelBridge& bridge, std::function<void()> close, Step start,
                               Tray tray, QWidget* parent)
    : QWidget(parent), bridge_(bridge), close_(std::move(close)), tray_(tray) {
    setFixedSize(viewWidth, viewHeight);
    auto* column = handedOver<QVBoxLayout>(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    stepArea_ = handedOver<QVBoxLayout>();
    stepArea_->setContentsMargins(28, 28, 28, 28);
    column->addLayout(stepArea_, 1);

    auto* footer = handedOver<QHBoxLayout>();
    footer->setContentsMargins(16, 16, 16, 16);
    stepLabel_ = plainLabel(QString(), this);
    stepLabel_->setFont(appearance::font(appearance::TextStyle::caption));
    stepLabel_->setForegroundRole(QPalette::PlaceholderText);
    footer->addWidget(stepLabel_, 0, Qt::AlignVCenter);
    footer->addStretch(1);
    back_ = owned<QPushButton>(this);
    setButtonText(back_, QStringLiteral("Back"));
    footer->addWidget(back_, 0, Qt::AlignVCenter);
    main_ = owned<QPushButton>(this);
    main_->setDefault(true);
    footer->addWidget(main_, 0, Qt::AlignVCenter);
    column->addLayout(footer);

    connect(back_, &QPushButton::clicked, this, [this] { showStep(Step::profiles); });
    connect(main_, &QPushButton::clicked, this, &OnboardingView::advance);
    alerts_ = owned<AlertPresenter>(this, bridge_);
    showStep(start);
}

void OnboardingView::showStep(Step step) {
    step_ = step;
    if (stepView_ != nullptr) {
        // Not at once: the key or click that got here may still be inside it.
        stepView_->hide();
        stepView_->deleteLater();
    }
    profilesStep_ = nullptr;
    signInStep_ = nullptr;
    if (step == Step::profiles) {
        profilesStep_ = owned<ProfilesStep>(this, bridge_, plan_, [this] { follow(); });
        stepView_ = profilesStep_;
    } else {
        signInStep_ = owned<SignInStep>(
            this, bridge_, created_, useTerminal_, [this](bool on) { useTerminal_ = on; }, tray_);
        connect(signInStep_, &SignInStep::focusOrderChanged, this,
                &OnboardingView::footerLastInTabOrder);
        stepView_ = signInStep_;
    }
    stepArea_->addWidget(stepView_);
    setPlainText(stepLabel_, step == Step::profiles ? QStringLiteral("Step 1 of 2")
                                                    : QStringLiteral("Step 2 of 2"));
    back_->setVisible(step == Step::signIn);
    setButtonText(main_,
                  step == Step::profiles ? QStringLiteral("Continue") : QStringLiteral("Done"));
    footerLastInTabOrder();
    follow();
    if (isVisible()) {
        stepView_->show();
        main_->setFocus(Qt::OtherFocusReason);
    }
}

void OnboardingView::footerLastInTabOrder() {
    // A step made after the footer joins the focus chain behind it; the footer goes last.
    // Qt leaves a hidden widget where it is: "Back" is placed each time it shows.
    QWidget* previous = profilesStep_ != nullptr
                            ? static_cast<QWidget*>(profilesStep_->addButton())
                            : static_cast<QWidget*>(signInStep_->terminalToggle());
    for (QWidget* button : {static_cast<QWidget*>(back_), static_cast<QWidget*>(main_)}) {
        if (button != back_ || step_ == Step::signIn) {
            setTabOrder(previous, button);
            previous = button;
        }
    }
}

void OnboardingView::follow() {
    main_->setEnabled(step_ == Step::signIn || plan_.isValid());
}

void OnboardingView::advance() {
    app::AppModel& model = bridge_.model();
    if (step_ == Step::profiles) {
        if (!plan_.isValid()) {
            return;
        }
        // Once per window: after "Back", the plan's later edits make nothing new.
        if (created_.empty()) {
            created_ = plan_.apply(model, model.installedTools());
        }
        if (!created_.empty()) {
            showStep(Step::signIn);
        }
        return;
    }
    if (useTerminal_) {
        const auto& status = model.shellStatus();
        if (!status || !status->isInstalled()) {
            model.installShell();
        }
    }
    app::AppSettings::setBool(app::AppSettings::onboardingDone, true);
    if (close_) {
        close_();
    }
}

void OnboardingView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Not a dialog, so no default button of Qt's: Return reaches here from any field.
        if (main_->isEnabled()) {
            main_->click();
        }
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace twinlantern::ui
