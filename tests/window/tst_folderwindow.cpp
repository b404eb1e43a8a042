// Whole folders through the main window against a real FTP server: a tree
// with awkward names and a link loop goes down byte-exact, a dropped folder
// goes up, and a folder that is not empty is deleted from the bottom up.

#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"
#include "WindowTestKit.h"

#include "app/TForm1.h"
#include "explorer/FileOperations.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "explorer/SiteTreeCommands.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"
#include "transfers/TransferQueue.h"
#include "widgets/TListView.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <unistd.h>

namespace {

constexpr int kNetWait = 30000;

[[nodiscard]] bool makeFile(const QString &path, const QByteArray &bytes)
{
    return QDir().mkpath(QFileInfo(path).path()) && writeFileBytes(path, bytes);
}

[[nodiscard]] bool makeLink(const QString &target, const QString &link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData())
        == 0;
}

} // namespace

class TestFolderWindow : public QObject {
    Q_OBJECT

    PrivateFtpServer server;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<QTemporaryDir> local;

    TListView *files() { return form->controls().ListView1; }
    bool idle() { return !form->listing().isBusy() && form->queue().count() == 0; }
    QString remote(const QString &path) { return server.userRoot() + QLatin1Char('/') + path; }
    QString mine(const QString &path) { return local->path() + QLatin1Char('/') + path; }

    // Shows a node of the tree once it is listed. The server starts before
    // the window opens: its files are made fresh at its start.
    [[nodiscard]] bool show(QTreeWidgetItem *node)
    {
        if (!node)
            return false;
        form->controls().TreeView1->setCurrentItem(node);
        return QTest::qWaitFor(
            [this, node] { return idle() && form->tree().current() == node; }, kNetWait);
    }

    [[nodiscard]] bool openWindowAt(const QString &description)
    {
        SiteBook book;
        book.InsertSite({ server.host(), QStringLiteral("Public"), {}, {}, QStringLiteral("/") });
        book.InsertSite({ server.host(), QStringLiteral("Private"), QStringLiteral("vrex"),
            QStringLiteral("secret"), QStringLiteral("/") });
        book.SaveSiteBook();
        form = openMainWindow();
        return QTest::qWaitFor([this] { return idle() && form->tree().current(); }, kNetWait)
            && show(child(form->root(), description));
    }

private slots:
    void init()
    {
        startWindowTest(prompts);
        local = std::make_unique<QTemporaryDir>();
    }

    void cleanup()
    {
        endWindowTest(form, prompts);
        server.stop();
        server.setListOnly(false);
    }

    void folderDownloadKeepsTheTreeByteExactAndAsksOnceAboutExistingFiles_data()
    {
        QTest::addColumn<bool>("listOnly");
        QTest::newRow("machine listings") << false;
        QTest::newRow("LIST only, links shown as links") << true;
    }

    void folderDownloadKeepsTheTreeByteExactAndAsksOnceAboutExistingFiles()
    {
        QFETCH(bool, listOnly);
        server.setListOnly(listOnly);
        QVERIFY(server.start());
        const QByteArray big(300000, 'b');
        QVERIFY(makeFile(remote("tree/top.txt"), "top"));
        QVERIFY(makeFile(remote("tree/a b/c [1].txt"), big));
        QVERIFY(makeFile(remote("tree/a b/\u00fc/\u00f1.txt"), "accents"));
        QVERIFY(makeFile(remote("tree/bad\x01name.txt"), "control"));
        QVERIFY(QDir().mkpath(remote("tree/empty")));
        QVERIFY(makeLink("..", remote("tree/a b/loop")));
        QVERIFY(makeLink("top.txt", remote("tree/alias.txt")));
        QVERIFY(openWindowAt(QStringLiteral("Private")));
        QVERIFY(selectRowsNamed(files(), { QStringLiteral("tree") }));
        prompts->answerFolder(local->path());
        form->MenuDownloadClick();
        QVERIFY(QTest::qWaitFor(
            [this] { return QFileInfo::exists(mine("tree/a b/\u00fc/\u00f1.txt")) && idle(); },
            kNetWait));
        QCOMPARE(fileContents(mine("tree/top.txt")), QByteArray("top"));
        QCOMPARE(fileContents(mine("tree/alias.txt")), QByteArray("top"));
        QCOMPARE(fileContents(mine("tree/a b/c [1].txt")), big);
        QCOMPARE(fileContents(mine("tree/a b/\u00fc/\u00f1.txt")), QByteArray("accents"));
        QVERIFY(QFileInfo(mine("tree/empty")).isDir());
        QVERIFY(!QFileInfo::exists(mine("tree/a b/loop"))); // the loop is not followed
        QVERIFY(!QFileInfo::exists(mine("tree/bad_name.txt"))); // nor a name made up
        QCOMPARE(prompts->messageTexts(),
            QStringList { "These names cannot be names of files here and are left out:\n\n"
                          "tree/bad\x01name.txt" });
        QCOMPARE(prompts->asked.first().title, QStringLiteral("Download \"tree\" to:"));

        // Again, from the tree's menu: one question for the three files there.
        QVERIFY(writeFileBytes(mine("tree/top.txt"), "mine"));
        QVERIFY(QFile::remove(mine("tree/a b/c [1].txt")));
        QVERIFY(show(child(form->tree().current(), QStringLiteral("tree"))));
        prompts->clear();
        prompts->answerFolder(local->path());
        prompts->answerChoice(2); // "Skip existing"
        form->findChild<QMenu *>(QStringLiteral("PopupMenu3"))
            ->findChild<QAction *>(QStringLiteral("DownloadFolder2"))
            ->trigger();
        QVERIFY(QTest::qWaitFor(
            [this] { return QFileInfo::exists(mine("tree/a b/c [1].txt")) && idle(); }, kNetWait));
        QCOMPARE(prompts->choices().size(), 1);
        QCOMPARE(prompts->choices()[0].text, QStringLiteral("3 of the 4 files are there already."));
        QCOMPARE(prompts->choices()[0].choices,
            (QStringList { "Overwrite", "Overwrite if newer", "Skip existing", "Cancel" }));
        QCOMPARE(fileContents(mine("tree/top.txt")), QByteArray("mine"));
        QCOMPARE(fileContents(mine("tree/a b/c [1].txt")), big);
    }

