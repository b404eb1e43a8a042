#include "dispatch/ActionDispatch.h"

#include "dispatch/FailureCauses.h"
#include "dispatch/InsecureConnectionText.h"
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
}

void ActionDispatch::finish(PendingAction own)
{
    if (action == own)
        clearPendingAction();
    if (services.operationEnded)
        services.operationEnded();
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
    case PendingAction::GetNow:
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

// The quick download; the queue's transfers run on connections of their own.
// Nothing after the start call: a refused start ends inside it.
void ActionDispatch::startTransfer()
{
    TWinInetFTP &ftp = *services.ftp;
    if (services.transferStarts)
        services.transferStarts();
    if (services.showTransferPanel)
        services.showTransferPanel();
    services.listing->setBusy(true);
    transfer.expectedSize = 0;
    ftp.GetFile(transfer.source, transfer.target);
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
    services.tree->addListedEntry(entry);
}

void ActionDispatch::WinInetFTP1DirDone()
{
    // A cancelled listing ends later than its Stop; by then another
    // operation may run, which this late event must not end.
    if (services.ftp->EventIsStale())
        return;
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
