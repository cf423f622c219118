#include "TwinLanternApp/ui/profiles/ProfilesTab.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/profiles/NewProfileSheet.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/profiles/ProfileDetailView.h"
#include "TwinLanternApp/ui/profiles/ProfilesTabList.h"

#include "TwinLanternApp/app/ModelBridge.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace twinlantern::ui {
namespace {

QFrame* divider(QFrame::Shape shape, QWidget* parent) {
    auto* line = owned<QFrame>(parent);
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Plain);
    QPalette p = line->palette();
    p.setColor(QPalette::WindowText, appearance::separator(p));
    line->setPalette(p);
    return line;
}

} // namespace

ProfilesTab::ProfilesTab(app::ModelBridge& bridge, QWidget* parent)
    : QWidget(parent), bridge_(bridge) {
    auto* stack = handedOver<QHBoxLayout>(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    auto* sidebar = owned<QWidget>(this);
    sidebar->setFixedWidth(sidebarWidth);
    auto* column = handedOver<QVBoxLayout>(sidebar);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    app::ModelBridge* model = &bridge_;
    rows_ =
        owned<ProfileListModel>(this, [model](const std::set<std::size_t>& from, std::size_t to) {
            model->model().move(from, to);
        });
    list_ = owned<QListView>(sidebar);
    list_->setAccessibleName(QStringLiteral("Profiles"));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setModel(rows_);
    list_->setItemDelegate(owned<ProfileRowDelegate>(list_));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setDragDropMode(QAbstractItemView::InternalMove);
    list_->setDefaultDropAction(Qt::MoveAction);
    list_->setDragEnabled(true);
    list_->setDropIndicatorShown(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setUniformItemSizes(true);
    column->addWidget(list_, 1);
    column->addWidget(divider(QFrame::HLine, sidebar));
    auto* bar = handedOver<QHBoxLayout>();
    bar->setContentsMargins(6, 6, 6, 6);
    add_ = owned<QToolButton>(sidebar);
    add_->setText(QStringLiteral("+"));
    add_->setAccessibleName(QStringLiteral("Add profile"));
    add_->setToolTip(QStringLiteral("Add profile"));
    add_->setAutoRaise(true);
    add_->setFocusPolicy(Qt::StrongFocus);
    add_->setFixedSize(22, 18);
    bar->addWidget(add_);
    bar->addStretch(1);
    column->addLayout(bar);
    stack->addWidget(sidebar);
    stack->addWidget(divider(QFrame::VLine, this));

    right_ = owned<QWidget>(this);
    right_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto* rightColumn = handedOver<QVBoxLayout>(right_);
    rightColumn->setContentsMargins(0, 0, 0, 0);
    empty_ = owned<QWidget>(right_);
    auto* emptyColumn = handedOver<QVBoxLayout>(empty_);
    emptyColumn->setSpacing(10);
    emptyColumn->addStretch(1);
    emptyText_ = plainLabel(QString(), empty_);
    emptyText_->setAlignment(Qt::AlignCenter);
    appearance::setTextColor(emptyText_, appearance::secondaryLabel(palette()));
    emptyColumn->addWidget(emptyText_, 0, Qt::AlignHCenter);
    emptyAdd_ = owned<QPushButton>(empty_);
    setButtonText(emptyAdd_, QStringLiteral("Add profile"));
    emptyColumn->addWidget(emptyAdd_, 0, Qt::AlignHCenter);
    emptyColumn->addStretch(1);
    rightColumn->addWidget(empty_);
    stack->addWidget(right_, 1);

    connect(add_, &QToolButton::clicked, this, &ProfilesTab::showNewProfile);
    connect(emptyAdd_, &QPushButton::clicked, this, &ProfilesTab::showNewProfile);
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (syncing_) {
                    return;
                }
                if (current.isValid()) {
                    select(ProfileID(utf8(current.data(ProfileListModel::idRole).toString())));
                }
            });
    // A click beside the rows clears the list's selection; the tab follows it.
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!syncing_ && selection_ && !list_->selectionModel()->hasSelection()) {
            select(std::nullopt);
        }
    });
    connect(&bridge_, &app::ModelBridge::changed, this, [this](app::ModelField field) {
        if (field == app::ModelField::document) {
            follow();
        }
    });
    follow();
    selectFirstWhenNone();
}

void ProfilesTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    selectFirstWhenNone();
}

void ProfilesTab::selectFirstWhenNone() {
    const auto& profiles = bridge_.model().document().profiles;
    if (!selection_ && !profiles.empty()) {
        select(profiles.front().id);
    }
}

void ProfilesTab::select(const std::optional<ProfileID>& id) {
    selection_ = id;
    // The editor being left saves its name first; the reload that follows may already
    // put the new editor in its place.
    if (detail_ && (!id || detail_->profile().id != *id)) {
        detail_->commitName();
    }
    syncListSelection();
    showSelected();
}

void ProfilesTab::follow() {
    rows_->setProfiles(bridge_.model().document().profiles);
    syncListSelection();
    showSelected();
}

void ProfilesTab::syncListSelection() {
    const int row = selection_ ? rows_->rowOf(*selection_) : -1;
    const QModelIndex wanted = row >= 0 ? rows_->index(row) : QModelIndex();
    QItemSelectionModel* picked = list_->selectionModel();
    if (picked->currentIndex() == wanted && (!wanted.isValid() || picked->isSelected(wanted))) {
        return;
    }
    syncing_ = true;
    if (wanted.isValid()) {
        picked->setCurrentIndex(wanted, QItemSelectionModel::ClearAndSelect);
    } else {
        picked->clear();
    }
    syncing_ = false;
}

void ProfilesTab::showSelected() {
    const Profile* selected =
        selection_ ? bridge_.model().document().profile(*selection_) : nullptr;
    if (detail_ && (selected == nullptr || detail_->profile().id != selected->id)) {
        ProfileDetailView* leaving = detail_;
        detail_ = nullptr;
        leaving->retire();
        leaving->hide();
        leaving->deleteLater();
    }
    if (selected == nullptr) {
        const bool none = bridge_.model().document().profiles.empty();
        setPlainText(emptyText_,
                     none ? QStringLiteral("No profiles yet") : QStringLiteral("Select a profile"));
        emptyAdd_->setVisible(none);
        empty_->show();
        return;
    }
    if (detail_) {
        // Also when the profile is the same: its folder rules may have changed.
        detail_->setProfile(*selected);
        return;
    }
    empty_->hide();
    const ProfileID id = selected->id;
    QPointer<ProfilesTab> tab(this);
    detail_ = owned<ProfileDetailView>(right_, bridge_, *selected, [tab, id] {
        // Another profile chosen meanwhile stays chosen.
        if (tab && tab->selection_ == id) {
            tab->select(std::nullopt);
        }
    });
    right_->layout()->addWidget(detail_);
    detail_->show();
}

void ProfilesTab::showNewProfile() {
    // A sheet that closed is only waiting for its deletion; every opening starts afresh.
    if (sheet_ && sheet_->isVisible()) {
        sheet_->raise();
        sheet_->activateWindow();
        return;
    }
    QPointer<ProfilesTab> tab(this);
    auto* sheet = owned<NewProfileSheet>(this, bridge_, [tab](const Profile& made) {
        if (tab) {
            tab->select(made.id);
        }
    });
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    sheet_ = sheet;
    sheet->open();
}

} // namespace twinlantern::ui
