#pragma once

#include "storage/DataFile.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// The file "myTrustedCertificates.dat": the certificates the user chose to
// trust always, as SHA-256 fingerprints per service ("host:port", siteKey()).
// Text, one "service fingerprint" pair a line under a first line naming the
// format; a service may have several. Files written before ports were kept
// name the host alone. Keys are kept in lower case, fingerprints as
// "AB:CD:..." in upper case.
class TrustedCertificates {
public:
    using Map = QMap<QString, QStringList>; // service (or host) to fingerprints

    static const QString kFileName; // "myTrustedCertificates.dat"
    static const QString kRejectedSuffix; // ".rejected"
    static const QByteArray kHeader;

    // `folder` holds the file; by default the per-user data folder.
    explicit TrustedCertificates(const QString &folder = defaultFolder());

    static QString defaultFolder();
    QString filePath() const;

    // Nothing when the bytes are not such a file, or any line is damaged.
    static std::optional<Map> parse(const QByteArray &bytes);
    static QByteArray serialize(const Map &hosts);

    // A missing or damaged file reads as empty; a damaged one is kept aside
    // at the next save.
    void load();
    // "host:port", "[v6]:port": where a certificate is trusted.
    static QString siteKey(const QString &host, quint16 port);
    // The fingerprints trusted for the service; an entry of the host alone
    // holds for each of its ports that has no entry of its own.
    QStringList fingerprintsFor(const QString &host, quint16 port) const;

    bool knowsHost(const QString &host) const;
    bool isTrusted(const QString &host, const QString &sha256) const;
    QStringList fingerprints(const QString &host) const;
    // The host's certificate from now on is this one alone: a certificate
    // the host replaced is not trusted any more. Saves at once; throws
    // EFileCreateError, and the file then stays as it was. False, and nothing
    // kept, for a host or fingerprint the file cannot hold.
    bool trustOnly(const QString &host, const QString &sha256);

private:
    DataFile file;
    Map hosts;
};
