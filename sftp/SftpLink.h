#pragma once

#include "ftp/RemoteProtocol.h"
#include "sftp/SftpSettings.h"

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <map>
#include <string>
#include <utility>

// One SSH connection with its SFTP channel, shared by the connection and its
// open file. Every libssh call runs inside run(), which lets a cancel or a
// time-out end its wait; afterwards a failure is mapped to the layer's code
// and described in the log in SSH terms.
class SftpLink {
public:
    SftpLink();
    ~SftpLink();
    SftpLink(const SftpLink &) = delete;
    SftpLink &operator=(const SftpLink &) = delete;

    DWORD open(
        const RemoteConnectRequest &request, const RemoteCall &call, const SftpSettings &settings);
    // After the connection was lost: connects and logs in anew, in the same
    // folder, accepting only the host key accepted before and asking nothing.
    DWORD reopen(const RemoteCall &call);
    // The known_hosts line of the key accepted at open.
    std::string acceptedKey;
    // Passphrases the user gave for key files, for a reconnect to log in
    // without asking again.
    std::map<std::string, std::string> keyPassphrases;

    // Runs fn() with the call's cancel and time-out watching the socket.
    // fn returns true on success; on failure the result says why (cancel,
    // time-out, a lost connection, or the server's SFTP status).
    template <typename Fn>
    DWORD run(const RemoteCall &call, int timeoutMs, const std::string &what, Fn fn);

    // The server closed or reset the connection (seen without waiting).
    bool peerClosed() const;

    // "/home/u" + "x" -> "/home/u/x"; absolute names stay.
    std::string resolve(const std::string &name) const;
    std::string cwd = "/";

    void note(const std::string &line) { log += line + "\r\n"; }
    std::string takeLog() { return std::exchange(log, std::string()); }
    bool broken = false;
    std::string cipher;

    ssh_session ssh = nullptr;
    sftp_session sftp = nullptr;

private:
    DWORD failureAfter(const std::string &what, int fired);
    void closeSession();
    int fd = -1;
    std::string log;
    RemoteConnectRequest request;
    SftpSettings settings;
    friend class SftpRunScope;
};

// Keeps a WaitBreaker around the libssh calls of run().
class SftpRunScope {
public:
    SftpRunScope(SftpLink &link, const RemoteCall &call, int timeoutMs);
    ~SftpRunScope();
    int fired() const;

private:
    void *breaker;
    const CancelToken::WaitMark blocked; // a stalled call shows as a network wait
};

template <typename Fn>
DWORD SftpLink::run(const RemoteCall &call, int timeoutMs, const std::string &what, Fn fn)
{
    if (broken)
        return ERROR_INTERNET_CONNECTION_ABORTED;
    bool ok;
    int fired;
    {
        SftpRunScope scope(*this, call, timeoutMs);
        ok = fn();
        fired = scope.fired();
    }
    if (fired != 0)
        broken = true; // the socket was shut down under libssh
    return ok ? DWORD(ERROR_SUCCESS) : failureAfter(what, fired);
}
