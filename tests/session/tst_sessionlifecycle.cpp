#include "FtpFixture.h"
#include "SessionRecorder.h"
#include "SessionTestKit.h"
#include "TestEnvironment.h"
#include "ThreadCensus.h"
#include "ftp/FtpThread.h"
#include "ftp/InternetHandle.h"
#include "ftp/WinInetFTP.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace SessionTestKit;

namespace {

// A listening socket nobody accepts on: a connect gets through, the server's
// greeting never comes.
struct SilentServer {
    int fd = -1;
    int port = 0;
    SilentServer()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), len) == 0 && ::listen(fd, 4) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
            port = ntohs(addr.sin_port);
    }
    ~SilentServer() { ::close(fd); }
};

// Switches the layer's time-outs off for the life of the object.
struct TimeoutsOff {
    DWORD saved[4] = {};
    static constexpr DWORD options[4]
        = { INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
              INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT };
    TimeoutsOff()
    {
        for (int i = 0; i < 4; ++i) {
            DWORD length = sizeof saved[i];
            InternetQueryOptionA(nullptr, options[i], &saved[i], &length);
            DWORD never = 0x7fffffff;
            InternetSetOptionA(nullptr, options[i], &never, sizeof never);
        }
    }
    ~TimeoutsOff()
    {
        for (int i = 0; i < 4; ++i)
            InternetSetOptionA(nullptr, options[i], &saved[i], sizeof saved[i]);
    }
};

QString folderWithFiles(const QString &name, int count)
{
    const QString folder = FtpFixture::freshUserFolder(name);
    for (int i = 0; i < count; ++i)
        writeFile(FtpFixture::userRoot() + folder + QStringLiteral("/f%1.txt").arg(i), "x");
    return folder;
}

} // namespace

