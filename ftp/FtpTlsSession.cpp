#include "ftp/FtpTlsSession.h"

#include "ftp/CancelToken.h"
#include "ftp/FtpControlConnection.h"
#include "ftp/TlsChannel.h"
#include "ftp/TlsContext.h"

#include <openssl/ssl.h>

#include <memory>

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
}

DWORD FtpTlsSession::secureControl(FtpControlConnection &ctrl, const std::string &hostName,
    int timeoutMs, const CancelToken &cancel, std::string &loginText, int &loginCode)
{
    if (policy == TlsPolicy::Off)
        return ERROR_SUCCESS;
    host = hostName;
    FtpReply reply;
    DWORD code = ctrl.command("AUTH TLS", reply, timeoutMs, cancel);
    if (code != ERROR_SUCCESS)
        return code;
    loginText += reply.text;
    loginCode = reply.code;
    if (reply.closing())
        return ERROR_INTERNET_EXTENDED_ERROR;
    if (reply.code == 234)
        return handshake(ctrl, timeoutMs, cancel);
    if (policy == TlsPolicy::Require) {
        ctrl.markBroken(); // not a word more in plain, not even QUIT
        return ERROR_FTP_TLS_REFUSED;
    }
    loginText += "The server refused encryption (AUTH TLS): this connection is not encrypted.\r\n";
    return ERROR_SUCCESS;
}

DWORD FtpTlsSession::handshake(FtpControlConnection &ctrl, int timeoutMs, const CancelToken &cancel)
{
    TcpSocket &socket = ctrl.socket();
    std::unique_ptr<TlsChannel> channel = newChannel(socket, host);
    if (!channel)
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    DWORD code = channel->handshake(socket, Deadline(timeoutMs), cancel);
    // A second open() of this connection (a reconnect) takes the certificate
    // already accepted without asking again; whoever answered may be gone.
    const std::string accepted = serverFingerprint;
    const TlsCertificateQuestion ask = [this, &accepted](const TlsCertificateFacts &facts) {
        if (!accepted.empty())
            return facts.sha256 == accepted;
        return question && question(facts);
    };
    if (code == ERROR_SUCCESS)
        code = TlsCertificateCheck::verify(channel->handle(), host, ask);
    question = nullptr;
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

DWORD FtpTlsSession::protectData(FtpControlConnection &ctrl, int timeoutMs,
    const CancelToken &cancel, std::string &loginText, int &loginCode)
{
    if (protocolName.empty())
        return ERROR_SUCCESS;
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
    if (policy == TlsPolicy::Require)
        return ERROR_FTP_TLS_REFUSED;
    loginText += "The server refused to protect data connections (PROT P): "
                 "file data is not encrypted.\r\n";
    return ERROR_SUCCESS;
}

DWORD FtpTlsSession::secureData(
    TcpSocket &data, FtpControlConnection &ctrl, int timeoutMs, const CancelToken &cancel) const
{
    std::unique_ptr<TlsChannel> channel = newChannel(data, host);
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
