#include "ftp/FtpThread.h"

#include <QMetaObject>

namespace {

std::atomic<int> liveOperations { 0 };
thread_local FtpThread *runningOperation = nullptr;

} // namespace

FtpThread::FtpThread()
{
    ++liveOperations;
}

FtpThread::~FtpThread()
{
    --liveOperations;
}

FtpThread *FtpThread::current()
{
    return runningOperation;
}

int FtpThread::liveCount()
{
    return liveOperations.load();
}

void FtpThread::runHere()
{
    runningOperation = this;
    CancelToken::setThreadInterrupt(&interruptToken);
    Execute();
    CancelToken::setThreadInterrupt(nullptr);
    runningOperation = nullptr;
    finishedFlag.store(true);
    release();
}

void FtpThread::markDelivered()
{
    if (!deliveredFlag.exchange(true))
        release();
}

void FtpThread::release()
{
    if (owners.fetch_sub(1) != 1)
        return;
    // Queued even on the user-interface thread: the caller may still be
    // inside one of this operation's steps.
    QMetaObject::invokeMethod(
        this, [this] { delete this; }, Qt::QueuedConnection);
}
