#include "storage/SiteOptionsFile.h"

#include "storage/DataFileSave.h"

#include <QJsonDocument>

const QString SiteOptionsFile::kFileName = QStringLiteral("mySiteOptions.json");
const QString SiteOptionsFile::kInvalidMessage = QStringLiteral("Invalid Site Options File.");
const QString SiteOptionsFile::kRejectedSuffix = QStringLiteral(".rejected");

namespace {

const QString kSites = QStringLiteral("sites");
const QString kSecurity = QStringLiteral("security");
const QString kProtocol = QStringLiteral("protocol");
const QString kTimeZone = QStringLiteral("timeZoneMinutes");

struct Keyword {
    SiteSecurity security;
    const char *text;
};
// Stable words on disk, whatever the dialog calls the choices.
constexpr Keyword kKeywords[] = {
    { SiteSecurity::Plain, "plain" },
    { SiteSecurity::RequireTls, "require-tls" },
    { SiteSecurity::TlsIfOffered, "tls-if-offered" },
};

SiteSecurity securityOf(const QString &keyword)
{
    for (const Keyword &k : kKeywords)
        if (keyword == QLatin1String(k.text))
            return k.security;
    return SiteSecurity::Plain;
}

} // namespace

SiteOptionsFile::SiteOptionsFile(const QString &dataFolder) : file(dataFolder, kFileName) { }

QString SiteOptionsFile::defaultFolder()
{
    return DataFileSave::defaultFolder();
}

QString SiteOptionsFile::filePath() const
{
    return file.path();
}

QString SiteOptionsFile::keywordOf(SiteSecurity security)
{
    for (const Keyword &k : kKeywords)
        if (k.security == security)
            return QLatin1String(k.text);
    return QStringLiteral("plain");
}

SiteOptionsFile::LoadStatus SiteOptionsFile::load()
{
    root = {};
    sites.clear();
    const std::optional<QByteArray> bytes = file.read();
    if (!bytes)
        return LoadStatus::Missing;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes);
    if (!document.isObject() || !document.object().value(kSites).isObject()) {
        file.reject();
        return LoadStatus::Invalid;
    }
    root = document.object();
    const QJsonObject all = root.value(kSites).toObject();
    for (auto it = all.begin(); it != all.end(); ++it)
        if (it.value().isObject())
            sites.insert(it.key(), it.value().toObject());
    return LoadStatus::Loaded;
}

void SiteOptionsFile::save()
{
    QJsonObject all;
    for (auto it = sites.cbegin(); it != sites.cend(); ++it)
        all.insert(it.key(), it.value());
    root.insert(kSites, all);
    file.save(QJsonDocument(root).toJson(QJsonDocument::Indented));
}

SiteOptions SiteOptionsFile::optionsOf(const QString &description) const
{
    SiteOptions options;
    const auto it = sites.constFind(description);
    if (it == sites.cend())
        return options;
    options.security = securityOf(it->value(kSecurity).toString());
    options.sftp = it->value(kProtocol).toString() == QLatin1String("sftp");
    const int minutes = it->value(kTimeZone).toInt(0);
    if (minutes >= kMinMinutes && minutes <= kMaxMinutes)
        options.timeZoneMinutes = minutes;
    return options;
}

void SiteOptionsFile::set(const QString &description, const SiteOptions &options)
{
    QJsonObject &entry = sites[description];
    entry.insert(kSecurity, keywordOf(options.security));
    entry.insert(kTimeZone, options.timeZoneMinutes);
    if (options.sftp)
        entry.insert(kProtocol, QStringLiteral("sftp"));
    else
        entry.remove(kProtocol); // FTP, as for a site from before
}

void SiteOptionsFile::rename(const QString &from, const QString &to)
{
    if (from == to || !sites.contains(from))
        return;
    sites.insert(to, sites.take(from));
}

void SiteOptionsFile::remove(const QString &description)
{
    sites.remove(description);
}
