// SFTP connections through the layer's entry points, against a real OpenSSH
// server: browsing, transfers and file commands, host keys, a refused login,
// and cancels and time-outs on a silent or stalled server.
#include "SshdServer.h"
#include "WinInetTestHelpers.h"

#include "ftp/FileTime.h"
#include "ftp/RemoteProtocol.h"
#include "sftp/SftpProtocol.h"

#include <QtTest>

#include <QRandomGenerator>

#include <sys/stat.h>
#include <utime.h>

#include <atomic>
#include <thread>

namespace {

QByteArray randomBytes(int size)
{
    QByteArray data(size, '\0');
    QRandomGenerator gen(size);
    for (char &c : data)
        c = char(gen.bounded(256));
    return data;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The fingerprint OpenSSH itself prints for a public key file.
QByteArray openSshFingerprint(const QString &pubFile)
{
    QProcess p;
    p.start(QStringLiteral("ssh-keygen"), { "-l", "-E", "sha256", "-f", pubFile });
    p.waitForFinished(10000);
    return p.readAllStandardOutput().split(' ').value(1);
}

// A server that accepts (in the kernel) and never says a word.
class SilentServer {
public:
    SilentServer() : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && ::listen(fd, 4) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ~SilentServer() { ::close(fd); }
    int fd;
    int port = 0;
};

} // namespace

class TestSftpLayer : public QObject {
    Q_OBJECT

    SshdServer *server = nullptr;
    HINTERNET session = nullptr;

    SftpSettings knownSettings()
    {
        SftpSettings s;
        s.sshDirectory = server->sshDir().toStdString();
        s.useAgent = false;
        return s;
    }
    HINTERNET connectTo(const QByteArray &address, const char *password = "")
    {
        return InternetConnectA(session, address.constData(), 0, "", password, INTERNET_SERVICE_FTP,
            INTERNET_FLAG_SFTP, 1);
    }

private slots:
    void initTestCase()
    {
        if (!SshdServer::whyUnavailable().isEmpty())
            QSKIP(qPrintable(SshdServer::whyUnavailable()));
        server = new SshdServer;
        QVERIFY2(server->ok(), qPrintable(server->log()));
        QVERIFY(writeFile(server->sshDir() + "/known_hosts", server->knownHostsLine() + "\n"));
        session = InternetOpenA("sftp test", 0, "", "", 0);
        setAllTimeouts(session, 20000);
    }
    void cleanupTestCase()
    {
        InternetCloseHandle(session);
        delete server;
    }

