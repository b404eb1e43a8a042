#include "explorer/ListingView.h"

#include "explorer/DirectoryListModel.h"
#include "explorer/DirectoryMap.h"
#include "explorer/RowComparison.h"
#include "explorer/RowTexts.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidgetItem>

#include <algorithm>
#include <numeric>
#include <utility>
#include <vector>

namespace {

constexpr int kRowsPerRefresh = 6;
constexpr int kFlushInterval = 100; // ms

} // namespace

ListingView::ListingView(const Controls &controls, QObject *parent)
    : QObject(parent), ui(controls), rows(new DirectoryListModel(this)),
      flushTimer(new QTimer(this))
{
    ui.list->setModel(rows);
    // Names are edited only when a command asks, never by a click or a key.
    for (QAbstractItemView *view : { static_cast<QAbstractItemView *>(ui.list->detailsView()),
             static_cast<QAbstractItemView *>(ui.list->iconsView()) })
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Told after the editor has closed: the answer may be a message box.
    connect(rows, &DirectoryListModel::nameEdited, this,
        [this](QTreeWidgetItem *mapNode, const QString &name) {
            QTimer::singleShot(0, this, [=] { emit rowNameEdited(mapNode, name); });
        });
    flushTimer->setSingleShot(true);
    flushTimer->setInterval(kFlushInterval);
    connect(flushTimer, &QTimer::timeout, this, &ListingView::flushRows);
    for (TListView *list : { ui.list, ui.watchList, ui.queueList })
        observeList(list);
    connect(ui.list, &TListView::columnClicked, this, &ListingView::ListView1ColumnClick);
    ui.list->setSortIndicator(sortCol, ascending);
    connect(ui.list, &QWidget::customContextMenuRequested, this,
        [this](const QPoint &pos) { ui.popupMenu->popup(ui.list->mapToGlobal(pos)); });
    connect(ui.popupMenu, &QMenu::aboutToShow, this, &ListingView::PopupMenu1Popup);
    // The window's widgets may go before this object does; from then on
    // nothing here may touch them.
    for (QObject *control : std::initializer_list<QObject *> {
             ui.list, ui.watchList, ui.queueList, ui.pages, ui.statusBar, ui.popupMenu })
        connect(control, &QObject::destroyed, this, [this] { detached = true; });
}

ListingView::~ListingView()
{
    flushTimer->stop();
    // The widgets may be gone already; the cursor stack must still balance.
    if (busy)
        QApplication::restoreOverrideCursor();
}

// Key releases, mouse presses and selection changes of a list reach the
// command rules, whichever of its two views is shown.
void ListingView::observeList(TListView *list)
{
    for (QAbstractItemView *view : { static_cast<QAbstractItemView *>(list->detailsView()),
             static_cast<QAbstractItemView *>(list->iconsView()) }) {
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
    }
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &ListingView::EventClick);
}

bool ListingView::eventFilter(QObject *watched, QEvent *event)
{
    if (detached)
        return false;
    if (event->type() == QEvent::KeyPress && isViewOfList(watched)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        // Enter that ends the typing of a new name is the name's, not the row's.
        auto *view = static_cast<QAbstractItemView *>(watched);
        const bool editing = view->indexWidget(view->currentIndex()) != nullptr;
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !editing) {
            emit openRequested();
            return true;
        }
        if (key == Qt::Key_F2 && watched == ui.list->currentView()) {
            emit renameRequested();
            return true;
        }
    } else if (event->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat())
            FormKeyUp(key->key());
    } else if (event->type() == QEvent::MouseButtonPress) {
        QAbstractItemView *view = ui.list->currentView();
        if (watched == view->viewport())
            ListView1MouseDown(static_cast<QMouseEvent *>(event)->position().toPoint());
    } else if (event->type() == QEvent::MouseButtonRelease) {
        EventClick();
    }
    return QObject::eventFilter(watched, event);
}

bool ListingView::isViewOfList(QObject *object) const
{
    return object == ui.list->detailsView() || object == ui.list->iconsView();
}

void ListingView::setTreeFacts(TreeFactsSource source)
{
    factsSource = std::move(source);
}

ListingView::TreeFacts ListingView::treeFacts() const
{
    return factsSource ? factsSource() : TreeFacts();
}

void ListingView::setWatchSizeTotal(double bytes)
{
    watchSum = bytes;
}

void ListingView::setQueueSizeTotal(double bytes)
{
    queueSum = bytes;
}

void ListingView::clear()
{
    flushTimer->stop();
    rows->clear();
    sizeSum = 0;
    // A command given as the next fill starts is taken within its first rows.
    sinceRefresh.invalidate();
    if (!detached)
        refreshPanels();
    EventClick();
}

