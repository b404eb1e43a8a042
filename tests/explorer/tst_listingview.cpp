// The directory list as the window drives it: rows from map nodes, sorting by
// column, the object and size panels, view styles, the busy state and the
// rules that enable commands by what is selected.

#include "EntryBuilder.h"
#include "TestEnvironment.h"

#include "app/CommandStateView.h"
#include "app/MainLayout.h"
#include "app/MainMenu.h"
#include "app/ToolBarPanel.h"
#include "explorer/DirectoryMap.h"
#include "explorer/ListingView.h"
#include "explorer/RowComparison.h"
#include "explorer/RowTexts.h"
#include "platform/IconList.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include <deque>
#include <memory>

namespace {

using B = ToolBarPanel::Button;

// The main window's real layout, whose controls the listing view works on.
struct Window {
    QMainWindow main;
    MainLayout layout { &main };
    MainMenu *menu = layout.menu;
    ToolBarPanel *classic = layout.PanelTools;
    ToolBarPanel *explorer = layout.PanelExplorerTools;
    QStackedWidget *pages = layout.Notebook1;
    TListView *files = layout.ListView1;
    TListView *watches = layout.ListView2;
    TListView *queue = layout.ListView3;
    StatusPanels *status = layout.StatusBar1;
    QMenu *popup = layout.PopupMenu1;

    Window() { main.resize(720, 425); }

    ListingView::Controls controls() const { return layout.listingControls(); }
    // The window shows what the view decides.
    void show(ListingView &view) { new CommandStateView(layout, view, &main); }

    QAction *popupItem(const char *name) const { return popup->findChild<QAction *>(name); }
    bool enabled(B button) const { return explorer->button(button)->isEnabled(); }
};

void addTextRow(TListView *list, const QString &text)
{
    list->model()->appendRow(new QStandardItem(text));
}

QString grouped(const QString &digits)
{
    // The expected text in the system's own separator.
    QString out;
    for (int i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += QLocale::system().groupSeparator();
        out += digits.at(i);
    }
    return out;
}

} // namespace

class TestListingView : public QObject {
    Q_OBJECT

    std::unique_ptr<Window> w;
    std::unique_ptr<ListingView> view;
    std::unique_ptr<QTreeWidget> map;
    std::deque<TWin32FindData> records;
    QTreeWidgetItem *site = nullptr;
    ListingView::TreeFacts facts;

    // A map entry node as the site tree makes it: its text is its record's name.
    QTreeWidgetItem *addEntry(TWin32FindData entry, QTreeWidgetItem *parent = nullptr)
    {
        records.push_back(entry);
        return DirectoryMap::addEntryNode(parent ? parent : site, &records.back());
    }

    QTreeWidgetItem *addRow(TWin32FindData entry)
    {
        QTreeWidgetItem *node = addEntry(entry);
        view->addEntryRow(node);
        return node;
    }

    QStringList names() const
    {
        QStringList out;
        for (int row = 0; row < view->rowCount(); ++row)
            out << view->rowMapNode(row)->text(0);
        return out;
    }

    QString cell(int row, int column) const
    {
        view->flushRows();
        return w->files->shownModel()->index(row, column).data().toString();
    }

    QVariant cellData(int row, int column, int role) const
    {
        view->flushRows();
        return w->files->shownModel()->index(row, column).data(role);
    }

