#pragma once

#include <QObject>
#include <QTime>

class ActionDispatch;
class QAction;
class QTimer;
class QToolButton;
class StatusPanels;
class TListView;

// The download and send queue: its list, its started/stopped/armed state and
// the status panel that tells it.
class TransferQueue : public QObject {
    Q_OBJECT
public:
    struct Controls {
        TListView *list = nullptr;            // ListView3
        QToolButton *speedQueue = nullptr;    // classic bar
        QToolButton *explorerQueue = nullptr; // explorer bar
        QAction *stopQueue1 = nullptr;        // context menu item
        QAction *queue1 = nullptr;            // Site menu item
        StatusPanels *statusBar = nullptr;
    };

    TransferQueue(const Controls &controls, ActionDispatch &dispatch, QObject *parent = nullptr);

    static void addColumns(TListView *list);

    bool isStopped() const { return stopped; }
    QTimer *timer() const { return Timer1; }
    QTime scheduledStart() const { return startTime; }

    // Returns whether the queue now runs.
    bool startQueue(bool ask);
    void stopQueue();
    // Returns whether an item was started.
    bool queueStep(bool continuing);

    // The first row whose status reads "Waiting", or -1.
    int firstWaitingRow() const;
    QString statusOfRow(int row) const;

signals:
    // The queue wants its dialog; the handler may start the queue or arm the timer.
    void startDialogRequested();

private:
    void showQueueState(bool running);
    void refreshPanel();

    Controls ui;
    ActionDispatch &dispatch;
    QTimer *Timer1;
    QTime startTime = QTime::currentTime();
    bool stopped = false;
};
