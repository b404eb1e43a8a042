#pragma once

#include "ftp/Win32FindData.h"

#include <QTreeWidgetItem>
#include <QVariant>

// How nodes carry their data. A site-tree node (TreeView1) points at its twin
// in the hidden directory map (TreeView2); a map node points at its entry
// record, which lives in the directory-map record pool.
namespace DirectoryMap {

constexpr int kDataRole = Qt::UserRole + 1;

inline TWin32FindData *recordOf(const QTreeWidgetItem *mapNode)
{
    return mapNode ? reinterpret_cast<TWin32FindData *>(
                         mapNode->data(0, kDataRole).value<quintptr>())
                   : nullptr;
}

inline void setRecord(QTreeWidgetItem *mapNode, TWin32FindData *record)
{
    mapNode->setData(0, kDataRole, QVariant::fromValue(reinterpret_cast<quintptr>(record)));
}

inline QTreeWidgetItem *mapNodeOf(const QTreeWidgetItem *treeNode)
{
    return treeNode ? reinterpret_cast<QTreeWidgetItem *>(
                          treeNode->data(0, kDataRole).value<quintptr>())
                    : nullptr;
}

inline void setMapNode(QTreeWidgetItem *treeNode, QTreeWidgetItem *mapNode)
{
    treeNode->setData(0, kDataRole, QVariant::fromValue(reinterpret_cast<quintptr>(mapNode)));
}

// The entry's name as text (UTF-8 on the wire and on disk).
inline QString nameOf(const TWin32FindData &record)
{
    return QString::fromUtf8(record.cFileName, int(qstrnlen(record.cFileName,
                                                            sizeof record.cFileName)));
}

} // namespace DirectoryMap
