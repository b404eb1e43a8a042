#pragma once

#include <QString>

// The pending action: which operation a connection or listing leads to.
// The words are "Connect", "RefreshDir", "DownloadSite", "Download", "Send",
// "GetNow", "CreateDir", "DeleteDir", "DeleteFile" and "RenameFile".
class ActionDispatch {
public:
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

private:
    QString action;
};
