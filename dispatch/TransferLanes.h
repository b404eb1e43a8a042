#pragma once

#include "dispatch/NewerFile.h"
#include "dispatch/TransferLane.h"
#include "transfers/TransferSpeed.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <vector>

class TransferQueue;

// Runs the queue on connections of its own, up to the "Simultaneous
// transfers" setting at once, beside the window's browse connection. Items
// of one site share that site's connections, one item per connection at a
// time; a server that refuses one more login gets fewer connections, and the
// item waits again instead of failing.
class TransferLanes : public QObject {
    Q_OBJECT
public:
    // What the panel shows of one running item, a few times a second.
    struct ItemProgress {
        uint64_t id = 0;
        QString name; // remote path of a download, local path of an upload
        int64_t bytes = 0;
        int64_t size = 0; // 0: unknown
        double bytesPerSecond = -1; // -1: not known yet
        QDateTime startTime; // UTC
    };
    struct Services {
        TransferQueue *queue = nullptr;
        std::function<int()> simultaneous; // 1 to 8; unset: 2
        // The connection settings the browse connection would use for the site.
        std::function<SiteConnection(const QueueItem &)> siteOf;
        std::function<bool(const TlsCertificateFacts &)> certificate;
        std::function<ServerKeyAnswer(const ServerKeyFacts &)> hostKey;
        std::function<bool(const std::string &keyFile, std::string &passphrase)> passphrase;
        // An item starts: at once for the first of a run, then a few times
        // a second for the latest one.
        std::function<void(const QueueItem &)> itemStarts;
        std::function<void(const ItemProgress &)> progress;
        // Before the queue learns of an item's end: the error, and whether
        // any other item still runs.
        std::function<void(int error, bool othersRun)> itemEnding;
        // Nothing runs any more: whether the run sent files.
        std::function<void(bool uploaded)> runEnded;
        std::function<void(bool running)> runningChanged;
        std::function<void(const QString &name, const QString &host, const QString &status)>
            setWatchStatus;
        std::function<void(const QString &name, const QString &host, const TWin32FindData &)>
            refreshWatchItem;
        std::function<void(const QString &text)> tellStatus;
        std::function<void(const QString &path)> openFile;
        std::function<void(const QString &path)> fileArrived; // a download, not opened
        // The site takes a single login, held by the idle browse connection:
        // that one lets go (true) so the queue can run.
        std::function<bool(const SiteConnection &)> releaseBrowseConnection;
    };

    explicit TransferLanes(QObject *parent = nullptr);
    ~TransferLanes() override;

    void bind(const Services &s) { services = s; }

    // The queue's port.
    bool hasRoom() const;
    bool start(const QueueItem &item);
    bool isRunning(uint64_t id) const;
    bool anyRunning() const { return busyCount() > 0; }
    // The base names of the running items, in the order they started.
    QStringList runningNames() const;
    int connectionCount() const;

    // Stop: every connection ends now; returns the ids of the items that ran.
    std::vector<uint64_t> stopAll();
    void planNewerChecks(const std::vector<NewerFolders::File> &files);
    int limit() const;

signals:
    // One running item's progress, for a panel with a line per item.
    void itemProgress(const TransferLanes::ItemProgress &progress);
    // Its transfer ended (done, failed, waiting again or stopped): its line goes.
    void itemEnded(uint64_t id);

private:
    struct Meter {
        QElapsedTimer sinceStart, sinceShown;
        TransferSpeed speed = TransferSpeed();
        int64_t bytes = 0;
        QDateTime startTime;
        bool held = false; // progress came that the panel has not shown yet
    };
    static QString keyOf(const SiteConnection &site);
    int busyCount() const;
    int siteCount(const QString &key, const TransferLane *except, bool connectedToo) const;
    TransferLane *laneFor(const SiteConnection &site);
    TransferLane *newLane();
    void dropLane(TransferLane *lane);
    void laneEnded(TransferLane &lane, const TransferLane::Outcome &outcome);
    void handleEnd(TransferLane &lane, const TransferLane::Outcome &outcome);
    bool fallBack(TransferLane &lane, const TransferLane::Outcome &outcome);
    void succeeded(TransferLane &lane, const TransferLane::Outcome &outcome);
    void failed(TransferLane &lane, const TransferLane::Outcome &outcome);
    void connectFailed(const QueueItem &item, const TransferLane::Outcome &outcome);
    void laneProgress(TransferLane &lane, int64_t bytes);
    void publish(TransferLane &lane);
    void step();
    void tellRunning();
    void tellStatus(const QString &text);
    void showHeldStatus();
    void showHeldProgress();

    Services services;
    std::vector<TransferLane *> lanes;
    QHash<const TransferLane *, Meter> meters;
    QHash<QString, int> siteLimits; // learned from refused logins
    QSet<QString> released; // sites whose browse connection let go this run
    NewerFolders newerFolders;
    std::vector<TransferLane *> dropped; // freed once no end is being handled
    int endingDepth = 0;
    QTimer *statusTimer;
    QTimer *heldProgressTimer; // shows what a quiet stretch of a transfer held back
    QString heldStatus; // the latest status text, shown a few times a second
    QueueItem heldStart; // the latest item started, told with the status
    bool startHeld = false;
    bool uploaded = false;
    bool running = false;
    static constexpr int kProgressIntervalMs = 100;
};
