// Fetching and sending files through the main window against a real FTP
// server, as a person does it: choose files, answer the dialogs, watch the
// queue run, stop it, and read what the window says when something fails.

#include "../ftp/VsftpdServer.h"
#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"
#include "WindowTestKit.h"

#include "app/MainLayout.h"
#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "app/ToolBarPanel.h"
#include "dispatch/TransferLanes.h"
#include "explorer/FileCommands.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTreeCommands.h"
#include "ftp/FileTime.h"
#include "ftp/WinInet.h"
#include "platform/TempFolder.h"
#include "platform/UrlOpener.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"
#include "transfers/QueueItem.h"
#include "transfers/TFormStartQueue.h"
#include "transfers/TransferProgress.h"
#include "transfers/TransferQueue.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>
#include <utime.h>

namespace {

constexpr int kNetWait = 20000;
const QString kCannotConnect
    = QStringLiteral("Could not connect to a site to establish file transfer.");
const QString kStopped
    = QStringLiteral("\r\rThe transfer has been terminated and the queue stopped.");

// A file far larger than loopback moves in a blink, without using the disk.
void makeSparseFile(const QString &path, qint64 size)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.resize(size));
}

} // namespace

class TestTransferWindow : public QObject {
    Q_OBJECT

    PrivateFtpServer server;
    SilentListener silent; // accepts and never speaks
    SilentListener refused; // closed: nobody listens
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<QTemporaryDir> local;
    QStringList opened;

    TListView *files() { return form->controls().ListView1; }
    TransferQueue &queue() { return form->queue(); }
    QString panel(int i) { return form->controls().StatusBar1->panelText(i); }
    bool idle() { return !form->listing().isBusy(); }
    QString localPath(const QString &name) { return local->filePath(name); }

    // The site book holds the server twice: anonymous, and with a login.
    void openWindowWithSites(
        const QString &extraHost = QString(), const QString &extraName = QStringLiteral("Vsftpd"))
    {
        SiteBook book;
        if (!extraHost.isEmpty())
            book.InsertSite({ extraHost, extraName, {}, {}, QStringLiteral("/") });
        book.InsertSite({ server.host(), QStringLiteral("Public"), {}, {}, QStringLiteral("/") });
        book.InsertSite({ server.host(), QStringLiteral("Private"), QStringLiteral("vrex"),
            QStringLiteral("secret"), QStringLiteral("/") });
        book.SaveSiteBook();
        form = openMainWindow();
        // The window opens the first site by itself at start-up.
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->tree().current(), kNetWait);
    }

    void openSite(const QString &description, int rows)
    {
        QTreeWidget *tree = form->controls().TreeView1;
        QTreeWidgetItem *site = child(form->root(), description);
        QVERIFY(site);
        tree->setCurrentItem(site);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->tree().current() == site, kNetWait);
        // F5, as a person does to see what changed on the server.
        form->treeCommands().Refresh1Click();
        QTRY_VERIFY2_WITH_TIMEOUT(
            idle() && files()->rowCount() == rows && form->tree().current() == site,
            qPrintable(column(files(), 0).join(',') + " current "
                + (form->tree().current() ? form->tree().current()->text(0) : "none")
                + prompts->messageTexts().join('|')),
            kNetWait);
    }

    [[nodiscard]] bool selectRows(const QStringList &names)
    {
        return selectRowsNamed(files(), names);
    }

    void waitForQueueToEmpty()
    {
        QTRY_VERIFY_WITH_TIMEOUT(queue().count() == 0 && idle(), kNetWait);
    }

    // A download of big.bin (a gigabyte) that is under way.
    void startBigDownload(const QString &target)
    {
        makeSparseFile(server.userRoot() + QStringLiteral("/big.bin"), qint64(1) << 30);
        openSite(QStringLiteral("Private"), 6);
        QVERIFY(selectRows({ QStringLiteral("big.bin") }));
        prompts->answerSave(target);
        if (QFile::exists(target))
            prompts->answer(QMessageBox::Ok);
        form->MenuDownloadClick();
        // Bytes have arrived: the first status event comes before any.
        QLabel *done = form->progress().LabelComplete;
        QTRY_VERIFY_WITH_TIMEOUT(
            !done->text().isEmpty() && !done->text().startsWith(QLatin1String("0 ")), kNetWait);
        QCOMPARE(queue().count(), 1);
    }

    bool noPartialFileIn(const QString &folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty();
    }

    // A download as the file list queues it, from the server unless told.
    void add(const QString &name, const QString &host = QString())
    {
        QueueItem item;
        item.name = QLatin1Char('/') + name;
        item.saveFile = localPath(name);
        item.actions = QStringLiteral("Download");
        item.host = host.isEmpty() ? server.host() : host;
        item.login = QStringLiteral("vrex");
        item.password = QStringLiteral("secret");
        queue().addItem(item);
    }
    QString toolTipOf(int row)
    {
        return rows()->shownModel()->index(row, 1).data(Qt::ToolTipRole).toString();
    }
    TListView *rows() { return form->controls().ListView3; }
    void whenStartDialogShowsAccept()
    {
        QTimer::singleShot(0, form.get(), [this] {
            auto *dialog = form->findChild<TFormStartQueue *>();
            QVERIFY(dialog && dialog->isVisible());
            dialog->accept(); // "Now" is chosen when nothing is armed
        });
    }

