#include "ftp/TcpSocket.h"

#include "ftp/CancelToken.h"
#include "ftp/TlsChannel.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

Deadline::Deadline(int milliseconds)
{
    if (milliseconds <= 0) {
        unlimited = true;
        return;
    }
    end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

Deadline Deadline::never()
{
    Deadline d;
    d.unlimited = true;
    return d;
}

int Deadline::remainingMs() const
{
    if (unlimited)
        return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0)
        return 0;
    return left > 0x7fffffff ? 0x7fffffff : int(left);
}

DWORD winInetCodeForErrno(int error, bool connecting)
{
    switch (error) {
    case ETIMEDOUT:
        return connecting ? ERROR_INTERNET_CANNOT_CONNECT : ERROR_INTERNET_TIMEOUT;
    case ECONNRESET:
        return ERROR_INTERNET_CONNECTION_RESET;
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EADDRNOTAVAIL:
    case EAFNOSUPPORT:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case ENOMEM:
    case ENOBUFS:
    case EMFILE:
    case ENFILE:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return connecting ? ERROR_INTERNET_CANNOT_CONNECT : ERROR_INTERNET_CONNECTION_ABORTED;
    }
}

TcpSocket::TcpSocket() = default;

TcpSocket::~TcpSocket()
{
    close();
}

TcpSocket::TcpSocket(TcpSocket &&other) noexcept
    : sock(other.sock), tlsChannel(std::move(other.tlsChannel))
{
    other.sock = -1;
}

TcpSocket &TcpSocket::operator=(TcpSocket &&other) noexcept
{
    if (this != &other) {
        close();
        sock = other.sock;
        tlsChannel = std::move(other.tlsChannel);
        other.sock = -1;
    }
    return *this;
}

void TcpSocket::startTls(std::unique_ptr<TlsChannel> channel)
{
    tlsChannel = std::move(channel);
}

void TcpSocket::sendNow(const void *data, size_t length)
{
    if (sock < 0)
        return;
    if (tlsChannel) {
        tlsChannel->sendNow(data, length);
        return;
    }
    ssize_t ignored = ::send(sock, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    (void)ignored;
}

DWORD TcpSocket::closeAfterSending(const Deadline &deadline, const CancelToken &cancel)
{
    const DWORD code = tlsChannel && sock >= 0 ? tlsChannel->closeNotify(*this, deadline, cancel)
                                               : ERROR_SUCCESS;
    close();
    return code;
}

DWORD TcpSocket::wait(short events, const Deadline &deadline, const CancelToken &cancel)
{
    const CancelToken::WaitMark blocked;
    for (;;) {
        if (cancel.cancelled())
            return ERROR_INTERNET_OPERATION_CANCELLED;
        int timeout = deadline.remainingMs();
        if (timeout == 0)
            return ERROR_INTERNET_TIMEOUT;
        // The socket, the handle's token and the thread's interrupt.
        pollfd fds[3] = { { sock, events, 0 }, { -1, POLLIN, 0 }, { -1, POLLIN, 0 } };
        nfds_t count = 1;
        for (const int fd : { cancel.fd(), CancelToken::threadInterruptFd() })
            if (fd >= 0)
                fds[count++].fd = fd;
        if (cancel.fd() < 0 && (timeout < 0 || timeout > 100))
            timeout = 100; // no event descriptor: look at the flag now and then
        const int n = ::poll(fds, count, timeout);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ERROR_INTERNET_INTERNAL_ERROR;
        }
        for (nfds_t i = 1; i < count; ++i)
            if (fds[i].revents)
                return ERROR_INTERNET_OPERATION_CANCELLED;
        if (n > 0 && fds[0].revents)
            return ERROR_SUCCESS;
    }
}

DWORD TcpSocket::connectTo(
    const sockaddr *address, socklen_t length, const Deadline &deadline, const CancelToken &cancel)
{
    close();
    sock = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (sock < 0)
        return winInetCodeForErrno(errno, true);
    const int one = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(sock, address, length) == 0)
        return ERROR_SUCCESS;
    if (errno != EINPROGRESS && errno != EINTR) {
        const DWORD code = winInetCodeForErrno(errno, true);
        close();
        return code;
    }
    DWORD code = wait(POLLOUT, deadline, cancel);
    if (code == ERROR_SUCCESS) {
        int error = 0;
        socklen_t len = sizeof error;
        ::getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &len);
        if (error != 0)
            code = winInetCodeForErrno(error, true);
    }
    if (code != ERROR_SUCCESS)
        close();
    return code;
}

DWORD TcpSocket::sendAll(
    const void *data, size_t length, const Deadline &deadline, const CancelToken &cancel)
{
    if (tlsChannel)
        return tlsChannel->sendAll(*this, data, length, deadline, cancel);
    const char *p = static_cast<const char *>(data);
    while (length > 0) {
        if (cancel.cancelled())
            return ERROR_INTERNET_OPERATION_CANCELLED;
        const ssize_t n = ::send(sock, p, length, MSG_NOSIGNAL);
        if (n > 0) {
            p += n;
            length -= size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const DWORD code = wait(POLLOUT, deadline, cancel);
            if (code != ERROR_SUCCESS)
                return code;
            continue;
        }
        return winInetCodeForErrno(n < 0 ? errno : EPIPE, false);
    }
    return ERROR_SUCCESS;
}

DWORD TcpSocket::receive(void *buffer, size_t capacity, size_t &received, const Deadline &deadline,
    const CancelToken &cancel)
{
    if (tlsChannel)
        return tlsChannel->receive(*this, buffer, capacity, received, deadline, cancel);
    received = 0;
    for (;;) {
        if (cancel.cancelled())
            return ERROR_INTERNET_OPERATION_CANCELLED;
        const ssize_t n = ::recv(sock, buffer, capacity, 0);
        if (n >= 0) {
            received = size_t(n);
            return ERROR_SUCCESS;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            const DWORD code = wait(POLLIN, deadline, cancel);
            if (code != ERROR_SUCCESS)
                return code;
            continue;
        }
        return winInetCodeForErrno(errno, false);
    }
}

DWORD TcpSocket::waitReadable(const Deadline &deadline, const CancelToken &cancel)
{
    if (tlsChannel && tlsChannel->hasPending())
        return ERROR_SUCCESS;
    return wait(POLLIN, deadline, cancel);
}

bool TcpSocket::readableNow() const
{
    if (sock < 0)
        return false;
    if (tlsChannel)
        return tlsChannel->readableNow(*this);
    pollfd fd = { sock, POLLIN, 0 };
    return ::poll(&fd, 1, 0) > 0 && fd.revents != 0;
}

bool TcpSocket::peerAddress(sockaddr_storage &out, socklen_t &length) const
{
    length = sizeof out;
    return sock >= 0 && ::getpeername(sock, reinterpret_cast<sockaddr *>(&out), &length) == 0;
}

void TcpSocket::shutdownBoth()
{
    if (sock >= 0)
        ::shutdown(sock, SHUT_RDWR);
}

void TcpSocket::abortiveClose()
{
    tlsChannel.reset(); // no close_notify: the peer learns of an abandoned transfer
    if (sock < 0)
        return;
    linger lg { 1, 0 };
    ::setsockopt(sock, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    close();
}

void TcpSocket::close()
{
    if (tlsChannel && sock >= 0)
        tlsChannel->politeShutdown();
    tlsChannel.reset();
    if (sock >= 0) {
        ::close(sock);
        sock = -1;
    }
}
