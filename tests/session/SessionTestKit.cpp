#include "SessionTestKit.h"

#include "FtpFixture.h"
#include "ftp/FtpThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QTimer>

namespace SessionTestKit {

bool connectTo(TWinInetFTP &ftp, SessionRecorder &log, bool anonymous)
{
    ftp.FTPSite = FtpFixture::host();
    ftp.Login = anonymous ? QString() : FtpFixture::user();
    ftp.Password = anonymous ? QString() : FtpFixture::password();
    const int before = log.count(QStringLiteral("Connect"));
    ftp.Connect();
    if (!waitFor([&] { return log.count(QStringLiteral("Connect")) > before; }, 20000))
        return false;
    return ftp.LastError() == errNone && ftp.Connected();
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake; // bounds each blocking wait below
    wake.start(20);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done();
}

bool workersGone(int timeoutMs)
{
    return waitFor(
        [] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return FtpThread::liveCount() == 0;
        },
        timeoutMs);
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                   .size());
}

QByteArray pattern(qint64 size)
{
    QByteArray data(int(size), Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[int(i)] = char((i * 7 + i / 4096) % 253);
    return data;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace SessionTestKit
