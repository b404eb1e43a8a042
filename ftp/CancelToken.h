#pragma once

#include <atomic>

// A cancellation flag that poll() can wait on: once cancel() has been called
// (from any thread), fd() stays readable for good. Every blocking wait of the
// FTP layer polls its socket together with the token of the handle it works
// for, so InternetCloseHandle from another thread ends the wait at once.
// The token never closes or touches a socket itself: descriptors are closed
// only by the thread that owns them.
//
// A thread may also name a token of its own (setThreadInterrupt): every wait
// it makes then ends as well once that token is cancelled, whatever handle
// the wait works for. A worker uses it so that whoever stops it can end the
// wait it is blocked in, even on a handle it has not handed out yet.
class CancelToken {
public:
    CancelToken();
    ~CancelToken();
    CancelToken(const CancelToken &) = delete;
    CancelToken &operator=(const CancelToken &) = delete;

    void cancel();
    // This token, or the calling thread's interrupt, was cancelled.
    bool cancelled() const { return ownFlag() || threadInterrupted(); }
    int fd() const { return eventFd; }

    static void setThreadInterrupt(const CancelToken *token);
    // Descriptor of the calling thread's interrupt, or -1.
    static int threadInterruptFd();
    static bool threadInterrupted();

    // Marks a blocking network wait of the calling thread for as long as it
    // lives, on the thread's interrupt token (if any).
    class WaitMark {
    public:
        WaitMark();
        ~WaitMark();
        WaitMark(const WaitMark &) = delete;
        WaitMark &operator=(const WaitMark &) = delete;

    private:
        const CancelToken *token;
    };
    // For an interrupt token: how long its thread has been in its current
    // network wait, in milliseconds; 0 when it is not waiting.
    long long blockedForMs() const;

private:
    bool ownFlag() const { return flag.load(std::memory_order_acquire); }

    int eventFd = -1;
    std::atomic<bool> flag { false };
    mutable std::atomic<long long> waitingSince { 0 }; // steady clock, ms; 0 = not waiting
};
