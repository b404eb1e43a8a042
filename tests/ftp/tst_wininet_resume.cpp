// Transfers that survive a dropped connection, against the fault server: a
// download or upload broken half way ends byte-exact after one resume, a
// server that refuses or fakes REST, calls a short transfer complete or holds
// another file than the one begun gets the file again from byte 0, and an
// idle connection the server closed is made again by the next call.
#include "FaultServer.h"
#include "TestEnvironment.h"
#include "WinInetTestHelpers.h"

#include <QtTest>

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace {

constexpr int kFileSize = 4 * 1024 * 1024 + 321;
constexpr DWORD kTimeout = 5000;

QString tempPath(const QString &name)
{
    return TestEnvironment::instance().tempDir() + "/" + name;
}

QByteArray randomBytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator random(size);
    for (int i = 0; i < size; ++i)
        data[i] = char(random.generate() & 0xff);
    return data;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

DWORD connectedState(HINTERNET connection)
{
    DWORD state = 0;
    DWORD length = sizeof state;
    InternetQueryOptionA(connection, INTERNET_OPTION_CONNECTED_STATE, &state, &length);
    return state;
}

QString notes()
{
    return QString::fromStdString(FtpTakeRecoveryNotes());
}

// Files left in the temporary folder besides the ones named.
QStringList leftovers(const QStringList &expected)
{
    QStringList files = QDir(TestEnvironment::instance().tempDir()).entryList(QDir::Files);
    for (const QString &name : expected)
        files.removeAll(name);
    return files;
}

} // namespace

class TestWinInetResume : public QObject {
    Q_OBJECT

    HINTERNET session = nullptr;
    const QByteArray data = randomBytes(kFileSize);
    const QString dataPath = tempPath("served.bin");

    HINTERNET connectTo(const FaultServer &server)
    {
        return InternetConnectA(session, server.address(), 21, "user", "pw", INTERNET_SERVICE_FTP,
            INTERNET_FLAG_PASSIVE, 1);
    }

private slots:
    void initTestCase()
    {
        session = InternetOpenA("VrexResume", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
        QVERIFY(session);
        setAllTimeouts(session, kTimeout);
        QVERIFY(writeFile(dataPath, data));
    }
    void cleanupTestCase() { InternetCloseHandle(session); }
    void init() { notes(); }

    void downloadBrokenHalfWayEndsByteExact_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<bool>("direct");
        QTest::addColumn<QString>("note");
        QTest::addColumn<int>("restarts");
        QTest::addColumn<bool>("changed");
        // The bytes that arrived before the drop vary with the machine's timing.
        const QString resumed
            = R"(Connection lost at \d+ %; reconnected and resuming at byte \d+\.)";
        const QString refused = R"(Connection lost at \d+ %; reconnected, but the server refused )"
                                R"(to resume: starting again from byte 0\.)";
        const QString lied = R"(Connection lost at \d+ %; reconnected and resuming at byte \d+\.)"
                             "\r\n"
                             R"(The server did not resume where asked: starting the download )"
                             R"(again from byte 0\.)";
        const QString changed = R"(Connection lost at \d+ %; reconnected, but the file changed )"
                                R"(on the server: starting again from byte 0\.)";
        const QString short226 = R"(The server called a short transfer complete: starting the )"
                                 R"(download again from byte 0\.)";
        for (const bool direct : { false, true }) {
            const char *how = direct ? "FtpGetFileA" : "InternetReadFile";
            QTest::addRow("REST honoured, %s", how)
                << "resume-retr" << direct << resumed << 0 << false;
            QTest::addRow("REST refused, %s", how)
                << "resume-retr-refused" << direct << refused << 1 << false;
            QTest::addRow("REST faked, %s", how)
                << "resume-retr-lie" << direct << lied << 1 << false;
            QTest::addRow("file replaced in between, %s", how)
                << "resume-retr-changed" << direct << changed << 1 << true;
            QTest::addRow("short file called complete, then REST faked, %s", how)
                << "resume-retr-lie-twice" << direct << short226 << 1 << false;
        }
    }

