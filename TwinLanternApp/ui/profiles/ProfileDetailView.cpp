#include "TwinLanternApp/ui/profiles/ProfileDetailView.h"
#include "TwinLanternApp/ui/frame/Confirmation.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/profiles/ColourPicker.h"
#include "TwinLanternApp/ui/frame/ElidedLabel.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/profiles/ProfileFolderChooser.h"
#include "TwinLanternApp/ui/profiles/ToolRow.h"
#include "TwinLanternApp/ui/profiles/UseForPicker.h"

#include "TwinLanternApp/app/ModelBridge.h"
#include "core/base/PathUtil.h"
#include "core/base/Text.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace twinlantern::ui {
namespace {

constexpr int removeSize = 16;

QLabel* sectionHeader(const QString& title, QWidget* parent) {
    QLabel* header = plainLabel(title, parent);
    header->setFont(appearance::font(appearance::TextStyle::headline));
    return header;
}

QLabel* dimmed(const QString& text, QWidget* parent) {
    QLabel* label = plainLabel(text, parent);
    label->setWordWrap(true);
    appearance::setTextColor(label, appearance::secondaryLabel(parent->palette()));
    return label;
}

} // namespace

RemoveFolderButton::RemoveFolderButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(sizeHint());
}

QSize RemoveFolderButton::sizeHint() const {
    return {removeSize, removeSize};
}

void RemoveFolderButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(1, 1, removeSize - 2, removeSize - 2);
    painter.setPen(hasFocus() ? QPen(appearance::accent(palette()), 1.5) : Qt::NoPen);
    painter.setBrush(appearance::tertiaryLabel(palette()));
    painter.drawEllipse(box);
    QPen cross(palette().color(QPalette::Base), 1.6);
    cross.setCapStyle(Qt::RoundCap);
    painter.setPen(cross);
    const QRectF arms = box.adjusted(4.5, 4.5, -4.5, -4.5);
    painter.drawLine(arms.topLeft(), arms.bottomRight());
    painter.drawLine(arms.topRight(), arms.bottomLeft());
}