// A view lays out all its rows again after every insertion that the event
// loop sees, and the loop turns between the entries of a listing: rows
// therefore reach the views in batches, at most every kFlushInterval.
void ListingView::flushRows()
{
    flushTimer->stop();
    if (!detached)
        rows->announce();
}

void ListingView::appendRow(QTreeWidgetItem *mapNode, bool site)
{
    rows->append(mapNode, site);
    if (!flushTimer->isActive())
        flushTimer->start();
}

void ListingView::addEntryRow(QTreeWidgetItem *mapNode)
{
    TWin32FindData *entry = DirectoryMap::recordOf(mapNode);
    if (!entry)
        return;
    sizeSum += double(RowTexts::entrySize(entry));
    // The texts are made when the row is shown; the record's time is put
    // right now, as sorting and every later reader must see it so.
    RowTexts::correctFutureDate(*entry, today());
    appendRow(mapNode, false);
    rowRefresh();
}

void ListingView::addSiteRow(QTreeWidgetItem *mapSiteNode)
{
    if (DirectoryMap::recordOf(mapSiteNode))
        appendRow(mapSiteNode, true);
}

// One clock reading serves a second of rows.
QDate ListingView::today()
{
    if (!sinceToday.isValid() || sinceToday.elapsed() > 1000) {
        todayCache = RowTexts::todayUtc();
        sinceToday.start();
    }
    return todayCache;
}

// Keeps the panels and the window alive during a long listing without
// paying for a repaint per row. The panels follow every sixth row; a turn
// of the event loop costs far more than a row, so it is taken at most once a
// frame (about 8 ms).
void ListingView::rowRefresh()
{
    if (refreshCounter < kRowsPerRefresh - 1) {
        ++refreshCounter;
        return;
    }
    refreshCounter = 0;
    refreshPanels();
    if (sinceRefresh.isValid() && sinceRefresh.elapsed() < kRefreshIntervalMs)
        return;
    QCoreApplication::processEvents();
    sinceRefresh.start();
}

void ListingView::removeRowsWhere(const MapNodePredicate &shows)
{
    flushTimer->stop();
    for (QTreeWidgetItem *node : rows->removeRowsWhere(shows))
        sizeSum -= double(RowTexts::entrySize(DirectoryMap::recordOf(node)));
    refreshPanels();
    EventClick();
}

int ListingView::rowCount() const
{
    return rows->size();
}

QTreeWidgetItem *ListingView::rowMapNode(int row) const
{
    return rows->mapNode(row);
}

// A row counts as selected when any of its cells is: the icon styles show
// and select only the name column.
QList<int> ListingView::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : ui.list->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

QList<QTreeWidgetItem *> ListingView::selectedMapNodes() const
{
    QList<QTreeWidgetItem *> nodes;
    for (int row : selectedRows())
        nodes.append(rowMapNode(row));
    return nodes;
}

void ListingView::setNameEditable(const MapNodePredicate &editable)
{
    rows->setNameEditable(editable);
}

void ListingView::editRowName(QTreeWidgetItem *mapNode)
{
    flushRows();
    const int row = rows->rowOf(mapNode);
    if (row < 0 || detached)
        return;
    QAbstractItemView *view = ui.list->currentView();
    const QModelIndex index = rows->index(row, DirectoryListModel::Name);
    view->scrollTo(index);
    view->setCurrentIndex(index);
    view->edit(index);
}

void ListingView::setRowCaption(QTreeWidgetItem *mapNode, const QString &caption)
{
    rows->setShownName(mapNode, caption);
}

void ListingView::restoreRowCaption(QTreeWidgetItem *mapNode)
{
    rows->forgetShownName(mapNode);
}

void ListingView::selectRow(QTreeWidgetItem *mapNode)
{
    flushRows();
    const int row = rows->rowOf(mapNode);
    if (row < 0 || detached)
        return;
    QAbstractItemView *view = ui.list->currentView();
    view->setFocus();
    view->selectionModel()->setCurrentIndex(rows->index(row, DirectoryListModel::Name),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool ListingView::firstSelectedIsFolder(const QList<int> &rows) const
{
    const TWin32FindData *entry = DirectoryMap::recordOf(rowMapNode(rows.first()));
    return entry && isDirectory(*entry);
}

void ListingView::sortDirectoryList()
{
    flushRows();
    const int count = rows->size();
    const RowComparison comparison;
    const RowComparison::Key key = RowComparison::directoryColumnKey(sortCol);
    std::vector<RowComparison::SortKey> keys;
    keys.reserve(size_t(count));
    for (int row = 0; row < count; ++row) {
        const QString text = key == RowComparison::Key::Text ? rows->text(row, sortCol) : QString();
        keys.push_back(comparison.sortKey(DirectoryMap::recordOf(rowMapNode(row)), text, key));
    }
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return RowComparison::compareKeys(keys[size_t(a)], keys[size_t(b)], key, ascending) < 0;
    });
    rows->reorder(order);
}

