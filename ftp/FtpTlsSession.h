#pragma once

#include "ftp/HostAddress.h"
#include "ftp/TlsCertificateCheck.h"
#include "ftp/WinInet.h"

#include <string>

class CancelToken;
class FtpControlConnection;
class TcpSocket;

// How a connection asks for encryption (InternetConnectA's flags).
enum class TlsPolicy { Off, IfOffered, Require };

// The TLS side of one FTP connection: AUTH TLS on the control connection
// before the login, PBSZ 0 and PROT P after it, and data connections that
// resume the control connection's TLS session (servers such as vsftpd refuse
// a data connection that does not). A connection made again after a drop
// keeps the protection it was first made with: plain stays plain, commands
// only stay so, and an encrypted one takes only the certificate taken then.
class FtpTlsSession {
public:
    // The question is kept for the first connect only.
    void configure(TlsPolicy how, TlsCertificateQuestion ask);

    // After the greeting, before USER. loginText gets AUTH's reply, and a
    // line of ours when the server refused and the connection goes on plain.
    // Codes: 12190 required and refused, 12157, 12038, 12045, 12002, 12017, 12030.
    DWORD secureControl(FtpControlConnection &ctrl, const HostAddress &host, int timeoutMs,
        const CancelToken &cancel, std::string &loginText, int &loginCode);
    // After the login: PBSZ 0 and PROT P (only on an encrypted connection).
    DWORD protectData(FtpControlConnection &ctrl, int timeoutMs, const CancelToken &cancel,
        std::string &loginText, int &loginCode);
    bool protectsData() const { return dataProtected; }
    // The client handshake on a connected data socket, resuming the control
    // connection's session. Codes: 12157, 12045, 12002, 12017.
    DWORD secureData(TcpSocket &data, FtpControlConnection &ctrl, int timeoutMs,
        const CancelToken &cancel) const;

    // "TLS 1.3" once the control connection is encrypted, else empty.
    const std::string &protocol() const { return protocolName; }

private:
    DWORD handshake(FtpControlConnection &ctrl, int timeoutMs, const CancelToken &cancel,
        const TlsCertificateQuestion &ask);
    TlsCertificateQuestion acceptedBefore() const;

    TlsPolicy policy = TlsPolicy::Off;
    TlsCertificateQuestion question;
    HostAddress host;
    std::string protocolName;
    std::string serverFingerprint;
    bool controlSettled = false; // the first connect has chosen
    bool dataSettled = false;
    bool dataProtected = false;
};