ProfileDetailView::ProfileDetailView(app::ModelBridge& bridge, Profile profile, OnDeleted onDeleted,
                                     QWidget* parent)
    : QWidget(parent), bridge_(bridge), profile_(std::move(profile)),
      onDeleted_(std::move(onDeleted)) {
    auto* outer = handedOver<QVBoxLayout>(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = owned<QScrollArea>(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);
    auto* content = owned<QWidget>(scroll);
    auto* column = handedOver<QVBoxLayout>(content);
    column->setContentsMargins(20, 16, 20, 16);
    column->setSpacing(8);

    auto* form = handedOver<QFormLayout>();
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    // A field too wide beside its label goes under it rather than past the window.
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    name_ = owned<QLineEdit>(content);
    name_->setPlaceholderText(QStringLiteral("e.g. Codex Work"));
    name_->setAccessibleName(QStringLiteral("Name"));
    shownName_ = qs(profile_.name);
    name_->setText(shownName_);
    form->addRow(plainLabel(QStringLiteral("Name"), content), name_);
    const ProfileID id = profile_.id;
    app::ModelBridge* model = &bridge_;
    colours_ = owned<ColourPicker>(content, profile_.color, [model, id](ProfileColor color) {
        model->model().edit(id, [color](Profile& p) { p.color = color; });
    });
    colours_->setAccessibleName(QStringLiteral("Colour"));
    form->addRow(plainLabel(QStringLiteral("Colour"), content), colours_);
    tools_ = owned<UseForPicker>(content);
    tools_->setAccessibleName(QStringLiteral("Use it for"));
    form->addRow(plainLabel(QStringLiteral("Use it for"), content), tools_);
    column->addLayout(form);

    column->addSpacing(10);
    column->addWidget(sectionHeader(QStringLiteral("Accounts"), content));
    systemNote_ =
        dimmed(QStringLiteral("Uses the accounts you were already signed in to."), content);
    column->addWidget(systemNote_);
    toolArea_ = handedOver<QVBoxLayout>();
    toolArea_->setSpacing(0);
    column->addLayout(toolArea_);

    column->addSpacing(10);
    column->addWidget(sectionHeader(QStringLiteral("Folders"), content));
    folderArea_ = handedOver<QVBoxLayout>();
    folderArea_->setSpacing(4);
    column->addLayout(folderArea_);
    addFolder_ = owned<QPushButton>(content);
    setButtonText(addFolder_, QStringLiteral("Add folder\u2026"));
    column->addWidget(addFolder_, 0, Qt::AlignLeft);

    column->addSpacing(10);
    delete_ = owned<QPushButton>(content);
    setButtonText(delete_, QStringLiteral("Delete Profile\u2026"));
    {
        QPalette red = delete_->palette();
        red.setColor(QPalette::ButtonText, QColor(0xd7, 0x3a, 0x31));
        delete_->setPalette(red);
    }
    column->addWidget(delete_, 0, Qt::AlignLeft);
    column->addStretch(1);
    scroll->setWidget(content);

    connect(name_, &QLineEdit::returnPressed, this, &ProfileDetailView::commitName);
    connect(tools_, &UseForPicker::toolsChanged, this, [this] {
        const std::set<ToolKind> chosen = tools_->tools();
        bridge_.model().edit(profile_.id, [&chosen](Profile& p) {
            p.setTools(std::vector<ToolKind>(chosen.begin(), chosen.end()));
        });
    });
    connect(addFolder_, &QPushButton::clicked, this, &ProfileDetailView::chooseFolder);
    connect(delete_, &QPushButton::clicked, this, &ProfileDetailView::confirmDelete);
    connect(&bridge_, &app::ModelBridge::changed, this, [this](app::ModelField field) {
        using F = app::ModelField;
        if (field == F::statuses || field == F::context || field == F::desktopInstall ||
            field == F::runningApps) {
            refresh();
        } else {
            // Whether a folder is there is asked anew whenever anything is redrawn.
            refreshFolders();
        }
    });
    refresh();
}

void ProfileDetailView::setProfile(const Profile& profile) {
    profile_ = profile;
    // A field the user never edited shows a rename made elsewhere; an edited one is left
    // as typed.
    const QString stored = qs(profile_.name);
    if (name_->text() == shownName_ && stored != shownName_) {
        name_->setText(stored);
    }
    if (name_->text() == stored) {
        shownName_ = stored;
    }
    refresh();
}

void ProfileDetailView::refresh() {
    colours_->setSelection(profile_.color);
    tools_->setTools(std::set<ToolKind>(profile_.tools().begin(), profile_.tools().end()));
    tools_->setInstalled(bridge_.model().installedTools());
    systemNote_->setVisible(profile_.storage == Profile::Storage::system);
    refreshToolRows();
    refreshFolders();
}

std::vector<ToolRow*> ProfileDetailView::toolRows() const {
    std::vector<ToolRow*> rows;
    for (ToolKind tool : shownTools_) {
        rows.push_back(toolRows_.at(tool));
    }
    return rows;
}

void ProfileDetailView::refreshToolRows() {
    const app::AppModel& model = bridge_.model();
    std::vector<ToolKind> wanted;
    for (ToolKind tool : profile_.tools()) {
        const auto status = model.status(profile_, tool);
        if (!status || status->state != ToolStatus::Case::notInstalled) {
            wanted.push_back(tool);
        }
    }
    if (wanted != shownTools_) {
        // Rows of tools that stay are kept, so their buttons keep focus.
        for (auto it = toolRows_.begin(); it != toolRows_.end();) {
            toolArea_->removeWidget(it->second);
            if (std::find(wanted.begin(), wanted.end(), it->first) == wanted.end()) {
                it->second->hide();
                it->second->deleteLater();
                it = toolRows_.erase(it);
            } else {
                ++it;
            }
        }
        for (ToolKind tool : wanted) {
            auto found = toolRows_.find(tool);
            if (found == toolRows_.end()) {
                found = toolRows_
                            .emplace(tool, owned<ToolRow>(systemNote_->parentWidget(), bridge_,
                                                          profile_, tool))
                            .first;
            }
            toolArea_->addWidget(found->second);
            found->second->show();
        }
        shownTools_ = std::move(wanted);
    }
    for (auto& [tool, row] : toolRows_) {
        if (!(row->profile() == profile_)) {
            row->setProfile(profile_);
        }
    }
}

void ProfileDetailView::refreshFolders() {
    const app::AppModel& model = bridge_.model();
    const std::vector<FolderRule> rules = model.document().rulesFor(profile_.id);
    const bool same =
        std::equal(rules.begin(), rules.end(), folders_.begin(), folders_.end(),
                   [](const FolderRule& a, const FolderRow& b) { return a == b.rule; });
    QWidget* content = systemNote_->parentWidget();
    if (!same) {
        for (FolderRow& old : folders_) {
            folderArea_->removeWidget(old.row);
            old.row->hide();
            old.row->deleteLater();
        }
        folders_.clear();
        for (const FolderRule& rule : rules) {
            FolderRow row;
            row.rule = rule;
            row.row = owned<QWidget>(content);
            auto* line = handedOver<QHBoxLayout>(row.row);
            line->setContentsMargins(0, 0, 0, 0);
            const QString folder = qs(rule.folderPath());
            row.path = owned<ElidedLabel>(row.row);
            row.path->setText(folder);
            line->addWidget(row.path, 0, Qt::AlignVCenter);
            row.missing = plainLabel(QStringLiteral("missing"), row.row);
            row.missing->setFont(appearance::font(appearance::TextStyle::caption));
            appearance::setTextColor(row.missing, appearance::orange(palette()));
            line->addWidget(row.missing, 0, Qt::AlignVCenter);
            line->addStretch(1);
            row.remove = owned<RemoveFolderButton>(row.row);
            row.remove->setAccessibleName(QStringLiteral("Remove ") + folder);
            row.remove->setToolTip(plainToolTip(QStringLiteral("Remove ") + folder));
            app::ModelBridge* bridge = &bridge_;
            connect(row.remove, &QAbstractButton::clicked, this,
                    [bridge, rule] { bridge->model().removeRule(rule); });
            line->addWidget(row.remove, 0, Qt::AlignVCenter);
            folderArea_->addWidget(row.row);
            row.row->show(); // now, not after the layout's queued show
            folders_.push_back(row);
        }
    }
    for (FolderRow& row : folders_) {
        const bool there =
            PathUtil::isDirectory(PathUtil::expandTilde(row.rule.folderPath(), model.paths().home));
        row.missing->setVisible(!there);
    }
}

void ProfileDetailView::commitName() {
    const std::string typed = utf8(name_->text());
    const std::string trimmed(text::trimSpacesTabs(typed));
    if (trimmed.empty() || trimmed == profile_.name) {
        shownName_ = qs(profile_.name);
        if (name_->text() != shownName_) {
            name_->setText(shownName_);
        }
        return;
    }
    bridge_.model().edit(profile_.id, [&trimmed](Profile& p) {
        p.name = trimmed;
        p.badge = Profile::defaultBadge(trimmed);
    });
}

void ProfileDetailView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refreshFolders();
}

