// A transfer of the session broken half way by the server completes
// byte-exact after one automatic resume, and says so in the messages.
#include "FaultServer.h"
#include "SessionRecorder.h"
#include "SessionTestKit.h"
#include "TestEnvironment.h"
#include "ftp/WinInetFTP.h"

#include <QtTest>

#include <QRandomGenerator>
#include <QRegularExpression>

using namespace SessionTestKit;

namespace {

constexpr int kFileSize = 3 * 1024 * 1024 + 77;

QByteArray randomBytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (int i = 0; i < size; ++i)
        data[i] = char(random.generate() & 0xff);
    return data;
}

// The progress values of the events named; how often they went back to 0.
int restartsIn(const QStringList &values, bool &monotone)
{
    monotone = true;
    int restarts = 0;
    qint64 previous = 0;
    for (const QString &line : values) {
        const qint64 value = line.section(' ', 1, 1).toLongLong();
        if (value < previous && value == 0)
            ++restarts;
        else if (value < previous)
            monotone = false;
        previous = value;
    }
    return restarts;
}

} // namespace

class TestSessionResume : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QVERIFY(workersGone()); }

    void transferBrokenHalfWayCompletesAfterOneResume_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<bool>("upload");
        QTest::addColumn<QString>("note");
        QTest::addColumn<int>("restarts");
        QTest::newRow("GetFile, REST honoured")
            << "resume-retr" << false << "; reconnected and resuming at byte " << 0;
        QTest::newRow("GetFile, REST faked: started over")
            << "resume-retr-lie" << false << "The server did not resume where asked" << 1;
        QTest::newRow("SendFile, REST STREAM")
            << "resume-stor" << true << "; reconnected and resuming at byte " << 0;
    }

    void transferBrokenHalfWayCompletesAfterOneResume()
    {
        QFETCH(QString, scenario);
        QFETCH(bool, upload);
        QFETCH(QString, note);
        QFETCH(int, restarts);
        const QString dir = TestEnvironment::instance().tempDir() + "/" + scenario;
        QVERIFY(QDir().mkpath(dir));
        const QByteArray data = randomBytes(kFileSize);
        QVERIFY(writeFile(dir + "/source.bin", data));
        FaultServer server(scenario, "SIZE,EPSV,REST STREAM", false,
            { "--data", dir + "/source.bin", "--store", dir + "/stored.bin" });
        QVERIFY2(server.ok(), "server did not start");
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        ftp.FTPSite = QString::fromLatin1(server.address());
        ftp.Login = "user";
        ftp.Password = "secret";
        ftp.Connect();
        QVERIFY(waitFor([&] { return log.count("Connect") > 0; }, 20000));
        QVERIFY(ftp.Connected());
        log.clear();
        const QString done = upload ? "SendDone" : "GetDone";
        if (upload)
            ftp.SendFile(dir + "/source.bin", "/upload");
        else
            ftp.GetFile("/file.bin", dir + "/target.bin");
        QVERIFY(waitFor([&] { return log.count(done) == 1; }, 60000));
        QCOMPARE(log.last(), QStringLiteral("%1 %2 err=0").arg(done).arg(kFileSize));
        const QByteArray result = readFile(dir + (upload ? "/stored.bin" : "/target.bin"));
        QCOMPARE(result.size(), data.size());
        QVERIFY(result == data);
        bool monotone = false;
        QCOMPARE(restartsIn(log.matching(upload ? "SendStatus" : "GetStatus"), monotone), restarts);
        QVERIFY(monotone);
        const QString messages = ftp.LogonMessage().join('|');
        QVERIFY2(ftp.LogonMessage().filter(note).size() == 1, qPrintable(messages));
        const QString lost = upload ? "Connection lost after " : "Connection lost at ";
        QVERIFY2(ftp.LogonMessage().filter(QRegularExpression("^" + lost)).size() == 1,
            qPrintable(messages));
        QVERIFY(ftp.Connected()); // the same connection handle goes on
        // No temporary file is left beside the target.
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
            (QStringList { "source.bin", upload ? "stored.bin" : "target.bin" }));
        ftp.Disconnect();
    }
};

VREX_TEST_MAIN(TestSessionResume, QCoreApplication)
#include "tst_sessionresume.moc"
