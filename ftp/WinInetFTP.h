#pragma once

#include "ftp/FtpEventQueue.h"
#include "ftp/RemoteFolders.h"
#include "ftp/RemoteProtocol.h"
#include "ftp/TlsCertificateFacts.h"
#include "ftp/Win32FindData.h"
#include "ftp/WinInet.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class FtpThread;
class FtpWorker;
class TWinInetFTP;
class CertificateDesk;

// Outcome of an operation, read from LastError inside its completion event.
enum TWinInetError : uint8_t {
    errNone = 0,
    errWinInetError = 1,
    errFileNotFound = 2,
    errDirNotFound = 3,
    errSiteNotFound = 4,
    errBadLogin = 5,
    errUnknown = 6,
    errTerminated = 7,
    errBadSaveFile = 8,
    errNotConnected = 9,
    errNoRights = 10,
    // The connection could not be made secure; LastErrorCode tells why:
    // 12038 the certificate names another host, 12045 the certificate was
    // not trusted, 12157 the TLS handshake failed, 12190 encryption is
    // required and the server refused AUTH TLS.
    errInsecure = 11,
};

// How the next Connect protects the control and data connections.
enum class TFtpSecurity : uint8_t {
    Plain, // never AUTH TLS
    RequireTls, // AUTH TLS or no connection at all
    TlsIfOffered, // AUTH TLS; plain only when the server refuses AUTH
};

// What the component is doing.
enum TWinInetStatus : uint8_t {
    statIdle = 0,
    statInConnect = 1,
    statInGet = 2,
    statInSend = 3,
    statInDirOp = 4,
    statInDirList = 5,
    statInMisc = 6,
};

using TOnConnectEvent
    = std::function<void(TWinInetFTP *Sender, HINTERNET HandleInternet, HINTERNET HandleFTP)>;
using TOnDisconnectEvent = std::function<void(TWinInetFTP *Sender)>;
using TOnDirEntryEvent = std::function<void(TWinInetFTP *Sender, PTWin32FindData pFindData)>;
using TOnDirDoneEvent = std::function<void(TWinInetFTP *Sender)>;
using TOnGetStatusEvent = std::function<void(TWinInetFTP *Sender, int64_t bytesSent)>;
using TOnGetDoneEvent = std::function<void(TWinInetFTP *Sender, int64_t bytesSent)>;
using TOnSendStatusEvent = std::function<void(TWinInetFTP *Sender, int64_t bytesSent)>;
using TOnSendDoneEvent = std::function<void(TWinInetFTP *Sender, int64_t bytesSent)>;
using TOnDeleteFileDoneEvent = std::function<void(TWinInetFTP *Sender)>;
using TOnRenameFileDoneEvent = std::function<void(TWinInetFTP *Sender)>;
using TOnCreateDirDoneEvent = std::function<void(TWinInetFTP *Sender)>;
using TOnDeleteDirDoneEvent = std::function<void(TWinInetFTP *Sender)>;
using TOnStatusEvent = std::function<void(TWinInetFTP *Sender, int32_t dwInternetStatus)>;
// True lets the connection go on with this certificate.
using TOnCertificateEvent
    = std::function<bool(TWinInetFTP *Sender, const TlsCertificateFacts &certificate)>;
// How far to trust a server key (SFTP) that nothing known vouches for.
using TOnHostKeyEvent
    = std::function<ServerKeyAnswer(TWinInetFTP *Sender, const ServerKeyFacts &key)>;
// The passphrase of one of the user's key files (SFTP); false skips the key.
using TOnKeyPassphraseEvent
    = std::function<bool(TWinInetFTP *Sender, const std::string &keyFile, std::string &passphrase)>;

// What a worker hands back with its completion event.
struct TWinInetOutcome {
    TWinInetError error = errNone;
    bool codeSet = false; // false keeps LastErrorCode as it was
    int32_t code = 0;
    bool clearLogon = false;
    QStringList replyLines; // appended to LogonMessage
    HINTERNET lostConnection = nullptr; // drop the handles if still this connection
};

