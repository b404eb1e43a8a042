#include "ftp/TlsCertificateCheck.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <ctime>

namespace {

std::string nameText(X509_NAME *name)
{
    BIO *bio = BIO_new(BIO_s_mem());
    if (!bio)
        return std::string();
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string text(data, size_t(length > 0 ? length : 0));
    BIO_free(bio);
    return text;
}

std::string timeText(const ASN1_TIME *time)
{
    std::tm tm {};
    if (!time || !ASN1_TIME_to_tm(time, &tm))
        return std::string();
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

// A second look at the name, whatever the verification recorded.
bool matchesHost(X509 *certificate, const std::string &host)
{
    if (TlsCertificateCheck::isAddress(host))
        return X509_check_ip_asc(certificate, host.c_str(), 0) == 1;
    return X509_check_host(certificate, host.c_str(), host.size(), 0, nullptr) == 1;
}

int checkIndex()
{
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

} // namespace

TlsCertificateCheck::TlsCertificateCheck(SSL *connection, const HostAddress &address)
    : ssl(connection), host(address)
{
    if (isAddress(host.host))
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.host.c_str());
    else
        SSL_set1_host(ssl, host.host.c_str());
    SSL_set_ex_data(ssl, checkIndex(), this);
    SSL_set_verify(ssl, SSL_VERIFY_PEER, &TlsCertificateCheck::record);
}

TlsCertificateCheck::~TlsCertificateCheck()
{
    SSL_set_ex_data(ssl, checkIndex(), nullptr);
}

// Every complaint is kept and the verification goes on, so that an early
// one (an expired root) cannot hide a later one (a leaf's forged signature).
int TlsCertificateCheck::record(int preverifyOk, X509_STORE_CTX *store)
{
    SSL *ssl = static_cast<SSL *>(
        X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto *check
        = ssl ? static_cast<TlsCertificateCheck *>(SSL_get_ex_data(ssl, checkIndex())) : nullptr;
    if (!check)
        return preverifyOk; // nobody to judge afterwards: OpenSSL decides
    if (!preverifyOk)
        check->note(X509_STORE_CTX_get_error_depth(store), X509_STORE_CTX_get_error(store));
    return 1;
}

void TlsCertificateCheck::note(int depth, int error)
{
    errorSeen = true;
    switch (error) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        hostMismatch = true;
        return;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        if (depth == 0)
            return; // the leaf's own dates: the user sees them as such
        break;
    default:
        break;
    }
    unvouched = true;
}

bool TlsCertificateCheck::vouched() const
{
    // A failed verification that reported nothing is no vouching either.
    return !unvouched && (errorSeen || SSL_get_verify_result(ssl) == X509_V_OK);
}

bool TlsCertificateCheck::isAddress(const std::string &host)
{
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1
        || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string TlsCertificateCheck::fingerprint(X509 *certificate)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!X509_digest(certificate, EVP_sha256(), digest, &length))
        return std::string();
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i > 0)
            text += ':';
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

TlsCertificateFacts TlsCertificateCheck::describe(X509 *certificate, const HostAddress &host)
{
    TlsCertificateFacts facts;
    facts.host = host.host;
    facts.port = host.port;
    facts.subject = nameText(X509_get_subject_name(certificate));
    facts.issuer = nameText(X509_get_issuer_name(certificate));
    facts.notBefore = timeText(X509_get0_notBefore(certificate));
    facts.notAfter = timeText(X509_get0_notAfter(certificate));
    facts.sha256 = fingerprint(certificate);
    facts.withinValidity = X509_cmp_current_time(X509_get0_notBefore(certificate)) < 0
        && X509_cmp_current_time(X509_get0_notAfter(certificate)) > 0;
    return facts;
}

DWORD TlsCertificateCheck::verify(const TlsCertificateQuestion &question) const
{
    X509 *certificate = SSL_get0_peer_certificate(ssl);
    if (!certificate)
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    if (hostMismatch || !matchesHost(certificate, host.host))
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    TlsCertificateFacts facts = describe(certificate, host);
    facts.chainTrusted = vouched();
    if (facts.chainTrusted && facts.withinValidity)
        return ERROR_SUCCESS;
    return question && question(facts) ? ERROR_SUCCESS : ERROR_INTERNET_INVALID_CA;
}
