#pragma once

#include "ftp/Win32FindData.h"

#include <QTreeWidgetItem>
#include <QVariant>

// How nodes carry their data. A site-tree node (TreeView1) points at its twin
// in the hidden directory map (TreeView2); a map node points at its entry
// record, which lives in the directory-map record pool.
namespace DirectoryMap {

constexpr int kDataRole = Qt::UserRole + 1;
constexpr int kEntryNodeType = QTreeWidgetItem::UserType + 1;

// The entry's name as text (UTF-8 on the wire and on disk).
inline QString nameOf(const TWin32FindData &record)
{
    return QString::fromUtf8(
        record.cFileName, int(qstrnlen(record.cFileName, sizeof record.cFileName)));
}

// A map entry node: its text is its record's name, kept once, in the record.
// A large folder has as many of these as entries, so they carry nothing else.
class EntryNode : public QTreeWidgetItem {
public:
    explicit EntryNode(TWin32FindData *entry) : QTreeWidgetItem(kEntryNodeType), record(entry) { }

    QVariant data(int column, int role) const override
    {
        if (column == 0 && (role == Qt::DisplayRole || role == Qt::EditRole))
            return nameOf(*record);
        if (column == 0 && role == kDataRole)
            return QVariant::fromValue(reinterpret_cast<quintptr>(record));
        return QTreeWidgetItem::data(column, role);
    }

    void setData(int column, int role, const QVariant &value) override
    {
        if (column == 0 && role == kDataRole)
            record = reinterpret_cast<TWin32FindData *>(value.value<quintptr>());
        else
            QTreeWidgetItem::setData(column, role, value);
    }

    TWin32FindData *record;
};

inline TWin32FindData *recordOf(const QTreeWidgetItem *mapNode)
{
    if (mapNode && mapNode->type() == kEntryNodeType)
        return static_cast<const EntryNode *>(mapNode)->record;
    return mapNode
        ? reinterpret_cast<TWin32FindData *>(mapNode->data(0, kDataRole).value<quintptr>())
        : nullptr;
}

inline void setRecord(QTreeWidgetItem *mapNode, TWin32FindData *record)
{
    mapNode->setData(0, kDataRole, QVariant::fromValue(reinterpret_cast<quintptr>(record)));
}

// Adds an entry node for the record at the end of the parent's children.
inline QTreeWidgetItem *addEntryNode(QTreeWidgetItem *parent, TWin32FindData *record)
{
    auto *node = new EntryNode(record);
    parent->addChild(node);
    return node;
}

inline QTreeWidgetItem *mapNodeOf(const QTreeWidgetItem *treeNode)
{
    return treeNode
        ? reinterpret_cast<QTreeWidgetItem *>(treeNode->data(0, kDataRole).value<quintptr>())
        : nullptr;
}

inline void setMapNode(QTreeWidgetItem *treeNode, QTreeWidgetItem *mapNode)
{
    treeNode->setData(0, kDataRole, QVariant::fromValue(reinterpret_cast<quintptr>(mapNode)));
}

} // namespace DirectoryMap