    void droppedFolderGoesUpWithItsFoldersMade()
    {
        QVERIFY(server.start());
        QMimeData mime;
        mime.setUrls({ QUrl::fromLocalFile(mine("up")) });
        QVERIFY(makeFile(mine("up/x.txt"), "new x"));
        QVERIFY(makeFile(mine("up/sub dir/y [1].bin"), QByteArray(200000, 'y')));
        QVERIFY(makeFile(mine("up/sub dir/deeper/z.txt"), "z"));
        QVERIFY(makeFile(remote("up/x.txt"), "old x"));
        QVERIFY(openWindowAt(QStringLiteral("Private")));
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(files(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
        prompts->answer(QMessageBox::Yes);
        prompts->answerChoice(0); // "Overwrite"
        QCoreApplication::sendEvent(files(), &drop);
        QVERIFY(drop.isAccepted());
        QVERIFY(QTest::qWaitFor(
            [this] { return QFileInfo::exists(remote("up/sub dir/deeper/z.txt")) && idle(); },
            kNetWait));
        QCOMPARE(prompts->messageTexts(),
            QStringList { "Upload the dropped folders with everything in them?" });
        QCOMPARE(prompts->choices().size(), 1);
        QCOMPARE(prompts->choices()[0].text, QStringLiteral("1 of the 3 files are there already."));
        QCOMPARE(fileContents(remote("up/x.txt")), QByteArray("new x"));
        QCOMPARE(fileContents(remote("up/sub dir/y [1].bin")), QByteArray(200000, 'y'));
        QCOMPARE(fileContents(remote("up/sub dir/deeper/z.txt")), QByteArray("z"));
    }

    void folderThatIsNotEmptyIsDeletedButNotWhatALinkInItLeadsTo()
    {
        QVERIFY(server.start());
        QVERIFY(makeFile(remote("doomed/a.txt"), "a"));
        QVERIFY(makeFile(remote("doomed/sub/b.txt"), "b"));
        QVERIFY(makeFile(remote("doomed/sub/deep/c.txt"), "c"));
        QVERIFY(makeFile(remote("keep/precious.txt"), "precious"));
        QVERIFY(makeLink("../keep", remote("doomed/outside")));
        QVERIFY(openWindowAt(QStringLiteral("Private")));
        QTreeWidgetItem *site = form->tree().current();
        QVERIFY(show(child(form->tree().current(), QStringLiteral("doomed"))));
        prompts->answer(QMessageBox::Yes);
        form->MenuDeleteClick();
        QVERIFY(QTest::qWaitFor(
            [this] { return !QFileInfo::exists(remote("doomed")) && idle(); }, kNetWait));
        QCOMPARE(prompts->messageTexts(),
            QStringList { "Delete the folder \"/doomed\" with the 4 files and 3 folders in it?" });
        QCOMPARE(fileContents(remote("keep/precious.txt")), QByteArray("precious"));
        QTRY_VERIFY_WITH_TIMEOUT(!child(site, QStringLiteral("doomed")), kNetWait);
    }

    void refusedDeleteStopsAtOnceAndSaysWhatIsLeft()
    {
        QVERIFY(server.start());
        QVERIFY(openWindowAt(QStringLiteral("Public")));
        QVERIFY(show(child(form->tree().current(), QStringLiteral("pub"))));
        prompts->answer(QMessageBox::Yes);
        form->MenuDeleteClick();
        QVERIFY(QTest::qWaitFor([this] { return prompts->messageTexts().size() == 2; }, kNetWait));
        QCOMPARE(prompts->messageTexts()[1],
            QStringLiteral("The folder \"/pub\" was not deleted completely. "
                           "\"/pub/docs/guide.txt\" could not be deleted. Nothing after it was "
                           "deleted: 1 files and 2 folders are left."));
        QVERIFY(QFileInfo::exists(server.anonRoot() + "/pub/docs/guide.txt"));
    }
};

VREX_WINDOW_TEST_MAIN(TestFolderWindow)
#include "tst_folderwindow.moc"
