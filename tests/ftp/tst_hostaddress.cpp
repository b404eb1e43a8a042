// Host texts as users write them: name, name:port, a.b.c.d:port, [v6]:port.
#include "TestEnvironment.h"

#include "ftp/HostAddress.h"

#include <QtTest>

class TestHostAddress : public QObject {
    Q_OBJECT

private slots:
    void hostTexts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("defaultPort");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("name") << QByteArray("ftp.example.org") << 21 << true
                              << QByteArray("ftp.example.org") << 21;
        QTest::newRow("name port") << QByteArray("ftp.example.org:2121") << 21 << true
                                   << QByteArray("ftp.example.org") << 2121;
        QTest::newRow("port wins")
            << QByteArray("host:2121") << 990 << true << QByteArray("host") << 2121;
        QTest::newRow("no port, 0 means 21")
            << QByteArray("host") << 0 << true << QByteArray("host") << 21;
        QTest::newRow("argument port")
            << QByteArray("host") << 2222 << true << QByteArray("host") << 2222;
        QTest::newRow("ipv4 port") << QByteArray("192.168.1.10:21000") << 21 << true
                                   << QByteArray("192.168.1.10") << 21000;
        QTest::newRow("v6 bracket port")
            << QByteArray("[2001:db8::1]:2121") << 21 << true << QByteArray("2001:db8::1") << 2121;
        QTest::newRow("v6 bracket") << QByteArray("[::1]") << 21 << true << QByteArray("::1") << 21;
        QTest::newRow("v6 bare") << QByteArray("fe80::1") << 21 << true << QByteArray("fe80::1")
                                 << 21;
        QTest::newRow("blanks trimmed")
            << QByteArray("  host:21  ") << 21 << true << QByteArray("host") << 21;
        QTest::newRow("empty") << QByteArray("") << 21 << false << QByteArray() << 0;
        QTest::newRow("port 0") << QByteArray("host:0") << 21 << false << QByteArray() << 0;
        QTest::newRow("port too big")
            << QByteArray("host:65536") << 21 << false << QByteArray() << 0;
        QTest::newRow("port not a number")
            << QByteArray("host:ftp") << 21 << false << QByteArray() << 0;
        QTest::newRow("empty port") << QByteArray("host:") << 21 << false << QByteArray() << 0;
        QTest::newRow("unclosed bracket")
            << QByteArray("[::1:21") << 21 << false << QByteArray() << 0;
        QTest::newRow("bracket not v6")
            << QByteArray("[host]:21") << 21 << false << QByteArray() << 0;
        QTest::newRow("blank inside") << QByteArray("my host") << 21 << false << QByteArray() << 0;
        QTest::newRow("line break")
            << QByteArray("host\r\nUSER x") << 21 << false << QByteArray() << 0;
        QTest::newRow("url") << QByteArray("ftp://host/") << 21 << false << QByteArray() << 0;
    }

    void hostTexts()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, defaultPort);
        QFETCH(bool, valid);
        HostAddress out;
        QCOMPARE(parseHostAddress(text.constData(), uint16_t(defaultPort), out), valid);
        if (!valid)
            return;
        QFETCH(QByteArray, host);
        QFETCH(int, port);
        QCOMPARE(QByteArray::fromStdString(out.host), host);
        QCOMPARE(int(out.port), port);
    }

    void nullTextIsRefused()
    {
        HostAddress out;
        QVERIFY(!parseHostAddress(nullptr, 21, out));
    }
};

VREX_TEST_MAIN(TestHostAddress, QCoreApplication)
#include "tst_hostaddress.moc"
