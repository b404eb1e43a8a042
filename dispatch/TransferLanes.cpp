#include "dispatch/TransferLanes.h"

#include "dispatch/FailureCauses.h"
#include "dispatch/InsecureConnectionText.h"
#include "platform/Prompts.h"
#include "transfers/ProgressTexts.h"
#include "transfers/TransferQueue.h"

#include <algorithm>

TransferLanes::TransferLanes(QObject *parent) : QObject(parent), statusTimer(new QTimer(this))
{
    statusTimer->setSingleShot(true);
    statusTimer->setInterval(kProgressIntervalMs);
    connect(statusTimer, &QTimer::timeout, this, &TransferLanes::showHeldStatus);
    heldProgressTimer = new QTimer(this);
    heldProgressTimer->setSingleShot(true);
    heldProgressTimer->setInterval(kProgressIntervalMs);
    connect(heldProgressTimer, &QTimer::timeout, this, &TransferLanes::showHeldProgress);
}

TransferLanes::~TransferLanes()
{
    // The window is going: nothing is told any more.
    services = Services {};
    stopAll();
}

int TransferLanes::limit() const
{
    const int wanted = services.simultaneous ? services.simultaneous() : 2;
    return std::clamp(wanted, 1, 8);
}

QString TransferLanes::keyOf(const SiteConnection &site)
{
    return site.host + QLatin1Char('\n') + site.login;
}

int TransferLanes::busyCount() const
{
    return int(std::count_if(
        lanes.begin(), lanes.end(), [](const TransferLane *lane) { return lane->isBusy(); }));
}

int TransferLanes::siteCount(
    const QString &key, const TransferLane *except, bool connectedToo) const
{
    int n = 0;
    for (const TransferLane *lane : lanes)
        if (lane != except && keyOf(lane->site()) == key
            && (lane->isBusy() || (connectedToo && lane->isConnected())))
            ++n;
    return n;
}

int TransferLanes::connectionCount() const
{
    return int(std::count_if(lanes.begin(), lanes.end(),
        [](const TransferLane *lane) { return lane->isBusy() || lane->isConnected(); }));
}

bool TransferLanes::hasRoom() const
{
    return busyCount() < limit();
}

bool TransferLanes::isRunning(uint64_t id) const
{
    for (const TransferLane *lane : lanes)
        if (lane->isBusy() && lane->item().id == id)
            return true;
    return false;
}

QStringList TransferLanes::runningNames() const
{
    QStringList names;
    for (const TransferLane *lane : lanes)
        if (lane->isBusy()) {
            const QString &name = lane->item().name;
            names << name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
        }
    return names;
}

bool TransferLanes::start(const QueueItem &item)
{
    if (!hasRoom() || !services.siteOf)
        return false;
    const SiteConnection site = services.siteOf(item);
    if (siteCount(keyOf(site), nullptr, false) >= siteLimits.value(keyOf(site), limit()))
        return false;
    TransferLane *lane = laneFor(site);
    if (!lane)
        return false;
    Meter &meter = meters[lane];
    meter = Meter {};
    meter.sinceStart.start();
    meter.sinceShown.start();
    meter.startTime = QDateTime::currentDateTimeUtc();
    if (!running && services.itemStarts) {
        services.itemStarts(item);
    } else {
        heldStart = item;
        startHeld = true;
        if (!statusTimer->isActive())
            statusTimer->start();
    }
    lane->start(item, site);
    tellRunning();
    return true;
}

// An idle connection to the site first, then a new one, then an idle
// connection to another site, which connects afresh.
TransferLane *TransferLanes::laneFor(const SiteConnection &site)
{
    TransferLane *other = nullptr;
    for (TransferLane *lane : lanes) {
        if (lane->isBusy())
            continue;
        if (lane->isConnected() && lane->site() == site)
            return lane;
        if (!other || !lane->isConnected())
            other = lane;
    }
    if (int(lanes.size()) < limit())
        return newLane();
    return other;
}

TransferLane *TransferLanes::newLane()
{
    TransferLane::Hooks hooks;
    hooks.certificate = services.certificate;
    hooks.hostKey = services.hostKey;
    hooks.passphrase = services.passphrase;
    hooks.progress = [this](TransferLane &lane, int64_t bytes) { laneProgress(lane, bytes); };
    hooks.ended = [this](TransferLane &lane, const TransferLane::Outcome &outcome) {
        laneEnded(lane, outcome);
    };
    hooks.newerFolders = &newerFolders;
    auto *lane = new TransferLane(hooks, this);
    lanes.push_back(lane);
    return lane;
}

