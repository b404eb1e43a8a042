#include "ftp/WinInetFTP.h"

#include "ftp/FtpThread.h"
#include "ftp/FtpWorker.h"
#include "ftp/ResponseCapture.h"
#include "ftp/TFTPConnect.h"
#include "ftp/TThreadFTPFileDir.h"
#include "ftp/TThreadFTPFileGet.h"
#include "ftp/TThreadFTPFileMisc.h"
#include "ftp/TThreadFTPFileSend.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <mutex>

namespace {

// The library's status callback carries no pointer of ours: a worker's
// comes to the session that started it; one raised on the user-interface
// thread to the session closing a handle there, else to the most recently
// constructed session that takes them.
std::mutex instancesLock;
std::vector<TWinInetFTP *> instances;
TWinInetFTP *closingOnUiThread = nullptr;

TWinInetFTP *uiThreadInstance()
{
    const std::lock_guard<std::mutex> lock(instancesLock);
    return instances.empty() ? nullptr : instances.back();
}

void forgetInstance(TWinInetFTP *ftp)
{
    const std::lock_guard<std::mutex> lock(instancesLock);
    instances.erase(std::remove(instances.begin(), instances.end(), ftp), instances.end());
}

bool onUiThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

} // namespace

TWinInetFTP::TWinInetFTP(QObject *Owner)
    : QObject(Owner), events([this] { sendWake(); }), certificateDesk(newCertificateDesk())
{
    for (auto &flag : busy)
        flag.store(false);
    const std::lock_guard<std::mutex> lock(instancesLock);
    instances.push_back(this);
}

void TWinInetFTP::DeclineUiThreadStatus()
{
    forgetInstance(this);
    declinesUiThreadStatus = true;
}

TWinInetFTP::~TWinInetFTP()
{
    // The owner may be half gone: nothing reaches its handlers any more.
    OnConnect = nullptr;
    OnDisconnect = nullptr;
    OnDirEntry = nullptr;
    OnDirDone = nullptr;
    OnGetStatus = nullptr;
    OnGetDone = nullptr;
    OnSendStatus = nullptr;
    OnSendDone = nullptr;
    OnDeleteFileDone = nullptr;
    OnRenameFileDone = nullptr;
    OnCreateDirDone = nullptr;
    OnDeleteDirDone = nullptr;
    OnWinInetStatus = nullptr;
    OnCertificate = nullptr;
    stopEveryWorker();
    closeCertificateDesk();
    retireWorker();
    closeHandle(hTransfer);
    closeHandle(hFind);
    closeHandle(hConnection);
    closeHandle(hSession);
    forgetInstance(this);
}

// Without running the event loop (this object is going away): the events
// are delivered here, to no handler, until every operation has ended.
void TWinInetFTP::stopEveryWorker()
{
    for (const auto &worker : started) {
        if (worker && !worker->isFinished()) {
            worker->Terminate();
            worker->Interrupt();
        }
    }
    for (;;) {
        deliverPosted();
        bool alive = false;
        for (const auto &guard : started) {
            FtpThread *worker = guard.data();
            // One whose handler is on the stack cannot end before it returns.
            if (worker && !worker->isFinished() && !worker->InHandOff())
                alive = true;
        }
        if (!alive)
            break;
        events.waitForEvents(5);
    }
    deliverPosted();
    for (const auto &worker : started)
        if (worker && worker->isFinished())
            worker->markDelivered(); // nothing of it will be delivered any more
}

bool TWinInetFTP::NoWorkerAlive() const
{
    for (const auto &worker : started)
        if (worker && !(worker->isFinished() && worker->Delivered()))
            return false;
    return true;
}

bool TWinInetFTP::anyBusy() const
{
    for (const auto &flag : busy)
        if (flag.load())
            return true;
    return false;
}

bool TWinInetFTP::transferRunning() const
{
    return hTransfer.load() || busy[kGet].load() || busy[kSend].load();
}

void TWinInetFTP::closeHandle(std::atomic<HINTERNET> &handle)
{
    HINTERNET held = handle.exchange(nullptr);
    if (!held)
        return;
    if (!onUiThread()) {
        InternetCloseHandle(held);
        return;
    }
    // What closing says belongs to this session, not to whichever is newest.
    TWinInetFTP *const before = closingOnUiThread;
    closingOnUiThread = this;
    InternetCloseHandle(held);
    closingOnUiThread = before;
}

