#include "ftp/WinInetFTP.h"

#include "ftp/FtpThread.h"
#include "ftp/TFTPConnect.h"
#include "ftp/TThreadFTPFileDir.h"
#include "ftp/TThreadFTPFileGet.h"
#include "ftp/TThreadFTPFileMisc.h"
#include "ftp/TThreadFTPFileSend.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace {

// The library's status callback carries no pointer of ours, so it finds the
// component here: the most recently constructed one.
std::atomic<TWinInetFTP *> instanceRef{nullptr};

bool onUiThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

} // namespace

TWinInetFTP::TWinInetFTP(QObject *Owner)
    : QObject(Owner)
{
    for (auto &flag : busy)
        flag.store(false);
    instanceRef.store(this);
}

TWinInetFTP::~TWinInetFTP()
{
    TWinInetFTP *self = this;
    instanceRef.compare_exchange_strong(self, nullptr);
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
    if (HINTERNET held = handle.exchange(nullptr))
        InternetCloseHandle(held);
}

void TWinInetFTP::startWorker(Kind kind, FtpThread *worker, quint64 op, TWinInetStatus newStatus)
{
    worker->Kind = kind;
    worker->Operation = op;
    busy[kind].store(true);
    status.store(newStatus);
    worker->setFreeOnTerminate(true);
    workers[kind] = worker;
    worker->Resume();
}

// Waits by running the event loop, since the worker needs this thread for
// its hand-offs. A worker whose own event handler is on the stack cannot end
// before that handler returns, so it is not waited for.
void TWinInetFTP::waitUntilFinished(FtpThread *worker)
{
    QPointer<FtpThread> guard(worker);
    while (guard && !guard->isFinished() && !guard->InHandOff()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (guard && !guard->isFinished() && !guard->InHandOff() && !guard->RunWaitingStep())
            QThread::usleep(200);
    }
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
    if (lastOperation == op)
        status.store(statIdle);
    eventOperation = savedOp;
    eventStale = savedStale;
}

void TWinInetFTP::Connect()
{
    connectAs(newOperation());
}

