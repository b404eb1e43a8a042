// The WinInet entry points against vsftpd: LIST only, numeric owners,
// zero-padded days. Skipped when not root or vsftpd is not installed.
#include "TestEnvironment.h"
#include "VsftpdServer.h"
#include "WinInetTestHelpers.h"

#include "ftp/FileTime.h"

#include <QtTest>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>

#include <memory>

class TestWinInetVsftpd : public QObject {
    Q_OBJECT

    std::unique_ptr<VsftpdServer> server;
    HINTERNET session = nullptr;

    HINTERNET connectAnonymous()
    {
        return InternetConnectA(
            session, server->address(), 21, "", "", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
    }
    static QByteArray pattern(int size)
    {
        QByteArray b(size, '\0');
        for (int i = 0; i < size; ++i)
            b[i] = char(i % 251);
        return b;
    }

private slots:
    void initTestCase()
    {
        const QString why = VsftpdServer::whyUnavailable();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        server = std::make_unique<VsftpdServer>();
        QVERIFY2(server->ok(), "vsftpd did not start; see the launcher's message above");
        session = InternetOpenA("VrexVsftpd", 0, "", "", 0);
        setAllTimeouts(session, 10000);
    }

    void cleanupTestCase()
    {
        if (session)
            InternetCloseHandle(session);
        server.reset();
    }

    void welcomeTextIsKept()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY2(c.get(), qPrintable(QString::number(GetLastError())));
        const QByteArray text = lastResponse();
        QVERIFY2(text.startsWith("220 Vrex vsftpd test server.\r\n"), text.constData());
        QVERIFY(text.contains("\r\n230 "));
    }

