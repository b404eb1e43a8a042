#pragma once

#include "dispatch/NewerFile.h"
#include "explorer/SiteTree.h"
#include "ftp/WinInetFTP.h"
#include "transfers/QueueItem.h"

#include <QObject>

#include <functional>

// One connection of the queue's own: it runs one item at a time from
// connect to the end of its transfer, and stays connected to the item's
// site for the next item. It never touches the window's browse connection.
class TransferLane : public QObject {
    Q_OBJECT
public:
    // How an item ended.
    struct Outcome {
        int error = errNone; // the connect's or the transfer's TWinInetError
        bool connectFailed = false; // no connection was made for it
        bool refusedForLimit = false; // the server takes no more logins now
        bool transferred = false; // a file moved (not only looked up)
        QString watchStatus; // "Not Found", "Up to Date": checked, nothing moved
        bool newerFound = false;
        TWin32FindData newerEntry {};
        int32_t errorCode = 0; // the session's LastErrorCode
        QStringList replies; // the session's reply lines

        static Outcome of(int error)
        {
            Outcome o;
            o.error = error;
            return o;
        }
    };
    struct Hooks {
        std::function<bool(const TlsCertificateFacts &)> certificate;
        std::function<ServerKeyAnswer(const ServerKeyFacts &)> hostKey;
        std::function<bool(const std::string &keyFile, std::string &passphrase)> passphrase;
        std::function<void(TransferLane &, int64_t bytes)> progress;
        std::function<void(TransferLane &, const Outcome &)> ended;
        NewerFolders *newerFolders = nullptr; // shared by the lanes of a run
    };

    TransferLane(const Hooks &hooks, QObject *parent = nullptr);
    ~TransferLane() override;

    bool isBusy() const { return busy; }
    bool isConnected() const { return ftp && ftp->Connected(); }
    const SiteConnection &site() const { return connection; }
    const QueueItem &item() const { return running; }
    // The file was asked for (not only looked up by a newer check).
    bool fileRequested() const { return requested; }

    void start(const QueueItem &item, const SiteConnection &site);
    // Ends the connection at once, whatever runs; no outcome is reported.
    void shutDown();

private:
    enum class Phase { Idle, Connecting, UploadLookup, FolderListing, FileLookup, Transfer };

    void makeSession();
    void bindEvents();
    void begin();
    void transfer();
    qint64 listedSize() const;
    void startNewerCheck();
    void answerFromListing();
    void newerComparison(int error);
    void uploadLookupDone();
    void onConnect();
    void onDirEntry(const TWin32FindData &entry);
    void onDirDone();
    void onTransferDone();
    void end(Outcome outcome);
    bool refusedForLimit() const;
    NewerFolders::File newerFile() const;

    Hooks hooks;
    TWinInetFTP *ftp = nullptr;
    SiteConnection connection;
    QueueItem running;
    Phase phase = Phase::Idle;
    bool busy = false;
    bool requested = false;
    bool entryFound = false;
    TWin32FindData foundEntry {};
    bool newerFound = false; // the check found a newer copy, now fetched
    TWin32FindData newerEntry {};
    uint64_t checks = 0; // tells a deferred answer from a later item's
    int handlerDepth = 0;
};
