#include "TwinLanternApp/ui/onboarding/SignInStep.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/ElidedLabel.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/frame/ProfileLook.h"
#include "TwinLanternApp/ui/onboarding/StepHeading.h"
#include "TwinLanternApp/ui/profiles/ToolRow.h"

#include "TwinLanternApp/app/ModelBridge.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

namespace twinlantern::ui {
SignInStep::SignInStep(app::ModelBridge& bridge, std::vector<ProfileID> created, bool useTerminal,
                       OnTerminal onTerminal, Tray tray, QWidget* parent)
    : QWidget(parent), bridge_(bridge), created_(std::move(created)) {
    auto* column = handedOver<QVBoxLayout>(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(16);

    column->addLayout(stepHeading(
        QStringLiteral("Sign in"),
        QStringLiteral("Once per account. Each button opens that profile's own window: sign in "
                       "there (for Claude, use your email address)."),
        this));

    nothing_ = secondaryLabel(
        QStringLiteral("Nothing to sign in: you're using the accounts you already have."), this);
    column->addWidget(nothing_);

    auto* scroll = owned<QScrollArea>(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFocusPolicy(Qt::NoFocus);
    list_ = owned<QWidget>(scroll);
    listLayout_ = handedOver<QVBoxLayout>(list_);
    listLayout_->setContentsMargins(0, 0, 0, 0);
    listLayout_->setSpacing(12);
    listLayout_->addStretch(1);
    scroll->setWidget(list_);
    column->addWidget(scroll, 1);

    terminal_ = owned<QCheckBox>(this);
    setButtonText(terminal_, QStringLiteral("Also use profiles in the terminal (optional, for "
                                            "claude and codex commands)"));
    terminal_->setToolTip(plainToolTip(
        QStringLiteral("Adds one marked block at the end of your shell file. You can turn it "
                       "off any time in Settings → Terminal.")));
    terminal_->setChecked(useTerminal);
    column->addWidget(terminal_);
    column->addWidget(secondaryLabel(QString::fromUtf8(linuxWords::whereItLives(tray)), this,
                                     appearance::TextStyle::callout));

    connect(terminal_, &QCheckBox::toggled, this, [onTerminal = std::move(onTerminal)](bool on) {
        if (onTerminal) {
            onTerminal(on);
        }
    });
    connect(&bridge_, &app::ModelBridge::changed, this, [this](app::ModelField field) {
        using F = app::ModelField;
        if (field == F::document) {
            follow();
        } else if (field == F::statuses || field == F::signingIn || field == F::runningApps ||
                   field == F::usage || field == F::context) {
            // A tool row may make new buttons for this notice, after this slot.
            QMetaObject::invokeMethod(this, &SignInStep::orderFocus, Qt::QueuedConnection);
        }
    });
    follow();
}

std::vector<Profile> SignInStep::profiles() const {
    std::vector<Profile> out;
    const ProfileDocument& document = bridge_.model().document();
    for (const ProfileID& id : created_) {
        if (const Profile* profile = document.profile(id)) {
            out.push_back(*profile);
        }
    }
    return out;
}

std::vector<Profile> SignInStep::toSignIn() const {
    std::vector<Profile> out;
    for (Profile& profile : profiles()) {
        if (profile.storage == Profile::Storage::managed) {
            out.push_back(std::move(profile));
        }
    }
    return out;
}

void SignInStep::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        bridge_.model().refreshStatuses();
    }
}

void SignInStep::follow() {
    std::vector<Profile> wanted = toSignIn();
    nothing_->setVisible(wanted.empty());
    if (wanted == listed_) {
        return;
    }
    listed_ = std::move(wanted);
    for (QWidget* old : listWidgets_) {
        old->hide();
        old->deleteLater();
    }
    listWidgets_.clear();
    toolRows_.clear();
    int at = 0;
    for (const Profile& profile : listed_) {
        auto* group = owned<QWidget>(list_);
        auto* rows = handedOver<QVBoxLayout>(group);
        rows->setContentsMargins(0, 0, 0, 0);
        rows->setSpacing(4);
        auto* header = handedOver<QHBoxLayout>();
        header->setSpacing(8);
        header->addWidget(owned<ProfileDot>(group, profile.color, 10), 0, Qt::AlignVCenter);
        auto* name = owned<ElidedLabel>(group);
        name->setText(nameText(profile.name));
        QFont bold = appearance::font(appearance::TextStyle::body);
        bold.setWeight(QFont::Bold);
        name->setFont(bold);
        header->addWidget(name, 1, Qt::AlignVCenter);
        rows->addLayout(header);
        for (const ToolKind tool : profile.tools()) {
            auto* row = owned<ToolRow>(group, bridge_, profile, tool);
            row->setContentsMargins(18, 0, 0, 0);
            rows->addWidget(row);
            toolRows_.push_back(row);
        }
        listLayout_->insertWidget(at++, group);
        listWidgets_.push_back(group);
    }
    orderFocus();
}

void SignInStep::orderFocus() {
    // Rows and buttons made after the step join the focus chain at the window's end; they
    // go back in list order after the list itself, before the terminal toggle. The list
    // takes focus only for this, as the fixed point to order from.
    list_->setFocusPolicy(Qt::TabFocus);
    QWidget* previous = list_;
    for (ToolRow* row : toolRows_) {
        for (QPushButton* button : row->buttons()) {
            setTabOrder(previous, button);
            previous = button;
        }
    }
    setTabOrder(previous, terminal_);
    list_->setFocusPolicy(Qt::NoFocus);
    emit focusOrderChanged();
}

} // namespace twinlantern::ui
