#include "transfers/QueueRowDelegate.h"

#include <algorithm>

QSize QueueRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // The tree asks for a row's height with a width of -1; anyone else (a
    // column fitted to its contents, a tool tip) wants the width too.
    const bool heightOnly = option.rect.width() == -1;
    if (option.font != measuredFont || option.decorationSize != measuredDecoration) {
        measuredFont = option.font;
        measuredDecoration = option.decorationSize;
        heights.clear();
    }
    const size_t column = size_t(std::max(0, index.column()));
    if (heights.size() <= column)
        heights.resize(column + 1, -1);
    if (heightOnly && heights[column] >= 0)
        return QSize(0, heights[column]);
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (heightOnly)
        heights[column] = size.height();
    return size;
}