private slots:
    void initTestCase()
    {
        useShortNetworkTimeouts();
        refused.close();
        UrlOpener::install([this](const QUrl &url) {
            opened << url.toLocalFile();
            return true;
        });
    }

    void init()
    {
        QVERIFY(server.start());
        startWindowTest(prompts);
        local = std::make_unique<QTemporaryDir>();
        opened.clear();
        openWindowWithSites();
    }

    void cleanup()
    {
        endWindowTest(form, prompts);
        server.stop();
    }

    void downloadsFromTwoSitesRunOneAfterAnotherAndLandByteExact()
    {
        // Nothing chosen before: the folder question starts in the desktop's
        // Downloads folder.
        QTemporaryDir downloads;
        QVERIFY(writeFileBytes(qEnvironmentVariable("XDG_CONFIG_HOME") + "/user-dirs.dirs",
            "XDG_DOWNLOAD_DIR=\"" + downloads.path().toUtf8() + "\"\n"));
        QVERIFY(writeFileBytes(localPath(QStringLiteral("readme.txt")), "old copy"));
        QVERIFY(writeFileBytes(localPath(QStringLiteral("tenk.bin")), "keep me"));
        openSite(QStringLiteral("Public"), 5);
        // Several files: one folder question, one overwrite question each.
        QVERIFY(selectRows({ QStringLiteral("readme.txt"), QStringLiteral("tenk.bin"),
            QStringLiteral("zero.bin") }));
        prompts->answerFolder(local->path());
        prompts->answerChoice(0); // "Yes": overwrite the old copy
        prompts->answerChoice(2); // "Skip" tenk.bin
        form->MenuDownloadClick();
        QCOMPARE(prompts->asked[0].kind, QStringLiteral("folder"));
        QCOMPARE(prompts->asked[0].text, downloads.path() + QLatin1Char('/'));
        QCOMPARE(prompts->asked.size(), 3);
        QCOMPARE(prompts->asked[1].text,
            QStringLiteral("File: \"") + localPath(QStringLiteral("readme.txt"))
                + QStringLiteral("\" already exists.\r\rIs it okay to overwrite this file?"));
        QCOMPARE(prompts->asked[1].choices,
            (QStringList { "Yes", "Yes to all", "Skip", "Cancel" }));
        QCOMPARE(queue().count(), 2);
        QCOMPARE(panel(3), QStringLiteral("Queue: Running"));
        waitForQueueToEmpty();
        QCOMPARE(fileContents(localPath(QStringLiteral("tenk.bin"))), QByteArray("keep me"));
        QCOMPARE(QFileInfo(localPath(QStringLiteral("zero.bin"))).size(), 0);
        QCOMPARE(panel(0), "Status: Download complete: " + localPath(QStringLiteral("zero.bin")));

        // The third file comes from the other site, by double-click.
        QVERIFY(writeFileBytes(server.userRoot() + QStringLiteral("/Notes.TXT"), QByteArray(70000, 'n')));
        openSite(QStringLiteral("Private"), 6);
        QVERIFY(selectRows({ QStringLiteral("Notes.TXT") }));
        prompts->answerSave(localPath(QStringLiteral("notes.txt")));
        form->files().openOrDownloadRow();
        QCOMPARE(prompts->asked.last().text, local->path() + QStringLiteral("/notes.txt"));
        waitForQueueToEmpty();

        QCOMPARE(fileContents(localPath(QStringLiteral("readme.txt"))),
            fileContents(server.anonRoot() + QStringLiteral("/readme.txt")));
        QCOMPARE(fileContents(localPath(QStringLiteral("notes.txt"))), QByteArray(70000, 'n'));
        QCOMPARE(prompts->messageTexts().size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(panel(3), QStringLiteral("Queue: Idle"), kNetWait);
        QTRY_VERIFY(!form->controls().PanelTransfer->isVisible());
        form->controls().TabSet1->setCurrentIndex(2);
        QCOMPARE(panel(2), QStringLiteral("Size: 0"));
        TaggedValue lastDir;
        form->settings().ReadValue(QStringLiteral("LastDir"), lastDir);
        QCOMPARE(lastDir.toString(), local->path() + QLatin1Char('/'));
    }

    void downloadsFromVsftpdLandByteExact()
    {
        if (!VsftpdServer::whyUnavailable().isEmpty())
            QSKIP(qPrintable(VsftpdServer::whyUnavailable()));
        VsftpdServer vsftpd;
        QVERIFY(vsftpd.ok());
        form->FormClose();
        form.reset();
        QFile::remove(SiteBook().filePath());
        openWindowWithSites(QString::fromLatin1(vsftpd.address()));
        openSite(QStringLiteral("Vsftpd"), 8);
        const QStringList names { "readme.txt", "tenk.bin", "three-mb.bin" };
        QVERIFY(selectRows(names));
        prompts->answerFolder(local->path());
        QTest::mouseClick(
            form->controls().PanelExplorerTools->button(ToolBarPanel::Download), Qt::LeftButton);
        QCOMPARE(queue().count(), 3);
        waitForQueueToEmpty();
        for (const QString &name : names)
            QCOMPARE(fileContents(localPath(name)), fileContents(vsftpd.anonRoot() + '/' + name));
        QCOMPARE(prompts->messageTexts(), QStringList());
    }

    void anArmedQueueFetchesTheFileAtTheChosenMinutePastMidnight()
    {
        QDateTime now(QDate(2026, 12, 8), QTime(23, 59, 30));
        queue().setClock([&now] { return now; });
        openSite(QStringLiteral("Public"), 5);
        form->SpeedQueueClick(); // stop
        QVERIFY(selectRows({ QStringLiteral("readme.txt") }));
        prompts->answerSave(localPath(QStringLiteral("readme.txt")));
        QTimer::singleShot(0, form.get(), [this] {
            auto *dialog = form->findChild<TFormStartQueue *>();
            QVERIFY(dialog && dialog->isVisible());
            dialog->RadioLater->click();
            dialog->EditTime->setTime(QTime(0, 1));
            dialog->ButtonOK->click();
        });
        form->MenuDownloadClick();
        QCOMPARE(panel(3), QStringLiteral("Queue: Starts: 12:01 AM"));
        for (const QTime &tick : { QTime(23, 59, 45), QTime(0, 0, 10), QTime(0, 0, 55) }) {
            now = QDateTime(QDate(2026, 12, tick.hour() ? 8 : 9), tick);
            queue().Timer1Timer();
            QCOMPARE(queue().statusOfRow(0), QStringLiteral("Waiting"));
        }
        now = QDateTime(QDate(2026, 12, 9), QTime(0, 1, 7));
        queue().Timer1Timer();
        QCOMPARE(panel(3), QStringLiteral("Queue: Running"));
        waitForQueueToEmpty();
        QCOMPARE(fileContents(localPath(QStringLiteral("readme.txt"))),
            fileContents(server.anonRoot() + QStringLiteral("/readme.txt")));
    }

    void newerChecksFetchOnlyWhatChangedAndEndOnTheWatchList_data()
    {
        QTest::addColumn<bool>("onVsftpd");
        QTest::newRow("pyftpdlib (exact times)") << false;
        QTest::newRow("vsftpd (times to the minute)") << true;
    }

    void newerChecksFetchOnlyWhatChangedAndEndOnTheWatchList()
    {
        QFETCH(bool, onVsftpd);
        std::unique_ptr<VsftpdServer> vsftpd;
        QString host = server.host();
        QString root = server.anonRoot();
        if (onVsftpd) {
            if (!VsftpdServer::whyUnavailable().isEmpty())
                QSKIP(qPrintable(VsftpdServer::whyUnavailable()));
            vsftpd = std::make_unique<VsftpdServer>();
            QVERIFY(vsftpd->ok());
            host = QString::fromLatin1(vsftpd->address());
            root = vsftpd->anonRoot();
            form->FormClose();
            form.reset();
            openWindowWithSites(host);
            openSite(QStringLiteral("Vsftpd"), 8);
        } else {
            openSite(QStringLiteral("Public"), 5);
        }
        // A recent time to the minute, as every server can tell it.
        QDateTime seen = QDateTime::currentDateTimeUtc().addSecs(-3600);
        seen.setTime(QTime(seen.time().hour(), seen.time().minute()));
        QVERIFY(setModified(root + QStringLiteral("/readme.txt"), seen));
        QVERIFY(setModified(root + QStringLiteral("/tenk.bin"), seen.addSecs(120)));
        for (const char *name : { "readme.txt", "tenk.bin", "gone.txt" }) {
            QueueItem item;
            item.name = QStringLiteral("/") + name;
            item.saveFile = localPath(name);
            item.actions = QStringLiteral("Download, Newer");
            item.host = host;
            qstrncpy(item.entry.cFileName, name, sizeof item.entry.cFileName);
            item.entry.ftLastWriteTime = FileTime::fromUnixSeconds(seen.toSecsSinceEpoch());
            setFileSize(item.entry, 27);
            queue().addItem(item);
        }
        queue().afterAdding();
        waitForQueueToEmpty();
        // Only the changed file came; what is gone is no failure.
        QCOMPARE(QDir(local->path()).entryList(QDir::Files), QStringList { "tenk.bin" });
        QCOMPARE(fileContents(localPath(QStringLiteral("tenk.bin"))),
            fileContents(root + QStringLiteral("/tenk.bin")));
        QCOMPARE(prompts->messageTexts(), QStringList());
        QTRY_COMPARE(form->controls().TabSet1->currentIndex(), 1);
        // Idle once what the run wrote is on the disk.
        QTRY_COMPARE_WITH_TIMEOUT(panel(3), QStringLiteral("Queue: Idle"), kNetWait);
    }

    void failuresAreToldTheItemStaysFailedAndTheQueueStops_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("message");
        QTest::newRow("a save file that cannot be created")
            << "save"
            << QStringLiteral("The save file is invalid. The folder \"<local>/no/such\" does not "
                              "exist.");
        QTest::newRow("a file gone from the server")
            << "gone"
            << QStringLiteral("The requested file cannot be found. The server replied: 550 No "
                              "such file or directory.");
        QTest::newRow("an upload the server refuses")
            << "upload"
            << QStringLiteral("Access denied. The server replied: 550 Not enough privileges.");
        QTest::newRow("a download broken part way")
            << "broken" << QStringLiteral("The transfer did not complete. The connection was lost.");
    }

    void failuresAreToldTheItemStaysFailedAndTheQueueStops()
    {
        QFETCH(QString, failure);
        QFETCH(QString, message);
        message.replace(QLatin1String("<local>"), local->path());
        // The file the download would replace, and the upload's source.
        const QString target = localPath(QStringLiteral("tenk.bin"));
        QVERIFY(writeFileBytes(target, "the good old file"));
        if (failure == "broken") {
            startBigDownload(target);
            server.stop();
        } else if (failure == "upload") {
            openSite(QStringLiteral("Public"), 5);
            prompts->answerOpen({ target });
            QTest::mouseClick(
                form->controls().PanelExplorerTools->button(ToolBarPanel::Send), Qt::LeftButton);
        } else {
            openSite(QStringLiteral("Public"), 5);
            QVERIFY(selectRows({ QStringLiteral("tenk.bin") }));
            if (failure == "gone")
                QVERIFY(QFile::remove(server.anonRoot() + QStringLiteral("/tenk.bin")));
            if (failure == "save") {
                prompts->answerSave(local->path() + QStringLiteral("/no/such/x.bin"));
            } else {
                prompts->answerSave(target);
                prompts->answer(QMessageBox::Ok); // overwrite it
            }
            form->MenuDownloadClick();
        }
        QTRY_VERIFY2_WITH_TIMEOUT(prompts->messageTexts().contains(message + kStopped),
            qPrintable(prompts->messageTexts().join('|')), kNetWait);
        QTRY_VERIFY_WITH_TIMEOUT(queue().statusOfRow(0) == "Failed" && idle(), kNetWait);
        QCOMPARE(queue().count(), 1);
        QCOMPARE(form->controls().ListView3->shownModel()->index(0, 0).data(Qt::ToolTipRole),
            QVariant(message));
        QCOMPARE(panel(3), QStringLiteral("Queue: Stopped"));
        QVERIFY(queue().isStopped());
        // Nothing the user had is lost; only what arrived of a broken
        // download stays beside it, for the item's next run.
        QCOMPARE(fileContents(target), QByteArray("the good old file"));
        const QStringList partial = failure == "broken"
            ? QStringList { ".tenk.bin.vrexpart", ".tenk.bin.vrexpart.origin" }
            : QStringList();
        QCOMPARE(QDir(local->path()).entryList(QDir::Files | QDir::Hidden),
            partial + QStringList { "tenk.bin" });
        QTRY_VERIFY(!form->controls().PanelTransfer->isVisible());
    }

    void stopDuringADownloadAsksAboutTheItem_data()
    {
        QTest::addColumn<bool>("remove");
        QTest::newRow("removed") << true;
        QTest::newRow("kept, then fetched again after a restart") << false;
    }

    void stopDuringADownloadAsksAboutTheItem()
    {
        QFETCH(bool, remove);
        startBigDownload(localPath(QStringLiteral("big.bin")));
        prompts->answer(remove ? QMessageBox::Yes : QMessageBox::No);
        QTest::mouseClick(
            form->controls().PanelExplorerTools->button(ToolBarPanel::Stop), Qt::LeftButton);
        QCOMPARE(prompts->messageTexts(),
            QStringList { "The queue has been stopped.  "
                          "Do you want to remove the current file from the queue?" });
        QCOMPARE(panel(3), QStringLiteral("Queue: Stopped"));
        QVERIFY(idle());
        QTRY_VERIFY_WITH_TIMEOUT(form->ftp().NoWorkerAlive(), kNetWait);
        QCOMPARE(queue().count(), remove ? 0 : 1);
        // A kept item keeps what arrived; a removed one leaves nothing.
        QCOMPARE(noPartialFileIn(local->path()), remove);
        if (remove)
            return;
        QCOMPARE(queue().statusOfRow(0), QStringLiteral("Waiting"));
        QCOMPARE(column(form->controls().ListView3, 7), QStringList { "\u25CF\u25CF\u25CF\u25CF\u25CF\u25CF\u25CF\u25CF" });
        // Restarted, the item runs again; a smaller file now, so it ends soon.
        makeSparseFile(server.userRoot() + QStringLiteral("/big.bin"), 3'000'000);
        bool asked = false;
        QTimer::singleShot(0, form.get(), [this, &asked] {
            auto *dialog = form->findChild<TFormStartQueue *>();
            asked = dialog && dialog->isVisible();
            if (asked)
                dialog->accept();
        });
        form->SpeedQueueClick();
        QVERIFY(asked);
        waitForQueueToEmpty();
        QCOMPARE(QFileInfo(localPath(QStringLiteral("big.bin"))).size(), 3'000'000);
        QCOMPARE(prompts->messageTexts().size(), 1);
    }

    void uploadsByDialogAndByDropLandAndTheFolderIsListedAgain()
    {
        openSite(QStringLiteral("Private"), 5);
        QVERIFY(writeFileBytes(localPath(QStringLiteral("Data.TXT")), "data"));
        QVERIFY(writeFileBytes(localPath(QStringLiteral("README.TXT")), "mine"));
        QVERIFY(writeFileBytes(localPath(QStringLiteral("two.bin")), QByteArray(123456, 't')));
        QDir(local->path()).mkdir(QStringLiteral("folder"));
        // Names keep their case: the server's own readme.txt is another file.
        prompts->answerOpen(
            { localPath(QStringLiteral("Data.TXT")), localPath(QStringLiteral("README.TXT")) });
        QTest::mouseClick(
            form->controls().PanelExplorerTools->button(ToolBarPanel::Send), Qt::LeftButton);
        QCOMPARE(prompts->asked[0].title, QStringLiteral("Current Directory: /"));
        QCOMPARE(prompts->asked.size(), 1);
        waitForQueueToEmpty();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0).contains("Data.TXT"), kNetWait);
        QCOMPARE(fileContents(server.userRoot() + QStringLiteral("/Data.TXT")), QByteArray("data"));
        QCOMPARE(fileContents(server.userRoot() + QStringLiteral("/README.TXT")), QByteArray("mine"));
        QCOMPARE(fileContents(server.userRoot() + QStringLiteral("/readme.txt")),
            fileContents(server.anonRoot() + QStringLiteral("/readme.txt")));

        // Two files and a folder dropped from a file manager; the listed
        // Data.TXT is asked about and skipped.
        QVERIFY(writeFileBytes(localPath(QStringLiteral("Data.TXT")), "newer data"));
        QMimeData mime;
        mime.setUrls({ QUrl::fromLocalFile(localPath(QStringLiteral("two.bin"))),
            QUrl::fromLocalFile(localPath(QStringLiteral("folder"))),
            QUrl::fromLocalFile(localPath(QStringLiteral("Data.TXT"))) });
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(files(), &enter);
        QVERIFY(enter.isAccepted());
        prompts->clear();
        prompts->answer(QMessageBox::No); // the folder is not sent whole
        prompts->answerChoice(2); // "Skip"
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(files(), &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(prompts->choices().size(), 1);
        QCOMPARE(prompts->choices()[0].text,
            "File: \"/Data.TXT\" already exists.\r\rIs it okay to overwrite this file?");
        QCOMPARE(prompts->messageTexts(),
            (QStringList { "Upload the dropped folders with everything in them?",
                "Directory selections were ignored.  Please select only individual files." }));
        waitForQueueToEmpty();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0).contains("two.bin"), kNetWait);
        QCOMPARE(
            fileContents(server.userRoot() + QStringLiteral("/two.bin")), QByteArray(123456, 't'));
        QCOMPARE(fileContents(server.userRoot() + QStringLiteral("/Data.TXT")), QByteArray("data"));

        // "Yes to all" asks once and replaces both.
        QVERIFY(writeFileBytes(localPath(QStringLiteral("two.bin")), "two, shorter"));
        prompts->clear();
        prompts->answerOpen(
            { localPath(QStringLiteral("Data.TXT")), localPath(QStringLiteral("two.bin")) });
        prompts->answerChoice(1);
        form->files().UploadFiletoSite1Click();
        QCOMPARE(prompts->choices().size(), 1);
        waitForQueueToEmpty();
        QCOMPARE(fileContents(server.userRoot() + QStringLiteral("/Data.TXT")),
            QByteArray("newer data"));
        QCOMPARE(fileContents(server.userRoot() + QStringLiteral("/two.bin")),
            QByteArray("two, shorter"));
        QCOMPARE(prompts->messageTexts(), QStringList());

        // A folder whose listing showed nothing: the server is asked as the
        // upload runs, and Cancel leaves its file alone.
        QTreeWidgetItem *empty = child(child(form->root(), QStringLiteral("Private")), "empty");
        QVERIFY(empty);
        form->controls().TreeView1->setCurrentItem(empty);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->tree().current() == empty, kNetWait);
        QVERIFY(writeFileBytes(server.userRoot() + QStringLiteral("/empty/Data.TXT"), "theirs"));
        prompts->clear();
        prompts->answerOpen({ localPath(QStringLiteral("Data.TXT")) });
        prompts->answer(QMessageBox::Cancel);
        form->files().UploadFiletoSite1Click();
        QCOMPARE(prompts->asked.size(), 1);
        waitForQueueToEmpty();
        QCOMPARE(prompts->messageTexts(),
            QStringList { "File: \"/empty/Data.TXT\" already exists.\r\rIs it okay to overwrite "
                          "this file?" });
        QCOMPARE(fileContents(server.userRoot() + QStringLiteral("/empty/Data.TXT")),
            QByteArray("theirs"));
    }

    void openedFilesGoToThePrivateFolderAndToTheDesktopsProgram()
    {
        openSite(QStringLiteral("Public"), 5);
        QVERIFY(selectRows({ QStringLiteral("readme.txt") }));
        QTest::mouseClick(
            form->controls().PanelExplorerTools->button(ToolBarPanel::Open), Qt::LeftButton);
        waitForQueueToEmpty();
        const QString expected = TempFolder::path() + QStringLiteral("readme.txt");
        QTRY_COMPARE(opened, QStringList { expected });
        QCOMPARE(fileContents(expected),
            fileContents(server.anonRoot() + QStringLiteral("/readme.txt")));
        QCOMPARE(QFile(TempFolder::path()).permissions() & 0x0077, QFileDevice::Permissions());
        QVERIFY(prompts->asked.isEmpty());

        // No program for the type: the user learns where the file is.
        UrlOpener::install([](const QUrl &) { return false; });
        const auto restore = qScopeGuard([this] { initTestCase(); });
        QVERIFY(selectRows({ QStringLiteral("tenk.bin") }));
        form->MenuOpenClick();
        QTRY_COMPARE_WITH_TIMEOUT(prompts->messageTexts(),
            QStringList { "No program is set to open \"tenk.bin\". The file was saved as \""
                + TempFolder::path() + "tenk.bin\"." },
            kNetWait);
        QCOMPARE(prompts->asked[0].icon, Prompts::Icon::Information);
    }

    void closingWhileATransferRunsAsksOnceWithNoAsDefaultThenEndsEveryWorker()
    {
        startBigDownload(localPath(QStringLiteral("big.bin")));
        QVERIFY(selectRows({ QStringLiteral("tenk.bin") }));
        prompts->answerSave(localPath(QStringLiteral("tenk.bin")));
        form->MenuDownloadClick();
        // The speed shows beside the time left.
        const QRegularExpression withSpeed(QStringLiteral("^Remaining: .+ at [0-9.]+ [KM]B/s$"));
        QTRY_VERIFY_WITH_TIMEOUT(
            withSpeed.match(form->progress().LabelTime->text()).hasMatch(), kNetWait);
        QVERIFY(!form->close()); // the default answer keeps the window
        QCOMPARE(prompts->choices().size(), 1);
        const ScriptedPrompts::Question asked = prompts->choices().first();
        QCOMPARE(asked.text,
            QStringLiteral("A file transfer is in progress: \"big.bin\", and 1 file is waiting in "
                           "the queue.  Are you sure you want to exit?"));
        QCOMPARE(asked.choices, QStringList({ "&Yes", "&No" }));
        QCOMPARE(asked.defaultChoice, 1);
        QVERIFY(form->lanes().anyRunning());

        prompts->answerChoice(0); // exit anyway: no Stop question, nothing more starts
        QVERIFY(form->close());
        QCOMPARE(prompts->choices().size(), 2);
        QCOMPARE(prompts->messageTexts(), QStringList());
        QVERIFY(form->ftp().NoWorkerAlive());
        // What arrived stays for the next run of the saved queue.
        QCOMPARE(QDir(local->path()).entryList(QDir::Files | QDir::Hidden),
            QStringList({ ".big.bin.vrexpart", ".big.bin.vrexpart.origin" }));
        form.reset();
        QTRY_VERIFY_WITH_TIMEOUT(
            server.log().contains(QStringLiteral("-[vrex] FTP session closed")), kNetWait);
        QVERIFY(!server.log().contains(QStringLiteral("tenk.bin")));
    }

    void itemsHeldByAFailedConnectRunAndAFailedItemStaysToBeRetried()
    {
        // Added while the browse connection waits on a silent site: the queue
        // runs on a connection of its own.
        form->FormClose();
        form.reset();
        openWindowWithSites(silent.host(), QStringLiteral("Silent"));
        form->controls().TreeView1->setCurrentItem(child(form->root(), QStringLiteral("Silent")));
        add(QStringLiteral("readme.txt"));
        queue().afterAdding();
        QCOMPARE(queue().statusOfRow(0), QStringLiteral("In Progress"));
        QTRY_VERIFY_WITH_TIMEOUT(queue().count() == 0 && !form->listing().isBusy(), kNetWait);
        QCOMPARE(fileContents(localPath(QStringLiteral("readme.txt"))),
            fileContents(server.userRoot() + QStringLiteral("/readme.txt")));

        // A missing file fails its row, which stays with the reason; the
        // queue stops, the next item waits.
        add(QStringLiteral("later.txt"));
        add(QStringLiteral("tenk.bin"));
        queue().afterAdding();
        QTRY_COMPARE_WITH_TIMEOUT(queue().statusOfRow(0), QStringLiteral("Failed"), kNetWait);
        QCOMPARE(toolTipOf(0),
            QStringLiteral("The requested file cannot be found. The server replied: 550 No such "
                           "file or directory."));
        QCOMPARE(queue().statusOfRow(1), QStringLiteral("Waiting"));
        QCOMPARE(panel(3), QStringLiteral("Queue: Stopped"));

        // Once the file is there, Retry fetches it and what waited.
        QVERIFY(writeFileBytes(server.userRoot() + QStringLiteral("/later.txt"), "written later"));
        QVERIFY(selectRowsNamed(rows(), { QStringLiteral("/later.txt") }));
        QMenu *menu = form->controls().PopupMenu4;
        QAction *retry = menu->findChild<QAction *>(QStringLiteral("RetryQueueItem1"));
        emit menu->aboutToShow();
        QVERIFY(retry->isEnabled());
        whenStartDialogShowsAccept();
        retry->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(queue().count() == 0 && !form->listing().isBusy(), kNetWait);
        QCOMPARE(fileContents(localPath(QStringLiteral("later.txt"))), QByteArray("written later"));
        QCOMPARE(fileContents(localPath(QStringLiteral("tenk.bin"))),
            fileContents(server.userRoot() + QStringLiteral("/tenk.bin")));
        const QRegularExpression fetched(QStringLiteral("RETR [^\\n]*/later.txt completed=1"));
        QTRY_COMPARE_WITH_TIMEOUT(server.log().count(fetched), 1, kNetWait);
        QTRY_COMPARE_WITH_TIMEOUT(panel(3), QStringLiteral("Queue: Idle"), kNetWait);
    }
    void aFailedConnectFailsItsRowAndStopAsksAboutTheRowItStopped()
    {
        // Files dropped on the list of sites have nowhere to go.
        form->controls().TreeView1->setCurrentItem(form->root());
        QMimeData mime;
        mime.setUrls({ QUrl::fromLocalFile(local->path()) });
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(form->controls().ListView1, &enter);
        QVERIFY(!enter.isAccepted());

        add(QStringLiteral("nowhere.bin"), refused.host());
        queue().afterAdding();
        QTRY_COMPARE_WITH_TIMEOUT(queue().statusOfRow(0), QStringLiteral("Failed"), kNetWait);
        QCOMPARE(toolTipOf(0), kCannotConnect);
        QCOMPARE(prompts->messageTexts(), QStringList { kCannotConnect });

        // Stopped while its connect waits on a silent site: the question is
        // about that row, and the cancelled connect says nothing.
        add(QStringLiteral("silent.bin"), silent.host());
        whenStartDialogShowsAccept();
        queue().afterAdding();
        QCOMPARE(queue().statusOfRow(1), QStringLiteral("In Progress"));
        prompts->answer(QMessageBox::No);
        QTest::mouseClick(
            form->controls().PanelExplorerTools->button(ToolBarPanel::Stop), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(form->ftp().NoWorkerAlive(), kNetWait);
        QCOMPARE(prompts->messageTexts(),
            QStringList({ kCannotConnect,
                "The queue has been stopped.  "
                "Do you want to remove the current file from the queue?" }));
        QCOMPARE(column(rows(), 1), QStringList({ "Failed", "Waiting" }));
    }
};

VREX_WINDOW_TEST_MAIN(TestTransferWindow)
#include "tst_transferwindow.moc"
