#include "explorer/HostKeyTrust.h"

#include "platform/Prompts.h"
#include "storage/EFileCreateError.h"

const QStringList HostKeyTrust::kButtons
    = { QStringLiteral("Trust always"), QStringLiteral("Trust once"), QStringLiteral("Cancel") };

namespace {

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

QString serverName(const ServerKeyFacts &k)
{
    return k.port == 22 ? q(k.host) : QStringLiteral("%1 (port %2)").arg(q(k.host)).arg(k.port);
}

} // namespace

HostKeyTrust::HostKeyTrust(const QString &dataFolder) : file(dataFolder) { }

QString HostKeyTrust::questionText(const ServerKeyFacts &k)
{
    return QStringLiteral("The host key of %1 is not known.\r\r"
                          "Key type: %2\rFingerprint: %3\r\rTrust this host key?")
        .arg(serverName(k), q(k.keyType), q(k.fingerprint));
}

QString HostKeyTrust::warningText(const ServerKeyFacts &k)
{
    return QStringLiteral("WARNING: the host key of %1 has changed.\r"
                          "This may be an attack: someone may be listening in on the connection. "
                          "Or the server may have a new host key.\r\r"
                          "Known before: %2\rOffered now: %3 %4\r\rTrust this host key?")
        .arg(serverName(k),
            q(k.oldFingerprint.empty() ? std::string("(unreadable)") : k.oldFingerprint),
            q(k.keyType), q(k.fingerprint));
}

namespace {

QString onceKey(const ServerKeyFacts &key)
{
    return QString::fromStdString(key.host) + QLatin1Char(':') + QString::number(key.port)
        + QLatin1Char(' ') + QString::fromStdString(key.fingerprint);
}

} // namespace

ServerKeyAnswer HostKeyTrust::decideForAnotherConnection(const ServerKeyFacts &key)
{
    return trustedOnce.contains(onceKey(key)) ? ServerKeyAnswer::TrustOnce : decide(key);
}

ServerKeyAnswer HostKeyTrust::decide(const ServerKeyFacts &key)
{
    // Read each time: another window of the program may have trusted one.
    if (file.load() == TrustedHostKeys::LoadStatus::Invalid && !damageReported) {
        damageReported = true;
        Prompts::error(TrustedHostKeys::kInvalidMessage);
    }
    const int chosen = Prompts::current().choose(QStringLiteral("Vrex Explorer"),
        key.changed ? warningText(key) : questionText(key), kButtons, 2,
        key.changed ? Prompts::Icon::Warning : Prompts::Icon::Question);
    if (chosen == 1) {
        trustedOnce.insert(onceKey(key));
        return ServerKeyAnswer::TrustOnce;
    }
    if (chosen != 0)
        return ServerKeyAnswer::Refuse;
    try {
        file.trust(QByteArray::fromStdString(key.knownHostsLine));
    } catch (const EFileCreateError &e) {
        Prompts::error(e.message()); // trusted for the run all the same: the user said yes
    }
    return ServerKeyAnswer::TrustAlways;
}

bool HostKeyTrust::askPassphrase(const std::string &keyFile, std::string &passphrase)
{
    QString typed;
    if (!Prompts::current().askText(QStringLiteral("Vrex Explorer"),
            QStringLiteral("Enter the passphrase for the key %1:").arg(q(keyFile)), typed, true))
        return false;
    passphrase = typed.toStdString();
    return true;
}