// The connection's worker, made when the first request needs it (a single
// command may be tried before any connection).
FtpWorker &TWinInetFTP::requestWorker()
{
    if (!worker)
        worker = FtpWorker::start();
    return *worker;
}

// The thread ends once what is queued on it has run.
void TWinInetFTP::retireWorker()
{
    if (worker)
        worker->retire();
    worker.reset();
}

void TWinInetFTP::startWorker(Kind kind, FtpThread *job, quint64 op, TWinInetStatus newStatus)
{
    job->Kind = kind;
    job->Operation = op;
    job->Owner = this;
    job->Connection = kind == kConnect ? nullptr : hConnection.load();
    lastStarted = op;
    // A delivered worker may still be on its way out of posting that
    // completion (it touches this session until then): it is forgotten,
    // and so no longer waited for, only once it has finished too.
    started.erase(std::remove_if(started.begin(), started.end(),
                      [](const QPointer<FtpThread> &w) {
                          return !w || (w->Delivered() && w->isFinished());
                      }),
        started.end());
    started.emplace_back(job);
    busy[kind].store(true);
    status.store(newStatus);
    workers[kind] = job;
    requestWorker().enqueue(job);
}

// Delivers what the workers posted and runs the event loop a little;
// waits up to ms for something new when nothing was due.
void TWinInetFTP::waitForEvents(int ms)
{
    deliverPosted();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!events.headBlocked())
        events.waitForEvents(ms);
}

// Waits until the worker's completion was delivered; a negative time-out
// waits for good. An operation whose own event handler is on the stack
// cannot end before that handler returns (nor can one whose events queue
// behind such a handler's), so it is not waited for.
TWinInetFTP::WaitEnd TWinInetFTP::waitUntilFinished(FtpThread *job, int timeoutMs)
{
    QPointer<FtpThread> guard(job);
    const QDeadlineTimer deadline
        = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    for (;;) {
        FtpThread *running = guard.data();
        if (!running || running->Delivered())
            return WaitEnd::Ended;
        if (running->InHandOff() || events.headBlocked())
            return WaitEnd::HandlerOnStack;
        if (deadline.hasExpired())
            return WaitEnd::TimedOut;
        waitForEvents(2);
    }
}

bool TWinInetFTP::otherWorkRunning() const
{
    for (int kind = 0; kind < KindCount; ++kind)
        if (busy[kind].load() && workers[kind] && !workers[kind]->InHandOff())
            return true;
    return false;
}

void TWinInetFTP::answerNotConnected(const std::function<void()> &fire)
{
    const quint64 savedOp = eventOperation;
    const bool savedStale = eventStale;
    eventOperation = lastOperation;
    eventStale = false;
    lastError = errNotConnected;
    const quint64 op = lastOperation;
    fire();
    // Not while another operation runs (say, the answer came inside the late
    // completion of a connect that a newer one replaced).
    if (lastOperation == op && !otherWorkRunning())
        status.store(statIdle);
    eventOperation = savedOp;
    eventStale = savedStale;
}

void TWinInetFTP::Connect()
{
    latestConnect = newOperation();
    connectAs(latestConnect);
}

void TWinInetFTP::connectAs(quint64 op)
{
    connectQueued = false;
    // The old connection goes anyway: no grace for what runs on it.
    if (anyBusy())
        cancelAll(false);
    // The old connection may only be released once nothing uses it. A
    // single command's completion handler on the stack means its call is
    // over. A cancelled connect or transfer still has to deliver its
    // completion; if its own handler is on the stack that can only happen
    // after the handler returns, so the connect is tried again then.
    if (busy[kMisc].load() && workers[kMisc] && nested[kMisc] == 0)
        stopSingleCommand();
    while (busy[kConnect].load() || busy[kGet].load() || busy[kSend].load()) {
        if (nested[kConnect] > 0 || nested[kGet] > 0 || nested[kSend] > 0) {
            if (!connectQueued) {
                connectQueued = true;
                QMetaObject::invokeMethod(
                    this, [this, op] { connectAs(op); }, Qt::QueuedConnection);
            }
            return;
        }
        waitForEvents(2);
    }
    if (hTransfer.load() || hFind.load() || hConnection.load() || hSession.load())
        Disconnect();
    encryption.clear();
    // What still runs on the old connection ends on its own thread.
    retireWorker();
    auto *job = new TFTPConnect(this, AppTitle, FTPSite, Login, Password);
    job->installQuestions(certificateQuestion(), hostKeyQuestion(), passphraseQuestion());
    startWorker(kConnect, job, op, statInConnect);
}