class TestSessionLifecycle : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY2(FtpFixture::available(), "run through ctest"); }
    void cleanup() { QVERIFY(workersGone()); }

    void cancelWithNothingRunningDoesNothing()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        ftp.Cancel();
        QVERIFY(connectTo(ftp, log));
        log.clear();
        ftp.Cancel();
        QVERIFY(log.events.isEmpty() && log.statusCodes.isEmpty());
        QVERIFY(ftp.Connected());
        ftp.Disconnect();
    }

    void cancelledConnectToASilentServerReturnsPromptly()
    {
        SilentServer silent;
        QVERIFY(silent.port > 0);
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        // No time-out of the layer can end the wait for the greeting: only
        // the cancel can (a hang is left to the test's own time limit).
        const TimeoutsOff noTimeouts;
        ftp.FTPSite = QStringLiteral("127.0.0.1:%1").arg(silent.port);
        ftp.Connect();
        QTRY_VERIFY_WITH_TIMEOUT(log.statusCodes.contains(1), 10000);
        ftp.Cancel();
        QCOMPARE(log.count("Connect"), 1); // delivered inside Cancel
        QCOMPARE(log.events, QStringList { "Connect inet=0 ftp=0 err=7" });
        QCOMPARE(log.statusCodes.last(), 99);
        QVERIFY(!ftp.Connected());
        QVERIFY(workersGone());
        QCOMPARE(ftp.Status(), statIdle);
        QVERIFY(connectTo(ftp, log));
        ftp.Disconnect();
    }

    void cancelDuringAListingStopsBeforeTheNextEntry()
    {
        const QString folder = folderWithFiles("many", 200);
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        log.clear();
        log.inside = [&](const QString &event) {
            if (event == "DirEntry" && log.count("DirEntry") == 3) {
                ftp.Cancel(); // returns at once: the listing is not waited for
                QCOMPARE(ftp.Status(), statInDirList);
            }
            if (event == "DirDone")
                ftp.Cancel(); // nothing left to wait for; must not hang
        };
        ftp.GetDirectory(folder);
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DirDone"), 1, 10000);
        QCOMPARE(log.count("DirEntry"), 3);
        QCOMPARE(log.last(), QStringLiteral("DirDone err=7"));
        QCOMPARE(log.stale, 0);
        QCOMPARE(ftp.Status(), statIdle);

        // The next listing is whole.
        log.clear();
        log.inside = nullptr;
        ftp.GetDirectory(folder);
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DirDone"), 1, 10000);
        QCOMPARE(log.count("DirEntry"), 200);
        ftp.Disconnect();
    }

    void lateListingCompletionIsStale()
    {
        const QString folder = folderWithFiles("stale", 50);
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        const QString target = TestEnvironment::instance().tempDir() + "/stale-tenk.bin";
        quint64 listing = 0;
        quint64 download = 0;
        bool dirDoneStale = false;
        TWinInetStatus statusInDirDone = statIdle;
        log.inside = [&](const QString &event) {
            if (event == "DirEntry" && log.count("DirEntry") == 1) {
                ftp.Cancel();
                ftp.GetFile("/tenk.bin", target);
                download = ftp.OperationId();
            } else if (event == "DirDone") {
                dirDoneStale = ftp.EventIsStale() && ftp.EventOperation() == listing;
                statusInDirDone = ftp.Status();
            } else if (event == "GetDone") {
                QVERIFY(!ftp.EventIsStale());
                QCOMPARE(ftp.EventOperation(), download);
            }
        };
        log.clear();
        ftp.GetDirectory(folder);
        listing = ftp.OperationId();
        QTRY_VERIFY_WITH_TIMEOUT(log.count("DirDone") == 1 && log.count("GetDone") == 1, 10000);
        QVERIFY(workersGone());
        QVERIFY(dirDoneStale);
        QVERIFY(statusInDirDone == statInGet
            || log.events.indexOf(QRegularExpression("^GetDone"))
                < log.events.indexOf(QRegularExpression("^DirDone")));
        QCOMPARE(log.matching("GetDone"), QStringList { "GetDone 10000 err=0" });
        QCOMPARE(ftp.Status(), statIdle);
        ftp.Disconnect();
    }

    void connectAfterACancelledListingLeavesItsFindHandleAlone()
    {
        const QString folder = folderWithFiles("reconnect", 50);
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        log.clear();
        log.inside = [&](const QString &event) {
            if (event == "DirEntry" && log.count("DirEntry") == 2) {
                ftp.Cancel();
                ftp.Connect(); // closes the old connection under the listing
            }
        };
        ftp.GetDirectory(folder);
        QTRY_VERIFY_WITH_TIMEOUT(log.count("DirDone") == 1 && log.count("Connect") == 1, 10000);
        QVERIFY(workersGone());
        QCOMPARE(log.count("DirEntry"), 2);
        QCOMPARE(log.matching("DirDone"), QStringList { "DirDone err=7" });
        QCOMPARE(log.matching("Connect"), QStringList { "Connect inet=1 ftp=1 err=0" });
        QVERIFY(ftp.Connected());

        log.clear();
        log.inside = nullptr;
        ftp.GetDirectory(folder);
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DirDone"), 1, 10000);
        QCOMPARE(log.count("DirEntry"), 50);
        ftp.Disconnect();
        QVERIFY(workersGone());
        QCOMPARE(HandleTable::size(), size_t(0)); // the old find handle too
    }

    void connectWhileASingleCommandRunsReleasesTheOldConnectionOnce()
    {
        const QString folder = FtpFixture::freshUserFolder("misc-connect");
        QVERIFY(writeFile(FtpFixture::userRoot() + folder + "/gone.txt", "x"));
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        QVERIFY(workersGone());
        const int fds = openDescriptors();
        log.clear();
        ftp.DeleteFile(folder + "/gone.txt");
        ftp.Connect();
        QTRY_COMPARE_WITH_TIMEOUT(log.count("Connect"), 1, 10000);
        QCOMPARE(
            log.events, (QStringList { "DeleteFileDone err=0", "Connect inet=1 ftp=1 err=0" }));
        QVERIFY(!QFile::exists(FtpFixture::userRoot() + folder + "/gone.txt"));
        QVERIFY(workersGone());
        QCOMPARE(openDescriptors(), fds);

        // From inside the command's own handler the connect goes ahead at once.
        QVERIFY(writeFile(FtpFixture::userRoot() + folder + "/again.txt", "x"));
        log.clear();
        log.inside = [&](const QString &event) {
            if (event == "DeleteFileDone")
                ftp.Connect();
        };
        ftp.DeleteFile(folder + "/again.txt");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("Connect"), 1, 10000);
        QVERIFY(workersGone());
        QCOMPARE(openDescriptors(), fds);
        ftp.Disconnect();
    }

    void connectWhileConnectedReplacesTheConnection()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        QVERIFY(workersGone());
        const int fds = openDescriptors();
        QVERIFY(connectTo(ftp, log, true));
        QVERIFY(connectTo(ftp, log));
        QCOMPARE(log.count("Disconnect"), 0);
        QVERIFY(workersGone());
        QCOMPARE(openDescriptors(), fds);
        ftp.Disconnect();
    }

    void manyOperationsLeaveNoThreadOrDescriptorBehind()
    {
        const QString folder = folderWithFiles("soak", 5);
        const QString local = TestEnvironment::instance().tempDir() + "/soak.bin";
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        // One round first, so that whatever the process creates once (and
        // keeps) exists before the counts are taken.
        QVERIFY(connectTo(ftp, log));
        ftp.GetFile("/tenk.bin", local);
        QVERIFY(waitFor([&] { return log.count("GetDone") == 1; }));
        ftp.Disconnect();
        QVERIFY(workersGone());
        const int fds = openDescriptors();
        const QStringList threads = threadIds();
        const size_t handles = HandleTable::size();
        // What each operation must end with; "d" exists after the first round.
        const QString expectedEnd[4] = { "DirDone err=0", "GetDone 10000 err=0",
            "SendDone 10000 err=0", "CreateDirDone err=%1" };
        int asExpected = 0;
        for (int round = 0; round < 40; ++round) {
            QVERIFY(connectTo(ftp, log));
            for (int i = 0; i < 50; ++i) {
                log.clear();
                switch (i % 4) {
                case 0:
                    ftp.GetDirectory(folder);
                    break;
                case 1:
                    ftp.GetFile("/tenk.bin", local);
                    break;
                case 2:
                    ftp.SendFile(local, folder + "/up.bin");
                    break;
                case 3:
                    ftp.CreateDirectory(folder + "/d");
                    break;
                }
                QVERIFY(waitFor([&] {
                    return log.count("DirDone") + log.count("GetDone") + log.count("SendDone")
                        + log.count("CreateDirDone")
                        == 1;
                }));
                const bool firstMkdir = round == 0 && i == 3;
                QString end = expectedEnd[i % 4];
                if (i % 4 == 3)
                    end = end.arg(firstMkdir ? int(errNone) : int(errNoRights));
                const bool wholeListing = i % 4 != 0 || log.count("DirEntry") >= 5;
                if (log.last() == end && wholeListing)
                    ++asExpected;
                else
                    qWarning("round %d, step %d: %s", round, i, qPrintable(log.events.join(", ")));
            }
            ftp.Disconnect();
            QVERIFY(workersGone());
        }
        QCOMPARE(asExpected, 2000);
        QCOMPARE(readFile(FtpFixture::userRoot() + folder + "/up.bin"), readFile(local));
        QCOMPARE(FtpThread::liveCount(), 0);
        QCOMPARE(HandleTable::size(), handles);
        // By id, not by count: a thread that ended by chance must not hide
        // one that leaked.
        QTRY_COMPARE_WITH_TIMEOUT(threadsAddedSince(threads), 0, 10000);
        QCOMPARE(openDescriptors(), fds);
        QCOMPARE(log.offUiThread, 0);
    }
};

VREX_TEST_MAIN(TestSessionLifecycle, QCoreApplication)
#include "tst_sessionlifecycle.moc"
