#pragma once

#include <openssl/types.h>

// The process's one TLS client context: TLS 1.2 or later, the system's
// trusted certificates, and a socket layer that never raises SIGPIPE.
// Certificates are judged after the handshake (TlsCertificateCheck records
// what OpenSSL finds), so the handshake itself does not stop at an unknown
// issuer.
class TlsContext {
public:
    // Null when OpenSSL could not set up a context.
    static SSL_CTX *client();
    // A new connection over the non-blocking socket fd, or null.
    static SSL *newConnection(int fd);
};
