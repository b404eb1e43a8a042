#pragma once

#include "storage/DataFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The file "myTrustedHostKeys.dat": the SFTP servers' host keys the user
// chose to trust always, one known_hosts line each ("[host]:port type
// base64", or "host type base64" on port 22) under a first comment line that
// names the format, so SSH libraries read it as a known_hosts file.
class TrustedHostKeys {
public:
    static const QString kFileName; // "myTrustedHostKeys.dat"
    static const QString kRejectedSuffix; // ".rejected"
    static const QString kInvalidMessage; // "Invalid Trusted Host Keys File."
    static const QByteArray kHeader;

    // `folder` holds the file; by default the per-user data folder.
    explicit TrustedHostKeys(const QString &folder = defaultFolder());

    static QString defaultFolder();
    QString filePath() const;

    // Nothing when the bytes are not such a file, or any line is damaged.
    static std::optional<QList<QByteArray>> parse(const QByteArray &bytes);

    enum class LoadStatus { Loaded, Missing, Invalid };
    // A damaged file reads as empty and is kept aside at the next save.
    LoadStatus load();
    // The server's key from now on is this one (a line it replaces goes).
    // Saves at once, whole and private; throws EFileCreateError, and the file
    // then stays as it was. False for a line that is not a key line.
    bool trust(const QByteArray &line);

private:
    DataFile file;
    QList<QByteArray> lines;
};
