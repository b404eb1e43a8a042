#include "dispatch/InsecureConnectionText.h"

#include "ftp/RemoteProtocol.h"
#include "ftp/WinInet.h"

QString InsecureConnectionText::message(const QString &host, int code)
{
    switch (DWORD(code)) {
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        return QStringLiteral("The certificate of %1 belongs to another host. "
                              "The connection was refused.")
            .arg(host);
    case ERROR_INTERNET_INVALID_CA:
        return QStringLiteral("The certificate of %1 was not trusted. "
                              "The connection was not made.")
            .arg(host);
    case ERROR_SERVER_KEY_REFUSED:
        return QStringLiteral("The host key of %1 was not trusted. "
                              "The connection was not made.")
            .arg(host);
    case ERROR_FTP_TLS_REFUSED:
        return QStringLiteral("The site %1 requires encryption, but the server refused it "
                              "(AUTH TLS). The connection was not made.")
            .arg(host);
    default:
        // ERROR_INTERNET_SECURITY_CHANNEL_ERROR, and any other.
        return QStringLiteral("A secure connection to %1 could not be set up: the encryption "
                              "handshake failed or was dropped.")
            .arg(host);
    }
}
