// Thousands of connects, transfers and closes leave no descriptor, thread or
// handle behind.
#include "FtpFixture.h"
#include "TestEnvironment.h"
#include "ThreadCensus.h"
#include "WinInetTestHelpers.h"

#include "ftp/InternetHandle.h"

#include <QtTest>

#include <QDir>

#include <atomic>
#include <thread>
#include <vector>

namespace {

int openDescriptors()
{
    return int(
        QDir("/proc/self/fd").entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size());
}

} // namespace

class TestWinInetLeaks : public QObject {
    Q_OBJECT

private slots:
    void thousandsOfConnectsAndClosesLeaveNothingBehind()
    {
        QVERIFY2(FtpFixture::available(), "run through ctest: the ftpserver fixture starts it");
        const QByteArray host = FtpFixture::host().toUtf8();
        const RefusingPort refusing;
        QVERIFY(refusing.port() != 0);
        const QByteArray refused = "127.0.0.1:" + QByteArray::number(refusing.port());
        // One round first, so that lazily created process state is in place.
        HINTERNET warm = InternetOpenA("leaks", 0, "", "", 0);
        InternetCloseHandle(InternetConnectA(warm, host.constData(), 21, "", "", 1, 0, 1));
        InternetCloseHandle(warm);
        const int fdsBefore = openDescriptors();
        const QStringList threadsBefore = threadIds();
        const size_t handlesBefore = HandleTable::size();

        HINTERNET session = InternetOpenA("leaks", 0, "", "", 0);
        setAllTimeouts(session, 10000);
        for (int i = 0; i < 2000; ++i) {
            HINTERNET c = InternetConnectA(session, host.constData(), 21, "", "",
                INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
            QVERIFY2(c, qPrintable(QString("round %1: %2").arg(i).arg(GetLastError())));
            if (i % 10 == 0)
                QVERIFY(!listAll(c, "").empty());
            if (i % 20 == 0) {
                bool ok = false;
                QCOMPARE(readRemote(c, "/tenk.bin", ok).size(), 10000);
                QVERIFY(ok);
            }
            if (i % 50 == 0) { // the handle of a listing left open as well
                TWin32FindData e;
                QVERIFY(FtpFindFirstFileA(c, "", &e, 0, 0));
            }
            if (i % 25 == 0) { // a transfer abandoned part way, the handle left to the close
                HINTERNET f
                    = FtpOpenFileA(c, "/tenk.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
                QVERIFY(f);
                char b[10];
                DWORD got = 0;
                QVERIFY(InternetReadFile(f, b, sizeof b, &got));
            }
            QVERIFY(InternetCloseHandle(c));
            if (i % 500 == 0) { // pyftpdlib answers a bad password after 3 seconds
                QVERIFY(!InternetConnectA(session, host.constData(), 21, "vrex", "bad", 1, 0, 1));
                QCOMPARE(GetLastError(), ERROR_INTERNET_INCORRECT_PASSWORD);
            }
            if (i % 10 == 0) {
                QVERIFY(!InternetConnectA(session, refused.constData(), 21, "", "", 1, 0, 1));
                QCOMPARE(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
            }
        }
        // Connections still open when the session goes are closed with it
        for (int i = 0; i < 20; ++i)
            QVERIFY(InternetConnectA(session, host.constData(), 21, "", "", 1, 0, 1));
        QVERIFY(InternetConnectA(session, "localhost", FtpFixture::port(), "", "", 1, 0, 1));
        QVERIFY(InternetCloseHandle(session));

        QCOMPARE(HandleTable::size(), handlesBefore);
        // The one name lookup ran on a helper thread that ends on its own,
        // and frees its wake-up descriptor as it ends.
        QTRY_COMPARE_WITH_TIMEOUT(threadsAddedSince(threadsBefore), 0, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(openDescriptors(), fdsBefore, 10000);
    }

    void leakCheckSeesOneThreadLeftBehind()
    {
        const QStringList before = threadIds();
        std::atomic<bool> release { false };
        std::thread leftover([&] {
            while (!release.load())
                std::this_thread::yield();
        });
        QCOMPARE(threadsAddedSince(before), 1);
        release = true;
        leftover.join();
        QTRY_COMPARE_WITH_TIMEOUT(threadsAddedSince(before), 0, 10000);
    }

    void threadsWorkOnTheirOwnConnectionsAtOnce()
    {
        QVERIFY(FtpFixture::available());
        const QByteArray host = FtpFixture::host().toUtf8();
        HINTERNET session = InternetOpenA("parallel", 0, "", "", 0);
        setAllTimeouts(session, 10000);
        std::atomic<int> failures { 0 };
        std::vector<std::thread> workers;
        for (int t = 0; t < 4; ++t) {
            workers.emplace_back([&] {
                for (int i = 0; i < 40; ++i) {
                    HINTERNET c = InternetConnectA(session, host.constData(), 21, "", "", 1, 0, 1);
                    bool ok = false;
                    if (!c || listAll(c, "/pub/docs").size() != 1
                        || readRemote(c, "/tenk.bin", ok).size() != 10000 || !ok
                        || lastResponse().left(3) != "226")
                        ++failures;
                    if (c)
                        InternetCloseHandle(c);
                }
            });
        }
        for (auto &w : workers)
            w.join();
        QCOMPARE(failures.load(), 0);
        QVERIFY(InternetCloseHandle(session));
    }

    void oneConnectionSharedByThreadsTakesOneCallAtATime()
    {
        QVERIFY(FtpFixture::available());
        const QByteArray host = FtpFixture::host().toUtf8();
        HINTERNET session = InternetOpenA("shared", 0, "", "", 0);
        HINTERNET c = InternetConnectA(session, host.constData(), 21, "", "", 1, 0, 1);
        QVERIFY(c);
        std::atomic<int> failures { 0 };
        std::vector<std::thread> workers;
        for (int t = 0; t < 4; ++t) {
            workers.emplace_back([&, t] {
                for (int i = 0; i < 50; ++i) {
                    const bool ok = t % 2 ? listAll(c, "/pub/docs").size() == 1
                                          : FtpSetCurrentDirectoryA(c, "/pub") != 0;
                    if (!ok)
                        ++failures;
                }
            });
        }
        for (auto &w : workers)
            w.join();
        QCOMPARE(failures.load(), 0);
        InternetCloseHandle(session);
    }
};

VREX_TEST_MAIN(TestWinInetLeaks, QCoreApplication)
#include "tst_wininet_leaks.moc"
