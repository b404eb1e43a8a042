#include "SessionRecorder.h"

#include <QCoreApplication>
#include <QThread>

SessionRecorder::SessionRecorder(TWinInetFTP &session) : ftp(session)
{
    auto err = [this] { return QStringLiteral(" err=%1").arg(int(ftp.LastError())); };
    ftp.OnConnect = [this, err](TWinInetFTP *, HINTERNET inet, HINTERNET conn) {
        note(QStringLiteral("Connect inet=%1 ftp=%2").arg(inet ? 1 : 0).arg(conn ? 1 : 0) + err());
    };
    ftp.OnDisconnect = [this](TWinInetFTP *) { note(QStringLiteral("Disconnect")); };
    ftp.OnDirEntry = [this](TWinInetFTP *, PTWin32FindData d) {
        note(QStringLiteral("DirEntry ") + QString::fromUtf8(d->cFileName));
    };
    ftp.OnDirDone = [this, err](TWinInetFTP *) { note(QStringLiteral("DirDone") + err()); };
    ftp.OnGetStatus
        = [this](TWinInetFTP *, int64_t n) { note(QStringLiteral("GetStatus %1").arg(n)); };
    ftp.OnGetDone = [this, err](TWinInetFTP *, int64_t n) {
        note(QStringLiteral("GetDone %1").arg(n) + err());
    };
    ftp.OnSendStatus
        = [this](TWinInetFTP *, int64_t n) { note(QStringLiteral("SendStatus %1").arg(n)); };
    ftp.OnSendDone = [this, err](TWinInetFTP *, int64_t n) {
        note(QStringLiteral("SendDone %1").arg(n) + err());
    };
    ftp.OnDeleteFileDone
        = [this, err](TWinInetFTP *) { note(QStringLiteral("DeleteFileDone") + err()); };
    ftp.OnRenameFileDone
        = [this, err](TWinInetFTP *) { note(QStringLiteral("RenameFileDone") + err()); };
    ftp.OnCreateDirDone
        = [this, err](TWinInetFTP *) { note(QStringLiteral("CreateDirDone") + err()); };
    ftp.OnDeleteDirDone
        = [this, err](TWinInetFTP *) { note(QStringLiteral("DeleteDirDone") + err()); };
    ftp.OnWinInetStatus = [this](TWinInetFTP *, int32_t code) {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            ++offUiThread;
        statusCodes << code;
    };
}

void SessionRecorder::note(const QString &line)
{
    if (QThread::currentThread() != QCoreApplication::instance()->thread())
        ++offUiThread;
    if (ftp.EventIsStale())
        ++stale;
    events << line;
    if (inside)
        inside(line.section(QLatin1Char(' '), 0, 0));
}

int SessionRecorder::count(const QString &prefix) const
{
    return int(matching(prefix).size());
}

QStringList SessionRecorder::matching(const QString &prefix) const
{
    QStringList found;
    for (const QString &e : events)
        if (e.startsWith(prefix))
            found << e;
    return found;
}

void SessionRecorder::clear()
{
    events.clear();
    statusCodes.clear();
    offUiThread = 0;
    stale = 0;
}
