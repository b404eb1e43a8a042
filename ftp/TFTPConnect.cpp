#include "ftp/TFTPConnect.h"

#include "ftp/ResponseCapture.h"
#include "ftp/WinInetFTP.h"
#include "ftp/WinInetTls.h"

namespace {

DWORD flagsFor(TFtpSecurity security)
{
    switch (security) {
    case TFtpSecurity::RequireTls:
        return INTERNET_FLAG_SECURE;
    case TFtpSecurity::TlsIfOffered:
        return INTERNET_FLAG_TLS_IF_OFFERED;
    case TFtpSecurity::Plain:
        break;
    }
    return 0;
}

bool isSecurityFailure(DWORD code)
{
    return code == ERROR_INTERNET_SEC_CERT_CN_INVALID || code == ERROR_INTERNET_INVALID_CA
        || code == ERROR_INTERNET_SECURITY_CHANNEL_ERROR || code == ERROR_FTP_TLS_REFUSED
        || code == ERROR_SERVER_KEY_REFUSED;
}

} // namespace

TFTPConnect::TFTPConnect(TWinInetFTP *ftp, const QString &agent, const QString &site,
    const QString &login, const QString &password)
    : ftp(ftp), agent(agent.toUtf8()), site(site.toUtf8()), user(login.toUtf8()),
      password(password.toUtf8()), timeZoneMinutes(ftp->TimeZoneOffsetMinutes),
      securityFlags(ftp->Sftp ? INTERNET_FLAG_SFTP : flagsFor(ftp->Security))
{
}

QString TFTPConnect::encryptionOf(HINTERNET handle) const
{
    char text[64] = {};
    DWORD length = sizeof text;
    if (!InternetQueryOptionA(handle, INTERNET_OPTION_TLS_PROTOCOL, text, &length))
        return QString();
    return QString::fromUtf8(text, int(length));
}

void TFTPConnect::report(int32_t code)
{
    statusCode = code;
    ftp->reportStatus(this, code);
}

void TFTPConnect::login(HINTERNET session, TWinInetOutcome &outcome)
{
    report(1);
    // The user is asked on the user-interface thread while the asking worker
    // waits; a cancel before or during the question refuses the certificate.
    InternetSetCertificateQuestion(session, question);
    InternetSetServerKeyQuestion(session, hostKeyQuestion);
    InternetSetKeyPassphraseQuestion(session, passphraseQuestion);
    connection
        = InternetConnectA(session, site.constData(), INTERNET_DEFAULT_FTP_PORT, user.constData(),
            password.constData(), INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE | securityFlags, 1);
    const DWORD code = GetLastError();
    if (connection)
        ftp->hConnection.store(connection);
    if (Terminated()) {
        outcome.error = errTerminated;
        statusCode = 99;
        return;
    }
    outcome.codeSet = true;
    outcome.code = int32_t(code);
    if (connection) {
        ResponseCapture reply = ResponseCapture::take();
        outcome.clearLogon = reply.gotText;
        outcome.replyLines = reply.lines;
        InternetSetStatusCallback(connection, &TWinInetFTP::statusCallback);
        DWORD minutes = DWORD(timeZoneMinutes);
        InternetSetOptionA(connection, INTERNET_OPTION_LIST_TIME_ZONE, &minutes, sizeof minutes);
        encryption = encryptionOf(connection);
        DWORD protectedData = 0, size = sizeof protectedData;
        dataEncrypted = InternetQueryOptionA(
                            connection, INTERNET_OPTION_TLS_DATA_PROTECTED, &protectedData, &size)
            && protectedData == 1;
        statusCode = 2;
        outcome.error = errNone;
        return;
    }
    // Kept apart from the logon message: a caller that makes several
    // connections tells a server's connection limit from a wrong password.
    const ResponseCapture reply = ResponseCapture::take();
    refusalCode = reply.replyCode;
    refusal = reply.lines;
    if (code == ERROR_INTERNET_INCORRECT_USER_NAME || code == ERROR_INTERNET_INCORRECT_PASSWORD)
        outcome.error = errBadLogin;
    else if (isSecurityFailure(code))
        outcome.error = errInsecure;
    else if (code == ERROR_INTERNET_TIMEOUT)
        outcome.error = errSiteNotFound;
    else
        outcome.error = errUnknown;
    statusCode = 99;
}

void TFTPConnect::Execute()
{
    TWinInetOutcome outcome;
    report(0);
    HINTERNET session = InternetOpenA(agent.constData(), INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
    ftp->hSession.store(session);
    if (Terminated()) {
        outcome.error = errTerminated;
        statusCode = 99;
    } else if (!session) {
        outcome.error = errWinInetError;
        statusCode = 99;
    } else {
        login(session, outcome);
    }
    if (Terminated()) {
        // Cancel may already have closed the session; whoever takes a
        // handle out of its field closes it, so each is closed once.
        ftp->closeHandle(ftp->hConnection);
        ftp->closeHandle(ftp->hSession);
        session = connection = nullptr;
        outcome.error = errTerminated;
        statusCode = 99;
    }
    ftp->reportStatus(this, statusCode);
    ftp->busy[TWinInetFTP::kConnect].store(false);
    ftp->complete(this, outcome, [this, session] {
        // Replaced by a newer Connect: its handles are being closed.
        const bool replaced = ftp->EventIsStale();
        if (!replaced) {
            ftp->encryption = encryption;
            ftp->dataEncrypted = dataEncrypted;
            ftp->refusalCode = refusalCode;
            ftp->refusal = refusal;
        }
        if (ftp->OnConnect)
            ftp->OnConnect(ftp, replaced ? nullptr : session, replaced ? nullptr : connection);
    });
}
