#include "sftp/SftpLink.h"

#include "ftp/HostAddress.h"
#include "ftp/TcpSocket.h"
#include "sftp/SftpHostKeys.h"
#include "sftp/SftpLogin.h"
#include "sftp/WaitBreaker.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

const char *statusText(int status)
{
    switch (status) {
    case SSH_FX_EOF:
        return "End of file";
    case SSH_FX_NO_SUCH_FILE:
    case SSH_FX_NO_SUCH_PATH:
        return "No such file";
    case SSH_FX_PERMISSION_DENIED:
        return "Permission denied";
    case SSH_FX_FILE_ALREADY_EXISTS:
        return "File already exists";
    case SSH_FX_OP_UNSUPPORTED:
        return "Operation unsupported";
    case SSH_FX_WRITE_PROTECT:
        return "Write protected";
    default:
        return "Failure";
    }
}

// Connects a socket that honours the call's cancel and time-out, and hands
// libssh a descriptor of its own (libssh closes what it was given).
DWORD connectSocket(const RemoteConnectRequest &request, const RemoteCall &call, int &fd)
{
    HostAddress host { request.host, request.port };
    std::vector<ResolvedAddress> addresses;
    DWORD code
        = resolveHostAddress(host, addresses, Deadline(call.timeouts.connectMs), call.cancel);
    for (const auto &a : addresses) {
        TcpSocket socket;
        code = socket.connectTo(reinterpret_cast<const sockaddr *>(&a.address), a.length,
            Deadline(call.timeouts.connectMs), call.cancel);
        if (code == ERROR_SUCCESS) {
            fd = ::dup(socket.fd());
            return fd >= 0 ? DWORD(ERROR_SUCCESS) : DWORD(ERROR_INTERNET_CANNOT_CONNECT);
        }
        if (code == ERROR_INTERNET_OPERATION_CANCELLED)
            break;
    }
    return code;
}

} // namespace

SftpRunScope::SftpRunScope(SftpLink &link, const RemoteCall &call, int timeoutMs)
    : breaker(new WaitBreaker(link.fd, call.cancel, timeoutMs))
{
}

SftpRunScope::~SftpRunScope()
{
    delete static_cast<WaitBreaker *>(breaker);
}

int SftpRunScope::fired() const
{
    return int(static_cast<WaitBreaker *>(breaker)->fired());
}

SftpLink::SftpLink() = default;

SftpLink::~SftpLink()
{
    closeSession();
}

void SftpLink::closeSession()
{
    if (sftp)
        sftp_free(sftp);
    if (ssh) {
        if (!broken)
            ssh_disconnect(ssh);
        ssh_free(ssh); // closes the descriptor
    } else if (fd >= 0) {
        ::close(fd);
    }
    sftp = nullptr;
    ssh = nullptr;
    fd = -1;
}

DWORD SftpLink::reopen(const RemoteCall &call)
{
    broken = true; // no farewell on a lost connection
    closeSession();
    broken = false;
    const std::string folder = cwd;
    RemoteConnectRequest again = request;
    again.keyQuestion = nullptr; // the key accepted before, or none
    again.passphraseQuestion = nullptr; // the passphrases given before, or none
    note("Connection lost; connecting again");
    DWORD code = open(again, call, settings);
    if (code == ERROR_SUCCESS)
        cwd = folder;
    else
        broken = true;
    return code;
}

DWORD SftpLink::failureAfter(const std::string &what, int fired)
{
    if (fired == int(WaitBreaker::Fired::Cancelled))
        return ERROR_INTERNET_OPERATION_CANCELLED;
    if (fired == int(WaitBreaker::Fired::TimedOut)) {
        note(what + ": timed out");
        return ERROR_INTERNET_TIMEOUT;
    }
    if (!ssh_is_connected(ssh) || ssh_get_error_code(ssh) == SSH_FATAL) {
        broken = true;
        note(what + ": connection lost (" + ssh_get_error(ssh) + ")");
        return ERROR_INTERNET_CONNECTION_ABORTED;
    }
    const int status = sftp ? sftp_get_error(sftp) : SSH_FX_FAILURE;
    note(what + ": " + statusText(status));
    return ERROR_INTERNET_EXTENDED_ERROR;
}

bool SftpLink::peerClosed() const
{
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

std::string SftpLink::resolve(const std::string &name) const
{
    if (!name.empty() && name[0] == '/')
        return name;
    if (name.empty() || name == ".")
        return cwd;
    return cwd == "/" ? "/" + name : cwd + "/" + name;
}

DWORD SftpLink::open(const RemoteConnectRequest &r, const RemoteCall &call, const SftpSettings &s)
{
    request = r;
    settings = s;
    note("Connecting to " + request.host + " port " + std::to_string(request.port) + " (SSH)");
    DWORD code = connectSocket(request, call, fd);
    if (code != ERROR_SUCCESS)
        return code;
    ssh = ssh_new();
    const int port = request.port;
    const long seconds = call.timeouts.connectMs > 0 ? (call.timeouts.connectMs + 999) / 1000 : 0;
    const int no = 0;
    ssh_options_set(ssh, SSH_OPTIONS_FD, &fd);
    ssh_options_set(ssh, SSH_OPTIONS_HOST, request.host.c_str());
    ssh_options_set(ssh, SSH_OPTIONS_PORT, &port);
    ssh_options_set(ssh, SSH_OPTIONS_PROCESS_CONFIG, &no);
    if (!request.user.empty())
        ssh_options_set(ssh, SSH_OPTIONS_USER, request.user.c_str());
    if (seconds > 0)
        ssh_options_set(ssh, SSH_OPTIONS_TIMEOUT, &seconds);
    code = run(
        call, call.timeouts.connectMs, "SSH handshake", [&] { return ssh_connect(ssh) == SSH_OK; });
    if (code != ERROR_SUCCESS) {
        if (code == ERROR_INTERNET_CONNECTION_ABORTED || code == ERROR_INTERNET_EXTENDED_ERROR)
            code = ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
        return code;
    }
    const char *in = ssh_get_cipher_in(ssh);
    cipher = in ? in : "";
    note("SSH connection established, cipher " + cipher);
    code = SftpHostKeys::check(*this, request, settings);
    if (code == ERROR_SUCCESS && call.cancel.cancelled()) // closed while the user was asked
        code = ERROR_INTERNET_OPERATION_CANCELLED;
    if (code == ERROR_SUCCESS)
        code = SftpLogin::logIn(*this, request, call, settings);
    if (code != ERROR_SUCCESS)
        return code;
    code = run(call, call.timeouts.receiveMs, "Starting SFTP", [&] {
        sftp = sftp_new(ssh);
        return sftp && sftp_init(sftp) == SSH_OK;
    });
    if (code != ERROR_SUCCESS)
        return code;
    char *home = nullptr;
    code = run(call, call.timeouts.receiveMs, "Home folder",
        [&] { return (home = sftp_canonicalize_path(sftp, ".")) != nullptr; });
    if (home) {
        cwd = home;
        ssh_string_free_char(home);
    }
    if (code == ERROR_SUCCESS)
        note("SFTP session started in " + cwd);
    return code;
}
