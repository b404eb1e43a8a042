#include "transfers/QueueSaver.h"

#include "storage/EFileCreateError.h"

#include <QAbstractItemModel>
#include <QTimer>

#include <algorithm>

QueueSaver::QueueSaver(std::unique_ptr<QueueFile> queueFile, Snapshot items, QObject *parent)
    : QObject(parent), file(std::move(queueFile)), snapshot(std::move(items)),
      delay(new QTimer(this))
{
    delay->setSingleShot(true);
    delay->setInterval(kMinDelayMs);
    connect(delay, &QTimer::timeout, this, &QueueSaver::startWrite);
}

QueueSaver::~QueueSaver()
{
    joinWriter();
}

void QueueSaver::watch(QAbstractItemModel *rows)
{
    connect(rows, &QAbstractItemModel::rowsInserted, this, &QueueSaver::changed);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &QueueSaver::changed);
    connect(rows, &QAbstractItemModel::dataChanged, this, &QueueSaver::changed);
    connect(rows, &QAbstractItemModel::modelReset, this, &QueueSaver::changed);
}

// Called for every row of a burst: it only notes the change.
void QueueSaver::changed()
{
    if (stopped)
        return;
    dirty = true;
    if (!writing && !delay->isActive())
        delay->start();
}

bool QueueSaver::isIdle() const
{
    return !dirty && !writing;
}

void QueueSaver::startWrite()
{
    if (stopped || writing || !dirty)
        return;
    dirty = false;
    writing = true;
    joinWriter();
    std::vector<QueueItem> items = snapshot();
    // The destructor joins the thread, so `this` outlives it; a result that
    // arrives after the saver is gone is dropped with it.
    writer = std::thread([this, target = file, items = std::move(items)]() mutable {
        QElapsedTimer took;
        took.start();
        QString error;
        try {
            target->save(QueueFile::serialize(items));
        } catch (const EFileCreateError &e) {
            error = e.message();
        }
        items.clear();
        const qint64 ms = took.elapsed();
        QMetaObject::invokeMethod(
            this, [this, error, ms] { writeEnded(error, ms); }, Qt::QueuedConnection);
    });
}

void QueueSaver::writeEnded(const QString &error, qint64 tookMs)
{
    writing = false;
    joinWriter();
    if (error.isEmpty()) {
        failureTold = false;
    } else if (!failureTold) {
        failureTold = true;
        if (reportFailure)
            reportFailure(error);
    }
    delay->setInterval(int(std::clamp<qint64>(2 * tookMs, kMinDelayMs, 5000)));
    if (dirty && !stopped)
        delay->start();
}

void QueueSaver::saveNowAndStop()
{
    if (stopped)
        return;
    stopped = true;
    delay->stop();
    joinWriter();
    writing = false;
    dirty = false;
    try {
        file->save(QueueFile::serialize(snapshot()));
    } catch (const EFileCreateError &e) {
        if (!failureTold && reportFailure)
            reportFailure(e.message());
    }
}

void QueueSaver::joinWriter()
{
    if (writer.joinable())
        writer.join();
}
