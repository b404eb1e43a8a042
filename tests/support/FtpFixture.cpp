#include "FtpFixture.h"

#include <QDir>
#include <QFile>

namespace {

QString stateDir()
{
    return QString::fromLocal8Bit(qgetenv("VREX_FTP_FIXTURE_DIR"));
}

} // namespace

bool FtpFixture::available()
{
    return !stateDir().isEmpty() && QFile::exists(stateDir() + QStringLiteral("/port"));
}

int FtpFixture::port()
{
    QFile f(stateDir() + QStringLiteral("/port"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return f.readAll().trimmed().toInt();
}

QString FtpFixture::host()
{
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

QString FtpFixture::anonRoot()
{
    return stateDir() + QStringLiteral("/anon");
}

QString FtpFixture::userRoot()
{
    return stateDir() + QStringLiteral("/user");
}

QString FtpFixture::freshUserFolder(const QString &name)
{
    QDir dir(userRoot() + QLatin1Char('/') + name);
    dir.removeRecursively();
    QDir().mkpath(dir.path());
    return QLatin1Char('/') + name;
}
