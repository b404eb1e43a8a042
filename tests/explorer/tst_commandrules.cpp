// Which commands the tree, the selection, the page shown and the busy state
// enable, before any widget is involved.

#include "TestEnvironment.h"

#include "explorer/CommandRules.h"

#include <QCoreApplication>
#include <QtTest>

Q_DECLARE_METATYPE(TreeFacts)
Q_DECLARE_METATYPE(SelectionFacts)

namespace {

// A folder of the open site, listed, selected in the tree.
TreeFacts listedFolder(bool hasEntries)
{
    TreeFacts t;
    t.hasSites = t.hasCurrent = t.currentHasMapNode = t.hasSelectedNode = true;
    t.hasConnectionHost = true;
    t.currentMapHasChildren = hasEntries;
    return t;
}

TreeFacts siteWithFolders()
{
    TreeFacts t = listedFolder(true);
    t.currentIsSite = t.selectedIsSite = true;
    return t;
}

TreeFacts rootCurrent()
{
    TreeFacts t;
    t.hasSites = t.hasCurrent = t.currentIsRoot = t.hasSelectedNode = t.selectedIsRoot = true;
    return t;
}

SelectionFacts rows(int count, bool folderFirst = false)
{
    SelectionFacts s;
    s.selectedRows = count;
    s.firstSelectedIsFolder = folderFirst;
    return s;
}

SelectionFacts watchAndQueueRows()
{
    SelectionFacts s;
    s.watchSelection = s.queueSelection = true;
    return s;
}

QStringList enabled(std::initializer_list<std::pair<const char *, bool>> commands)
{
    QStringList names;
    for (const auto &[name, on] : commands)
        if (on)
            names << QLatin1String(name);
    return names;
}

} // namespace

class TestCommandRules : public QObject {
    Q_OBJECT
private slots:
    void commandsFollowTreeSelectionPageAndBusy_data()
    {
        QTest::addColumn<TreeFacts>("tree");
        QTest::addColumn<SelectionFacts>("selection");
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QStringList>("bar");
        QTest::addColumn<QStringList>("fileMenu");
        QTest::addColumn<QStringList>("popup");
        QTest::addColumn<QStringList>("other");

        const QStringList allPopup { "Open1", "Download1", "Rename1", "DeleteFile1",
            "AddtoWatchList1" };
        const QStringList connected { "Files1", "All1" };
        TreeFacts nothingOpen;
        nothingOpen.hasSites = true;
        QTest::newRow("nothing opened yet")
            << nothingOpen << rows(0) << 0 << false << QStringList()
            << QStringList { "MenuDownload" } << QStringList() << QStringList { "All1" };
        // A failed connect leaves nothing current: F5 tries the selected node again.
        TreeFacts failedConnect = nothingOpen;
        failedConnect.hasSelectedNode = failedConnect.selectedIsSite = true;
        QTest::newRow("connect failed")
            << failedConnect << rows(0) << 0 << false << QStringList { "Edit" }
            << QStringList { "MenuDownload" } << QStringList() << connected;
        QTest::newRow("one file on the site page")
            << listedFolder(true) << rows(1) << 0 << false
            << QStringList { "Delete", "Open", "Download", "Watch", "Send" }
            << QStringList { "MenuOpen", "MenuDownload", "MenuUpload", "MenuAdd", "MenuDelete",
                   "CreateDirectory1", "RenameFile1" }
            << allPopup << connected;
        QTest::newRow("two files on the site page")
            << listedFolder(true) << rows(2) << 0 << false
            << QStringList { "Open", "Download", "Watch", "Send" }
            << QStringList { "MenuOpen", "MenuDownload", "MenuUpload", "MenuAdd",
                   "CreateDirectory1" }
            << QStringList { "Open1", "Download1", "AddtoWatchList1" } << connected;
        QTest::newRow("a folder first") << listedFolder(true) << rows(2, true) << 0 << false
                                        << QStringList { "Download", "Send" }
                                        << QStringList { "MenuOpen", "MenuDownload", "MenuUpload",
                                               "MenuAdd", "CreateDirectory1" }
                                        << QStringList { "Download1" } << connected;
        // Site rows are folders: the File menu alone takes them as rows.
        QTest::newRow("root current with a site row selected")
            << rootCurrent() << rows(1, true) << 0 << false << QStringList()
            << QStringList { "MenuOpen", "MenuDownload", "MenuAdd", "MenuDelete" } << QStringList()
            << QStringList { "All1" };
        QTest::newRow("a site with its folders, no row selected")
            << siteWithFolders() << rows(0) << 0 << false
            << QStringList { "Delete", "Send", "Edit" }
            << QStringList { "MenuDownload", "MenuUpload", "MenuDelete", "CreateDirectory1" }
            << QStringList() << connected;
        QTest::newRow("a listed folder with entries, no row selected")
            << listedFolder(true) << rows(0) << 0 << false << QStringList { "Send" }
            << QStringList { "MenuDownload", "MenuUpload", "CreateDirectory1" } << QStringList()
            << connected;
        QTest::newRow("an empty folder, no row selected")
            << listedFolder(false) << rows(0) << 0 << false << QStringList { "Delete", "Send" }
            << QStringList { "MenuDownload", "MenuUpload", "MenuDelete", "CreateDirectory1" }
            << QStringList() << connected;
        QTest::newRow("watch page with a selection")
            << listedFolder(true) << watchAndQueueRows() << 1 << false
            << QStringList { "Delete", "Open", "Download" }
            << QStringList { "MenuOpen", "MenuDownload", "MenuNewer", "MenuAdd", "MenuAddRemoves" }
            << QStringList() << connected;
        QTest::newRow("watch page without a selection")
            << listedFolder(true) << rows(1) << 1 << false << QStringList()
            << QStringList { "MenuDownload", "MenuAddRemoves" } << allPopup << connected;
        QTest::newRow("queue page with a selection")
            << listedFolder(true) << watchAndQueueRows() << 2 << false << QStringList { "Delete" }
            << QStringList { "MenuDownload" } << QStringList() << connected;
        QTest::newRow("queue page without a selection")
            << listedFolder(true) << rows(1) << 2 << false << QStringList()
            << QStringList { "MenuDownload" } << allPopup << connected;
        // Busy decides only Stop; the tool bar's Send goes off when busy is applied.
        QTest::newRow("busy") << listedFolder(true) << rows(1) << 0 << true
                              << QStringList { "Delete", "Open", "Download", "Watch", "Send" }
                              << QStringList { "MenuOpen", "MenuDownload", "MenuUpload", "MenuAdd",
                                     "MenuDelete", "CreateDirectory1", "RenameFile1" }
                              << allPopup << QStringList { "Stop", "Files1", "All1" };
    }

