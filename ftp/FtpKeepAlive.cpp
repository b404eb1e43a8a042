#include "ftp/FtpKeepAlive.h"

#include "ftp/FtpConnection.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Closed connections are let go at least this often, so the thread ends soon
// after the last one.
constexpr long long kLongestNapMs = 1000;
constexpr long long kShortestNapMs = 10;

struct Watch {
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<std::weak_ptr<FtpConnection>> connections;
    bool running = false;
};

// Never destroyed: the detached thread may still wait on it while the
// process ends.
Watch &state()
{
    static Watch *watch = new Watch;
    return *watch;
}

// Under the lock: drops closed connections, collects those due for a NOOP
// and tells how long until the next one is due.
long long collectDue(Watch &w, std::vector<std::shared_ptr<FtpConnection>> &due)
{
    long long nap = kLongestNapMs;
    auto &list = w.connections;
    list.erase(std::remove_if(list.begin(), list.end(),
                   [](const std::weak_ptr<FtpConnection> &weak) {
                       auto c = weak.lock();
                       return !c || c->isClosed();
                   }),
        list.end());
    for (const auto &weak : list) {
        auto c = weak.lock();
        if (!c)
            continue;
        const long long left = c->timeouts().keepAliveMs - c->idleMs();
        if (left <= 0)
            due.push_back(c);
        else
            nap = std::min(nap, left);
    }
    return std::max(nap, kShortestNapMs);
}

void run()
{
    Watch &w = state();
    std::unique_lock<std::mutex> lock(w.mutex);
    for (;;) {
        std::vector<std::shared_ptr<FtpConnection>> due;
        const long long nap = collectDue(w, due);
        if (w.connections.empty()) {
            w.running = false;
            return;
        }
        lock.unlock();
        for (const auto &c : due)
            if (!c->keepAlive())
                c->touch(); // busy or broken: look again an interval later
        due.clear();
        lock.lock();
        w.wake.wait_for(lock, std::chrono::milliseconds(nap));
    }
}

} // namespace

void KeepAlive::watch(const std::shared_ptr<FtpConnection> &connection)
{
    Watch &w = state();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.connections.push_back(connection);
    if (!w.running) {
        w.running = true;
        std::thread(run).detach();
    } else {
        w.wake.notify_one();
    }
}

void KeepAlive::rethink()
{
    Watch &w = state();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.wake.notify_one();
}
