#include "sftp/WaitBreaker.h"

#include "ftp/CancelToken.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Watch {
    int socketFd;
    int cancelFd;
    int interruptFd;
    bool hasDeadline;
    Clock::time_point deadline;
    WaitBreaker::Fired fired = WaitBreaker::Fired::No;
};

// One thread for every connection: watches are short (one call each) and
// few (one per connection at a time).
class Watcher {
public:
    static Watcher &instance()
    {
        static Watcher *watcher = new Watcher; // lives as long as the process
        return *watcher;
    }

    uint64_t add(const Watch &watch)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const uint64_t id = ++lastId;
        watches[id] = watch;
        wake();
        return id;
    }

    void remove(uint64_t id)
    {
        std::lock_guard<std::mutex> lock(mutex); // never under a shutdown below
        watches.erase(id);
        wake();
    }

    WaitBreaker::Fired fired(uint64_t id)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = watches.find(id);
        return it == watches.end() ? WaitBreaker::Fired::No : it->second.fired;
    }

private:
    Watcher() : wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
        std::thread([this] { run(); }).detach();
    }

    void wake()
    {
        const uint64_t one = 1;
        (void)!::write(wakeFd, &one, sizeof one);
    }

    void fire(Watch &watch, WaitBreaker::Fired why)
    {
        watch.fired = why;
        ::shutdown(watch.socketFd, SHUT_RDWR);
    }

    // Polls the tokens of live watches; returns the time to the next deadline.
    int collect(std::vector<pollfd> &fds, std::vector<uint64_t> &owners)
    {
        int waitMs = -1;
        const auto now = Clock::now();
        for (auto &[id, watch] : watches) {
            if (watch.fired != WaitBreaker::Fired::No)
                continue;
            if (watch.hasDeadline) {
                if (now >= watch.deadline) {
                    fire(watch, WaitBreaker::Fired::TimedOut);
                    continue;
                }
                const auto left
                    = std::chrono::duration_cast<std::chrono::milliseconds>(watch.deadline - now)
                          .count()
                    + 1;
                waitMs = waitMs < 0 ? int(left) : std::min(waitMs, int(left));
            }
            for (int fd : { watch.cancelFd, watch.interruptFd }) {
                if (fd >= 0) {
                    fds.push_back(pollfd { fd, POLLIN, 0 });
                    owners.push_back(id);
                }
            }
        }
        return waitMs;
    }

    void run()
    {
        std::vector<pollfd> fds;
        std::vector<uint64_t> owners;
        for (;;) {
            fds.assign(1, pollfd { wakeFd, POLLIN, 0 });
            owners.assign(1, 0);
            int waitMs;
            {
                std::lock_guard<std::mutex> lock(mutex);
                waitMs = collect(fds, owners);
            }
            ::poll(fds.data(), fds.size(), waitMs);
            uint64_t drained;
            (void)!::read(wakeFd, &drained, sizeof drained);
            std::lock_guard<std::mutex> lock(mutex);
            for (size_t i = 1; i < fds.size(); ++i) {
                const auto it = watches.find(owners[i]);
                if ((fds[i].revents & POLLIN) && it != watches.end()
                    && it->second.fired == WaitBreaker::Fired::No)
                    fire(it->second, WaitBreaker::Fired::Cancelled);
            }
        }
    }

    std::mutex mutex;
    std::map<uint64_t, Watch> watches;
    uint64_t lastId = 0;
    int wakeFd;
};

} // namespace

WaitBreaker::WaitBreaker(int socketFd, const CancelToken &cancel, int timeoutMs)
{
    Watch watch { socketFd, cancel.fd(), CancelToken::threadInterruptFd(), timeoutMs > 0,
        Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0) };
    id = Watcher::instance().add(watch);
}

WaitBreaker::~WaitBreaker()
{
    Watcher::instance().remove(id);
}

WaitBreaker::Fired WaitBreaker::fired() const
{
    return Watcher::instance().fired(id);
}
