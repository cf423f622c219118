#pragma once

#include "TwinLanternApp/ui/profiles/NewProfileSheet.h"
#include "TwinLanternApp/ui/profiles/ProfileDetailView.h"

#include "core/profiles/Profile.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QLabel;
class QListView;
class QPushButton;
class QToolButton;

namespace twinlantern::app {
class ModelBridge;
}

namespace twinlantern::ui {

class ProfileListModel;

// The Profiles tab: the sidebar of profiles in document order (drag to reorder, "+" to
// create one) and the editor of the selected one, or what to do when there is none.
class ProfilesTab final : public QWidget {
    Q_OBJECT
public:
    static constexpr int sidebarWidth = 190;

    explicit ProfilesTab(app::ModelBridge& bridge, QWidget* parent = nullptr);

    const std::optional<ProfileID>& selection() const { return selection_; }
    // Commits the editor being left, then shows the profile (or nothing).
    void select(const std::optional<ProfileID>& id);
    // The new-profile sheet; an open one is raised.
    void showNewProfile();

    QListView* list() const { return list_; }
    ProfileListModel* rows() const { return rows_; }
    QToolButton* addButton() const { return add_; }
    // The editor of the selected profile; null while the empty state shows.
    ProfileDetailView* detail() const { return detail_; }
    QWidget* emptyState() const { return empty_; }
    QLabel* emptyText() const { return emptyText_; }
    QPushButton* emptyAddButton() const { return emptyAdd_; }
    NewProfileSheet* newProfileSheet() const { return sheet_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void follow();
    void showSelected();
    void selectFirstWhenNone();
    void syncListSelection();

    app::ModelBridge& bridge_;
    std::optional<ProfileID> selection_;
    bool syncing_ = false;
    ProfileListModel* rows_ = nullptr;
    QListView* list_ = nullptr;
    QToolButton* add_ = nullptr;
    QWidget* right_ = nullptr;
    QPointer<ProfileDetailView> detail_;
    QWidget* empty_ = nullptr;
    QLabel* emptyText_ = nullptr;
    QPushButton* emptyAdd_ = nullptr;
    QPointer<NewProfileSheet> sheet_;
};

} // namespace twinlantern::ui
