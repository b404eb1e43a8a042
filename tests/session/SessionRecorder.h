#pragma once

#include "ftp/WinInetFTP.h"

#include <QStringList>

#include <functional>

// Binds every event of a session and writes each down as one line
// ("GetStatus 4096", "DirEntry readme.txt", "GetDone 10000 err=0"), noting
// any event that arrives off the user-interface thread.
class SessionRecorder {
public:
    explicit SessionRecorder(TWinInetFTP &ftp);

    QStringList events; // every event except OnWinInetStatus
    QList<int> statusCodes; // OnWinInetStatus, in order
    int offUiThread = 0;
    int stale = 0; // events delivered with EventIsStale()

    // Runs inside the named event ("GetStatus", "DirEntry", ...) after it
    // was written down; lets a test act from within a handler.
    std::function<void(const QString &event)> inside;

    int count(const QString &prefix) const;
    QStringList matching(const QString &prefix) const;
    QString last() const { return events.isEmpty() ? QString() : events.last(); }
    void clear();

private:
    void note(const QString &line);
    TWinInetFTP &ftp;
};
