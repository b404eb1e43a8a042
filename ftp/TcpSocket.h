#pragma once

#include "ftp/WinInet.h"

#include <sys/socket.h>

#include <chrono>
#include <cstddef>

class CancelToken;

// A point in time by which a wait must end; waits turn into
// ERROR_INTERNET_TIMEOUT when it has passed.
class Deadline {
public:
    explicit Deadline(int milliseconds);
    static Deadline never();
    int remainingMs() const; // -1: no limit
    bool passed() const { return remainingMs() == 0; }

private:
    Deadline() = default;
    std::chrono::steady_clock::time_point end {};
    bool unlimited = false;
};

// A non-blocking TCP socket whose every wait polls the socket together with
// a cancellation token and ends at a deadline. Results are WinInet codes:
// 0, 12002 time-out, 12017 cancelled, 12029 cannot connect, 12030 aborted,
// 12031 reset. The descriptor is closed only by close() or the destructor,
// on the thread that owns the socket.
class TcpSocket {
public:
    TcpSocket() = default;
    ~TcpSocket() { close(); }
    TcpSocket(TcpSocket &&other) noexcept;
    TcpSocket &operator=(TcpSocket &&other) noexcept;
    TcpSocket(const TcpSocket &) = delete;
    TcpSocket &operator=(const TcpSocket &) = delete;

    bool isOpen() const { return sock >= 0; }
    int fd() const { return sock; }

    DWORD connectTo(const sockaddr *address, socklen_t length, const Deadline &deadline,
        const CancelToken &cancel);
    // Sends everything; each wait for room in the send buffer ends at the deadline.
    DWORD sendAll(
        const void *data, size_t length, const Deadline &deadline, const CancelToken &cancel);
    // Receives at least one byte, or received = 0 at the end of the stream.
    DWORD receive(void *buffer, size_t capacity, size_t &received, const Deadline &deadline,
        const CancelToken &cancel);
    // Waits until the socket is readable (data, end of stream or error).
    DWORD waitReadable(const Deadline &deadline, const CancelToken &cancel);
    // True when data or the end of the stream is waiting, without blocking.
    bool readableNow() const;

    bool peerAddress(sockaddr_storage &out, socklen_t &length) const;
    void shutdownBoth();
    // Closes with a reset (SO_LINGER 0), so the peer learns that the transfer
    // was abandoned rather than complete.
    void abortiveClose();
    void close();

private:
    DWORD wait(short events, const Deadline &deadline, const CancelToken &cancel);
    int sock = -1;
};

// Maps an errno of connect/send/recv to a WinInet code.
DWORD winInetCodeForErrno(int error, bool connecting);
