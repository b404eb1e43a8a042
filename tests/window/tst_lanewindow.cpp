// The queue on connections of its own, several at once, through the real
// window against a real server: browsing goes on while files arrive, Stop
// ends every transfer connection, and a server that takes fewer logins than
// asked for still gets the whole queue.

#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"
#include "WindowTestKit.h"

#include "app/MainLayout.h"
#include "app/TForm1.h"
#include "app/ToolBarPanel.h"
#include "dispatch/TransferLanes.h"
#include "explorer/SiteTreeCommands.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"
#include "transfers/QueueItem.h"
#include "transfers/TransferQueue.h"
#include "widgets/StatusPanels.h"

#include <QDir>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

constexpr int kNetWait = 20000;

QByteArray pattern(int size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed + i % 97);
    return bytes;
}

// This process's established TCP connections to the server's control port,
// as the kernel lists them.
int controlConnections(int port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    int count = 0;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 3 && f[3] == "01" && f[2].split(':').value(1).toInt(nullptr, 16) == port)
            ++count;
    }
    return count;
}

} // namespace

class TestLaneWindow : public QObject {
    Q_OBJECT

    PrivateFtpServer server;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<QTemporaryDir> local;

    TransferQueue &queue() { return form->queue(); }
    TListView *files() { return form->controls().ListView1; }
    bool idle() { return !form->listing().isBusy(); }
    QString localPath(const QString &name) { return local->filePath(name); }

    // The server starts, logging commands; the window browses `site` and
    // runs `lanes` transfers at once.
    void openWindow(const QString &site, int lanes)
    {
        server.setCommandLog(true);
        QVERIFY(server.start());
        SiteBook book;
        book.InsertSite({ server.host(), QStringLiteral("Public"), {}, {}, QStringLiteral("/") });
        book.InsertSite({ server.host(), QStringLiteral("Private"), QStringLiteral("vrex"),
            QStringLiteral("secret"), QStringLiteral("/") });
        book.SaveSiteBook();
        form = openMainWindow();
        form->setSimultaneousTransfers([lanes] { return lanes; });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->tree().current(), kNetWait);
        QTreeWidgetItem *node = child(form->root(), site);
        QVERIFY(node);
        form->controls().TreeView1->setCurrentItem(node);
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && form->tree().current() == node && files()->rowCount() > 0, kNetWait);
        server.takeCommands();
    }

    // A listed size (size >= 0) as the file list would give it; start = false
    // leaves the queue unstarted so the test can look at it first.
    void queueDownloads(const QStringList &names, qint64 size = -1, bool start = true)
    {
        for (const QString &name : names) {
            QueueItem item;
            item.name = QLatin1Char('/') + name;
            item.saveFile = localPath(name);
            item.actions = QStringLiteral("Download");
            item.host = server.host();
            item.login = QStringLiteral("vrex");
            item.password = QStringLiteral("secret");
            if (size >= 0)
                setFileSize(item.entry, uint64_t(size));
            queue().addItem(item);
        }
        if (start)
            queue().afterAdding();
    }

