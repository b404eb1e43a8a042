#pragma once

#include "SessionRecorder.h"
#include "ftp/WinInetFTP.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Shared steps of the session tests.
namespace SessionTestKit {

// Connects as the fixture's writing user (or anonymously) and waits for OnConnect.
bool connectTo(TWinInetFTP &ftp, SessionRecorder &log, bool anonymous = false);
// Runs the event loop until done() holds or the time is up; no fixed sleeps.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 10000);
// Waits until every worker object has ended and been freed.
bool workersGone(int timeoutMs = 10000);
int openDescriptors();
QByteArray pattern(qint64 size);
bool writeFile(const QString &path, const QByteArray &data);
QByteArray readFile(const QString &path);

} // namespace SessionTestKit
