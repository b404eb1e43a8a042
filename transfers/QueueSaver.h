#pragma once

#include "transfers/QueueFile.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

class QAbstractItemModel;
class QTimer;

// Keeps the queue file in step with the queue. Changes come in bursts (a
// folder of files added, a fast run of small ones), so they are gathered:
// the file is written at most every kMinDelayMs, and a large queue, whose
// write takes longer, waits twice as long as its last write took. The items
// are copied on the window's thread; turning them into bytes and writing them
// (temporary file, sync, rename) happens on a thread of its own, so the
// window goes on meanwhile. The file on disk is always a whole old or a
// whole new one.
class QueueSaver : public QObject {
    Q_OBJECT
public:
    static constexpr int kMinDelayMs = 250;
    using Snapshot = std::function<std::vector<QueueItem>()>;

    QueueSaver(std::unique_ptr<QueueFile> file, Snapshot snapshot, QObject *parent = nullptr);
    ~QueueSaver() override;

    // Every row that comes, goes or changes state is saved.
    void watch(QAbstractItemModel *rows);
    void changed();
    // Waits for a write under way, then writes the queue as it is now on
    // this thread. Afterwards nothing more is saved (the window closes).
    void saveNowAndStop();
    // Nothing waits to be written and no write is under way.
    bool isIdle() const;
    // A save failed: told once, until a later save succeeds.
    std::function<void(const QString &message)> reportFailure;

private:
    void startWrite();
    void writeEnded(const QString &error, qint64 tookMs);
    void joinWriter();

    std::shared_ptr<QueueFile> file;
    Snapshot snapshot;
    QTimer *delay;
    std::thread writer;
    bool writing = false;
    bool dirty = false;
    bool stopped = false;
    bool failureTold = false;
};
