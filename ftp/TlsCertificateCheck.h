#pragma once

#include "ftp/HostAddress.h"
#include "ftp/WinInetTls.h"

#include <openssl/types.h>

#include <string>

// Judges the server's certificate of one control connection. Made before the
// handshake: the host goes into OpenSSL's own verification, and every error
// that verification finds is recorded while it goes on to the end. After the
// handshake, verify() decides: a certificate that does not name the host (a
// name or an address) is 12038 without a question; one the store does not
// vouch for (any error but the leaf's own dates), or outside its validity,
// is put to the question; no question or "no" is 12045.
class TlsCertificateCheck {
public:
    TlsCertificateCheck(SSL *ssl, const HostAddress &host);
    ~TlsCertificateCheck();
    TlsCertificateCheck(const TlsCertificateCheck &) = delete;
    TlsCertificateCheck &operator=(const TlsCertificateCheck &) = delete;

    DWORD verify(const TlsCertificateQuestion &question) const;

    static TlsCertificateFacts describe(X509 *certificate, const HostAddress &host);
    // "AB:CD:..." of the SHA-256 of the DER certificate.
    static std::string fingerprint(X509 *certificate);
    static bool isAddress(const std::string &host);

private:
    static int record(int preverifyOk, X509_STORE_CTX *store);
    void note(int depth, int error);
    bool vouched() const;

    SSL *ssl;
    HostAddress host;
    bool errorSeen = false;
    bool hostMismatch = false;
    bool unvouched = false;
};
