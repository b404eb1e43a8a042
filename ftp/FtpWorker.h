#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

class FtpThread;

// The thread of one connection: runs the operations queued on it one after
// another, at a low priority, so a queue of files from one site costs one
// thread, not one per file. Once retired it ends as soon as its queue is
// empty; until then it sleeps between operations.
class FtpWorker : public std::enable_shared_from_this<FtpWorker> {
public:
    static std::shared_ptr<FtpWorker> start();

    // Runs after everything queued before it. Not after retire().
    void enqueue(FtpThread *operation);
    // Ends the thread once what is queued has run.
    void retire();

private:
    FtpWorker() = default;
    void run();

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<FtpThread *> queued;
    bool retired = false;
};
