#include "transfers/TransferQueue.h"

#include "ftp/DownloadFile.h"
#include "platform/Prompts.h"
#include "transfers/QueueRowDelegate.h"
#include "transfers/QueueRules.h"
#include "transfers/TFormStartQueue.h"
#include "widgets/PasswordText.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QAction>
#include <QIcon>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

namespace {

QIcon queueGlyph(bool running)
{
    return QIcon(running ? QStringLiteral(":/icons/QGO.svg") : QStringLiteral(":/icons/QSTOP.svg"));
}

} // namespace

TransferQueue::TransferQueue(const Controls &controls, QObject *parent)
    : QObject(parent), ui(controls), Timer1(new QTimer(this)), model(new QueueModel(this))
{
    // The list shows the queue's own rows, made on demand; it keeps the
    // columns the layout gave it.
    ui.list->setModel(model);
    ui.list->detailsView()->setItemDelegate(new QueueRowDelegate(ui.list->detailsView()));
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(15000);
    connect(Timer1, &QTimer::timeout, this, &TransferQueue::Timer1Timer);
    startTime = now().time();
    connect(ui.list, &TListView::columnClicked, this, &TransferQueue::ListView3ColumnClick);
    if (ui.popupMenu) {
        connect(ui.popupMenu, &QMenu::aboutToShow, this, &TransferQueue::PopupMenu4Popup);
        connect(ui.list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { ui.popupMenu->popup(ui.list->mapToGlobal(pos)); });
    }
    if (ui.removeFromQueue1)
        connect(
            ui.removeFromQueue1, &QAction::triggered, this, &TransferQueue::RemovefromQueue1Click);
    if (ui.retry)
        connect(ui.retry, &QAction::triggered, this, &TransferQueue::RetryClick);
    holdRepaintsWhileBusy();
}

// A fast queue changes its rows hundreds of times a second; the list is
// repainted at most ten times a second, which is all anyone can see.
void TransferQueue::holdRepaintsWhileBusy()
{
    auto *release = new QTimer(this);
    release->setSingleShot(true);
    release->setInterval(100);
    // The whole list with its scroll bars and header: each row removed moves
    // the one and lays out the columns again under the other.
    QWidget *list = ui.list;
    connect(release, &QTimer::timeout, list, [list] { list->setUpdatesEnabled(true); });
    auto hold = [release, list] {
        if (release->isActive())
            return;
        list->setUpdatesEnabled(false);
        release->start();
    };
    connect(model, &QAbstractItemModel::rowsRemoved, this, hold);
    connect(model, &QAbstractItemModel::dataChanged, this, hold);
}

void TransferQueue::addColumns(TListView *list)
{
    list->addColumn(tr("Name"), 200);
    list->addColumn(tr("Status"), 100);
    list->addColumn(tr("Size"), 75, Qt::AlignRight);
    list->addColumn(tr("Type"), 100);
    list->addColumn(tr("Modified"), 125);
    list->addColumn(tr("Site Name"), 150);
    list->addColumn(tr("Login"), 100);
    list->addColumn(tr("Password"), 100);
    list->addColumn(tr("Actions"), 150);
    list->addColumn(tr("Save File"), 350);
}

void TransferQueue::setServices(const Services &s)
{
    services = s;
    model->setRowTexts(services.rowTexts);
    startTime = now().time();
}

void TransferQueue::setClock(std::function<QDateTime()> clock)
{
    services.clock = std::move(clock);
}

bool TransferQueue::isArmed() const
{
    return Timer1->isActive();
}

QDateTime TransferQueue::now() const
{
    return services.clock ? services.clock() : QDateTime::currentDateTime();
}

uint64_t TransferQueue::addItem(QueueItem item)
{
    item.id = nextId++;
    item.state = QueueItemState::Waiting;
    item.failure.clear();
    total += item.size();
    const uint64_t id = item.id;
    model->append(std::move(item));
    totalChanged();
    return id;
}

uint64_t TransferQueue::restoreItem(QueueItem item)
{
    const QueueItemState state = item.state;
    const QString failure = item.failure;
    const uint64_t id = addItem(std::move(item));
    if (state == QueueItemState::Failed)
        setState(rowOf(id), state, failure);
    return id;
}

std::vector<QueueItem> TransferQueue::items() const
{
    std::vector<QueueItem> all;
    all.reserve(size_t(count()));
    for (int row = 0; row < count(); ++row)
        all.push_back(model->at(row));
    return all;
}

void TransferQueue::afterAdding()
{
    if (stopped)
        startQueue(true);
    else
        queueStep(false);
}

bool TransferQueue::startQueue(bool ask)
{
    if (ask)
        askStartDialog();
    else
        stopped = false;
    if (stopped) {
        queueStep(false);
        return false;
    }
    showQueueState(true);
    queueStep(false);
    return true;
}

bool TransferQueue::askStartDialog()
{
    if (!startDialog)
        return false;
    startDialog->prepare(isArmed(), startTime, now().time());
    if (startDialog->exec() != QDialog::Accepted)
        return false;
    applyStartChoice(startDialog->choice(), startDialog->chosenTime());
    return true;
}

