// The watch list through the main window against a real FTP server: files
// are added from the file list, kept across a restart, removed, and fetched
// again through the queue.

#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"
#include "WindowTestKit.h"

#include "app/MainLayout.h"
#include "app/TForm1.h"
#include "explorer/ListingView.h"
#include "explorer/RowTexts.h"
#include "explorer/SiteTree.h"
#include "explorer/SiteTreeCommands.h"
#include "ftp/FileTime.h"
#include "ftp/WinInet.h"
#include "platform/TempFolder.h"
#include "platform/UrlOpener.h"
#include "storage/SiteBook.h"
#include "storage/SiteOptionsFile.h"
#include "storage/TRegFile.h"
#include "storage/WatchFile.h"
#include "transfers/TFormNewer.h"
#include "transfers/TFormStartQueue.h"
#include "transfers/TransferQueue.h"
#include "transfers/WatchList.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>
#include <utime.h>

namespace {

constexpr int kNetWait = 20000;
const QString kAdded = QStringLiteral("File(s) have been added to the watch list.");

const QString kRemoveQuestion
    = QStringLiteral("Are you sure you want to remove the selected items?");

} // namespace

class TestWatchWindow : public QObject {
    Q_OBJECT

    PrivateFtpServer server;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<QTemporaryDir> local;
    QStringList opened;

    TListView *files() { return form->controls().ListView1; }
    TListView *watches() { return form->controls().ListView2; }
    QString panel(int i) { return form->controls().StatusBar1->panelText(i); }
    bool idle() { return !form->listing().isBusy(); }
    QString localPath(const QString &name) { return local->filePath(name); }
    QString otherHost() { return QStringLiteral("localhost:%1").arg(server.port()); }

    void openWindow()
    {
        form = openMainWindow();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->tree().current(), kNetWait);
    }

    void restartWindow()
    {
        form->FormClose();
        form.reset();
        openWindow();
    }

    void openSite(const QString &description, int rows)
    {
        form->controls().TabSet1->setCurrentIndex(0);
        QTreeWidgetItem *site = child(form->root(), description);
        QVERIFY(site);
        form->controls().TreeView1->setCurrentItem(site);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->tree().current() == site, kNetWait);
        form->treeCommands().Refresh1Click();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == rows, kNetWait);
    }

    [[nodiscard]] static bool selectRows(TListView *list, const QStringList &names)
    {
        return selectRowsNamed(list, names);
    }

    void addFromSite(const QString &description, const QStringList &names)
    {
        openSite(description, 5);
        QVERIFY(selectRows(files(), names));
        prompts->clear();
        form->MenuAddClick();
        QCOMPARE(prompts->messageTexts(), QStringList { kAdded });
        QCOMPARE(prompts->asked[0].icon, Prompts::Icon::Information);
        form->controls().TabSet1->setCurrentIndex(1);
    }

    void waitForQueueToEmpty()
    {
        QTRY_VERIFY_WITH_TIMEOUT(form->queue().count() == 0 && idle(), kNetWait);
    }

