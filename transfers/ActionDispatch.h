#pragma once

#include "ftp/Win32FindData.h"

#include <QDateTime>
#include <QString>
#include <functional>

class ListingView;
class QTabBar;
class SiteTree;
class TFormMessage;
class TWinInetFTP;

// The one transfer under way.
struct TransferContext {
    QString source; // remote path of a download, local path of an upload
    QString target; // local save path of a download, remote path of an upload
    bool openAfter = false;
    bool checkNewer = false;
    double expectedSize = 0; // 0: unknown
    QDateTime startTime;
};

// The pending action and its arguments: what a connection or a listing
// leads to. A command stores its action, then connects or, when already
// connected to the same site, enters the dispatch directly; the connect event
// or that direct entry starts the one operation the action names.
// The words are "Connect", "RefreshDir", "DownloadSite", "Download", "Send",
// "GetNow", "CreateDir", "DeleteDir", "DeleteFile" and "RenameFile".
class ActionDispatch {
public:
    struct Services {
        TWinInetFTP *ftp = nullptr;
        SiteTree *tree = nullptr;
        ListingView *listing = nullptr;
        TFormMessage *messages = nullptr;
        QTabBar *tabs = nullptr;
        std::function<void()> stopQueue;
        std::function<void()> showTransferPanel;
    };

    void bind(const Services &s) { services = s; }

    QString pendingAction() const { return action; }
    void setPendingAction(const QString &word) { action = word; }
    void clearPendingAction() { action.clear(); }

    // A download or upload of the queue is running.
    bool queueTransferRunning() const
    {
        return action == QLatin1String("Download") || action == QLatin1String("Send");
    }
    // Any transfer, the quick download included.
    bool transferRunning() const
    {
        return queueTransferRunning() || action == QLatin1String("GetNow");
    }

    // Handlers of the session's events.
    void WinInetFTP1Connect();
    void WinInetFTP1DirEntry(const TWin32FindData &entry);
    void WinInetFTP1DirDone();
    // The direct entry, when no new connection was needed.
    void dispatchDirect() { dispatch(); }

    QString targetPath;
    QString operationPath;
    QString operationSecond;
    TransferContext transfer;
    TWin32FindData foundEntry {};
    bool entryFound = false;

private:
    void dispatch();
    void connectFailed();
    void showLogonMessage();

    Services services;
    QString action;
};