    void selectRows(std::initializer_list<int> rows)
    {
        view->flushRows();
        QItemSelectionModel *selection = w->files->selectionModel();
        selection->clearSelection();
        for (int row : rows)
            selection->select(w->files->shownModel()->index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // A directory of the current site, listed and shown.
    void showDirectory(bool listedHasChildren = true)
    {
        facts = {};
        facts.hasSites = true;
        facts.hasCurrent = true;
        facts.currentHasMapNode = true;
        facts.currentMapHasChildren = listedHasChildren;
        facts.hasSelectedNode = true;
    }

private slots:
    void init()
    {
        w = std::make_unique<Window>();
        view = std::make_unique<ListingView>(w->controls());
        w->show(*view);
        map = std::make_unique<QTreeWidget>();
        records.clear();
        TWin32FindData siteRecord = makeEntry("Demo server", 0, true);
        records.push_back(siteRecord);
        site = new QTreeWidgetItem(map.get(), { "127.0.0.1" });
        DirectoryMap::setRecord(site, &records.back());
        facts = {};
        view->setTreeFacts([this] { return facts; });
    }

    void cleanup()
    {
        view.reset();
        w.reset();
        map.reset();
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void rowsShowTheEntryAndReferToItsMapNode()
    {
        QTreeWidgetItem *folder = addRow(makeEntry("pub", 4096, true));
        QTreeWidgetItem *notes = addRow(makeEntry("notes.txt", 1234));
        QTreeWidgetItem *big = addRow(makeEntry("archive.xyz", 5000000000ULL));

        QCOMPARE(notes->text(0), QStringLiteral("notes.txt"));
        QCOMPARE(DirectoryMap::recordOf(notes), &records[records.size() - 2]);
        QCOMPARE(view->rowCount(), 3);
        QCOMPARE(view->rowMapNode(0), folder);
        QCOMPARE(view->rowMapNode(2), big);
        view->flushRows();
        QCOMPARE(view->rowMapNode(2), big);
        const QModelIndex name = w->files->shownModel()->index(1, 0);
        QCOMPARE(name.data().toString(), QStringLiteral("notes.txt"));
        QCOMPARE(name.data(ListingView::kMapNodeRole).value<quintptr>(), quintptr(notes));
        QCOMPARE(QStringList({ cell(0, 1), cell(0, 2) }), QStringList({ "", "File Folder" }));
        QCOMPARE(QStringList({ cell(2, 1), cell(2, 2) }),
            QStringList({ grouped("5000000000"), "XYZ File" }));
        QVERIFY(cellData(2, 1, Qt::TextAlignmentRole).toInt() & Qt::AlignRight);
        QCOMPARE(cellData(0, 0, ListingView::kImageIndexRole).toInt(),
            IconList::instance().folderIndex(false));
        QVERIFY(!cellData(0, 0, Qt::DecorationRole).value<QIcon>().isNull());

        // The folder's 4096 does not count.
        QCOMPARE(view->sizeTotal(), 5000001234.0);
        view->refreshPanels();
        QCOMPARE(w->status->panelText(1), QStringLiteral("Objects: 3"));
        QCOMPARE(w->status->panelText(2), "Size: " + grouped("5000001234"));
    }

    void clearingEmptiesRowsAndTotal()
    {
        addRow(makeEntry("a.bin", 700));
        view->clear();
        QCOMPARE(view->rowCount(), 0);
        QCOMPARE(w->status->panelText(1), QStringLiteral("Objects: 0"));
        QCOMPARE(w->status->panelText(2), QStringLiteral("Size: 0"));
    }

    void panelsRefreshAtEverySixthRowAcrossListings()
    {
        for (int i = 0; i < 5; ++i)
            addRow(makeEntry("f", 1));
        QCOMPARE(w->status->panelText(1), QStringLiteral("Objects:"));
        addRow(makeEntry("f", 1));
        QCOMPARE(w->status->panelText(1), QStringLiteral("Objects: 6"));

        // The count runs on through a new listing.
        for (int i = 0; i < 3; ++i)
            addRow(makeEntry("g", 1));
        view->clear();
        for (int i = 0; i < 2; ++i)
            addRow(makeEntry("h", 1));
        QCOMPARE(w->status->panelText(1), QStringLiteral("Objects: 0"));
        addRow(makeEntry("h", 1));
        QCOMPARE(w->status->panelText(1), QStringLiteral("Objects: 3"));
    }

    void panelsFollowThePageShown()
    {
        addRow(makeEntry("a.bin", 10));
        addTextRow(w->watches, "w1");
        addTextRow(w->watches, "w2");
        view->setWatchSizeTotal(2048);
        view->setQueueSizeTotal(0);
        w->pages->setCurrentIndex(1);
        view->refreshPanels();
        QCOMPARE(w->status->panelText(1), QStringLiteral("Objects: 2"));
        QCOMPARE(w->status->panelText(2), "Size: " + grouped("2048"));
        w->pages->setCurrentIndex(2);
        view->refreshPanels();
        QCOMPARE(w->status->panelText(1), QStringLiteral("Objects: 0"));
        QCOMPARE(w->status->panelText(2), QStringLiteral("Size: 0"));
        QCOMPARE(w->status->panelText(0), QStringLiteral("Status:"));
        QCOMPARE(w->status->panelText(3), QStringLiteral("Queue:"));
    }

    void columnClicksSortFoldersFirstThenLast()
    {
        const QDate today = RowTexts::todayUtc();
        auto dated = [](TWin32FindData e, const QDate &d) {
            setModified(e, d);
            return e;
        };
        addRow(dated(makeEntry("c.txt", 999), today.addDays(-10)));
        addRow(dated(makeEntry("beta", 0, true), today.addDays(-5)));
        addRow(dated(makeEntry("b.zzz", 5000000000ULL), today.addDays(-3)));
        addRow(dated(makeEntry("future.log", 10), today.addDays(3)));
        addRow(dated(makeEntry("a.kkk", 4000000000ULL), today.addDays(-20)));
        addRow(dated(makeEntry("Alpha", 0, true), today.addDays(-1)));

        view->sortDirectoryList();
        QCOMPARE(view->sortColumn(), 0);
        QCOMPARE(
            names(), QStringList({ "Alpha", "beta", "a.kkk", "b.zzz", "c.txt", "future.log" }));

        view->ListView1ColumnClick(1);
        QVERIFY(view->sortAscending());
        QCOMPARE(names().mid(2), QStringList({ "future.log", "c.txt", "a.kkk", "b.zzz" }));
        view->ListView1ColumnClick(1);
        QVERIFY(!view->sortAscending());
        QCOMPARE(names().mid(0, 4), QStringList({ "b.zzz", "a.kkk", "c.txt", "future.log" }));
        QCOMPARE(QSet<QString>({ names()[4], names()[5] }), QSet<QString>({ "Alpha", "beta" }));

        view->ListView1ColumnClick(2);
        QVERIFY(view->sortAscending());
        QCOMPARE(names().mid(2), QStringList({ "future.log", "a.kkk", "c.txt", "b.zzz" }));

        // The file three days ahead was shown as last year and sorts so.
        view->ListView1ColumnClick(3);
        QCOMPARE(
            names(), QStringList({ "beta", "Alpha", "future.log", "a.kkk", "c.txt", "b.zzz" }));
    }

    void sortingKeepsTheSelection()
    {
        addRow(makeEntry("b", 2));
        QTreeWidgetItem *a = addRow(makeEntry("a", 3));
        addRow(makeEntry("c", 1));
        selectRows({ 1 });
        QItemSelectionModel *selection = w->files->selectionModel();
        selection->setCurrentIndex(
            w->files->shownModel()->index(1, 0), QItemSelectionModel::NoUpdate);
        view->ListView1ColumnClick(1);
        QCOMPARE(names(), QStringList({ "c", "b", "a" }));
        QCOMPARE(view->selectedMapNodes(), QList<QTreeWidgetItem *>({ a }));
        // The whole row stays selected and current, in every column.
        QCOMPARE(selection->selectedIndexes().size(), 4);
        QCOMPARE(selection->currentIndex().row(), 2);
    }

    void aHeaderClickSortsTheList()
    {
        addRow(makeEntry("small", 1));
        addRow(makeEntry("large", 100));
        emit w->files->columnClicked(1);
        QCOMPARE(names(), QStringList({ "small", "large" }));
        emit w->files->columnClicked(1);
        QCOMPARE(names(), QStringList({ "large", "small" }));
    }

    void siteRowsKeepFileCommandsOff()
    {
        records.push_back(makeEntry("Other site", 0, true));
        auto *other = new QTreeWidgetItem(map.get(), { "ftp.example.org" });
        DirectoryMap::setRecord(other, &records.back());
        view->addSiteRow(site);
        view->addSiteRow(other);
        QCOMPARE(QStringList({ cell(0, 0), cell(0, 1), cell(0, 2), cell(0, 3) }),
            QStringList({ "Demo server", "", "FTP Site", "" }));
        QCOMPARE(
            cellData(1, 0, ListingView::kImageIndexRole).toInt(), IconList::instance().siteIndex());

        facts = {};
        facts.hasSites = true;
        facts.hasCurrent = true;
        facts.currentIsRoot = true;
        facts.hasSelectedNode = true;
        selectRows({ 0 });
        for (B b : { B::Open, B::Download, B::Watch, B::Delete, B::Send })
            QVERIFY(!w->enabled(b));
        view->PopupMenu1Popup();
        for (const char *item :
            { "Open1", "Download1", "Rename1", "DeleteFile1", "AddtoWatchList1" })
            QVERIFY2(!w->popupItem(item)->isEnabled(), item);
    }

    void toolBarAndPopupFollowTheSelectedRows()
    {
        showDirectory();
        addRow(makeEntry("sub", 0, true));
        addRow(makeEntry("a.txt", 1));
        addRow(makeEntry("b.txt", 2));

        selectRows({ 1, 2 });
        for (B b : { B::Open, B::Download, B::Watch, B::Send })
            QVERIFY(w->enabled(b));
        QVERIFY(!w->enabled(B::Delete));
        QVERIFY(!w->enabled(B::Edit));
        emit w->popup->aboutToShow();
        for (const char *item : { "Open1", "Download1", "AddtoWatchList1" })
            QVERIFY2(w->popupItem(item)->isEnabled(), item);
        QVERIFY(!w->popupItem("Rename1")->isEnabled());
        QVERIFY(!w->popupItem("DeleteFile1")->isEnabled());

        selectRows({ 2 });
        QVERIFY(w->enabled(B::Delete));
        view->PopupMenu1Popup();
        QVERIFY(w->popupItem("Rename1")->isEnabled());
        QVERIFY(w->popupItem("DeleteFile1")->isEnabled());

        // The first selected row decides: a folder turns everything off but
        // the download, which takes folders whole.
        selectRows({ 0, 2 });
        for (B b : { B::Open, B::Watch, B::Delete })
            QVERIFY(!w->enabled(b));
        QVERIFY(w->enabled(B::Download));
        view->PopupMenu1Popup();
        QVERIFY(!w->popupItem("Open1")->isEnabled());
        QVERIFY(w->popupItem("Download1")->isEnabled());
        selectRows({});
        view->PopupMenu1Popup();
        QVERIFY(!w->popupItem("Download1")->isEnabled());
    }

    void rightClickOnARowOpensThePopupWithItsRules()
    {
        showDirectory();
        addRow(makeEntry("a.txt", 1));
        selectRows({ 0 });
        w->main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w->main));
        QWidget *viewport = w->files->detailsView()->viewport();
        const QPoint pos
            = w->files->detailsView()->visualRect(w->files->shownModel()->index(0, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
        QApplication::sendEvent(viewport, &event);
        QTRY_VERIFY(w->popup->isVisible());
        QVERIFY(w->popupItem("Rename1")->isEnabled());
        QCOMPARE(w->popupItem("AddtoWatchList1")->text(), QStringLiteral("&Add to Watch List"));
        w->popup->hide();
    }

    void aClickInTheIconStylesSelectsForTheCommands()
    {
        showDirectory();
        addRow(makeEntry("a.txt", 1));
        view->flushRows();
        view->setViewStyle(TViewStyle::vsIcon);
        w->main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w->main));
        QListView *icons = w->files->iconsView();
        const QRect rect = icons->visualRect(w->files->shownModel()->index(0, 0));
        QTest::mouseClick(icons->viewport(), Qt::LeftButton, {}, rect.center());
        QVERIFY(view->itemHit());
        QCOMPARE(view->selectedMapNodes().size(), 1);
        QCOMPARE(w->files->selectionModel()->selectedRows().size(), 1);
        QVERIFY(w->enabled(B::Open));
        QVERIFY(w->enabled(B::Delete));
    }

    void toolBarFollowsTheTreeWithoutRowsSelected()
    {
        showDirectory(true);
        facts.currentIsSite = true;
        facts.selectedIsSite = true;
        view->EventClick();
        QVERIFY(w->enabled(B::Edit));
        QVERIFY(w->enabled(B::Delete)); // a site with its directories

        facts.currentIsSite = facts.selectedIsSite = false;
        view->EventClick();
        QVERIFY(!w->enabled(B::Edit));
        QVERIFY(!w->enabled(B::Delete)); // a listed folder with entries

        facts.currentMapHasChildren = false;
        view->EventClick();
        QVERIFY(w->enabled(B::Delete)); // an empty folder

        facts.hasSelectedNode = false;
        view->EventClick();
        QVERIFY(!w->enabled(B::Delete));
        QVERIFY(w->enabled(B::Send));

        facts = {};
        facts.hasSites = true; // nothing opened yet
        view->EventClick();
        QVERIFY(!w->enabled(B::Send));
    }

    void otherPagesEnableByTheirOwnSelection()
    {
        addTextRow(w->watches, "w1");
        addTextRow(w->queue, "q1");
        w->pages->setCurrentIndex(1);
        view->EventClick();
        QVERIFY(!w->enabled(B::Open));
        w->watches->selectionModel()->select(
            w->watches->model()->index(0, 0), QItemSelectionModel::Select);
        for (B b : { B::Delete, B::Open, B::Download })
            QVERIFY(w->enabled(b));
        QVERIFY(!w->enabled(B::Watch));

        w->pages->setCurrentIndex(2);
        w->queue->selectionModel()->select(
            w->queue->model()->index(0, 0), QItemSelectionModel::Select);
        QVERIFY(w->enabled(B::Delete));
        QVERIFY(!w->enabled(B::Open));
        QVERIFY(!w->enabled(B::Download));
    }

    void fileMenuFollowsPageAndSelection()
    {
        MainMenu *m = w->menu;
        showDirectory(true);
        addRow(makeEntry("a.txt", 1));
        addRow(makeEntry("b.txt", 1));
        emit m->File1->aboutToShow();
        QVERIFY(m->CreateDirectory1->isEnabled());
        QVERIFY(m->MenuUpload->isEnabled());
        QVERIFY(m->MenuDownload->isEnabled());
        QVERIFY(!m->MenuDelete->isEnabled());
        QVERIFY(!m->MenuOpen->isEnabled());
        QCOMPARE(m->MenuAdd->text(), QStringLiteral("Add to &Watch List"));

        selectRows({ 0 });
        view->File2Click();
        for (QAction *a : { m->MenuOpen, m->MenuDownload, m->MenuAdd, m->MenuDelete })
            QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
        QVERIFY(!m->MenuNewer->isEnabled());
        QVERIFY(m->RenameFile1->isEnabled()); // one file: it can be renamed

        facts.currentIsRoot = true;
        selectRows({});
        view->File2Click();
        QVERIFY(!m->CreateDirectory1->isEnabled());
        QVERIFY(!m->MenuUpload->isEnabled());

        w->pages->setCurrentIndex(1);
        view->File2Click();
        QCOMPARE(m->MenuAdd->text(), QStringLiteral("Remove from &Watch List"));
        QVERIFY(!m->MenuNewer->isEnabled());
        addTextRow(w->watches, "w1");
        w->watches->selectionModel()->select(
            w->watches->model()->index(0, 0), QItemSelectionModel::Select);
        view->File2Click();
        for (QAction *a : { m->MenuOpen, m->MenuDownload, m->MenuNewer, m->MenuAdd })
            QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));