// The FTP session: owns the Internet session and the FTP connection of the
// current site and runs the requests on the connection's worker thread, one
// after another. Every outcome arrives as an event on the user-interface
// thread, posted there in order while the worker goes on; nothing is thrown
// and no request blocks on the network.
class TWinInetFTP : public QObject {
    Q_OBJECT
public:
    explicit TWinInetFTP(QObject *Owner = nullptr);
    // Safe whatever runs: every worker still running is stopped (its network
    // wait cut short) and waited for, without its events reaching any handler
    // any more; then the handles still held are closed. Not from inside one of
    // the component's own event handlers (use deleteLater there).
    ~TWinInetFTP() override;

    // Read/write properties, taken by the next Connect.
    QString AppTitle;
    QString FTPSite;
    QString Login;
    QString Password;
    TFtpSecurity Security = TFtpSecurity::Plain;
    // SFTP instead of FTP (Security does not apply: SSH always encrypts).
    bool Sftp = false;
    // Minutes east of UTC of the clock in which the server writes the times
    // of a LIST listing (machine-readable listings are UTC already).
    int TimeZoneOffsetMinutes = 0;

    const QStringList &LogonMessage() const { return logonMessage; }
    // After a refused Connect: the server's last reply code and text (a
    // connection limit reads 421, or 530 with its reason); 0 and empty else.
    int ConnectRefusalCode() const { return refusalCode; }
    const QStringList &ConnectRefusal() const { return refusal; }
    TWinInetStatus Status() const { return status.load(); }
    TWinInetError LastError() const { return lastError; }
    int32_t LastErrorCode() const { return lastErrorCode; }

    TOnConnectEvent OnConnect;
    TOnDisconnectEvent OnDisconnect; // declared for the window; never fired
    TOnDirEntryEvent OnDirEntry;
    TOnDirDoneEvent OnDirDone;
    TOnGetStatusEvent OnGetStatus;
    TOnGetDoneEvent OnGetDone;
    TOnSendStatusEvent OnSendStatus;
    TOnSendDoneEvent OnSendDone;
    TOnDeleteFileDoneEvent OnDeleteFileDone;
    TOnRenameFileDoneEvent OnRenameFileDone;
    TOnCreateDirDoneEvent OnCreateDirDone;
    TOnDeleteDirDoneEvent OnDeleteDirDone;
    TOnStatusEvent OnWinInetStatus;
    // Asked on the user-interface thread, while the connection waits, about a
    // certificate the system's store does not vouch for (unknown issuer,
    // self-signed, out of its validity). A certificate for another host is
    // refused without asking. Unset: refused.
    TOnCertificateEvent OnCertificate;
    // As OnCertificate, for an SFTP server's host key that is unknown or
    // changed. Unset: refused.
    TOnHostKeyEvent OnHostKey;
    // As OnHostKey, for the passphrase of a key file in ~/.ssh. Unset: the
    // key is skipped.
    TOnKeyPassphraseEvent OnKeyPassphrase;

    // After a successful Connect: the protocol of an encrypted connection
    // ("TLS 1.3"), empty for a plain one.
    QString Encryption() const { return encryption; }
    // With Encryption(): listings and files are encrypted too (false when the
    // server refused PROT P and only the login and commands are).
    bool DataEncrypted() const { return dataEncrypted; }

