#include "dispatch/ActionDispatch.h"

#include "dispatch/FailureCauses.h"
#include "dispatch/InsecureConnectionText.h"
#include "dispatch/NewerFile.h"
#include "explorer/ListingView.h"
#include "explorer/OverwriteQuestion.h"
#include "explorer/RowTexts.h"
#include "explorer/SiteTree.h"
#include "explorer/TFormMessage.h"
#include "ftp/WinInetFTP.h"
#include "platform/Prompts.h"
#include "transfers/QueueItem.h"

#include <QTabBar>
#include <QTimer>

namespace {

// Stop ends a listing on purpose, and a missing folder lists as empty;
// anything else that went wrong leaves the folder not fully listed.
bool listingComplete(TWinInetError error)
{
    return error == errNone || error == errTerminated || error == errFileNotFound
        || error == errDirNotFound;
}

} // namespace

// A completion that arrives after a newer request was made (the late end of
// a cancelled operation) belongs to nothing that runs now.
void ActionDispatch::WinInetFTP1Connect()
{
    if (services.ftp->EventIsStale())
        return;
    if (services.ftp->LastError() == errNone)
        dispatch();
    else
        connectFailed();
}

void ActionDispatch::request(PendingAction a, const QString &path, const QString &second)
{
    action = a;
    if (a == PendingAction::Connect || a == PendingAction::DownloadSite) {
        targetPath = path;
    } else if (!isTransfer(a)) {
        operationPath = path;
        operationSecond = second;
    }
}

void ActionDispatch::clearPendingAction()
{
    action = PendingAction::None;
    // The run of the queue has ended: a later one lists afresh.
    newerFolders.forgetListings();
}

void ActionDispatch::planNewerChecks(const std::vector<NewerFolders::File> &files)
{
    newerFolders.plan(files);
}

void ActionDispatch::finish(PendingAction own)
{
    if (action == own)
        clearPendingAction();
    if (services.operationEnded)
        services.operationEnded();
}

bool ActionDispatch::startQueueItem(const QueueItem &item)
{
    const PendingAction word = item.isDownload() ? PendingAction::Download
        : item.isUpload()                        ? PendingAction::Send
                                                 : PendingAction::None;
    if (word == PendingAction::None)
        return false;
    transfer = {};
    transfer.source = item.name;
    transfer.target = item.saveFile;
    transfer.openAfter = item.opensAfter();
    transfer.checkNewer = item.checksNewer();
    transfer.expectedSize = double(item.size());
    transfer.host = item.host;
    transfer.login = item.login;
    transfer.queuedEntry = item.entry;
    transfer.askBeforeReplacing = item.isUpload() && item.askBeforeReplacing;
    transfer.makeParents = item.isUpload() && item.makeParents;
    action = word;
    if (!services.tree->connectWith(item.host, item.login, item.password))
        dispatch();
    return true;
}

bool ActionDispatch::operationRunning() const
{
    return transferRunning() || services.listing->isBusy();
}

bool ActionDispatch::startQuickDownload(const QString &source, const QString &target,
    const QString &host, const QString &login, const QString &password)
{
    if (operationRunning())
        return false;
    transfer = {};
    transfer.source = source;
    transfer.target = target;
    action = PendingAction::GetNow;
    if (!services.tree->connectWith(host, login, password))
        dispatch();
    return true;
}

void ActionDispatch::dispatch()
{
    TWinInetFTP &ftp = *services.ftp;
    ListingView &listing = *services.listing;
    switch (action) {
    case PendingAction::Download:
    case PendingAction::GetNow:
    case PendingAction::Send:
        startTransfer();
        return;
    case PendingAction::CreateDir:
        listing.setBusy(true);
        ftp.CreateDirectory(operationPath);
        return;
    case PendingAction::DeleteDir:
        listing.setBusy(true);
        ftp.DeleteDirectory(operationPath);
        return;
    case PendingAction::DeleteFile:
        listing.setBusy(true);
        ftp.DeleteFile(operationPath);
        return;
    case PendingAction::RenameFile:
        listing.setBusy(true);
        ftp.RenameFile(operationPath, operationSecond);
        return;
    default:
        if (!startListing())
            connectFailed();
    }
}

// Nothing after the start call: a refused start ends inside it.
void ActionDispatch::startTransfer()
{
    TWinInetFTP &ftp = *services.ftp;
    if (services.transferStarts)
        services.transferStarts();
    if (services.showTransferPanel)
        services.showTransferPanel();
    services.listing->setBusy(true);
    if (action == PendingAction::GetNow) {
        entryFound = false;
        transfer.expectedSize = 0;
        ftp.GetFile(transfer.source, transfer.target);
        return;
    }
    transfer.startTime = QDateTime::currentDateTimeUtc();
    if (action == PendingAction::Send && transfer.askBeforeReplacing) {
        entryFound = false;
        ftp.GetDirectory(transfer.target);
    } else if (action == PendingAction::Send) {
        ftp.SendFile(transfer.source, transfer.target, transfer.makeParents);
    } else if (transfer.checkNewer) {
        startNewerCheck();
    } else {
        transfer.fileRequested = true;
        ftp.GetFileResumable(transfer.source, transfer.target);
    }
}

