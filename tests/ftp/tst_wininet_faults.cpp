// The FTP layer against a server that misbehaves on demand (fault_server.py):
// every case ends in an error code within its time-out, never in a hang and
// never in a failed transfer reported as a success.
#include "FaultServer.h"
#include "TestEnvironment.h"
#include "WinInetTestHelpers.h"
#include "ftp/FileTime.h"

#include <QtTest>

#include <QElapsedTimer>

#include <atomic>
#include <thread>

namespace {

constexpr DWORD kShort = 1500; // ms, every time-out of these tests
constexpr qint64 kHangGuardMs = 20 * kShort;
// Tests that prove a call ends at once, not by its time-out, set this one:
// their bound (kHangGuardMs) is far above any scheduling delay and far below it.
constexpr DWORD kLong = 120000;

// A thread that is joined however the test leaves its scope.
class JoiningThread {
public:
    template <typename Fn> explicit JoiningThread(Fn fn) : thread(std::move(fn)) { }
    ~JoiningThread() { join(); }
    void join()
    {
        if (thread.joinable())
            thread.join();
    }

private:
    std::thread thread;
};

QByteArray pattern(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(i % 251);
    return b;
}

} // namespace

class TestWinInetFaults : public QObject {
    Q_OBJECT

    HINTERNET session = nullptr;
    QElapsedTimer clock;

    HINTERNET connectTo(const FaultServer &server, const char *user = "user")
    {
        return InternetConnectA(session, server.address(), 21, user, "pw", INTERNET_SERVICE_FTP,
            INTERNET_FLAG_PASSIVE, 1);
    }
    // No hang: the call ended by its time-out at the latest. The bound is far
    // above the time-outs (kShort, twice for a call that waits twice), so a
    // busy machine cannot fail it; a call that never ends would.
    bool inTime() const { return clock.elapsed() < kHangGuardMs; }

private slots:
    void initTestCase()
    {
        session = InternetOpenA("VrexFaults", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
        QVERIFY(session);
        setAllTimeouts(session, kShort);
    }
    void cleanupTestCase() { InternetCloseHandle(session); }
    void init() { clock.start(); }

    void stalledGreetingTimesOutWith12002()
    {
        FaultServer server("greeting-stall");
        QVERIFY2(server.ok(), "server did not start");
        clock.start();
        QVERIFY(!connectTo(server));
        QCOMPARE(GetLastError(), ERROR_INTERNET_TIMEOUT);
        QVERIFY(inTime());
    }

    void greeting421Gives12003WithText()
    {
        FaultServer server("greeting-421");
        QVERIFY2(server.ok(), "server did not start");
        QVERIFY(!connectTo(server));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("421 Too many users"));
    }

    void greetingDroppedGives12030()
    {
        FaultServer server("greeting-close");
        QVERIFY2(server.ok(), "server did not start");
        QVERIFY(!connectTo(server));
        QCOMPARE(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
    }

    void refusedUserGives12013()
    {
        FaultServer server("user-refused");
        QVERIFY2(server.ok(), "server did not start");
        QVERIFY(!connectTo(server));
        QCOMPARE(GetLastError(), ERROR_INTERNET_INCORRECT_USER_NAME);
        QVERIFY(lastResponse().contains("530 This FTP server is anonymous only."));
    }

    void refusedPasswordGives12014()
    {
        FaultServer server("pass-refused");
        QVERIFY2(server.ok(), "server did not start");
        QVERIFY(!connectTo(server));
        QCOMPARE(GetLastError(), ERROR_INTERNET_INCORRECT_PASSWORD);
        const QByteArray text = lastResponse();
        QVERIFY2(
            text == "220 Fault server ready.\r\n331 Password please.\r\n530 Login incorrect.\r\n",
            text.constData());
    }

    void refusedFeatIsHarmless()
    {
        FaultServer server("feat-refused");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY2(c.get(), qPrintable(QString::number(GetLastError())));
        QCOMPARE(names(listAll(c.get(), "")), (QStringList { "file.bin", "dir" })); // LIST
    }

    void refusedBinaryTypeFailsTheConnectWith12003()
    {
        FaultServer server("type-refused");
        QVERIFY2(server.ok(), "server did not start");
        QVERIFY(!connectTo(server));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        DWORD code = 0;
        QVERIFY(lastResponse(&code).endsWith("\r\n504 Binary type not supported.\r\n"));
        QCOMPARE(code, DWORD(504));
    }

    void refusedPassiveModeGives12003()
    {
        FaultServer server("passive-refused");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        TWin32FindData e;
        QVERIFY(!FtpFindFirstFileA(c.get(), "", &e, 0, 0));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("502"));
        QVERIFY(!FtpOpenFileA(c.get(), "/file.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/")); // the connection goes on
    }

