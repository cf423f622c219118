#pragma once

#include "core/profiles/Profile.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>

#include <cstddef>
#include <functional>
#include <set>
#include <vector>

namespace twinlantern::ui {

// The sidebar's rows: the document's profiles in order. Dragging a row asks the app
// model to move it; the list shows the new order when the document comes back.
class ProfileListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { idRole = Qt::UserRole + 1, secondLineRole, colorRole };
    using Move =
        std::function<void(const std::set<std::size_t>& fromOffsets, std::size_t toOffset)>;
    static const QString mimeType;

    explicit ProfileListModel(Move move, QObject* parent = nullptr);

    // Resets only when the ids or their order change, so a rename keeps the selection.
    void setProfiles(std::vector<Profile> profiles);
    const std::vector<Profile>& profiles() const { return profiles_; }
    int rowOf(const ProfileID& id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override { return {mimeType}; }
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    // The drop of a drag (the offsets in the mime data) and the list's own internal
    // move both end in the app model's move; rows never change here directly.
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                  const QModelIndex& destinationParent, int destinationChild) override;

private:
    std::vector<Profile> profiles_;
    Move move_;
};

// A row: the 12-point dot, the name, and a dimmed second line.
class ProfileRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// "Your existing accounts" for system storage, else what the profile is for.
QString sidebarSecondLine(const Profile& profile);

} // namespace twinlantern::ui
