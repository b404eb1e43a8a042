#pragma once

#include <QByteArray>
#include <QProcess>

// The port a test server prints as "PORT <n>" in its first line once it
// listens; 0 when it printed something else or nothing in time.
inline int readAnnouncedPort(QProcess &process, int timeoutMs = 30000)
{
    while (process.waitForReadyRead(timeoutMs)) {
        if (!process.canReadLine())
            continue;
        const QByteArray line = process.readLine().trimmed();
        return line.startsWith("PORT ") ? line.mid(5).toInt() : 0;
    }
    return 0;
}
