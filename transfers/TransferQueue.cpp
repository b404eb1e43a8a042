#include "transfers/TransferQueue.h"

#include "transfers/ActionDispatch.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QAction>
#include <QIcon>
#include <QLocale>
#include <QStandardItemModel>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kStatusColumn = 1;

QIcon queueGlyph(bool running)
{
    // "QGO" while the queue runs, "QSTOP" while it is stopped.
    return QIcon::fromTheme(running ? QStringLiteral("media-playback-start-symbolic")
                                    : QStringLiteral("media-playback-pause-symbolic"));
}

} // namespace

TransferQueue::TransferQueue(const Controls &controls, ActionDispatch &actions, QObject *parent)
    : QObject(parent), ui(controls), dispatch(actions), Timer1(new QTimer(this))
{
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(15000);
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

bool TransferQueue::startQueue(bool ask)
{
    if (ask)
        emit startDialogRequested();
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

void TransferQueue::stopQueue()
{
    Timer1->stop();
    stopped = true;
    showQueueState(false);
    queueStep(false);
}

bool TransferQueue::queueStep(bool continuing)
{
    // Starting transfers comes with the transfer issue; for now the step keeps
    // the panel current and never starts a second transfer.
    if (!(dispatch.transferRunning() && !continuing))
        firstWaitingRow();
    refreshPanel();
    return false;
}

int TransferQueue::firstWaitingRow() const
{
    for (int row = 0; row < ui.list->rowCount(); ++row)
        if (statusOfRow(row) == QLatin1String("Waiting"))
            return row;
    return -1;
}

QString TransferQueue::statusOfRow(int row) const
{
    const QStandardItem *item = ui.list->model()->item(row, kStatusColumn);
    return item ? item->text() : QString();
}

void TransferQueue::showQueueState(bool running)
{
    for (QToolButton *b : {ui.speedQueue, ui.explorerQueue}) {
        b->setIcon(queueGlyph(running));
        b->setToolTip(running ? tr("Stop Queue") : tr("Start Queue"));
    }
    ui.stopQueue1->setText(running ? tr("&Stop Queue") : tr("&Start Queue"));
    ui.queue1->setText(running ? tr("Stop &Queue") : tr("Start &Queue"));
}

void TransferQueue::refreshPanel()
{
    QString text;
    if (!stopped)
        text = tr("Queue: Idle");
    else if (Timer1->isActive())
        text = tr("Queue: Starts: ")
            + QLocale(QLocale::English).toString(startTime, QStringLiteral("h:mm AP"));
    else
        text = tr("Queue: Stopped");
    ui.statusBar->setPanelText(3, text);
}
