#include "storage/TrustedCertificates.h"

#include "storage/DataFileSave.h"

#include <QRegularExpression>

const QString TrustedCertificates::kFileName = QStringLiteral("myTrustedCertificates.dat");
const QString TrustedCertificates::kRejectedSuffix = QStringLiteral(".rejected");
const QByteArray TrustedCertificates::kHeader("Vrex trusted certificates 1");

namespace {

QString hostKey(const QString &host)
{
    return host.trimmed().toLower();
}

QString fingerprintKey(const QString &sha256)
{
    return sha256.trimmed().toUpper();
}

bool isFingerprint(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9A-F]{2}(:[0-9A-F]{2}){31}$"));
    return form.match(text).hasMatch();
}

} // namespace

TrustedCertificates::TrustedCertificates(const QString &dataFolder)
    : file(dataFolder, kFileName) { }

QString TrustedCertificates::defaultFolder()
{
    return DataFileSave::defaultFolder();
}

QString TrustedCertificates::filePath() const
{
    return file.path();
}

std::optional<TrustedCertificates::Map> TrustedCertificates::parse(const QByteArray &bytes)
{
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.first().trimmed() != kHeader)
        return std::nullopt;
    Map hosts;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() != 2 || !isFingerprint(fingerprintKey(fields[1])))
            return std::nullopt;
        QStringList &known = hosts[hostKey(fields[0])];
        if (!known.contains(fingerprintKey(fields[1])))
            known << fingerprintKey(fields[1]);
    }
    return hosts;
}

QByteArray TrustedCertificates::serialize(const Map &hosts)
{
    QByteArray bytes = kHeader + '\n';
    for (auto it = hosts.cbegin(); it != hosts.cend(); ++it)
        for (const QString &sha256 : it.value())
            bytes += it.key().toUtf8() + ' ' + sha256.toUtf8() + '\n';
    return bytes;
}

void TrustedCertificates::load()
{
    hosts.clear();
    const std::optional<QByteArray> bytes = file.read();
    if (!bytes)
        return;
    const std::optional<Map> read = parse(*bytes);
    if (read)
        hosts = *read;
    else
        file.reject();
}

QString TrustedCertificates::siteKey(const QString &host, quint16 port)
{
    const QString name
        = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return hostKey(name + QLatin1Char(':') + QString::number(port));
}

QStringList TrustedCertificates::fingerprintsFor(const QString &host, quint16 port) const
{
    const QStringList own = fingerprints(siteKey(host, port));
    return own.isEmpty() ? fingerprints(host) : own;
}

bool TrustedCertificates::knowsHost(const QString &host) const
{
    return hosts.contains(hostKey(host));
}

bool TrustedCertificates::isTrusted(const QString &host, const QString &sha256) const
{
    return fingerprints(host).contains(fingerprintKey(sha256));
}

QStringList TrustedCertificates::fingerprints(const QString &host) const
{
    return hosts.value(hostKey(host));
}

bool TrustedCertificates::trustOnly(const QString &host, const QString &sha256)
{
    const QString key = hostKey(host);
    if (key.isEmpty() || key.contains(QRegularExpression(QStringLiteral("\\s")))
        || !isFingerprint(fingerprintKey(sha256)))
        return false;
    Map changed = hosts;
    changed[key] = QStringList { fingerprintKey(sha256) };
    file.save(serialize(changed));
    hosts = changed;
    return true;
}