// Sites come by name, whatever column the files were last sorted by.
void ListingView::sortSiteList()
{
    const int column = std::exchange(sortCol, 0);
    const bool up = std::exchange(ascending, true);
    sortDirectoryList();
    sortCol = column;
    ascending = up;
}

void ListingView::ListView1ColumnClick(int column)
{
    if (column == sortCol) {
        ascending = !ascending;
    } else {
        sortCol = column;
        ascending = true;
    }
    ui.list->setSortIndicator(sortCol, ascending);
    sortDirectoryList();
}

void ListingView::setSort(int column, bool up)
{
    if (column < 0 || column >= DirectoryListModel::ColumnCount)
        return;
    sortCol = column;
    ascending = up;
    ui.list->setSortIndicator(sortCol, ascending);
}

int ListingView::currentPage() const
{
    return ui.pages->currentIndex();
}

TListView *ListingView::listOfPage(int page) const
{
    switch (page) {
    case 1:
        return ui.watchList;
    case 2:
        return ui.queueList;
    default:
        return ui.list;
    }
}

void ListingView::refreshPanels()
{
    const int page = currentPage();
    const double total = page == 1 ? watchSum : page == 2 ? queueSum : sizeSum;
    const int rows = page == 0 ? rowCount() : listOfPage(page)->rowCount();
    ui.statusBar->setPanelText(1, tr("Objects: ") + QString::number(rows));
    ui.statusBar->setPanelText(2, tr("Size: ") + RowTexts::formatSize(total));
}

void ListingView::tellStatus(const QString &text)
{
    ui.statusBar->setPanelText(0, tr("Status: ") + text, true);
    ui.statusBar->setPanelToolTip(0, text);
}

void ListingView::setViewStyle(TViewStyle style)
{
    listOfPage(currentPage())->setViewStyle(style);
    emit viewStyleShown(style);
}

void ListingView::showViewStyleOfPage(int page)
{
    emit viewStyleShown(listOfPage(page)->viewStyle());
}

void ListingView::setBusy(bool on)
{
    // The override cursor is a stack: push and pop once per change only.
    if (on && !busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else if (!on && busy)
        QApplication::restoreOverrideCursor();
    busy = on;
    commands.Stop = on || transfersRunning;
    if (!detached)
        emit commandStateChanged(commands, CommandGroup::Busy);
}

void ListingView::setTransfersRunning(bool running)
{
    transfersRunning = running;
    commands.Stop = busy || running;
    if (!detached)
        emit commandStateChanged(commands, CommandGroup::Busy);
}

SelectionFacts ListingView::selectionFacts() const
{
    SelectionFacts facts;
    const QList<int> rows = selectedRows();
    facts.selectedRows = int(rows.size());
    facts.firstSelectedIsFolder = !rows.isEmpty() && firstSelectedIsFolder(rows);
    facts.watchSelection = ui.watchList->selectionModel()->hasSelection();
    facts.queueSelection = ui.queueList->selectionModel()->hasSelection();
    return facts;
}

// Only the decided groups change: the others keep what the window shows.
void ListingView::decide(CommandGroups groups)
{
    if (detached)
        return;
    const CommandState fresh
        = CommandRules::decide(treeFacts(), selectionFacts(), currentPage(), busy);
    if (groups.testFlag(CommandGroup::ExplorerBar))
        commands.bar = fresh.bar;
    if (groups.testFlag(CommandGroup::FileMenu))
        commands.file = fresh.file;
    if (groups.testFlag(CommandGroup::PopupMenu))
        commands.popup = fresh.popup;
    if (groups.testFlag(CommandGroup::RefreshItems))
        commands.refresh = fresh.refresh;
    emit commandStateChanged(commands, groups);
}

// Refresh's F5 works only while its item is enabled, menu shown or not.
void ListingView::EventClick()
{
    decide(CommandGroup::ExplorerBar | CommandGroup::RefreshItems);
}

void ListingView::showEmptySiteBookHint()
{
    const TreeFacts facts = treeFacts();
    ui.list->setPlaceholderText(facts.hasSites
            ? QString()
            : tr("No FTP sites yet. Choose Site, New Site\u2026 to add one."));
}

void ListingView::PopupMenu1Popup()
{
    decide(CommandGroup::PopupMenu);
}

void ListingView::File2Click()
{
    decide(CommandGroup::FileMenu);
}

void ListingView::View1Click()
{
    decide(CommandGroup::RefreshItems);
}

void ListingView::FormKeyUp(int key)
{
    if (key == Qt::Key_Delete)
        emit deleteRequested();
}

void ListingView::ListView1MouseDown(const QPoint &pos)
{
    hit = ui.list->currentView()->indexAt(pos).isValid();
    emit itemHitChanged(hit);
}