private slots:
    void init()
    {
        startWindowTest(prompts);
        local = std::make_unique<QTemporaryDir>();
        useShortNetworkTimeouts();
    }

    void cleanup()
    {
        endWindowTest(form, prompts);
        server.stop();
        server.setThrottle(0);
        server.setLoginsPerUser(0);
        server.setConnectionsPerAddress(0);
    }

    void browsingAndRefreshGoOnWhileTwoDownloadsRunAndStopEndsBoth()
    {
        server.setThrottle(200'000); // each file takes a minute: they overlap
        openWindow(QStringLiteral("Private"), 2);
        QVERIFY(writeFileBytes(server.userRoot() + "/a.bin", pattern(12'000'000, 'a')));
        QVERIFY(writeFileBytes(server.userRoot() + "/b.bin", pattern(12'000'000, 'b')));
        queueDownloads({ "a.bin", "b.bin" });
        QTRY_COMPARE_WITH_TIMEOUT(
            form->lanes().runningNames(), QStringList({ "a.bin", "b.bin" }), kNetWait);
        QStringList commands;
        QTRY_VERIFY_WITH_TIMEOUT(
            (commands += server.takeCommands(), commands.filter("RETR").size() == 2), kNetWait);
        QCOMPARE(form->lanes().connectionCount(), 2);

        // The browse connection is free: a folder opens, F5 lists it again.
        form->controls().TreeView1->setCurrentItem(child(form->tree().current(), "pub"));
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0) == QStringList { "docs" }, kNetWait);
        form->treeCommands().Refresh1Click();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0) == QStringList { "docs" }, kNetWait);
        commands += server.takeCommands();
        QVERIFY(commands.filter(QRegularExpression("^(LIST|MLSD)")).size() >= 2);
        QCOMPARE(
            column(form->controls().ListView3, 1), QStringList({ "In Progress", "In Progress" }));
        QToolButton *stop = form->controls().PanelExplorerTools->button(ToolBarPanel::Stop);
        QVERIFY(stop->isEnabled());
        QVERIFY(form->controls().PanelExplorerTools->button(ToolBarPanel::Send)->isEnabled());

        // Stop ends both transfer connections within a second; the browse
        // connection stays. The server sees both sessions end.
        QCOMPARE(controlConnections(server.port()), 3);
        const int endedBefore = server.endedSessions(QStringLiteral("vrex"));
        prompts->answer(QMessageBox::No);
        QTest::mouseClick(stop, Qt::LeftButton);
        QCOMPARE(prompts->messageTexts(),
            QStringList { "The queue has been stopped.  Do you want to remove the 2 files that "
                          "were in progress from the queue?\r\r\"a.bin\"\r\"b.bin\"" });
        QCOMPARE(form->lanes().connectionCount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(controlConnections(server.port()), 1, 1000);
        QTRY_VERIFY_WITH_TIMEOUT(
            server.endedSessions(QStringLiteral("vrex")) >= endedBefore + 2, kNetWait);
        QCOMPARE(column(form->controls().ListView3, 1), QStringList({ "Waiting", "Waiting" }));
        // Only the partial files stay, for the next run to go on from.
        QCOMPARE(QDir(local->path()).entryList(QDir::Files), QStringList());
        QVERIFY(!stop->isEnabled());
    }

    // Small files end faster than anyone can read: the status bar shows
    // the queue a few times a second, and its end state once the run is over.
    void aBurstOfSmallFilesLeavesTheWindowShowingTheEnd()
    {
        openWindow(QStringLiteral("Private"), 1);
        form->controls().TabSet1->setCurrentIndex(2);
        QStringList names;
        for (int i = 0; i < 40; ++i) {
            names << QStringLiteral("s%1.bin").arg(i, 2, 10, QLatin1Char('0'));
            QVERIFY(writeFileBytes(server.userRoot() + '/' + names.last(), pattern(900 + i, 's')));
        }
        queueDownloads(names, 900, false);
        StatusPanels *bar = form->controls().StatusBar1;
        QCOMPARE(bar->panelText(1), QStringLiteral("Objects: 40"));
        queue().afterAdding();
        QTRY_COMPARE_WITH_TIMEOUT(bar->panelText(3), QStringLiteral("Queue: Idle"), kNetWait);
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(fileContents(localPath(names[i])), pattern(900 + i, 's'));
        QCOMPARE(server.takeCommands().filter(QStringLiteral("RETR")).size(), names.size());
        QTRY_COMPARE(bar->panelText(1), QStringLiteral("Objects: 0"));
        QCOMPARE(bar->panelText(2), QStringLiteral("Size: 0"));
        QTRY_VERIFY(form->controls().ListView3->updatesEnabled());
        // The transfer connections closing say nothing on the window's line.
        QCOMPARE(bar->panelText(0), "Status: Download complete: " + localPath(names.last()));
        QCOMPARE(prompts->messageTexts(), QStringList());
    }

    void aServerRefusingAnotherConnectionGetsTheWholeQueueOnOne_data()
    {
        QTest::addColumn<QString>("browsing");
        QTest::addColumn<bool>("perAddress"); // 421 at the greeting, else 530 to PASS
        QTest::newRow("browsing anonymously") << QStringLiteral("Public") << false;
        // The idle browse connection holds the only login: it lets go.
        QTest::newRow("browsing with the same login") << QStringLiteral("Private") << false;
        QTest::newRow("one connection per address") << QStringLiteral("Private") << true;
    }

    void aServerRefusingAnotherConnectionGetsTheWholeQueueOnOne()
    {
        QFETCH(QString, browsing);
        QFETCH(bool, perAddress);
        server.setLoginsPerUser(perAddress ? 0 : 1);
        server.setConnectionsPerAddress(perAddress ? 1 : 0);
        openWindow(browsing, 4);
        const QStringList names { "one.bin", "two.bin", "three.bin", "four.bin" };
        const auto bytes = [](int i) { return pattern(300'000 + i, char('k' + i)); };
        for (int i = 0; i < names.size(); ++i)
            QVERIFY(writeFileBytes(server.userRoot() + '/' + names[i], bytes(i)));
        queueDownloads(names);
        QTRY_VERIFY_WITH_TIMEOUT(queue().count() == 0 && !form->lanes().anyRunning(), kNetWait);
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(fileContents(localPath(names[i])), bytes(i));
        // Each file fetched once, on the one login the server allowed.
        const QStringList commands = server.takeCommands();
        QCOMPARE(commands.filter(QStringLiteral("RETR")).size(), names.size());
        // Browsing goes on afterwards, connecting again where it let go.
        form->treeCommands().Refresh1Click();
        QStringList listed;
        QTRY_VERIFY_WITH_TIMEOUT(
            (listed += server.takeCommands(),
                idle() && !listed.filter(QRegularExpression("^(MLSD|LIST)")).isEmpty()),
            kNetWait);
        QCOMPARE(prompts->messageTexts(), QStringList());
    }
};

VREX_WINDOW_TEST_MAIN(TestLaneWindow)
#include "tst_lanewindow.moc"
