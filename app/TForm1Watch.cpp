// The main window's watch list: what it takes from the site explorer and
// the queue, and the commands that reach it from menus and tool bars.

#include "app/MainMenu.h"
#include "app/TForm1.h"

#include "app/ToolBarPanel.h"
#include "dispatch/TransferLanes.h"
#include "explorer/DirectoryMap.h"
#include "explorer/FileCommands.h"
#include "explorer/RowComparison.h"
#include "explorer/RowTexts.h"
#include "explorer/SiteTree.h"
#include "transfers/TFormNewer.h"
#include "transfers/TransferQueue.h"
#include "transfers/WatchList.h"

#include <QMenu>
#include <QStackedWidget>
#include <QToolButton>

void TForm1::createWatchList()
{
    WatchList::Services s;
    s.rowTexts = [](TWin32FindData &entry) {
        return WatchList::RowTexts { RowTexts::sizeText(&entry), RowTexts::typeName(&entry),
            RowTexts::modifiedText(&entry), RowTexts::iconIndex(&entry) };
    };
    s.compareRows = [comparison = std::make_shared<RowComparison>()](const TWin32FindData &a,
                        const QString &textA, const TWin32FindData &b, const QString &textB,
                        int column, bool ascending) {
        using Key = RowComparison::Key;
        const Key key = column == WatchList::Size ? Key::Size
            : column == WatchList::Modified       ? Key::Modified
                                                  : Key::Text;
        // The name column compares the entries' own names, not the paths.
        if (column == WatchList::Name)
            return comparison->compare(
                &a, DirectoryMap::nameOf(a), &b, DirectoryMap::nameOf(b), key, ascending);
        return comparison->compare(&a, textA, &b, textB, key, ascending);
    };
    s.sizeTotalChanged = [this](double bytes) {
        listingView->setWatchSizeTotal(bytes);
        listingView->refreshPanels();
    };
    s.fileSelection = [this] { return watchSelection(); };
    s.addQueueItem = [this](QueueItem item) { transferQueue->addItem(std::move(item)); };
    s.handOver = [this] { transferQueue->afterAdding(); };
    s.newerChecksQueued = [this](const std::vector<WatchRecord> &records) {
        std::vector<NewerFolders::File> files;
        for (const WatchRecord &r : records)
            files.push_back({ r.host, r.login, r.name });
        transferLanes->planNewerChecks(files);
    };
    s.saveAs = [this](const QString &remotePath) { return fileCommands->saveAs(remotePath); };
    watchList = new WatchList({ ui.ListView2, ui.PopupMenu2 }, s, this);
}

// The selected rows of the file list, with the site they belong to.
WatchList::FileSelection TForm1::watchSelection() const
{
    WatchList::FileSelection selection;
    const QList<QTreeWidgetItem *> rows = listingView->selectedMapNodes();
    if (rows.isEmpty())
        return selection;
    if (const TSiteRecord *site = siteTree->siteRecordOf(rows.first())) {
        selection.host = site->FTPSite;
        selection.login = site->Login;
        selection.password = site->Password;
    }
    selection.currentPath = siteTree->currentPath();
    for (QTreeWidgetItem *node : rows) {
        WatchList::FileSelection::Row row;
        const TWin32FindData *entry = DirectoryMap::recordOf(node);
        row.caption = node->text(0);
        row.hasEntry = entry != nullptr;
        if (entry)
            row.entry = *entry;
        selection.rows << row;
    }
    return selection;
}

void TForm1::connectWatchCommands()
{
    MainMenu *m = ui.menu;
    connect(m->MenuAdd, &QAction::triggered, this, &TForm1::MenuAddClick);
    connect(m->MenuNewer, &QAction::triggered, watchList, &WatchList::DownloadifChanged1Click);
    if (QAction *add = ui.PopupMenu1->findChild<QAction *>(QStringLiteral("AddtoWatchList1")))
        connect(add, &QAction::triggered, watchList, &WatchList::AddtoWatchList1Click);
    for (ToolBarPanel *bar : { ui.PanelTools, ui.PanelExplorerTools })
        connect(bar->button(ToolBarPanel::Watch), &QToolButton::clicked, watchList,
            &WatchList::AddtoWatchList1Click);
}

void TForm1::MenuAddClick()
{
    if (ui.Notebook1->currentIndex() == 0)
        watchList->AddtoWatchList1Click();
    else
        watchList->RemovefromWatchList1Click();
}
