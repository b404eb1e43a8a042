// How the main window binds the queue's own transfer connections: the
// site settings and trust they connect with, and what the window shows of
// the items they run.

#include "app/TForm1.h"

#include "dispatch/TransferLanes.h"
#include "explorer/CertificateTrust.h"
#include "explorer/HostKeyTrust.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "explorer/TFormMessage.h"
#include "transfers/TransferProgress.h"
#include "transfers/TransferQueue.h"
#include "transfers/TransferSettings.h"
#include "transfers/WatchList.h"

#include <QPushButton>

void TForm1::setSimultaneousTransfers(std::function<int()> setting)
{
    simultaneousSetting = std::move(setting);
}

void TForm1::bindLanes()
{
    TransferLanes::Services s;
    s.queue = transferQueue;
    storedSimultaneous = TransferSettings(*Reg).simultaneousTransfers();
    // A changed setting counts from the next item that starts.
    connect(this, &TForm1::settingsChanged, this,
        [this] { storedSimultaneous = TransferSettings(*Reg).simultaneousTransfers(); });
    s.simultaneous
        = [this] { return simultaneousSetting ? simultaneousSetting() : storedSimultaneous; };
    s.siteOf = [this](const QueueItem &item) {
        return siteTree->connectionFor(item.host, item.login, item.password);
    };
    // The window's trust: a certificate or key accepted once is not asked again.
    s.certificate = [this](const TlsCertificateFacts &c) {
        return certificateTrust->decideForAnotherConnection(c);
    };
    s.hostKey = [this](const ServerKeyFacts &key) {
        return hostKeyTrust->decideForAnotherConnection(key);
    };
    s.passphrase = [](const std::string &file, std::string &passphrase) {
        return HostKeyTrust::askPassphrase(file, passphrase);
    };
    s.itemStarts = [this](const QueueItem &) {
        transferProgress->showPanel(transferQueue->waitingCount(), true);
    };
    s.progress = [this](const TransferLanes::ItemProgress &p) { showItemProgress(p); };
    s.itemEnding = [this](int error, bool othersRun) { laneItemEnding(error, othersRun); };
    s.runEnded = [this](bool uploaded) {
        runningLines.clear();
        transferProgress->hidePanel(transferQueue->count(), false);
        transferProgress->clearPanel();
        if (uploaded)
            refreshAfterUpload();
    };
    s.runningChanged = [this](bool running) { listingView->setTransfersRunning(running); };
    s.setWatchStatus = [this](const QString &name, const QString &host, const QString &status) {
        watchList->setStatus(name, host, status);
    };
    s.refreshWatchItem
        = [this](const QString &name, const QString &host, const TWin32FindData &found) {
              watchList->refreshItem(name, host, found);
          };
    s.tellStatus = [this](const QString &text) { listingView->tellStatus(text); };
    s.openFile = [this](const QString &path) { openDownloaded(path); };
    s.fileArrived = [this](const QString &path) { rememberDownload(path); };
    s.releaseBrowseConnection
        = [this](const SiteConnection &site) { return releaseBrowseConnection(site); };
    transferLanes->bind(s);
    connect(transferLanes, &TransferLanes::itemEnded, this, [this](uint64_t id) {
        if (runningLines.erase(id) && !runningLines.empty())
            showRunningLines();
    });
}

// One line per running item; a lone item shows as the single transfer did.
void TForm1::showItemProgress(const TransferLanes::ItemProgress &p)
{
    RunningTransfer &line = runningLines[p.id];
    line.id = p.id;
    line.name = p.name;
    line.bytesDone = p.bytes;
    line.size = p.size;
    line.speed = p.bytesPerSecond;
    line.elapsedMs
        = p.startTime.isValid() ? p.startTime.msecsTo(QDateTime::currentDateTimeUtc()) : 0;
    showRunningLines();
    emit transferLanes->itemProgress(p);
}

void TForm1::showRunningLines()
{
    std::vector<RunningTransfer> lines;
    int64_t moved = 0;
    for (const auto &entry : runningLines) {
        lines.push_back(entry.second);
        moved += entry.second.bytesDone;
    }
    const int64_t left = std::max<int64_t>(0, int64_t(transferQueue->byteTotal()) - moved);
    transferProgress->showRunning(lines, transferQueue->count(), left);
}

void TForm1::laneItemEnding(int error, bool othersRun)
{
    if (error != errNone)
        notifyInBackground(tr("The queue has stopped: a transfer did not complete."));
    else if (transferQueue->isStopped())
        notifyInBackground(tr("The queue has stopped."));
    else if (transferQueue->waitingCount() == 0 && !othersRun)
        notifyInBackground(tr("The queue has finished: every transfer is done."));
}

void TForm1::rememberDownload(const QString &path)
{
    // The button stays enabled once a download came: it is looked up once.
    const bool first = lastDownload.isEmpty();
    lastDownload = path;
    if (auto *button = first && formMessage
            ? formMessage->findChild<QPushButton *>(QStringLiteral("ButtonShowInFolder"))
            : nullptr)
        button->setEnabled(true);
}

// Only an idle browse connection to that very site lets go; browsing
// connects again when next asked.
bool TForm1::releaseBrowseConnection(const SiteConnection &site)
{
    const SiteConnection &browsing = siteTree->currentConnection();
    if (listingView->isBusy() || dispatch.operationRunning() || !WinInetFTP1->Connected()
        || browsing.host != site.host || browsing.login != site.login)
        return false;
    siteTree->forgetConnection();
    WinInetFTP1->Disconnect();
    showEncryption();
    return true;
}
