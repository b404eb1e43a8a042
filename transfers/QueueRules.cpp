#include "transfers/QueueRules.h"

#include <QLocale>

namespace QueueRules {

QString statusText(QueueItemState state)
{
    switch (state) {
    case QueueItemState::Waiting:
        return QStringLiteral("Waiting");
    case QueueItemState::InProgress:
        return QStringLiteral("In Progress");
    case QueueItemState::Failed:
        break;
    }
    return QStringLiteral("Failed");
}

bool startIsDue(const QTime &now, const QTime &scheduled)
{
    return now.isValid() && scheduled.isValid() && now.hour() == scheduled.hour()
        && now.minute() == scheduled.minute();
}

QString panelText(bool stopped, bool armed, const QTime &scheduled, bool running)
{
    if (!stopped)
        return running ? QStringLiteral("Queue: Running") : QStringLiteral("Queue: Idle");
    if (!armed)
        return QStringLiteral("Queue: Stopped");
    // A 12-hour clock with the hour unpadded, whatever the locale calls it.
    return QStringLiteral("Queue: Starts: ")
        + QLocale::c().toString(scheduled, QStringLiteral("h:mm AP"));
}

QStringList panelTexts()
{
    QStringList texts { panelText(false, false, {}), panelText(false, false, {}, true),
        panelText(true, false, {}) };
    // The widest times of a 12-hour clock.
    for (const QTime &t : { QTime(10, 0), QTime(12, 0), QTime(22, 0), QTime(0, 0) })
        texts << panelText(true, true, t);
    return texts;
}

QString closeQuestion(const QString &runningName, int waiting)
{
    const QString ask = QStringLiteral("  Are you sure you want to exit?");
    const QString files = waiting == 1 ? QStringLiteral("1 file")
                                       : QString::number(waiting) + QStringLiteral(" files");
    const QString are = waiting == 1 ? QStringLiteral(" is") : QStringLiteral(" are");
    if (runningName.isEmpty()) {
        if (waiting == 0)
            return QString();
        return QStringLiteral("There") + are + QStringLiteral(" still ") + files
            + QStringLiteral(" waiting in the queue.") + ask;
    }
    QString text
        = QStringLiteral("A file transfer is in progress: \"") + runningName + QLatin1Char('"');
    if (waiting > 0)
        text += QStringLiteral(", and ") + files + are + QStringLiteral(" waiting in the queue");
    return text + QLatin1Char('.') + ask;
}

QString stopQuestion(const QStringList &runningNames)
{
    const QString stopped = QStringLiteral("The queue has been stopped.  ");
    if (runningNames.isEmpty())
        return QString();
    if (runningNames.size() == 1)
        return stopped + QStringLiteral("Do you want to remove the current file from the queue?");
    QString text = stopped + QStringLiteral("Do you want to remove the ")
        + QString::number(runningNames.size())
        + QStringLiteral(" files that were in progress from the queue?\r");
    for (const QString &name : runningNames)
        text += QStringLiteral("\r\"") + name + QLatin1Char('"');
    return text;
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
