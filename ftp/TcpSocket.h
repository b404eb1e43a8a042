#pragma once

#include "ftp/WinInet.h"

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <memory>

class CancelToken;
class TlsChannel;

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
// on the thread that owns the socket. Once startTls() has put a TLS channel
// on it, sending and receiving go through that channel with the same waits.
class TcpSocket {
public:
    TcpSocket();
    ~TcpSocket();
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
    // Waits for poll events on the socket (for the TLS channel).
    DWORD waitFor(short events, const Deadline &deadline, const CancelToken &cancel)
    {
        return wait(events, deadline, cancel);
    }

    // Everything sent and received from now on is encrypted by the channel.
    void startTls(std::unique_ptr<TlsChannel> channel);
    TlsChannel *tls() const { return tlsChannel.get(); }
    // Sends what fits into the send buffer now, never waiting (a farewell).
    void sendNow(const void *data, size_t length);
    // Ends a stream that was sent whole: close_notify first when encrypted
    // (the peer's rest is read until it closes, within the deadline), then
    // the descriptor is closed.
    DWORD closeAfterSending(const Deadline &deadline, const CancelToken &cancel);

    bool peerAddress(sockaddr_storage &out, socklen_t &length) const;
    void shutdownBoth();
    // Closes with a reset (SO_LINGER 0), so the peer learns that the transfer
    // was abandoned rather than complete.
    void abortiveClose();
    void close();

private:
    DWORD wait(short events, const Deadline &deadline, const CancelToken &cancel);
    int sock = -1;
    std::unique_ptr<TlsChannel> tlsChannel;
};

// Maps an errno of connect/send/recv to a WinInet code.
DWORD winInetCodeForErrno(int error, bool connecting);
