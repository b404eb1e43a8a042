#pragma once

#include <cstdint>

class CancelToken;

// libssh waits on its socket by itself, blind to our cancellation tokens and
// time-outs. While a WaitBreaker lives, one watcher thread polls the call's
// token (and the calling thread's interrupt) and, when it fires or the
// deadline passes first, shuts the socket down: libssh's wait then ends at
// once with an error, and the connection is finished with. The descriptor
// itself is never closed here.
class WaitBreaker {
public:
    // timeoutMs <= 0: no deadline.
    WaitBreaker(int socketFd, const CancelToken &cancel, int timeoutMs);
    ~WaitBreaker();
    WaitBreaker(const WaitBreaker &) = delete;
    WaitBreaker &operator=(const WaitBreaker &) = delete;

    enum class Fired : uint8_t { No, Cancelled, TimedOut };
    // What ended the wait, if the watcher did; stable once the call is over.
    Fired fired() const;

private:
    uint64_t id;
};
