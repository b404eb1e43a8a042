#pragma once

#include <QDir>
#include <QStringList>

// The ids of this process's threads now.
inline QStringList threadIds()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

// Threads alive now that were not alive at `before`: a thread that ended
// meanwhile cannot hide one that was left behind.
inline int threadsAddedSince(const QStringList &before)
{
    int added = 0;
    for (const QString &id : threadIds())
        added += before.contains(id) ? 0 : 1;
    return added;
}
