#pragma once

#include <atomic>

// A cancellation flag that poll() can wait on: once cancel() has been called
// (from any thread), fd() stays readable for good. Every blocking wait of the
// FTP layer polls its socket together with the token of the handle it works
// for, so InternetCloseHandle from another thread ends the wait at once.
// The token never closes or touches a socket itself: descriptors are closed
// only by the thread that owns them.
class CancelToken {
public:
    CancelToken();
    ~CancelToken();
    CancelToken(const CancelToken &) = delete;
    CancelToken &operator=(const CancelToken &) = delete;

    void cancel();
    bool cancelled() const { return flag.load(std::memory_order_acquire); }
    int fd() const { return eventFd; }

private:
    int eventFd = -1;
    std::atomic<bool> flag{false};
};
