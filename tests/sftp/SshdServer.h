#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

// Debian's OpenSSH server on 127.0.0.1, on a free port, as the test's own
// user, with a host key and an authorised client key made for it. The
// client's OpenSSH folder (its key, an empty known_hosts) is sshDir().
class SshdServer {
public:
    explicit SshdServer(const QString &hostKeyType = QStringLiteral("ed25519"))
    {
        if (!dir.isValid() || !QDir().mkpath(sshDir()) || !QDir().mkpath(dataDir()))
            return;
        if (!makeKey(dir.filePath("host_key"), hostKeyType)
            || !makeKey(sshDir() + "/id_ed25519", QStringLiteral("ed25519")))
            return;
        QFile::copy(sshDir() + "/id_ed25519.pub", dir.filePath("authorized_keys"));
        if (::geteuid() == 0) // privilege separation wants it, even with -D
            QDir().mkpath(QStringLiteral("/run/sshd"));
        for (int attempt = 0; attempt < 3 && !ok(); ++attempt)
            start();
    }
    ~SshdServer() { stop(); }
    SshdServer(const SshdServer &) = delete;
    SshdServer &operator=(const SshdServer &) = delete;

    static QString whyUnavailable()
    {
        if (!QFile::exists(QStringLiteral("/usr/sbin/sshd")))
            return QStringLiteral("openssh-server is not installed");
        return QString();
    }
    bool ok() const { return port > 0; }
    QByteArray address() const { return "127.0.0.1:" + QByteArray::number(port); }
    int portNumber() const { return port; }
    QString sshDir() const { return dir.filePath("client"); }
    QString dataDir() const { return dir.filePath("data"); }
    // The host key line as known_hosts holds it: "[127.0.0.1]:port type base64".
    QByteArray knownHostsLine() const
    {
        QFile pub(dir.filePath("host_key.pub"));
        if (!pub.open(QIODevice::ReadOnly))
            return QByteArray();
        const QList<QByteArray> parts = pub.readAll().trimmed().split(' ');
        return "[127.0.0.1]:" + QByteArray::number(port) + " " + parts.value(0) + " "
            + parts.value(1);
    }
    QString log()
    {
        while (process.waitForReadyRead(50)) // what it wrote up to now
            output += process.readAll();
        output += process.readAll();
        return QString::fromLocal8Bit(output);
    }
    // Sends a signal to every process serving a connection: SIGSTOP stalls
    // the server as far as the client can tell, SIGKILL drops the connection.
    void signalSessions(int signal)
    {
        const qint64 listener = process.processId();
        for (const QString &pid : QDir("/proc").entryList(QDir::Dirs)) {
            QFile stat("/proc/" + pid + "/stat");
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.value(1).toLongLong() == listener
                || servesUnder(fields.value(1).toLongLong(), listener))
                ::kill(pid.toInt(), signal);
        }
    }

    // Starts again on the same port with a new host key (a changed key).
    bool restartWithNewHostKey(const QString &type = QStringLiteral("ecdsa"))
    {
        stop();
        QFile::remove(dir.filePath("host_key"));
        QFile::remove(dir.filePath("host_key.pub"));
        if (!makeKey(dir.filePath("host_key"), type))
            return false;
        const int same = port;
        port = 0;
        return launch(same);
    }

private:
    static bool servesUnder(qint64 pid, qint64 listener)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (pid <= 1 || !stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = stat.readAll();
        return text.mid(text.lastIndexOf(')') + 2).split(' ').value(1).toLongLong() == listener;
    }

    static bool makeKey(const QString &file, const QString &type)
    {
        return QProcess::execute(QStringLiteral("ssh-keygen"),
                   { "-q", "-t", type, "-N", "", "-C", "vrex-test", "-f", file })
            == 0;
    }

    void start()
    {
        const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        const bool bound = ::bind(probe, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
            && ::getsockname(probe, reinterpret_cast<sockaddr *>(&a), &len) == 0;
        ::close(probe); // a free port, taken by sshd right after
        if (bound)
            launch(ntohs(a.sin_port));
    }

    bool launch(int candidate)
    {
        QFile config(dir.filePath("sshd_config"));
        if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        config.write(QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey \"%2\"\n"
                                    "AuthorizedKeysFile \"%3\"\nPasswordAuthentication no\n"
                                    "KbdInteractiveAuthentication no\nPubkeyAuthentication yes\n"
                                    "PermitRootLogin yes\nStrictModes no\nUsePAM no\nPidFile none\n"
                                    "Subsystem sftp internal-sftp\nLogLevel VERBOSE\n")
                         .arg(candidate)
                         .arg(dir.filePath("host_key"), dir.filePath("authorized_keys"))
                         .toLocal8Bit());
        config.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(
            QStringLiteral("/usr/sbin/sshd"), { "-D", "-e", "-f", dir.filePath("sshd_config") });
        while (process.waitForReadyRead(10000)) {
            output += process.readAll();
            if (output.contains("Server listening on")) {
                port = candidate;
                return true;
            }
        }
        stop();
        return false;
    }

    void stop()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(10000))
                process.kill();
        }
        output += process.readAll();
    }

    QTemporaryDir dir;
    QProcess process;
    QByteArray output;
    int port = 0;
};

// The tests' own SSH server (paramiko) for password and keyboard-interactive
// logins of "vrex" with "secret"; log() holds its "AUTH ..." lines.
class ParamikoServer {
public:
    explicit ParamikoServer(const QString &method)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral("/usr/bin/python3"),
            { qEnvironmentVariable("VREX_SOURCE_DIR") + "/tests/sftp/paramiko_server.py", method,
                "vrex", "secret" });
        while (!process.canReadLine() && process.waitForReadyRead(20000)) { }
        port = process.readLine().mid(5).trimmed().toInt(); // "PORT <n>"
    }
    ~ParamikoServer()
    {
        process.kill();
        process.waitForFinished(10000);
    }
    bool ok() const { return port > 0; }
    QByteArray address() const { return "127.0.0.1:" + QByteArray::number(port); }
    QByteArray log()
    {
        while (process.waitForReadyRead(0)) { }
        return output += process.readAll();
    }

private:
    QProcess process;
    QByteArray output;
    int port = 0;
};
