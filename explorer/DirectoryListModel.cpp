#include "explorer/DirectoryListModel.h"

#include "explorer/DirectoryMap.h"
#include "explorer/RowTexts.h"
#include "platform/IconList.h"

DirectoryListModel::DirectoryListModel(QObject *parent) : QAbstractTableModel(parent) { }

void DirectoryListModel::append(QTreeWidgetItem *mapNode, bool site)
{
    rows.push_back({ mapNode, -1, site });
}

void DirectoryListModel::announce()
{
    if (pendingCount() <= 0)
        return;
    beginInsertRows({}, shown, size() - 1);
    shown = size();
    endInsertRows();
}

QTreeWidgetItem *DirectoryListModel::mapNode(int row) const
{
    return row >= 0 && row < size() ? rows[size_t(row)].mapNode : nullptr;
}

int DirectoryListModel::rowOf(const QTreeWidgetItem *mapNode) const
{
    for (int row = 0; row < size(); ++row)
        if (rows[size_t(row)].mapNode == mapNode)
            return row;
    return -1;
}

void DirectoryListModel::setShownName(const QTreeWidgetItem *mapNode, const QString &name)
{
    shownNames.insert(mapNode, name);
    nameChanged(mapNode);
}

void DirectoryListModel::forgetShownName(const QTreeWidgetItem *mapNode)
{
    if (shownNames.remove(mapNode) > 0)
        nameChanged(mapNode);
}

void DirectoryListModel::nameChanged(const QTreeWidgetItem *mapNode)
{
    const int row = rowOf(mapNode);
    if (row >= 0 && row < shown)
        emit dataChanged(index(row, Name), index(row, Name));
}

void DirectoryListModel::setNameEditable(const std::function<bool(QTreeWidgetItem *)> &editable)
{
    nameEditable = editable;
}

TWin32FindData *DirectoryListModel::recordOf(const Row &row) const
{
    return DirectoryMap::recordOf(row.mapNode);
}

int DirectoryListModel::iconOf(const Row &row) const
{
    if (row.icon < 0) {
        IconList &icons = IconList::instance();
        row.icon = row.site ? icons.siteIndex() : RowTexts::iconIndex(recordOf(row));
    }
    return row.icon;
}

QString DirectoryListModel::text(int row, int column) const
{
    if (row < 0 || row >= size())
        return QString();
    const Row &r = rows[size_t(row)];
    TWin32FindData *entry = recordOf(r);
    switch (column) {
    case Name:
        if (!shownNames.isEmpty() && shownNames.contains(r.mapNode))
            return shownNames.value(r.mapNode);
        return entry ? DirectoryMap::nameOf(*entry) : QString();
    case Size:
        return r.site ? QString() : RowTexts::sizeText(entry);
    case Type:
        return r.site ? QStringLiteral("FTP Site") : RowTexts::typeName(entry);
    case Modified:
        return r.site ? QString() : RowTexts::modifiedText(entry);
    default:
        return QString();
    }
}

void DirectoryListModel::clear()
{
    beginResetModel();
    rows.clear();
    shown = 0;
    shownNames.clear();
    endResetModel();
}

QList<QTreeWidgetItem *> DirectoryListModel::removeRowsWhere(
    const std::function<bool(QTreeWidgetItem *)> &shows)
{
    announce();
    QList<QTreeWidgetItem *> removed;
    int row = size() - 1;
    while (row >= 0) {
        int first = row;
        while (first >= 0 && shows(rows[size_t(first)].mapNode)) {
            removed.append(rows[size_t(first)].mapNode);
            shownNames.remove(rows[size_t(first)].mapNode);
            --first;
        }
        if (first < row) {
            beginRemoveRows({}, first + 1, row);
            rows.erase(rows.begin() + first + 1, rows.begin() + row + 1);
            shown = size();
            endRemoveRows();
        }
        row = first - 1;
    }
    return removed;
}

void DirectoryListModel::reorder(const std::vector<int> &order)
{
    announce();
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(order.size());
    std::vector<Row> sorted;
    sorted.reserve(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRowOf[size_t(order[i])] = int(i);
        sorted.push_back(rows[size_t(order[i])]);
    }
    rows.swap(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(index.row() < int(newRowOf.size())
                ? this->index(newRowOf[size_t(index.row())], index.column())
                : QModelIndex());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int DirectoryListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : shown;
}

int DirectoryListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DirectoryListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= shown)
        return QVariant();
    const Row &row = rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row(), index.column());
    case Qt::EditRole:
        return index.column() == Name ? QVariant(text(index.row(), Name)) : QVariant();
    case Qt::DecorationRole:
        return index.column() == Name ? QVariant(IconList::instance().icon(iconOf(row)))
                                      : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == Size ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                      : QVariant();
    case kMapNodeRole:
        return index.column() == Name ? QVariant::fromValue(reinterpret_cast<quintptr>(row.mapNode))
                                      : QVariant();
    case kImageIndexRole:
        return index.column() == Name ? QVariant(iconOf(row)) : QVariant();
    default:
        return QVariant();
    }
}

Qt::ItemFlags DirectoryListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == Name && nameEditable && index.row() < shown
        && nameEditable(rows[size_t(index.row())].mapNode))
        f |= Qt::ItemIsEditable;
    return f;
}

bool DirectoryListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != Name || index.row() >= shown)
        return false;
    emit nameEdited(rows[size_t(index.row())].mapNode, value.toString());
    return true;
}

QVariant DirectoryListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return captions[section];
    if (role == Qt::TextAlignmentRole)
        return alignments[section];
    return QVariant();
}

bool DirectoryListModel::setHeaderData(
    int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return false;
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        captions[section] = value;
    else if (role == Qt::TextAlignmentRole)
        alignments[section] = value;
    else
        return false;
    emit headerDataChanged(orientation, section, section);
    return true;
}