// A lane whose end is being handled (a question may be open meanwhile) is
// freed only once that handling is over.
void TransferLanes::dropLane(TransferLane *lane)
{
    lanes.erase(std::remove(lanes.begin(), lanes.end(), lane), lanes.end());
    meters.remove(lane);
    lane->shutDown();
    if (endingDepth > 0)
        dropped.push_back(lane);
    else
        lane->deleteLater();
}

void TransferLanes::laneEnded(TransferLane &lane, const TransferLane::Outcome &outcome)
{
    emit itemEnded(lane.item().id);
    ++endingDepth;
    handleEnd(lane, outcome);
    if (--endingDepth == 0) {
        for (TransferLane *gone : dropped)
            gone->deleteLater();
        dropped.clear();
    }
}

void TransferLanes::handleEnd(TransferLane &lane, const TransferLane::Outcome &outcome)
{
    if (outcome.connectFailed && outcome.refusedForLimit && fallBack(lane, outcome))
        return;
    const bool othersRun = busyCount() > 0;
    if (services.itemEnding)
        services.itemEnding(outcome.error, othersRun);
    if (outcome.error == errNone)
        succeeded(lane, outcome);
    else
        failed(lane, outcome);
    // A lowered setting lets the connections above it go as they fall idle.
    const bool kept = std::find(lanes.begin(), lanes.end(), &lane) != lanes.end();
    if (kept && int(lanes.size()) > limit() && !lane.isBusy())
        dropLane(&lane);
    step();
}

// The server takes no more logins: the site keeps the connections it has and
// the item waits for one of them. With none, an idle browse connection to
// the site may let go of the only login once.
bool TransferLanes::fallBack(TransferLane &lane, const TransferLane::Outcome &)
{
    const QueueItem item = lane.item();
    const SiteConnection site = lane.site();
    const QString key = keyOf(site);
    const int others = siteCount(key, &lane, true);
    if (others > 0) {
        siteLimits[key] = others;
        services.queue->requeueItem(item.id);
        dropLane(&lane);
        step();
        return true;
    }
    if (released.contains(key) || !services.releaseBrowseConnection
        || !services.releaseBrowseConnection(site))
        return false;
    released.insert(key);
    lane.start(item, site);
    return true;
}

void TransferLanes::succeeded(TransferLane &lane, const TransferLane::Outcome &outcome)
{
    const QueueItem &item = lane.item();
    if (!outcome.watchStatus.isEmpty() && services.setWatchStatus)
        services.setWatchStatus(item.name, item.host, outcome.watchStatus);
    if (outcome.newerFound) {
        if (services.setWatchStatus)
            services.setWatchStatus(item.name, item.host, QStringLiteral("Downloaded"));
        if (services.refreshWatchItem)
            services.refreshWatchItem(item.name, item.host, outcome.newerEntry);
    }
    meters[&lane].held = false;
    if (outcome.transferred) {
        const Meter &meter = meters[&lane];
        if (!meter.sinceStart.isValid() || meter.sinceStart.elapsed() >= kProgressIntervalMs)
            publish(lane);
        if (item.isDownload() && lane.fileRequested())
            tellStatus(QStringLiteral("Download complete: ") + item.saveFile);
        if (item.opensAfter() && services.openFile)
            services.openFile(item.saveFile);
        else if (item.isDownload() && services.fileArrived)
            services.fileArrived(item.saveFile);
        uploaded = uploaded || item.isUpload();
    }
    services.queue->finishItem(item.id);
}

void TransferLanes::failed(TransferLane &lane, const TransferLane::Outcome &outcome)
{
    const QueueItem &item = lane.item();
    if (outcome.connectFailed && outcome.error != errTerminated) {
        connectFailed(item, outcome);
        return;
    }
    const TWinInetError error = TWinInetError(outcome.error);
    const QString cause = FailureCauses::ofTransfer(
        error, !item.isUpload(), item.saveFile, outcome.errorCode, outcome.replies);
    QString reason = ProgressTexts::failureText(error);
    if (reason.isEmpty())
        reason = error == errTerminated ? QStringLiteral("The transfer was cancelled.")
                                        : QStringLiteral("The transfer did not complete.");
    services.queue->failItem(item.id, cause.isEmpty() ? reason : reason + QLatin1Char(' ') + cause);
    if (error == errTerminated)
        services.queue->stopQueue();
    const QString message = ProgressTexts::failureMessage(error, cause);
    if (!message.isEmpty()) {
        services.queue->stopQueue();
        Prompts::error(message);
    }
}

