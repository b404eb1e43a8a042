#pragma once

#include "ftp/WinInetTls.h"

#include <openssl/types.h>

#include <string>

// Judges the server's certificate after the handshake: it must name the host
// (a name or an address), else 12038 without a question. A chain that the
// system's store does not trust, or a certificate outside its validity, is
// put to the question; no question or "no" is 12045.
class TlsCertificateCheck {
public:
    static DWORD verify(SSL *ssl, const std::string &host, const TlsCertificateQuestion &question);
    static TlsCertificateFacts describe(X509 *certificate, const std::string &host);
    // "AB:CD:..." of the SHA-256 of the DER certificate.
    static std::string fingerprint(X509 *certificate);
    static bool isAddress(const std::string &host);
};
