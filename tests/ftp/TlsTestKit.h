#pragma once

#include "AnnouncedPort.h"

#include "FaultServer.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A self-signed certificate made with Debian's openssl for one test, with
// the subjectAltName given ("IP:127.0.0.1", "DNS:example.org").
class TestCertificate {
public:
    explicit TestCertificate(const QString &altName)
    {
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
            { "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                "-days", "2", "-subj", "/CN=Vrex test/O=Vrex tests", "-keyout", key(), "-out",
                certificate(), "-addext", "subjectAltName=" + altName });
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
            return;
        openssl.start(QStringLiteral("openssl"),
            { "x509", "-noout", "-fingerprint", "-sha256", "-in", certificate() });
        openssl.waitForFinished(30000);
        // "sha256 Fingerprint=AB:CD:..."
        const QByteArray out = openssl.readAllStandardOutput().trimmed();
        sha256 = out.mid(out.indexOf('=') + 1);
    }
    bool ok() const { return !sha256.isEmpty(); }
    QString certificate() const { return dir.path() + QStringLiteral("/cert.pem"); }
    QString key() const { return dir.path() + QStringLiteral("/key.pem"); }
    QByteArray fingerprint() const { return sha256; }

private:
    QTemporaryDir dir;
    QByteArray sha256;
};

// tests/ftp/tls_server.py: pyftpdlib requiring explicit TLS ("tls", with a
// certificate) or plain pyftpdlib refusing AUTH ("plain"), or one of the
// script's misbehaving modes, serving a fresh folder, user "vrex"/"secret".
// commands() lists the verbs it received.
class TlsFtpServer {
public:
    explicit TlsFtpServer(const QString &mode, const TestCertificate *cert = nullptr)
        : TlsFtpServer(
            mode, cert ? QStringList { cert->certificate(), cert->key() } : QStringList())
    {
    }
    TlsFtpServer(const QString &mode, const QStringList &certificateAndKey)
    {
        QDir().mkpath(root());
        const QString script
            = QString::fromLocal8Bit(qgetenv("VREX_SOURCE_DIR")) + "/tests/ftp/tls_server.py";
        QStringList args { script, QStringLiteral("--exit-with-stdin"), mode, root(), logFile() };
        args << certificateAndKey;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(FaultServer::python(), args);
        if (!process.waitForStarted(30000))
            return;
        serverPort = readAnnouncedPort(process);
        host = "127.0.0.1:" + QByteArray::number(serverPort);
    }
    ~TlsFtpServer()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    TlsFtpServer(const TlsFtpServer &) = delete;
    TlsFtpServer &operator=(const TlsFtpServer &) = delete;

    bool ok() const { return serverPort > 0; }
    const char *address() const { return host.constData(); }
    QString root() const { return dir.path() + QStringLiteral("/root"); }
    QStringList commands() const
    {
        QFile f(logFile());
        if (!f.open(QIODevice::ReadOnly))
            return QStringList();
        return QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    QString logFile() const { return dir.path() + QStringLiteral("/commands.log"); }
    QTemporaryDir dir;
    QProcess process;
    int serverPort = 0;
    QByteArray host;
};
