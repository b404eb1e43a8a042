#pragma once

#include "transfers/QueueItem.h"

#include <QString>
#include <QStringList>
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

// Status panel 3: "Queue: Idle", "Queue: Running" while an item is under
// way, "Queue: Stopped" or "Queue: Starts: 9:05 PM".
QString panelText(bool stopped, bool armed, const QTime &scheduled, bool running = false);
// Every text panel 3 can show, to size the panel for the longest.
QStringList panelTexts();

// The one question before the window closes, naming the transfer under way
// (empty: none) and how many items wait; empty when there is nothing to ask.
QString closeQuestion(const QString &runningName, int waiting);

// The question after Stop about the items that were under way, named as the
// user sees them; one item is "the current file". Empty when none ran.
QString stopQuestion(const QStringList &runningNames);

// Whether a selected row may leave the queue. The first row is the active
// one while the queue runs; the row whose transfer still runs stays even
// after the queue was stopped, until that transfer has ended.
bool mayRemove(int row, bool queueStopped, bool transferOfRowRuns);

// The first item in the given state, or -1.
int firstInState(const std::vector<QueueItem> &items, QueueItemState state);

} // namespace QueueRules