void TWinInetFTP::Disconnect()
{
    if (busy[kConnect].load() || busy[kDir].load() || busy[kGet].load() || busy[kSend].load())
        return;
    closeHandle(hTransfer);
    // A cancelled listing may still be using its find handle: it stays with
    // that worker, which closes it itself.
    hFind.store(nullptr);
    closeHandle(hConnection);
    closeHandle(hSession);
    encryption.clear();
    status.store(statIdle);
    retireWorker();
}

void TWinInetFTP::dropConnection(HINTERNET connection)
{
    if (connection && connection == hConnection.load()) {
        closeHandle(hConnection);
        closeHandle(hSession);
        encryption.clear();
    }
}

// Waits for a marked worker to end. One blocked on the network for StallMs
// (at once when not patient) has its wait cut short; true when it was found
// stalled. A worker whose own handler is on the stack ends its next wait at
// once when that handler returns.
bool TWinInetFTP::endWorker(const QPointer<FtpThread> &worker, bool patient)
{
    for (;;) {
        const WaitEnd end = waitUntilFinished(worker, patient ? 20 : 0);
        if (end == WaitEnd::Ended || !worker)
            return false;
        if (end == WaitEnd::HandlerOnStack) {
            worker->Interrupt();
            return false;
        }
        const bool stalled = worker->BlockedOnNetworkMs() >= StallMs;
        if (patient && !stalled)
            continue;
        worker->Interrupt();
        waitUntilFinished(worker);
        return stalled;
    }
}

// Putting the connection of a stalled transfer back in step would wait on
// that server once more: the connection goes, and the next request connects
// afresh.
void TWinInetFTP::stopWorker(Kind kind, bool patient)
{
    if (!busy[kind].load() || !workers[kind])
        return;
    QPointer<FtpThread> worker = workers[kind];
    const HINTERNET connection = worker->Connection;
    worker->Terminate();
    workers[kind] = nullptr;
    if (endWorker(worker, patient))
        dropConnection(connection);
}

// A single command is not cancelled; only a stalled one is cut short (Connect
// drops its connection anyway).
void TWinInetFTP::stopSingleCommand()
{
    endWorker(workers[kMisc], true);
}

void TWinInetFTP::Cancel()
{
    cancelAll(true);
}

void TWinInetFTP::cancelAll(bool patient)
{
    if (busy[kConnect].load() && workers[kConnect]) {
        // Mark the worker first: closing the session makes its pending name
        // lookup or login fail at once, and it must then see the cancel, not
        // take the failure for a refused connection.
        QPointer<FtpThread> connect = workers[kConnect];
        connect->Terminate();
        connect->Interrupt();
        closeHandle(hSession);
        // Woken, the worker clears its busy flag before its completion is
        // delivered, so that flag cannot tell whether to wait for it.
        workers[kConnect] = nullptr;
        endWorker(connect, false);
    }
    if (busy[kDir].load() && workers[kDir]) {
        // Not waited for; whatever it still waits on serves nobody now.
        workers[kDir]->Terminate();
        workers[kDir]->Interrupt();
        workers[kDir] = nullptr;
        busy[kDir].store(false);
    }
    stopWorker(kGet, patient);
    stopWorker(kSend, patient);
}

void TWinInetFTP::GetDirectory(const QString &Directory)
{
    // Inside OnDirDone the finished listing's flag is still set, yet a new
    // listing is welcome there; anywhere else a running listing refuses.
    if (hFind.load() || (busy[kDir].load() && completing[kDir] == 0))
        return;
    const quint64 op = newOperation();
    if (!Connected()) {
        answerNotConnected([this] {
            if (OnDirDone)
                OnDirDone(this);
        });
        return;
    }
    dirArgument = Directory;
    startWorker(kDir, new TThreadFTPFileDir(this, Directory), op, statInDirList);
}

