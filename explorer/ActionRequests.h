#pragma once

#include <QString>

// What a command leaves for the action dispatch: the one operation that the
// next connect event, or the direct entry, starts.
enum class PendingAction {
    None,
    Connect,
    RefreshDir,
    DownloadSite,
    Download,
    Send,
    GetNow,
    CreateDir,
    DeleteDir,
    DeleteFile,
    RenameFile,
    OpenLink, // list a link of unknown kind to learn whether it is a folder
};

inline bool isQueueTransfer(PendingAction a)
{
    return a == PendingAction::Download || a == PendingAction::Send;
}
inline bool isTransfer(PendingAction a)
{
    return isQueueTransfer(a) || a == PendingAction::GetNow;
}

// How the explorer's commands reach the dispatch, which sits above them.
class ActionRequests {
public:
    virtual PendingAction pendingAction() const = 0;
    // Records the action with its paths: for Connect and DownloadSite the
    // folder to list; otherwise the operation path, and for RenameFile the
    // new path as `second`. A new request replaces the one pending.
    virtual void request(PendingAction action, const QString &path = {}, const QString &second = {})
        = 0;
    // Starts the pending action on the connection already open.
    virtual void dispatchDirect() = 0;
    // A request has ended: the pending action is cleared if it is still `own`
    // (a newer command may have replaced it meanwhile).
    virtual void finish(PendingAction own) = 0;

protected:
    ~ActionRequests() = default;
};
