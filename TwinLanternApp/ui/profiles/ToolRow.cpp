#include "TwinLanternApp/ui/profiles/ToolRow.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"

#include "TwinLanternApp/app/ModelBridge.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>

namespace twinlantern::ui {

namespace {
constexpr int lineGap = 2;

QFont nameFont() {
    return appearance::font(appearance::TextStyle::body);
}
QFont captionFont() {
    return appearance::font(appearance::TextStyle::caption);
}
} // namespace

ToolRowText::ToolRowText(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ToolRowText::set(const QString& name, const QString& caption, bool attention) {
    if (name == name_ && caption == caption_ && attention == attention_) {
        return;
    }
    name_ = name;
    caption_ = caption;
    attention_ = attention;
    setAccessibleName(caption_.isEmpty() ? name_ : name_ + QStringLiteral(", ") + caption_);
    updateToolTip();
    updateGeometry();
    update();
}

QSize ToolRowText::sizeHint() const {
    const QFontMetrics names(nameFont());
    const QFontMetrics captions(captionFont());
    return {std::max(names.horizontalAdvance(name_), captions.horizontalAdvance(caption_)) + 2,
            names.height() + lineGap + captions.height()};
}

QSize ToolRowText::minimumSizeHint() const {
    const QFontMetrics names(nameFont());
    return {std::min(sizeHint().width(), names.horizontalAdvance(QStringLiteral("Claude Desktop"))),
            sizeHint().height()};
}

QString ToolRowText::shownCaption() const {
    // An email address can be of any length; the middle goes, both ends stay.
    return QFontMetrics(captionFont()).elidedText(caption_, Qt::ElideMiddle, width());
}

void ToolRowText::updateToolTip() {
    setToolTip(shownCaption() == caption_ ? QString() : plainToolTip(caption_));
}

void ToolRowText::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateToolTip();
}

void ToolRowText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics names(nameFont());
    const QFontMetrics captions(captionFont());
    painter.setFont(nameFont());
    painter.setPen(appearance::label(palette()));
    painter.drawText(QRect(0, 0, width(), names.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     names.elidedText(name_, Qt::ElideRight, width()));
    painter.setFont(captionFont());
    painter.setPen(attention_ ? appearance::orange(palette())
                              : appearance::secondaryLabel(palette()));
    painter.drawText(QRect(0, names.height() + lineGap, width(), captions.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, shownCaption());
}

ToolRow::ToolRow(app::ModelBridge& bridge, Profile profile, ToolKind tool, QWidget* parent)
    : QWidget(parent), bridge_(bridge), profile_(std::move(profile)), tool_(tool) {
    auto* row = handedOver<QHBoxLayout>(this);
    row->setContentsMargins(0, 4, 0, 4);
    text_ = owned<ToolRowText>(this);
    row->addWidget(text_, 1, Qt::AlignVCenter);
    row->addStretch(0);
    buttonArea_ = handedOver<QHBoxLayout>();
    buttonArea_->setSpacing(10);
    row->addLayout(buttonArea_);
    connect(&bridge_, &app::ModelBridge::changed, this, [this](app::ModelField field) {
        using F = app::ModelField;
        if (field == F::statuses || field == F::signingIn || field == F::runningApps ||
            field == F::usage || field == F::context) {
            refresh();
        }
    });
    refresh();
}

void ToolRow::setProfile(const Profile& profile) {
    profile_ = profile;
    refresh();
}

void ToolRow::refresh() {
    const ToolRowFacts facts = ToolRowFacts::of(bridge_.model(), profile_, tool_);
    text_->set(qs(toolRowName(tool_)), qs(toolRowCaption(facts)), captionNeedsAttention(facts));
    std::vector<ToolRowButton> wanted = toolRowButtons(facts);
    if (wanted == shown_) {
        return;
    }
    // Same buttons with new titles or states are updated in place, so focus stays.
    const bool sameKinds = wanted.size() == shown_.size() &&
                           std::equal(wanted.begin(), wanted.end(), shown_.begin(),
                                      [](const ToolRowButton& a, const ToolRowButton& b) {
                                          return a.action == b.action;
                                      });
    if (!sameKinds) {
        for (QPushButton* button : buttons_) {
            button->hide();
            button->deleteLater();
        }
        buttons_.clear();
        for (const ToolRowButton& spec : wanted) {
            auto* button = owned<QPushButton>(this);
            if (spec.link) {
                button->setFlat(true);
                button->setCursor(Qt::PointingHandCursor);
                QPalette p = button->palette();
                p.setColor(QPalette::ButtonText, p.color(QPalette::Link));
                button->setPalette(p);
            }
            const ToolRowButton::Action action = spec.action;
            connect(button, &QPushButton::clicked, this, [this, action] { run(action); });
            buttonArea_->addWidget(button);
            buttons_.push_back(button);
        }
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        setButtonText(buttons_[i], qs(wanted[i].title));
        buttons_[i]->setToolTip(plainToolTip(qs(wanted[i].help)));
        buttons_[i]->setEnabled(wanted[i].enabled);
    }
    shown_ = std::move(wanted);
}

void ToolRow::run(ToolRowButton::Action action) {
    app::AppModel& model = bridge_.model();
    switch (action) {
    case ToolRowButton::Action::openApp:
        model.openApp(profile_, tool_);
        break;
    case ToolRowButton::Action::signIn:
        model.signIn(profile_, tool_);
        break;
    case ToolRowButton::Action::signInWithGoogle:
        model.signInWithGoogle(profile_);
        break;
    }
}

} // namespace twinlantern::ui
