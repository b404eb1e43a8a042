#pragma once

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

// The one transfer under way on the browse connection: the quick download.
struct TransferContext {
    QString source; // remote path of a download, local path of an upload
    QString target; // local save path of a download, remote path of an upload
    bool openAfter = false;
    double expectedSize = 0; // 0: unknown
    QDateTime startTime;
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
        // The connection for this action failed: it never runs.
        std::function<void(PendingAction)> requestNotRun;
    };

    void bind(const Services &s) { services = s; }

    PendingAction pendingAction() const override { return action; }
    void request(PendingAction a, const QString &path = {}, const QString &second = {}) override;
    void dispatchDirect() override { dispatch(); }
    void finish(PendingAction own) override;
    void clearPendingAction();

    // Any transfer, the quick download included.
    bool transferRunning() const { return isTransfer(action); }
    // An FTP operation runs, or a transfer waits for its connection: no
    // command may start another.
    bool operationRunning() const;

    // The quick download: one file from a site the user named, outside the
    // queue. Refused, and false, while another operation runs.
    bool startQuickDownload(const QString &source, const QString &target, const QString &host,
        const QString &login, const QString &password);

    // Handlers of the session's events.
    void WinInetFTP1Connect();
    void WinInetFTP1DirEntry(const TWin32FindData &entry);
    void WinInetFTP1DirDone();

    QString targetPath;
    QString operationPath;
    QString operationSecond;
    TransferContext transfer;

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
    void linkListingDone();

    Services services;
    PendingAction action = PendingAction::None;
};
