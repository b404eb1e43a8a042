// Small files whose size the caller knows go without SIZE or MDTM first,
// yet a file cut short is never taken as whole.
#include "FaultServer.h"
#include "PrivateFtpServer.h"
#include "SessionRecorder.h"
#include "SessionTestKit.h"
#include "TestEnvironment.h"
#include "ftp/WinInetFTP.h"

#include <QtTest>

using namespace SessionTestKit;

namespace {

bool connectAt(TWinInetFTP &ftp, SessionRecorder &log, const QString &host)
{
    ftp.FTPSite = host;
    ftp.Login = QStringLiteral("vrex");
    ftp.Password = QStringLiteral("secret");
    ftp.Connect();
    return waitFor([&] { return log.count("Connect") > 0; }, 20000) && ftp.Connected();
}

// The transfer commands of a log, with only the file's name left of the path.
QStringList fileCommands(const QStringList &commands)
{
    QStringList out;
    for (const QString &line : commands) {
        const QString verb = line.section(' ', 0, 0);
        if (QStringList { "SIZE", "MDTM", "RETR", "STOR", "REST" }.contains(verb))
            out << verb + ' ' + line.section('/', -1);
    }
    return out;
}

} // namespace

class TestSessionKnownSize : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QVERIFY(workersGone()); }

    void smallFilesGoWithoutQuestionsAndArriveWhole()
    {
        PrivateFtpServer server;
        server.setCommandLog(true);
        QVERIFY(server.start());
        const QString dir = TestEnvironment::instance().tempDir() + "/knownsize";
        QVERIFY(QDir(dir).removeRecursively() && QDir().mkpath(dir));
        // name, bytes on the server, size it was listed with
        const QList<std::tuple<QString, qint64, qint64>> files { { "same.bin", 4096, 4096 },
            { "grown.bin", 7000, 3000 }, { "shrunk.bin", 5000, 9000 } };
        for (const auto &[name, size, listed] : files)
            QVERIFY(writeFile(server.userRoot() + '/' + name, pattern(size)));
        QVERIFY(writeFile(dir + "/up.bin", pattern(4000)));
        QVERIFY(writeFile(dir + "/same.bin", "an older copy"));
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectAt(ftp, log, server.host()));
        server.takeCommands();
        for (const auto &[name, size, listed] : files) {
            log.clear();
            ftp.GetFileResumable('/' + name, dir + '/' + name, listed);
            QVERIFY(waitFor([&] { return log.count("GetDone") == 1; }, 30000));
            QCOMPARE(log.last(), QStringLiteral("GetDone %1 err=0").arg(size));
            QCOMPARE(readFile(dir + '/' + name), pattern(size));
        }
        log.clear();
        ftp.SendFile(dir + "/up.bin", "/up.bin", false, true);
        QVERIFY(waitFor([&] { return log.count("SendDone") == 1; }, 30000));
        QCOMPARE(log.last(), QStringLiteral("SendDone 4000 err=0"));
        QCOMPARE(readFile(server.userRoot() + "/up.bin"), pattern(4000));
        // Only a size that differs from the listing's is asked after the data.
        QCOMPARE(fileCommands(server.takeCommands()),
            QStringList({ "RETR same.bin", "RETR grown.bin", "SIZE grown.bin", "RETR shrunk.bin",
                "SIZE shrunk.bin", "STOR up.bin" }));
        // Nothing beside the files: no partial file, no record of its origin.
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
            QStringList({ "grown.bin", "same.bin", "shrunk.bin", "up.bin" }));
        ftp.Disconnect();
    }

    void aSmallFileCutShortIsFetchedAgainAndNeverTakenAsWhole_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("note");
        QTest::newRow("226 after part of the data")
            << "retr-short-226" << "The server called a short transfer complete";
        QTest::newRow("426 after part of the data")
            << "retr-short-426" << "Connection lost: starting the download again from byte 0.";
    }

    void aSmallFileCutShortIsFetchedAgainAndNeverTakenAsWhole()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, note);
        // The server sends 30,000 bytes of a file listed with 100,000 (and
        // whose SIZE is larger still), on every attempt.
        FaultServer server(scenario, "SIZE,MDTM,UTF8,EPSV");
        QVERIFY2(server.ok(), "server did not start");
        const QString dir = TestEnvironment::instance().tempDir() + '/' + scenario;
        QVERIFY(QDir(dir).removeRecursively() && QDir().mkpath(dir));
        QVERIFY(writeFile(dir + "/file.bin", "old contents"));
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectAt(ftp, log, QString::fromLatin1(server.address())));
        log.clear();
        ftp.GetFileResumable("/file.bin", dir + "/file.bin", 100000);
        QVERIFY(waitFor([&] { return log.count("GetDone") == 1; }, 30000));
        QVERIFY2(!log.last().endsWith(" err=0"), qPrintable(log.last()));
        QVERIFY2(ftp.LogonMessage().filter(note).size() == 1,
            qPrintable(ftp.LogonMessage().join('|')));
        QCOMPARE(readFile(dir + "/file.bin"), QByteArray("old contents"));
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList { "file.bin" });
        ftp.Disconnect();
    }
};

VREX_TEST_MAIN(TestSessionKnownSize, QCoreApplication)
#include "tst_sessionknownsize.moc"
