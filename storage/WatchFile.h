#pragma once

#include "ftp/Win32FindData.h"

#include <QByteArray>
#include <QString>

#include <vector>

// One watched file as the watch file keeps it.
struct WatchRecord {
    QString name; // the remote path
    QString host;
    QString login;
    QString password;
    TWin32FindData entry {};
    // The record's bytes as loaded: a text that has not changed is written
    // back as it was stored (another program's texts need not be UTF-8).
    QByteArray stored {};
};

// The file "myFtpWatches.dat": the 10-byte magic, then one 680-byte record
// per watched file, in list order, with no count.
class WatchFile {
public:
    static constexpr int kRecordSize = 680;
    static constexpr int kNameOffset = 0, kNameSize = 261;
    static constexpr int kHostOffset = 261, kHostSize = 33;
    static constexpr int kLoginOffset = 294, kLoginSize = 33;
    static constexpr int kPasswordOffset = 327, kPasswordSize = 33;
    static constexpr int kEntryOffset = 360;

    static const QString kFileName; // "myFtpWatches.dat"
    static const QString kInvalidMessage; // "Invalid Watch File."
    static const QString kRejectedSuffix; // ".rejected"

    enum class LoadStatus {
        Loaded, // the magic was there (the list may be empty)
        Missing, // no file, or it cannot be opened: nothing to say
        Invalid, // too short or wrong magic: the caller shows kInvalidMessage
    };
    struct LoadResult {
        LoadStatus status = LoadStatus::Missing;
        std::vector<WatchRecord> records;
    };

    // `folder` holds the file; by default the per-user data folder.
    explicit WatchFile(const QString &folder = defaultFolder());

    static QString defaultFolder();
    QString filePath() const;

    // The file's bytes to records. A final record cut short is dropped: its
    // entry would be half zeros and its size a lie.
    static LoadResult parse(const QByteArray &bytes);
    static QByteArray serialize(const std::vector<WatchRecord> &records);
    static QByteArray encodeRecord(const WatchRecord &record);
    static WatchRecord decodeRecord(const char *bytes);

    LoadResult load();
    // Replaces the file as a whole. Throws EFileCreateError; the earlier file
    // then stays as it was. A file rejected at the last load is first kept
    // beside itself with kRejectedSuffix.
    void save(const std::vector<WatchRecord> &records);

private:
    QString folder;
    bool rejectedOnDisk = false;
};
