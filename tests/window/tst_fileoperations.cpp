// Deleting, renaming and creating files and folders on a real FTP site
// through the main window, checked on the server's own disk.

#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"
#include "WindowTestKit.h"

#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "explorer/DirectoryMap.h"
#include "explorer/FileOperations.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "explorer/TFormConnect.h"
#include "ftp/WinInet.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace DirectoryMap;

Q_DECLARE_METATYPE(TreeMenuFacts)
Q_DECLARE_METATYPE(TreeMenuState)

namespace {

constexpr int kNetWait = 20000;

} // namespace

class TestFileOperations : public QObject {
    Q_OBJECT

    PrivateFtpServer server;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;

    TListView *files() { return form->controls().ListView1; }
    QTreeWidget *treeView() { return form->controls().TreeView1; }
    QString panel(int i) { return form->controls().StatusBar1->panelText(i); }
    bool idle() { return !form->listing().isBusy(); }
    QString onDisk(const QString &name) { return server.userRoot() + QLatin1Char('/') + name; }
    // No file or folder operation waits or runs (a listing's word may stay).
    bool nothingPending()
    {
        const PendingAction a = form->actions().pendingAction();
        return a != PendingAction::DeleteFile && a != PendingAction::RenameFile
            && a != PendingAction::CreateDir && a != PendingAction::DeleteDir;
    }
    QTreeWidgetItem *site() { return child(form->root(), QStringLiteral("Files")); }

