#include "storage/TrustedHostKeys.h"

#include "storage/DataFileSave.h"

#include <QRegularExpression>

const QString TrustedHostKeys::kFileName = QStringLiteral("myTrustedHostKeys.dat");
const QString TrustedHostKeys::kRejectedSuffix = QStringLiteral(".rejected");
const QString TrustedHostKeys::kInvalidMessage = QStringLiteral("Invalid Trusted Host Keys File.");
const QByteArray TrustedHostKeys::kHeader("# Vrex trusted host keys 1");

namespace {

bool isKeyLine(const QByteArray &line)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\[[^\\]\\s]+\\]:[0-9]{1,5}|[^\\s\\[#]+) "
                       "(ssh-ed25519|ssh-rsa|ecdsa-sha2-nistp(256|384|521)) "
                       "[A-Za-z0-9+/]+={0,2}$"));
    return form.match(QString::fromUtf8(line)).hasMatch();
}

QByteArray nameOf(const QByteArray &line)
{
    return line.left(line.indexOf(' '));
}

} // namespace

TrustedHostKeys::TrustedHostKeys(const QString &dataFolder) : file(dataFolder, kFileName) { }

QString TrustedHostKeys::defaultFolder()
{
    return DataFileSave::defaultFolder();
}

QString TrustedHostKeys::filePath() const
{
    return file.path();
}

std::optional<QList<QByteArray>> TrustedHostKeys::parse(const QByteArray &bytes)
{
    const QList<QByteArray> all = bytes.split('\n');
    if (all.first().trimmed() != kHeader)
        return std::nullopt;
    QList<QByteArray> keys;
    for (qsizetype i = 1; i < all.size(); ++i) {
        const QByteArray line = all[i].trimmed();
        if (line.isEmpty())
            continue;
        if (!isKeyLine(line))
            return std::nullopt;
        keys << line;
    }
    return keys;
}

TrustedHostKeys::LoadStatus TrustedHostKeys::load()
{
    lines.clear();
    const std::optional<QByteArray> bytes = file.read();
    if (!bytes)
        return LoadStatus::Missing;
    const std::optional<QList<QByteArray>> read = parse(*bytes);
    if (!read) {
        file.reject();
        return LoadStatus::Invalid;
    }
    lines = *read;
    return LoadStatus::Loaded;
}

bool TrustedHostKeys::trust(const QByteArray &line)
{
    if (!isKeyLine(line))
        return false;
    QList<QByteArray> kept;
    for (const QByteArray &old : lines)
        if (nameOf(old) != nameOf(line))
            kept << old;
    kept << line;
    QByteArray bytes = kHeader + '\n';
    for (const QByteArray &l : kept)
        bytes += l + '\n';
    file.save(bytes);
    lines = kept;
    return true;
}
