#include "FtpFixture.h"
#include "SessionRecorder.h"
#include "SessionTestKit.h"
#include "TestEnvironment.h"
#include "ftp/FtpThread.h"
#include "ftp/WinInetFTP.h"

#include <QtTest>

using namespace SessionTestKit;

namespace {

QString localDir()
{
    static int n = 0;
    const QString dir = TestEnvironment::instance().tempDir() + QStringLiteral("/t%1").arg(++n);
    QDir().mkpath(dir);
    return dir;
}

QStringList expected(std::initializer_list<const char *> lines)
{
    QStringList list;
    for (const char *l : lines)
        list << QString::fromLatin1(l);
    return list;
}

// Runs of "<event> <n> <rest>" whose n grows by 4096 become "<event> a..b <rest>".
QStringList collapsed(const QStringList &lines)
{
    QStringList out;
    qint64 first = -1, last = -1;
    QString name, rest;
    auto flush = [&] {
        if (first >= 0)
            out << (first == last
                    ? QStringLiteral("%1 %2%3").arg(name).arg(first).arg(rest)
                    : QStringLiteral("%1 %2..%3%4").arg(name).arg(first).arg(last).arg(rest));
        first = -1;
    };
    for (const QString &line : lines) {
        const QString n = line.section(' ', 0, 0), r = line.section(' ', 2);
        bool ok = false;
        const qint64 v = line.section(' ', 1, 1).toLongLong(&ok);
        const QString tail = r.isEmpty() ? QString() : " " + r;
        if (ok && first >= 0 && n == name && tail == rest && v == last + 4096) {
            last = v;
            continue;
        }
        flush();
        if (ok && n.endsWith("Status")) {
            name = n, rest = tail, first = last = v;
            continue;
        }
        out << line;
    }
    flush();
    return out;
}

} // namespace

