#include "transfers/ActionDispatch.h"

#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "explorer/TFormMessage.h"
#include "ftp/WinInetFTP.h"
#include "platform/Prompts.h"

#include <QTabBar>

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

void ActionDispatch::dispatch()
{
    TWinInetFTP &ftp = *services.ftp;
    ListingView &listing = *services.listing;
    SiteTree &tree = *services.tree;
    if (action == QLatin1String("Download")) {
        if (services.showTransferPanel)
            services.showTransferPanel();
        transfer.startTime = QDateTime::currentDateTime();
        listing.setBusy(true);
        if (transfer.checkNewer) {
            entryFound = false;
            ftp.GetDirectory(transfer.source);
        } else {
            ftp.GetFile(transfer.source, transfer.target);
        }
    } else if (action == QLatin1String("GetNow")) {
        if (services.showTransferPanel)
            services.showTransferPanel();
        listing.setBusy(true);
        entryFound = false;
        transfer.expectedSize = 0;
        ftp.GetFile(transfer.source, transfer.target);
    } else if (action == QLatin1String("Send")) {
        if (services.showTransferPanel)
            services.showTransferPanel();
        transfer.startTime = QDateTime::currentDateTime();
        listing.setBusy(true);
        ftp.SendFile(transfer.source, transfer.target);
    } else if (action == QLatin1String("CreateDir")) {
        listing.setBusy(true);
        ftp.CreateDirectory(operationPath);
    } else if (action == QLatin1String("DeleteDir")) {
        listing.setBusy(true);
        ftp.DeleteDirectory(operationPath);
    } else if (action == QLatin1String("DeleteFile")) {
        listing.setBusy(true);
        ftp.DeleteFile(operationPath);
    } else if (action == QLatin1String("RenameFile")) {
        listing.setBusy(true);
        ftp.RenameFile(operationPath, operationSecond);
    } else if (action == QLatin1String("Connect")) {
        showLogonMessage();
        services.tabs->setCurrentIndex(0);
        tree.ui.dropTarget->setAcceptDrops(true);
        tree.listDirectory(tree.target(), targetPath);
    } else if (action == QLatin1String("RefreshDir")) {
        services.tabs->setCurrentIndex(0);
        tree.ui.dropTarget->setAcceptDrops(true);
        tree.listDirectory(tree.current(), operationPath);
    } else if (action == QLatin1String("DownloadSite")) {
        tree.siteDownloadFlag = true;
        tree.listDirectory(tree.target(), targetPath);
    } else {
        connectFailed();
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
    // What was being opened is not open: opening it again tries again.
    if (action == QLatin1String("Connect")) {
        services.tree->dropCurrent();
    } else if (action == QLatin1String("RefreshDir")) {
        services.tree->markNotListed(services.tree->current());
        services.tree->dropCurrent();
    } else if (action == QLatin1String("DownloadSite")) {
        services.tree->stopFlag = true;
    }
    if (transferRunning()) {
        Prompts::error(QStringLiteral("Could not connect to a site to establish file transfer."));
        if (services.stopQueue)
            services.stopQueue();
        clearPendingAction();
        return;
    }
    switch (services.ftp->LastError()) {
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
    default:
        Prompts::error(QStringLiteral("Unable to connect to site."));
        clearPendingAction();
        break;
    }
}

void ActionDispatch::WinInetFTP1DirEntry(const TWin32FindData &entry)
{
    if (services.ftp->EventIsStale() || entry.cFileName[0] == '.')
        return;
    if (transfer.checkNewer && queueTransferRunning()) {
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
    if (queueTransferRunning())
        return; // the newer-file lookup's end comes with the watch list
    const bool complete = listingComplete(services.ftp->LastError());
    services.listing->setBusy(false);
    services.listing->EventClick();
    services.tree->listingDone(complete);
    if (!complete)
        Prompts::error(QStringLiteral("The directory listing did not complete."));
}
