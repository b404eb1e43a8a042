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

bool matchesHost(X509 *certificate, const std::string &host)
{
    if (TlsCertificateCheck::isAddress(host))
        return X509_check_ip_asc(certificate, host.c_str(), 0) == 1;
    return X509_check_host(certificate, host.c_str(), host.size(), 0, nullptr) == 1;
}

bool isTimeError(long result)
{
    return result == X509_V_ERR_CERT_HAS_EXPIRED || result == X509_V_ERR_CERT_NOT_YET_VALID;
}

} // namespace

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

TlsCertificateFacts TlsCertificateCheck::describe(X509 *certificate, const std::string &host)
{
    TlsCertificateFacts facts;
    facts.host = host;
    facts.subject = nameText(X509_get_subject_name(certificate));
    facts.issuer = nameText(X509_get_issuer_name(certificate));
    facts.notBefore = timeText(X509_get0_notBefore(certificate));
    facts.notAfter = timeText(X509_get0_notAfter(certificate));
    facts.sha256 = fingerprint(certificate);
    facts.withinValidity = X509_cmp_current_time(X509_get0_notBefore(certificate)) < 0
        && X509_cmp_current_time(X509_get0_notAfter(certificate)) > 0;
    return facts;
}

DWORD TlsCertificateCheck::verify(
    SSL *ssl, const std::string &host, const TlsCertificateQuestion &question)
{
    X509 *certificate = SSL_get1_peer_certificate(ssl);
    if (!certificate)
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    DWORD code = ERROR_SUCCESS;
    if (!matchesHost(certificate, host)) {
        code = ERROR_INTERNET_SEC_CERT_CN_INVALID;
    } else {
        TlsCertificateFacts facts = describe(certificate, host);
        const long result = SSL_get_verify_result(ssl);
        facts.chainTrusted = result == X509_V_OK || isTimeError(result);
        if (!facts.chainTrusted || !facts.withinValidity)
            code = question && question(facts) ? ERROR_SUCCESS : ERROR_INTERNET_INVALID_CA;
    }
    X509_free(certificate);
    return code;
}
