// The queue through the real window when things go wrong: a connect that
// fails or is stopped, a file that is missing, a Stop, and closing the window
// while a transfer runs. Checked on disk, in the server's log and on the rows.

#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"
#include "WindowTestKit.h"

#include "app/MainLayout.h"
#include "app/ToolBarPanel.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"
#include "transfers/QueueItem.h"
#include "transfers/TFormStartQueue.h"
#include "transfers/TransferProgress.h"
#include "transfers/TransferQueue.h"
#include "widgets/StatusPanels.h"

#include <QDragEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QTabBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

constexpr int kNetWait = 20000;
const QString kCannotConnect
    = QStringLiteral("Could not connect to a site to establish file transfer.");

} // namespace

class TestQueueRecovery : public QObject {
    Q_OBJECT

    PrivateFtpServer server;
    SilentListener silent; // accepts and never speaks
    SilentListener refused; // closed: nobody listens
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<QTemporaryDir> local;

    TransferQueue &queue() { return form->queue(); }
    TListView *rows() { return form->controls().ListView3; }
    QString panel(int i) { return form->controls().StatusBar1->panelText(i); }
    QString localPath(const QString &name) { return local->filePath(name); }
    QString toolTipOf(int row)
    {
        return rows()->shownModel()->index(row, 1).data(Qt::ToolTipRole).toString();
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
        setFileSize(item.entry,
            uint64_t(std::max<qint64>(0, QFileInfo(server.userRoot() + item.name).size())));
        queue().addItem(item);
    }

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
    }

    void init()
    {
        QVERIFY(server.start());
        QFile::remove(TRegFile::settingsFilePath());
        SiteBook book;
        // Opened at start-up, as the alphabetically first site.
        book.InsertSite({ silent.host(), QStringLiteral("A silent site"), {}, {}, "/" });
        book.InsertSite({ server.host(), QStringLiteral("Private"), QStringLiteral("vrex"),
            QStringLiteral("secret"), QStringLiteral("/") });
        book.SaveSiteBook();
        prompts = std::make_unique<ScriptedPrompts>();
        local = std::make_unique<QTemporaryDir>();
        form = openMainWindow();
    }

    void cleanup()
    {
        if (form)
            form->FormClose();
        form.reset();
        prompts.reset();
        server.stop();
    }

    void itemsHeldByAFailedConnectRunAndAFailedItemStaysToBeRetried()
    {
        // Added while the start-up connect waits on a silent site: held.
        add(QStringLiteral("readme.txt"));
        queue().afterAdding();
        QCOMPARE(queue().statusOfRow(0), QStringLiteral("Waiting"));
        QTRY_VERIFY_WITH_TIMEOUT(queue().count() == 0 && !form->listing().isBusy(), kNetWait);
        QCOMPARE(fileContents(localPath(QStringLiteral("readme.txt"))),
            fileContents(server.userRoot() + QStringLiteral("/readme.txt")));

        // A missing file fails its row, which stays with the reason; the
        // queue stops, the next item waits.
        add(QStringLiteral("later.txt"));
        add(QStringLiteral("tenk.bin"));
        queue().afterAdding();
        QTRY_COMPARE_WITH_TIMEOUT(queue().statusOfRow(0), QStringLiteral("Failed"), kNetWait);
        QCOMPARE(toolTipOf(0), QStringLiteral("The requested file cannot be found."));
        QCOMPARE(queue().statusOfRow(1), QStringLiteral("Waiting"));
        QCOMPARE(panel(3), QStringLiteral("Queue: Stopped"));

        // Once the file is there, Retry fetches it and what waited.
        writeFileBytes(server.userRoot() + QStringLiteral("/later.txt"), "written later");
        selectRowsNamed(rows(), { QStringLiteral("/later.txt") });
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
        QTRY_VERIFY2_WITH_TIMEOUT(server.log().count(QRegularExpression(
                                      QStringLiteral("RETR [^\\n]*/later.txt completed=1")))
                == 1,
            qPrintable(server.log().right(1500)), kNetWait);
        QCOMPARE(panel(3), QStringLiteral("Queue: Idle"));
    }

    void aFailedConnectFailsItsRowAndStopAsksAboutTheRowItStopped()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!form->listing().isBusy(), kNetWait);
        prompts->clear();
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
        QCOMPARE(panel(3), QStringLiteral("Queue: Running"));
        prompts->answer(QMessageBox::No);
        QTest::mouseClick(
            form->controls().PanelExplorerTools->button(ToolBarPanel::Stop), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(form->ftp().NoWorkerAlive(), kNetWait);
        QCOMPARE(prompts->messageTexts(),
            QStringList({ kCannotConnect,
                "The queue has been stopped.  "
                "Do you want to remove the current file from the queue?" }));
        QCOMPARE(column(rows(), 1), QStringList({ "Failed", "Waiting" }));
        QCOMPARE(queue().count(), 2);
    }

    void closingDuringATransferAsksOnceWithNoAsDefaultAndStartsNothing()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!form->listing().isBusy(), kNetWait);
        prompts->clear();
        QFile big(server.userRoot() + QStringLiteral("/big.bin"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 30));
        big.close();
        form->controls().TabSet1->setCurrentIndex(2);
        add(QStringLiteral("big.bin"));
        add(QStringLiteral("tenk.bin"));
        queue().afterAdding();
        // The speed shows beside the time left; the page stays the queue's.
        QLabel *time = form->progress().LabelTime;
        const QRegularExpression withSpeed(QStringLiteral("^Remaining: .+ at [0-9.]+ [KM]B/s$"));
        QTRY_VERIFY2_WITH_TIMEOUT(withSpeed.match(time->text()).hasMatch(),
            qPrintable(time->text() + '|' + column(rows(), 1).join(',') + '|'
                + form->progress().LabelComplete->text() + '|' + prompts->messageTexts().join('|')),
            kNetWait);
        QCOMPARE(form->controls().TabSet1->currentIndex(), 2);
        QCOMPARE(panel(3), QStringLiteral("Queue: Running"));

        QVERIFY(!form->close()); // the default answer keeps the window
        QCOMPARE(prompts->choices().size(), 1);
        const ScriptedPrompts::Question asked = prompts->choices().first();
        QCOMPARE(asked.text,
            QStringLiteral("A file transfer is in progress: \"big.bin\", and 1 file is waiting in "
                           "the queue.  Are you sure you want to exit?"));
        QCOMPARE(asked.choices, QStringList({ "&Yes", "&No" }));
        QCOMPARE(asked.defaultChoice, 1);
        QVERIFY(form->actions().transferRunning());

        prompts->answerChoice(0);
        QVERIFY(form->close());
        QVERIFY(form->ftp().NoWorkerAlive());
        QCOMPARE(prompts->asked.size(), 2); // no Stop question, no other message
        form.reset();
        // Once the server saw the session end, it never was asked for the next file.
        QTRY_VERIFY_WITH_TIMEOUT(
            server.log().contains(QStringLiteral("-[vrex] FTP session closed")), kNetWait);
        QVERIFY(!server.log().contains(QStringLiteral("tenk.bin")));
        QCOMPARE(QDir(local->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

VREX_WINDOW_TEST_MAIN(TestQueueRecovery)
#include "tst_queuerecovery.moc"