class TestSessionTransfer : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY2(FtpFixture::available(), "run through ctest"); }
    void cleanup() { QVERIFY(workersGone()); }

    void initTestCase()
    {
        // Large enough that a transfer is still running when a test acts on it.
        QVERIFY(writeFile(FtpFixture::userRoot() + "/big.bin", pattern(4 << 20)));
    }

    void downloadReportsEachChunk_data()
    {
        QTest::addColumn<int>("batch");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QStringList>("events");
        for (int batch : { 1, 16 }) {
            QTest::addRow("10000 bytes, batch %d", batch)
                << batch << "tenk.bin"
                << expected({ "GetStatus 0", "GetStatus 0", "GetStatus 4096", "GetStatus 8192",
                       "GetStatus 10000", "GetDone 10000 err=0" });
            QTest::addRow("0 bytes, batch %d", batch)
                << batch << "zero.bin"
                << expected({ "GetStatus 0", "GetStatus 0", "GetDone 0 err=0" });
        }
    }

    void downloadReportsEachChunk()
    {
        QFETCH(int, batch);
        QFETCH(QString, remote);
        QFETCH(QStringList, events);
        TWinInetFTP ftp;
        ftp.TransferBatch = batch;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log, true));
        log.clear();
        const QString target = localDir() + "/" + remote;
        ftp.GetFile("/" + remote, target);
        QCOMPARE(ftp.Status(), statInGet);
        QTRY_COMPARE_WITH_TIMEOUT(log.count("GetDone"), 1, 10000);
        QCOMPARE(log.events, events);
        QCOMPARE(readFile(target), readFile(FtpFixture::anonRoot() + "/" + remote));
        QCOMPARE(log.statusCodes.first(), 3);
        QCOMPARE(log.statusCodes.last(), 99);
        QCOMPARE(ftp.Status(), statIdle);
        QCOMPARE(log.offUiThread, 0);
        QCOMPARE(QDir(QFileInfo(target).path()).entryList(QDir::Files), QStringList { remote });
        ftp.Disconnect();
    }

    void oneCallDownloadReportsNoChunks()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log, true));
        log.clear();
        const QString target = localDir() + "/tenk.bin";
        ftp.GetFileDirect("/tenk.bin", target);
        QTRY_COMPARE_WITH_TIMEOUT(log.count("GetDone"), 1, 10000);
        QCOMPARE(log.events, expected({ "GetStatus 0", "GetStatus 0", "GetDone 0 err=0" }));
        QCOMPARE(readFile(target), readFile(FtpFixture::anonRoot() + "/tenk.bin"));
        ftp.Disconnect();
    }

    void failedDownloadKeepsTheOldFile()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log, true));
        const QString dir = localDir();
        QVERIFY(writeFile(dir + "/keep.bin", "old contents"));
        log.clear();
        ftp.GetFile("/no-such-file", dir + "/keep.bin");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("GetDone"), 1, 10000);
        QCOMPARE(log.events, expected({ "GetStatus 0", "GetStatus 0", "GetDone 0 err=2" }));
        QCOMPARE(readFile(dir + "/keep.bin"), QByteArray("old contents"));

        // A target that cannot be created: the remote file is let go again.
        log.clear();
        ftp.GetFile("/tenk.bin", dir + "/missing-folder/x.bin");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("GetDone"), 1, 10000);
        QCOMPARE(log.last(), QStringLiteral("GetDone 0 err=8"));

        // Success replaces it, and nothing else is left in the folder.
        log.clear();
        ftp.GetFile("/tenk.bin", dir + "/keep.bin");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("GetDone"), 1, 10000);
        QCOMPARE(log.last(), QStringLiteral("GetDone 10000 err=0"));
        QCOMPARE(readFile(dir + "/keep.bin"), readFile(FtpFixture::anonRoot() + "/tenk.bin"));
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList { "keep.bin" });
        ftp.Disconnect();
    }

    void uploadReportsEachChunk_data()
    {
        QTest::addColumn<int>("batch");
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("events");
        for (int batch : { 1, 16 }) {
            QTest::addRow("10000 bytes, batch %d", batch)
                << batch << 10000
                << expected({ "SendStatus 0", "SendStatus 0", "SendStatus 4096", "SendStatus 8192",
                       "SendStatus 10000", "SendStatus 10000", "SendDone 10000 err=0" });
            QTest::addRow("0 bytes, batch %d", batch)
                << batch << 0
                << expected({ "SendStatus 0", "SendStatus 0", "SendStatus 0", "SendDone 0 err=0" });
        }
        QTest::addRow("exactly two chunks")
            << 16 << 8192
            << expected({ "SendStatus 0", "SendStatus 0", "SendStatus 4096", "SendStatus 8192",
                   "SendStatus 8192", "SendDone 8192 err=0" });
    }

    void uploadReportsEachChunk()
    {
        QFETCH(int, batch);
        QFETCH(int, size);
        QFETCH(QStringList, events);
        const QString folder = FtpFixture::freshUserFolder("up");
        const QString source = localDir() + "/source.bin";
        QVERIFY(writeFile(source, pattern(size)));
        TWinInetFTP ftp;
        ftp.TransferBatch = batch;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        log.clear();
        ftp.SendFile(source, folder + "/sent.bin");
        QCOMPARE(ftp.Status(), statInSend);
        QTRY_COMPARE_WITH_TIMEOUT(log.count("SendDone"), 1, 10000);
        QCOMPARE(log.events, events);
        QCOMPARE(readFile(FtpFixture::userRoot() + folder + "/sent.bin"), pattern(size));
        QCOMPARE(log.statusCodes.first(), 4);
        QCOMPARE(log.statusCodes.last(), 99);
        QCOMPARE(ftp.Status(), statIdle);
        QCOMPARE(log.offUiThread, 0);
        ftp.Disconnect();
    }

    void refusedUploadsSayWhy()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log, true));
        const QString source = localDir() + "/s.bin";
        QVERIFY(writeFile(source, "data"));
        const int lines = int(ftp.LogonMessage().size());
        log.clear();
        ftp.SendFile(source, "/refused.bin"); // anonymous may not write
        QTRY_COMPARE_WITH_TIMEOUT(log.count("SendDone"), 1, 10000);
        QCOMPARE(log.events, expected({ "SendStatus 0", "SendStatus 0", "SendDone 0 err=10" }));
        QVERIFY(ftp.LogonMessage().size() > lines);
        QVERIFY(!QFile::exists(FtpFixture::anonRoot() + "/refused.bin"));

        log.clear();
        ftp.SendFile(localDir() + "/absent.bin", "/x.bin");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("SendDone"), 1, 10000);
        QCOMPARE(log.events, expected({ "SendStatus 0", "SendStatus 0", "SendDone 0 err=2" }));
        ftp.Disconnect();
    }

    void transferRequestsDuringADownloadAreIgnored()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        const QString dir = localDir();
        QVERIFY(writeFile(dir + "/up.bin", "x"));
        log.inside = [&](const QString &event) {
            if (event == "GetStatus" && log.count("GetStatus") == 3) {
                ftp.GetFile("/tenk.bin", dir + "/second.bin");
                ftp.GetFileDirect("/tenk.bin", dir + "/third.bin");
                ftp.SendFile(dir + "/up.bin", "/up.bin");
                ftp.Disconnect(); // refused while a transfer runs
            }
        };
        ftp.GetFile("/big.bin", dir + "/big.bin");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("GetDone"), 1, 30000);
        QVERIFY(workersGone());
        QCOMPARE(log.count("GetDone"), 1);
        QCOMPARE(log.count("SendStatus"), 0);
        QCOMPARE(log.last(), QStringLiteral("GetDone %1 err=0").arg(4 << 20));
        QVERIFY(!QFile::exists(dir + "/second.bin") && !QFile::exists(dir + "/third.bin"));
        QVERIFY(ftp.Connected());
        QCOMPARE(readFile(dir + "/big.bin"), pattern(4 << 20));
        ftp.Disconnect();
    }

    void aTransferMayStartTheNextFromItsDoneHandler()
    {
        const QString folder = FtpFixture::freshUserFolder("chain");
        const QString dir = localDir();
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        QList<TWinInetStatus> during;
        log.inside = [&](const QString &event) {
            if (event == "GetStatus" || event == "SendStatus")
                during << ftp.Status();
            if (event == "GetDone" && log.count("GetDone") == 1)
                ftp.SendFile(dir + "/first.bin", folder + "/up.bin");
            if (event == "SendDone")
                ftp.GetFile(folder + "/up.bin", dir + "/second.bin");
        };
        log.clear();
        ftp.GetFile("/tenk.bin", dir + "/first.bin");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("GetDone"), 2, 10000);
        QCOMPARE(log.matching("GetDone"),
            (QStringList { "GetDone 10000 err=0", "GetDone 10000 err=0" }));
        QCOMPARE(log.matching("SendDone"), QStringList { "SendDone 10000 err=0" });
        QCOMPARE(readFile(dir + "/second.bin"), readFile(FtpFixture::anonRoot() + "/tenk.bin"));
        // Each operation's progress shows its own state, also when it was
        // started from the previous one's completion handler.
        QCOMPARE(during.count(statInGet), log.count("GetStatus"));
        QCOMPARE(during.count(statInSend), log.count("SendStatus"));
        QCOMPARE(ftp.Status(), statIdle);
        ftp.Disconnect();
    }

    void cancelledDownloadRemovesThePartialFile_data()
    {
        QTest::addColumn<bool>("fromHandler");
        QTest::addColumn<int>("batch");
        QTest::newRow("Stop pressed, batch 16") << false << 16;
        QTest::newRow("Stop pressed, batch 1") << false << 1;
        QTest::newRow("from a progress handler") << true << 16;
    }

    void cancelledDownloadRemovesThePartialFile()
    {
        QFETCH(bool, fromHandler);
        QFETCH(int, batch);
        TWinInetFTP ftp;
        ftp.TransferBatch = batch;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        const QString dir = localDir();
        bool cancelReturned = false;
        log.inside = [&](const QString &event) {
            if (event != "GetStatus" || log.count("GetStatus") != 4)
                return;
            if (fromHandler) {
                ftp.Cancel(); // must not wait for the worker blocked on this handler
                cancelReturned = true;
            } else {
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [&] {
                        ftp.Cancel();
                        cancelReturned = true;
                        // The cancelled download has ended inside Cancel.
                        QCOMPARE(log.count("GetDone"), 1);
                    },
                    Qt::QueuedConnection);
            }
        };
        log.clear();
        ftp.GetFile("/big.bin", dir + "/big.bin");
        QTRY_VERIFY_WITH_TIMEOUT(cancelReturned && log.count("GetDone") == 1, 30000);
        const QStringList status = log.matching("GetStatus");
        const QString lastBytes = status.last().section(' ', 1);
        QVERIFY(lastBytes.toLongLong() < (4 << 20));
        QCOMPARE(log.last(), QStringLiteral("GetDone %1 err=7").arg(lastBytes));
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList());
        QCOMPARE(ftp.Status(), statIdle);

        // Still connected and usable.
        log.inside = nullptr;
        log.clear();
        ftp.GetFile("/tenk.bin", dir + "/tenk.bin");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("GetDone"), 1, 10000);
        QCOMPARE(log.last(), QStringLiteral("GetDone 10000 err=0"));
        ftp.Disconnect();
    }

    void cancelledUploadEndsAndLeavesTheSource()
    {
        const QString folder = FtpFixture::freshUserFolder("upcancel");
        const QString source = localDir() + "/big.bin";
        QVERIFY(writeFile(source, pattern(4 << 20)));
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        bool cancelled = false;
        log.inside = [&](const QString &event) {
            if (event == "SendStatus" && log.count("SendStatus") == 3)
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [&] {
                        ftp.Cancel();
                        cancelled = true;
                    },
                    Qt::QueuedConnection);
        };
        log.clear();
        ftp.SendFile(source, folder + "/big.bin");
        QTRY_VERIFY_WITH_TIMEOUT(cancelled && log.count("SendDone") == 1, 30000);
        QVERIFY(log.last().startsWith("SendDone "));
        QVERIFY(log.last().endsWith(" err=7"));
        QVERIFY(log.last().section(' ', 1, 1).toLongLong() < (4 << 20));
        QCOMPARE(readFile(source), pattern(4 << 20));
        ftp.Disconnect();
    }

    void connectDuringADownloadCancelsItFirst()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        const QString dir = localDir();
        log.inside = [&](const QString &event) {
            if (event == "GetStatus" && log.count("GetStatus") == 3)
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(), [&] { ftp.Connect(); }, Qt::QueuedConnection);
        };
        log.clear();
        ftp.GetFile("/big.bin", dir + "/big.bin");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("Connect"), 1, 30000);
        QStringList ends = log.events.filter(QRegularExpression("^(GetDone|Connect)"));
        QCOMPARE(ends.size(), 2);
        QVERIFY(ends[0].startsWith("GetDone ") && ends[0].endsWith("err=7"));
        QCOMPARE(ends[1], QStringLiteral("Connect inet=1 ftp=1 err=0"));
        QVERIFY(!QFile::exists(dir + "/big.bin"));
        QVERIFY(ftp.Connected());
        ftp.Disconnect();
    }

    void downloadCutOffByALostConnectionFailsAndDropsIt()
    {
        QProcess server;
        server.start(QString::fromLocal8Bit(qgetenv("VREX_PYTHON")),
            { QString::fromLocal8Bit(qgetenv("VREX_SOURCE_DIR"))
                + "/tests/session/drop_server.py" });
        QVERIFY(server.waitForReadyRead(10000));
        const int port = server.readLine().trimmed().toInt();
        QVERIFY(port > 0);
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        ftp.FTPSite = QStringLiteral("127.0.0.1:%1").arg(port);
        ftp.Login = QStringLiteral("someone");
        ftp.Password = QStringLiteral("pw");
        ftp.Connect();
        QTRY_COMPARE_WITH_TIMEOUT(log.count("Connect"), 1, 10000);
        QCOMPARE(log.last(), QStringLiteral("Connect inet=1 ftp=1 err=0"));
        const QString dir = localDir();
        QVERIFY(writeFile(dir + "/cut.bin", "previous"));
        log.clear();
        ftp.GetFile("/cut.bin", dir + "/cut.bin");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("GetDone"), 1, 20000);
        // Part of the data arrived, then the server vanished: not a success.
        QVERIFY2(log.last().endsWith(" err=6"), qPrintable(log.last()));
        QCOMPARE(readFile(dir + "/cut.bin"), QByteArray("previous"));
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList { "cut.bin" });
        QVERIFY(!ftp.Connected());
        log.clear();
        ftp.GetDirectory(QStringLiteral("/"));
        QCOMPARE(log.events, QStringList { "DirDone err=9" });
        QVERIFY(workersGone());
        ftp.Disconnect();
        server.waitForFinished(10000);
        QCOMPARE(server.state(), QProcess::NotRunning);
    }

    void connectInsideAProgressHandlerWaitsForTheDownload()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        const QString dir = localDir();
        log.inside = [&](const QString &event) {
            if (event == "GetStatus" && log.count("GetStatus") == 3)
                ftp.Connect();
        };
        log.clear();
        ftp.GetFile("/big.bin", dir + "/big.bin");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("Connect"), 1, 30000);
        QVERIFY(log.matching("GetDone").value(0).endsWith("err=7"));
        QCOMPARE(log.last(), QStringLiteral("Connect inet=1 ftp=1 err=0"));
        QVERIFY(ftp.Connected());
        ftp.Disconnect();
    }

    // Every event a handler sees, with Status and LastError as it sees them,
    // in delivery order, library progress codes included.
    void eventsOfAMebibyteTransferInOrder() { mebibyteTransferEvents(false); }

    // A transfer lane's session takes every waiting event in one turn of the
    // loop: its handlers see exactly what one event per turn shows.
    void eventsDeliveredInBatchesAreTheSame() { mebibyteTransferEvents(true); }

