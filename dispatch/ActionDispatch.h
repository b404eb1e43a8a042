#pragma once

#include "dispatch/NewerFile.h"
#include "explorer/ActionRequests.h"
#include "ftp/Win32FindData.h"

#include <QDateTime>
#include <QString>
#include <functional>

class ListingView;
class QTabBar;
class SiteTree;
class TFormMessage;
class TWinInetFTP;
struct QueueItem;

// The one transfer under way.
struct TransferContext {
    QString source; // remote path of a download, local path of an upload
    QString target; // local save path of a download, remote path of an upload
    bool openAfter = false;
    bool checkNewer = false;
    double expectedSize = 0; // 0: unknown
    QDateTime startTime;
    // A queue item's site and the entry it was queued with: what the newer
    // check compares the site's copy against.
    QString host;
    QString login;
    TWin32FindData queuedEntry {};
    // The check found a newer copy: the watch item learns of it once the
    // download has succeeded.
    bool newerFound = false;
    TWin32FindData newerEntry {};
    // The file itself was asked for (not only looked up by a newer check).
    bool fileRequested = false;
    // An upload looks up its target first and asks before replacing it.
    bool askBeforeReplacing = false;
    // An upload of a folder's file makes the remote folders it lands in.
    bool makeParents = false;
};

// The watch list's side of the newer-file check; bound by the window.
struct WatchListPort {
    std::function<void(const QString &name, const QString &host, const QString &status)> setStatus;
    std::function<void(const QString &name, const QString &host, const TWin32FindData &found)>
        refreshItem;
};

// The pending action and its arguments: what a connection or a listing
// leads to. A command stores its action, then connects or, when already
// connected to the same site, enters the dispatch directly; the connect event
// or that direct entry starts the one operation the action names.
class ActionDispatch : public ActionRequests {
public:
    struct Services {
        TWinInetFTP *ftp = nullptr;
        SiteTree *tree = nullptr;
        ListingView *listing = nullptr;
        TFormMessage *messages = nullptr;
        QTabBar *tabs = nullptr;
        std::function<void()> stopQueue;
        std::function<void()> showTransferPanel;
        std::function<void()> transferStarts;
        // Any operation has ended: the queue may start what waits.
        std::function<void()> operationEnded;
        // The end of the transfer under way, as its done event ends it.
        std::function<void(int error)> transferDone;
        WatchListPort watchList;
        // The connection for a queue transfer failed: its item failed so.
        std::function<void(const QString &reason)> transferNotStarted;
        // The connection for this action failed: it never runs.
        std::function<void(PendingAction)> requestNotRun;
    };

    void bind(const Services &s) { services = s; }

    PendingAction pendingAction() const override { return action; }
    void request(PendingAction a, const QString &path = {}, const QString &second = {}) override;
    void dispatchDirect() override { dispatch(); }
    void finish(PendingAction own) override;
    void clearPendingAction();

    // A download or upload of the queue is running.
    bool queueTransferRunning() const { return isQueueTransfer(action); }
    // Any transfer, the quick download included.
    bool transferRunning() const { return isTransfer(action); }
    // An FTP operation runs, or a transfer waits for its connection: no
    // command may start another.
    bool operationRunning() const;

    // The queue's start of one item: the transfer context from the item,
    // then a connection to the item's site or, when it is open, the transfer.
    bool startQueueItem(const QueueItem &item);
    // The quick download: one file from a site the user named, outside the
    // queue. Refused, and false, while another operation runs.
    bool startQuickDownload(const QString &source, const QString &target, const QString &host,
        const QString &login, const QString &password);

    // The files a download-if-newer run queued: the folders holding two or
    // more of them are listed once instead of looking each file up.
    void planNewerChecks(const std::vector<NewerFolders::File> &files);

    // Handlers of the session's events.
    void WinInetFTP1Connect();
    void WinInetFTP1DirEntry(const TWin32FindData &entry);
    void WinInetFTP1DirDone();
    // A queue transfer succeeded: a watched file fetched because it was
    // newer is now the watch item's copy.
    void queueTransferSucceeded();

    QString targetPath;
    QString operationPath;
    QString operationSecond;
    TransferContext transfer;
    TWin32FindData foundEntry {};
    bool entryFound = false;

private:
    void dispatch();
    void startTransfer();
    bool startListing();
    void connectFailed();
    void transferConnectFailed(int error);
    void reportConnectFailure(int error);
    QString insecureMessage() const;
    void forgetWhatWasOpened();
    void showLogonMessage();
    void startNewerCheck();
    NewerFolders::File newerFile() const;
    void folderListingDone();
    void answerFromListing();
    void newerFileComparison(int error);
    void uploadLookupDone();
    void linkListingDone();
    void setWatchStatus(const QString &status);

    Services services;
    PendingAction action = PendingAction::None;
    NewerFolders newerFolders;
    bool listingFolder = false; // the listing running is a newer check's folder
    uint64_t newerChecks = 0; // tells a check's deferred answer from a later check's
};
