#pragma once

#include "ftp/CancelToken.h"
#include "ftp/WinInet.h"

#include <QObject>

#include <atomic>

// One FTP operation of the session (connect, listing, download, upload,
// single command). It runs once on the worker thread of its connection
// (FtpWorker) and reports by posting its events to the user-interface
// thread, in order, without waiting for them. The object is freed once it
// has run and its completion has been delivered.
class FtpThread : public QObject {
    Q_OBJECT
public:
    FtpThread();
    ~FtpThread() override;

    // Asks the operation to stop at its next check; never interrupts a call.
    void Terminate() { terminatedFlag.store(true); }
    bool Terminated() const { return terminatedFlag.load(); }
    // Callable from any thread: ends the network wait the operation is
    // blocked in, and makes every later one end at once (the layer's calls
    // then fail with 12017). Only signals; the worker closes its own descriptors.
    void Interrupt() { interruptToken.cancel(); }
    bool Interrupted() const { return interruptToken.cancelled(); }
    // How long the operation has been in its current network wait (0: not in one).
    long long BlockedOnNetworkMs() const { return interruptToken.blockedForMs(); }

    // True on the user-interface thread while a handler of one of this
    // operation's events is on the stack.
    bool InHandOff() const { return handOffDepth.load() > 0; }
    void enterHandOff() { ++handOffDepth; }
    void leaveHandOff() { --handOffDepth; }

    // Execute() has returned: the operation touches nothing any more.
    bool isFinished() const { return finishedFlag.load(); }
    // Its completion event has been delivered (or dropped with the session).
    bool Delivered() const { return deliveredFlag.load(); }

    // The operation whose Execute() runs on the calling thread, or null.
    static FtpThread *current();
    // Operations created and not yet freed, across the process.
    static int liveCount();

    // On the worker thread: runs the operation, then lets go of it.
    void runHere();
    // On the user-interface thread, once the completion was delivered.
    void markDelivered();

    // Set by the owner before the operation is queued: what kind of work
    // this is and which request it serves.
    int Kind = -1;
    quint64 Operation = 0;
    // The connection the work runs on (null for a connect, which makes one).
    HINTERNET Connection = nullptr;
    // The session that runs it: the library's status callback reports there.
    QObject *Owner = nullptr;

protected:
    virtual void Execute() = 0;

private:
    // Two owners: the worker until the operation has run, the session until
    // its completion was delivered. The last one frees it on the
    // user-interface thread.
    void release();

    std::atomic<bool> terminatedFlag { false };
    std::atomic<bool> finishedFlag { false };
    std::atomic<bool> deliveredFlag { false };
    std::atomic<int> owners { 2 };
    CancelToken interruptToken;
    std::atomic<int> handOffDepth { 0 };
};