void TransferQueue::applyStartChoice(StartChoice choice, const QTime &time)
{
    switch (choice) {
    case StartChoice::Later:
        startTime = time;
        Timer1->start();
        break;
    case StartChoice::Now:
        Timer1->stop();
        stopped = false;
        break;
    case StartChoice::Never:
        Timer1->stop();
        break;
    }
}

void TransferQueue::stopQueue()
{
    Timer1->stop();
    stopped = true;
    showQueueState(false);
    queueStep(false);
}

void TransferQueue::StopQueue1Click()
{
    if (stopped)
        startQueue(true);
    else
        stopQueue();
}

bool TransferQueue::queueStep(bool continuing)
{
    const bool busy = port.operationRunning && port.operationRunning();
    bool started = false;
    if (!closing && (continuing || !busy)) {
        current = 0;
        started = startWaitingItems();
        const bool idle = model->countIn(QueueItemState::InProgress) == 0;
        if (!started && !stopped && newerRun && idle) {
            newerRun = false;
            if (services.showWatchList)
                services.showWatchList();
        }
    }
    if (!started && model->countIn(QueueItemState::InProgress) == 0)
        endOfRun();
    refreshPanel();
    return started;
}

// From the first waiting row on, as many as there is room for.
bool TransferQueue::startWaitingItems()
{
    bool started = false;
    for (;;) {
        if (started && !port.hasRoom)
            break;
        const int row = firstWaitingRow();
        if (row < 0)
            break;
        // Everything the start needs is copied first: the transfer may end,
        // and this step run again, before startTransfer returns.
        const QueueItem item = model->at(row);
        if (item.checksNewer())
            newerRun = true;
        if (stopped || item.transferWord().isEmpty() || !port.startTransfer
            || (port.hasRoom && !port.hasRoom())) {
            if (!started)
                current = item.id;
            break;
        }
        current = item.id;
        setState(row, QueueItemState::InProgress);
        ranItems = true;
        const bool took = port.startTransfer(item);
        const int still = rowOf(item.id);
        if (!took && still >= 0 && model->at(still).state == QueueItemState::InProgress)
            setState(still, QueueItemState::Waiting);
        if (!took)
            break;
        started = true;
    }
    return started;
}

// Once per run, as the last item has ended.
void TransferQueue::endOfRun()
{
    if (!ranItems)
        return;
    ranItems = false;
    if (!services.queueRunEnded)
        return;
    // The panel says idle only once what the run wrote is on the disk.
    flushing = true;
    QPointer<QObject> alive(this);
    services.queueRunEnded([this, alive] {
        if (!alive)
            return;
        flushing = false;
        refreshPanel();
    });
}

int TransferQueue::count() const
{
    return model->count();
}

const QueueItem &TransferQueue::itemAt(int row) const
{
    return model->at(row);
}

int TransferQueue::rowOf(uint64_t id) const
{
    return model->rowOf(id);
}

int TransferQueue::firstWaitingRow() const
{
    return model->firstIn(QueueItemState::Waiting);
}

int TransferQueue::waitingCount() const
{
    return model->countIn(QueueItemState::Waiting);
}

int TransferQueue::firstInProgressRow() const
{
    return model->firstIn(QueueItemState::InProgress);
}

int TransferQueue::firstFailedRow() const
{
    return model->firstIn(QueueItemState::Failed);
}

QString TransferQueue::statusOfRow(int row) const
{
    if (row < 0 || row >= count())
        return QString();
    return QueueRules::statusText(model->at(row).state);
}

void TransferQueue::setState(int row, QueueItemState state, const QString &failure)
{
    model->setState(row, state, failure);
}

void TransferQueue::removeRow(int row)
{
    if (row < 0 || row >= count())
        return;
    const QueueItem &item = model->at(row);
    total -= std::min(total, item.size());
    if (item.id == current)
        current = 0;
    model->removeAt(row);
    totalChanged();
}

void TransferQueue::discardRow(int row)
{
    if (row < 0 || row >= count())
        return;
    const QueueItem &item = model->at(row);
    if (item.isDownload())
        DownloadFile::removePartial(item.saveFile);
    removeRow(row);
}

bool TransferQueue::finishCurrentItem()
{
    const int row = rowOf(current);
    if (row < 0 || model->at(row).state != QueueItemState::InProgress)
        return false;
    removeRow(row);
    return true;
}

void TransferQueue::failCurrentItem(const QString &reason)
{
    const int row = rowOf(current);
    if (row < 0 || model->at(row).state != QueueItemState::InProgress)
        return;
    setState(row, QueueItemState::Failed, reason);
    current = 0;
    refreshPanel();
}

// The question is about the item whose transfer the Stop ended, not about
// whatever row happens to read "In Progress".
void TransferQueue::afterStopCommand()
{
    afterStopCommand(std::vector<uint64_t> { current });
}

