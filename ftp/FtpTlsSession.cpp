#include "ftp/FtpTlsSession.h"

#include "ftp/CancelToken.h"
#include "ftp/FtpControlConnection.h"
#include "ftp/TlsChannel.h"
#include "ftp/TlsContext.h"

#include <openssl/ssl.h>

#include <memory>
#include <utility>

namespace {

// Server name indication only for names; an address is sent as nothing.
std::unique_ptr<TlsChannel> newChannel(TcpSocket &socket, const std::string &host)
{
    SSL *ssl = TlsContext::newConnection(socket.fd());
    if (!ssl)
        return nullptr;
    if (!TlsCertificateCheck::isAddress(host))
        SSL_set_tlsext_host_name(ssl, host.c_str());
    return std::make_unique<TlsChannel>(ssl);
}

} // namespace

void FtpTlsSession::configure(TlsPolicy how, TlsCertificateQuestion ask)
{
    policy = how;
    question = std::move(ask);
    controlSettled = dataSettled = false;
}

DWORD FtpTlsSession::secureControl(FtpControlConnection &ctrl, const HostAddress &address,
    int timeoutMs, const CancelToken &cancel, std::string &loginText, int &loginCode)
{
    // Whoever answers the question may be gone by the time of a reconnect.
    const TlsCertificateQuestion ask = std::exchange(question, nullptr);
    const bool again = std::exchange(controlSettled, true);
    if (policy == TlsPolicy::Off || (again && protocolName.empty()))
        return ERROR_SUCCESS;
    host = address;
    FtpReply reply;
    DWORD code = ctrl.command("AUTH TLS", reply, timeoutMs, cancel);
    if (code != ERROR_SUCCESS)
        return code;
    loginText += reply.text;
    loginCode = reply.code;
    if (reply.closing())
        return ERROR_INTERNET_EXTENDED_ERROR;
    if (reply.code == 234)
        return handshake(ctrl, timeoutMs, cancel, again ? acceptedBefore() : ask);
    if (policy == TlsPolicy::Require || again) {
        ctrl.markBroken(); // not a word more in plain, not even QUIT
        return ERROR_FTP_TLS_REFUSED;
    }
    loginText += "The server refused encryption (AUTH TLS): this connection is not encrypted.\r\n";
    return ERROR_SUCCESS;
}

DWORD FtpTlsSession::handshake(FtpControlConnection &ctrl, int timeoutMs, const CancelToken &cancel,
    const TlsCertificateQuestion &ask)
{
    TcpSocket &socket = ctrl.socket();
    std::unique_ptr<TlsChannel> channel = newChannel(socket, host.host);
    if (!channel)
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    DWORD code;
    {
        const TlsCertificateCheck check(channel->handle(), host);
        code = channel->handshake(socket, Deadline(timeoutMs), cancel);
        if (code == ERROR_SUCCESS)
            code = check.verify(ask);
    }
    // Whatever the answer, a cancel while the question was open refuses.
    if (code == ERROR_SUCCESS && cancel.cancelled())
        code = ERROR_INTERNET_OPERATION_CANCELLED;
    if (code != ERROR_SUCCESS) {
        ctrl.markBroken(); // half a handshake leaves nothing to talk over
        return code;
    }
    if (X509 *certificate = SSL_get0_peer_certificate(channel->handle()))
        serverFingerprint = TlsCertificateCheck::fingerprint(certificate);
    protocolName = channel->protocol();
    socket.startTls(std::move(channel));
    return ERROR_SUCCESS;
}

// A connection made again after a drop goes on with the certificate the
// user accepted for it, and with no other: nobody is asked twice.
TlsCertificateQuestion FtpTlsSession::acceptedBefore() const
{
    return [known = serverFingerprint](
               const TlsCertificateFacts &facts) { return facts.sha256 == known; };
}

DWORD FtpTlsSession::protectData(FtpControlConnection &ctrl, int timeoutMs,
    const CancelToken &cancel, std::string &loginText, int &loginCode)
{
    if (protocolName.empty())
        return ERROR_SUCCESS;
    const bool again = std::exchange(dataSettled, true);
    if (again && !dataProtected)
        return ERROR_SUCCESS; // commands only, as the connection was made
    FtpReply reply;
    DWORD code = ctrl.command("PBSZ 0", reply, timeoutMs, cancel);
    if (code == ERROR_SUCCESS && reply.positive())
        code = ctrl.command("PROT P", reply, timeoutMs, cancel);
    if (code != ERROR_SUCCESS)
        return code;
    if (reply.positive()) {
        dataProtected = true;
        return ERROR_SUCCESS;
    }
    loginText += reply.text;
    loginCode = reply.code;
    if (reply.closing())
        return ERROR_INTERNET_EXTENDED_ERROR;
    if (policy == TlsPolicy::Require || again)
        return ERROR_FTP_TLS_REFUSED;
    loginText += "The server refused to protect data connections (PROT P): only the login and "
                 "commands are encrypted, not listings or files.\r\n";
    return ERROR_SUCCESS;
}

DWORD FtpTlsSession::secureData(
    TcpSocket &data, FtpControlConnection &ctrl, int timeoutMs, const CancelToken &cancel) const
{
    std::unique_ptr<TlsChannel> channel = newChannel(data, host.host);
    TlsChannel *control = ctrl.socket().tls();
    if (!channel || !control)
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    // Read now, not at the handshake: a TLS 1.3 server sends its session
    // tickets after the handshake, and the login replies brought them in.
    if (SSL_SESSION *session = SSL_get1_session(control->handle())) {
        SSL_set_session(channel->handle(), session);
        SSL_SESSION_free(session);
    }
    const DWORD code = channel->handshake(data, Deadline(timeoutMs), cancel);
    if (code != ERROR_SUCCESS)
        return code;
    // Not resumed: then it must at least be the certificate already accepted.
    if (!channel->resumed()) {
        X509 *certificate = SSL_get0_peer_certificate(channel->handle());
        if (!certificate || TlsCertificateCheck::fingerprint(certificate) != serverFingerprint)
            return ERROR_INTERNET_INVALID_CA;
    }
    data.startTls(std::move(channel));
    return ERROR_SUCCESS;
}