bool ActionDispatch::startListing()
{
    SiteTree &tree = *services.tree;
    switch (action) {
    case PendingAction::Connect:
        tree.siteConnected();
        showLogonMessage();
        services.tabs->setCurrentIndex(0);
        tree.ui.dropTarget->setAcceptDrops(true);
        tree.listDirectory(tree.target(), targetPath);
        return true;
    case PendingAction::RefreshDir:
        services.tabs->setCurrentIndex(0);
        tree.ui.dropTarget->setAcceptDrops(true);
        tree.listDirectory(tree.current(), operationPath);
        return true;
    case PendingAction::DownloadSite:
        tree.siteDownloadFlag = true;
        tree.listDirectory(tree.target(), targetPath);
        return true;
    case PendingAction::OpenLink:
        tree.listLink(operationPath);
        return true;
    default:
        return false;
    }
}

void ActionDispatch::showLogonMessage()
{
    const QStringList &lines = services.ftp->LogonMessage();
    if (!lines.isEmpty() && services.messages)
        services.messages->setLines(lines);
}

void ActionDispatch::connectFailed()
{
    services.listing->setBusy(false);
    services.tree->siteDownloadFlag = false;
    services.tree->refreshFlag = false;
    services.tree->forgetConnection();
    forgetWhatWasOpened();
    if (services.requestNotRun)
        services.requestNotRun(action);
    const TWinInetError error = services.ftp->LastError();
    if (transferRunning()) {
        transferConnectFailed(error);
        return;
    }
    reportConnectFailure(error);
    // Whatever the queue holds back for this operation may start now.
    if (services.operationEnded)
        services.operationEnded();
}

// The transfer never began. Cancelled, it ends as a cancelled transfer does,
// without a word; otherwise its row fails with the reason the user is told.
void ActionDispatch::transferConnectFailed(int error)
{
    if (error == errTerminated) {
        services.transferDone(errTerminated);
        return;
    }
    // An insecure connection says why: the user may want to trust the
    // certificate or change the site's security before starting again.
    const QString text = error == errInsecure
        ? insecureMessage()
        : QStringLiteral("Could not connect to a site to establish file transfer.");
    if (services.transferNotStarted)
        services.transferNotStarted(text);
    Prompts::error(text);
    if (services.stopQueue)
        services.stopQueue();
    clearPendingAction();
    if (services.operationEnded)
        services.operationEnded();
}

void ActionDispatch::reportConnectFailure(int error)
{
    switch (error) {
    case errWinInetError:
        Prompts::error(QStringLiteral("Error accessing WinInet.DLL."));
        break;
    case errSiteNotFound:
        Prompts::error(QStringLiteral("The requested site could not be located."));
        break;
    case errBadLogin:
        Prompts::error(QStringLiteral("Invalid Login."));
        break;
    case errTerminated:
        break;
    case errInsecure:
        Prompts::error(insecureMessage());
        clearPendingAction();
        break;
    default:
        Prompts::error(QStringLiteral("Unable to connect to site."));
        clearPendingAction();
        break;
    }
}

QString ActionDispatch::insecureMessage() const
{
    return InsecureConnectionText::message(services.ftp->FTPSite, services.ftp->LastErrorCode());
}

// What was being opened is not open: opening it again tries again.
void ActionDispatch::forgetWhatWasOpened()
{
    SiteTree &tree = *services.tree;
    if (action == PendingAction::Connect) {
        tree.dropCurrent();
    } else if (action == PendingAction::RefreshDir) {
        tree.markNotListed(tree.current());
        tree.dropCurrent();
    } else if (action == PendingAction::DownloadSite) {
        tree.stopFlag = true;
    } else if (action == PendingAction::OpenLink) {
        tree.forgetLinkProbe();
    }
}

void ActionDispatch::WinInetFTP1DirEntry(const TWin32FindData &entry)
{
    if (services.ftp->EventIsStale() || entry.cFileName[0] == '.')
        return;
    if ((transfer.checkNewer || transfer.askBeforeReplacing) && queueTransferRunning()) {
        if (transfer.checkNewer && listingFolder) {
            newerFolders.addEntry(entry);
            return;
        }
        foundEntry = entry;
        entryFound = true;
        return;
    }
    services.tree->addListedEntry(entry);
}

void ActionDispatch::WinInetFTP1DirDone()
{
    // A cancelled listing ends later than its Stop; by then another
    // operation may run, which this late event must not end.
    if (services.ftp->EventIsStale())
        return;
    if (queueTransferRunning()) {
        if (action == PendingAction::Send)
            uploadLookupDone();
        else if (listingFolder)
            folderListingDone();
        else
            newerFileComparison(services.ftp->LastError());
        return;
    }
    if (services.tree->probingLink()) {
        linkListingDone();
        return;
    }
    const bool complete = listingComplete(services.ftp->LastError());
    services.listing->setBusy(false);
    services.listing->EventClick();
    services.tree->listingDone(complete);
    if (!complete) {
        const QString cause = FailureCauses::ofSession(
            services.ftp->LastErrorCode(), services.ftp->LogonMessage());
        Prompts::error(QStringLiteral("The directory listing did not complete.")
            + (cause.isEmpty() ? QString() : QLatin1Char(' ') + cause));
    }
    if (services.operationEnded)
        services.operationEnded();
}

