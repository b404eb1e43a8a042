#include "ftp/TlsContext.h"

#include <openssl/bio.h>
#include <openssl/ssl.h>

#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace {

int descriptorOf(BIO *bio)
{
    return int(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
}

bool wouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

// send() with MSG_NOSIGNAL: a peer that went away is an error, not a signal.
int socketWrite(BIO *bio, const char *data, int length)
{
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(descriptorOf(bio), data, size_t(length), MSG_NOSIGNAL);
    if (n < 0 && wouldBlock())
        BIO_set_retry_write(bio);
    return int(n);
}

int socketRead(BIO *bio, char *out, int length)
{
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(descriptorOf(bio), out, size_t(length), 0);
    if (n < 0 && wouldBlock())
        BIO_set_retry_read(bio);
    return int(n);
}

long socketControl(BIO *, int command, long, void *)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD *socketMethod()
{
    static BIO_METHOD *method = [] {
        BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "vrex socket");
        if (m) {
            BIO_meth_set_write(m, socketWrite);
            BIO_meth_set_read(m, socketRead);
            BIO_meth_set_ctrl(m, socketControl);
        }
        return m;
    }();
    return method;
}

SSL_CTX *makeClientContext()
{
    SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx)
        return nullptr;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(ctx);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    // A plain end of stream ends a download like close_notify; the FTP
    // final reply and the announced size decide whether it was complete.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    // The certificate is judged once, at the handshake; none may replace it.
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Fewer reads from the socket for the same data.
    SSL_CTX_set_read_ahead(ctx, 1);
    SSL_CTX_set_default_read_buffer_len(ctx, 64 * 1024);
    return ctx;
}

} // namespace

SSL_CTX *TlsContext::client()
{
    static SSL_CTX *ctx = makeClientContext();
    return ctx;
}

SSL *TlsContext::newConnection(int fd)
{
    SSL_CTX *ctx = client();
    BIO_METHOD *method = socketMethod();
    if (!ctx || !method)
        return nullptr;
    BIO *bio = BIO_new(method);
    if (!bio)
        return nullptr;
    BIO_set_data(bio, reinterpret_cast<void *>(intptr_t(fd)));
    BIO_set_init(bio, 1);
    SSL *ssl = SSL_new(ctx);
    if (!ssl) {
        BIO_free(bio);
        return nullptr;
    }
    SSL_set_bio(ssl, bio, bio);
    return ssl;
}
