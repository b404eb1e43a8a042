#include "transfers/TransferQueue.h"

#include "platform/IconList.h"
#include "platform/Prompts.h"
#include "transfers/QueueRules.h"
#include "transfers/TFormStartQueue.h"
#include "widgets/PasswordText.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QAction>
#include <QIcon>
#include <QItemSelectionModel>
#include <QMenu>
#include <QStandardItemModel>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {

enum Column { Name, Status, Size, Type, Modified, Site, Login, Password, Actions, SaveFile };

QIcon queueGlyph(bool running)
{
    return QIcon(running ? QStringLiteral(":/icons/QGO.svg") : QStringLiteral(":/icons/QSTOP.svg"));
}

} // namespace

TransferQueue::TransferQueue(const Controls &controls, QObject *parent)
    : QObject(parent), ui(controls), Timer1(new QTimer(this))
{
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
    const RowTexts texts = services.rowTexts ? services.rowTexts(item.entry) : RowTexts();
    QList<QStandardItem *> row;
    for (const QString &text :
        { item.name, QueueRules::statusText(item.state), texts.size, texts.type, texts.modified,
            item.host, item.login, passwordDots(item.password), item.actions, item.saveFile }) {
        auto *cell = new QStandardItem(text);
        cell->setEditable(false);
        row << cell;
    }
    row[Size]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (texts.iconIndex >= 0)
        row[Name]->setIcon(IconList::instance().icon(texts.iconIndex));
    total += item.size();
    items.push_back(std::move(item));
    ui.list->model()->appendRow(row);
    totalChanged();
    return items.back().id;
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
    if (continuing || !busy) {
        current = 0;
        const int row = firstWaitingRow();
        if (row >= 0) {
            // Everything the start needs is copied first: the transfer may end,
            // and this step run again, before startTransfer returns.
            const QueueItem item = items[size_t(row)];
            current = item.id;
            if (item.checksNewer())
                newerRun = true;
            if (!stopped && !item.transferWord().isEmpty() && port.startTransfer) {
                setState(row, QueueItemState::InProgress);
                started = port.startTransfer(item);
                const int still = rowOf(item.id);
                if (!started && still >= 0)
                    setState(still, QueueItemState::Waiting);
            }
        }
        if (!started && !stopped && newerRun) {
            newerRun = false;
            if (services.showWatchList)
                services.showWatchList();
        }
    }
    refreshPanel();
    return started;
}

int TransferQueue::rowOf(uint64_t id) const
{
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].id == id)
            return int(i);
    return -1;
}

int TransferQueue::firstWaitingRow() const
{
    return QueueRules::firstInState(items, QueueItemState::Waiting);
}

int TransferQueue::waitingCount() const
{
    return int(std::count_if(items.begin(), items.end(),
        [](const QueueItem &item) { return item.state == QueueItemState::Waiting; }));
}

int TransferQueue::firstInProgressRow() const
{
    return QueueRules::firstInState(items, QueueItemState::InProgress);
}

QString TransferQueue::statusOfRow(int row) const
{
    if (row < 0 || row >= count())
        return QString();
    return QueueRules::statusText(items[size_t(row)].state);
}

void TransferQueue::setState(int row, QueueItemState state)
{
    items[size_t(row)].state = state;
    if (QStandardItem *cell = ui.list->model()->item(row, Status))
        cell->setText(QueueRules::statusText(state));
}

void TransferQueue::removeRow(int row)
{
    if (row < 0 || row >= count())
        return;
    total -= std::min(total, items[size_t(row)].size());
    if (items[size_t(row)].id == current)
        current = 0;
    items.erase(items.begin() + row);
    ui.list->model()->removeRow(row);
    totalChanged();
}

bool TransferQueue::finishCurrentItem()
{
    const int row = rowOf(current);
    if (row < 0 || items[size_t(row)].state != QueueItemState::InProgress)
        return false;
    removeRow(row);
    return true;
}

void TransferQueue::afterStopCommand()
{
    stopQueue();
    const int running = firstInProgressRow();
    const uint64_t id = running >= 0 ? items[size_t(running)].id : 0;
    const bool remove = Prompts::askYesNo(
        tr("The queue has been stopped.  Do you want to remove the current file from the queue?"));
    // Rows may have come and gone while the question was shown.
    const int row = rowOf(id);
    if (row < 0)
        return;
    if (remove)
        removeRow(row);
    else
        setState(row, QueueItemState::Waiting);
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
        const bool ownTransferRuns = running && items[size_t(row)].id == current
            && items[size_t(row)].state == QueueItemState::InProgress;
        if (QueueRules::mayRemove(row, stopped, ownTransferRuns))
            removeRow(row);
        else
            Prompts::error(tr("You cannot remove the active file from the queue.  "
                              "Press Stop, then delete."));
    }
}

void TransferQueue::PopupMenu4Popup()
{
    if (ui.removeFromQueue1)
        ui.removeFromQueue1->setEnabled(count() > 0 && ui.list->selectionModel()->hasSelection());
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
    ui.statusBar->setPanelText(3, QueueRules::panelText(stopped, isArmed(), startTime));
}

void TransferQueue::totalChanged()
{
    if (services.sizeTotalChanged)
        services.sizeTotalChanged(double(total));
}
