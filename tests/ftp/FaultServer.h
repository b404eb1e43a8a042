#pragma once

#include "AnnouncedPort.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// tests/ftp/fault_server.py playing one scenario, started with the Debian
// python3 for the life of the object.
class FaultServer {
public:
    // options: "--data FILE" serves FILE as /file.bin in the resume scenarios,
    // "--store FILE" keeps their uploads there.
    explicit FaultServer(const QString &scenario, const QString &features = "SIZE,UTF8,EPSV",
        bool ipv6 = false, const QStringList &options = {})
    {
        const QString script
            = QString::fromLocal8Bit(qgetenv("VREX_SOURCE_DIR")) + "/tests/ftp/fault_server.py";
        QStringList args { script, QStringLiteral("--exit-with-stdin") };
        args << options << scenario << features;
        if (ipv6)
            args << "v6";
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(python(), args);
        // Generous: on a starved machine python takes its time; a test that
        // finds no port fails with "server did not start".
        if (!process.waitForStarted(30000))
            return;
        serverPort = readAnnouncedPort(process);
        host = QByteArray(ipv6 ? "[::1]:" : "127.0.0.1:") + QByteArray::number(serverPort);
    }
    ~FaultServer()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    FaultServer(const FaultServer &) = delete;
    FaultServer &operator=(const FaultServer &) = delete;

    // Check before the first step: an address with port 0 is no server.
    bool ok() const { return serverPort > 0; }
    const char *address() const { return host.constData(); }

    static QString python()
    {
        const QByteArray p = qgetenv("VREX_PYTHON");
        return p.isEmpty() ? QStringLiteral("/usr/bin/python3") : QString::fromLocal8Bit(p);
    }

private:
    QProcess process;
    int serverPort = 0;
    QByteArray host;
};