private:
    void mebibyteTransferEvents(bool inBatches)
    {
        const QString folder = FtpFixture::freshUserFolder(inBatches ? "mib-batch" : "mib");
        const QString dir = localDir();
        QVERIFY(writeFile(dir + "/up.bin", pattern(1 << 20)));
        TWinInetFTP ftp;
        ftp.DeliversInBatches = inBatches;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        QStringList seen;
        auto state = [&] {
            return QStringLiteral(" st=%1 err=%2").arg(int(ftp.Status())).arg(int(ftp.LastError()));
        };
        ftp.OnWinInetStatus = [&](TWinInetFTP *, int32_t code) {
            seen << QStringLiteral("Code %1").arg(code) + state();
        };
        log.inside = [&](const QString &) { seen << log.last() + state(); };
        ftp.SendFile(dir + "/up.bin", folder + "/up.bin");
        QVERIFY(waitFor([&] { return log.count("SendDone") == 1; }));
        ftp.GetFile(folder + "/up.bin", dir + "/down.bin");
        QVERIFY(waitFor([&] { return log.count("GetDone") == 1; }));
        QCOMPARE(readFile(FtpFixture::userRoot() + folder + "/up.bin"), pattern(1 << 20));
        QCOMPARE(readFile(dir + "/down.bin"), pattern(1 << 20));
        const char *command[] = { "Code 30", "Code 31", "Code 40", "Code 41" };
        QStringList want;
        auto add = [&](std::initializer_list<const char *> lines, int st) {
            for (const char *l : lines)
                want << QStringLiteral("%1 st=%2 err=0").arg(QLatin1String(l)).arg(st);
        };
        auto commands = [&](int n, int st) {
            for (int i = 0; i < n; ++i)
                for (const char *c : command)
                    add({ c }, st);
        };
        // SIZE and MDTM (what a resume would be proven against), EPSV, STOR
        add({ "Code 4", "SendStatus 0" }, 3);
        commands(4, 3);
        add({ "Code 100", "Code 60", "SendStatus 0..1048576", "Code 40", "Code 41", "Code 70",
                "Code 99", "SendStatus 1048576", "SendDone 1048576 err=0" },
            3);
        add({ "Code 3", "GetStatus 0" }, 2); // SIZE, MDTM, EPSV, RETR
        commands(4, 2);
        add({ "Code 100", "Code 60", "GetStatus 0..1044480", "Code 40", "Code 41", "Code 70",
                "Code 99", "GetStatus 1048576", "GetDone 1048576 err=0" },
            2);
        QCOMPARE(collapsed(seen), want);
        QCOMPARE(ftp.Status(), statIdle);
        ftp.Disconnect();
    }
};

VREX_TEST_MAIN(TestSessionTransfer, QCoreApplication)
#include "tst_sessiontransfer.moc"
