#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class FtpThread;

// The events the operations raise, in the order they were raised, waiting
// for the user-interface thread. Posting does not wait for delivery, only
// for room: an operation far ahead of a busy window waits once MaxPending
// steps are queued, so memory stays bounded.
class FtpEventQueue {
public:
    struct Event {
        FtpThread *operation = nullptr;
        std::function<void()> step;
    };

    // wake is called when events wait and no wake-up is on its way, so the
    // user-interface thread comes to take what is queued.
    explicit FtpEventQueue(std::function<void()> wake);

    void post(FtpThread *operation, std::function<void()> step);
    // The next event, unless a handler of its operation is on the stack (an
    // event must not overtake the one being handled). False when none is due.
    bool takeNext(Event &out);
    // On the user-interface thread, as the wake-up is handled: the next one
    // is sent by a post, or by rearm().
    void woken();
    // True when events wait and no wake-up is on its way: the caller sends one.
    bool rearm();
    // Waits up to ms for an event to be posted; true when one is queued.
    bool waitForEvents(int ms);
    // The first queued event belongs to an operation whose handler is on the stack.
    bool headBlocked();

    static constexpr size_t MaxPending = 512;

private:
    std::function<void()> wake;
    std::mutex mutex;
    std::condition_variable posted;
    std::condition_variable taken;
    std::deque<Event> events;
    bool wakeSent = false;
};
