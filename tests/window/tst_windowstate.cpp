// The window shows the state it is in: which folder is current, what the
// panels count, where the highlight is, and what a failure leaves behind.

#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"
#include "WindowTestKit.h"

#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "app/ToolBarPanel.h"
#include "explorer/DirectoryMap.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "explorer/SiteTreeCommands.h"
#include "explorer/TFormConnect.h"
#include "ftp/WinInet.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStandardItemModel>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <arpa/inet.h>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kNetWait = 30000;
const QString kListingFailed
    = QStringLiteral("The directory listing did not complete. The connection was lost.");
const QString kUnableToConnect = QStringLiteral("Unable to connect to site.");

QList<QTreeWidgetItem *> boldNodes(QTreeWidget *tree)
{
    QList<QTreeWidgetItem *> bold;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->font(0).bold())
            bold << *it;
    return bold;
}

// tests/window/listing_drop_server.py for the life of the object.
class ListingDropServer {
public:
    ListingDropServer()
    {
        const QString script = QString::fromLocal8Bit(qgetenv("VREX_SOURCE_DIR"))
            + QStringLiteral("/tests/window/listing_drop_server.py");
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral("/usr/bin/python3"), { script });
        if (!process.waitForStarted(10000))
            return;
        while (port == 0 && process.waitForReadyRead(20000))
            while (process.canReadLine()) {
                const QByteArray line = process.readLine().trimmed();
                if (line.startsWith("PORT "))
                    port = line.mid(5).toInt();
            }
    }
    ~ListingDropServer()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    bool ok() const { return port > 0; }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(port); }

private:
    QProcess process;
    int port = 0;
};

} // namespace

class TestWindowState : public QObject {
    Q_OBJECT

    PrivateFtpServer server;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;

    void open() { form = openMainWindow(); }
    TListView *files() { return form->controls().ListView1; }
    QTreeWidget *tree() { return form->controls().TreeView1; }
    QString panel(int i) { return form->controls().StatusBar1->panelText(i); }
    QString caption() { return form->controls().PanelFiles->text(); }
    bool idle() { return !form->listing().isBusy(); }
    QTreeWidgetItem *siteNode(const QString &d) { return child(form->root(), d); }

    // Runs the site dialog: `fill` types into it, then OK is pressed; a
    // refused OK leaves the dialog, which is then cancelled.
    void runSiteDialog(QAction *command, const std::function<void(TFormConnect *)> &fill)
    {
        auto *dialog = form->findChild<TFormConnect *>();
        QTimer::singleShot(0, dialog, [dialog, fill] {
            fill(dialog);
            QTest::mouseClick(dialog->Button2, Qt::LeftButton);
            if (dialog->isVisible())
                dialog->reject();
        });
        command->setEnabled(true);
        command->trigger();
    }

    void createSite(const SiteFields &site)
    {
        runSiteDialog(form->controls().menu->New1, [site](TFormConnect *dialog) {
            dialog->EditFTP->setText(site.host);
            dialog->EditDesc->setText(site.description);
            dialog->EditDir->setText(site.directory);
            if (!site.login.isEmpty()) {
                dialog->CheckAnon->click();
                dialog->EditLogin->setText(site.login);
                dialog->EditPswd->setText(site.password);
            }
        });
    }

    void openNode(QTreeWidgetItem *node)
    {
        tree()->scrollToItem(node);
        QTest::mouseClick(
            tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(node).center());
    }

    void clickStop()
    {
        QTest::mouseClick(form->findChild<QToolButton *>("ExplorerStop"), Qt::LeftButton);
    }

