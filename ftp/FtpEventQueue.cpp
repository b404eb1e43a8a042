#include "ftp/FtpEventQueue.h"

#include "ftp/FtpThread.h"

#include <chrono>

FtpEventQueue::FtpEventQueue(std::function<void()> wakeUp) : wake(std::move(wakeUp)) { }

void FtpEventQueue::post(FtpThread *operation, std::function<void()> step)
{
    bool sendWake = false;
    {
        std::unique_lock<std::mutex> lock(mutex);
        // A cancelled operation only winds up: it never waits for room.
        taken.wait(lock,
            [&] { return events.size() < MaxPending || (operation && operation->Terminated()); });
        events.push_back(Event { operation, std::move(step) });
        sendWake = !wakeSent;
        wakeSent = true;
    }
    posted.notify_all();
    if (sendWake && wake)
        wake();
}

bool FtpEventQueue::takeNext(Event &out)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (events.empty())
            return false;
        Event &head = events.front();
        if (head.operation && head.operation->InHandOff())
            return false;
        out = std::move(head);
        events.pop_front();
    }
    taken.notify_all();
    return true;
}

void FtpEventQueue::woken()
{
    std::lock_guard<std::mutex> lock(mutex);
    wakeSent = false;
}

bool FtpEventQueue::rearm()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (events.empty() || wakeSent)
        return false;
    wakeSent = true;
    return true;
}

bool FtpEventQueue::waitForEvents(int ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    return posted.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !events.empty(); });
}

bool FtpEventQueue::headBlocked()
{
    std::lock_guard<std::mutex> lock(mutex);
    return !events.empty() && events.front().operation && events.front().operation->InHandOff();
}