// An insecure connection says why: the user may trust the certificate or
// change the site's security before starting again.
void TransferLanes::connectFailed(const QueueItem &item, const TransferLane::Outcome &outcome)
{
    const QString text = outcome.error == errInsecure
        ? InsecureConnectionText::message(item.host, outcome.errorCode)
        : QStringLiteral("Could not connect to a site to establish file transfer.");
    services.queue->failItem(item.id, text);
    services.queue->stopQueue();
    Prompts::error(text);
}

void TransferLanes::laneProgress(TransferLane &lane, int64_t bytes)
{
    Meter &meter = meters[&lane];
    meter.bytes = bytes;
    // A few lines a second are all anyone can read; a small file ends first.
    // What is held shows once the interval is over, even when no more data
    // comes to carry it (a slow or stalled transfer).
    if (meter.sinceShown.isValid() && meter.sinceShown.elapsed() < kProgressIntervalMs) {
        meter.held = true;
        if (!heldProgressTimer->isActive())
            heldProgressTimer->start();
        return;
    }
    publish(lane);
}

void TransferLanes::showHeldProgress()
{
    for (TransferLane *lane : lanes)
        if (lane->isBusy() && meters[lane].held)
            publish(*lane);
}

void TransferLanes::publish(TransferLane &lane)
{
    Meter &meter = meters[&lane];
    meter.held = false;
    meter.sinceShown.start();
    if (meter.sinceStart.isValid())
        meter.speed.add(meter.sinceStart.elapsed(), meter.bytes);
    if (!services.progress)
        return;
    ItemProgress p;
    p.id = lane.item().id;
    p.name = lane.item().name;
    p.bytes = meter.bytes;
    p.size = int64_t(lane.item().size());
    p.bytesPerSecond = meter.speed.bytesPerSecond();
    p.startTime = meter.startTime;
    services.progress(p);
}

// The next items start; once nothing runs, the run's connections end.
void TransferLanes::step()
{
    services.queue->queueStep(false);
    if (busyCount() > 0)
        return;
    const bool sent = uploaded;
    uploaded = false;
    released.clear();
    newerFolders.forgetListings();
    for (TransferLane *lane : std::vector<TransferLane *>(lanes))
        dropLane(lane);
    startHeld = false;
    showHeldStatus();
    tellRunning();
    if (services.runEnded)
        services.runEnded(sent);
}

// Small files end hundreds of times a second: the status line shows the
// latest end a few times a second, and the last one as the run ends.
void TransferLanes::tellStatus(const QString &text)
{
    heldStatus = text;
    if (!statusTimer->isActive())
        statusTimer->start();
}

void TransferLanes::showHeldStatus()
{
    statusTimer->stop();
    if (startHeld && running && services.itemStarts)
        services.itemStarts(heldStart);
    startHeld = false;
    if (heldStatus.isEmpty())
        return;
    const QString text = heldStatus;
    heldStatus.clear();
    if (services.tellStatus)
        services.tellStatus(text);
}

void TransferLanes::tellRunning()
{
    const bool now = busyCount() > 0;
    if (now == running)
        return;
    running = now;
    if (services.runningChanged)
        services.runningChanged(now);
}

std::vector<uint64_t> TransferLanes::stopAll()
{
    std::vector<uint64_t> ids;
    for (TransferLane *lane : std::vector<TransferLane *>(lanes)) {
        if (lane->isBusy())
            ids.push_back(lane->item().id);
        dropLane(lane);
    }
    for (uint64_t id : ids)
        emit itemEnded(id);
    newerFolders.forgetListings();
    released.clear();
    uploaded = false;
    tellRunning();
    return ids;
}

void TransferLanes::planNewerChecks(const std::vector<NewerFolders::File> &files)
{
    newerFolders.plan(files);
}
