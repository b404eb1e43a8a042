#pragma once

#include "ftp/FtpThread.h"
#include "ftp/RemoteProtocol.h"
#include "ftp/TlsCertificateFacts.h"
#include "ftp/WinInet.h"
#include "ftp/WinInetTls.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class TWinInetFTP;
struct TWinInetOutcome;

// Opens the Internet session and the FTP connection, then raises OnConnect.
class TFTPConnect : public FtpThread {
    Q_OBJECT
public:
    TFTPConnect(TWinInetFTP *ftp, const QString &agent, const QString &site, const QString &login,
        const QString &password);

    // Who answers the certificate and host-key questions of this connection,
    // for as long as the connection may ask (a reconnect too).
    void installQuestions(TlsCertificateQuestion ask, ServerKeyQuestion askKey,
        KeyPassphraseQuestion askPassphrase = {})
    {
        question = std::move(ask);
        hostKeyQuestion = std::move(askKey);
        passphraseQuestion = std::move(askPassphrase);
    }

protected:
    void Execute() override;

private:
    void report(int32_t code);
    void login(HINTERNET session, TWinInetOutcome &outcome);
    QString encryptionOf(HINTERNET connection) const;

    TWinInetFTP *ftp;
    int32_t statusCode = 0;
    HINTERNET connection = nullptr;
    QByteArray agent, site, user, password;
    int timeZoneMinutes = 0;
    DWORD securityFlags = 0;
    QString encryption;
    TlsCertificateQuestion question;
    ServerKeyQuestion hostKeyQuestion;
    KeyPassphraseQuestion passphraseQuestion;
    bool dataEncrypted = false;
    int refusalCode = 0;
    QStringList refusal;
};