void TWinInetFTP::startDownload(const QString &RemoteFile, const QString &LocalFile, bool direct,
    bool resumable, qint64 listedSize)
{
    if (transferRunning())
        return;
    const quint64 op = newOperation();
    if (!Connected()) {
        answerNotConnected([this] {
            if (OnGetDone)
                OnGetDone(this, 0);
        });
        return;
    }
    fileName1 = RemoteFile;
    fileName2 = LocalFile;
    directDownload = direct;
    auto *worker = new TThreadFTPFileGet(
        this, RemoteFile, LocalFile, direct, TransferBatch, resumable, listedSize);
    startWorker(kGet, worker, op, statInGet);
}

void TWinInetFTP::GetFile(const QString &RemoteFile, const QString &LocalFile)
{
    startDownload(RemoteFile, LocalFile, false);
}

void TWinInetFTP::GetFileDirect(const QString &RemoteFile, const QString &LocalFile)
{
    startDownload(RemoteFile, LocalFile, true);
}

void TWinInetFTP::GetFileResumable(
    const QString &RemoteFile, const QString &LocalFile, qint64 ListedSize)
{
    startDownload(RemoteFile, LocalFile, false, true, ListedSize);
}

void TWinInetFTP::SendFile(
    const QString &LocalFile, const QString &RemoteFile, bool makeParents, bool SizeKnown)
{
    if (transferRunning())
        return;
    const quint64 op = newOperation();
    if (!Connected()) {
        answerNotConnected([this] {
            if (OnSendDone)
                OnSendDone(this, 0);
        });
        return;
    }
    fileName1 = LocalFile;
    fileName2 = RemoteFile;
    auto *worker = new TThreadFTPFileSend(
        this, LocalFile, RemoteFile, TransferBatch, makeParents, SizeKnown);
    startWorker(kSend, worker, op, statInSend);
}

void TWinInetFTP::startMisc(int selector, const QString &name1, const QString &name2)
{
    if (busy[kMisc].load())
        return;
    const quint64 op = newOperation();
    miscSelector = selector;
    auto *worker = new TThreadFTPFileMisc(this, selector, name1, name2);
    startWorker(kMisc, worker, op, statInMisc);
}

void TWinInetFTP::DeleteFile(const QString &FileName)
{
    if (!busy[kMisc].load())
        fileName1 = FileName;
    startMisc(TThreadFTPFileMisc::selDeleteFile, FileName, QString());
}

void TWinInetFTP::RenameFile(const QString &OldName, const QString &NewName)
{
    if (!busy[kMisc].load()) {
        fileName1 = OldName;
        fileName2 = NewName;
    }
    startMisc(TThreadFTPFileMisc::selRenameFile, OldName, NewName);
}

void TWinInetFTP::SetDirectory(const QString &Directory)
{
    if (!busy[kMisc].load())
        dirArgument = Directory;
    startMisc(TThreadFTPFileMisc::selSetDirectory, Directory, QString());
}

void TWinInetFTP::CreateDirectory(const QString &Directory)
{
    if (!busy[kMisc].load())
        dirArgument = Directory;
    startMisc(TThreadFTPFileMisc::selCreateDirectory, Directory, QString());
}

void TWinInetFTP::DeleteDirectory(const QString &Directory)
{
    if (!busy[kMisc].load())
        dirArgument = Directory;
    startMisc(TThreadFTPFileMisc::selDeleteDirectory, Directory, QString());
}

// ---- the workers' side ------------------------------------------------------

// Replaced by a newer request: cancelled before it, or running on the
// connection that a newer Connect replaced (or being that older connect).
bool TWinInetFTP::isStale(const FtpThread *worker) const
{
    return worker->Operation != lastOperation
        && (worker->Terminated() || worker->Operation < latestConnect);
}

void TWinInetFTP::fireStatus(int32_t code)
{
    if (OnWinInetStatus)
        OnWinInetStatus(this, code);
}

void TWinInetFTP::reportStatus(FtpThread *worker, int32_t code)
{
    if (!PostsStatusCodes)
        return;
    post(worker, [this, code] { fireStatus(code); });
}

