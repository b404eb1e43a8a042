#include "FtpFixture.h"
#include "SessionRecorder.h"
#include "SessionTestKit.h"
#include "TestEnvironment.h"
#include "ThreadCensus.h"
#include "ftp/WinInetFTP.h"

#include <QtTest>

#include <mutex>

#include <sys/syscall.h>
#include <unistd.h>

using namespace SessionTestKit;

// Every disk sync the process makes, by the path it was made on: these
// definitions take the place of the C library's for this program.
namespace {
std::mutex syncMutex;
QStringList syncs;

void noteSync(const char *call, int fd)
{
    const QString path = QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd));
    std::lock_guard<std::mutex> lock(syncMutex);
    syncs << QStringLiteral("%1 %2").arg(QLatin1String(call), path);
}

QStringList takeSyncs()
{
    std::lock_guard<std::mutex> lock(syncMutex);
    QStringList taken;
    taken.swap(syncs);
    return taken;
}
} // namespace

extern "C" int fdatasync(int fd)
{
    noteSync("fdatasync", fd);
    return int(::syscall(SYS_fdatasync, fd));
}

extern "C" int syncfs(int fd)
{
    noteSync("syncfs", fd);
    return int(::syscall(SYS_syncfs, fd));
}

namespace {

QString freshDir()
{
    static int n = 0;
    const QString dir = TestEnvironment::instance().tempDir() + QStringLiteral("/w%1").arg(++n);
    QDir().mkpath(dir);
    return QFileInfo(dir).canonicalFilePath();
}

// Waits without running the event loop, as a window busy in a handler does.
bool waitBlocked(const std::function<bool()> &done)
{
    QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QThread::usleep(200); // a poll: the worker runs at a lower priority
    return done();
}

} // namespace

class TestSessionWorker : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY2(FtpFixture::available(), "run through ctest"); }
    void cleanup() { QVERIFY(workersGone()); }

    void aConnectionKeepsOneThreadForAllItsOperations()
    {
        const QString dir = freshDir();
        const QStringList before = threadIds();
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log, true));
        const QStringList connected = threadIds(); // its worker and the keep-alive's
        int most = 0;
        log.inside = [&](const QString &event) {
            most = std::max(most, threadsAddedSince(connected));
            const int done = log.count("GetDone") + log.count("DirDone");
            if (done < 40 && (event == "GetDone" || event == "DirDone")) {
                if (done % 2)
                    ftp.GetDirectory(QStringLiteral("/"));
                else
                    ftp.GetFile("/tenk.bin", dir + QStringLiteral("/%1.bin").arg(done));
            }
        };
        ftp.GetFile("/tenk.bin", dir + "/0.bin");
        QVERIFY(waitFor([&] { return log.count("GetDone") + log.count("DirDone") == 40; }));
        QCOMPARE(log.matching("GetDone").filter(" 10000 err=0").size(), 20);
        QCOMPARE(log.matching("DirDone").filter(" err=0").size(), 20);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), 20);
        QCOMPARE(most, 0);
        ftp.Disconnect();
        QVERIFY(waitFor([&] { return threadsAddedSince(before) == 0; }));
    }

    void theWorkerGoesOnWhileTheWindowIsBusy_data()
    {
        QTest::addColumn<bool>("upload");
        QTest::newRow("download") << false;
        QTest::newRow("upload") << true;
    }

    void theWorkerGoesOnWhileTheWindowIsBusy()
    {
        QFETCH(bool, upload);
        const QString folder = FtpFixture::freshUserFolder("busy");
        const QString dir = freshDir();
        const QString remote = FtpFixture::userRoot() + folder + "/f.bin";
        QVERIFY(writeFile(upload ? dir + "/f.bin" : remote, pattern(3 << 20)));
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        // The whole file reaches its far end while the first handler holds
        // the window: the worker never waited for it.
        const QString far = upload ? FtpFixture::userRoot() + folder : dir;
        bool arrived = false;
        log.clear();
        log.inside = [&](const QString &event) {
            if (log.events.size() != 1)
                return;
            QVERIFY(event == "GetStatus" || event == "SendStatus");
            arrived = waitBlocked([&] {
                QDirIterator files(far, QDir::Files | QDir::Hidden);
                while (files.hasNext())
                    if (QFileInfo(files.next()).size() == (3 << 20))
                        return true;
                return false;
            });
        };
        if (upload)
            ftp.SendFile(dir + "/f.bin", folder + "/f.bin");
        else
            ftp.GetFile(folder + "/f.bin", dir + "/f.bin");
        QVERIFY(waitFor([&] { return log.count(upload ? "SendDone" : "GetDone") == 1; }));
        QVERIFY(arrived);
        QCOMPARE(log.last(),
            QStringLiteral("%1 %2 err=0").arg(upload ? "SendDone" : "GetDone").arg(3 << 20));
        QCOMPARE(readFile(upload ? remote : dir + "/f.bin"), pattern(3 << 20));
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList { "f.bin" });
        ftp.Disconnect();
    }

    void onlyAReplacedFileWaitsForTheDisk()
    {
        const QString dir = freshDir();
        QVERIFY(writeFile(dir + "/old.bin", "old"));
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log, true));
        takeSyncs();
        ftp.GetFile("/tenk.bin", dir + "/new.bin");
        QVERIFY(waitFor([&] { return log.count("GetDone") == 1; }));
        QCOMPARE(takeSyncs(), QStringList());
        ftp.GetFile("/tenk.bin", dir + "/old.bin");
        QVERIFY(waitFor([&] { return log.count("GetDone") == 2; }));
        const QStringList replaced = takeSyncs();
        QCOMPARE(replaced.size(), 1);
        QVERIFY2(
            replaced[0].startsWith("fdatasync " + dir + "/.old.bin."), qPrintable(replaced[0]));
        QCOMPARE(
            log.matching("GetDone"), QStringList({ "GetDone 10000 err=0", "GetDone 10000 err=0" }));
        QCOMPARE(readFile(dir + "/old.bin"), readFile(FtpFixture::anonRoot() + "/tenk.bin"));

        // What the run wrote new goes to the disk once, off this thread.
        bool flushed = false;
        ftp.FlushWritten([&] { flushed = true; });
        QVERIFY(waitFor([&] { return flushed; }));
        const QStringList flushes = takeSyncs();
        QCOMPARE(flushes.size(), 1); // one file system
        QVERIFY2(flushes[0].startsWith("syncfs /"), qPrintable(flushes[0]));
        bool again = false;
        ftp.FlushWritten([&] { again = true; });
        QVERIFY(again); // nothing new: answered at once
        QCOMPARE(takeSyncs(), QStringList());
        ftp.Disconnect();
    }
};

VREX_TEST_MAIN(TestSessionWorker, QCoreApplication)
#include "tst_sessionworker.moc"