    void Connect();
    void Disconnect();
    // Stops the running connect, listing, download and upload. A worker that
    // sits in a network wait for StallMs (a server that stopped delivering)
    // has that wait cut short and its connection dropped, so Cancel never
    // waits for the layer's time-outs.
    void Cancel();
    void GetDirectory(const QString &Directory);
    void GetFile(const QString &RemoteFile, const QString &LocalFile);
    void GetFileDirect(const QString &RemoteFile, const QString &LocalFile);
    // GetFile whose partial file stays when the download does not complete,
    // and which goes on from such a file while the remote file is unchanged.
    // ListedSize (-1: unknown) is the size the file was listed with: a small
    // file goes without questions first and comes whole, never resumed
    // (FtpOpenKnownFileA tells what still proves it).
    void GetFileResumable(
        const QString &RemoteFile, const QString &LocalFile, qint64 ListedSize = -1);
    // makeParents: the remote folders above RemoteFile are made first
    // where they are not there yet. SizeKnown: a small local file goes
    // without questions first, as GetFileResumable's listed one.
    void SendFile(const QString &LocalFile, const QString &RemoteFile, bool makeParents = false,
        bool SizeKnown = false);
    void DeleteFile(const QString &FileName);
    void RenameFile(const QString &OldName, const QString &NewName);
    void SetDirectory(const QString &Directory);
    void CreateDirectory(const QString &Directory);
    void DeleteDirectory(const QString &Directory);

    // Every request gets a number. OperationId() is the latest request's;
    // inside an event, EventOperation() is the number of the operation that
    // raised it, and EventIsStale() tells that a newer request was made
    // before the event was delivered (for instance the late OnDirDone of a
    // cancelled listing), so the event does not end the operation now running.
    // A completion is stale too when a newer Connect replaced its operation
    // (a connect replaced that way reports errTerminated and null handles).
    quint64 OperationId() const { return lastOperation; }
    quint64 EventOperation() const { return eventOperation; }
    bool EventIsStale() const { return eventStale; }

    // Both the session and the connection handle are held. A lost
    // connection drops them, so this turns false once it is noticed.
    bool Connected() const { return hSession.load() && hConnection.load(); }

    // True when no worker of any kind that this component started is still
    // running, cancelled and forgotten ones included: once it holds, no
    // thread will touch the component or deliver an event any more.
    bool NoWorkerAlive() const;

    // Consecutive 4096-byte chunks whose progress an upload posts at once
    // (1 to 16): same events in the same order, and a cancel is still seen
    // after every 16 chunks sent. Downloads post whole blocks of at least 1 MiB (or
    // 10 ms of data).
    int TransferBatch = 16;

    // Status codes the library raises on the user-interface thread (closing
    // a handle) go to the session that closes it; a session of several
    // alike (a transfer lane) declines them.
    void DeclineUiThreadStatus();
    // Whether workers post their status codes at all (OnWinInetStatus); a
    // session whose codes nobody shows saves the window a dozen events per
    // file. Set before the first request.
    bool PostsStatusCodes = true;
    // Whether one turn of the event loop delivers every event waiting (up
    // to a few milliseconds' worth) rather than one. Handlers see the same
    // events, values and order; what a handler queues runs after the batch,
    // so only a session whose handlers call on directly (not queued) between
    // events of one operation may set it.
    bool DeliversInBatches = false;

    // Makes what downloads wrote as new files durable, once: one syncfs per
    // file system written to since the last call, on a thread of its own.
    // done runs on the user-interface thread afterwards (at once when nothing
    // waits; not if this session is gone by then). A replaced file was synced
    // before its rename already.
    void FlushWritten(std::function<void()> done);

private:
    friend class TFTPConnect;
    friend class TThreadFTPFileDir;
    friend class TThreadFTPFileGet;
    friend class TThreadFTPFileSend;
    friend class TThreadFTPFileMisc;
    friend class CertificateDesk;

    enum Kind { kConnect, kDir, kGet, kSend, kMisc, KindCount };
    enum class WaitEnd { Ended, HandlerOnStack, TimedOut };

    // A worker blocked this long in one network wait has a server that does
    // not deliver: Cancel cuts the wait short instead of waiting on.
    static constexpr int StallMs = 400;

