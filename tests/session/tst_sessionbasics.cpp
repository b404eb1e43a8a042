#include "FtpFixture.h"
#include "SessionRecorder.h"
#include "SessionTestKit.h"
#include "TestEnvironment.h"
#include "ftp/FtpThread.h"
#include "ftp/ResponseCapture.h"
#include "ftp/WinInetFTP.h"

#include <QtTest>

using namespace SessionTestKit;

class TestSessionBasics : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY2(FtpFixture::available(), "run through ctest"); }
    void cleanup() { QVERIFY(workersGone()); }

    void requestsBeforeConnectingAreAnsweredInsideTheCall()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        ftp.GetDirectory(QStringLiteral("/"));
        QCOMPARE(log.events, QStringList { QStringLiteral("DirDone err=9") });
        ftp.GetFile(QStringLiteral("tenk.bin"), TestEnvironment::instance().tempDir() + "/x");
        ftp.GetFileDirect(QStringLiteral("tenk.bin"), TestEnvironment::instance().tempDir() + "/x");
        ftp.SendFile(QStringLiteral("/etc/hostname"), QStringLiteral("x"));
        QCOMPARE(log.events,
            (QStringList {
                "DirDone err=9", "GetDone 0 err=9", "GetDone 0 err=9", "SendDone 0 err=9" }));
        QCOMPARE(FtpThread::liveCount(), 0);
        QCOMPARE(ftp.Status(), statIdle);
        QVERIFY(!QFile::exists(TestEnvironment::instance().tempDir() + "/x"));

        // A single command is attempted all the same and fails.
        ftp.DeleteFile(QStringLiteral("readme.txt"));
        QCOMPARE(ftp.Status(), statInMisc);
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DeleteFileDone"), 1, 10000);
        QCOMPARE(log.last(), QStringLiteral("DeleteFileDone err=6"));
        QCOMPARE(ftp.Status(), statIdle);
        QCOMPARE(log.offUiThread, 0);
    }

    void connectReportsProgressAndTheServersReply()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        ftp.FTPSite = FtpFixture::host();
        ftp.Connect();
        QCOMPARE(ftp.Status(), statInConnect);
        QTRY_COMPARE_WITH_TIMEOUT(log.count("Connect"), 1, 20000);
        QCOMPARE(log.events, QStringList { "Connect inet=1 ftp=1 err=0" });
        QCOMPARE(ftp.Status(), statIdle);
        QVERIFY(ftp.Connected());
        QCOMPARE(log.statusCodes.mid(0, 2), (QList<int> { 0, 1 }));
        QCOMPARE(log.statusCodes.last(), 2);
        QVERIFY(!log.statusCodes.contains(99));
        QVERIFY2(!ftp.LogonMessage().isEmpty(), "the login reply is kept");
        for (const QString &line : ftp.LogonMessage()) {
            QVERIFY(!line.contains('\r') && !line.contains('\n'));
            QVERIFY(line.size() <= 127);
        }
        QCOMPARE(log.offUiThread, 0);
        // The library's own progress reaches the handler too, also when
        // Disconnect closes the connection on this thread.
        log.statusCodes.clear();
        ftp.Disconnect();
        QVERIFY(log.statusCodes.contains(int(INTERNET_STATUS_HANDLE_CLOSING)));
        QCOMPARE(log.offUiThread, 0);
        QVERIFY(!ftp.Connected());
        QCOMPARE(log.count("Disconnect"), 0);
    }

    void wrongPasswordKeepsTheSessionAndAReconnectWorks()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        ftp.FTPSite = FtpFixture::host();
        ftp.Login = FtpFixture::user();
        ftp.Password = QStringLiteral("wrong");
        ftp.Connect();
        QTRY_COMPARE_WITH_TIMEOUT(log.count("Connect"), 1, 20000);
        QCOMPARE(log.last(), QStringLiteral("Connect inet=1 ftp=0 err=5"));
        QCOMPARE(ftp.LastErrorCode(), int32_t(ERROR_INTERNET_INCORRECT_PASSWORD));
        QCOMPARE(log.statusCodes.last(), 99);
        QVERIFY(!ftp.Connected());

        // Not connected: a listing is answered at once.
        ftp.GetDirectory(QStringLiteral("/"));
        QCOMPARE(log.last(), QStringLiteral("DirDone err=9"));

        QVERIFY(connectTo(ftp, log));
        ftp.Disconnect();
    }

    void listingDeliversEveryEntryOnceThenDone()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log, true));
        log.clear();
        ftp.GetDirectory(QStringLiteral("/"));
        QCOMPARE(ftp.Status(), statInDirList);
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DirDone"), 1, 10000);
        QCOMPARE(log.last(), QStringLiteral("DirDone err=0"));
        QStringList names = log.matching("DirEntry ");
        names.replaceInStrings(QStringLiteral("DirEntry "), QString());
        for (const char *name : { "readme.txt", "zero.bin", "tenk.bin", "pub", "empty" })
            QCOMPARE(names.count(QString::fromLatin1(name)), 1);
        QCOMPARE(log.statusCodes.first(), 3);
        QCOMPARE(log.statusCodes.last(), 99);
        QVERIFY2(std::any_of(log.statusCodes.begin(), log.statusCodes.end(),
                     [](int code) { return code >= 10; }),
            "the library's progress codes are passed on");
        QCOMPARE(ftp.Status(), statIdle);
        QCOMPARE(log.offUiThread, 0);

        // One file named by its path lists that file alone, under its name.
        log.clear();
        ftp.GetDirectory(QStringLiteral("/pub/docs/guide.txt"));
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DirDone"), 1, 10000);
        QCOMPARE(log.events, (QStringList { "DirEntry guide.txt", "DirDone err=0" }));

        // A missing directory: no entry, no failure, the system code kept.
        log.clear();
        ftp.GetDirectory(QStringLiteral("/no/such/dir"));
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DirDone"), 1, 10000);
        QCOMPARE(log.events, QStringList { "DirDone err=0" });
        QVERIFY(ftp.LastErrorCode() != 0);
        ftp.Disconnect();
    }

    void entryRecordCarriesSizeAndFolderMark()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log, true));
        QMap<QString, TWin32FindData> seen;
        ftp.OnDirEntry = [&seen](TWinInetFTP *, PTWin32FindData d) {
            seen.insert(QString::fromUtf8(d->cFileName), *d);
        };
        ftp.GetDirectory(QStringLiteral("/"));
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DirDone"), 1, 10000);
        QCOMPARE(fileSize(seen.value("tenk.bin")), uint64_t(10000));
        QVERIFY(isDirectory(seen.value("pub")));
        QVERIFY(!isDirectory(seen.value("readme.txt")));
        ftp.Disconnect();
    }

    void singleCommandsChangeTheServerAndReportOnce()
    {
        const QString folder = FtpFixture::freshUserFolder("commands");
        const QString disk = FtpFixture::userRoot() + folder;
        QVERIFY(writeFile(disk + "/old.txt", "abc"));
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        log.clear();

        ftp.CreateDirectory(folder + "/made");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("CreateDirDone"), 1, 10000);
        QVERIFY(QFileInfo(disk + "/made").isDir());
        ftp.RenameFile(folder + "/old.txt", folder + "/new.txt");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("RenameFileDone"), 1, 10000);
        QVERIFY(QFile::exists(disk + "/new.txt") && !QFile::exists(disk + "/old.txt"));
        ftp.DeleteFile(folder + "/new.txt");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DeleteFileDone"), 1, 10000);
        QVERIFY(!QFile::exists(disk + "/new.txt"));
        ftp.DeleteDirectory(folder + "/made");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DeleteDirDone"), 1, 10000);
        QVERIFY(!QFileInfo::exists(disk + "/made"));
        QCOMPARE(log.events,
            (QStringList { "CreateDirDone err=0", "RenameFileDone err=0", "DeleteFileDone err=0",
                "DeleteDirDone err=0" }));
        QVERIFY(log.statusCodes.isEmpty() || !log.statusCodes.contains(99));
        QCOMPARE(ftp.Status(), statIdle);
        ftp.Disconnect();
    }

    void refusedCommandAppendsTheReplyText()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log, true));
        const QStringList before = ftp.LogonMessage();
        ftp.DeleteFile(QStringLiteral("/readme.txt")); // anonymous is read-only
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DeleteFileDone"), 1, 10000);
        QCOMPARE(log.last(), QStringLiteral("DeleteFileDone err=10"));
        QCOMPARE(ftp.LastErrorCode(), int32_t(ERROR_INTERNET_EXTENDED_ERROR));
        QVERIFY(ftp.LogonMessage().size() > before.size());
        QCOMPARE(ftp.LogonMessage().mid(0, before.size()), before);
        QVERIFY(ftp.LogonMessage().last().startsWith("550"));
        QVERIFY(QFile::exists(FtpFixture::anonRoot() + "/readme.txt"));
        ftp.Disconnect();
    }

    void replyTextIsCutIntoBoundedLines()
    {
        const QByteArray twoLines = "550-Refused here.\r\n550 Really refused.\r\n";
        QCOMPARE(ResponseCapture::split(twoLines.constData(), size_t(twoLines.size())),
            (QStringList { "550-Refused here.", "550 Really refused." }));
        const QByteArray longLine = QByteArray(200, 'x') + "\r\n";
        QCOMPARE(ResponseCapture::split(longLine.constData(), size_t(longLine.size())),
            QStringList { QString(127, 'x') });
        // An empty line in the middle survives, a trailing fragment too.
        const QByteArray odd = "a\r\r\nb";
        QCOMPARE(ResponseCapture::split(odd.constData(), size_t(odd.size())),
            (QStringList { "a", "", "b" }));
    }

    void setDirectoryDeliversNothingAndKeepsItsStatus()
    {
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log, true));
        log.clear();
        ftp.SetDirectory(QStringLiteral("/pub"));
        QVERIFY(workersGone());
        QVERIFY(log.events.isEmpty());
        QCOMPARE(ftp.Status(), statInMisc);
        QCOMPARE(ftp.LastError(), errNone);
        ftp.Disconnect();
        QCOMPARE(ftp.Status(), statIdle);
    }

    void commandInsideAnotherCommandsHandlerIsRefused()
    {
        const QString folder = FtpFixture::freshUserFolder("nested");
        const QString disk = FtpFixture::userRoot() + folder;
        QVERIFY(writeFile(disk + "/a.txt", "a"));
        QVERIFY(writeFile(disk + "/keep.txt", "k"));
        TWinInetFTP ftp;
        SessionRecorder log(ftp);
        QVERIFY(connectTo(ftp, log));
        log.inside = [&](const QString &event) {
            if (event == "RenameFileDone")
                ftp.DeleteFile(folder + "/keep.txt");
        };
        ftp.RenameFile(folder + "/a.txt", folder + "/b.txt");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("RenameFileDone"), 1, 10000);
        QVERIFY(workersGone());
        QCOMPARE(log.count("DeleteFileDone"), 0);
        QVERIFY(QFile::exists(disk + "/keep.txt"));

        // Other kinds are welcome inside a completion handler.
        log.inside = [&](const QString &event) {
            if (event == "DirDone" && log.count("DirDone") == 1)
                ftp.GetDirectory(folder);
        };
        ftp.GetDirectory(folder);
        QTRY_COMPARE_WITH_TIMEOUT(log.count("DirDone"), 2, 10000);
        QCOMPARE(log.count("DirEntry b.txt"), 2);
        ftp.Disconnect();
    }
};

VREX_TEST_MAIN(TestSessionBasics, QCoreApplication)
#include "tst_sessionbasics.moc"