    void grab(const char *name)
    {
        form->grab().save(QStringLiteral("/tmp/%1.png").arg(QLatin1String(name)));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(server.start(), "server did not start");
        // Far above any wait of a test that expects an answer; a silent
        // server is always ended by Stop.
        DWORD ms = 20000;
        InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
        InternetSetOptionA(nullptr, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
    }

    void init()
    {
        startWindowTest(prompts);
        QDir(server.anonRoot() + "/big").removeRecursively();
        QFile::remove(server.userRoot() + "/added.txt");
    }

    void cleanup() { endWindowTest(form, prompts); }

    void refillFromTheMapOutlivesTheSiteDialogAndTheDeletionOfItsFolder()
    {
        QVERIFY(QDir(server.anonRoot()).mkdir("big"));
        constexpr int kFiles = 3000;
        for (int i = 0; i < kFiles; ++i) {
            QFile f(server.anonRoot() + QStringLiteral("/big/f%1.txt").arg(i, 5, 10, QChar('0')));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        open();
        createSite({ server.host(), "Big" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 6, kNetWait);
        QTreeWidgetItem *site = siteNode("Big");
        QTreeWidgetItem *big = child(site, "big");
        openNode(big);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == kFiles, kNetWait);
        openNode(site);
        QTRY_VERIFY(idle() && files()->rowCount() == 6);

        // While "big" is refilled from the map, the site is picked and its
        // starting directory changed: the dialog's OK is refused.
        bool busyInside = false;
        prompts->answer(QMessageBox::Ok);
        QTimer::singleShot(0, form.get(), [&] {
            busyInside = !idle();
            tree()->setCurrentItem(site);
            runSiteDialog(form->controls().menu->Edit1,
                [](TFormConnect *dialog) { dialog->EditDir->setText("/pub"); });
        });
        openNode(big);
        QTRY_VERIFY(idle());
        QVERIFY(busyInside);
        QVERIFY2(prompts->asked.isEmpty(), qPrintable(prompts->messageTexts().join('|')));
        QCOMPARE(siteNode("Big"), site);
        QCOMPARE(child(site, "big"), big);
        QCOMPARE(files()->rowCount(), kFiles);
        QCOMPARE(form->tree().current(), big);
        SiteBook book;
        QCOMPARE(book.LoadSiteBook().count, 1);
        QCOMPARE(book.head()->Directory, QStringLiteral("/"));

        // Whatever deletes the folder mid-refill, the refill stops with it.
        openNode(site);
        QTRY_VERIFY(idle() && files()->rowCount() == 6);
        bool refilling = false;
        QTimer::singleShot(0, form.get(), [&] {
            refilling = !idle() && form->tree().current() == big;
            form->tree().deleteNodeAndTwin(site);
        });
        openNode(big);
        QTRY_VERIFY(idle());
        QVERIFY(refilling);
        QVERIFY(!siteNode("Big"));
        QCOMPARE(files()->rowCount(), 0);
        QVERIFY(!form->tree().current());
        QDir(server.anonRoot() + "/big").removeRecursively();
    }

    void failedConnectsAndListingsLeaveNothingCurrentAndTryAgain()
    {
        ListingDropServer drops;
        QVERIFY2(drops.ok(), "server did not start");
        SilentListener nobody;
        nobody.close();
        open();
        createSite({ server.host(), "Full" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QCOMPARE(panel(1), QStringLiteral("Objects: 5"));

        // A site that refuses the connection: empty list, empty panels, and
        // the site is not current, so opening it tries again.
        createSite({ nobody.host(), "Closed" });
        QTRY_COMPARE_WITH_TIMEOUT(
            prompts->messageTexts(), QStringList { kUnableToConnect }, kNetWait);
        QTRY_VERIFY(idle());
        QTreeWidgetItem *closed = siteNode("Closed");
        QCOMPARE(files()->rowCount(), 0);
        QCOMPARE(panel(1), QStringLiteral("Objects: 0"));
        QCOMPARE(panel(2), QStringLiteral("Size: 0"));
        QVERIFY(form->tree().current() != closed);
        QVERIFY(boldNodes(tree()).isEmpty());
        // Only a site whose connection was made is opened at the next start.
        TRegFile reg;
        reg.setKey(QStringLiteral("SOFTWARE\\Orvane\\Vrex Explorer"));
        TaggedValue last;
        reg.ReadValue(QStringLiteral("LastSite"), last);
        QCOMPARE(last.toString(), QStringLiteral("Full"));
        prompts->clear();
        openNode(closed);
        QTRY_COMPARE_WITH_TIMEOUT(
            prompts->messageTexts(), QStringList { kUnableToConnect }, kNetWait);
        QTRY_VERIFY(idle());
        // F5 tries again too.
        prompts->clear();
        form->controls().menu->View1->aboutToShow();
        QVERIFY(form->controls().menu->Files1->isEnabled());
        form->controls().menu->Files1->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(
            prompts->messageTexts(), QStringList { kUnableToConnect }, kNetWait);
        QTRY_VERIFY(idle());

        // A listing cut off by a lost connection is reported, and the
        // folder is listed again when opened again.
        createSite({ drops.host(), "Drops" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 3, kNetWait);
        QTreeWidgetItem *site = siteNode("Drops");
        QTreeWidgetItem *broken = child(site, "broken");
        prompts->clear();
        openNode(broken);
        QTRY_COMPARE_WITH_TIMEOUT(
            prompts->messageTexts(), QStringList { kListingFailed }, kNetWait);
        QCOMPARE(prompts->asked.last().title, QStringLiteral("Vrex Explorer"));
        QCOMPARE(prompts->asked.last().icon, Prompts::Icon::Error);
        QTRY_VERIFY(idle());
        QVERIFY(form->tree().current() != broken);
        QVERIFY(boldNodes(tree()).isEmpty());
        QCOMPARE(panel(1), QStringLiteral("Objects: %1").arg(files()->rowCount()));
        grab("window-fault5");
        prompts->clear();
        openNode(broken);
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && column(files(), 0) == (QStringList { "one.txt", "two.txt" }), kNetWait);
        QVERIFY(prompts->asked.isEmpty());
        QCOMPARE(form->tree().current(), broken);
        QCOMPARE(caption(), QStringLiteral("  Current Directory: /broken"));

        // "&Files" on the site whose listing then breaks off: the folder
        // counts as not listed and the next open lists it in full.
        openNode(site);
        QTRY_VERIFY(idle() && files()->rowCount() == 3);
        form->controls().menu->View1->aboutToShow();
        form->controls().menu->Files1->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(
            prompts->messageTexts(), QStringList { kListingFailed }, kNetWait);
        QTRY_VERIFY(idle());
        QVERIFY(form->tree().current() != site);
        prompts->clear();
        openNode(site);
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && column(files(), 0) == (QStringList { "broken", "good", "a.txt" }), kNetWait);
        QVERIFY(prompts->asked.isEmpty());
        QCOMPARE(childTexts(site), (QStringList { "broken", "good" }));
        QCOMPARE(boldNodes(tree()), QList<QTreeWidgetItem *> { site });
    }

    void aFolderOfAnotherSiteBecomesCurrentOnceItsListingStarts()
    {
        open();
        createSite({ server.host(), "Anon" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        createSite({ server.host(), "User", "/", "vrex", "secret" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QCOMPARE(form->tree().currentConnection().login, QStringLiteral("vrex"));

        // "empty" of the anonymous site: connect first, then list.
        QTreeWidgetItem *anon = siteNode("Anon");
        QTreeWidgetItem *empty = child(anon, "empty");
        openNode(empty);
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && form->tree().currentConnection().login.isEmpty(), kNetWait);
        QCOMPARE(form->tree().current(), empty);
        QCOMPARE(boldNodes(tree()), QList<QTreeWidgetItem *> { empty });
        QCOMPARE(tree()->selectedItems(), QList<QTreeWidgetItem *> { empty });
        QCOMPARE(caption(), QStringLiteral("  Current Directory: /empty"));
        QCOMPARE(panel(1), QStringLiteral("Objects: 0"));
        grab("window-fault6");

        QTest::mouseClick(form->findChild<QToolButton *>("ExplorerUpOne"), Qt::LeftButton);
        QTRY_VERIFY(idle() && files()->rowCount() == 5);
        QCOMPARE(form->tree().current(), anon);
        QCOMPARE(caption(), QStringLiteral("  Current Directory: /"));
        QCOMPARE(boldNodes(tree()), QList<QTreeWidgetItem *> { anon });

        // And back to the other site's "pub".
        QTreeWidgetItem *pub = child(siteNode("User"), "pub");
        openNode(pub);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0) == QStringList { "docs" }, kNetWait);
        QCOMPARE(form->tree().current(), pub);
        QCOMPARE(boldNodes(tree()), QList<QTreeWidgetItem *> { pub });
        QCOMPARE(tree()->selectedItems(), QList<QTreeWidgetItem *> { pub });
        QCOMPARE(caption(), QStringLiteral("  Current Directory: /pub"));
        QCOMPARE(form->visibleSiteCombo()->currentText(), QStringLiteral("User"));
    }

    void whileAnOperationRunsPanelsAreClearAndRefusedOpensPutTheHighlightBack()
    {
        SilentListener mute;
        open();
        createSite({ server.host(), "Full" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QVERIFY(panel(2) != QStringLiteral("Size: 0"));

        // Connecting to a site that never answers: the list and its panels are empty.
        createSite({ mute.host(), "Mute" });
        QVERIFY(!idle());
        QTreeWidgetItem *muteNode = siteNode("Mute");
        QCOMPARE(form->tree().current(), muteNode);
        QCOMPARE(files()->rowCount(), 0);
        QCOMPARE(panel(1), QStringLiteral("Objects: 0"));
        QCOMPARE(panel(2), QStringLiteral("Size: 0"));
        grab("window-fault9");

        // Choosing the other site in the combo is refused; so are the arrow keys.
        QComboBox *combo = form->visibleSiteCombo();
        const int fullIndex = combo->findText("Full");
        combo->setCurrentIndex(fullIndex);
        emit combo->activated(fullIndex);
        QTRY_COMPARE(combo->currentText(), QStringLiteral("Mute"));
        QCOMPARE(tree()->currentItem(), muteNode);
        for (QComboBox *c :
            { form->controls().PanelTools->combo(), form->controls().PanelExplorerTools->combo() })
            QCOMPARE(c->currentText(), QStringLiteral("Mute"));
        tree()->setFocus();
        QTest::keyClick(tree(), Qt::Key_Up);
        QTRY_COMPARE(tree()->currentItem(), muteNode);
        QCOMPARE(tree()->selectedItems(), QList<QTreeWidgetItem *> { muteNode });
        QVERIFY(!idle());
        QCOMPARE(form->tree().current(), muteNode);

        // A newer request makes the running connect's completion stale: it
        // ends nothing, and the newer connect goes on.
        form->ftp().Connect();
        QVERIFY(!idle());
        QCOMPARE(form->tree().currentConnection().host, mute.host());
        QCOMPARE(form->tree().current(), muteNode);
        QVERIFY(prompts->asked.isEmpty());
        clickStop();
        QTRY_VERIFY(idle());

        // "&All" starts afresh with the last site connected: nothing counted meanwhile.
        openNode(siteNode("Full"));
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QCOMPARE(panel(1), QStringLiteral("Objects: 5"));
        form->controls().menu->View1->aboutToShow();
        form->controls().menu->All1->trigger();
        QCOMPARE(files()->rowCount(), 0);
        QCOMPARE(panel(1), QStringLiteral("Objects: 0"));
        QCOMPARE(panel(2), QStringLiteral("Size: 0"));
        // The last site whose connection was made is "Full": "Mute" never
        // answered, and "Full" was shown from the map.
        QVERIFY(!idle());
        QCOMPARE(form->tree().current(), siteNode("Full"));
        clickStop();
        QTRY_VERIFY(idle());
    }

    void refreshingFilesAfterAFailedCommandListsOnTheHeldConnection()
    {
        open();
        createSite({ server.host(), "Held", "/", "vrex", "secret" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        bool done = false;
        form->ftp().OnDeleteFileDone = [&done](TWinInetFTP *) { done = true; };
        form->ftp().DeleteFile("/no-such-file.txt");
        QTRY_VERIFY_WITH_TIMEOUT(done, kNetWait);
        QVERIFY(form->ftp().LastError() != errNone);
        QVERIFY(form->ftp().Connected());
        QFile added(server.userRoot() + "/added.txt");
        QVERIFY(added.open(QIODevice::WriteOnly));
        added.close();

        form->controls().menu->View1->aboutToShow();
        QVERIFY(form->controls().menu->Files1->isEnabled());
        form->controls().menu->Files1->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 6, kNetWait);
        QVERIFY2(prompts->asked.isEmpty(), qPrintable(prompts->messageTexts().join('|')));
        QVERIFY(column(files(), 0).contains("added.txt"));
        QCOMPARE(form->tree().currentConnection().host, server.host());
        QVERIFY(form->ftp().Connected());
        QCOMPARE(form->tree().current(), siteNode("Held"));
        QFile::remove(server.userRoot() + "/added.txt");
    }

    void siteStructureOfASiteNotConnectedFillsItsOwnFolders()
    {
        open();
        createSite({ server.host(), "Anon" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QTreeWidgetItem *anon = siteNode("Anon");
        openNode(child(anon, "pub"));
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0) == QStringList { "docs" }, kNetWait);
        createSite({ server.host(), "User", "/", "vrex", "secret" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QTreeWidgetItem *user = siteNode("User");
        const QStringList userFolders = childTexts(user);

        // Anon's "pub" opens from the map; the connection stays the user's.
        openNode(child(anon, "pub"));
        QTRY_VERIFY(idle() && column(files(), 0) == QStringList { "docs" });
        QCOMPARE(form->tree().currentConnection().login, QStringLiteral("vrex"));
        prompts->answer(QMessageBox::Ok);
        // Its menu entries are hidden, so the command is run by its handler.
        form->treeCommands().DownloadSite1Click();
        QTRY_VERIFY_WITH_TIMEOUT(idle(), kNetWait);

        QCOMPARE(childTexts(user), userFolders);
        QCOMPARE(childTexts(anon), (QStringList { "empty", "pub" }));
        QTreeWidgetItem *docs = child(child(anon, "pub"), "docs");
        QVERIFY(docs);
        QCOMPARE(DirectoryMap::mapNodeOf(docs)->childCount(), 1);
        QCOMPARE(form->tree().currentConnection().login, QString());
        QCOMPARE(prompts->asked.size(), 1);
    }

    void siteNodesAndTheSiteListKeepTheirOrderAndState()
    {
        open();
        createSite({ server.host(), "Zulu" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QTreeWidgetItem *zulu = siteNode("Zulu");
        QTreeWidgetItem *pub = child(zulu, "pub");
        openNode(pub);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0) == QStringList { "docs" }, kNetWait);
        QVERIFY(zulu->isExpanded() && pub->isExpanded());

        // A new site sorts before Zulu; Zulu and its folder stay expanded.
        createSite({ server.host(), "Alpha" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QCOMPARE(childTexts(form->root()), (QStringList { "Alpha", "Zulu" }));
        QVERIFY(zulu->isExpanded());
        QVERIFY(pub->isExpanded());
        QTreeWidgetItem *alpha = siteNode("Alpha");
        QVERIFY(alpha->isExpanded());

        // Renaming keeps the expansion and the selection.
        runSiteDialog(form->controls().menu->Edit1,
            [](TFormConnect *dialog) { dialog->EditDesc->setText("Yankee"); });
        QCOMPARE(childTexts(form->root()), (QStringList { "Yankee", "Zulu" }));
        QCOMPARE(tree()->currentItem(), alpha);
        QCOMPARE(tree()->selectedItems(), QList<QTreeWidgetItem *> { alpha });
        QVERIFY(zulu->isExpanded() && pub->isExpanded() && alpha->isExpanded());

        // Files sorted by size; the site list still comes by name.
        auto *header = files()->detailsView()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(1) + 5, 5));
        QCOMPARE(form->listing().sortColumn(), 1);
        openNode(form->root());
        QTRY_COMPARE(column(files(), 2), (QStringList { "FTP Site", "FTP Site" }));
        QCOMPARE(column(files(), 0), (QStringList { "Yankee", "Zulu" }));
        QCOMPARE(form->listing().sortColumn(), 1);
    }
};

VREX_WINDOW_TEST_MAIN(TestWindowState)

#include "tst_windowstate.moc"
