#include "transfers/QueueModel.h"

#include "platform/IconList.h"
#include "transfers/QueueRules.h"
#include "widgets/PasswordText.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>

QueueModel::QueueModel(QObject *parent) : QAbstractTableModel(parent), headers(kColumns) { }

int QueueModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int QueueModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

Qt::ItemFlags QueueModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return QVariant();
    const auto found = headers[section].find(role);
    return found == headers[section].end() ? QVariant() : found->second;
}

bool QueueModel::setHeaderData(
    int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return false;
    headers[section][role] = value;
    emit headerDataChanged(orientation, section, section);
    return true;
}

QVariant QueueModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return QVariant();
    const QueueItem &item = items[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return display(item, index.column());
    case Qt::DecorationRole:
        // A failed row stands out among the waiting ones.
        if (index.column() == Status && item.state == QueueItemState::Failed) {
            static const QIcon failed
                = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
            return failed;
        }
        if (index.column() == Name && rowTexts) {
            const int icon = textsOf(item).iconIndex;
            if (icon >= 0)
                return IconList::instance().icon(icon);
        }
        return QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == Size ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                      : QVariant();
    case Qt::ToolTipRole:
        // Why a failed row failed; other cells tell their text when it is cut.
        return item.state == QueueItemState::Failed ? QVariant(item.failure) : QVariant();
    default:
        return QVariant();
    }
}

QVariant QueueModel::display(const QueueItem &item, int column) const
{
    switch (column) {
    case Name:
        return item.name;
    case Status:
        return QueueRules::statusText(item.state);
    case Size:
    case Type:
    case Modified: {
        if (!rowTexts)
            return QString();
        const RowTexts &texts = textsOf(item);
        return column == Size ? texts.size : column == Type ? texts.type : texts.modified;
    }
    case Site:
        return item.host;
    case Login:
        return item.login;
    case Password:
        return passwordDots(item.password);
    case Actions:
        return item.actions;
    case SaveFile:
        return item.saveFile;
    }
    return QVariant();
}

const QueueModel::RowTexts &QueueModel::textsOf(const QueueItem &item) const
{
    constexpr size_t kKept = 1024; // far more rows than a screen shows
    const auto found = shownTexts.find(item.id);
    if (found != shownTexts.end())
        return found->second;
    if (shownTexts.size() >= kKept)
        shownTexts.clear();
    return shownTexts.emplace(item.id, rowTexts(item.entry)).first->second;
}

void QueueModel::append(QueueItem item)
{
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    index(item.state).insert(item.id);
    items.push_back(std::move(item));
    endInsertRows();
}

void QueueModel::removeAt(int row)
{
    if (row < 0 || row >= count())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    const QueueItem &item = items[size_t(row)];
    index(item.state).erase(item.id);
    shownTexts.erase(item.id);
    items.erase(items.begin() + row);
    endRemoveRows();
}

int QueueModel::rowOf(uint64_t id) const
{
    const auto found = std::lower_bound(items.begin(), items.end(), id,
        [](const QueueItem &item, uint64_t wanted) { return item.id < wanted; });
    return found != items.end() && found->id == id ? int(found - items.begin()) : -1;
}

void QueueModel::setState(int row, QueueItemState state, const QString &failure)
{
    QueueItem &item = items[size_t(row)];
    if (item.state == state && item.failure == failure)
        return;
    index(item.state).erase(item.id);
    item.state = state;
    item.failure = state == QueueItemState::Failed ? failure : QString();
    index(state).insert(item.id);
    const QModelIndex cell = createIndex(row, Status);
    emit dataChanged(cell, cell, { Qt::DisplayRole, Qt::ToolTipRole });
}

int QueueModel::firstIn(QueueItemState state) const
{
    const std::set<uint64_t> &ids = index(state);
    return ids.empty() ? -1 : rowOf(*ids.begin());
}

int QueueModel::countIn(QueueItemState state) const
{
    return int(index(state).size());
}