    void browseTransferAndFileCommands()
    {
        const QString data = server->dataDir();
        const QByteArray big = randomBytes(1500001); // not a whole number of blocks
        QVERIFY(writeFile(data + "/plain.txt", "hello") && writeFile(data + "/big.bin", big));
        QVERIFY(QDir(data).mkpath("sub") && writeFile(data + "/sub/inner.txt", "in"));
        QVERIFY(QFile::link(data + "/sub", data + "/tosub"));
        QVERIFY(QFile::link(data + "/plain.txt", data + "/tofile"));
        const utimbuf when { 1614834367, 1614834367 }; // 2021-03-04 05:06:07 UTC
        QVERIFY(::utime(QFile::encodeName(data + "/plain.txt").constData(), &when) == 0);
        registerSftpProtocol(knownSettings());

        HandleCloser c(connectTo(server->address()));
        QVERIFY2(c.get(), qPrintable(QString::number(GetLastError()) + lastResponse()));
        QVERIFY(lastResponse().contains("Authenticated"));
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), data.toLocal8Bit().constData()));

        auto entries = listAll(c.get(), "");
        QStringList seen = names(entries);
        seen.sort();
        QCOMPARE(seen, QStringList({ "big.bin", "plain.txt", "sub", "tofile", "tosub" }));
        const TWin32FindData *plain = findEntry(entries, "plain.txt");
        QCOMPARE(fileSize(*plain), uint64_t(5));
        QCOMPARE(FileTime::toUnixSeconds(plain->ftLastWriteTime), int64_t(1614834367));
        QCOMPARE(findEntry(entries, "sub")->dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
        QCOMPARE(findEntry(entries, "tosub")->dwFileAttributes,
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
        QCOMPARE(findEntry(entries, "tofile")->dwFileAttributes, FILE_ATTRIBUTE_REPARSE_POINT);
        QCOMPARE(fileSize(*findEntry(entries, "tofile")), uint64_t(5));
        QCOMPARE(names(listAll(c.get(), "sub/inner.txt")), QStringList { "inner.txt" });
        QCOMPARE(names(listAll(c.get(), "tosub")), QStringList { "tosub" });
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "tosub"));
        QCOMPARE(names(listAll(c.get(), "")), QStringList { "inner.txt" });
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), ".."));

        // Downloads: to a file, and through small reads; an upload; each byte-exact.
        QTemporaryDir local;
        QVERIFY(FtpGetFileA(c.get(), "big.bin",
            QFile::encodeName(local.filePath("big.bin")).constData(), 0, 0,
            FTP_TRANSFER_TYPE_BINARY, 0));
        QVERIFY(readFile(local.filePath("big.bin")) == big);
        bool ok = false;
        QVERIFY(readRemote(c.get(), "big.bin", ok, 10000) == big && ok);
        // As the download worker reads: what has arrived, then a short wait for more.
        HINTERNET file
            = FtpOpenFileA(c.get(), "big.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
        QVERIFY(file);
        QByteArray available, chunk(300000, '\0');
        DWORD n = 0;
        QVERIFY(FtpReadAvailable(file, chunk.data(), DWORD(chunk.size()), &n));
        QVERIFY(n > 0 && n < DWORD(chunk.size())); // one reply, not the whole buffer's worth
        do {
            available.append(chunk.constData(), int(n));
            FtpWaitForData(file, 10);
        } while (FtpReadAvailable(file, chunk.data(), DWORD(chunk.size()), &n) && n > 0);
        QCOMPARE(GetLastError(), DWORD(ERROR_SUCCESS));
        QVERIFY(InternetCloseHandle(file) && available == big);
        const QByteArray up = randomBytes(700001);
        QVERIFY(writeRemote(c.get(), "up.bin", up, 100000));
        QVERIFY(readFile(data + "/up.bin") == up);

        QVERIFY(FtpRenameFileA(c.get(), "up.bin", "sub/moved.bin"));
        QVERIFY(!QFile::exists(data + "/up.bin") && readFile(data + "/sub/moved.bin") == up);
        QVERIFY(FtpDeleteFileA(c.get(), "sub/moved.bin"));
        QVERIFY(!QFile::exists(data + "/sub/moved.bin"));
        QVERIFY(FtpCreateDirectoryA(c.get(), "made"));
        QVERIFY(QFileInfo(data + "/made").isDir());
        QVERIFY(FtpRemoveDirectoryA(c.get(), "made"));
        QVERIFY(!QFileInfo::exists(data + "/made"));

        // Refusals keep the connection and say why in SFTP terms.
        QVERIFY(!FtpDeleteFileA(c.get(), "missing.txt"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().contains("No such file"));
        QVERIFY(!FtpSetCurrentDirectoryA(c.get(), "plain.txt"));
        QVERIFY(!FtpOpenFileA(c.get(), "no/such/file", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
        DWORD state = 0, length = sizeof state;
        QVERIFY(InternetQueryOptionA(c.get(), INTERNET_OPTION_CONNECTED_STATE, &state, &length));
        QCOMPARE(state, INTERNET_STATE_CONNECTED);
        QVERIFY(InternetQueryOptionA(c.get(), INTERNET_OPTION_TLS_DATA_PROTECTED, &state, &length));
        QCOMPARE(state, DWORD(1));
    }

    // Rows run in order: keys trusted once stay trusted for the process.
    void hostKeys_data()
    {
        QTest::addColumn<QString>("knownIn"); // "user", "hashed", "ours" or ""
        QTest::addColumn<int>("answer"); // -1: no question
        QTest::addColumn<DWORD>("result");
        QTest::addColumn<int>("questions");
        QTest::newRow("known_hosts") << "user" << -1 << ERROR_SUCCESS << 0;
        QTest::newRow("hashed known_hosts") << "hashed" << -1 << ERROR_SUCCESS << 0;
        QTest::newRow("our trusted keys") << "ours" << -1 << ERROR_SUCCESS << 0;
        QTest::newRow("unknown, nobody asked") << "" << -1 << ERROR_SERVER_KEY_REFUSED << 0;
        QTest::newRow("unknown, refused")
            << "" << int(ServerKeyAnswer::Refuse) << ERROR_SERVER_KEY_REFUSED << 1;
        QTest::newRow("unknown, trusted always")
            << "" << int(ServerKeyAnswer::TrustAlways) << ERROR_SUCCESS << 1;
    }
    void hostKeys()
    {
        QFETCH(QString, knownIn);
        QFETCH(int, answer);
        QFETCH(DWORD, result);
        QFETCH(int, questions);
        QTemporaryDir home;
        SftpSettings s = knownSettings();
        s.sshDirectory = home.path().toStdString();
        QVERIFY(QFile::copy(server->sshDir() + "/id_ed25519", home.filePath("id_ed25519")));
        const QByteArray line = server->knownHostsLine() + "\n";
        QVERIFY(writeFile(home.filePath("known_hosts"),
            knownIn == "user" || knownIn == "hashed" ? line : "localhost ssh-ed25519 AAAA\n"));
        if (knownIn == "hashed")
            QCOMPARE(
                QProcess::execute("ssh-keygen", { "-q", "-H", "-f", home.filePath("known_hosts") }),
                0);
        if (knownIn == "ours") {
            QVERIFY(writeFile(home.filePath("trusted"), line));
            s.trustedKeysFile = home.filePath("trusted").toStdString();
        }
        QList<ServerKeyFacts> asked;
        InternetSetServerKeyQuestion(session, nullptr);
        if (answer >= 0)
            InternetSetServerKeyQuestion(session, [&](const ServerKeyFacts &f) {
                asked << f;
                return ServerKeyAnswer(answer);
            });
        registerSftpProtocol(s);

        HandleCloser c(connectTo(server->address()));
        QCOMPARE(c.get() ? ERROR_SUCCESS : GetLastError(), result);
        QCOMPARE(asked.size(), questions);
        if (questions) {
            QCOMPARE(asked[0].keyType, std::string("ssh-ed25519"));
            QCOMPARE(QByteArray::fromStdString(asked[0].fingerprint),
                openSshFingerprint(server->sshDir() + "/../host_key.pub"));
            QVERIFY(!asked[0].changed);
        }
        if (answer == int(ServerKeyAnswer::TrustAlways)) {
            QCOMPARE(QByteArray::fromStdString(asked[0].knownHostsLine) + "\n", line);
            HandleCloser again(connectTo(server->address())); // trusted from now on
            QVERIFY(again.get());
            QCOMPARE(asked.size(), 1);
        }
    }

    void changedHostKeyIsNeverTakenSilently()
    {
        SshdServer changing;
        QVERIFY(changing.ok());
        QTemporaryDir home;
        QVERIFY(QFile::copy(changing.sshDir() + "/id_ed25519", home.filePath("id_ed25519")));
        QVERIFY(writeFile(home.filePath("known_hosts"), changing.knownHostsLine() + "\n"));
        const QByteArray oldPrint = openSshFingerprint(changing.sshDir() + "/../host_key.pub");
        QVERIFY(changing.restartWithNewHostKey());
        SftpSettings s = knownSettings();
        s.sshDirectory = home.path().toStdString();
        QList<ServerKeyFacts> asked;
        registerSftpProtocol(s);
        InternetSetServerKeyQuestion(session, [&](const ServerKeyFacts &f) {
            asked << f;
            return ServerKeyAnswer::Refuse;
        });
        QVERIFY(!connectTo(changing.address()));
        QCOMPARE(GetLastError(), ERROR_SERVER_KEY_REFUSED);
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].changed);
        QCOMPARE(QByteArray::fromStdString(asked[0].oldFingerprint), oldPrint);
        QCOMPARE(QByteArray::fromStdString(asked[0].fingerprint),
            openSshFingerprint(changing.sshDir() + "/../host_key.pub"));
        QVERIFY(!changing.log().contains("Accepted publickey"));
    }

    void refusedLoginIsABadPassword()
    {
        InternetSetServerKeyQuestion(session, nullptr);
        QTemporaryDir home; // no key the server knows
        QVERIFY(QFile::copy(server->sshDir() + "/known_hosts", home.filePath("known_hosts")));
        SftpSettings s = knownSettings();
        s.sshDirectory = home.path().toStdString();
        registerSftpProtocol(s);
        QVERIFY(!connectTo(server->address(), "wrong"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_INCORRECT_PASSWORD);
        QVERIFY(lastResponse().contains("Login refused"));
    }

    // The site's password, by the password method or as the answer to a
    // keyboard-interactive prompt; refused, it is the FTP's refused login.
    // A key with a passphrase is asked for once: a wrong answer or Cancel
    // goes on to the next key; a key the server refuses is not asked for.
    void logins_data()
    {
        QTest::addColumn<QString>("method"); // paramiko's, or "key" against OpenSSH
        QTest::addColumn<QString>("answer"); // password or passphrase; null: Cancel
        QTest::addColumn<QString>("keys"); // "known", "known+pub", "other", "other+pub" [", next"]
        QTest::addColumn<int>("questions");
        QTest::addColumn<DWORD>("result");
        const DWORD ok = ERROR_SUCCESS, refused = ERROR_INTERNET_INCORRECT_PASSWORD;
        const auto row = [](const char *name, const char *method, const char *answer,
                             const char *keys, int questions, DWORD result) {
            QTest::newRow(name) << QString(method) << QString(answer) << QString(keys) << questions
                                << result;
        };
        row("password", "password", "secret", "", 0, ok);
        row("wrong password", "password", "guess", "", 0, refused);
        row("kbd-int", "keyboard-interactive", "secret", "", 0, ok);
        row("kbd-int, wrong", "keyboard-interactive", "guess", "", 0, refused);
        row("passphrase", "key", "pw", "known+pub", 1, ok);
        row("wrong passphrase", "key", "guess", "known", 1, refused);
        row("cancel, next key", "key", nullptr, "known+pub, next", 1, ok);
        row("wrong, next key", "key", "guess", "other, next", 1, ok);
        row("refused key not asked", "key", "pw", "other+pub", 0, refused);
    }
    void logins()
    {
        QFETCH(QString, method);
        QFETCH(QString, answer);
        QFETCH(QString, keys);
        QFETCH(int, questions);
        QFETCH(DWORD, result);
        QTemporaryDir home;
        const QString key = home.filePath("id_ed25519"), own = server->sshDir() + "/id_ed25519";
        QVERIFY(QFile::copy(server->sshDir() + "/known_hosts", home.filePath("known_hosts")));
        if (keys.startsWith("known"))
            QVERIFY(QFile::copy(own, key) && QFile::copy(own + ".pub", key + ".pub"));
        if (keys.startsWith("other"))
            QCOMPARE(
                QProcess::execute("ssh-keygen", { "-q", "-N", "", "-t", "ed25519", "-f", key }), 0);
        if (!keys.isEmpty())
            QCOMPARE(
                QProcess::execute("ssh-keygen", { "-q", "-p", "-P", "", "-N", "pw", "-f", key }),
                0);
        if (!keys.isEmpty() && !keys.contains("+pub"))
            QVERIFY(QFile::remove(key + ".pub"));
        if (keys.endsWith("next")) // the server's key, unprotected, tried after
            QVERIFY(QFile::copy(own, home.filePath("id_rsa")));
        SftpSettings s = knownSettings();
        s.sshDirectory = home.path().toStdString();
        registerSftpProtocol(s);
        QStringList asked;
        InternetSetKeyPassphraseQuestion(session, [&](const std::string &file, std::string &typed) {
            asked << QString::fromStdString(file);
            typed = answer.toStdString();
            return !answer.isNull();
        });
        InternetSetServerKeyQuestion(
            session, [](const ServerKeyFacts &) { return ServerKeyAnswer::TrustOnce; });
        std::unique_ptr<ParamikoServer> shell;
        if (method != "key")
            QVERIFY((shell = std::make_unique<ParamikoServer>(method))->ok());
        HandleCloser c(InternetConnectA(session,
            (shell ? shell->address() : server->address()).constData(), 0, shell ? "vrex" : "",
            shell ? answer.toUtf8().constData() : "", INTERNET_SERVICE_FTP, INTERNET_FLAG_SFTP, 1));
        const DWORD code = c.get() ? ERROR_SUCCESS : GetLastError();
        InternetSetServerKeyQuestion(session, nullptr);
        InternetSetKeyPassphraseQuestion(session, nullptr);
        QCOMPARE(code, result);
        QCOMPARE(asked, QStringList(questions, key));
        if (shell) // the server saw the answer given
            QVERIFY(shell->log().contains(QStringLiteral("AUTH %1 vrex %2")
                                              .arg(method, result ? "refused" : "accepted")
                                              .toUtf8()));
        QCOMPARE(
            lastResponse().contains("Authenticated with the key id_rsa"), keys.endsWith("next"));
    }

    // The connection drops part way: the transfer connects again and goes on
    // where it was, or starts over when the file changed meanwhile.
    void aDroppedTransferGoesOn_data()
    {
        QTest::addColumn<bool>("upload");
        QTest::addColumn<bool>("changeFile");
        QTest::newRow("download") << false << false;
        QTest::newRow("download of a file changed meanwhile") << false << true;
        QTest::newRow("upload") << true << false;
    }
    void aDroppedTransferGoesOn()
    {
        QFETCH(bool, upload);
        QFETCH(bool, changeFile);
        registerSftpProtocol(knownSettings());
        const QString remote = server->dataDir() + "/resume.bin";
        QByteArray data = randomBytes(8 * 1024 * 1024);
        QFile::remove(remote);
        if (!upload)
            QVERIFY(writeFile(remote, data));
        const int loginsBefore = server->log().count("Accepted publickey");
        HandleCloser c(connectTo(server->address()));
        QVERIFY(c.get()
            && FtpSetCurrentDirectoryA(c.get(), server->dataDir().toLocal8Bit().constData()));
        HINTERNET file
            = FtpOpenFileA(c.get(), "resume.bin", upload ? GENERIC_WRITE : GENERIC_READ, 2, 0);
        QVERIFY(file);
        QByteArray got, buffer(256 * 1024, '\0');
        int pos = 0, drops = 0, restarts = 0;
        for (;;) {
            if (pos >= 1024 * 1024 && drops++ == 0) {
                server->signalSessions(SIGKILL);
                if (changeFile) {
                    data = randomBytes(8 * 1024 * 1024 + 1);
                    QVERIFY(writeFile(remote, data));
                }
            }
            DWORD n = 0;
            const bool ok = upload
                ? (pos < data.size()
                    && InternetWriteFile(file, data.constData() + pos,
                        DWORD(qMin(buffer.size(), data.size() - pos)), &n))
                : InternetReadFile(file, buffer.data(), DWORD(buffer.size()), &n);
            if (ok && n > 0) {
                if (!upload)
                    got.append(buffer.constData(), int(n));
                pos += int(n);
                continue;
            }
            if (ok || (upload && pos >= data.size()))
                break;
            const DWORD code = GetLastError();
            QVERIFY2(code == ERROR_FTP_TRANSFER_RESTARTED || code == ERROR_FTP_RESUME_UPLOAD,
                qPrintable(QString::number(code) + lastResponse()));
            ++restarts;
            pos = upload ? resumeOffset(file) : 0;
            got.clear();
        }
        QVERIFY2(upload ? FtpCommitFileA(file) : true, qPrintable(lastResponse()));
        QVERIFY(InternetCloseHandle(file));
        QVERIFY((upload ? readFile(remote) : got) == data);
        QCOMPARE(restarts, upload || changeFile ? 1 : 0);
        QCOMPARE(server->log().count("Accepted publickey") - loginsBefore, 2);
        if (!upload && !changeFile) { // dropped while idle: made again by the next call
            server->signalSessions(SIGKILL);
            QVERIFY(findEntry(listAll(c.get(), ""), "resume.bin"));
        }
    }

    // A server that says nothing (connect), or stalls part way (download):
    // closing the handle from another thread ends the wait within a second,
    // and a time-out ends it by itself.
    void cancelAndTimeOut_data()
    {
        QTest::addColumn<bool>("duringDownload");
        QTest::addColumn<bool>("byTimeout");
        QTest::newRow("silent server, closed") << false << false;
        QTest::newRow("silent server, time-out") << false << true;
        QTest::newRow("stalled download, closed") << true << false;
        QTest::newRow("stalled download, time-out") << true << true;
    }
    void cancelAndTimeOut()
    {
        QFETCH(bool, duringDownload);
        QFETCH(bool, byTimeout);
        registerSftpProtocol(knownSettings());
        SilentServer silent;
        QVERIFY(silent.port != 0);
        QVERIFY(writeFile(server->dataDir() + "/huge.bin", randomBytes(32 * 1024 * 1024)));
        HINTERNET own = InternetOpenA("stall", 0, "", "", 0);
        setAllTimeouts(own, byTimeout ? 1500 : 60000);
        const QByteArray address
            = duringDownload ? server->address() : "127.0.0.1:" + QByteArray::number(silent.port);
        HINTERNET c = nullptr, file = nullptr;
        if (duringDownload) {
            c = InternetConnectA(own, address.constData(), 0, "", "", 1, INTERNET_FLAG_SFTP, 1);
            QVERIFY(c && FtpSetCurrentDirectoryA(c, server->dataDir().toLocal8Bit().constData()));
            QVERIFY(file = FtpOpenFileA(c, "huge.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
            server->signalSessions(SIGSTOP);
        }
        std::atomic<bool> done { false };
        std::atomic<pid_t> tid { 0 };
        DWORD code = 0;
        std::thread worker([&] {
            tid = currentThreadId();
            if (!duringDownload) {
                if (!InternetConnectA(
                        own, address.constData(), 0, "", "", 1, INTERNET_FLAG_SFTP, 1))
                    code = GetLastError();
            } else {
                static char buffer[1 << 20];
                DWORD got = 1;
                while (InternetReadFile(file, buffer, sizeof buffer, &got) && got > 0) { }
                code = GetLastError();
            }
            done = true;
        });
        if (!byTimeout) {
            QTRY_VERIFY_WITH_TIMEOUT(done || blockedInPoll(tid), 20000);
            InternetCloseHandle(duringDownload ? file : own);
            QTRY_VERIFY_WITH_TIMEOUT(done, 1000);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        }
        worker.join();
        server->signalSessions(SIGCONT);
        if (byTimeout)
            QCOMPARE(code, ERROR_INTERNET_TIMEOUT);
        else
            QVERIFY2(code == ERROR_INTERNET_OPERATION_CANCELLED || code == ERROR_INVALID_HANDLE,
                qPrintable(QString::number(code)));
        if (byTimeout && file)
            InternetCloseHandle(file);
        if (byTimeout)
            InternetCloseHandle(own);
        QFile::remove(server->dataDir() + "/huge.bin");
    }
};

QTEST_GUILESS_MAIN(TestSftpLayer)
#include "tst_sftp_layer.moc"
