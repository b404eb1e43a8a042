// Explicit FTP over TLS against vsftpd (root only), pyftpdlib's TLS handler,
// a plain server that refuses AUTH and the fault server.
#include "FaultServer.h"
#include "TestEnvironment.h"
#include "TlsTestKit.h"
#include "VsftpdServer.h"
#include "WinInetTestHelpers.h"

#include "explorer/CertificateTrust.h"
#include "ftp/WinInetTls.h"

#include <QtTest>

#include <QElapsedTimer>

#include <memory>

namespace {

QByteArray pattern(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(i % 251);
    return b;
}

QByteArray fileContents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The protocol text of a connection (INTERNET_OPTION_TLS_PROTOCOL).
QByteArray tlsProtocol(HINTERNET connection)
{
    char text[64] = {};
    DWORD length = sizeof text;
    if (!InternetQueryOptionA(connection, INTERNET_OPTION_TLS_PROTOCOL, text, &length))
        return "<failed>";
    return QByteArray(text, int(length));
}

// A session whose certificate question counts its calls and answers as told.
struct QuestionedSession {
    int calls = 0;
    bool answer = true;
    TlsCertificateFacts facts;
    HINTERNET session = InternetOpenA("VrexTls", 0, "", "", 0);

    explicit QuestionedSession(bool withQuestion = true)
    {
        setAllTimeouts(session, 10000);
        if (withQuestion)
            InternetSetCertificateQuestion(session, [this](const TlsCertificateFacts &f) {
                ++calls;
                facts = f;
                return answer;
            });
    }
    ~QuestionedSession() { InternetCloseHandle(session); }
    HINTERNET connect(const char *address, DWORD flags, const char *user = "vrex",
        const char *password = "secret")
    {
        return InternetConnectA(session, address, 21, user, password, INTERNET_SERVICE_FTP,
            INTERNET_FLAG_PASSIVE | flags, 1);
    }
};

} // namespace

class TestWinInetTls : public QObject {
    Q_OBJECT

    QTemporaryDir chains; // made by tests/ftp/make_certificates.py

private slots:
    void initTestCase()
    {
        QProcess maker;
        maker.start(FaultServer::python(),
            { qEnvironmentVariable("VREX_SOURCE_DIR") + "/tests/ftp/make_certificates.py",
                chains.path() });
        QVERIFY(maker.waitForFinished(60000) && maker.exitCode() == 0);
        // The test's root joins the system's store for this process.
        qputenv("SSL_CERT_FILE", QFile::encodeName(chains.filePath("root.pem")));
    }

    void eachCertificateMeetsTheUserAsItShould_data()
    {
        QTest::addColumn<QString>("chain");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("reasons"); // the question's; none: not asked
        QTest::addColumn<DWORD>("code"); // any question answered no
        const QString ip = "127.0.0.1", issuer = "Its issuer is not known.\r";
        const DWORD no = ERROR_INTERNET_INVALID_CA;
        QTest::newRow("good chain") << "good"
                                    << "localhost"
                                    << "" << DWORD(0);
        QTest::newRow("IP address in the subject alternative name") << "ip" << ip << "" << DWORD(0);
        QTest::newRow("self-signed") << "selfsigned" << ip << "It is self-signed.\r" << no;
        QTest::newRow("unknown issuer") << "unknown" << ip << issuer << no;
        QTest::newRow("expired leaf") << "expired" << ip << "It has expired.\r" << no;
        QTest::newRow("not-yet-valid leaf") << "notyet" << ip << "It is not valid yet.\r" << no;
        QTest::newRow("expired intermediate above a forged leaf")
            << "forgedmiddle" << ip << issuer << no;
        QTest::newRow("forged leaf naming an expired root of the system store")
            << "systemroot" << ip << issuer << no;
        QTest::newRow("wrong host") << "wronghost"
                                    << "localhost"
                                    << "" << DWORD(ERROR_INTERNET_SEC_CERT_CN_INVALID);
    }
    void eachCertificateMeetsTheUserAsItShould()
    {
        QFETCH(QString, chain);
        QFETCH(QString, host);
        QFETCH(QString, reasons);
        QFETCH(DWORD, code);
        TlsFtpServer server(
            "tls", { chains.filePath(chain + ".pem"), chains.filePath("leaf.key") });
        QVERIFY(server.ok());
        const QString port = QString::fromLatin1(server.address()).section(':', 1);
        QuestionedSession s;
        s.answer = false;
        HandleCloser c(s.connect((host + ':' + port).toLatin1().constData(), INTERNET_FLAG_SECURE));
        QCOMPARE(c.get() ? DWORD(0) : GetLastError(), code);
        QCOMPARE(s.calls, reasons.isEmpty() ? 0 : 1);
        if (s.calls)
            QCOMPARE(CertificateTrust::questionText(s.facts, QDateTime::currentDateTimeUtc())
                         .section("\rSubject: ", 0, 0),
                "The certificate of " + host + " is not trusted.\r" + reasons);
        QCOMPARE(s.facts.port, s.calls ? port.toUShort() : 21);
        // The password goes only where the certificate was accepted.
        QCOMPARE(server.commands().contains("USER"), code == 0);
    }

