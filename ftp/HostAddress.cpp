#include "ftp/HostAddress.h"

#include "ftp/CancelToken.h"
#include "ftp/TcpSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace {

bool parsePort(const std::string &text, uint16_t &port)
{
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + unsigned(c - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    port = uint16_t(value);
    return true;
}

bool validHostText(const std::string &host)
{
    if (host.empty() || host.size() > 253)
        return false;
    for (unsigned char c : host)
        if (c <= 32 || c == 127 || c == '/' || c == '[' || c == ']' || c == '@')
            return false;
    return true;
}

void toResolved(const addrinfo *list, std::vector<ResolvedAddress> &out)
{
    for (const addrinfo *ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET && ai->ai_family != AF_INET6)
            continue;
        ResolvedAddress r;
        std::memcpy(&r.address, ai->ai_addr, ai->ai_addrlen);
        r.length = socklen_t(ai->ai_addrlen);
        out.push_back(r);
    }
}

DWORD lookup(const HostAddress &host, int flags, std::vector<ResolvedAddress> &out)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags | AI_ADDRCONFIG;
    addrinfo *list = nullptr;
    const std::string port = std::to_string(host.port);
    int rc = ::getaddrinfo(host.host.c_str(), port.c_str(), &hints, &list);
    if (rc != 0 && (flags & AI_NUMERICHOST)) {
        hints.ai_flags = flags; // a loopback-only machine has no "configured" address family
        rc = ::getaddrinfo(host.host.c_str(), port.c_str(), &hints, &list);
    }
    if (rc != 0)
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    toResolved(list, out);
    ::freeaddrinfo(list);
    return out.empty() ? ERROR_INTERNET_NAME_NOT_RESOLVED : ERROR_SUCCESS;
}

// The state a lookup thread shares with the caller that may stop waiting.
struct Lookup {
    std::mutex mutex;
    HostAddress host;
    std::vector<ResolvedAddress> result;
    DWORD code = ERROR_INTERNET_NAME_NOT_RESOLVED;
    int doneFd = -1;
    ~Lookup()
    {
        if (doneFd >= 0)
            ::close(doneFd);
    }
};

DWORD waitLookup(const Lookup &state, const Deadline &deadline, const CancelToken &cancel)
{
    for (;;) {
        if (cancel.cancelled())
            return ERROR_INTERNET_OPERATION_CANCELLED;
        const int timeout = deadline.remainingMs();
        if (timeout == 0)
            return ERROR_INTERNET_TIMEOUT;
        pollfd fds[2] = { { state.doneFd, POLLIN, 0 }, { cancel.fd(), POLLIN, 0 } };
        const int n
            = ::poll(fds, cancel.fd() >= 0 ? 2 : 1, timeout < 0 || timeout > 100 ? 100 : timeout);
        if (n < 0 && errno != EINTR)
            return ERROR_INTERNET_INTERNAL_ERROR;
        if (n > 0 && fds[0].revents)
            return ERROR_SUCCESS;
    }
}

} // namespace

bool parseHostAddress(const char *text, uint16_t defaultPort, HostAddress &out)
{
    if (!text)
        return false;
    std::string s(text);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.pop_back();
    size_t start = 0;
    while (start < s.size() && std::isspace(static_cast<unsigned char>(s[start])))
        ++start;
    s.erase(0, start);
    out.port = defaultPort ? defaultPort : INTERNET_DEFAULT_FTP_PORT;
    if (!s.empty() && s[0] == '[') {
        const size_t close = s.find(']');
        if (close == std::string::npos)
            return false;
        out.host = s.substr(1, close - 1);
        const std::string rest = s.substr(close + 1);
        if (!rest.empty() && (rest[0] != ':' || !parsePort(rest.substr(1), out.port)))
            return false;
        in6_addr probe;
        return inet_pton(AF_INET6, out.host.c_str(), &probe) == 1;
    }
    const size_t colon = s.find(':');
    if (colon != std::string::npos && s.find(':', colon + 1) == std::string::npos) {
        out.host = s.substr(0, colon);
        if (!parsePort(s.substr(colon + 1), out.port))
            return false;
    } else {
        out.host = s;
    }
    if (out.host.find(':') != std::string::npos) {
        in6_addr probe;
        return inet_pton(AF_INET6, out.host.c_str(), &probe) == 1;
    }
    return validHostText(out.host);
}

DWORD resolveHostAddress(const HostAddress &host, std::vector<ResolvedAddress> &out,
    const Deadline &deadline, const CancelToken &cancel)
{
    out.clear();
    if (lookup(host, AI_NUMERICHOST, out) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    auto state = std::make_shared<Lookup>();
    state->host = host;
    state->doneFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state->doneFd < 0)
        return ERROR_NOT_ENOUGH_MEMORY;
    std::thread worker;
    try {
        worker = std::thread([state] {
            std::vector<ResolvedAddress> found;
            const DWORD code = lookup(state->host, 0, found);
            std::lock_guard<std::mutex> lock(state->mutex);
            state->result = std::move(found);
            state->code = code;
            const uint64_t one = 1;
            ssize_t ignored = ::write(state->doneFd, &one, sizeof one);
            (void)ignored;
        });
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    const DWORD waited = waitLookup(*state, deadline, cancel);
    if (waited != ERROR_SUCCESS) {
        worker.detach(); // the resolver cannot be interrupted: it ends on its own
        return waited;
    }
    worker.join(); // it has answered and is ending: no thread outlives the call
    std::lock_guard<std::mutex> lock(state->mutex);
    out = state->result;
    return state->code;
}

std::string addressText(const sockaddr_storage &address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET)
        inet_ntop(
            AF_INET, &reinterpret_cast<const sockaddr_in &>(address).sin_addr, text, sizeof text);
    else if (address.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 &>(address).sin6_addr, text,
            sizeof text);
    return text;
}
