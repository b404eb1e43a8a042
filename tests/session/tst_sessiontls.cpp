// The session over explicit FTP over TLS: the certificate question on the
// user-interface thread, the encryption shown, failures as errInsecure.
#include "SessionRecorder.h"
#include "SessionTestKit.h"
#include "TestEnvironment.h"
#include "TlsTestKit.h"
#include "ftp/WinInetFTP.h"

#include <QtTest>

#include <QThread>

using namespace SessionTestKit;

namespace {

bool connectTo(TWinInetFTP &ftp, SessionRecorder &log, const TlsFtpServer &server)
{
    ftp.FTPSite = QString::fromLatin1(server.address());
    ftp.Login = QStringLiteral("vrex");
    ftp.Password = QStringLiteral("secret");
    const int before = log.count(QStringLiteral("Connect"));
    ftp.Connect();
    if (!waitFor([&] { return log.count(QStringLiteral("Connect")) > before; }, 20000))
        return false;
    return ftp.LastError() == errNone && ftp.Connected();
}

} // namespace

class TestSessionTls : public QObject {
    Q_OBJECT

    std::unique_ptr<TestCertificate> cert;
    std::unique_ptr<TlsFtpServer> server;

private slots:
    void initTestCase()
    {
        cert = std::make_unique<TestCertificate>("IP:127.0.0.1");
        QVERIFY(cert->ok());
        server = std::make_unique<TlsFtpServer>("tls", cert.get());
        QVERIFY(server->ok());
        QVERIFY(writeFile(server->root() + "/big.bin", pattern(2000000)));
    }
    void cleanup() { QVERIFY(workersGone()); }

    void requiredTlsAsksOnceOnTheUiThreadAndDownloadsExactly()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        ftp.Security = TFtpSecurity::RequireTls;
        int asked = 0;
        bool onUiThread = false;
        QByteArray fingerprint;
        ftp.OnCertificate = [&](TWinInetFTP *sender, const TlsCertificateFacts &facts) {
            ++asked;
            onUiThread = sender == &ftp && QThread::currentThread() == qApp->thread();
            fingerprint = QByteArray::fromStdString(facts.sha256);
            return true;
        };
        QVERIFY(connectTo(ftp, log, *server));
        QCOMPARE(asked, 1);
        QVERIFY(onUiThread);
        QCOMPARE(fingerprint, cert->fingerprint());
        QVERIFY2(ftp.Encryption().startsWith("TLS 1."), qPrintable(ftp.Encryption()));
        QVERIFY(ftp.LogonMessage().join('\n').contains("234 "));

        const QString target = TestEnvironment::instance().tempDir() + "/tls-big.bin";
        ftp.GetFile("big.bin", target);
        QVERIFY(waitFor([&] { return log.count("GetDone") > 0; }, 30000));
        QCOMPARE(ftp.LastError(), errNone);
        QCOMPARE(readFile(target), pattern(2000000));

        ftp.Disconnect();
        QCOMPARE(ftp.Encryption(), QString());
        QCOMPARE(log.offUiThread, 0);
    }

    void refusedCertificateIsInsecure_data()
    {
        QTest::addColumn<bool>("cancelInsideQuestion");
        QTest::newRow("answered no") << false;
        QTest::newRow("cancelled while asked") << true;
    }

    void refusedCertificateIsInsecure()
    {
        QFETCH(bool, cancelInsideQuestion);
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        ftp.Security = TFtpSecurity::TlsIfOffered;
        ftp.OnCertificate = [&](TWinInetFTP *, const TlsCertificateFacts &) {
            if (!cancelInsideQuestion)
                return false;
            ftp.Cancel(); // the user closed the window meanwhile: a yes no longer counts
            return true;
        };
        QVERIFY(!connectTo(ftp, log, *server));
        if (cancelInsideQuestion) {
            QCOMPARE(ftp.LastError(), errTerminated);
        } else {
            QCOMPARE(ftp.LastError(), errInsecure);
            QCOMPARE(ftp.LastErrorCode(), int32_t(ERROR_INTERNET_INVALID_CA));
        }
        QCOMPARE(ftp.Encryption(), QString());
        QVERIFY(!ftp.Connected());
    }

    // AUTH refused at the login, the connection dropped, TLS with a
    // certificate that needs the question offered to the reconnect: the
    // connect worker that would have asked is gone by then.
    void aReconnectKeepsAPlainConnectionPlainAndAsksNothing()
    {
        TlsFtpServer later("tls-later", cert.get());
        QVERIFY(later.ok() && writeFile(later.root() + "/small.bin", pattern(70000)));
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        ftp.Security = TFtpSecurity::TlsIfOffered;
        int asked = 0;
        ftp.OnCertificate = [&](TWinInetFTP *, const TlsCertificateFacts &) { return ++asked; };
        QVERIFY(connectTo(ftp, log, later));
        QVERIFY(workersGone());
        const QString target = TestEnvironment::instance().tempDir() + "/later.bin";
        ftp.GetFile("small.bin", target);
        QVERIFY(waitFor([&] { return log.count("GetDone") > 0; }, 30000));
        QCOMPARE(ftp.LastError(), errNone);
        QCOMPARE(readFile(target), pattern(70000));
        QCOMPARE(later.commands().count("USER"), 2); // logged in again, and
        QCOMPARE(later.commands().count("AUTH"), 1); // not asked for TLS then
        QCOMPARE(asked, 0);
    }
};

VREX_TEST_MAIN(TestSessionTls, QCoreApplication)
#include "tst_sessiontls.moc"
