#include "ftp/TlsChannel.h"

#include "ftp/CancelToken.h"
#include "ftp/TcpSocket.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

TlsChannel::~TlsChannel()
{
    SSL_free(ssl);
}

DWORD TlsChannel::waitFor(
    int sslError, TcpSocket &socket, const Deadline &deadline, const CancelToken &cancel)
{
    return socket.waitFor(sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN, deadline, cancel);
}

DWORD TlsChannel::failure(int sslError)
{
    broken = true;
    if (sslError == SSL_ERROR_SYSCALL && errno != 0)
        return winInetCodeForErrno(errno, false);
    return ERROR_INTERNET_CONNECTION_ABORTED;
}

DWORD TlsChannel::handshake(TcpSocket &socket, const Deadline &deadline, const CancelToken &cancel)
{
    for (;;) {
        if (cancel.cancelled())
            return ERROR_INTERNET_OPERATION_CANCELLED;
        ERR_clear_error();
        const int result = SSL_connect(ssl);
        if (result == 1)
            return ERROR_SUCCESS;
        const int error = SSL_get_error(ssl, result);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            broken = true;
            return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
        }
        const DWORD code = waitFor(error, socket, deadline, cancel);
        if (code != ERROR_SUCCESS)
            return code;
    }
}

DWORD TlsChannel::sendAll(TcpSocket &socket, const void *data, size_t length,
    const Deadline &deadline, const CancelToken &cancel)
{
    const char *p = static_cast<const char *>(data);
    while (length > 0) {
        if (cancel.cancelled())
            return ERROR_INTERNET_OPERATION_CANCELLED;
        if (broken)
            return ERROR_INTERNET_CONNECTION_ABORTED;
        ERR_clear_error();
        errno = 0;
        size_t written = 0;
        if (SSL_write_ex(ssl, p, length, &written)) {
            p += written;
            length -= written;
            continue;
        }
        const int error = SSL_get_error(ssl, 0);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            return failure(error);
        const DWORD code = waitFor(error, socket, deadline, cancel);
        if (code != ERROR_SUCCESS)
            return code;
    }
    return ERROR_SUCCESS;
}

DWORD TlsChannel::receive(TcpSocket &socket, void *buffer, size_t capacity, size_t &received,
    const Deadline &deadline, const CancelToken &cancel)
{
    received = 0;
    char *out = static_cast<char *>(buffer);
    while (received < capacity) {
        if (cancel.cancelled())
            return received > 0 ? ERROR_SUCCESS : ERROR_INTERNET_OPERATION_CANCELLED;
        if (broken)
            return received > 0 ? ERROR_SUCCESS : ERROR_INTERNET_CONNECTION_ABORTED;
        ERR_clear_error();
        errno = 0;
        size_t n = 0;
        if (SSL_read_ex(ssl, out + received, capacity - received, &n)) {
            received += n;
            continue;
        }
        const int error = SSL_get_error(ssl, 0);
        if (received > 0 || error == SSL_ERROR_ZERO_RETURN)
            return ERROR_SUCCESS; // a failure shows on the next call
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            return failure(error);
        const DWORD code = waitFor(error, socket, deadline, cancel);
        if (code != ERROR_SUCCESS)
            return code;
    }
    return ERROR_SUCCESS;
}

bool TlsChannel::hasPending() const
{
    return SSL_pending(ssl) > 0;
}

bool TlsChannel::readableNow(const TcpSocket &socket)
{
    if (hasPending())
        return true;
    pollfd fd = { socket.fd(), POLLIN, 0 };
    if (::poll(&fd, 1, 0) <= 0 || fd.revents == 0)
        return false;
    ERR_clear_error();
    char byte = 0;
    size_t n = 0;
    if (SSL_peek_ex(ssl, &byte, 1, &n))
        return true;
    const int error = SSL_get_error(ssl, 0);
    return error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE;
}

void TlsChannel::sendNow(const void *data, size_t length)
{
    if (broken)
        return;
    ERR_clear_error();
    size_t written = 0;
    SSL_write_ex(ssl, data, length, &written);
    ERR_clear_error();
}

DWORD TlsChannel::closeNotify(
    TcpSocket &socket, const Deadline &deadline, const CancelToken &cancel)
{
    if (broken)
        return ERROR_INTERNET_CONNECTION_ABORTED;
    for (;;) {
        ERR_clear_error();
        errno = 0;
        const int result = SSL_shutdown(ssl);
        if (result >= 0)
            break; // ours is out
        const int error = SSL_get_error(ssl, result);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            return failure(error);
        const DWORD code = waitFor(error, socket, deadline, cancel);
        if (code != ERROR_SUCCESS)
            return code;
    }
    ::shutdown(socket.fd(), SHUT_WR);
    // The peer's close_notify, a late session ticket or the end of the stream.
    char scratch[4096];
    for (size_t got = 1; got > 0;) {
        if (receive(socket, scratch, sizeof scratch, got, deadline, cancel) != ERROR_SUCCESS)
            break;
    }
    return ERROR_SUCCESS;
}

void TlsChannel::politeShutdown()
{
    if (broken || !SSL_is_init_finished(ssl))
        return;
    ERR_clear_error();
    SSL_shutdown(ssl);
    ERR_clear_error();
}

std::string TlsChannel::protocol() const
{
    std::string name = SSL_get_version(ssl); // "TLSv1.3"
    if (name.compare(0, 4, "TLSv") == 0)
        name = "TLS " + name.substr(4);
    return name;
}

bool TlsChannel::resumed() const
{
    return SSL_session_reused(ssl) == 1;
}