    void downloadBrokenHalfWayEndsByteExact()
    {
        QFETCH(QString, scenario);
        QFETCH(bool, direct);
        QFETCH(QString, note);
        QFETCH(int, restarts);
        QFETCH(bool, changed);
        QByteArray expected = data;
        if (changed)
            std::reverse(expected.begin(), expected.end());
        FaultServer server(scenario, "SIZE,EPSV,REST STREAM,MDTM", false, { "--data", dataPath });
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/"));
        QByteArray got;
        if (direct) {
            const QString target = tempPath("target.bin");
            QVERIFY(writeFile(target, "old contents"));
            QVERIFY2(FtpGetFileA(c.get(), "file.bin", target.toUtf8().constData(), 0, 0,
                         FTP_TRANSFER_TYPE_BINARY, 0),
                qPrintable(QString::number(GetLastError())));
            got = readFile(target);
            QFile::remove(target);
        } else {
            got = readCounting(c.get(), "file.bin", restarts);
        }
        QCOMPARE(got.size(), expected.size());
        QVERIFY(got == expected);
        const QString text = notes();
        QVERIFY2(QRegularExpression("^" + note + "\r\n$").match(text).hasMatch(), qPrintable(text));
        QCOMPARE(leftovers({ "served.bin" }), QStringList());
        QCOMPARE(connectedState(c.get()), INTERNET_STATE_CONNECTED);
        bool ok = false;
        QVERIFY(readRemote(c.get(), "file.bin", ok) == expected); // the connection goes on
        QVERIFY(ok);
    }

