// Failures the session must report as failures, and hostile names it must
// never deliver, played by the project's fault server over real sockets.
#include "FaultServer.h"
#include "PrivateFtpServer.h"
#include "SessionRecorder.h"
#include "SessionTestKit.h"
#include "TestEnvironment.h"
#include "ftp/WinInetFTP.h"

#include <QtTest>

using namespace SessionTestKit;

namespace {

constexpr int kServerFileSize = 3000000; // fault_server.py's /file.bin

QByteArray serverPattern(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char(i % 251);
    return data;
}

QString localDir()
{
    static int n = 0;
    const QString dir = TestEnvironment::instance().tempDir() + QStringLiteral("/f%1").arg(++n);
    QDir().mkpath(dir);
    return dir;
}

bool connectToServer(TWinInetFTP &ftp, SessionRecorder &log, const FaultServer &server)
{
    ftp.FTPSite = QString::fromLatin1(server.address());
    ftp.Login = QStringLiteral("user");
    ftp.Password = QStringLiteral("secret");
    ftp.Connect();
    if (!waitFor([&] { return log.count(QStringLiteral("Connect")) > 0; }, 20000))
        return false;
    return ftp.LastError() == errNone && ftp.Connected();
}

} // namespace

class TestSessionFailures : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QVERIFY(workersGone()); }

    void listingThatDidNotCompleteIsAFailure_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("features");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("reply");
        const QString plain = QStringLiteral("SIZE,UTF8,EPSV");
        QTest::newRow("passive mode refused")
            << "passive-refused" << plain << "/pub" << int(errUnknown) << "502 Passive mode";
        QTest::newRow("425 instead of the data")
            << "list-425" << plain << "/pub" << int(errUnknown) << "425 Can't open";
        QTest::newRow("426 part way")
            << "list-426-midway" << plain << "/pub" << int(errUnknown) << "426 Connection closed";
        QTest::newRow("451 after the data")
            << "listing-451" << plain << "/pub" << int(errUnknown) << "451 Local error";
        QTest::newRow("data connection reset")
            << "listing-drop" << plain << "/pub" << int(errUnknown) << QString();
        QTest::newRow("control connection lost")
            << "listing-no-final" << plain << "/pub" << int(errUnknown) << QString();
        QTest::newRow("MLSD 426 part way") << "list-426-midway"
                                           << "MLST,SIZE,EPSV"
                                           << "/dir" << int(errUnknown) << "426 Connection closed";
        // What still means an empty or missing folder.
        QTest::newRow("550 missing folder")
            << "normal" << plain << "/missing" << int(errNone) << QString();
        QTest::newRow("empty listing")
            << "list-empty" << plain << "/pub" << int(errNone) << QString();
    }

    void listingThatDidNotCompleteIsAFailure()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, features);
        QFETCH(QString, directory);
        QFETCH(int, error);
        QFETCH(QString, reply);
        FaultServer server(scenario, features);
        QVERIFY2(server.ok(), "server did not start");
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectToServer(ftp, log, server));
        log.clear();
        const int logonLines = int(ftp.LogonMessage().size());
        ftp.GetDirectory(directory);
        QVERIFY(waitFor([&] { return log.count("DirDone") == 1; }, 30000));
        QCOMPARE(log.last(), QStringLiteral("DirDone err=%1").arg(error));
        QCOMPARE(int(ftp.LastError()), error);
        QCOMPARE(ftp.Status(), statIdle);
        QCOMPARE(log.count("DirEntry"), 0);
        const QStringList added = ftp.LogonMessage().mid(logonLines);
        if (reply.isEmpty()) {
            if (error == errNone)
                QCOMPARE(added, QStringList());
        } else {
            QVERIFY2(added.size() == 1 && added[0].startsWith(reply), qPrintable(added.join('|')));
        }
        ftp.Disconnect();
    }

    void namesHoldingASlashAreNeverDelivered_data()
    {
        QTest::addColumn<QString>("features");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("LIST") << "SIZE,EPSV" << QStringList { "DirEntry good.txt", "DirEntry .." };
        QTest::newRow("MLSD") << "MLST,SIZE,EPSV"
                              << QStringList { "DirEntry good.txt", "DirEntry .." };
    }

    void namesHoldingASlashAreNeverDelivered()
    {
        QFETCH(QString, features);
        QFETCH(QStringList, entries);
        FaultServer server("list-slash-names", features);
        QVERIFY2(server.ok(), "server did not start");
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectToServer(ftp, log, server));
        log.clear();
        ftp.GetDirectory("/dir");
        QVERIFY(waitFor([&] { return log.count("DirDone") == 1; }, 30000));
        QCOMPARE(log.matching("DirEntry"), entries);
        QCOMPARE(log.last(), QStringLiteral("DirDone err=0"));
        ftp.Disconnect();
    }

    void downloadIsCompleteOnlyWithEveryAnnouncedByte_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("features");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<int>("listed"); // the size a queue knows (0: none), sent instead of SIZE
        QTest::addColumn<int>("restarts");
        QTest::newRow("no SIZE, 150 announces more than sent, then 226")
            << "retr-announced-short"
            << "UTF8,EPSV" << false << 0 << 0;
        QTest::newRow("SIZE announces more than sent, then 226")
            << "retr-short-226"
            << "SIZE,UTF8,EPSV" << false << 0 << 1;
        QTest::newRow("no SIZE, 150 announces what is sent") << "retr-announced"
                                                             << "UTF8,EPSV" << true << 0 << 0;
        QTest::newRow("listed, 226") << "retr-short-226"
                                     << "SIZE,MDTM,EPSV" << false << 100000 << 1;
        QTest::newRow("listed, 426") << "retr-short-426"
                                     << "SIZE,MDTM,EPSV" << false << 100000 << 1;
    }

    void downloadIsCompleteOnlyWithEveryAnnouncedByte()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, features);
        QFETCH(bool, complete);
        QFETCH(int, listed);
        QFETCH(int, restarts);
        FaultServer server(scenario, features);
        QVERIFY2(server.ok(), "server did not start");
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectToServer(ftp, log, server));
        const QString dir = localDir();
        QVERIFY(writeFile(dir + "/file.bin", "old contents"));
        log.clear();
        if (listed > 0)
            ftp.GetFileResumable("/file.bin", dir + "/file.bin", listed);
        else
            ftp.GetFile("/file.bin", dir + "/file.bin");
        QVERIFY(waitFor([&] { return log.count("GetDone") == 1; }, 30000));
        QCOMPARE(log.last().section(' ', 2), QStringLiteral("err=%1").arg(complete ? 0 : 6));
        QCOMPARE(
            ftp.LogonMessage().filter("starting the download again from byte 0").size(), restarts);
        QCOMPARE(readFile(dir + "/file.bin"),
            complete ? serverPattern(kServerFileSize) : QByteArray("old contents"));
        // No temporary file is left beside the target.
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList { "file.bin" });
        ftp.Disconnect();
    }

    void smallFilesOfAKnownSizeAskNothingFirstYetArriveWhole()
    {
        PrivateFtpServer server;
        server.setCommandLog(true);
        QVERIFY(server.start());
        const QString dir = localDir();
        QVERIFY(writeFile(dir + "/same.bin", "older") && writeFile(dir + "/up.bin", pattern(4000)));
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        ftp.FTPSite = server.host();
        ftp.Login = "vrex";
        ftp.Password = "secret";
        ftp.Connect();
        QVERIFY(waitFor([&] { return log.count("Connect") > 0; }, 20000) && ftp.Connected());
        // name, bytes on the server, size it was listed with
        for (const auto &[name, size, listed] :
            QList<std::tuple<QString, int, int>> { { "same.bin", 4096, 4096 },
                { "grown.bin", 7000, 3000 }, { "shrunk.bin", 5000, 9000 } }) {
            QVERIFY(writeFile(server.userRoot() + '/' + name, pattern(size)));
            log.clear();
            ftp.GetFileResumable('/' + name, dir + '/' + name, listed);
            QVERIFY(waitFor([&] { return log.count("GetDone") == 1; }, 30000));
            QCOMPARE(log.last(), QStringLiteral("GetDone %1 err=0").arg(size));
            QCOMPARE(readFile(dir + '/' + name), pattern(size));
        }
        ftp.SendFile(dir + "/up.bin", "/up.bin", false, true);
        QVERIFY(waitFor([&] { return log.count("SendDone") == 1; }, 30000));
        QCOMPARE(log.last(), QStringLiteral("SendDone 4000 err=0"));
        QCOMPARE(readFile(server.userRoot() + "/up.bin"), pattern(4000));
        // Only a size that differs from the listing's is asked, after the data.
        QStringList asked
            = server.takeCommands().filter(QRegularExpression("^(SIZE|MDTM|RETR|STOR) "));
        QCOMPARE(asked.replaceInStrings(QRegularExpression(" .*/"), " "),
            QStringList({ "RETR same.bin", "RETR grown.bin", "SIZE grown.bin", "RETR shrunk.bin",
                "SIZE shrunk.bin", "STOR up.bin" }));
        // No partial file and no record of its origin stay beside the files.
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
            QStringList({ "grown.bin", "same.bin", "shrunk.bin", "up.bin" }));
    }

    void downloadSpanningBlocksReportsEveryChunkInOrder()
    {
        // 3,000,000 bytes: several of the worker's blocks, and a last chunk
        // that is not full; the events are those of 4096-byte chunks.
        FaultServer server("normal");
        QVERIFY2(server.ok(), "server did not start");
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectToServer(ftp, log, server));
        const QString dir = localDir();
        log.clear();
        ftp.GetFile("/file.bin", dir + "/file.bin");
        QVERIFY(waitFor([&] { return log.count("GetDone") == 1; }, 30000));
        QStringList expected { "GetStatus 0" };
        for (qint64 at = 0; at < kServerFileSize; at += 4096)
            expected << QStringLiteral("GetStatus %1").arg(at);
        expected << QStringLiteral("GetStatus %1").arg(kServerFileSize)
                 << QStringLiteral("GetDone %1 err=0").arg(kServerFileSize);
        QCOMPARE(log.events, expected);
        QCOMPARE(log.offUiThread, 0);
        QCOMPARE(readFile(dir + "/file.bin"), serverPattern(kServerFileSize));
        ftp.Disconnect();
    }

    void singleFileLookupFindsANameWithBrackets()
    {
        // A server offering MLST that, like real ones, refuses MLSD of a file.
        FaultServer server("mlsd-strict", "MLST,SIZE,EPSV");
        QVERIFY2(server.ok(), "server did not start");
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectToServer(ftp, log, server));
        for (const QString name : { "report[1].txt", "[x]", "a]b[c.bin" }) {
            log.clear();
            ftp.GetDirectory("/pub/" + name);
            QVERIFY(waitFor([&] { return log.count("DirDone") == 1; }, 30000));
            QCOMPARE(log.events, QStringList({ "DirEntry " + name, "DirDone err=0" }));
        }
        // A folder named the same way is still listed whole.
        log.clear();
        ftp.GetDirectory("/dir");
        QVERIFY(waitFor([&] { return log.count("DirDone") == 1; }, 30000));
        QCOMPARE(log.last(), QStringLiteral("DirDone err=0"));
        QVERIFY(log.count("DirEntry") > 0);
        ftp.Disconnect();
    }
};

VREX_TEST_MAIN(TestSessionFailures, QCoreApplication)
#include "tst_sessionfailures.moc"
