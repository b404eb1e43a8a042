#pragma once

#include "transfers/QueueItem.h"
#include "transfers/QueueModel.h"

#include <QDateTime>
#include <QObject>
#include <QTime>

#include <functional>
#include <vector>

class QAction;
class QMenu;
class QTimer;
class QToolButton;
class StatusPanels;
class TFormStartQueue;
class TListView;

// The download and send queue: its list ListView3, its running, stopped and
// armed states with Timer1, and the status panel that tells them. It starts
// transfers only through its port, so it knows nothing of the dispatch.
class TransferQueue : public QObject {
    Q_OBJECT
public:
    struct Controls {
        TListView *list = nullptr; // ListView3
        QToolButton *speedQueue = nullptr; // classic bar
        QToolButton *explorerQueue = nullptr; // explorer bar
        QAction *stopQueue1 = nullptr; // context menu item
        QAction *removeFromQueue1 = nullptr; // context menu item
        QMenu *popupMenu = nullptr; // PopupMenu4
        QAction *queue1 = nullptr; // Site menu item
        StatusPanels *statusBar = nullptr;
        QAction *retry = nullptr; // context menu item: failed rows wait again
    };
    // How the queue reaches the transfers; bound by the window.
    struct Port {
        // Any FTP operation runs: the step starts nothing meanwhile.
        std::function<bool()> operationRunning;
        // A transfer the queue started is still under way.
        std::function<bool()> transferRunning;
        // Hands the item to the dispatch; false when nothing took it. The
        // transfer may end, and the queue be stepped again, inside this call.
        std::function<bool(const QueueItem &)> startTransfer;
        // Several transfers may run at once: whether one more may start now
        // (unset: one at a time), and whether this item's transfer runs.
        std::function<bool()> hasRoom;
        std::function<bool(uint64_t id)> itemRunning;
    };
    using RowTexts = QueueModel::RowTexts;
    struct Services {
        std::function<RowTexts(const TWin32FindData &)> rowTexts;
        std::function<void(double)> sizeTotalChanged; // the object and size panels
        std::function<void()> showWatchList; // after a run of newer checks
        std::function<QDateTime()> clock; // now, for the scheduled start
        // The queue ran items and has nothing more to start: what it wrote
        // is made durable here, before the panel says so.
        std::function<void(std::function<void()> flushed)> queueRunEnded;
    };

    TransferQueue(const Controls &controls, QObject *parent = nullptr);

    static void addColumns(TListView *list);

    void setPort(const Port &p) { port = p; }
    void setServices(const Services &s);
    void setClock(std::function<QDateTime()> clock);
    void setStartDialog(TFormStartQueue *dialog) { startDialog = dialog; }

    bool isStopped() const { return stopped; }
    // Items ran since the queue last fell idle: a run is under way.
    bool runUnderway() const { return ranItems; }
    bool isArmed() const;
    QTimer *timer() const { return Timer1; }
    QTime scheduledStart() const { return startTime; }

    // Appends a waiting item (its id is assigned here); returns the id.
    uint64_t addItem(QueueItem item);
    // An item as the saved queue kept it: a failed one stays failed with its
    // reason, one that was in progress waits again. Returns its new id.
    uint64_t restoreItem(QueueItem item);
    // The rows as they are now, for the saved queue; the model's signals tell
    // each change.
    std::vector<QueueItem> items() const;
    QAbstractItemModel *rows() const { return model; }
    // What every caller does after adding: the dialog while stopped, else a step.
    void afterAdding();

    // Returns whether the queue now runs.
    bool startQueue(bool ask);
    void stopQueue();
    // Returns whether an item was started.
    bool queueStep(bool continuing);
    // The dialog's outcome; the queue stays stopped unless "now" was chosen.
    enum class StartChoice { Now, Later, Never };
    void applyStartChoice(StartChoice choice, const QTime &time);

    int count() const;
    const QueueItem &itemAt(int row) const;
    int rowOf(uint64_t id) const;
    int firstWaitingRow() const;
    int waitingCount() const;
    int firstInProgressRow() const;
    int firstFailedRow() const;
    QString statusOfRow(int row) const;
    uint64_t byteTotal() const { return total; }
    uint64_t currentItem() const { return current; }

    // The end of the current item's transfer: its row leaves the queue when
    // it is still in progress. Returns whether a row was removed.
    bool finishCurrentItem();
    // The current item failed: its row stays, as "Failed" with the reason.
    void failCurrentItem(const QString &reason);
    // The Stop command's question about the item that was running.
    void afterStopCommand();
    // The same about the items whose transfers the Stop ended.
    void afterStopCommand(const std::vector<uint64_t> &ids);
    // The end of one of several items that run at once, found by its id.
    bool finishItem(uint64_t id);
    void failItem(uint64_t id, const QString &reason);
    // Its transfer could not start for now (the server takes no more
    // connections): it waits again, nothing failed.
    void requeueItem(uint64_t id);
    std::vector<uint64_t> inProgressIds() const;
    // The window closes: from now on no step starts anything.
    void setClosing() { closing = true; }

    void removeRow(int row);
    // The user takes the row out: a download's partial file goes with it.
    void discardRow(int row);

    // Handlers.
    void StopQueue1Click();
    void RemovefromQueue1Click();
    void RetryClick();
    void PopupMenu4Popup();
    void ListView3ColumnClick();
    void Timer1Timer();
    void holdRepaintsWhileBusy();

private:
    void showQueueState(bool running);
    void refreshPanel();
    void setState(int row, QueueItemState state, const QString &failure = QString());
    void endOfRun();
    void totalChanged();
    QDateTime now() const;
    bool askStartDialog();
    bool startWaitingItems();

    Controls ui;
    Port port;
    Services services;
    TFormStartQueue *startDialog = nullptr;
    QTimer *Timer1;
    QueueModel *model;
    QTime startTime;
    uint64_t total = 0;
    uint64_t current = 0; // id of the item last chosen by the step; 0: none
    uint64_t nextId = 1;
    bool stopped = false;
    bool newerRun = false;
    bool closing = false;
    bool ranItems = false; // an item started since the queue last fell idle
    bool flushing = false; // the run's files are going to the disk
};
