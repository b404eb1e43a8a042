#pragma once

#include "ftp/WinInet.h"

#include <openssl/types.h>

#include <cstddef>
#include <string>

class CancelToken;
class Deadline;
class TcpSocket;

// TLS over one non-blocking TcpSocket. Every wait goes through the socket's
// own poll, so deadlines and cancels hold as for plain data; OpenSSL's "want
// read/write" becomes such a wait. Results are WinInet codes.
class TlsChannel {
public:
    explicit TlsChannel(SSL *connection) : ssl(connection) { }
    ~TlsChannel();
    TlsChannel(const TlsChannel &) = delete;
    TlsChannel &operator=(const TlsChannel &) = delete;

    // 12157 when the handshake fails or the peer drops it; 12002, 12017.
    DWORD handshake(TcpSocket &socket, const Deadline &deadline, const CancelToken &cancel);
    DWORD sendAll(TcpSocket &socket, const void *data, size_t length, const Deadline &deadline,
        const CancelToken &cancel);
    // Fills as much of the buffer as arrived (at least one byte), so callers
    // with big buffers get big blocks; received = 0 at the end of the stream.
    DWORD receive(TcpSocket &socket, void *buffer, size_t capacity, size_t &received,
        const Deadline &deadline, const CancelToken &cancel);
    // Decrypted data is waiting (the socket may be empty).
    bool hasPending() const;
    // Data or the end of the stream is waiting, without blocking; protocol
    // records without data (a session ticket) are consumed and do not count.
    bool readableNow(const TcpSocket &socket);
    // Sends what fits now, without waiting (a farewell such as QUIT).
    void sendNow(const void *data, size_t length);
    // Sends close_notify, ends the sending side, and reads the peer's rest
    // until it closes or the deadline passes, so that nothing left unread
    // turns the close into a reset.
    DWORD closeNotify(TcpSocket &socket, const Deadline &deadline, const CancelToken &cancel);
    // A best-effort close_notify before the descriptor goes (never waits).
    void politeShutdown();

    SSL *handle() const { return ssl; }
    // "TLS 1.3"
    std::string protocol() const;
    bool resumed() const;

private:
    DWORD waitFor(
        int sslError, TcpSocket &socket, const Deadline &deadline, const CancelToken &cancel);
    DWORD failure(int sslError);

    SSL *ssl;
    bool broken = false;
};
