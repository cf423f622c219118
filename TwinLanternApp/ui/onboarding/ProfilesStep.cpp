#include "TwinLanternApp/ui/onboarding/ProfilesStep.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/ElidedLabel.h"
#include "TwinLanternApp/ui/frame/LinuxWords.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/profiles/ProfileFolderChooser.h"
#include "TwinLanternApp/ui/frame/ProfileLook.h"
#include "TwinLanternApp/ui/onboarding/StepHeading.h"
#include "TwinLanternApp/ui/profiles/UseForPicker.h"

#include "TwinLanternApp/app/ModelBridge.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace twinlantern::ui {
namespace {

constexpr int indent = 30;
constexpr int nameWidth = 180;

// A small padlock before the Keychain note, in the note's colour. Decoration only.
class LockGlyph final : public QWidget {
public:
    explicit LockGlyph(QWidget* parent) : QWidget(parent) { setFixedSize(12, 14); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor color = appearance::secondaryLabel(palette());
        QPen pen(color, 1.4);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        QPainterPath shackle;
        shackle.moveTo(3.2, 7);
        shackle.lineTo(3.2, 4.6);
        shackle.arcTo(QRectF(3.2, 1.2, 5.6, 6.4), 180, -180);
        shackle.lineTo(8.8, 7);
        p.drawPath(shackle);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawRoundedRect(QRectF(1, 6.5, 10, 7), 1.5, 1.5);
    }
};

} // namespace

PlanRowView::PlanRowView(app::ModelBridge& bridge, app::ProfilePlan& plan, std::size_t index,
                         std::function<void()> edited, QWidget* parent)
    : QWidget(parent), bridge_(bridge), plan_(plan), index_(index), edited_(std::move(edited)) {
    auto* column = handedOver<QVBoxLayout>(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);

    auto* header = handedOver<QHBoxLayout>();
    header->setSpacing(10);
    include_ = owned<QCheckBox>(this);
    dot_ = owned<ProfileDot>(this, entry().color, 12);
    name_ = owned<QLineEdit>(this);
    name_->setPlaceholderText(QStringLiteral("e.g. Codex Work"));
    name_->setAccessibleName(QStringLiteral("Name"));
    name_->setFixedWidth(nameWidth);
    name_->setText(qs(entry().name));
    header->addWidget(include_, 0, Qt::AlignVCenter);
    header->addWidget(dot_, 0, Qt::AlignVCenter);
    header->addWidget(name_, 0, Qt::AlignVCenter);
    header->addStretch(1);
    column->addLayout(header);

    details_ = owned<QWidget>(this);
    auto* below = handedOver<QVBoxLayout>(details_);
    below->setContentsMargins(indent, 0, 0, 0);
    below->setSpacing(8);
    tools_ = owned<UseForPicker>(details_);
    tools_->setAccessibleName(QStringLiteral("Use it for"));
    below->addWidget(tools_);
    existing_ = owned<QCheckBox>(details_);
    setButtonText(existing_, QStringLiteral("Use the accounts I'm already signed in to"));
    below->addWidget(existing_);
    folderRow_ = owned<QWidget>(details_);
    auto* folder = handedOver<QHBoxLayout>(folderRow_);
    folder->setContentsMargins(0, 0, 0, 0);
    folder->setSpacing(8);
    folderButton_ = owned<QPushButton>(folderRow_);
    folderText_ = owned<ElidedLabel>(folderRow_);
    folderText_->setFont(appearance::font(appearance::TextStyle::body));
    folderText_->setForegroundRole(QPalette::PlaceholderText); // the secondary style
    folder->addWidget(folderButton_);
    folder->addWidget(folderText_, 1);
    below->addWidget(folderRow_);
    column->addWidget(details_);

    connect(include_, &QCheckBox::toggled, this, [this](bool on) {
        row().include = on;
        edited_();
    });
    connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) {
        row().name = utf8(text);
        edited_();
    });
    connect(tools_, &UseForPicker::toolsChanged, this, [this] {
        row().tools = tools_->tools();
        edited_();
    });
    connect(existing_, &QCheckBox::toggled, this, [this](bool on) {
        row().existing = on;
        edited_();
    });
    connect(folderButton_, &QPushButton::clicked, this, &PlanRowView::chooseFolder);
}

bool PlanRowView::toggleShown() const {
    if (entry().existing) {
        return true;
    }
    return std::none_of(plan_.entries.begin(), plan_.entries.end(),
                        [this](const app::ProfilePlan::Entry& other) {
                            return other.id != entry().id && other.include && other.existing;
                        });
}

