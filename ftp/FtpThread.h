#pragma once

#include "ftp/CancelToken.h"
#include "ftp/WinInet.h"

#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

// Base of the FTP workers: a thread that is created suspended, runs at a low
// priority once resumed, frees itself when its work ends, and hands every
// step that touches the user interface or a local file to the user-interface
// thread, waiting until that step has run.
class FtpThread : public QThread {
    Q_OBJECT
public:
    FtpThread();
    ~FtpThread() override;

    // Starts the suspended thread at a low priority.
    void Resume();
    void setFreeOnTerminate(bool free);

    // Asks the worker to stop at its next check; never interrupts a call.
    void Terminate() { terminatedFlag.store(true); }
    bool Terminated() const { return terminatedFlag.load(); }
    // Callable from any thread: ends the network wait the worker is blocked
    // in, and makes every later one end at once (the layer's calls then fail
    // with 12017). Only signals; the worker closes its own descriptors.
    void Interrupt() { interruptToken.cancel(); }
    bool Interrupted() const { return interruptToken.cancelled(); }
    // How long the worker has been in its current network wait (0: not in one).
    long long BlockedOnNetworkMs() const { return interruptToken.blockedForMs(); }

    // True on the user-interface thread while one of this worker's handed-off
    // steps runs there, i.e. when a handler of its own event is on the stack.
    bool InHandOff() const { return handOffDepth.load() > 0; }

    // The worker whose run() executes on the calling thread, or null.
    static FtpThread *current();
    // Workers constructed and not yet destroyed, across the process.
    static int liveCount();

    // Runs step on the user-interface thread and waits for it. Steps queued
    // with Post() run first, in order.
    void Synchronize(const std::function<void()> &step);
    // On the user-interface thread: runs the step the worker is waiting for
    // in Synchronize, if any. True when one ran.
    bool RunWaitingStep();
    // Queues a step for the next Synchronize() while deferring is on, so a
    // worker can batch several chunks into one hand-off; otherwise runs it
    // through Synchronize() at once. A posted step returning false drops the
    // steps queued after it (the worker saw a cancel or a failure there).
    void Post(std::function<bool()> step);
    void setDeferring(bool on) { deferring = on; }
    bool Deferring() const { return deferring; }
    size_t PostedCount() const { return posted.size(); }

    // Set by the owner before Resume(): what kind of work this is and which
    // request it serves.
    int Kind = -1;
    quint64 Operation = 0;
    // The connection the work runs on (null for a connect, which makes one).
    HINTERNET Connection = nullptr;

protected:
    virtual void Execute() = 0;

private:
    void run() final;
    void runPosted();

    std::atomic<bool> terminatedFlag { false };
    CancelToken interruptToken;
    std::atomic<int> handOffDepth { 0 };
    std::vector<std::function<bool()>> posted;
    std::mutex waitingMutex;
    std::function<void()> waitingStep;
    QSemaphore handedOver;
    bool deferring = false;
};