void ProfileDetailView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!retired_) {
        commitName();
    }
}

void ProfileDetailView::chooseFolder() {
    app::ModelBridge* bridge = &bridge_;
    const ProfileID id = profile_.id;
    // The panel belongs to the window and may outlive this editor.
    chooseProfileFolder(
        this, bridge_.model().paths().home,
        [bridge, id](const std::string& folder) { bridge->model().addRule(folder, id); });
}

void ProfileDetailView::confirmDelete() {
    if (confirmation_) {
        confirmation_->raise();
        return;
    }
    const QString name = isolatedName(profile_.name);
    const QString title = QStringLiteral("Delete ") + name + QStringLiteral("?");
    auto* box =
        owned<QMessageBox>(window(), QMessageBox::NoIcon, title, QString(), QMessageBox::NoButton);
    box->setText(title);
    box->setInformativeText(profile_.storage == Profile::Storage::system
                                ? QStringLiteral("Your existing accounts aren't touched.")
                                : QStringLiteral("Signs ") + name +
                                      QStringLiteral(" out and deletes its data, including its "
                                                     "Claude Desktop chats."));
    makePlain(box);
    QPushButton* confirm = box->addButton(QStringLiteral("Delete"), QMessageBox::DestructiveRole);
    markDestructive(confirm);
    fitTitle(box);
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    confirmation_ = box;
    connect(confirm, &QPushButton::clicked, this, &ProfileDetailView::deleteConfirmed);
    box->open();
}

void ProfileDetailView::deleteConfirmed() {
    app::ModelBridge* bridge = &bridge_;
    const ProfileID id = profile_.id;
    // The editor goes away when the profile leaves the document, before the deletion
    // reports back: what runs then holds no pointer to it.
    bridge_.model().deleteProfile(profile_, [bridge, id, onDeleted = onDeleted_] {
        if (bridge->model().document().profile(id) == nullptr && onDeleted) {
            onDeleted();
        }
    });
}

} // namespace twinlantern::ui