    // A site with the write login whose starting directory is the login's root.
    void openWritableSite(int expectedRows)
    {
        form = openMainWindow();
        auto *dialog = form->findChild<TFormConnect *>();
        QTimer::singleShot(0, dialog, [this, dialog] {
            QTest::keyClicks(dialog->EditFTP, server.host());
            QTest::keyClicks(dialog->EditDesc, QStringLiteral("Files"));
            dialog->EditDir->setText(QStringLiteral("/"));
            dialog->CheckAnon->click();
            QTest::keyClicks(dialog->EditLogin, QStringLiteral("vrex"));
            QTest::keyClicks(dialog->EditPswd, QStringLiteral("secret"));
            // Dots, unless the user asks to see what was typed.
            QCOMPARE(dialog->EditPswd->echoMode(), QLineEdit::Password);
            dialog->CheckShowPswd->click();
            QCOMPARE(dialog->EditPswd->echoMode(), QLineEdit::Normal);
            QCOMPARE(dialog->EditPswd->displayText(), QStringLiteral("secret"));
            QTest::mouseClick(dialog->Button2, Qt::LeftButton);
        });
        form->controls().menu->New1->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == expectedRows, kNetWait);
    }

    int rowOf(const QString &caption) { return column(files(), 0).indexOf(caption); }

    // Lines of the server's log naming this command (renames, deletes and
    // new folders are logged as they are carried out).
    int serverLogged(const QString &command)
    {
        const QByteArray log = fileContents(QFileInfo(server.userRoot()).path() + "/server.log");
        return int(log.count(" " + command.toUtf8() + " "));
    }

    void selectRows(const QStringList &captions)
    {
        QItemSelectionModel *selection = files()->selectionModel();
        selection->clearSelection();
        for (const QString &caption : captions) {
            const QModelIndex index = files()->shownModel()->index(rowOf(caption), 0);
            selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    QTreeWidgetItem *rowNode(const QString &caption)
    {
        return form->listing().rowMapNode(rowOf(caption));
    }

    void openNode(QTreeWidgetItem *node)
    {
        treeView()->scrollToItem(node);
        QTest::mouseClick(
            treeView()->viewport(), Qt::LeftButton, {}, treeView()->visualItemRect(node).center());
    }

    // Types into the editor that a rename or a new folder opened.
    void typeName(QWidget *in, const QString &name, Qt::Key end = Qt::Key_Return)
    {
        QLineEdit *editor = nullptr;
        QTRY_VERIFY((editor = in->findChild<QLineEdit *>()) && editor->isVisible());
        editor->selectAll();
        if (name.isEmpty())
            QTest::keyClick(editor, Qt::Key_Backspace);
        else
            QTest::keyClicks(editor, name);
        QTest::keyClick(editor, end);
    }

    void renameRow(const QString &from, const QString &to)
    {
        selectRows({ from });
        form->listing().PopupMenu1Popup();
        form->controls().PopupMenu1->findChild<QAction *>("Rename1")->trigger();
        typeName(files(), to);
    }

    void newFolder(const QString &name, Qt::Key end = Qt::Key_Return)
    {
        form->listing().File2Click();
        QVERIFY(form->controls().menu->CreateDirectory1->isEnabled());
        form->controls().menu->CreateDirectory1->trigger();
        typeName(treeView(), name, end);
    }

private slots:
    void initTestCase() { useShortNetworkTimeouts(); }

    void init()
    {
        // Every window test starts from the fixture's files.
        if (qstrcmp(QTest::currentTestFunction(), "treeMenuRules") != 0)
            QVERIFY(server.start());
        startWindowTest(prompts);
    }

    void cleanup()
    {
        endWindowTest(form, prompts);
        server.stop();
    }

    void deletingAFileAsksWithItsOwnCaseAndRemovesIt()
    {
        QVERIFY(writeFileBytes(onDisk("ReadMe.TXT"), QByteArray(1000, 'x')));
        openWritableSite(6);
        const QString sizeBefore = panel(2);

        // No: nothing is sent.
        selectRows({ "ReadMe.TXT" });
        prompts->answer(QMessageBox::No);
        form->MenuDeleteClick();
        QCOMPARE(prompts->messageTexts(),
            QStringList { "Are you sure you want to delete \"/ReadMe.TXT\"?" });
        QCOMPARE(prompts->asked[0].icon, Prompts::Icon::Question);
        QVERIFY(idle() && nothingPending());
        QVERIFY(QFile::exists(onDisk("ReadMe.TXT")));

        // Delete in the tree with a row selected asks about the file.
        prompts->clear();
        prompts->answer(QMessageBox::Yes);
        treeView()->setFocus();
        QTest::keyClick(treeView(), Qt::Key_Delete);
        QCOMPARE(prompts->messageTexts(),
            QStringList { "Are you sure you want to delete \"/ReadMe.TXT\"?" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && rowOf("ReadMe.TXT") < 0, kNetWait);
        QVERIFY(!QFile::exists(onDisk("ReadMe.TXT")));
        QVERIFY(QFile::exists(onDisk("readme.txt"))); // the other case is another file
        QCOMPARE(panel(1), QStringLiteral("Objects: 5"));
        QVERIFY(panel(2) != sizeBefore);
        QCOMPARE(form->listing().sizeTotal(), 10000.0 + 27.0);
        QVERIFY(nothingPending());
        QCOMPARE(prompts->asked.size(), 1);
    }

    void deleteFileWantsExactlyOneFileRow()
    {
        openWritableSite(5);
        for (const QStringList &rows :
            { QStringList { "tenk.bin", "zero.bin" }, QStringList { "pub" } }) {
            selectRows(rows);
            form->fileOperations().DeleteFile1Click();
            form->MenuDeleteClick();
        }
        QVERIFY(prompts->asked.isEmpty());
        QVERIFY(QFile::exists(onDisk("zero.bin")) && QDir(onDisk("pub")).exists());
        QCOMPARE(files()->rowCount(), 5);
    }

    void commandsWaitWhileAnOperationRuns()
    {
        openWritableSite(5);
        form->listing().setBusy(true);
        selectRows({ "tenk.bin" });
        form->MenuDeleteClick();
        form->fileOperations().RenameFile1Click();
        form->fileOperations().CreateDirectory1Click();
        form->fileOperations().deleteFolder(child(site(), "empty"));
        form->fileOperations().ListView1Edited(rowNode("tenk.bin"), "other.bin");
        QVERIFY(prompts->asked.isEmpty());
        QVERIFY(!files()->findChild<QLineEdit *>() && !treeView()->findChild<QLineEdit *>());
        QCOMPARE(childTexts(site()), (QStringList { "empty", "pub" }));
        QCOMPARE(column(files(), 0).count("tenk.bin"), 1);
        QVERIFY(nothingPending());
        form->listing().setBusy(false);
        QVERIFY(QFile::exists(onDisk("tenk.bin")) && QDir(onDisk("empty")).exists());
    }

    void aRequestWhoseConnectionFailsLeavesNothingBehind()
    {
        openWritableSite(5);
        server.stop();
        form->tree().forgetConnection(); // the next request connects afresh
        newFolder("late");
        QTRY_VERIFY_WITH_TIMEOUT(idle() && !prompts->asked.isEmpty(), kNetWait);
        QCOMPARE(prompts->asked.size(), 1);
        QCOMPARE(prompts->asked[0].icon, Prompts::Icon::Error);
        QCOMPARE(childTexts(site()), (QStringList { "empty", "pub" }));

        prompts->clear();
        renameRow("zero.bin", "one.bin");
        QTRY_VERIFY_WITH_TIMEOUT(idle() && !prompts->asked.isEmpty(), kNetWait);
        QTRY_COMPARE(column(files(), 0).count("zero.bin"), 1);
        QVERIFY(!column(files(), 0).contains("one.bin"));
        QCOMPARE(nameOf(*recordOf(rowNode("zero.bin"))), QStringLiteral("zero.bin"));
    }

    void renamingAFileInPlace()
    {
        QVERIFY(writeFileBytes(onDisk("a.txt"), "alpha"));
        openWritableSite(6);
        QTreeWidgetItem *a = rowNode("a.txt");
        // F2 on the row, as in the desktop's file manager.
        selectRows({ "a.txt" });
        files()->detailsView()->setFocus();
        QTest::keyClick(files()->detailsView(), Qt::Key_F2);
        // The row shows the new name at once; the entry keeps the old one
        // until the server has renamed the file.
        QString nameWhenDone;
        bool rowShownWhenDone = false;
        TOnRenameFileDoneEvent renamed = form->ftp().OnRenameFileDone;
        form->ftp().OnRenameFileDone = [&](TWinInetFTP *ftp) {
            nameWhenDone = nameOf(*recordOf(a));
            rowShownWhenDone = rowOf("b.txt") >= 0;
            renamed(ftp);
        };
        typeName(files(), "b.txt");
        QTRY_VERIFY_WITH_TIMEOUT(idle() && QFile::exists(onDisk("b.txt")), kNetWait);
        QCOMPARE(nameWhenDone, QStringLiteral("a.txt"));
        QVERIFY(rowShownWhenDone);
        QCOMPARE(rowNode("b.txt"), a);
        QVERIFY(!QFile::exists(onDisk("a.txt")));
        QCOMPARE(nameOf(*recordOf(rowNode("b.txt"))), QStringLiteral("b.txt"));
        QVERIFY(nothingPending());

        QTRY_COMPARE_WITH_TIMEOUT(serverLogged("RNFR"), 1, kNetWait);

        // The same name sends nothing; the File menu renames, showing F2.
        selectRows({ "b.txt" });
        form->listing().File2Click();
        QAction *rename = form->controls().menu->RenameFile1;
        QVERIFY(rename->isVisible() && rename->isEnabled());
        QCOMPARE(rename->shortcut(), QKeySequence(Qt::Key_F2));
        rename->trigger();
        typeName(files(), "b.txt");
        QTRY_VERIFY(
            !files()->findChild<QLineEdit *>() || !files()->findChild<QLineEdit *>()->isVisible());
        QVERIFY(form->controls().PopupMenu1->actions().contains(
            form->controls().PopupMenu1->findChild<QAction *>("Rename1")));

        // Later commands use the new name; what they send comes after
        // anything the same-name rename could have sent.
        selectRows({ "b.txt" });
        prompts->answer(QMessageBox::Yes);
        form->MenuDeleteClick();
        QCOMPARE(
            prompts->messageTexts(), QStringList { "Are you sure you want to delete \"/b.txt\"?" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && serverLogged("DELE") == 1, kNetWait);
        QCOMPARE(serverLogged("RNFR"), 1);
    }

    void aRefusedRenameRestoresTheRow()
    {
        QVERIFY(writeFileBytes(onDisk("a.txt"), "alpha"));
        openWritableSite(6);
        QTreeWidgetItem *a = rowNode("a.txt");

        // The server refuses: a folder of that name is there.
        renameRow("a.txt", "pub");
        QTRY_VERIFY_WITH_TIMEOUT(idle() && !prompts->asked.isEmpty(), kNetWait);
        QCOMPARE(prompts->messageTexts(), QStringList { "File could not be renamed." });
        QCOMPARE(prompts->asked[0].icon, Prompts::Icon::Error);
        QCOMPARE(column(files(), 0).count("a.txt"), 1);
        QCOMPARE(form->listing().selectedMapNodes(), QList<QTreeWidgetItem *> { a });
        QCOMPARE(nameOf(*recordOf(a)), QStringLiteral("a.txt"));
        QVERIFY(QFile::exists(onDisk("a.txt")));
        QVERIFY(nothingPending());

        // A name that would carry a second command is refused by the session.
        prompts->clear();
        selectRows({ "readme.txt" });
        form->fileOperations().ListView1Edited(a, QStringLiteral("x\r\nDELE readme.txt"));
        QTRY_VERIFY_WITH_TIMEOUT(idle() && !prompts->asked.isEmpty(), kNetWait);
        QCOMPARE(prompts->messageTexts(), QStringList { "File could not be renamed." });
        QVERIFY(QFile::exists(onDisk("readme.txt")) && QFile::exists(onDisk("a.txt")));
        QCOMPARE(form->listing().selectedMapNodes(), QList<QTreeWidgetItem *> { a });
        QCOMPARE(column(files(), 0).count("a.txt"), 1);

        // A name with a slash would move the file elsewhere, and a file of
        // that name would be overwritten: both are refused here.
        for (const QString &name : { QStringLiteral("pub/a.txt"), QStringLiteral("tenk.bin") }) {
            prompts->clear();
            form->fileOperations().ListView1Edited(a, name);
            QTRY_COMPARE(prompts->messageTexts(), QStringList { "File could not be renamed." });
            QVERIFY(idle() && nothingPending());
            QCOMPARE(column(files(), 0).count("a.txt"), 1);
        }
        QVERIFY(!QFile::exists(onDisk("pub/a.txt")));
        QCOMPARE(QFileInfo(onDisk("tenk.bin")).size(), 10000);
        QCOMPARE(QFileInfo(onDisk("a.txt")).size(), 5);
    }

    void creatingAFolderInPlace()
    {
        openWritableSite(5);
        QCOMPARE(form->tree().current(), site());

        newFolder("docs");
        QTRY_VERIFY_WITH_TIMEOUT(idle() && QDir(onDisk("docs")).exists(), kNetWait);
        QTreeWidgetItem *docs = child(site(), "docs");
        QVERIFY(docs);
        QTreeWidgetItem *map = mapNodeOf(docs);
        QVERIFY(map && map->parent() == mapNodeOf(site()));
        QVERIFY(isDirectory(*recordOf(map)));
        QCOMPARE(nameOf(*recordOf(map)), QStringLiteral("docs"));
        QCOMPARE(form->tree().remotePathOf(map), QStringLiteral("/docs"));
        QVERIFY(!(docs->flags() & Qt::ItemIsEditable));
        QVERIFY(nothingPending() && prompts->asked.isEmpty());

        // Escape, or no name, leaves nothing and asks nothing.
        for (const auto &[name, key] : { std::pair { QStringLiteral("gone"), Qt::Key_Escape },
                 std::pair { QString(), Qt::Key_Return } }) {
            newFolder(name, key);
            QTRY_COMPARE(childTexts(site()).size(), 3);
            QVERIFY(idle() && nothingPending());
        }
        QVERIFY(!QDir(onDisk("gone")).exists());
        QVERIFY(prompts->asked.isEmpty());

        // The server refuses a name that is taken: the node goes again.
        newFolder("pub");
        QTRY_VERIFY_WITH_TIMEOUT(idle() && !prompts->asked.isEmpty(), kNetWait);
        QCOMPARE(prompts->messageTexts(),
            QStringList { "The directory \"/pub\" could not be created." });
        QCOMPARE(childTexts(site()), (QStringList { "empty", "pub", "docs" }));
        QVERIFY(nothingPending());
    }

    void deletingAnEmptyFolderMovesToItsParent()
    {
        openWritableSite(5);
        QTreeWidgetItem *pub = child(site(), "pub");

        // A folder whose listing showed entries is asked about, and stays
        // when the answer is No.
        openNode(pub);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0) == QStringList { "docs" }, kNetWait);
        prompts->answer(QMessageBox::No);
        form->MenuDeleteClick();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && !prompts->asked.isEmpty(), kNetWait);
        QCOMPARE(prompts->messageTexts(),
            QStringList { "Delete the folder \"/pub\" with the 1 files and 1 folders in it?" });
        QVERIFY(nothingPending() && QFile::exists(onDisk("pub/docs/guide.txt")));
        prompts->clear();

        // An empty one goes without a question; its parent becomes current.
        openNode(child(site(), "empty"));
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && form->tree().current() == child(site(), "empty"), kNetWait);
        QCOMPARE(files()->rowCount(), 0);
        form->MenuDeleteClick();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && !child(site(), "empty"), kNetWait);
        QVERIFY(!QDir(onDisk("empty")).exists());
        QVERIFY(prompts->asked.isEmpty());
        QCOMPARE(form->tree().current(), site());
        QCOMPARE(treeView()->currentItem(), site());
        QTRY_COMPARE(files()->rowCount(), 4);
        QCOMPARE(form->controls().PanelFiles->text(), QStringLiteral("  Current Directory: /"));
        QVERIFY(nothingPending());
    }

    void aNewFolderCanBeDeletedAgain()
    {
        openWritableSite(5);
        newFolder("fresh");
        // Deleting it before the server has made it is refused, and says why.
        form->fileOperations().deleteFolder(site()->child(site()->childCount() - 1));
        QCOMPARE(panel(0),
            QStringLiteral("Status: A new folder is still being created: delete it once it is "
                           "there."));
        // The name shows as soon as it is typed; the folder is there once
        // the server made it and the tree knows it as a listed entry.
        QTRY_VERIFY_WITH_TIMEOUT(idle() && QDir(onDisk("fresh")).exists()
                && mapNodeOf(child(site(), "fresh")) && nothingPending(),
            kNetWait);
        // The folder shown holds it at once.
        QCOMPARE(column(files(), 0).count("fresh"), 1);
        openNode(child(site(), "fresh"));
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && form->tree().current() == child(site(), "fresh"), kNetWait);
        form->MenuDeleteClick();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && !child(site(), "fresh"), kNetWait);
        QVERIFY(!QDir(onDisk("fresh")).exists());
        QVERIFY(prompts->asked.isEmpty());
    }

    void treeMenuRules_data()
    {
        QTest::addColumn<TreeMenuFacts>("facts");
        QTest::addColumn<TreeMenuState>("state");
        TreeMenuFacts none;
        none.hasNodes = true;
        TreeMenuState browse;
        browse.expandAll = browse.collapseAll = browse.all = true;
        QTest::newRow("press beside the nodes") << none << browse;

        TreeMenuFacts root = none;
        root.itemHit = root.hasSelected = root.selectedIsRoot = root.selectedHasChildren = true;
        QTest::newRow("root") << root << browse;

        TreeMenuFacts siteFacts = none;
        siteFacts.itemHit = siteFacts.hasSelected = siteFacts.selectedIsSite = true;
        siteFacts.selectedHasChildren = siteFacts.hasMapNode = siteFacts.mapHasChildren = true;
        TreeMenuState siteState = browse;
        siteState.createFolder = siteState.upload = siteState.files = true;
        siteState.properties = siteState.downloadSite = siteState.remove = true;
        QTest::newRow("site with folders") << siteFacts << siteState;

        TreeMenuFacts full = none;
        full.itemHit = full.hasSelected = full.hasMapNode = full.mapHasChildren = true;
        TreeMenuState folder = browse;
        folder.createFolder = folder.upload = folder.files = true;
        QTest::newRow("folder with files") << full << folder;

        TreeMenuFacts empty = full;
        empty.mapHasChildren = false;
        TreeMenuState emptyState = folder;
        emptyState.remove = true;
        QTest::newRow("empty folder") << empty << emptyState;

        TreeMenuFacts unnamed = empty;
        unnamed.hasMapNode = false;
        QTest::newRow("folder not yet created") << unnamed << folder;
    }

    void treeMenuRules()
    {
        QFETCH(TreeMenuFacts, facts);
        QFETCH(TreeMenuState, state);
        QVERIFY(FileOperations::treeMenuState(facts) == state);
    }

    void treeMenuFollowsTheClickedNode()
    {
        openWritableSite(5);
        QTreeWidgetItem *empty = child(site(), "empty");
        QTest::mousePress(treeView()->viewport(), Qt::RightButton, {},
            treeView()->visualItemRect(empty).center());
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->tree().current() == empty, kNetWait);
        QMenu *menu = form->controls().PopupMenu3;
        form->fileOperations().PopupMenu3Popup();
        auto enabled = [menu](const char *name) {
            return menu->findChild<QAction *>(QLatin1String(name))->isEnabled();
        };
        QVERIFY(enabled("CreateFolder2") && enabled("Delete3") && enabled("Upload2"));
        QVERIFY(!enabled("Properties1"));

        QTest::mousePress(treeView()->viewport(), Qt::RightButton, {},
            treeView()->visualItemRect(child(site(), "pub")).center());
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && form->tree().current() == child(site(), "pub"), kNetWait);
        form->fileOperations().PopupMenu3Popup();
        QVERIFY(enabled("CreateFolder2") && !enabled("Delete3"));
        QVERIFY(child(site(), "pub")->isExpanded());
    }
};

VREX_WINDOW_TEST_MAIN(TestFileOperations)
#include "tst_fileoperations.moc"