        w->pages->setCurrentIndex(2);
        view->File2Click();
        QCOMPARE(m->MenuAdd->text(), QStringLiteral("Add to &Watch List"));
        QVERIFY(!m->MenuAdd->isEnabled());
        QVERIFY(m->MenuDownload->isEnabled());
    }

    void refreshItemsFollowConnectionAndSites()
    {
        MainMenu *m = w->menu;
        emit m->View1->aboutToShow();
        QVERIFY(!m->Files1->isEnabled());
        QVERIFY(!m->All1->isEnabled());
        facts.hasConnectionHost = true;
        facts.hasSites = true;
        // F5 must work without the menu having been opened.
        view->EventClick();
        QVERIFY(m->Files1->isEnabled());
        QVERIFY(m->All1->isEnabled());
    }

    void busyStateSwitchesStopSendAndCursor()
    {
        QVERIFY(!view->isBusy());
        view->setBusy(true);
        view->setBusy(true);
        QVERIFY(view->isBusy());
        for (ToolBarPanel *bar : { w->classic, w->explorer }) {
            QVERIFY(bar->button(B::Stop)->isEnabled());
            QVERIFY(!bar->button(B::Send)->isEnabled());
        }
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        view->setBusy(false);
        QVERIFY(!view->isBusy());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        view->setBusy(false);
        for (ToolBarPanel *bar : { w->classic, w->explorer }) {
            QVERIFY(!bar->button(B::Stop)->isEnabled());
            QVERIFY(bar->button(B::Send)->isEnabled());
        }
        // Destroyed while busy: the cursor comes back all the same.
        view->setBusy(true);
    }

    void viewStylesPerListWithIndicators()
    {
        MainMenu *m = w->menu;
        m->List1->trigger();
        QCOMPARE(w->files->viewStyle(), TViewStyle::vsList);
        QVERIFY(m->List1->isChecked());
        QVERIFY(!m->Details1->isChecked());
        for (ToolBarPanel *bar : { w->classic, w->explorer })
            QVERIFY(bar->button(B::List)->isChecked());

        w->pages->setCurrentIndex(1);
        view->showViewStyleOfPage(1);
        QVERIFY(m->Details1->isChecked());
        QVERIFY(w->classic->button(B::Details)->isChecked());
        w->explorer->button(B::Large)->click();
        QCOMPARE(w->watches->viewStyle(), TViewStyle::vsIcon);
        QCOMPARE(w->files->viewStyle(), TViewStyle::vsList);
        QVERIFY(m->LargeIcons1->isChecked());
        QVERIFY(w->classic->button(B::Large)->isChecked());

        w->pages->setCurrentIndex(0);
        view->showViewStyleOfPage(0);
        QVERIFY(m->List1->isChecked());
        QVERIFY(!m->LargeIcons1->isChecked());
    }

    void deleteKeyOnAnyListAsksForDelete()
    {
        QSignalSpy spy(view.get(), &ListingView::deleteRequested);
        QTest::keyRelease(w->files->detailsView(), Qt::Key_Delete);
        QTest::keyRelease(w->queue->detailsView(), Qt::Key_Delete);
        QTest::keyRelease(w->files->detailsView(), Qt::Key_A);
        QCOMPARE(spy.count(), 2);
    }

    void mousePressTellsWhetherARowWasHit()
    {
        addRow(makeEntry("a.txt", 1));
        view->flushRows();
        w->main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w->main));
        QSignalSpy spy(view.get(), &ListingView::itemHitChanged);
        QTreeView *details = w->files->detailsView();
        const QRect rowRect = details->visualRect(w->files->shownModel()->index(0, 0));
        QTest::mousePress(details->viewport(), Qt::LeftButton, {}, rowRect.center());
        QVERIFY(view->itemHit());
        QTest::mouseRelease(details->viewport(), Qt::LeftButton, {}, rowRect.center());
        QTest::mousePress(details->viewport(), Qt::LeftButton, {},
            QPoint(rowRect.center().x(), details->viewport()->height() - 3));
        QVERIFY(!view->itemHit());
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
    }

    void rowsOfDeletedNodesGo()
    {
        QTreeWidgetItem *a = addRow(makeEntry("a", 100));
        QTreeWidgetItem *sub = addRow(makeEntry("sub", 0, true));
        QTreeWidgetItem *b = addRow(makeEntry("b", 20));
        QTreeWidgetItem *c = addRow(makeEntry("c", 3));
        const QSet<QTreeWidgetItem *> gone = { a, b, c };
        view->removeRowsWhere([&](QTreeWidgetItem *node) { return gone.contains(node); });
        QCOMPARE(view->rowCount(), 1);
        QCOMPARE(view->rowMapNode(0), sub);
        QCOMPARE(view->sizeTotal(), 0.0);
        QCOMPARE(w->status->panelText(1), QStringLiteral("Objects: 1"));
        QCOMPARE(view->rowMapNode(5), nullptr);
    }

    void rowsReachTheViewsInBatchesAndClearingDropsWaitingOnes()
    {
        QAbstractItemModel *model = w->files->shownModel();
        QTreeWidgetItem *first = addRow(makeEntry("a", 1));
        addRow(makeEntry("b", 2));
        QCOMPARE(view->rowCount(), 2);
        QCOMPARE(view->rowMapNode(0), first);
        QTRY_COMPARE(model->rowCount(), 2);
        addRow(makeEntry("c", 3));
        view->clear();
        QCOMPARE(view->rowCount(), 0);
        QCOMPARE(view->rowMapNode(0), nullptr);
        // The next batch brings the new row, and only it: the dropped one
        // never arrives.
        QTreeWidgetItem *d = addRow(makeEntry("d", 4));
        QTRY_COMPARE(model->rowCount(), 1);
        QCOMPARE(model->index(0, 0).data(ListingView::kMapNodeRole).value<quintptr>(), quintptr(d));
    }

    void windowGoingFirstLeavesTheViewHarmless()
    {
        showDirectory();
        addRow(makeEntry("a.txt", 1));
        selectRows({ 0 });
        addRow(makeEntry("b.txt", 1)); // still waiting for the views
        view->setBusy(true);
        w.reset();
        view->EventClick();
        view->flushRows(); // what the batch timer does when it fires
        QVERIFY(view->isBusy());
        view->setBusy(false);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        view->setBusy(true);
        view.reset(); // gives the busy cursor back
    }

    // Speed is the benchmark's (bench/explorer); this proves the order and
    // that a sorted list empties.
    void twentyThousandRowsSortCorrectly()
    {
        const int count = 20000;
        // Shown, so the views lay the rows out as they arrive.
        w->main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w->main));
        for (int i = 0; i < count; ++i) {
            const QByteArray name = QByteArray("file") + QByteArray::number((i * 7919) % count)
                + (i % 3        ? ".txt"
                        : i % 5 ? ".kkk"
                                : "");
            TWin32FindData e
                = makeEntry(name.constData(), uint64_t(i % 977) << (i % 40), i % 50 == 0);
            e.ftLastWriteTime = { uint32_t(i * 2654435761u), 0x01d00000u + uint32_t(i % 7) };
            addRow(e);
        }
        const RowComparison cmp;
        for (int column = 0; column < 4; ++column) {
            view->ListView1ColumnClick(column);
            const auto key = RowComparison::directoryColumnKey(column);
            for (int row = 1; row < view->rowCount(); ++row) {
                const TWin32FindData *p = DirectoryMap::recordOf(view->rowMapNode(row - 1));
                const TWin32FindData *q = DirectoryMap::recordOf(view->rowMapNode(row));
                if (cmp.compare(
                        p, cell(row - 1, column), q, cell(row, column), key, view->sortAscending())
                    > 0)
                    QFAIL(qPrintable(
                        QString("column %1 out of order at row %2").arg(column).arg(row)));
            }
        }
        QCOMPARE(w->files->detailsView()->model()->rowCount(), count);
        view->clear();
        QCOMPARE(w->files->detailsView()->model()->rowCount(), 0);
        QCOMPARE(view->rowCount(), 0);
    }
};

VREX_TEST_MAIN(TestListingView, QApplication)
#include "tst_listingview.moc"