    void requiredTlsCarriesListDownloadAndUpload_data()
    {
        QTest::addColumn<bool>("vsftpd");
        QTest::newRow("vsftpd, session reuse required") << true;
        QTest::newRow("pyftpdlib TLS handler") << false;
    }

    void requiredTlsCarriesListDownloadAndUpload()
    {
        QFETCH(bool, vsftpd);
        if (vsftpd && !VsftpdServer::whyUnavailable().isEmpty())
            QSKIP(qPrintable(VsftpdServer::whyUnavailable()));
        TestCertificate cert("IP:127.0.0.1");
        QVERIFY(cert.ok());
        std::unique_ptr<VsftpdServer> vs;
        std::unique_ptr<TlsFtpServer> py;
        QString root, uploadPath = "/up.bin";
        if (vsftpd) {
            vs = std::make_unique<VsftpdServer>(
                false, QStringList { cert.certificate(), cert.key() });
            QVERIFY(vs->ok());
            root = vs->anonRoot();
            uploadPath = "/incoming/up.bin";
        } else {
            py = std::make_unique<TlsFtpServer>("tls", &cert);
            QVERIFY(py->ok());
            root = py->root();
            QFile f(root + "/three-mb.bin");
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(pattern(3000000)) == 3000000);
        }
        const char *address = vsftpd ? vs->address() : py->address();
        QuestionedSession s;
        HandleCloser c(vsftpd ? s.connect(address, INTERNET_FLAG_SECURE, "", "")
                              : s.connect(address, INTERNET_FLAG_SECURE));
        QVERIFY2(c.get(), qPrintable(QString::number(GetLastError())));
        // Self-signed: asked once, with the facts the user needs to decide
        QCOMPARE(s.calls, 1);
        QCOMPARE(QByteArray::fromStdString(s.facts.sha256), cert.fingerprint());
        QCOMPARE(s.facts.host, std::string("127.0.0.1"));
        QVERIFY(QByteArray::fromStdString(s.facts.subject).contains("CN=Vrex test"));
        QVERIFY(!s.facts.chainTrusted);
        QVERIFY(s.facts.withinValidity);
        QVERIFY(QByteArray::fromStdString(s.facts.notAfter).endsWith(" UTC"));
        QVERIFY(lastResponse().contains("\r\n234 "));
        QVERIFY2(tlsProtocol(c.get()).startsWith("TLS 1."), tlsProtocol(c.get()).constData());