    void replyCutOffMidwayIsAnError()
    {
        FaultServer server("drop-mid-reply");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        setAllTimeouts(c.get(), kLong);
        QVERIFY(!FtpSetCurrentDirectoryA(c.get(), "/dir"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
        // The lost connection is noticed: later calls fail at once, not after
        // a time-out.
        clock.start();
        QVERIFY(!FtpSetCurrentDirectoryA(c.get(), "/"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
        QVERIFY(clock.elapsed() < kHangGuardMs);
    }

    void hugeMultiLineReplyIsReadWhole()
    {
        FaultServer server("huge-reply");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/dir"));
        const QByteArray text = lastResponse();
        QVERIFY2(text.size() > 100000, qPrintable(QString::number(text.size())));
        QVERIFY(text.startsWith("250-Line 000000"));
        QVERIFY(text.endsWith("250 End of the long reply.\r\n"));
        QCOMPARE(text.count("\r\n"), 1501);
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/")); // still in step
    }

    void absurdlyLongLineIsBounded()
    {
        FaultServer server("long-line");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        setTimeout(c.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, 10000);
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/dir"));
        const QByteArray text = lastResponse();
        QVERIFY(text.startsWith("250 yyyy"));
        QVERIFY2(text.size() <= 16 * 1024 + 2, qPrintable(QString::number(text.size())));
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/"));
    }

    void endlessLineEndsInTimeOut()
    {
        FaultServer server("endless-line");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        clock.start();
        QVERIFY(!FtpSetCurrentDirectoryA(c.get(), "/dir"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_TIMEOUT);
        QVERIFY(inTime());
    }

    void malformedReplyIsAnError()
    {
        FaultServer server("malformed");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QVERIFY(!FtpSetCurrentDirectoryA(c.get(), "/dir"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
    }

    void replyArrivingInPiecesIsJoined()
    {
        FaultServer server("reply-split");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/dir"));
        QCOMPARE(lastResponse(),
            QByteArray("250-multi\r\n 250 not the end\r\n250-still not\r\n"
                       "250 Directory changed.\r\n"));
    }

    void stalledReplyTimesOutWith12002()
    {
        FaultServer server("stall-reply");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        clock.start();
        QVERIFY(!FtpSetCurrentDirectoryA(c.get(), "/dir"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_TIMEOUT);
        QVERIFY(inTime());
    }

    void refusedCommandsGive12003WithWholeReply()
    {
        FaultServer server("commands-refused");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QVERIFY(!FtpDeleteFileA(c.get(), "x"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        DWORD code = 0;
        QCOMPARE(lastResponse(&code),
            QByteArray("450-Requested action not taken.\r\n450 File unavailable (busy).\r\n"));
        QCOMPARE(code, DWORD(450));
        QVERIFY(!FtpCreateDirectoryA(c.get(), "x"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(!FtpRemoveDirectoryA(c.get(), "x"));
        QVERIFY(!FtpRenameFileA(c.get(), "x", "y"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    }

    void lostControlConnectionIsNoticed()
    {
        FaultServer server("drop-after-login");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QVERIFY(!FtpSetCurrentDirectoryA(c.get(), "/"));
        QVERIFY(GetLastError() == ERROR_INTERNET_CONNECTION_ABORTED
            || GetLastError() == ERROR_INTERNET_CONNECTION_RESET);
        // The next call logs in again once and loses that connection as well.
        TWin32FindData e;
        QVERIFY(!FtpFindFirstFileA(c.get(), "", &e, 0, 0));
        QVERIFY(GetLastError() == ERROR_INTERNET_CONNECTION_ABORTED
            || GetLastError() == ERROR_INTERNET_CONNECTION_RESET);
        QVERIFY(inTime());
    }

    void announced421IsNoticedWithItsText()
    {
        FaultServer server("421-after-login");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        // Read before the next command (12030), or as its reply (12003): either
        // way the text is kept and the connection is known to be lost.
        QVERIFY(!FtpSetCurrentDirectoryA(c.get(), "/"));
        QVERIFY(GetLastError() == ERROR_INTERNET_CONNECTION_ABORTED
            || GetLastError() == ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("421 Idle time-out"));
        // The next call logs in again once, and meets the same 421.
        QVERIFY(!FtpSetCurrentDirectoryA(c.get(), "/"));
        QVERIFY(GetLastError() == ERROR_INTERNET_CONNECTION_ABORTED
            || GetLastError() == ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("421 Idle time-out"));
    }

    void passiveReplyNamingAnotherAddressGoesToControlPeer()
    {
        FaultServer server("pasv-other-address");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        bool ok = false;
        QCOMPARE(readRemote(c.get(), "/file.bin", ok), pattern(3000000));
        QVERIFY(ok);
        QVERIFY(inTime());
    }

    void ipv6ServerWithPortInBrackets()
    {
        FaultServer server("normal", "SIZE,EPSV", true);
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY2(c.get(), qPrintable(QString::number(GetLastError())));
        bool ok = false;
        QCOMPARE(readRemote(c.get(), "/file.bin", ok), pattern(3000000));
        QVERIFY(ok);
        QCOMPARE(names(listAll(c.get(), "")), (QStringList { "file.bin", "dir" }));
    }

    void downloadShorterThanSizeFailsDespite226()
    {
        FaultServer server("retr-short-226");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        bool ok = true;
        QCOMPARE(readRemote(c.get(), "/file.bin", ok).size(), 30000);
        QVERIFY(!ok);
        QCOMPARE(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/")); // still usable
    }

    void downloadEndingIn426Fails()
    {
        FaultServer server("retr-short-426");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        bool ok = true;
        readRemote(c.get(), "/file.bin", ok);
        QVERIFY(!ok);
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("426"));
    }

    void downloadWhoseControlDropsFails()
    {
        for (const char *scenario : { "retr-short-close", "retr-no-final" }) {
            FaultServer server(scenario);
            QVERIFY2(server.ok(), "server did not start");
            HandleCloser c(connectTo(server));
            QVERIFY(c.get());
            bool ok = true;
            readRemote(c.get(), "/file.bin", ok);
            QVERIFY2(!ok, scenario);
            QCOMPARE(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
        }
    }

    void downloadWithDataResetFails()
    {
        FaultServer server("retr-reset");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        bool ok = true;
        readRemote(c.get(), "/file.bin", ok);
        QVERIFY(!ok);
        const DWORD code = GetLastError();
        QVERIFY2(code == ERROR_INTERNET_CONNECTION_RESET || code == ERROR_INTERNET_EXTENDED_ERROR,
            qPrintable(QString::number(code)));
        QVERIFY(inTime());
    }

    void downloadFollowedBy451Fails()
    {
        FaultServer server("retr-451");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        bool ok = true;
        QCOMPARE(readRemote(c.get(), "/file.bin", ok).size(), 3000000);
        QVERIFY(!ok);
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("451"));
        // FtpGetFileA leaves no file behind either
        const QString target = TestEnvironment::instance().tempDir() + "/451.bin";
        QVERIFY(!FtpGetFileA(
            c.get(), "/file.bin", target.toUtf8().constData(), 0, 0, FTP_TRANSFER_TYPE_BINARY, 0));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(!QFile::exists(target));
        QVERIFY(QDir(TestEnvironment::instance().tempDir()).entryList(QDir::Files).isEmpty());
    }

    void download226ThenCloseSucceedsAndNextCallReconnects()
    {
        FaultServer server("retr-226-then-close");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        bool ok = false;
        QCOMPARE(readRemote(c.get(), "/file.bin", ok), pattern(3000000));
        QVERIFY(ok);
        FtpTakeRecoveryNotes();
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/"));
        QCOMPARE(FtpTakeRecoveryNotes(), std::string("Connection lost; reconnected.\r\n"));
    }

    void stalledDownloadTimesOutWith12002()
    {
        FaultServer server("retr-stall");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        clock.start();
        bool ok = true;
        QCOMPARE(readRemote(c.get(), "/file.bin", ok).size(), 5000);
        QVERIFY(!ok);
        QCOMPARE(GetLastError(), ERROR_INTERNET_TIMEOUT);
        QVERIFY(inTime());
    }

    void listingCutOffIsAnErrorNotAPartialSuccess()
    {
        for (const char *scenario :
            { "listing-drop", "listing-no-final", "listing-451", "list-426-midway", "list-425" }) {
            FaultServer server(scenario);
            QVERIFY2(server.ok(), "server did not start");
            HandleCloser c(connectTo(server));
            QVERIFY(c.get());
            clock.start();
            TWin32FindData e;
            QVERIFY2(!FtpFindFirstFileA(c.get(), "", &e, 0, 0), scenario);
            const DWORD code = GetLastError();
            QVERIFY2(code == ERROR_INTERNET_EXTENDED_ERROR
                    || code == ERROR_INTERNET_CONNECTION_ABORTED
                    || code == ERROR_INTERNET_CONNECTION_RESET,
                qPrintable(QString("%1: %2").arg(scenario).arg(code)));
            QVERIFY(inTime());
        }
    }

    void listingIsBoundedInEntries_data()
    {
        QTest::addColumn<QString>("features");
        QTest::addColumn<int>("count");
        QTest::newRow("LIST at the bound") << "SIZE,EPSV" << 1000000;
        QTest::newRow("MLSD past the bound") << "SIZE,EPSV,MLST" << 1000001;
    }

    void listingIsBoundedInEntries()
    {
        QFETCH(QString, features);
        QFETCH(int, count);
        const bool complete = count <= 1000000;
        FaultServer server("list-many", features, false, { "--entries", QString::number(count) });
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        const std::vector<TWin32FindData> entries = listAll(c.get(), "");
        QCOMPARE(GetLastError(), complete ? ERROR_NO_MORE_FILES : ERROR_NOT_ENOUGH_MEMORY);
        QCOMPARE(int(entries.size()), complete ? count : 0);
        QCOMPARE(QByteArray(complete ? entries.back().cFileName : ""), complete ? "f0999999" : "");
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/dir")); // the connection goes on
    }

    void listingOfMissingDirectoryGives12003()
    {
        FaultServer server("normal");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        TWin32FindData e;
        QVERIFY(!FtpFindFirstFileA(c.get(), "/missing", &e, 0, 0));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("550"));
        QCOMPARE(names(listAll(c.get(), "/dir")), (QStringList { "inner.txt", "file.bin" }));
    }

    void singleFileListingReducesEchoedPathToBaseName()
    {
        FaultServer server("echo-path");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        const auto entries = listAll(c.get(), "/pub/some file.txt");
        QCOMPARE(names(entries), QStringList { "some file.txt" });
        QCOMPARE(fileSize(entries[0]), uint64_t(100000));
    }

    // vsftpd may list a symbolic link to a file as nothing; SIZE knows it,
    // and MDTM (where offered) dates it, so a newer copy is seen as newer.
    void singleFileListingFindsAFileThatListDoesNotShow_data()
    {
        QTest::addColumn<QString>("features");
        QTest::addColumn<int>("year");
        QTest::newRow("SIZE only") << "SIZE,UTF8,EPSV" << 1601;
        QTest::newRow("SIZE and MDTM") << "SIZE,MDTM,UTF8,EPSV" << 2024;
    }

    void singleFileListingFindsAFileThatListDoesNotShow()
    {
        QFETCH(QString, features);
        QFETCH(int, year);
        FaultServer server("normal", features);
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        const auto entries = listAll(c.get(), "/pub/filelink");
        QCOMPARE(names(entries), QStringList { "filelink" });
        QCOMPARE(fileSize(entries[0]), uint64_t(3000000));
        QCOMPARE(entries[0].dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
        const TSystemTime when = FileTime::toSystemTime(entries[0].ftLastWriteTime);
        QCOMPARE(when.year, year);
        if (year == 2024)
            QCOMPARE((QList<int> { when.month, when.day, when.hour, when.minute, when.second }),
                (QList<int> { 1, 5, 10, 11, 12 }));
        TWin32FindData e;
        QVERIFY(!FtpFindFirstFileA(c.get(), "/pub/missing", &e, 0, 0)); // no SIZE, no line
    }

    void singleFileListingWithNameSplitAtBlanks()
    {
        FaultServer server("normal");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QCOMPARE(names(listAll(c.get(), "/pub/some file.txt")), QStringList { "some file.txt" });
    }

    void singleFileListingUsesMlstWhenOffered()
    {
        FaultServer server("normal", "MLST type*;size*;modify*;,SIZE,EPSV");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        const auto entries = listAll(c.get(), "/deep/path/report.txt");
        QCOMPARE(names(entries), QStringList { "report.txt" });
        QCOMPARE(fileSize(entries[0]), uint64_t(3000000));
        // A directory named by MLST is listed with MLSD
        QCOMPARE(names(listAll(c.get(), "/dir")), (QStringList { "file.bin", "dir" }));
    }

    void epsvRefusedFallsBackToPasv()
    {
        FaultServer server("epsv-refused");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QCOMPARE(names(listAll(c.get(), "")), (QStringList { "file.bin", "dir" }));
        bool ok = false;
        QCOMPARE(readRemote(c.get(), "/file.bin", ok).size(), 3000000);
        QVERIFY(ok);
    }

    void uploadRefusedMidwayFails()
    {
        FaultServer server("stor-refused-midway");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QVERIFY(!writeRemote(c.get(), "/upload", pattern(2000000)));
        const DWORD code = GetLastError();
        QVERIFY2(code == ERROR_INTERNET_EXTENDED_ERROR || code == ERROR_INTERNET_CONNECTION_RESET
                || code == ERROR_INTERNET_CONNECTION_ABORTED,
            qPrintable(QString::number(code)));
        QVERIFY(inTime());
    }

    void uploadWhoseFinalReplyIs451FailsOnClose()
    {
        FaultServer server("stor-451");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QVERIFY(!writeRemote(c.get(), "/upload", pattern(50000)));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("451"));
    }

    void uploadWithoutFinalReplyFailsOnClose()
    {
        FaultServer server("stor-no-final");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QVERIFY(!writeRemote(c.get(), "/upload", pattern(50000)));
        QCOMPARE(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
    }

    void uploadCompleteSucceeds()
    {
        FaultServer server("normal");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        QVERIFY(writeRemote(c.get(), "/upload", pattern(700000)));
        QCOMPARE(lastResponse(), QByteArray("226 Received 700000 bytes.\r\n"));
    }

    void closingFileFromAnotherThreadEndsABlockedRead()
    {
        FaultServer server("retr-stall");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        setAllTimeouts(c.get(), kLong);
        HINTERNET file
            = FtpOpenFileA(c.get(), "/file.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
        QVERIFY(file);
        std::atomic<int> stage { 0 };
        std::atomic<pid_t> readerId { 0 };
        DWORD readError = 0;
        BOOL readResult = 1;
        JoiningThread reader([&] {
            readerId = currentThreadId();
            char buf[4096];
            DWORD got = 0, total = 0;
            while (total < 5000
                && InternetReadFile(file, buf, qMin<DWORD>(4096, 5000 - total), &got) && got)
                total += got;
            stage = 1;
            readResult = InternetReadFile(file, buf, sizeof buf, &got); // blocks: the server stalls
            readError = GetLastError();
            stage = 2;
        });
        QTRY_VERIFY2_WITH_TIMEOUT(stage.load() == 1 && blockedInPoll(readerId.load()),
            "worker never reached its read", kHangGuardMs);
        clock.start();
        QVERIFY(InternetCloseHandle(file));
        QTRY_VERIFY_WITH_TIMEOUT(stage.load() == 2, kHangGuardMs);
        reader.join();
        QVERIFY(clock.elapsed() < kHangGuardMs);
        QVERIFY(!readResult);
        QCOMPARE(readError, ERROR_INTERNET_OPERATION_CANCELLED);
        DWORD got = 0;
        char buf[16];
        QVERIFY(!InternetReadFile(file, buf, sizeof buf, &got));
        QCOMPARE(GetLastError(), ERROR_INVALID_HANDLE);
    }

    void closingConnectionFromAnotherThreadEndsABlockedCommand()
    {
        FaultServer server("stall-reply");
        QVERIFY2(server.ok(), "server did not start");
        HINTERNET c = connectTo(server);
        QVERIFY(c);
        setAllTimeouts(c, kLong);
        std::atomic<bool> done { false };
        std::atomic<pid_t> workerId { 0 };
        DWORD error = 0;
        JoiningThread worker([&] {
            workerId = currentThreadId();
            if (!FtpSetCurrentDirectoryA(c, "/dir"))
                error = GetLastError();
            done = true;
        });
        QTRY_VERIFY2_WITH_TIMEOUT(
            blockedInPoll(workerId.load()), "worker never reached its read", kHangGuardMs);
        clock.start();
        QVERIFY(InternetCloseHandle(c));
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), kHangGuardMs);
        worker.join();
        QVERIFY(clock.elapsed() < kHangGuardMs);
        QCOMPARE(error, ERROR_INTERNET_OPERATION_CANCELLED);
    }

    void closingSessionEndsAConnectInProgress()
    {
        FaultServer server("greeting-stall");
        QVERIFY2(server.ok(), "server did not start");
        HINTERNET s = InternetOpenA("cancel", 0, "", "", 0);
        setAllTimeouts(s, kLong);
        std::atomic<bool> done { false };
        std::atomic<pid_t> workerId { 0 };
        HINTERNET result = reinterpret_cast<HINTERNET>(1);
        DWORD error = 0;
        JoiningThread worker([&] {
            workerId = currentThreadId();
            result = InternetConnectA(
                s, server.address(), 21, "", "", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
            error = GetLastError();
            done = true;
        });
        QTRY_VERIFY2_WITH_TIMEOUT(blockedInPoll(workerId.load()),
            "worker never reached its wait for the greeting", kHangGuardMs);
        clock.start();
        QVERIFY(InternetCloseHandle(s));
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), kHangGuardMs);
        worker.join();
        QVERIFY(clock.elapsed() < kHangGuardMs);
        QVERIFY(!result);
        QCOMPARE(error, ERROR_INTERNET_OPERATION_CANCELLED);
    }

    void abandonedDownloadLeavesConnectionInStep()
    {
        FaultServer server("normal");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        for (int round = 0; round < 3; ++round) {
            HINTERNET file
                = FtpOpenFileA(c.get(), "/file.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
            QVERIFY(file);
            char buf[100];
            DWORD got = 0;
            QVERIFY(InternetReadFile(file, buf, sizeof buf, &got));
            QVERIFY(InternetCloseHandle(file)); // abandoned part way
            QVERIFY2(
                FtpSetCurrentDirectoryA(c.get(), "/"), qPrintable(QString::number(GetLastError())));
            QCOMPARE(lastResponse(), QByteArray("250 Directory changed.\r\n"));
        }
        bool ok = false;
        QCOMPARE(readRemote(c.get(), "/file.bin", ok), pattern(3000000));
        QVERIFY(ok);
    }

    void lateAnswerOfAnAbandonedDownloadIsSkipped()
    {
        FaultServer server("late-426");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        HINTERNET file
            = FtpOpenFileA(c.get(), "/file.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
        QVERIFY(file);
        char buf[100];
        DWORD got = 0;
        QVERIFY(InternetReadFile(file, buf, sizeof buf, &got));
        QVERIFY(InternetCloseHandle(file)); // the 426 comes after the resync's 257
        QVERIFY2(
            FtpSetCurrentDirectoryA(c.get(), "/"), qPrintable(QString::number(GetLastError())));
        QCOMPARE(lastResponse(), QByteArray("250 Directory changed.\r\n"));
        QCOMPARE(names(listAll(c.get(), "")), (QStringList { "file.bin", "dir" }));
    }

    void abandonedStalledDownloadEndsInTimeOutNotHang()
    {
        FaultServer server("retr-stall");
        QVERIFY2(server.ok(), "server did not start");
        HandleCloser c(connectTo(server));
        QVERIFY(c.get());
        HINTERNET file
            = FtpOpenFileA(c.get(), "/file.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
        QVERIFY(file);
        char buf[100];
        DWORD got = 0;
        QVERIFY(InternetReadFile(file, buf, sizeof buf, &got));
        clock.start();
        InternetCloseHandle(file);
        // This server never answers the abandoned transfer: the connection
        // cannot be put back in step and says so.
        QVERIFY(!FtpSetCurrentDirectoryA(c.get(), "/"));
        QVERIFY(GetLastError() == ERROR_INTERNET_CONNECTION_ABORTED
            || GetLastError() == ERROR_INTERNET_TIMEOUT);
        QVERIFY(inTime());
    }
};

VREX_TEST_MAIN(TestWinInetFaults, QCoreApplication)
#include "tst_wininet_faults.moc"
