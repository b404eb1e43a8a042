#include "widgets/ElidedToolTips.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

ElidedToolTips::ElidedToolTips(QAbstractItemView *itemView) : QObject(itemView), view(itemView) { }

void ElidedToolTips::install(QAbstractItemView *view)
{
    view->viewport()->installEventFilter(new ElidedToolTips(view));
}

bool ElidedToolTips::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view->viewport() && event->type() == QEvent::ToolTip)
        return showToolTip(static_cast<QHelpEvent *>(event));
    return QObject::eventFilter(watched, event);
}

// Returns whether the event was taken; otherwise the view's own tooltips run.
bool ElidedToolTips::showToolTip(QHelpEvent *help)
{
    const QModelIndex index = view->indexAt(help->pos());
    if (!index.isValid() || index.data(Qt::ToolTipRole).isValid())
        return false;
    const QString text = index.data(Qt::DisplayRole).toString();
    const QRect cell = view->visualRect(index);
    if (text.isEmpty() || view->sizeHintForIndex(index).width() <= cell.width()) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(help->globalPos(), text, view->viewport(), cell);
    return true;
}
