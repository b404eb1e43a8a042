#pragma once

#include "AnnouncedPort.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <unistd.h>

// Debian's vsftpd started by tests/ftp/vsftpd_launcher.py with a config of
// the test's own (anonymous read-only, LIST only, numeric owners) for the
// life of the object. whyUnavailable() tells why it cannot run here.
class VsftpdServer {
public:
    // slowLogin: vsftpd answers a successful login after 3 seconds.
    // tls: {certificate file, key file} makes it require explicit TLS.
    explicit VsftpdServer(bool slowLogin = false, const QStringList &tls = {})
    {
        if (!whyUnavailable().isEmpty())
            return;
        const QString script
            = QString::fromLocal8Bit(qgetenv("VREX_SOURCE_DIR")) + "/tests/ftp/vsftpd_launcher.py";
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList args { script, QStringLiteral("--exit-with-stdin"), state.path() };
        if (slowLogin)
            args.insert(2, QStringLiteral("--slow-login"));
        if (tls.size() == 2)
            args = QStringList { script, QStringLiteral("--exit-with-stdin"),
                QStringLiteral("--tls"), tls[0], tls[1], state.path() };
        process.start(QStringLiteral("/usr/bin/python3"), args);
        if (!process.waitForStarted(10000))
            return;
        port = readAnnouncedPort(process);
        host = "127.0.0.1:" + QByteArray::number(port);
    }
    ~VsftpdServer()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(10000))
                process.kill();
        }
    }
    VsftpdServer(const VsftpdServer &) = delete;
    VsftpdServer &operator=(const VsftpdServer &) = delete;

    static QString whyUnavailable()
    {
        if (::geteuid() != 0)
            return QStringLiteral(
                "vsftpd tests need root (vsftpd serves anonymous sessions as root)");
        if (!QFile::exists(QStringLiteral("/usr/sbin/vsftpd")))
            return QStringLiteral("vsftpd is not installed (apt-get install vsftpd)");
        return QString();
    }
    bool ok() const { return port > 0; }
    const char *address() const { return host.constData(); }
    QString anonRoot() const { return state.path() + QStringLiteral("/anon"); }

private:
    QTemporaryDir state;
    QProcess process;
    int port = 0;
    QByteArray host;
};