void PlanRowView::sync() {
    const app::ProfilePlan::Entry& shown = entry();
    {
        const QSignalBlocker quiet(include_);
        include_->setChecked(shown.include);
    }
    include_->setAccessibleName(QStringLiteral("Create ") + qs(shown.name));
    if (utf8(name_->text()) != shown.name) {
        const QSignalBlocker quiet(name_);
        name_->setText(qs(shown.name));
    }
    dot_->setColor(shown.color);
    if (tools_->tools() != shown.tools) {
        tools_->setTools(shown.tools);
    }
    tools_->setInstalled(bridge_.model().installedTools());
    {
        const QSignalBlocker quiet(existing_);
        existing_->setChecked(shown.existing);
    }
    existing_->setVisible(toggleShown());
    // A folder chosen before the row kept the accounts stays in the row; only the
    // control goes.
    folderRow_->setVisible(!shown.existing);
    setButtonText(folderButton_, shown.folder ? QStringLiteral("Change folder…")
                                              : QStringLiteral("Choose its folder…"));
    folderText_->setText(shown.folder ? qs(bridge_.model().paths().abbreviate(*shown.folder))
                                      : QStringLiteral("optional, for the terminal"));
    details_->setEnabled(shown.include);
}

void PlanRowView::chooseFolder() {
    chooseProfileFolder(this, bridge_.model().paths().home, [this](const std::string& path) {
        row().folder = path;
        edited_();
    });
}

ProfilesStep::ProfilesStep(app::ModelBridge& bridge, app::ProfilePlan& plan,
                           std::function<void()> edited, QWidget* parent)
    : QWidget(parent), bridge_(bridge), plan_(plan), edited_(std::move(edited)) {
    // Each showing gives the rows that have no tools the installed apps.
    plan_.fillEmptyTools(bridge_.model().installedApps());

    auto* column = handedOver<QVBoxLayout>(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);

    column->addLayout(stepHeading(
        QStringLiteral("Your profiles"),
        QStringLiteral("Name each one and choose what it's for, e.g. “Codex Work” for Codex only."),
        this));

    auto* scroll = owned<QScrollArea>(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Tab goes through the rows, which the area scrolls into view; it is no stop itself.
    scroll->setFocusPolicy(Qt::NoFocus);
    auto* content = owned<QWidget>(scroll);
    auto* stack = handedOver<QVBoxLayout>(content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(16);
    list_ = handedOver<QVBoxLayout>();
    list_->setSpacing(16);
    stack->addLayout(list_);
    add_ = owned<QPushButton>(content);
    setButtonText(add_, QStringLiteral("Add another profile"));
    add_->setFlat(true);
    add_->setCursor(Qt::PointingHandCursor);
    QPalette link = add_->palette();
    link.setColor(QPalette::ButtonText, link.color(QPalette::Link));
    add_->setPalette(link);
    stack->addWidget(add_, 0, Qt::AlignLeft);
    stack->addStretch(1);
    scroll->setWidget(content);
    column->addWidget(scroll, 1);

    auto* note = handedOver<QHBoxLayout>();
    note->setSpacing(6);
    note->addWidget(owned<LockGlyph>(this), 0, Qt::AlignVCenter);
    note->addWidget(secondaryLabel(QString::fromUtf8(linuxWords::loginsStayHere), this,
                                   appearance::TextStyle::callout),
                    1);
    column->addLayout(note);

    for (std::size_t i = 0; i < plan_.entries.size(); ++i) {
        addRow(i);
    }
    connect(add_, &QPushButton::clicked, this, [this] {
        plan_.addEntry(bridge_.model().installedApps());
        addRow(plan_.entries.size() - 1);
        rowEdited();
    });
    connect(&bridge_, &app::ModelBridge::changed, this, [this](app::ModelField field) {
        if (field == app::ModelField::context || field == app::ModelField::desktopInstall) {
            for (PlanRowView* row : rows_) {
                row->sync();
            }
        }
    });
}

void ProfilesStep::addRow(std::size_t index) {
    auto* row =
        owned<PlanRowView>(list_->parentWidget(), bridge_, plan_, index, [this] { rowEdited(); });
    list_->addWidget(row);
    if (isVisible()) {
        row->show(); // the layout alone would show it only on the next turn of the loop
    }
    // A row added later joins the focus chain at its end; Tab goes through it after the
    // rows before it, then to "Add another profile". Qt leaves a hidden widget where it
    // is, so the order is set before the row hides what it doesn't show.
    std::vector<QWidget*> order;
    if (!rows_.empty()) {
        order.push_back(rows_.back()->folderButton());
    }
    order.push_back(row->includeBox());
    order.push_back(row->nameField());
    for (const bool apps : {true, false}) { // the picker's two lines
        for (const ToolKind kind : allToolKinds) {
            if (isApp(kind) == apps) {
                order.push_back(row->tools()->checkBox(kind));
            }
        }
    }
    order.push_back(row->existingToggle());
    order.push_back(row->folderButton());
    order.push_back(add_);
    for (std::size_t i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    row->sync();
    rows_.push_back(row);
}

void ProfilesStep::rowEdited() {
    // The toggle's rule spans the rows, so every row looks again.
    for (PlanRowView* row : rows_) {
        row->sync();
    }
    if (edited_) {
        edited_();
    }
}

} // namespace twinlantern::ui
