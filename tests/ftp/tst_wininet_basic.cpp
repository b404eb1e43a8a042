// The WinInet entry points against a real server (pyftpdlib, MLSD).
#include "FtpFixture.h"
#include "TestEnvironment.h"
#include "WinInetTestHelpers.h"

#include "ftp/FileTime.h"

#include <QtTest>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

QByteArray tenK()
{
    QByteArray b;
    for (int i = 0; i < 10000; ++i)
        b.append(char(i % 251));
    return b;
}

QByteArray hostBytes()
{
    return FtpFixture::host().toUtf8();
}

QByteArray localFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

std::vector<DWORD> statusSeen;
struct StatusCall {
    HINTERNET handle;
    DWORD_PTR context;
    DWORD status;
};
std::vector<StatusCall> statusCalls;

void recordStatus(HINTERNET handle, DWORD_PTR context, DWORD status, void *, DWORD)
{
    statusSeen.push_back(status);
    statusCalls.push_back({ handle, context, status });
}

} // namespace

class TestWinInetBasic : public QObject {
    Q_OBJECT

    HINTERNET session = nullptr;

    HINTERNET connectAnonymous()
    {
        return InternetConnectA(session, hostBytes().constData(), INTERNET_DEFAULT_FTP_PORT, "", "",
            INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
    }
    HINTERNET connectUser()
    {
        return InternetConnectA(session, hostBytes().constData(), INTERNET_DEFAULT_FTP_PORT, "vrex",
            "secret", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(FtpFixture::available(), "run through ctest: the ftpserver fixture starts it");
        session = InternetOpenA("VrexTest", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
        QVERIFY(session);
        setAllTimeouts(session, 10000);
    }

    void cleanupTestCase()
    {
        if (session)
            QVERIFY(InternetCloseHandle(session));
    }

    void anonymousLoginKeepsWelcomeAndLoginReply()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY2(c.get(), qPrintable(QString::number(GetLastError())));
        DWORD code = 0;
        const QByteArray text = lastResponse(&code);
        QVERIFY2(text.startsWith("220 Vrex test server ready.\r\n"), text.constData());
        QVERIFY2(text.contains("\r\n230 "), text.constData());
        QVERIFY(text.endsWith("\r\n"));
        QCOMPARE(code, DWORD(230));
    }

    void lastResponseReportsNeededSizeWhenBufferTooSmall()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        const QByteArray text = lastResponse();
        DWORD error = 0;
        char small[8];
        DWORD length = sizeof small;
        QVERIFY(!InternetGetLastResponseInfoA(&error, small, &length));
        QCOMPARE(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        QCOMPARE(length, DWORD(text.size() + 1));
        QByteArray exact(int(length), 'x');
        QVERIFY(InternetGetLastResponseInfoA(&error, exact.data(), &length));
        QCOMPARE(length, DWORD(text.size()));
    }

    void wrongPasswordGives12014()
    {
        HINTERNET c = InternetConnectA(session, hostBytes().constData(), 21, "vrex", "wrong",
            INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
        QVERIFY(!c);
        QCOMPARE(GetLastError(), ERROR_INTERNET_INCORRECT_PASSWORD);
        QVERIFY(lastResponse().contains("530"));
    }

    void refusedConnectionGives12029()
    {
        const RefusingPort refusing;
        QVERIFY(refusing.port() != 0);
        const QByteArray host = "127.0.0.1:" + QByteArray::number(refusing.port());
        HINTERNET c = InternetConnectA(
            session, host.constData(), 21, "", "", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
        QVERIFY(!c);
        QCOMPARE(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
    }

    void unknownHostGives12007()
    {
        HINTERNET c = InternetConnectA(session, "no-such-host.invalid", 21, "", "",
            INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
        QVERIFY(!c);
        QCOMPARE(GetLastError(), ERROR_INTERNET_NAME_NOT_RESOLVED);
    }

    void rootListingComesFromMlsdWithExactFacts()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        const auto entries = listAll(c.get(), "");
        QCOMPARE(GetLastError(), ERROR_NO_MORE_FILES);
        const QStringList n = names(entries);
        for (const char *expected : { "pub", "empty", "readme.txt", "zero.bin", "tenk.bin" })
            QVERIFY2(n.contains(QLatin1String(expected)), qPrintable(n.join(',')));
        const TWin32FindData *tenk = findEntry(entries, "tenk.bin");
        QVERIFY(tenk);
        QCOMPARE(fileSize(*tenk), uint64_t(10000));
        QVERIFY(!isDirectory(*tenk));
        QVERIFY(isDirectory(*findEntry(entries, "pub")));
        // MLSD times are UTC and exact to the second
        const QFileInfo info(FtpFixture::anonRoot() + "/tenk.bin");
        QCOMPARE(
            FileTime::toUnixSeconds(tenk->ftLastWriteTime), info.lastModified().toSecsSinceEpoch());
    }

    void aServerTimeZoneLeavesMachineReadableTimesAlone()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        DWORD minutes = DWORD(int32_t(120));
        QVERIFY(
            InternetSetOptionA(c.get(), INTERNET_OPTION_LIST_TIME_ZONE, &minutes, sizeof minutes));
        const qint64 exact
            = QFileInfo(FtpFixture::anonRoot() + "/tenk.bin").lastModified().toSecsSinceEpoch();
        const auto entries = listAll(c.get(), "");
        QCOMPARE(FileTime::toUnixSeconds(findEntry(entries, "tenk.bin")->ftLastWriteTime), exact);
        const auto one = listAll(c.get(), "/tenk.bin"); // MLST
        QCOMPARE(names(one), QStringList { "tenk.bin" });
        QCOMPARE(FileTime::toUnixSeconds(one[0].ftLastWriteTime), exact);

        // Only a connection takes an offset, and only one a clock can have.
        minutes = DWORD(int32_t(-1441));
        QVERIFY(
            !InternetSetOptionA(c.get(), INTERNET_OPTION_LIST_TIME_ZONE, &minutes, sizeof minutes));
        QCOMPARE(GetLastError(), ERROR_INVALID_PARAMETER);
        minutes = 60;
        QVERIFY(
            !InternetSetOptionA(session, INTERNET_OPTION_LIST_TIME_ZONE, &minutes, sizeof minutes));
        QCOMPARE(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    }

    void subdirectoryListingByPath()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        const auto entries = listAll(c.get(), "/pub/docs");
        QCOMPARE(names(entries), QStringList { "guide.txt" });
        QCOMPARE(fileSize(entries[0]), uint64_t(600));
    }

    void pathNamingAFileListsOnlyThatFileUnderItsBaseName()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        const auto entries = listAll(c.get(), "/pub/docs/guide.txt");
        QCOMPARE(names(entries), QStringList { "guide.txt" });
        QCOMPARE(fileSize(entries[0]), uint64_t(600));
    }

    void emptyDirectoryGivesNullHandleAndNoMoreFiles()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        TWin32FindData entry;
        QVERIFY(!FtpFindFirstFileA(c.get(), "/empty", &entry, INTERNET_FLAG_RAW_DATA, 0));
        QCOMPARE(GetLastError(), ERROR_NO_MORE_FILES);
    }

    void missingDirectoryGivesNullHandleAndReplyText()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        TWin32FindData entry;
        QVERIFY(!FtpFindFirstFileA(c.get(), "/no-such-dir", &entry, INTERNET_FLAG_RAW_DATA, 0));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("550"));
    }