void TWinInetFTP::connectAs(quint64 op)
{
    connectQueued = false;
    if (anyBusy())
        Cancel();
    // The old connection may only be released once nothing uses it. A
    // single command's completion handler on the stack means its call is
    // over. A cancelled connect or transfer still has to deliver its
    // completion; if its own handler is on the stack that can only happen
    // after the handler returns, so the connect is tried again then.
    if (busy[kMisc].load() && workers[kMisc] && nested[kMisc] == 0)
        waitUntilFinished(workers[kMisc]);
    while (busy[kConnect].load() || busy[kGet].load() || busy[kSend].load()) {
        if (nested[kConnect] > 0 || nested[kGet] > 0 || nested[kSend] > 0) {
            if (!connectQueued) {
                connectQueued = true;
                QMetaObject::invokeMethod(
                    this, [this, op] { connectAs(op); }, Qt::QueuedConnection);
            }
            return;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::usleep(200);
    }
    if (hTransfer.load() || hFind.load() || hConnection.load() || hSession.load())
        Disconnect();
    auto *worker = new TFTPConnect(this, AppTitle, FTPSite, Login, Password);
    startWorker(kConnect, worker, op, statInConnect);
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
    status.store(statIdle);
}

void TWinInetFTP::cancelTransfer(Kind kind)
{
    if (!busy[kind].load() || !workers[kind])
        return;
    FtpThread *worker = workers[kind];
    worker->Terminate();
    workers[kind] = nullptr;
    waitUntilFinished(worker);
}

void TWinInetFTP::Cancel()
{
    if (busy[kConnect].load() && workers[kConnect]) {
        // Mark the worker first: closing the session makes its pending name
        // lookup or login fail at once, and it must then see the cancel, not
        // take the failure for a refused connection.
        workers[kConnect]->Terminate();
        closeHandle(hSession);
        cancelTransfer(kConnect);
    }
    if (busy[kDir].load() && workers[kDir]) {
        workers[kDir]->Terminate();
        workers[kDir] = nullptr;
        busy[kDir].store(false);
    }
    cancelTransfer(kGet);
    cancelTransfer(kSend);
}

void TWinInetFTP::GetDirectory(const QString &Directory)
{
    // Inside OnDirDone the finished listing's flag is still set, yet a new
    // listing is welcome there; anywhere else a running listing refuses.
    if (hFind.load() || (busy[kDir].load() && nested[kDir] == 0))
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

void TWinInetFTP::startDownload(const QString &RemoteFile, const QString &LocalFile, bool direct)
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
    auto *worker = new TThreadFTPFileGet(this, RemoteFile, LocalFile, direct, TransferBatch);
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

void TWinInetFTP::SendFile(const QString &LocalFile, const QString &RemoteFile)
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
    auto *worker = new TThreadFTPFileSend(this, LocalFile, RemoteFile, TransferBatch);
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

void TWinInetFTP::handOff(FtpThread *worker, const std::function<void()> &step)
{
    worker->Synchronize([this, worker, &step] {
        const int kind = worker->Kind;
        const quint64 savedOp = eventOperation;
        const bool savedStale = eventStale;
        eventOperation = worker->Operation;
        eventStale = worker->Terminated() && worker->Operation != lastOperation;
        ++nested[kind];
        step();
        --nested[kind];
        eventOperation = savedOp;
        eventStale = savedStale;
    });
}

void TWinInetFTP::postEvent(FtpThread *worker, std::function<bool()> step)
{
    if (!worker->Deferring()) {
        handOff(worker, [&step] { step(); });
        return;
    }
    worker->Post([this, worker, step = std::move(step)] {
        const int kind = worker->Kind;
        const quint64 savedOp = eventOperation;
        const bool savedStale = eventStale;
        eventOperation = worker->Operation;
        eventStale = worker->Terminated() && worker->Operation != lastOperation;
        ++nested[kind];
        const bool goOn = step();
        --nested[kind];
        eventOperation = savedOp;
        eventStale = savedStale;
        return goOn;
    });
}

void TWinInetFTP::fireStatus(int32_t code)
{
    if (OnWinInetStatus)
        OnWinInetStatus(this, code);
}

void TWinInetFTP::reportStatus(FtpThread *worker, int32_t code)
{
    postEvent(worker, [this, code] {
        fireStatus(code);
        return true;
    });
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
    }
}

void TWinInetFTP::complete(FtpThread *worker, const TWinInetOutcome &outcome,
                           const std::function<void()> &fire)
{
    handOff(worker, [this, worker, &outcome, &fire] {
        const Kind kind = Kind(worker->Kind);
        applyOutcome(outcome);
        if (kind == kGet)
            directDownload = false;
        if (fire)
            fire();
        // Idle only if nothing newer was requested meanwhile: neither the
        // late completion of a cancelled operation nor a handler that
        // started the next one may hide the operation now running.
        if (fire && lastOperation == worker->Operation)
            status.store(statIdle);
        // Listing and single command clear their flag once the handler has
        // returned, unless a newer worker of the kind has taken it over.
        if ((kind == kDir || kind == kMisc) && workers[kind] == worker)
            busy[kind].store(false);
    });
}

bool TWinInetFTP::isConnectionLost(DWORD code)
{
    return code == ERROR_INTERNET_CONNECTION_ABORTED || code == ERROR_INTERNET_CONNECTION_RESET ||
           code == ERROR_FTP_DROPPED || code == ERROR_INTERNET_TIMEOUT;
}

void TWinInetFTP::statusCallback(HINTERNET, DWORD_PTR, DWORD status, void *, DWORD)
{
    TWinInetFTP *ftp = instanceRef.load();
    if (!ftp)
        return;
    if (onUiThread()) {
        ftp->fireStatus(int32_t(status));
        return;
    }
    FtpThread *worker = FtpThread::current();
    // A cancelled worker's library progress interests nobody, and blocking
    // it on the user-interface thread could hold up whoever closes its handles.
    if (!worker || worker->Terminated())
        return;
    ftp->postEvent(worker, [ftp, status] {
        ftp->fireStatus(int32_t(status));
        return true;
    });
}