    quint64 newOperation() { return ++lastOperation; }
    void startWorker(Kind kind, FtpThread *worker, quint64 op, TWinInetStatus newStatus);
    void connectAs(quint64 op);
    void startDownload(const QString &RemoteFile, const QString &LocalFile, bool direct,
        bool resumable = false, qint64 listedSize = -1);
    void startMisc(int selector, const QString &name1, const QString &name2);
    bool anyBusy() const;
    bool transferRunning() const;
    WaitEnd waitUntilFinished(FtpThread *worker, int timeoutMs = -1);
    void cancelAll(bool patient);
    bool endWorker(const QPointer<FtpThread> &worker, bool patient);
    void stopWorker(Kind kind, bool patient);
    void stopSingleCommand();
    bool otherWorkRunning() const;
    FtpWorker &requestWorker();
    void retireWorker();
    void waitForEvents(int ms);
    bool isStale(const FtpThread *worker) const;
    void dropConnection(HINTERNET connection);
    static bool connectionLost(HINTERNET connection);
    void stopEveryWorker();
    void closeHandle(std::atomic<HINTERNET> &handle);
    bool declinesUiThreadStatus = false;
    void answerNotConnected(const std::function<void()> &fire);

    // Called by the operations: post a step to the user-interface thread,
    // which runs it with the event's operation number in force. A progress
    // event is dropped there when its operation was cancelled or replaced.
    void post(FtpThread *worker, std::function<void()> step);
    void postProgress(FtpThread *worker, std::function<void()> fire);
    // Waits for the answer: the one event a worker waits for.
    bool ask(FtpThread *worker, const std::function<bool()> &question);
    bool dropsProgress(const FtpThread *worker) const;
    std::shared_ptr<CertificateDesk> newCertificateDesk();
    void closeCertificateDesk();
    // For a new connection: asks the user through this session while it lives.
    std::function<bool(const TlsCertificateFacts &)> certificateQuestion() const;
    ServerKeyQuestion hostKeyQuestion() const;
    KeyPassphraseQuestion passphraseQuestion() const;
    void sendWake();
    void deliverPosted();
    void deliver(FtpEventQueue::Event &event);
    void reportStatus(FtpThread *worker, int32_t code);
    // Posts the completion; adjust, if given, settles the outcome on the
    // user-interface thread just before it is applied.
    void complete(FtpThread *worker, const TWinInetOutcome &outcome, std::function<void()> fire,
        std::function<void(TWinInetOutcome &)> adjust = nullptr);
    void applyOutcome(const TWinInetOutcome &outcome);
    void fireStatus(int32_t code);
    static bool isConnectionLost(DWORD code);

    static void statusCallback(
        HINTERNET handle, DWORD_PTR context, DWORD status, void *info, DWORD infoLength);

    std::atomic<HINTERNET> hSession { nullptr };
    std::atomic<HINTERNET> hConnection { nullptr };
    std::atomic<HINTERNET> hTransfer { nullptr };
    std::atomic<HINTERNET> hFind { nullptr };

    // Argument slots as the last request left them; each worker copies its
    // own at creation so a later request cannot change them under it.
    QString dirArgument;
    QString fileName1;
    QString fileName2;
    int miscSelector = 0;
    bool directDownload = false;

    FtpEventQueue events;
    bool batching = false; // a batch of events is being delivered
    RemoteFolders remoteFolders; // what uploads found or made on this connection
    std::shared_ptr<FtpWorker> worker; // the current connection's
    std::shared_ptr<CertificateDesk> certificateDesk;

    std::atomic<bool> busy[KindCount];
    QPointer<FtpThread> workers[KindCount];
    std::vector<QPointer<FtpThread>> started; // every worker not known to be gone
    int nested[KindCount] = {}; // events of each kind being handled on the UI stack
    int completing[KindCount] = {}; // completion handlers of each kind on the UI stack

    QStringList logonMessage;
    QString encryption;
    bool dataEncrypted = false;
    int refusalCode = 0;
    QStringList refusal;
    std::atomic<TWinInetStatus> status { statIdle };
    TWinInetError lastError = errNone;
    int32_t lastErrorCode = 0;

    quint64 lastOperation = 0;
    quint64 latestConnect = 0;
    quint64 lastStarted = 0; // the newest operation that got a worker
    quint64 eventOperation = 0;
    bool eventStale = false;
    bool connectQueued = false;
};