    void downloadThroughSmallReadsIsExact()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        bool ok = false;
        QCOMPARE(readRemote(c.get(), "/tenk.bin", ok), tenK());
        QVERIFY(ok);
        QVERIFY(lastResponse().startsWith("226"));
        QCOMPARE(readRemote(c.get(), "zero.bin", ok), QByteArray());
        QVERIFY(ok);
        // The connection stays usable after each transfer
        QCOMPARE(
            readRemote(c.get(), "readme.txt", ok), QByteArray("Vrex Explorer test server\r\n"));
        QVERIFY(ok);
    }

    void downloadOfMissingFileGives12003()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        QVERIFY(!FtpOpenFileA(c.get(), "/missing.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("550"));
    }

    void commandsWaitWhileAFileIsOpen()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        HandleCloser f(
            FtpOpenFileA(c.get(), "/tenk.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
        QVERIFY(f.get());
        QVERIFY(!FtpSetCurrentDirectoryA(c.get(), "/pub"));
        QCOMPARE(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
        f.reset(nullptr); // closed part way: the connection goes on
        QVERIFY2(FtpSetCurrentDirectoryA(c.get(), "/pub"),
            qPrintable(QString::number(GetLastError()) + lastResponse()));
        QCOMPARE(names(listAll(c.get(), "")), QStringList { "docs" });
    }

    void getFileCopiesToLocalFile()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        const QString target = TestEnvironment::instance().tempDir() + "/got.bin";
        QFile::remove(target);
        QVERIFY(FtpGetFileA(c.get(), "/tenk.bin", target.toUtf8().constData(), 0,
            FILE_FLAG_WRITE_THROUGH, FTP_TRANSFER_TYPE_BINARY, 0));
        QCOMPARE(localFile(target), tenK());
        QVERIFY(!FtpGetFileA(c.get(), "/missing.bin", target.toUtf8().constData(), 0,
            FILE_FLAG_WRITE_THROUGH, FTP_TRANSFER_TYPE_BINARY, 0));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QCOMPARE(localFile(target), tenK()); // the old file stays
        QCOMPARE(QDir(TestEnvironment::instance().tempDir()).entryList(QDir::Files),
            QStringList { "got.bin" }); // no temporary file left
    }

    void uploadRenameDeleteAndDirectoriesAsUser()
    {
        const QString folder = FtpFixture::freshUserFolder("basic");
        HandleCloser c(connectUser());
        QVERIFY(c.get());
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), folder.toUtf8().constData()));
        QByteArray data;
        for (int i = 0; i < 300000; ++i)
            data.append(char(i * 7));
        QVERIFY(writeRemote(c.get(), "up.bin", data));
        QVERIFY(lastResponse().startsWith("226"));
        QCOMPARE(localFile(FtpFixture::userRoot() + folder + "/up.bin"), data);
        QVERIFY(writeRemote(c.get(), "empty.bin", QByteArray()));
        QCOMPARE(QFileInfo(FtpFixture::userRoot() + folder + "/empty.bin").size(), 0);

        QVERIFY(FtpRenameFileA(c.get(), "up.bin", "moved.bin"));
        QVERIFY(QFile::exists(FtpFixture::userRoot() + folder + "/moved.bin"));
        QVERIFY(FtpCreateDirectoryA(c.get(), "sub"));
        QVERIFY(QFileInfo(FtpFixture::userRoot() + folder + "/sub").isDir());
        QVERIFY(FtpRemoveDirectoryA(c.get(), "sub"));
        QVERIFY(FtpDeleteFileA(c.get(), "moved.bin"));
        QVERIFY(!QFile::exists(FtpFixture::userRoot() + folder + "/moved.bin"));

        QVERIFY(!FtpDeleteFileA(c.get(), "moved.bin"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("550"));
        QVERIFY(!FtpRemoveDirectoryA(c.get(), "no-such-dir"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(!FtpRenameFileA(c.get(), "nothing", "else"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    }

    void anonymousUploadIsRefusedWith12003()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        QVERIFY(!FtpOpenFileA(c.get(), "/new.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("550"));
        QVERIFY(!FtpCreateDirectoryA(c.get(), "/newdir"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    }

    void namesWithLineBreaksAreRefusedBeforeSending()
    {
        HandleCloser c(connectUser());
        QVERIFY(c.get());
        QVERIFY(!FtpDeleteFileA(c.get(), "x\r\nDELE readme.txt"));
        QCOMPARE(GetLastError(), ERROR_INVALID_PARAMETER);
        QVERIFY(!FtpCreateDirectoryA(c.get(), "a\nb"));
        QCOMPARE(GetLastError(), ERROR_INVALID_PARAMETER);
        QVERIFY(!FtpRenameFileA(c.get(), "readme.txt", "b\rc"));
        QCOMPARE(GetLastError(), ERROR_INVALID_PARAMETER);
        QVERIFY(!FtpOpenFileA(c.get(), "x\ny", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
        QCOMPARE(GetLastError(), ERROR_INVALID_PARAMETER);
        TWin32FindData e;
        QVERIFY(!FtpFindFirstFileA(c.get(), "x\ny", &e, 0, 0));
        QCOMPARE(GetLastError(), ERROR_INVALID_PARAMETER);
        QVERIFY(QFile::exists(FtpFixture::userRoot() + "/readme.txt"));
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/")); // still in step
    }

    void statusNumbersReachTheConnectionCallback()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        statusSeen.clear();
        QVERIFY(InternetSetStatusCallback(c.get(), recordStatus) == nullptr);
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/pub"));
        const std::vector<DWORD> command { 30, 31, 40, 41, 100 };
        QCOMPARE(statusSeen, command);
        statusSeen.clear();
        HINTERNET f = FtpOpenFileA(c.get(), "/tenk.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
        QVERIFY(f);
        QVERIFY(std::count(statusSeen.begin(), statusSeen.end(), DWORD(60)) == 1);
        statusSeen.clear();
        QVERIFY(InternetCloseHandle(f));
        QCOMPARE(statusSeen.front(), DWORD(70));
        statusSeen.clear();
        QVERIFY(InternetCloseHandle(c.release()));
        QCOMPARE(statusSeen, (std::vector<DWORD> { 70, 51 }));
    }

    void childHandlesReportThroughTheConnectionCallback()
    {
        HINTERNET c = InternetConnectA(session, hostBytes().constData(), 21, "", "",
            INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 7);
        QVERIFY(c);
        QVERIFY(InternetSetStatusCallback(c, recordStatus) == nullptr);
        statusCalls.clear();
        HINTERNET f = FtpOpenFileA(c, "/tenk.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 42);
        QVERIFY(f);
        // The commands of the open are the connection's; the new handle is the file's
        QVERIFY(std::any_of(statusCalls.begin(), statusCalls.end(), [&](const StatusCall &s) {
            return s.handle == c && s.context == 7 && s.status == INTERNET_STATUS_REQUEST_SENT;
        }));
        QVERIFY(std::any_of(statusCalls.begin(), statusCalls.end(), [&](const StatusCall &s) {
            return s.handle == f && s.context == 42 && s.status == INTERNET_STATUS_HANDLE_CREATED;
        }));
        statusCalls.clear();
        QVERIFY(InternetCloseHandle(f));
        QCOMPARE(statusCalls.front().handle, f);
        QCOMPARE(statusCalls.front().status, INTERNET_STATUS_HANDLE_CLOSING);
        // Replacing the callback hands back the old one; a null one stops the reports
        QVERIFY(InternetSetStatusCallback(c, nullptr) == recordStatus);
        statusCalls.clear();
        QVERIFY(FtpSetCurrentDirectoryA(c, "/"));
        QVERIFY(statusCalls.empty());
        QVERIFY(InternetCloseHandle(c));
        QVERIFY(InternetSetStatusCallback(c, recordStatus) == INTERNET_INVALID_STATUS_CALLBACK);
    }

    void timeOutsAreSetAndReadPerHandle()
    {
        DWORD ms = 0, length = sizeof ms;
        QVERIFY(InternetQueryOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, &length));
        QCOMPARE(ms, DWORD(10000));
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        setTimeout(c.get(), INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, 1234);
        QVERIFY(InternetQueryOptionA(c.get(), INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &ms, &length));
        QCOMPARE(ms, DWORD(1234));
        QVERIFY(InternetQueryOptionA(session, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &ms, &length));
        QCOMPARE(ms, DWORD(10000)); // the session keeps its own
        ms = 0;
        QVERIFY(!InternetSetOptionA(c.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms));
        QCOMPARE(GetLastError(), ERROR_INVALID_PARAMETER);
        ms = 5;
        QVERIFY(!InternetSetOptionA(c.get(), 9999, &ms, sizeof ms));
        QCOMPARE(GetLastError(), ERROR_INVALID_PARAMETER);
    }

    void closedHandleIsRefused()
    {
        HINTERNET c = connectAnonymous();
        QVERIFY(c);
        QVERIFY(InternetCloseHandle(c));
        QVERIFY(!FtpSetCurrentDirectoryA(c, "/"));
        QCOMPARE(GetLastError(), ERROR_INVALID_HANDLE);
        QVERIFY(!InternetCloseHandle(c));
        QCOMPARE(GetLastError(), ERROR_INVALID_HANDLE);
    }

    void hostMayCarryItsPort()
    {
        const QByteArray host = "localhost:" + QByteArray::number(FtpFixture::port());
        HandleCloser c(InternetConnectA(
            session, host.constData(), 21, "", "", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1));
        QVERIFY2(c.get(), qPrintable(QString::number(GetLastError())));
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/pub"));
    }
};

VREX_TEST_MAIN(TestWinInetBasic, QCoreApplication)
#include "tst_wininet_basic.moc"