    void commandsFollowTreeSelectionPageAndBusy()
    {
        QFETCH(TreeFacts, tree);
        QFETCH(SelectionFacts, selection);
        QFETCH(int, page);
        QFETCH(bool, busy);
        QFETCH(QStringList, bar);
        QFETCH(QStringList, fileMenu);
        QFETCH(QStringList, popup);
        QFETCH(QStringList, other);
        const CommandState s = CommandRules::decide(tree, selection, page, busy);
        const CommandState::ExplorerBar &b = s.bar;
        QCOMPARE(enabled({ { "Delete", b.Delete }, { "Open", b.Open }, { "Download", b.Download },
                     { "Watch", b.Watch }, { "Send", b.Send }, { "Edit", b.Edit } }),
            bar);
        const CommandState::FileMenu &f = s.file;
        QCOMPARE(enabled({ { "MenuOpen", f.MenuOpen }, { "MenuDownload", f.MenuDownload },
                     { "MenuNewer", f.MenuNewer }, { "MenuUpload", f.MenuUpload },
                     { "MenuAdd", f.MenuAdd }, { "MenuDelete", f.MenuDelete },
                     { "CreateDirectory1", f.CreateDirectory1 }, { "RenameFile1", f.RenameFile1 },
                     { "MenuAddRemoves", f.MenuAddRemoves } }),
            fileMenu);
        const CommandState::PopupMenu &p = s.popup;
        QCOMPARE(
            enabled({ { "Open1", p.Open1 }, { "Download1", p.Download1 }, { "Rename1", p.Rename1 },
                { "DeleteFile1", p.DeleteFile1 }, { "AddtoWatchList1", p.AddtoWatchList1 } }),
            popup);
        QCOMPARE(enabled({ { "Stop", s.Stop }, { "Files1", s.refresh.Files1 },
                     { "All1", s.refresh.All1 } }),
            other);
    }
};

VREX_TEST_MAIN(TestCommandRules, QCoreApplication)
#include "tst_commandrules.moc"