private slots:
    void initTestCase()
    {
        useShortNetworkTimeouts();
        UrlOpener::install([this](const QUrl &url) {
            opened << url.toLocalFile();
            return true;
        });
    }

    void init()
    {
        QVERIFY(server.start());
        startWindowTest(prompts);
        QFile::remove(WatchFile().filePath());
        QDir().rmdir(WatchFile().filePath());
        QFile::remove(WatchFile().filePath() + QStringLiteral(".rejected"));
        local = std::make_unique<QTemporaryDir>();
        opened.clear();
        SiteBook book;
        book.InsertSite({ otherHost(), QStringLiteral("Other"), {}, {}, QStringLiteral("/") });
        book.InsertSite({ server.host(), QStringLiteral("Public"), {}, {}, QStringLiteral("/") });
        book.SaveSiteBook();
        openWindow();
    }

    void cleanup()
    {
        endWindowTest(form, prompts);
        server.stop();
    }

    void addedFilesAreKeptPerSiteAcrossARestartUntilRemoved()
    {
        addFromSite(QStringLiteral("Public"), { "readme.txt", "tenk.bin" });
        QCOMPARE(column(watches(), 0), (QStringList { "/readme.txt", "/tenk.bin" }));
        QCOMPARE(column(watches(), 1), (QStringList { "Up to Date", "Up to Date" }));
        QCOMPARE(column(watches(), 2), (QStringList { "27", RowTexts::formatSize(10000) }));
        QCOMPARE(column(watches(), 5), (QStringList { server.host(), server.host() }));
        QCOMPARE(panel(1), QStringLiteral("Objects: 2"));
        QCOMPARE(panel(2), QStringLiteral("Size: ") + RowTexts::formatSize(10027));
        // The current folder's path is the site explorer's, untouched by adding.
        QCOMPARE(form->tree().currentPath(), QStringLiteral("/"));

        // The same file again refreshes its row; from another host it is another file.
        addFromSite(QStringLiteral("Public"), { "readme.txt" });
        QCOMPARE(watches()->rowCount(), 2);
        addFromSite(QStringLiteral("Other"), { "readme.txt" });
        QCOMPARE(column(watches(), 0), (QStringList { "/readme.txt", "/readme.txt", "/tenk.bin" }));
        const QStringList hosts = column(watches(), 5);
        QCOMPARE(QSet<QString>(hosts.begin(), hosts.end()),
            (QSet<QString> { server.host(), otherHost() }));

        prompts->clear();
        restartWindow();
        QCOMPARE(column(watches(), 1), (QStringList { "?", "?", "?" }));
        form->controls().TabSet1->setCurrentIndex(1);
        QCOMPARE(panel(2), QStringLiteral("Size: ") + RowTexts::formatSize(10054));
        QCOMPARE(prompts->messageTexts(), QStringList());

        QVERIFY(selectRows(watches(), { "/tenk.bin" }));
        prompts->answer(QMessageBox::No);
        form->MenuDeleteClick();
        QCOMPARE(prompts->messageTexts(), QStringList { kRemoveQuestion });
        QCOMPARE(watches()->rowCount(), 3);
        prompts->answer(QMessageBox::Yes);
        form->MenuAddClick(); // "Remove from Watch List" on this page
        QCOMPARE(column(watches(), 0), (QStringList { "/readme.txt", "/readme.txt" }));
        QCOMPARE(panel(2), QStringLiteral("Size: 54"));
        QCOMPARE(WatchFile().load().records.size(), size_t(2));

        // A list that cannot be written says so, and never that all went well.
        QFile::remove(WatchFile().filePath());
        QVERIFY(QDir().mkdir(WatchFile().filePath()));
        openSite(QStringLiteral("Public"), 5);
        QVERIFY(selectRows(files(), { "zero.bin" }));
        prompts->clear();
        form->MenuAddClick();
        QCOMPARE(prompts->messageTexts(),
            QStringList { QStringLiteral("Cannot create file ") + WatchFile().filePath() });
    }

    void aWatchFileOfAnotherKindIsToldAndKept()
    {
        form->FormClose();
        form.reset();
        QFile foreign(WatchFile().filePath());
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        foreign.write("not a watch file at all");
        foreign.close();
        prompts->clear();
        openWindow();
        QCOMPARE(prompts->messageTexts(), QStringList { WatchFile::kInvalidMessage });
        QCOMPARE(watches()->rowCount(), 0);
        addFromSite(QStringLiteral("Public"), { "readme.txt" });
        QCOMPARE(fileContents(WatchFile().filePath() + QStringLiteral(".rejected")),
            QByteArray("not a watch file at all"));
        QCOMPARE(WatchFile().load().records.size(), size_t(1));
    }

    void watchDownloadsLandByteExactAndOpenedFilesGoToTheDesktop()
    {
        addFromSite(QStringLiteral("Public"), { "tenk.bin", "readme.txt", "pub" });
        QCOMPARE(column(watches(), 0), (QStringList { "/pub", "/readme.txt", "/tenk.bin" }));
        // By size: the folder first, then reversed, folder last; the selection stays.
        QVERIFY(selectRows(watches(), { "/readme.txt" }));
        form->watches().ListView2ColumnClick(WatchList::Size);
        QCOMPARE(column(watches(), 0), (QStringList { "/pub", "/readme.txt", "/tenk.bin" }));
        form->watches().ListView2ColumnClick(WatchList::Size);
        QCOMPARE(column(watches(), 0), (QStringList { "/tenk.bin", "/readme.txt", "/pub" }));
        QCOMPARE(watches()->selectionModel()->selectedRows().value(0).row(), 1);
        form->watches().ListView2ColumnClick(WatchList::Name);
        QCOMPARE(column(watches(), 0), (QStringList { "/pub", "/readme.txt", "/tenk.bin" }));

        // The folder is passed over; cancelling the second save dialog queues
        // only the first file.
        QVERIFY(selectRows(watches(), { "/pub", "/readme.txt", "/tenk.bin" }));
        prompts->answerSave(localPath(QStringLiteral("first.txt")));
        form->MenuDownloadClick();
        waitForQueueToEmpty();
        QCOMPARE(QDir(local->path()).entryList(QDir::Files), QStringList { "first.txt" });
        QCOMPARE(
            fileContents(localPath("first.txt")), fileContents(server.anonRoot() + "/readme.txt"));

        prompts->answerSave(localPath(QStringLiteral("readme.txt")));
        prompts->answerSave(localPath(QStringLiteral("tenk.bin")));
        // The watch list's own download, whichever page the queue run left shown.
        form->controls().TabSet1->setCurrentIndex(1);
        form->MenuDownloadClick();
        QCOMPARE(prompts->asked.last().title, QStringLiteral("Save /tenk.bin As"));
        waitForQueueToEmpty();
        for (const QString name : { "readme.txt", "tenk.bin" })
            QCOMPARE(fileContents(localPath(name)), fileContents(server.anonRoot() + '/' + name));

        QVERIFY(selectRows(watches(), { "/readme.txt" }));
        form->MenuOpenClick();
        const QString expected = TempFolder::path() + QStringLiteral("readme.txt");
        QTRY_COMPARE_WITH_TIMEOUT(opened, QStringList { expected }, kNetWait);
        QCOMPARE(fileContents(expected), fileContents(server.anonRoot() + "/readme.txt"));
    }

    void downloadIfNewerQueuesIntoTheChosenFolder()
    {
        addFromSite(QStringLiteral("Public"), { "readme.txt", "tenk.bin" });
        form->SpeedQueueClick(); // stopped: the items stay to be looked at
        QVERIFY(selectRows(watches(), { "/readme.txt", "/tenk.bin" }));
        prompts->answerFolder(local->path());
        // Nothing chosen before: the desktop's Downloads folder.
        QTemporaryDir downloads;
        QVERIFY(writeFileBytes(qEnvironmentVariable("XDG_CONFIG_HOME") + "/user-dirs.dirs",
            "XDG_DOWNLOAD_DIR=\"" + downloads.path().toUtf8() + "\"\n"));
        QTimer::singleShot(0, form.get(), [this, &downloads] {
            auto *dialog = form->findChild<TFormNewer *>();
            QVERIFY(dialog && dialog->isVisible());
            QCOMPARE(dialog->EditDir->text(), downloads.path());
            // Files land there unattended: a folder others can write is refused.
            dialog->EditDir->setText(QStringLiteral("/tmp"));
            dialog->ButtonOK->click();
            QCOMPARE(prompts->messageTexts().last(),
                QStringLiteral("Other users can write to the folder \"/tmp\". Please choose a "
                               "folder of your own."));
            QVERIFY(dialog->isVisible());
            dialog->RadioSeparate->click();
            QVERIFY(!dialog->ButtonBrowse->isEnabled());
            dialog->RadioNewer->click();
            dialog->ButtonBrowse->click();
            QTimer::singleShot(0, form.get(), [this] {
                auto *start = form->findChild<TFormStartQueue *>();
                QVERIFY(start && start->isVisible());
                start->RadioNever->click();
                start->ButtonOK->click();
            });
            dialog->ButtonOK->click();
        });
        form->watches().DownloadifChanged1Click();
        QCOMPARE(form->queue().count(), 2);
        QCOMPARE(form->queue().itemAt(1).actions, QStringLiteral("Download, Newer"));
        QCOMPARE(form->queue().itemAt(1).saveFile, localPath(QStringLiteral("tenk.bin")));
        TaggedValue newerDir;
        form->settings().ReadValue(QStringLiteral("NewerDir"), newerDir);
        QCOMPARE(newerDir.toString(), local->path());

        // The watch list's part of the newer check: statuses and the record.
        WatchList &list = form->watches();
        QCOMPARE(list.setStatus("/tenk.bin", server.host(), "Downloaded"), QString("Up to Date"));
        QCOMPARE(list.setStatus("/tenk.bin", "elsewhere", "Downloaded"), QString());
        TWin32FindData bigger = list.recordAt(1).entry;
        setFileSize(bigger, 20000);
        list.refreshItem("/tenk.bin", server.host(), bigger);
        QCOMPARE(column(watches(), 1), (QStringList { "Up to Date", "Downloaded" }));
        QCOMPARE(panel(2), QStringLiteral("Size: ") + RowTexts::formatSize(20027));
        QCOMPARE(fileSize(WatchFile().load().records[1].entry), uint64_t(20000));
    }

    void downloadIfNewerFetchesOnlyChangedFilesAndTellsEachOnesStatus()
    {
        const QString root = server.anonRoot() + QLatin1Char('/');
        QVERIFY(writeFileBytes(root + QStringLiteral("a [1] b.txt"), "old"));
        QVERIFY(writeFileBytes(root + QStringLiteral("gone.txt"), "soon gone"));
        openSite(QStringLiteral("Public"), 7);
        QVERIFY(selectRows(files(), { "a [1] b.txt", "gone.txt", "readme.txt", "tenk.bin" }));
        form->MenuAddClick();
        // On the site: two files change, one goes away, one stays as it was.
        const QDateTime later = QDateTime::currentDateTimeUtc().addSecs(120);
        QVERIFY(writeFileBytes(root + QStringLiteral("a [1] b.txt"), "new bytes"));
        QVERIFY(writeFileBytes(root + QStringLiteral("tenk.bin"), QByteArray(2000, 'n')));
        for (const char *name : { "a [1] b.txt", "tenk.bin" })
            QVERIFY(setModified(root + QLatin1String(name), later));
        QVERIFY(QFile::remove(root + QStringLiteral("gone.txt")));

        form->controls().TabSet1->setCurrentIndex(1);
        QVERIFY(selectRows(watches(), { "/a [1] b.txt", "/gone.txt", "/readme.txt", "/tenk.bin" }));
        prompts->answerFolder(local->path());
        QTimer::singleShot(0, form.get(), [this] {
            auto *dialog = form->findChild<TFormNewer *>();
            QVERIFY(dialog && dialog->isVisible());
            dialog->ButtonBrowse->click();
            dialog->ButtonOK->click();
        });
        form->controls().TabSet1->setCurrentIndex(0);
        form->watches().DownloadifChanged1Click();
        waitForQueueToEmpty();
        QTRY_COMPARE(form->controls().TabSet1->currentIndex(), 1);
        QCOMPARE(column(watches(), 0),
            (QStringList { "/a [1] b.txt", "/gone.txt", "/readme.txt", "/tenk.bin" }));
        QCOMPARE(column(watches(), 1),
            (QStringList { "Downloaded", "Not Found", "Up to Date", "Downloaded" }));
        QCOMPARE(QDir(local->path()).entryList(QDir::Files),
            (QStringList { "a [1] b.txt", "tenk.bin" }));
        QCOMPARE(fileContents(localPath("tenk.bin")), QByteArray(2000, 'n'));
        QCOMPARE(fileContents(localPath("a [1] b.txt")), QByteArray("new bytes"));
        QCOMPARE(prompts->messageTexts(), QStringList { kAdded });
        // The watch file knows the new copy: the next check finds it up to date.
        QCOMPARE(fileSize(WatchFile().load().records[3].entry), uint64_t(2000));
    }

    void newerCheckListingEachFolderOnceDecidesAsLookingEachFileUp_data()
    {
        QTest::addColumn<bool>("listOnly");
        QTest::addColumn<QString>("otherTenk"); // Other's LIST times are two hours east
        // Listings with a data connection and MLST lookups, file by file and
        // then with each site's folder listed once; files fetched.
        QTest::addColumn<QList<int>>("commands");
        QTest::newRow("MLSD, UTC") << false << "Downloaded" << QList<int> { 0, 7, 2, 1, 3 };
        QTest::newRow("LIST, UTC+2") << true << "Up to Date" << QList<int> { 7, 0, 4, 0, 2 };
    }

    void newerCheckListingEachFolderOnceDecidesAsLookingEachFileUp()
    {
        QFETCH(bool, listOnly);
        QFETCH(QString, otherTenk);
        QFETCH(QList<int>, commands);
        form->FormClose();
        form.reset();
        server.stop();
        server.setListOnly(listOnly);
        server.setCommandLog(true);
        QVERIFY2(server.start(), "server did not start");
        SiteBook book;
        book.InsertSite({ otherHost(), QStringLiteral("Other"), {}, {}, QStringLiteral("/") });
        book.InsertSite({ server.host(), QStringLiteral("Public"), {}, {}, QStringLiteral("/") });
        book.SaveSiteBook();
        SiteOptionsFile options;
        options.set(QStringLiteral("Other"), { SiteSecurity::Plain, 120 });
        options.save();
        // Watched two days ago, to the minute; since then two files changed,
        // one went, and a new link leads to an unchanged file.
        const QString root = server.anonRoot() + QLatin1Char('/');
        const qint64 watched = (QDateTime::currentSecsSinceEpoch() - 2 * 86400) / 60 * 60;
        QVERIFY(writeFileBytes(root + "a [1] b.txt", "new bytes"));
        QVERIFY(writeFileBytes(root + "tenk.bin", "new tenk"));
        QVERIFY(QFile::link("readme.txt", root + "link.txt"));
        for (const auto &[name, later] :
            { std::pair("a [1] b.txt", 86400), { "tenk.bin", 1800 }, { "readme.txt", 0 } })
            QVERIFY(setModified(root + name, QDateTime::fromSecsSinceEpoch(watched + later)));
        std::vector<WatchRecord> records;
        for (const QString at : { "P/a [1] b.txt", "P/gone.txt", "P/link.txt", "P/readme.txt",
                 "O/readme.txt", "P/tenk.bin", "O/tenk.bin" }) {
            records.push_back(
                { at.mid(1), at[0] == 'P' ? server.host() : otherHost(), {}, {}, {} });
            qstrcpy(records.back().entry.cFileName, qPrintable(at.mid(2)));
            records.back().entry.ftLastWriteTime = FileTime::fromUnixSeconds(watched);
        }
        WatchFile().save(records);
        openWindow();
        form->controls().TabSet1->setCurrentIndex(1);
        for (int way = 0; way < 2; ++way) {
            server.takeCommands();
            // File by file, then all at once, into the local folder.
            for (int run = 0; run < (way == 0 ? 7 : 1); ++run) {
                watches()->selectionModel()->clearSelection();
                for (int row = 0; row < 7; ++row)
                    if (way == 1 || row == run)
                        watches()->selectionModel()->select(watches()->shownModel()->index(row, 0),
                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
                prompts->answerFolder(local->path());
                QTimer::singleShot(0, form.get(), [this] {
                    form->findChild<TFormNewer *>()->ButtonBrowse->click();
                    form->findChild<TFormNewer *>()->ButtonOK->click();
                });
                form->watches().DownloadifChanged1Click();
                waitForQueueToEmpty();
            }
            QCOMPARE(column(watches(), 1),
                (QStringList { "Downloaded", "Not Found", "Up to Date", "Up to Date", "Up to Date",
                    "Downloaded", otherTenk }));
            QCOMPARE(QDir(local->path()).entryList(QDir::Files),
                (QStringList { "a [1] b.txt", "tenk.bin" }));
            QCOMPARE(fileContents(localPath("tenk.bin")), QByteArray("new tenk"));
            const QStringList log = server.takeCommands();
            QCOMPARE((QList<int> { int(log.filter(QRegularExpression("^(MLSD|LIST)")).size()),
                         int(log.filter(QRegularExpression("^MLST")).size()),
                         int(log.filter(QRegularExpression("^RETR")).size()) }),
                commands.mid(way * 2, 2) << commands[4]);
            // The same start again: the watch file as it was, nothing fetched.
            WatchFile().save(records);
            form->watches().load();
            QVERIFY(QDir(local->path()).removeRecursively() && QDir().mkpath(local->path()));
        }
    }
};

VREX_WINDOW_TEST_MAIN(TestWatchWindow)
#include "tst_watchwindow.moc"
