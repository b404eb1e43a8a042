#include "TestEnvironment.h"

#include "dispatch/InsecureConnectionText.h"
#include "ftp/WinInet.h"

#include <QtTest>

class TestInsecureConnection : public QObject {
    Q_OBJECT

private slots:
    void eachReasonHasItsOwnMessageNamingTheHost_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("certificate of another host")
            << int(ERROR_INTERNET_SEC_CERT_CN_INVALID)
            << "The certificate of ftp.example.org belongs to another host. "
               "The connection was refused.";
        QTest::newRow("certificate not trusted")
            << int(ERROR_INTERNET_INVALID_CA)
            << "The certificate of ftp.example.org was not trusted. The connection was not made.";
        QTest::newRow("handshake failed")
            << int(ERROR_INTERNET_SECURITY_CHANNEL_ERROR)
            << "A secure connection to ftp.example.org could not be set up: the encryption "
               "handshake failed or was dropped.";
        QTest::newRow("AUTH TLS refused")
            << int(ERROR_FTP_TLS_REFUSED)
            << "The site ftp.example.org requires encryption, but the server refused it "
               "(AUTH TLS). The connection was not made.";
    }
    void eachReasonHasItsOwnMessageNamingTheHost()
    {
        QFETCH(int, code);
        QFETCH(QString, message);
        QCOMPARE(InsecureConnectionText::message(QStringLiteral("ftp.example.org"), code), message);
    }
};

VREX_TEST_MAIN(TestInsecureConnection, QCoreApplication)
#include "tst_insecureconnection.moc"