void TWinInetFTP::applyOutcome(const TWinInetOutcome &outcome)
{
    lastError = outcome.error;
    if (outcome.codeSet)
        lastErrorCode = outcome.code;
    if (outcome.clearLogon)
        logonMessage.clear();
    logonMessage += outcome.replyLines;
    // A connection the server dropped is useless: let it go so the next
    // request reports "not connected" and the caller connects afresh.
    if (outcome.lostConnection && outcome.lostConnection == hConnection.load()) {
        closeHandle(hConnection);
        closeHandle(hSession);
        encryption.clear();
    }
}

// Whether the layer has found the connection lost; it never waits.
bool TWinInetFTP::connectionLost(HINTERNET connection)
{
    DWORD state = 0;
    DWORD length = sizeof state;
    return InternetQueryOptionA(connection, INTERNET_OPTION_CONNECTED_STATE, &state, &length)
        && state == INTERNET_STATE_DISCONNECTED;
}

void TWinInetFTP::complete(FtpThread *worker, const TWinInetOutcome &workerOutcome,
    std::function<void()> fire, std::function<void(TWinInetOutcome &)> adjust)
{
    // However the operation ended, a connection the layer found dead (no
    // final reply, a 421, a time-out) is dropped now, not at the next command.
    TWinInetOutcome outcome = workerOutcome;
    // What the layer did to survive a dropped connection comes first: it
    // happened before whatever the operation ended with.
    const std::string notes = FtpTakeRecoveryNotes();
    if (!notes.empty())
        outcome.replyLines
            = ResponseCapture::split(notes.data(), notes.size()) + outcome.replyLines;
    if (!outcome.lostConnection && worker->Connection && connectionLost(worker->Connection))
        outcome.lostConnection = worker->Connection;
    post(worker, [this, worker, outcome, fire, adjust]() mutable {
        if (adjust)
            adjust(outcome);
        const Kind kind = Kind(worker->Kind);
        // Connect, download and upload are no longer busy when their
        // completion handler runs; a new request is welcome there.
        if (kind == kConnect || kind == kGet || kind == kSend)
            busy[kind].store(false);
        // A stale completion sees its own outcome, but LastError afterwards
        // belongs to the operation that replaced it.
        const TWinInetError errorBefore = lastError;
        const int32_t codeBefore = lastErrorCode;
        // A connect that a newer one replaced made nothing the caller may use.
        if (kind == kConnect && eventStale) {
            TWinInetOutcome replaced;
            replaced.error = errTerminated;
            applyOutcome(replaced);
        } else {
            applyOutcome(outcome);
        }
        if (kind == kGet)
            directDownload = false;
        ++completing[kind];
        if (fire)
            fire();
        --completing[kind];
        if (eventStale) {
            lastError = errorBefore;
            lastErrorCode = codeBefore;
        }
        // Idle only if no newer worker was started meanwhile: neither the
        // late completion of a cancelled operation nor a handler that
        // started the next one may hide the operation now running.
        if (fire && lastStarted == worker->Operation)
            status.store(statIdle);
        // Listing and single command clear their flag once the handler has
        // returned, unless a newer worker of the kind has taken it over.
        if ((kind == kDir || kind == kMisc) && workers[kind] == worker)
            busy[kind].store(false);
        worker->markDelivered();
    });
}

bool TWinInetFTP::isConnectionLost(DWORD code)
{
    return code == ERROR_INTERNET_CONNECTION_ABORTED || code == ERROR_INTERNET_CONNECTION_RESET
        || code == ERROR_FTP_DROPPED || code == ERROR_INTERNET_TIMEOUT;
}

void TWinInetFTP::statusCallback(HINTERNET, DWORD_PTR, DWORD status, void *, DWORD)
{
    if (onUiThread()) {
        TWinInetFTP *ftp = closingOnUiThread ? closingOnUiThread : uiThreadInstance();
        if (ftp && !ftp->declinesUiThreadStatus)
            ftp->fireStatus(int32_t(status));
        return;
    }
    FtpThread *worker = FtpThread::current();
    // A cancelled worker's library progress interests nobody.
    if (!worker || worker->Terminated() || !worker->Owner)
        return;
    auto *ftp = static_cast<TWinInetFTP *>(worker->Owner);
    if (!ftp->PostsStatusCodes)
        return;
    ftp->postProgress(worker, [ftp, status] { ftp->fireStatus(int32_t(status)); });
}
