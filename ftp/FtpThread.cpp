#include "ftp/FtpThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<int> liveWorkers { 0 };
thread_local FtpThread *runningWorker = nullptr;

bool onUiThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

} // namespace

FtpThread::FtpThread()
{
    ++liveWorkers;
}

FtpThread::~FtpThread()
{
    // finished() is emitted from inside the thread; make sure it is gone
    // before the object that owns it.
    wait();
    --liveWorkers;
}

void FtpThread::Resume()
{
    start();
}

// The lowest priority that still gets a share of a busy processor. Linux's
// idle scheduling class (what QThread::IdlePriority asks for) lets any busy
// process starve the worker almost completely, so a build running beside a
// download would all but stop it; a high nice value keeps the worker behind
// everything else without stalling it.
static void lowerOwnPriority()
{
    constexpr int kWorkerNice = 10;
    ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), kWorkerNice);
}

void FtpThread::setFreeOnTerminate(bool free)
{
    if (free)
        connect(this, &QThread::finished, this, &QObject::deleteLater, Qt::UniqueConnection);
    else
        disconnect(this, &QThread::finished, this, &QObject::deleteLater);
}

FtpThread *FtpThread::current()
{
    return runningWorker;
}

int FtpThread::liveCount()
{
    return liveWorkers.load();
}

void FtpThread::run()
{
    lowerOwnPriority();
    runningWorker = this;
    CancelToken::setThreadInterrupt(&interruptToken);
    Execute();
    CancelToken::setThreadInterrupt(nullptr);
    runningWorker = nullptr;
}

void FtpThread::runPosted()
{
    std::vector<std::function<bool()>> steps;
    steps.swap(posted);
    for (auto &step : steps)
        if (!step())
            break;
}

void FtpThread::Synchronize(const std::function<void()> &step)
{
    auto handOff = [this, &step] {
        ++handOffDepth;
        runPosted();
        if (step)
            step();
        --handOffDepth;
    };
    if (onUiThread()) {
        handOff();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(waitingMutex);
        waitingStep = handOff;
    }
    QPointer<FtpThread> guard(this);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [guard] {
            if (guard)
                guard->RunWaitingStep();
        },
        Qt::QueuedConnection);
    handedOver.acquire();
}

// A posted event is not always delivered by a nested turn of the event loop
// (one started from inside another posted event), so whoever waits for this
// worker on the user-interface thread runs its step directly.
bool FtpThread::RunWaitingStep()
{
    std::function<void()> step;
    {
        std::lock_guard<std::mutex> lock(waitingMutex);
        step.swap(waitingStep);
    }
    if (!step)
        return false;
    step();
    handedOver.release();
    return true;
}

void FtpThread::Post(std::function<bool()> step)
{
    if (deferring) {
        posted.push_back(std::move(step));
        return;
    }
    Synchronize([&step] { step(); });
}
