#include "TwinLanternApp/ui/profiles/ProfilesTabList.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Labels.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/frame/ProfileLook.h"

#include <QApplication>
#include <QDataStream>
#include <QIODevice>
#include <QMimeData>
#include <QPainter>

#include <algorithm>

namespace twinlantern::ui {
namespace {

constexpr int dotSize = 12;
constexpr int padding = 6;
constexpr int dotGap = 7;
constexpr int lineGap = 1;

QFont captionFont() {
    return appearance::font(appearance::TextStyle::caption);
}

bool sameOrder(const std::vector<Profile>& a, const std::vector<Profile>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Profile& x, const Profile& y) { return x.id == y.id; });
}

} // namespace

const QString ProfileListModel::mimeType =
    QStringLiteral("application/x-twinlantern-profile-offsets");

QString sidebarSecondLine(const Profile& profile) {
    return profile.storage == Profile::Storage::system ? QStringLiteral("Your existing accounts")
                                                       : qs(functionSummary(profile));
}

ProfileListModel::ProfileListModel(Move move, QObject* parent)
    : QAbstractListModel(parent), move_(std::move(move)) {}

void ProfileListModel::setProfiles(std::vector<Profile> profiles) {
    if (profiles == profiles_) {
        return;
    }
    if (!sameOrder(profiles, profiles_)) {
        beginResetModel();
        profiles_ = std::move(profiles);
        endResetModel();
        return;
    }
    profiles_ = std::move(profiles);
    if (!profiles_.empty()) {
        emit dataChanged(index(0), index(int(profiles_.size()) - 1));
    }
}

int ProfileListModel::rowOf(const ProfileID& id) const {
    const auto found = std::find_if(profiles_.begin(), profiles_.end(),
                                    [&id](const Profile& p) { return p.id == id; });
    return found == profiles_.end() ? -1 : int(found - profiles_.begin());
}

int ProfileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(profiles_.size());
}

QVariant ProfileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(profiles_.size())) {
        return {};
    }
    const Profile& profile = profiles_[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return qs(profile.name);
    case Qt::ToolTipRole:
        return plainToolTip(nameText(profile.name));
    case secondLineRole:
    case Qt::AccessibleDescriptionRole:
        return sidebarSecondLine(profile);
    case idRole:
        return qs(profile.id.rawValue);
    case colorRole:
        return int(profile.color);
    default:
        return {};
    }
}

Qt::ItemFlags ProfileListModel::flags(const QModelIndex& index) const {
    // Drops land between rows, never on one.
    if (!index.isValid()) {
        return Qt::ItemIsDropEnabled;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QMimeData* ProfileListModel::mimeData(const QModelIndexList& indexes) const {
    QByteArray offsets;
    QDataStream out(&offsets, QIODevice::WriteOnly);
    for (const QModelIndex& index : indexes) {
        if (index.isValid()) {
            out << qint32(index.row());
        }
    }
    auto* data = handedOver<QMimeData>(); // the drag takes it
    data->setData(mimeType, offsets);
    return data;
}

bool ProfileListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                    const QModelIndex& parent) {
    if (data == nullptr || action != Qt::MoveAction || !data->hasFormat(mimeType)) {
        return false;
    }
    std::set<std::size_t> from;
    QDataStream in(data->data(mimeType));
    while (!in.atEnd()) {
        qint32 offset = -1;
        in >> offset;
        if (in.status() != QDataStream::Ok) {
            break;
        }
        if (offset >= 0 && offset < int(profiles_.size())) {
            from.insert(std::size_t(offset));
        }
    }
    if (from.empty()) {
        return false;
    }
    int to = row;
    if (to < 0) {
        to = parent.isValid() ? parent.row() : int(profiles_.size());
    }
    move_(from, std::size_t(std::clamp(to, 0, int(profiles_.size()))));
    return true;
}

bool ProfileListModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                                const QModelIndex& destinationParent, int destinationChild) {
    const int size = int(profiles_.size());
    if (sourceParent.isValid() || destinationParent.isValid() || count <= 0 || sourceRow < 0 ||
        sourceRow + count > size || destinationChild < 0 || destinationChild > size) {
        return false;
    }
    std::set<std::size_t> from;
    for (int offset = sourceRow; offset < sourceRow + count; ++offset) {
        from.insert(std::size_t(offset));
    }
    move_(from, std::size_t(destinationChild));
    return true;
}

void ProfileRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    item.text.clear();
    item.icon = QIcon();
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &item, painter, widget);

    const QRect box = option.rect.adjusted(padding, padding, -padding, -padding);
    const auto color = static_cast<ProfileColor>(index.data(ProfileListModel::colorRole).toInt());
    const QFontMetrics names(option.font);
    const QFontMetrics captions(captionFont());
    const int dotTop = box.top() + (names.height() - dotSize) / 2;
    painter->drawPixmap(QRect(box.left(), dotTop, dotSize, dotSize),
                        DotImage::make(color, dotSize, painter->device()->devicePixelRatioF()));

    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const QPalette& palette = option.palette;
    if (selected) {
        // A blue dot would vanish on the blue selection.
        DotImage::drawRing(*painter, QRectF(box.left(), dotTop, dotSize, dotSize),
                           palette.color(QPalette::HighlightedText));
    }
    const int left = box.left() + dotSize + dotGap;
    const int width = std::max(0, box.right() - left);
    painter->save();
    painter->setFont(option.font);
    painter->setPen(selected ? palette.color(QPalette::HighlightedText)
                             : appearance::label(palette));
    painter->drawText(QRect(left, box.top(), width, names.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      names.elidedText(isolatedName(utf8(index.data(Qt::DisplayRole).toString())),
                                       Qt::ElideMiddle, width));
    painter->setFont(captionFont());
    painter->setPen(selected ? palette.color(QPalette::HighlightedText)
                             : appearance::secondaryLabel(palette));
    painter->drawText(QRect(left, box.top() + names.height() + lineGap, width, captions.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      captions.elidedText(index.data(ProfileListModel::secondLineRole).toString(),
                                          Qt::ElideRight, width));
    painter->restore();
}

QSize ProfileRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const QFontMetrics names(option.font);
    const QFontMetrics captions(captionFont());
    return {option.rect.width(), padding + names.height() + lineGap + captions.height() + padding};
}

} // namespace twinlantern::ui
