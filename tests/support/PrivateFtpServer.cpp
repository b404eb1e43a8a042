#include "PrivateFtpServer.h"

#include <QFile>
#include <QProcess>

namespace {

QString fixtureScript()
{
    return QString::fromLocal8Bit(qgetenv("VREX_SOURCE_DIR"))
        + QStringLiteral("/tests/support/ftp_fixture.py");
}

} // namespace

PrivateFtpServer::PrivateFtpServer() = default;

PrivateFtpServer::~PrivateFtpServer()
{
    stop();
}

bool PrivateFtpServer::runFixture(const QString &verb)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral("/usr/bin/python3"), { fixtureScript(), verb, dir.path() });
    // Longer than the script's own start guard, so its reason is what shows.
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PrivateFtpServer::start()
{
    if (!runFixture(QStringLiteral("start")))
        return false;
    QFile f(dir.path() + QStringLiteral("/port"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    serverPort = f.readAll().trimmed().toInt();
    running = serverPort > 0;
    return running;
}

void PrivateFtpServer::setListOnly(bool listOnly)
{
    QFile marker(dir.path() + QStringLiteral("/list-only"));
    if (listOnly)
        marker.open(QIODevice::WriteOnly);
    else
        marker.remove();
}

QString PrivateFtpServer::log() const
{
    QFile f(dir.path() + QStringLiteral("/server.log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void PrivateFtpServer::stop()
{
    if (running)
        runFixture(QStringLiteral("stop"));
    running = false;
}

// A setting is a file of the state folder holding its number; 0 removes it.
void PrivateFtpServer::setNumber(const QString &name, int value)
{
    QFile setting(dir.path() + QLatin1Char('/') + name);
    if (value <= 0) {
        setting.remove();
        return;
    }
    if (setting.open(QIODevice::WriteOnly | QIODevice::Truncate))
        setting.write(QByteArray::number(value));
}

void PrivateFtpServer::setLoginsPerUser(int logins)
{
    setNumber(QStringLiteral("logins-per-user"), logins);
}

void PrivateFtpServer::setConnectionsPerAddress(int connections)
{
    setNumber(QStringLiteral("connections-per-address"), connections);
}

void PrivateFtpServer::setThrottle(int bytesPerSecond)
{
    setNumber(QStringLiteral("throttle"), bytesPerSecond);
}

int PrivateFtpServer::endedSessions(const QString &user) const
{
    QFile log(dir.path() + QStringLiteral("/closes.log"));
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    return int(QString::fromUtf8(log.readAll()).split(QLatin1Char('\n')).count(user));
}

void PrivateFtpServer::setCommandLog(bool on)
{
    QFile marker(dir.path() + QStringLiteral("/log-commands"));
    if (on)
        marker.open(QIODevice::WriteOnly);
    else
        marker.remove();
}

QStringList PrivateFtpServer::takeCommands()
{
    QFile log(dir.path() + QStringLiteral("/commands.log"));
    const bool open = log.open(QIODevice::ReadWrite);
    const QString text = open ? QString::fromUtf8(log.readAll()) : QString();
    log.resize(0);
    return text.split('\n', Qt::SkipEmptyParts);
}

void PrivateFtpServer::setDataRate(qint64 bytesPerSecond)
{
    QFile rate(dir.path() + QStringLiteral("/data-rate"));
    if (bytesPerSecond > 0 && rate.open(QIODevice::WriteOnly))
        rate.write(QByteArray::number(bytesPerSecond));
    else
        rate.remove();
}

qint64 PrivateFtpServer::sentBytes() const
{
    QFile f(dir.path() + QStringLiteral("/sent-bytes"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
}