    void listIsParsedWithNumericOwnersAndPaddedDays()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        const auto entries = listAll(c.get(), "");
        QCOMPARE(GetLastError(), ERROR_NO_MORE_FILES);
        QCOMPARE(names(entries),
            (QStringList { "empty", "five-gib.img", "name with  blanks.txt", "old.txt", "pub",
                "readme.txt", "tenk.bin", "three-mb.bin" }));
        QVERIFY(isDirectory(*findEntry(entries, "pub")));
        QVERIFY(!isDirectory(*findEntry(entries, "tenk.bin")));
        QCOMPARE(fileSize(*findEntry(entries, "tenk.bin")), uint64_t(10000));
        QCOMPARE(fileSize(*findEntry(entries, "five-gib.img")), uint64_t(5) << 30);
        // A date with its year: "Jan 05  2019"
        const TSystemTime old
            = FileTime::toSystemTime(findEntry(entries, "old.txt")->ftLastWriteTime);
        QCOMPARE(old.year, 2019);
        QCOMPARE(old.month, 1);
        QCOMPARE(old.day, 5);
        // A recent date shows the time and takes this year (UTC, use_localtime=NO)
        const QDateTime now = QFileInfo(server->anonRoot() + "/tenk.bin").lastModified().toUTC();
        const TSystemTime recent
            = FileTime::toSystemTime(findEntry(entries, "tenk.bin")->ftLastWriteTime);
        QCOMPARE(recent.year, now.date().year());
        QCOMPARE(recent.day, now.date().day());
        QCOMPARE(recent.hour, now.time().hour());
        QCOMPARE(recent.minute, now.time().minute());
    }

    // vsftpd writes UTC; told that it writes UTC+02:00 (or UTC-05:30), the
    // layer gives every LIST time as that clock's UTC: 2 h earlier (5.5 h later).
    void listTimesFollowTheServersTimeZone_data()
    {
        QTest::addColumn<int>("minutesEast");
        QTest::newRow("UTC+02:00") << 120;
        QTest::newRow("UTC-05:30") << -330;
        QTest::newRow("UTC") << 0;
    }

    void listTimesFollowTheServersTimeZone()
    {
        QFETCH(int, minutesEast);
        auto unixTime = [](const TWin32FindData *e) {
            return e ? FileTime::toUnixSeconds(e->ftLastWriteTime) : 0;
        };
        HandleCloser plain(connectAnonymous());
        HandleCloser shifted(connectAnonymous());
        QVERIFY(plain.get() && shifted.get());
        DWORD minutes = DWORD(int32_t(minutesEast));
        QVERIFY(InternetSetOptionA(
            shifted.get(), INTERNET_OPTION_LIST_TIME_ZONE, &minutes, sizeof minutes));
        const qint64 shift = qint64(minutesEast) * 60;
        const auto before = listAll(plain.get(), "");
        const auto after = listAll(shifted.get(), "");
        for (const char *name : { "tenk.bin", "old.txt", "pub" })
            QCOMPARE(unixTime(findEntry(after, name)), unixTime(findEntry(before, name)) - shift);
        // A date with no time of day is midnight on the server's clock.
        const TSystemTime old
            = FileTime::toSystemTime(findEntry(after, "old.txt")->ftLastWriteTime);
        QCOMPARE(old.hour * 60 + old.minute, (24 * 60 - minutesEast) % (24 * 60));
        // The single-file lookup (LIST of one path) is shifted alike.
        const auto one = listAll(shifted.get(), "/pub/docs/guide.txt");
        const auto unshifted = listAll(plain.get(), "/pub/docs/guide.txt");
        QCOMPARE(names(one), QStringList { "guide.txt" });
        QCOMPARE(unixTime(&one[0]), unixTime(&unshifted[0]) - shift);
    }

    void pathNamingAFileListsThatFileOnly()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        auto entries = listAll(c.get(), "/pub/docs/guide.txt");
        QCOMPARE(names(entries), QStringList { "guide.txt" });
        QCOMPARE(fileSize(entries[0]), uint64_t(600));
        entries = listAll(c.get(), "name with  blanks.txt");
        QCOMPARE(names(entries), QStringList { "name with  blanks.txt" });
        QCOMPARE(names(listAll(c.get(), "/pub/docs")), QStringList { "guide.txt" });
    }

    void emptyOrMissingDirectoryGivesNullHandle()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        TWin32FindData e;
        QVERIFY(!FtpFindFirstFileA(c.get(), "/empty", &e, 0, 0));
        QCOMPARE(GetLastError(), ERROR_NO_MORE_FILES);
        QVERIFY(!FtpFindFirstFileA(c.get(), "/no-such-dir", &e, 0, 0));
        QVERIFY(GetLastError() == ERROR_NO_MORE_FILES
            || GetLastError() == ERROR_INTERNET_EXTENDED_ERROR);
    }

    void downloadsAreExact()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        bool ok = false;
        QCOMPARE(readRemote(c.get(), "/tenk.bin", ok), pattern(10000));
        QVERIFY(ok);
        QCOMPARE(readRemote(c.get(), "three-mb.bin", ok), pattern(3000000));
        QVERIFY(ok);
        const QString target = TestEnvironment::instance().tempDir() + "/vs.bin";
        QVERIFY(FtpGetFileA(c.get(), "/pub/docs/guide.txt", target.toUtf8().constData(), 0, 0,
            FTP_TRANSFER_TYPE_BINARY, 0));
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("guide\n").repeated(100));
    }

    void abandonedDownloadLeavesConnectionInStep()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        for (int round = 0; round < 3; ++round) {
            HINTERNET f
                = FtpOpenFileA(c.get(), "/three-mb.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
            QVERIFY(f);
            char buf[4096];
            DWORD got = 0;
            QVERIFY(InternetReadFile(f, buf, sizeof buf, &got));
            QVERIFY(InternetCloseHandle(f));
            QVERIFY2(FtpSetCurrentDirectoryA(c.get(), "/pub"),
                qPrintable(QString::number(GetLastError())));
            QVERIFY(lastResponse().startsWith("250"));
            QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/"));
        }
        QCOMPARE(names(listAll(c.get(), "/pub")), QStringList { "docs" });
    }

    void refusedUserGives12013()
    {
        QVERIFY(!InternetConnectA(session, server->address(), 21, "bob", "secret",
            INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1));
        QCOMPARE(GetLastError(), ERROR_INTERNET_INCORRECT_USER_NAME);
        QVERIFY(lastResponse().contains("530"));
    }

    void loginSlowerThanTheTimeOutGives12002()
    {
        VsftpdServer slow(true);
        QVERIFY(slow.ok());
        HINTERNET impatient = InternetOpenA("impatient", 0, "", "", 0);
        setTimeout(impatient, INTERNET_OPTION_RECEIVE_TIMEOUT, 800);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!InternetConnectA(
            impatient, slow.address(), 21, "", "", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1));
        QCOMPARE(GetLastError(), ERROR_INTERNET_TIMEOUT);
        QVERIFY(clock.elapsed() < 30000); // no hang; 12002 says it was the time-out
        // Patience gets the login through
        setTimeout(impatient, INTERNET_OPTION_RECEIVE_TIMEOUT, 10000);
        HandleCloser c(InternetConnectA(
            impatient, slow.address(), 21, "", "", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1));
        QVERIFY2(c.get(), qPrintable(QString::number(GetLastError())));
        c.reset(nullptr);
        QVERIFY(InternetCloseHandle(impatient));
    }

    void writesAreRefusedWith12003()
    {
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        QVERIFY(!FtpOpenFileA(c.get(), "/new.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(lastResponse().startsWith("550"));
        QVERIFY(!FtpDeleteFileA(c.get(), "/tenk.bin"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(!FtpCreateDirectoryA(c.get(), "/newdir"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(!FtpRenameFileA(c.get(), "/tenk.bin", "/x"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(!FtpSetCurrentDirectoryA(c.get(), "/no-such-dir"));
        QCOMPARE(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        QVERIFY(FtpSetCurrentDirectoryA(c.get(), "/pub"));
    }

    void linksListAsLinksAndALinkToAFileIsFoundByName()
    {
        const QString folder = server->anonRoot() + QStringLiteral("/links");
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/emptydir")));
        const auto removeFolder = qScopeGuard([&] { QDir(folder).removeRecursively(); });
        QFile file(folder + QStringLiteral("/file.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(pattern(1234)) == 1234);
        file.close();
        for (const auto &[target, name] : { std::pair { "file.bin", "filelink" },
                 std::pair { "emptydir", "emptylink" }, std::pair { "nowhere", "dangling" } })
            QVERIFY(QFile::link(QString::fromLatin1(target), folder + '/' + name));
        HandleCloser c(connectAnonymous());
        QVERIFY(c.get());
        const auto entries = listAll(c.get(), "/links");
        QCOMPARE(names(entries),
            (QStringList { "dangling", "emptydir", "emptylink", "file.bin", "filelink" }));
        for (const char *link : { "dangling", "emptylink", "filelink" })
            QVERIFY2(isUnresolvedLink(*findEntry(entries, link)), link);

        // Whether vsftpd shows the link's own line or nothing, the lookup
        // gives the file behind it: SIZE's size, MDTM's time.
        auto found = listAll(c.get(), "/links/filelink");
        QCOMPARE(names(found), QStringList { "filelink" });
        QVERIFY(!isDirectory(found[0]));
        QVERIFY(!isUnresolvedLink(found[0]));
        QCOMPARE(fileSize(found[0]), uint64_t(1234));
        QVERIFY(FileTime::toSystemTime(found[0].ftLastWriteTime).year > 2000);
        found = listAll(c.get(), "/links/dangling"); // the link's own line
        QCOMPARE(names(found), QStringList { "dangling" });
        QVERIFY(isUnresolvedLink(found[0]));
        TWin32FindData e;
        QVERIFY(!FtpFindFirstFileA(c.get(), "/links/emptylink", &e, 0, 0));
        QCOMPARE(GetLastError(), ERROR_NO_MORE_FILES);
    }
};

VREX_TEST_MAIN(TestWinInetVsftpd, QCoreApplication)
#include "tst_wininet_vsftpd.moc"
