#pragma once

#include "transfers/TransferSpeed.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <functional>

class ActionDispatch;
class ListingView;
class SiteTree;
class TransferProgress;
class TransferQueue;
class TWinInetFTP;

// The end of every transfer: the queue item leaves the queue, the queue goes
// on or the window returns to idle, and a failure is told; and on the way
// the progress events that feed the transfer panel.
class TransferCompletion {
public:
    struct Services {
        TWinInetFTP *ftp = nullptr;
        ActionDispatch *dispatch = nullptr;
        TransferQueue *queue = nullptr;
        TransferProgress *progress = nullptr;
        ListingView *listing = nullptr;
        SiteTree *tree = nullptr;
        // Lists the current folder again, so that uploaded files show.
        std::function<void()> refreshFiles;
        // Hands a downloaded file to the desktop's default program.
        std::function<void(const QString &path)> openFile;
    };

    void bind(const Services &s) { services = s; }

    // OnGetStatus and OnSendStatus.
    void WinInetFTP1GetStatus(int64_t bytes);
    // OnGetDone and OnSendDone.
    void WinInetFTP1GetDone();
    // The end of the transfer under way with this result, also when a newer
    // check ended it without a download.
    void transferEnded(int error);
    // The Stop command is cancelling the transfer under way: its row waits
    // for the Stop command's question instead of leaving with the transfer.
    void stopCommandCancels() { cancelledByStop = true; }
    // A transfer starts: a Stop pressed before it (say, while its connection
    // was made) cancelled no transfer of its own.
    void transferStarts();

private:
    void showProgress(int64_t bytes);
    void quickDownloadDone();
    QString failureCause(int error) const;
    void endTransfer(int error);

    Services services;
    bool cancelledByStop = false;
    // Status events come per 4 KB; the panel shows a few of them a second.
    // A file done sooner than that is never shown: nobody could read it.
    static constexpr int kProgressIntervalMs = 100;
    QElapsedTimer sinceStart;
    QElapsedTimer sinceShown;
    int64_t lastBytes = 0;
    TransferSpeed speed;
};