// The end of the listing that tells whether a link leads to a folder. Any
// failure, or a 550, means it is not one: it is fetched as a file then, and
// a link that leads nowhere fails there with the download's own message.
void ActionDispatch::linkListingDone()
{
    const TWinInetError error = services.ftp->LastError();
    const bool refused
        = error != errNone || services.ftp->LastErrorCode() == ERROR_INTERNET_EXTENDED_ERROR;
    services.listing->setBusy(false);
    services.listing->EventClick();
    services.tree->linkListingDone(error == errTerminated, refused);
    finish(PendingAction::OpenLink);
}

// The newer check of a queued download: from its folder's listing when the
// run lists that folder, else the single-file lookup.
void ActionDispatch::startNewerCheck()
{
    entryFound = false;
    listingFolder = false;
    const uint64_t check = ++newerChecks;
    const NewerFolders::File file = newerFile();
    switch (newerFolders.wayFor(file)) {
    case NewerFolders::Way::ListFolder:
        listingFolder = true;
        newerFolders.beginListing(file);
        services.ftp->GetDirectory(NewerFolders::folderListing(file.path));
        return;
    case NewerFolders::Way::FromListing:
        // Answered from the event loop, so that a long run of unchanged
        // files does not nest one check inside the end of the one before.
        // Stop, or a later check, leaves the answer unused.
        QTimer::singleShot(0, services.listing, [this, check] {
            if (check == newerChecks && action == PendingAction::Download && transfer.checkNewer
                && services.listing->isBusy())
                answerFromListing();
        });
        return;
    case NewerFolders::Way::Alone:
        services.ftp->GetDirectory(transfer.source);
        return;
    }
}

NewerFolders::File ActionDispatch::newerFile() const
{
    return { transfer.host, transfer.login, transfer.source };
}

void ActionDispatch::folderListingDone()
{
    listingFolder = false;
    const TWinInetError error = services.ftp->LastError();
    if (error == errTerminated) {
        services.transferDone(errTerminated);
        return;
    }
    newerFolders.endListing(
        error == errNone || error == errFileNotFound || error == errDirNotFound);
    answerFromListing();
}

// What the folder's listing cannot answer for exactly is looked up alone.
void ActionDispatch::answerFromListing()
{
    if (const TWin32FindData *entry = newerFolders.entryFor(newerFile())) {
        foundEntry = *entry;
        entryFound = true;
        newerFileComparison(errNone);
        return;
    }
    services.ftp->GetDirectory(transfer.source);
}

// The end of the newer check of a "Download, Newer" item.
void ActionDispatch::newerFileComparison(int error)
{
    // A lookup that failed found out nothing: the item fails as a transfer
    // that did not complete, never as a file that is gone.
    const bool lookupFailed
        = error != errNone && error != errFileNotFound && error != errDirNotFound;
    if (lookupFailed) {
        services.transferDone(error == errTerminated ? errTerminated : errUnknown);
        return;
    }
    newerFolders.checked(newerFile());
    if (!entryFound) {
        setWatchStatus(QStringLiteral("Not Found"));
        services.transferDone(errNone);
        return;
    }
    transfer.checkNewer = false;
    if (!NewerFile::siteCopyIsNewer(transfer.queuedEntry, foundEntry, RowTexts::todayUtc())) {
        setWatchStatus(QStringLiteral("Up to Date"));
        services.transferDone(errNone);
        return;
    }
    transfer.newerFound = true;
    transfer.newerEntry = foundEntry;
    dispatch();
}

// The end of the look-up before an upload into a folder the window had not
// listed: a file of that name is replaced only if the user says so.
void ActionDispatch::uploadLookupDone()
{
    transfer.askBeforeReplacing = false;
    if (services.ftp->LastError() == errTerminated) {
        services.transferDone(errTerminated);
        return;
    }
    if (entryFound && !isDirectory(foundEntry)
        && OverwriteQuestion(false).ask(transfer.target) != OverwriteQuestion::Answer::Replace) {
        services.transferDone(errNone); // left out; the queue goes on
        return;
    }
    dispatch();
}

void ActionDispatch::queueTransferSucceeded()
{
    if (!transfer.newerFound)
        return;
    transfer.newerFound = false;
    setWatchStatus(QStringLiteral("Downloaded"));
    if (services.watchList.refreshItem)
        services.watchList.refreshItem(transfer.source, transfer.host, transfer.newerEntry);
}

void ActionDispatch::setWatchStatus(const QString &status)
{
    if (services.watchList.setStatus)
        services.watchList.setStatus(transfer.source, transfer.host, status);
}
