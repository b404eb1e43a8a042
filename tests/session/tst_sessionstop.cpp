#include "FtpFixture.h"
#include "SessionRecorder.h"
#include "SessionTestKit.h"
#include "TestEnvironment.h"
#include "ftp/FtpThread.h"
#include "ftp/InternetHandle.h"
#include "ftp/WinInetFTP.h"

#include <QtTest>

#include <signal.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

using namespace SessionTestKit;

namespace {

// The layer's own time-outs are switched off (kNever), so only a stop can end
// a stall; this guard only keeps a test that fails from hanging.
constexpr int kHangGuardMs = 20000;
constexpr DWORD kNever = 0x7fffffff;

void setDefaultTimeouts(DWORD sendMs, DWORD receiveMs, DWORD dataMs)
{
    const std::pair<DWORD, DWORD> options[] = { { INTERNET_OPTION_CONNECT_TIMEOUT, kNever },
        { INTERNET_OPTION_SEND_TIMEOUT, sendMs }, { INTERNET_OPTION_RECEIVE_TIMEOUT, receiveMs },
        { INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, dataMs } };
    for (auto [option, ms] : options)
        InternetSetOptionA(nullptr, option, &ms, sizeof ms);
}

// tests/ftp/fault_server.py playing one scenario; a stall scenario prints
// "STALL" once the server has stopped for good.
class StallServer {
public:
    explicit StallServer(const QString &scenario)
    {
        const QString script
            = QString::fromLocal8Bit(qgetenv("VREX_SOURCE_DIR")) + "/tests/ftp/fault_server.py";
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QString::fromLocal8Bit(qgetenv("VREX_PYTHON")),
            { script, QStringLiteral("--exit-with-stdin"), scenario });
        QDeadlineTimer deadline(kHangGuardMs);
        while (port == 0 && !deadline.hasExpired() && process.state() != QProcess::NotRunning) {
            if (!process.canReadLine()) {
                process.waitForReadyRead(100);
                continue;
            }
            const QByteArray line = process.readLine().trimmed();
            if (line.startsWith("PORT "))
                port = line.mid(5).toInt();
        }
    }
    ~StallServer()
    {
        process.kill();
        process.waitForFinished(5000);
    }

    bool started() const { return port > 0; }
    QString site() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    qint64 pid() const { return process.processId(); }
    bool stalled()
    {
        while (process.canReadLine())
            sawStall |= process.readLine().trimmed() == "STALL";
        return sawStall;
    }

private:
    QProcess process;
    int port = 0;
    bool sawStall = false;
};

// Kills the server once the guard has passed, so that a wait the session
// failed to cut short ends anyway (its sockets close) and the test can fail
// instead of hanging. disarm() is true when it never had to.
class Watchdog {
public:
    Watchdog(qint64 pid, int ms)
        : thread([this, pid, ms] {
              std::unique_lock<std::mutex> lock(mutex);
              if (!wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return done; })) {
                  fired = true;
                  ::kill(pid_t(pid), SIGKILL);
              }
          })
    {
    }
    ~Watchdog() { disarm(); }
    bool disarm()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        wake.notify_all();
        if (thread.joinable())
            thread.join();
        return !fired;
    }

private:
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    bool fired = false;
    std::thread thread;
};

QByteArray readProcFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A worker thread (workers run at nice 10) is inside poll(): blocked on the
// network. Once the server has stalled, that wait can only end by a stop.
bool workerBlockedOnNetwork()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray stat = readProcFile(tasks.filePath(tid + "/stat"));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 17 || fields[16].toInt() != 10)
            continue;
        const QByteArray call = readProcFile(tasks.filePath(tid + "/syscall")).split(' ').value(0);
        if (call == "7" || call == "271")
            return true;
    }
    return false;
}

bool connectToServer(TWinInetFTP &ftp, SessionRecorder &log, const QString &site)
{
    ftp.FTPSite = site;
    ftp.Login = QStringLiteral("someone");
    ftp.Password = QStringLiteral("pw");
    const int before = log.count(QStringLiteral("Connect"));
    ftp.Connect();
    return waitFor([&] { return log.count(QStringLiteral("Connect")) > before; }, kHangGuardMs)
        && ftp.LastError() == errNone && ftp.Connected();
}

