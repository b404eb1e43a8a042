#include "ftp/FtpWorker.h"

#include "ftp/FtpThread.h"

#include <thread>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// The lowest priority that still gets a share of a busy processor. Linux's
// idle scheduling class lets any busy process starve the worker almost
// completely, so a build running beside a download would all but stop it; a
// high nice value keeps the worker behind everything else without stalling it.
static void lowerOwnPriority()
{
    constexpr int kWorkerNice = 10;
    ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), kWorkerNice);
}

std::shared_ptr<FtpWorker> FtpWorker::start()
{
    std::shared_ptr<FtpWorker> worker(new FtpWorker);
    // Detached: the thread keeps its worker alive and ends on its own once retired.
    std::thread([worker] { worker->run(); }).detach();
    return worker;
}

void FtpWorker::enqueue(FtpThread *operation)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        queued.push_back(operation);
    }
    wake.notify_one();
}

void FtpWorker::retire()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        retired = true;
    }
    wake.notify_one();
}

void FtpWorker::run()
{
    lowerOwnPriority();
    for (;;) {
        FtpThread *operation = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return !queued.empty() || retired; });
            if (queued.empty())
                return;
            operation = queued.front();
            queued.pop_front();
        }
        operation->runHere();
    }
}
