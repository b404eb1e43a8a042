#include "transfers/QueueRules.h"

#include <QLocale>

namespace QueueRules {

QString statusText(QueueItemState state)
{
    return state == QueueItemState::Waiting ? QStringLiteral("Waiting")
                                            : QStringLiteral("In Progress");
}

bool startIsDue(const QTime &now, const QTime &scheduled)
{
    return now.isValid() && scheduled.isValid() && now.hour() == scheduled.hour()
        && now.minute() == scheduled.minute();
}

QString panelText(bool stopped, bool armed, const QTime &scheduled)
{
    if (!stopped)
        return QStringLiteral("Queue: Idle");
    if (!armed)
        return QStringLiteral("Queue: Stopped");
    // A 12-hour clock with the hour unpadded, whatever the locale calls it.
    return QStringLiteral("Queue: Starts: ")
        + QLocale::c().toString(scheduled, QStringLiteral("h:mm AP"));
}

bool mayRemove(int row, bool queueStopped, bool transferOfRowRuns)
{
    if (transferOfRowRuns)
        return false;
    return !(row == 0 && !queueStopped);
}

int firstInState(const std::vector<QueueItem> &items, QueueItemState state)
{
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].state == state)
            return int(i);
    return -1;
}

} // namespace QueueRules