    void uploadBrokenHalfWayEndsByteExact_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("features");
        QTest::addColumn<QString>("note");
        QTest::addColumn<bool>("fromStart");
        QTest::newRow("REST STREAM: REST + STOR") << "resume-stor"
                                                  << "SIZE,EPSV,REST STREAM"
                                                  << "resuming at byte" << false;
        QTest::newRow("no REST STREAM: APPE") << "resume-stor-appe"
                                              << "SIZE,EPSV"
                                              << "appending from byte" << false;
        QTest::newRow("neither: from the start") << "resume-stor-over"
                                                 << "SIZE,EPSV"
                                                 << "starting the upload again" << true;
        // An old file of a quarter's size is there before the upload begins.
        QTest::newRow("old file kept until complete, MDTM: from the start")
            << "resume-stor-keep-old"
            << "SIZE,EPSV,REST STREAM,MDTM"
            << "starting the upload again" << true;
        QTest::newRow("old file kept until complete, no MDTM: from the start")
            << "resume-stor-keep-old"
            << "SIZE,EPSV,REST STREAM"
            << "starting the upload again" << true;
        QTest::newRow("old file replaced by the part: REST + STOR") << "resume-stor-replace-old"
                                                                    << "SIZE,EPSV,REST STREAM"
                                                                    << "resuming at byte" << false;
    }

    void uploadBrokenHalfWayEndsByteExact()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, features);
        QFETCH(QString, note);
        QFETCH(bool, fromStart);
        const QString store = tempPath("stored.bin");
        FaultServer server(scenario, features, false, { "--data", dataPath, "--store", store });
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        int resumes = 0;
        QVERIFY2(writeRemote(c.get(), "/upload", data, 64 * 1024, &resumes),
            qPrintable(QString::number(GetLastError())));
        QCOMPARE(resumes, 1);
        const QByteArray stored = readFile(store);
        QFile::remove(store);
        QCOMPARE(stored.size(), data.size());
        QVERIFY(stored == data);
        const QString text = notes();
        QVERIFY2(
            text.startsWith("Connection lost after ") && text.contains(note), qPrintable(text));
        QCOMPARE(text.contains("byte 0") || text.contains("from the beginning"), fromStart);
    }

    void uploadLeftWhereItWasToGoOnFailsOnClose()
    {
        const QString store = tempPath("stored.bin");
        FaultServer server("resume-stor", "SIZE,EPSV,REST STREAM", false,
            { "--data", dataPath, "--store", store });
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        HINTERNET file
            = FtpOpenFileA(c.get(), "/upload", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
        QVERIFY(file);
        DWORD written = 0;
        // The drop is noticed by the write, or else by the commit.
        const bool sent = InternetWriteFile(file, data.constData(), DWORD(data.size()), &written)
            && FtpCommitFileA(file);
        const DWORD code = sent ? ERROR_SUCCESS : GetLastError();
        const bool closed = InternetCloseHandle(file);
        const DWORD closeCode = GetLastError();
        const QByteArray stored = readFile(store);
        QFile::remove(store);
        QCOMPARE(code, ERROR_FTP_RESUME_UPLOAD);
        QVERIFY(!closed);
        QCOMPARE(closeCode, ERROR_INTERNET_CONNECTION_ABORTED);
        QVERIFY(stored.size() < data.size());
    }

    void droppedTransferThatCannotResumeFailsCleanly()
    {
        // Every connection of this server loses the download's end: the one
        // retry fails as well, and no file is left behind.
        FaultServer server("retr-short-close");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        const QString target = tempPath("never.bin");
        QVERIFY(!FtpGetFileA(
            c.get(), "/file.bin", target.toUtf8().constData(), 0, 0, FTP_TRANSFER_TYPE_BINARY, 0));
        QCOMPARE(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
        QCOMPARE(leftovers({ "served.bin" }), QStringList());
    }

    void idleConnectionClosedByServerIsMadeAgainByNextCall()
    {
        FaultServer server("idle-close");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/dir")); // the server's idle clock runs now
        // A keep-alive slower than the server's idle time-out finds the
        // connection closed: it only marks it.
        setTimeout(c.get(), INTERNET_OPTION_FTP_KEEPALIVE, 2500);
        QTRY_COMPARE_WITH_TIMEOUT(connectedState(c.get()), INTERNET_STATE_DISCONNECTED, 20000);
        QVERIFY(notes().isEmpty());
        QVERIFY2(
            FtpSetCurrentDirectoryA(c.get(), "sub"), qPrintable(QString::number(GetLastError())));
        QCOMPARE(lastResponse(), QByteArray("250 Directory changed.\r\n"));
        QCOMPARE(notes(), QString("Connection lost; reconnected.\r\n"));
        QCOMPARE(connectedState(c.get()), INTERNET_STATE_CONNECTED);
        QCOMPARE(names(listAll(c.get(), "")), (QStringList { "file.bin", "dir" }));
    }

    void keepAliveHoldsAnIdleConnectionOpen()
    {
        FaultServer server("idle-close");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        setTimeout(c.get(), INTERNET_OPTION_FTP_KEEPALIVE, 300);
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/dir"));
        // Well over the server's idle time-out (1.5 s) without a call of ours.
        QElapsedTimer idle;
        idle.start();
        while (idle.elapsed() < 4000) {
            QCOMPARE(connectedState(c.get()), INTERNET_STATE_CONNECTED);
            QTest::qWait(50);
        }
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/"));
        QVERIFY(notes().isEmpty()); // no reconnect was needed
    }

private:
    // Reads a remote file whole; a restart from byte 0 drops what was read.
    static QByteArray readCounting(HINTERNET connection, const char *path, int expectedRestarts)
    {
        HINTERNET file = FtpOpenFileA(connection, path, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
        if (!file)
            return QByteArray();
        QByteArray all;
        QByteArray buffer(4096, '\0');
        int restarts = 0;
        for (DWORD got = 1; got > 0;) {
            if (!InternetReadFile(file, buffer.data(), DWORD(buffer.size()), &got)) {
                if (GetLastError() != ERROR_FTP_TRANSFER_RESTARTED)
                    break;
                ++restarts;
                all.clear();
                got = 1;
                continue;
            }
            all.append(buffer.constData(), int(got));
        }
        const bool closed = InternetCloseHandle(file);
        return closed && restarts == expectedRestarts ? all : QByteArray("<failed>");
    }
};

VREX_TEST_MAIN(TestWinInetResume, QCoreApplication)
#include "tst_wininet_resume.moc"
