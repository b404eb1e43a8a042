#include "dispatch/TransferCompletion.h"

#include "dispatch/ActionDispatch.h"
#include "dispatch/FailureCauses.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "ftp/WinInetFTP.h"
#include "platform/Prompts.h"
#include "transfers/ProgressTexts.h"
#include "transfers/TransferProgress.h"
#include "transfers/TransferQueue.h"

void TransferCompletion::transferStarts()
{
    cancelledByStop = false;
    lastBytes = 0;
    speed.clear();
    sinceStart.start();
    sinceShown.start();
}

void TransferCompletion::WinInetFTP1GetStatus(int64_t bytes)
{
    if (services.ftp->EventIsStale())
        return;
    lastBytes = bytes;
    if (sinceShown.isValid() && sinceShown.elapsed() < kProgressIntervalMs)
        return;
    showProgress(bytes);
}

void TransferCompletion::showProgress(int64_t bytes)
{
    sinceShown.start();
    if (sinceStart.isValid())
        speed.add(sinceStart.elapsed(), bytes);
    const TransferContext &transfer = services.dispatch->transfer;
    TransferProgress::TransferFacts facts;
    facts.source = transfer.source;
    facts.expectedSize = int64_t(transfer.expectedSize);
    facts.startTime = transfer.startTime;
    if (transfer.startTime.isValid())
        facts.now = QDateTime::currentDateTimeUtc();
    facts.queueRows = services.queue->count();
    facts.bytesPerSecond = speed.bytesPerSecond();
    services.progress->WinInetFTP1GetStatus(bytes, facts);
}

void TransferCompletion::WinInetFTP1GetDone()
{
    // The late end of a transfer that a newer operation replaced.
    if (services.ftp->EventIsStale()) {
        cancelledByStop = false;
        return;
    }
    transferEnded(services.ftp->LastError());
}

void TransferCompletion::transferEnded(int error)
{
    cancelledByStop = false;
    if (error == errNone) {
        if (!sinceStart.isValid() || sinceStart.elapsed() >= kProgressIntervalMs)
            showProgress(lastBytes);
        if (services.dispatch->pendingAction() == PendingAction::GetNow) {
            quickDownloadDone();
            return;
        }
    }
    endTransfer(error);
    // The queue's items end on their own connections (TransferLanes).
    const QString cause = failureCause(error);
    const QString message = ProgressTexts::failureMessage(TWinInetError(error), cause);
    if (!message.isEmpty()) {
        services.queue->stopQueue();
        Prompts::error(message);
    }
}

QString TransferCompletion::failureCause(int error) const
{
    const TransferContext &transfer = services.dispatch->transfer;
    const bool download = services.dispatch->pendingAction() != PendingAction::Send;
    return FailureCauses::ofTransfer(TWinInetError(error), download, transfer.target,
        services.ftp->LastErrorCode(), services.ftp->LogonMessage());
}

void TransferCompletion::quickDownloadDone()
{
    services.progress->showComplete();
    services.listing->setBusy(false);
    Prompts::information(QStringLiteral("File transferred."));
    services.dispatch->finish(PendingAction::GetNow);
    services.progress->hidePanel(services.queue->count(), false);
}

// The window returns to idle after the last transfer, or after a failure.
void TransferCompletion::endTransfer(int error)
{
    ActionDispatch &dispatch = *services.dispatch;
    const PendingAction own = dispatch.pendingAction();
    services.progress->hidePanel(services.queue->count(), false);
    services.progress->clearPanel();
    services.listing->setBusy(false);
    if (error == errTerminated) {
        services.tree->forgetConnection();
        services.queue->stopQueue();
    }
    if (isTransfer(own))
        dispatch.clearPendingAction();
    // Uploaded files show once the folder is listed again.
    if (error == errNone && own == PendingAction::Send && services.refreshFiles)
        services.refreshFiles();
}