        QVERIFY(names(listAll(c.get(), "/")).contains("three-mb.bin"));
        bool ok = false;
        QCOMPARE(readRemote(c.get(), "/three-mb.bin", ok, 65536), pattern(3000000));
        QVERIFY(ok);
        const QByteArray upload = pattern(2500000).right(2499999);
        QVERIFY2(writeRemote(c.get(), uploadPath.toUtf8().constData(), upload, 70000),
            qPrintable(QString::number(GetLastError())));
        QCOMPARE(fileContents(root + uploadPath), upload);
        // A download given up part way leaves the connection in step
        HINTERNET f = FtpOpenFileA(c.get(), "/three-mb.bin", GENERIC_READ, 0, 0);
        QVERIFY(f);
        char buffer[4096];
        DWORD got = 0;
        QVERIFY(InternetReadFile(f, buffer, sizeof buffer, &got));
        QVERIFY(InternetCloseHandle(f));
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/"));
        QCOMPARE(readRemote(c.get(), "/three-mb.bin", ok, 65536).size(), 3000000);
        QVERIFY(ok);
        QCOMPARE(s.calls, 1);
    }

    void certificateForAnotherHostIsRefusedUnasked()
    {
        TestCertificate cert("DNS:example.org");
        QVERIFY(cert.ok());
        TlsFtpServer server("tls", &cert);
        QVERIFY(server.ok());
        QuestionedSession s;
        for (DWORD flags : { INTERNET_FLAG_SECURE, INTERNET_FLAG_TLS_IF_OFFERED }) {
            QVERIFY(!s.connect(server.address(), flags));
            QCOMPARE(GetLastError(), ERROR_INTERNET_SEC_CERT_CN_INVALID);
        }
        QCOMPARE(s.calls, 0);
        QVERIFY(!server.commands().contains("USER"));
    }

    void untrustedCertificateNeedsAYes()
    {
        TestCertificate cert("IP:127.0.0.1");
        QVERIFY(cert.ok());
        TlsFtpServer server("tls", &cert);
        QVERIFY(server.ok());
        QuestionedSession refusing;
        refusing.answer = false;
        QVERIFY(!refusing.connect(server.address(), INTERNET_FLAG_SECURE));
        QCOMPARE(GetLastError(), ERROR_INTERNET_INVALID_CA);
        QCOMPARE(refusing.calls, 1);
        QuestionedSession unasked(false);
        QVERIFY(!unasked.connect(server.address(), INTERNET_FLAG_TLS_IF_OFFERED));
        QCOMPARE(GetLastError(), ERROR_INTERNET_INVALID_CA);
        QVERIFY(!server.commands().contains("USER"));
    }

    void serverRefusingAuth()
    {
        TlsFtpServer server("plain");
        QVERIFY(server.ok());
        QFile f(server.root() + "/tenk.bin");
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(pattern(10000)) == 10000);
        f.close();
        QuestionedSession s;
        // Required: not a word more, never the password in plain
        QVERIFY(!s.connect(server.address(), INTERNET_FLAG_SECURE));
        QCOMPARE(GetLastError(), ERROR_FTP_TLS_REFUSED);
        QVERIFY(lastResponse().contains("\r\n500 "));
        QTRY_COMPARE(server.commands(), QStringList { "AUTH" });
        // If offered: on in plain, and the login text says so
        HandleCloser c(s.connect(server.address(), INTERNET_FLAG_TLS_IF_OFFERED));
        QVERIFY2(c.get(), qPrintable(QString::number(GetLastError())));
        QVERIFY(lastResponse().contains(
            "The server refused encryption (AUTH TLS): this connection is not encrypted.\r\n"));
        QCOMPARE(tlsProtocol(c.get()), QByteArray());
        bool ok = false;
        QCOMPARE(readRemote(c.get(), "/tenk.bin", ok), pattern(10000));
        QVERIFY(ok);
        // Plain never asks
        const int authBefore = server.commands().count("AUTH");
        HandleCloser plain(s.connect(server.address(), 0));
        QVERIFY(plain.get());
        QCOMPARE(server.commands().count("AUTH"), authBefore);
        QCOMPARE(s.calls, 0);
    }

    void repeatedTlsConnectionsLeaveNoDescriptorBehind()
    {
        TestCertificate cert("IP:127.0.0.1");
        QVERIFY(cert.ok());
        TlsFtpServer server("tls", &cert);
        QVERIFY(server.ok());
        QFile f(server.root() + "/tenk.bin");
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(pattern(10000)) == 10000);
        f.close();
        QuestionedSession s;
        const auto descriptors = [] {
            return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::System).size();
        };
        int before = -1;
        for (int round = 0; round < 6; ++round) {
            if (round == 1)
                before = descriptors(); // after the first: OpenSSL's one-time set-up
            HandleCloser c(s.connect(server.address(), INTERNET_FLAG_TLS_IF_OFFERED));
            QVERIFY(c.get());
            bool ok = false;
            QCOMPARE(readRemote(c.get(), "/tenk.bin", ok), pattern(10000));
            QVERIFY(ok);
            HINTERNET abandoned = FtpOpenFileA(c.get(), "/tenk.bin", GENERIC_READ, 0, 0);
            QVERIFY(abandoned);
            QVERIFY(InternetCloseHandle(abandoned));
        }
        QCOMPARE(descriptors(), before);
        QCOMPARE(s.calls, 6);
    }

    void handshakeDroppedByTheServerFailsPromptly()
    {
        FaultServer server("tls-handshake-drop");
        QVERIFY(server.ok());
        QuestionedSession s;
        setAllTimeouts(s.session, 5000);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!s.connect(server.address(), INTERNET_FLAG_SECURE));
        QCOMPARE(GetLastError(), ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
        QVERIFY(clock.elapsed() < 4000);
        QCOMPARE(s.calls, 0);
    }
};

VREX_TEST_MAIN(TestWinInetTls, QCoreApplication)
#include "tst_wininet_tls.moc"
