#pragma once

#include <QFont>
#include <QStyledItemDelegate>

#include <vector>

// The queue list's cells, drawn as any list's. A fast queue removes its top
// row for every file, and the tree view then measures the new top row to
// learn the height of all rows (they are uniform): laying out the texts of
// every column each time. The height is the same for every row of one font,
// so it is measured once; a width is measured as always.
class QueueRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    mutable QFont measuredFont;
    mutable QSize measuredDecoration;
    mutable std::vector<int> heights; // per column; -1: not measured yet
};
