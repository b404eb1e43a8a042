#pragma once

#include "storage/DataFile.h"

#include <QJsonObject>
#include <QMap>
#include <QString>

// How a site's connections are protected. The FTP layer has its own enum;
// the caller maps one to the other.
enum class SiteSecurity { Plain, RequireTls, TlsIfOffered };

// What a site has beyond its record in the site book.
struct SiteOptions {
    SiteSecurity security = SiteSecurity::Plain;
    // Minutes east of UTC of the clock the server lists LIST times in.
    int timeZoneMinutes = 0;
    // SFTP instead of FTP ("protocol": "sftp"); security then does not apply.
    bool sftp = false;

    bool operator==(const SiteOptions &o) const
    {
        return security == o.security && timeZoneMinutes == o.timeZoneMinutes && sftp == o.sftp;
    }
    bool operator!=(const SiteOptions &o) const { return !(*this == o); }
};

// The file "mySiteOptions.json" beside the site book: per site, keyed by its
// description, the options the fixed site record has no room for. A site
// without an entry, a missing file and a damaged one all mean the defaults
// (plain FTP, UTC), so a site book from before keeps working as it did.
// Keys this version does not know are kept as they were.
class SiteOptionsFile {
public:
    static const QString kFileName; // "mySiteOptions.json"
    static const QString kInvalidMessage; // "Invalid Site Options File."
    static const QString kRejectedSuffix; // ".rejected"
    static constexpr int kMinMinutes = -12 * 60, kMaxMinutes = 14 * 60;

    enum class LoadStatus { Loaded, Missing, Invalid };

    // `folder` holds the file; by default the per-user data folder.
    explicit SiteOptionsFile(const QString &folder = defaultFolder());

    static QString defaultFolder();
    QString filePath() const;

    // Replaces what is in memory with the file's content; a damaged file
    // leaves nothing in memory and is kept aside at the next save.
    LoadStatus load();
    // Throws EFileCreateError; the earlier file then stays as it was.
    void save();

    bool contains(const QString &description) const { return sites.contains(description); }
    SiteOptions optionsOf(const QString &description) const;
    void set(const QString &description, const SiteOptions &options);
    // The entry follows the site's new description (replacing one there).
    void rename(const QString &from, const QString &to);
    void remove(const QString &description);

    static QString keywordOf(SiteSecurity security);

private:
    DataFile file;
    QJsonObject root;
    QMap<QString, QJsonObject> sites;
};
