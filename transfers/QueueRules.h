#pragma once

#include "transfers/QueueItem.h"

#include <QString>
#include <QTime>

#include <vector>

// The queue's rules that need no widget.
namespace QueueRules {

// "Waiting" or "In Progress".
QString statusText(QueueItemState state);

// The scheduled start compares hour and minute only: the first tick inside
// the chosen minute starts the queue, today or, once that minute has passed,
// the next day.
bool startIsDue(const QTime &now, const QTime &scheduled);

// Status panel 3: "Queue: Idle", "Queue: Stopped" or "Queue: Starts: 9:05 PM".
QString panelText(bool stopped, bool armed, const QTime &scheduled);

// Whether a selected row may leave the queue. The first row is the active
// one while the queue runs; the row whose transfer still runs stays even
// after the queue was stopped, until that transfer has ended.
bool mayRemove(int row, bool queueStopped, bool transferOfRowRuns);

// The first item in the given state, or -1.
int firstInState(const std::vector<QueueItem> &items, QueueItemState state);

} // namespace QueueRules
