#include "FtpFixture.h"
#include "TestEnvironment.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class TestFtpFixture : public QObject {
    Q_OBJECT
private slots:
    void serverGreetsWith220OnLoopback()
    {
        QVERIFY2(FtpFixture::available(), "run through ctest: the ftpserver fixture starts it");
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(quint16(FtpFixture::port()));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        char buf[128] = {};
        timeval tv { 5, 0 };
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ssize_t n = ::recv(fd, buf, sizeof buf - 1, 0);
        ::close(fd);
        QVERIFY(n >= 3);
        QCOMPARE(QByteArray(buf, 3), QByteArray("220"));
    }

    void processUsesPrivateFolders()
    {
        QVERIFY(qgetenv("XDG_CONFIG_HOME").startsWith(TestEnvironment::instance().root().toUtf8()));
        QVERIFY(qgetenv("XDG_DATA_HOME").startsWith(TestEnvironment::instance().root().toUtf8()));
    }
};

VREX_TEST_MAIN(TestFtpFixture, QCoreApplication)
#include "tst_ftpfixture.moc"
