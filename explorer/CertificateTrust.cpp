#include "explorer/CertificateTrust.h"

#include "platform/Prompts.h"
#include "storage/EFileCreateError.h"

const QStringList CertificateTrust::kButtons
    = { QStringLiteral("Trust always"), QStringLiteral("Trust once"), QStringLiteral("Cancel") };

namespace {

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

QDateTime utcTime(const std::string &text)
{
    QString plain = q(text).trimmed();
    plain.remove(QStringLiteral(" UTC"));
    QDateTime time = QDateTime::fromString(plain, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    time.setTimeSpec(Qt::UTC);
    return time;
}

// Why the store does not vouch for it, a line each.
QString reasons(const TlsCertificateFacts &c, const QDateTime &now)
{
    QString why;
    if (!c.chainTrusted)
        why += c.subject == c.issuer ? QStringLiteral("It is self-signed.\r")
                                     : QStringLiteral("Its issuer is not known.\r");
    if (!c.withinValidity) {
        const QDateTime from = utcTime(c.notBefore);
        why += from.isValid() && now < from ? QStringLiteral("It is not valid yet.\r")
                                            : QStringLiteral("It has expired.\r");
    }
    return why;
}

QString subjectAndValidity(const TlsCertificateFacts &c)
{
    return QStringLiteral("Subject: %1\rIssuer: %2\rValid from: %3\rValid to: %4")
        .arg(q(c.subject), q(c.issuer), q(c.notBefore), q(c.notAfter));
}

} // namespace

CertificateTrust::CertificateTrust(const QString &dataFolder) : file(dataFolder) { }

QString CertificateTrust::questionText(const TlsCertificateFacts &c, const QDateTime &now)
{
    return QStringLiteral("The certificate of %1 is not trusted.\r%2\r%3\r"
                          "SHA-256 fingerprint:\r%4\r\rTrust this certificate?")
        .arg(q(c.host), reasons(c, now), subjectAndValidity(c), q(c.sha256));
}

QString CertificateTrust::warningText(
    const TlsCertificateFacts &c, const QStringList &trusted, const QDateTime &now)
{
    return QStringLiteral("WARNING: the certificate of %1 is not the one you trusted before.\r"
                          "This may be an attack: someone may be listening in on the connection. "
                          "Or the site may have a new certificate.\r\r"
                          "Trusted before:\r%2\rOffered now:\r%3\r\r%4\r%5\r\r"
                          "Trust this certificate?")
        .arg(q(c.host), trusted.join(QLatin1Char('\r')), q(c.sha256), reasons(c, now),
            subjectAndValidity(c));
}

bool CertificateTrust::decide(const TlsCertificateFacts &certificate)
{
    // Read each time: another window of the program may have trusted one.
    file.load();
    const QStringList trusted = file.fingerprintsFor(q(certificate.host), certificate.port);
    if (trusted.contains(q(certificate.sha256).toUpper())
        || trustedThisRun.contains(runKey(certificate)))
        return true;
    switch (ask(certificate, trusted)) {
    case TrustAlways:
        trustAlways(certificate);
        return true;
    case TrustOnce:
        // This connection alone: the window's next one asks again.
        trustedOnce.insert(runKey(certificate));
        return true;
    case Cancel:
        break;
    }
    return false;
}

bool CertificateTrust::decideForAnotherConnection(const TlsCertificateFacts &certificate)
{
    return trustedOnce.contains(runKey(certificate)) || decide(certificate);
}

CertificateTrust::Answer CertificateTrust::ask(
    const TlsCertificateFacts &certificate, const QStringList &trusted)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const bool changed = !trusted.isEmpty();
    const QString text
        = changed ? warningText(certificate, trusted, now) : questionText(certificate, now);
    const int chosen = Prompts::current().choose(QStringLiteral("Vrex Explorer"), text, kButtons,
        Cancel, changed ? Prompts::Icon::Warning : Prompts::Icon::Question);
    return chosen == TrustAlways || chosen == TrustOnce ? Answer(chosen) : Cancel;
}

// Trusted for the run whatever happens to the file: the user said yes.
void CertificateTrust::trustAlways(const TlsCertificateFacts &certificate)
{
    trustedThisRun.insert(runKey(certificate));
    try {
        file.trustOnly(siteKey(certificate), q(certificate.sha256));
    } catch (const EFileCreateError &e) {
        Prompts::error(e.message());
    }
}

QString CertificateTrust::siteKey(const TlsCertificateFacts &certificate)
{
    return TrustedCertificates::siteKey(q(certificate.host), certificate.port);
}

QString CertificateTrust::runKey(const TlsCertificateFacts &certificate)
{
    return siteKey(certificate) + QLatin1Char(' ') + q(certificate.sha256).toUpper();
}