QString freshDir()
{
    static int n = 0;
    const QString dir = TestEnvironment::instance().tempDir() + QStringLiteral("/stop%1").arg(++n);
    QDir().mkpath(dir);
    return dir;
}

} // namespace

class TestSessionStop : public QObject {
    Q_OBJECT

    QString source; // more than the socket buffers between client and server hold

private slots:
    void initTestCase()
    {
        source = freshDir() + "/source.bin";
        QVERIFY(writeFile(source, pattern(32 << 20)));
    }
    void init() { setDefaultTimeouts(kNever, kNever, kNever); }
    void cleanup() { QVERIFY(workersGone()); }

    void stopEndsATransferStalledInAnyPhase_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<bool>("upload");
        QTest::addColumn<bool>("byConnect");
        const struct {
            const char *phase;
            const char *scenario;
            bool upload;
        } phases[] = {
            { "download, opening the data connection", "retr-stall-open", false },
            { "download, mid-data", "retr-stall-mid", false },
            { "download, waiting for the final reply", "retr-stall-final", false },
            { "upload, opening the data connection", "stor-stall-open", true },
            { "upload, mid-data", "stor-stall-mid", true },
            { "upload, waiting for the final reply", "stor-stall-final", true },
        };
        for (const auto &p : phases) {
            QTest::addRow("%s: Cancel", p.phase) << p.scenario << p.upload << false;
            QTest::addRow("%s: Connect", p.phase) << p.scenario << p.upload << true;
        }
    }

    void stopEndsATransferStalledInAnyPhase()
    {
        QFETCH(QString, scenario);
        QFETCH(bool, upload);
        QFETCH(bool, byConnect);
        StallServer server(scenario);
        QVERIFY2(server.started(), "server did not start");
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectToServer(ftp, log, server.site()));
        const QString dir = freshDir();
        const QString done = upload ? QStringLiteral("SendDone") : QStringLiteral("GetDone");
        log.clear();
        if (upload)
            ftp.SendFile(source, QStringLiteral("/upload"));
        else
            ftp.GetFile(QStringLiteral("/file.bin"), dir + "/file.bin");
        QTRY_VERIFY2_WITH_TIMEOUT(server.stalled(), "server never stalled", kHangGuardMs);
        QTRY_VERIFY2_WITH_TIMEOUT(
            workerBlockedOnNetwork(), "worker never reached its wait", kHangGuardMs);
        // The 5,000 bytes that came before the stall show, a chunk of 4,096 done.
        if (scenario == QLatin1String("retr-stall-mid"))
            QTRY_VERIFY2_WITH_TIMEOUT(log.matching(QStringLiteral("GetStatus")).contains(
                                          QStringLiteral("GetStatus 4096")),
                qPrintable(log.matching(QStringLiteral("GetStatus")).join(',')), kHangGuardMs);

        Watchdog dog(server.pid(), kHangGuardMs);
        if (byConnect) {
            ftp.Connect(); // the stalled server still takes new connections
            QVERIFY2(dog.disarm(), "Connect waited until the server went away");
            QTRY_COMPARE_WITH_TIMEOUT(log.count("Connect"), 1, kHangGuardMs);
            QVERIFY2(log.matching(done).value(0).endsWith(" err=7"), qPrintable(log.last()));
            QCOMPARE(log.last(), QStringLiteral("Connect inet=1 ftp=1 err=0"));
        } else {
            ftp.Cancel();
            QVERIFY2(dog.disarm(), "Cancel waited until the server went away");
            QCOMPARE(log.count(done), 1); // delivered inside Cancel
            QVERIFY2(log.last().endsWith(" err=7"), qPrintable(log.last()));
            QCOMPARE(ftp.Status(), statIdle);
        }
        if (!upload)
            QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList());
    }

    // A server that stopped answering is not waited for a second time by the
    // request after the transfer (whether it fails at once or connects anew).
    void nextRequestAfterAStalledTransferEndsAtOnce_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<bool>("upload");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<int>("timeoutMs");
        QTest::newRow("download, the data times out") << "retr-stall-mid" << false << false << 1500;
        QTest::newRow("upload, the data times out") << "stor-stall-mid" << true << false << 1500;
        QTest::newRow("download, stopped while its data times out")
            << "retr-stall-mid" << false << true << 3000;
        QTest::newRow("upload, stopped while its data times out")
            << "stor-stall-mid" << true << true << 3000;
    }

    void nextRequestAfterAStalledTransferEndsAtOnce()
    {
        QFETCH(QString, scenario);
        QFETCH(bool, upload);
        QFETCH(bool, stop);
        QFETCH(int, timeoutMs);
        setDefaultTimeouts(DWORD(timeoutMs), kNever, DWORD(timeoutMs));
        StallServer server(scenario);
        QVERIFY2(server.started(), "server did not start");
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectToServer(ftp, log, server.site()));
        const QString done = upload ? QStringLiteral("SendDone") : QStringLiteral("GetDone");
        log.clear();
        if (upload)
            ftp.SendFile(source, QStringLiteral("/upload"));
        else
            ftp.GetFile(QStringLiteral("/file.bin"), freshDir() + "/file.bin");
        QTRY_VERIFY2_WITH_TIMEOUT(server.stalled(), "server never stalled", kHangGuardMs);
        if (stop) {
            QTRY_VERIFY2_WITH_TIMEOUT(
                workerBlockedOnNetwork(), "worker never reached its wait", kHangGuardMs);
            ftp.Cancel();
        }
        QTRY_COMPARE_WITH_TIMEOUT(log.count(done), 1, kHangGuardMs);
        QVERIFY2(!log.last().endsWith(" err=0"), qPrintable(log.last()));
        if (!stop && !upload)
            QCOMPARE(ftp.LastErrorCode(), int32_t(ERROR_INTERNET_TIMEOUT));

        Watchdog dog(server.pid(), kHangGuardMs);
        log.clear();
        ftp.GetDirectory(QStringLiteral("/"));
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DirDone"), 1, kHangGuardMs);
        QVERIFY2(dog.disarm(), "the next request waited on the stalled server");
        QCOMPARE(log.events, QStringList { "DirDone err=9" });
    }

    void lostConnectionIsDroppedByTheOperationThatFindsIt_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("receiveMs");
        QTest::newRow("upload, server gone before the final reply") << "stor-no-final"
                                                                    << "send" << int(kNever);
        QTest::newRow("upload, the final reply times out") << "stor-stall-final"
                                                           << "send" << 1500;
        QTest::newRow("download, server gone before the final reply") << "retr-no-final"
                                                                      << "get" << int(kNever);
        QTest::newRow("421 to DELE") << "cmd-421"
                                     << "delete" << int(kNever);
        QTest::newRow("421 to MKD") << "cmd-421"
                                    << "mkdir" << int(kNever);
        QTest::newRow("421 to RNFR") << "cmd-421"
                                     << "rename" << int(kNever);
        QTest::newRow("421 to RETR") << "cmd-421"
                                     << "get" << int(kNever);
        QTest::newRow("421 to STOR") << "cmd-421"
                                     << "send" << int(kNever);
        QTest::newRow("421 to LIST") << "cmd-421"
                                     << "list" << int(kNever);
    }

    void lostConnectionIsDroppedByTheOperationThatFindsIt()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, operation);
        QFETCH(int, receiveMs);
        setDefaultTimeouts(kNever, DWORD(receiveMs), kNever);
        StallServer server(scenario);
        QVERIFY2(server.started(), "server did not start");
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectToServer(ftp, log, server.site()));
        const QString dir = freshDir();
        QVERIFY(writeFile(dir + "/small.bin", pattern(100000)));
        const QMap<QString, QString> doneEvent { { "send", "SendDone" }, { "get", "GetDone" },
            { "delete", "DeleteFileDone" }, { "mkdir", "CreateDirDone" },
            { "rename", "RenameFileDone" }, { "list", "DirDone" } };
        const QString done = doneEvent.value(operation);
        bool connectedInHandler = true;
        log.inside = [&](const QString &event) {
            if (event == done)
                connectedInHandler = ftp.Connected();
        };
        log.clear();
        if (operation == "send")
            ftp.SendFile(dir + "/small.bin", QStringLiteral("/upload"));
        else if (operation == "get")
            ftp.GetFile(QStringLiteral("/file.bin"), dir + "/file.bin");
        else if (operation == "delete")
            ftp.DeleteFile(QStringLiteral("/file.bin"));
        else if (operation == "mkdir")
            ftp.CreateDirectory(QStringLiteral("/new"));
        else if (operation == "rename")
            ftp.RenameFile(QStringLiteral("/file.bin"), QStringLiteral("/other.bin"));
        else
            ftp.GetDirectory(QStringLiteral("/"));
        QTRY_COMPARE_WITH_TIMEOUT(log.count(done), 1, kHangGuardMs);
        if (operation != "list") // what a failed listing reports is not at stake here
            QVERIFY2(!log.last().endsWith(" err=0"), qPrintable(log.last()));
        QVERIFY2(!connectedInHandler, "the lost connection was still held in the completion");
        if (scenario == "cmd-421" && operation != "list")
            QVERIFY2(ftp.LogonMessage().join('\n').contains("421 Service not available"),
                qPrintable(ftp.LogonMessage().join('\n')));

        // So the next request connects afresh instead of failing once more.
        log.inside = nullptr;
        log.clear();
        ftp.GetFile(QStringLiteral("/file.bin"), dir + "/next.bin");
        QCOMPARE(log.events, QStringList { "GetDone 0 err=9" });
    }

    void connectReplacedByANewerOneIsStaleAndNeverASuccess_data()
    {
        QTest::addColumn<bool>("queued");
        QTest::newRow("newer Connect inside its status report") << false;
        QTest::newRow("newer Connect queued from its status report") << true;
    }

    void connectReplacedByANewerOneIsStaleAndNeverASuccess()
    {
        QVERIFY2(FtpFixture::available(), "run through ctest");
        QFETCH(bool, queued);
        struct Seen {
            bool stale;
            TWinInetError error;
            bool handles;
            bool newerRunning;
            TWinInetStatus statusAfterListing;
            TWinInetError errorAfterListing;
        };
        QList<Seen> seen;
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        ftp.FTPSite = FtpFixture::host();
        ftp.Login = FtpFixture::user();
        ftp.Password = FtpFixture::password();
        bool asked = false;
        bool newerStarted = false;
        TWinInetError errorAfterStale = errUnknown;
        ftp.OnWinInetStatus = [&](TWinInetFTP *, int32_t code) {
            if (code == 0 && asked)
                newerStarted = true;
            if (code != 2 || asked)
                return;
            asked = true;
            if (queued)
                QMetaObject::invokeMethod(
                    &ftp, [&] { ftp.Connect(); }, Qt::QueuedConnection);
            else
                ftp.Connect();
        };
        ftp.OnConnect = [&](TWinInetFTP *, HINTERNET inet, HINTERNET conn) {
            Seen s { ftp.EventIsStale(), ftp.LastError(), inet || conn, newerStarted, statIdle,
                errNone };
            if (seen.isEmpty()) { // as a handler that lists the new site would
                ftp.GetDirectory(QStringLiteral("/"));
                s.statusAfterListing = ftp.Status();
                s.errorAfterListing = ftp.LastError();
                QMetaObject::invokeMethod(
                    &ftp, [&] { errorAfterStale = ftp.LastError(); }, Qt::QueuedConnection);
            }
            seen << s;
        };
        ftp.Connect();
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 2, kHangGuardMs);
        QVERIFY(workersGone());
        QVERIFY(seen[0].stale);
        QCOMPARE(seen[0].error, errTerminated);
        QVERIFY(!seen[0].handles);
        // Whether or not the newer connect has begun to report, the stale
        // handler's listing is refused at once: no connection is there for it.
        QCOMPARE(seen[0].errorAfterListing, errNotConnected);
        QVERIFY2(seen[0].statusAfterListing != statInDirList,
            seen[0].newerRunning ? "newer connect reporting" : "newer connect not yet reporting");
        // The stale outcome is its handler's alone; the newer connect's stands after it.
        QTRY_COMPARE_WITH_TIMEOUT(errorAfterStale, errNone, kHangGuardMs);
        QVERIFY(!seen[1].stale);
        QCOMPARE(seen[1].error, errNone);
        QVERIFY(seen[1].handles);
        QVERIFY(ftp.Connected());
        QCOMPARE(ftp.Status(), statIdle);
        ftp.Disconnect();
    }

    void noWorkerAliveTellsWhenEveryWorkerHasEnded()
    {
        StallServer server(QStringLiteral("retr-stall-mid"));
        QVERIFY2(server.started(), "server did not start");
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(ftp.NoWorkerAlive());
        QVERIFY(connectToServer(ftp, log, server.site()));
        QTRY_VERIFY_WITH_TIMEOUT(ftp.NoWorkerAlive(), kHangGuardMs);

        // A listing cancelled from its own entry is forgotten, yet still runs.
        bool aliveAfterCancel = false;
        log.inside = [&](const QString &event) {
            if (event == "DirEntry" && log.count("DirEntry") == 1) {
                ftp.Cancel();
                aliveAfterCancel = !ftp.NoWorkerAlive();
            }
        };
        log.clear();
        ftp.GetDirectory(QStringLiteral("/"));
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DirDone"), 1, kHangGuardMs);
        QVERIFY(aliveAfterCancel);
        QCOMPARE(log.last(), QStringLiteral("DirDone err=7"));
        QTRY_VERIFY_WITH_TIMEOUT(ftp.NoWorkerAlive(), kHangGuardMs);

        log.inside = nullptr;
        ftp.GetFile(QStringLiteral("/file.bin"), freshDir() + "/file.bin");
        QTRY_VERIFY_WITH_TIMEOUT(server.stalled() && workerBlockedOnNetwork(), kHangGuardMs);
        QVERIFY(!ftp.NoWorkerAlive());
        ftp.Cancel();
        QTRY_VERIFY_WITH_TIMEOUT(ftp.NoWorkerAlive(), kHangGuardMs);
    }

    void destroyingTheSessionStopsWhateverRuns_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("operation");
        QTest::newRow("connect to a server that never greets") << "greeting-stall"
                                                               << "connect";
        QTest::newRow("single command without a reply") << "stall-reply"
                                                        << "cwd";
        QTest::newRow("stalled download") << "retr-stall-mid"
                                          << "get";
        QTest::newRow("stalled upload") << "stor-stall-mid"
                                        << "send";
    }

    void destroyingTheSessionStopsWhateverRuns()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, operation);
        StallServer server(scenario);
        QVERIFY2(server.started(), "server did not start");
        QVERIFY(workersGone());
        const size_t handles = HandleTable::size();
        // Owned here so that a failed check, which returns early, still stops
        // the session before the recorder its handlers write to is gone.
        auto ftp = std::make_unique<TWinInetFTP>();
        SessionRecorder log(*ftp);
        if (operation == "connect") {
            ftp->FTPSite = server.site();
            ftp->Connect();
        } else {
            QVERIFY(connectToServer(*ftp, log, server.site()));
            if (operation == "cwd")
                ftp->SetDirectory(QStringLiteral("/dir"));
            else if (operation == "get")
                ftp->GetFile(QStringLiteral("/file.bin"), freshDir() + "/file.bin");
            else
                ftp->SendFile(source, QStringLiteral("/upload"));
        }
        QTRY_VERIFY2_WITH_TIMEOUT(
            workerBlockedOnNetwork(), "worker never reached its wait", kHangGuardMs);
        QVERIFY(!ftp->NoWorkerAlive());
        const QStringList events = log.events;

        Watchdog dog(server.pid(), kHangGuardMs);
        ftp.reset();
        QVERIFY2(dog.disarm(), "destroying the session waited until the server went away");
        QCOMPARE(log.events, events); // nothing reached a handler afterwards
        QVERIFY(workersGone());
        QCOMPARE(HandleTable::size(), handles);
    }
};

VREX_TEST_MAIN(TestSessionStop, QCoreApplication)
#include "tst_sessionstop.moc"