void TransferQueue::afterStopCommand(const std::vector<uint64_t> &ids)
{
    stopQueue();
    std::vector<uint64_t> stopped;
    QStringList names;
    for (uint64_t id : ids) {
        const int row = rowOf(id);
        if (row < 0 || model->at(row).state != QueueItemState::InProgress)
            continue;
        stopped.push_back(id);
        const QString &name = model->at(row).name;
        names << name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    }
    if (stopped.empty())
        return;
    const bool remove = Prompts::askYesNo(QueueRules::stopQuestion(names));
    // Rows may have come and gone while the question was shown.
    for (uint64_t id : stopped) {
        const int row = rowOf(id);
        if (row < 0)
            continue;
        if (remove)
            discardRow(row);
        else
            setState(row, QueueItemState::Waiting);
    }
    refreshPanel();
}

bool TransferQueue::finishItem(uint64_t id)
{
    const int row = rowOf(id);
    if (row < 0 || model->at(row).state != QueueItemState::InProgress)
        return false;
    removeRow(row);
    return true;
}

void TransferQueue::failItem(uint64_t id, const QString &reason)
{
    const int row = rowOf(id);
    if (row < 0 || model->at(row).state != QueueItemState::InProgress)
        return;
    setState(row, QueueItemState::Failed, reason);
    if (id == current)
        current = 0;
    refreshPanel();
}

void TransferQueue::requeueItem(uint64_t id)
{
    const int row = rowOf(id);
    if (row >= 0 && model->at(row).state == QueueItemState::InProgress)
        setState(row, QueueItemState::Waiting);
}

std::vector<uint64_t> TransferQueue::inProgressIds() const
{
    std::vector<uint64_t> ids;
    for (int row = model->firstIn(QueueItemState::InProgress); row >= 0 && row < count(); ++row)
        if (model->at(row).state == QueueItemState::InProgress)
            ids.push_back(model->at(row).id);
    return ids;
}

void TransferQueue::RemovefromQueue1Click()
{
    QItemSelectionModel *selection = ui.list->selectionModel();
    if (!selection->hasSelection())
        return;
    if (!Prompts::askYesNo(tr("Are you sure you want to remove the selected items?")))
        return;
    const bool running = port.transferRunning && port.transferRunning();
    for (int row = count() - 1; row >= 0; --row) {
        if (!selection->isRowSelected(row, QModelIndex()))
            continue;
        const QueueItem &item = model->at(row);
        const bool ownTransferRuns = item.state == QueueItemState::InProgress
            && (port.itemRunning ? port.itemRunning(item.id) : running && item.id == current);
        if (QueueRules::mayRemove(row, stopped, ownTransferRuns))
            discardRow(row);
        else
            Prompts::error(tr("You cannot remove the active file from the queue.  "
                              "Press Stop, then delete."));
    }
}

// Failed rows wait again, and the queue goes on as after adding them.
void TransferQueue::RetryClick()
{
    QItemSelectionModel *selection = ui.list->selectionModel();
    bool any = false;
    for (const QModelIndex &index : selection->selectedRows()) {
        if (model->at(index.row()).state != QueueItemState::Failed)
            continue;
        setState(index.row(), QueueItemState::Waiting);
        any = true;
    }
    if (any)
        afterAdding();
}

void TransferQueue::PopupMenu4Popup()
{
    const bool selected = count() > 0 && ui.list->selectionModel()->hasSelection();
    if (ui.removeFromQueue1)
        ui.removeFromQueue1->setEnabled(selected);
    if (ui.retry) {
        bool failed = false;
        for (const QModelIndex &index : ui.list->selectionModel()->selectedRows())
            failed = failed || model->at(index.row()).state == QueueItemState::Failed;
        ui.retry->setEnabled(failed);
    }
}

void TransferQueue::ListView3ColumnClick()
{
    Prompts::information(tr("The queue cannot be sorted."));
}

void TransferQueue::Timer1Timer()
{
    if (!QueueRules::startIsDue(now().time(), startTime))
        return;
    Timer1->stop();
    startQueue(false);
}

void TransferQueue::showQueueState(bool running)
{
    for (QToolButton *b : { ui.speedQueue, ui.explorerQueue }) {
        if (!b)
            continue;
        b->setIcon(queueGlyph(running));
        b->setToolTip(running ? tr("Stop Queue") : tr("Start Queue"));
    }
    if (ui.stopQueue1)
        ui.stopQueue1->setText(running ? tr("&Stop Queue") : tr("&Start Queue"));
    if (ui.queue1)
        ui.queue1->setText(running ? tr("Stop &Queue") : tr("Start &Queue"));
}

void TransferQueue::refreshPanel()
{
    const bool running = flushing || model->countIn(QueueItemState::InProgress) > 0;
    ui.statusBar->setPanelText(3, QueueRules::panelText(stopped, isArmed(), startTime, running));
}

void TransferQueue::totalChanged()
{
    if (services.sizeTotalChanged)
        services.sizeTotalChanged(double(total));
}
