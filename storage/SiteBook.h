#pragma once

#include "storage/TSiteRecord.h"

#include <QByteArray>
#include <QString>

#include <functional>

// The user's site book: the site list in memory (newest first) and the file
// "myFtpSites.dat", a 10-byte magic followed by one 393-byte record per site.
class SiteBook {
public:
    static constexpr int kRecordSize = 393;
    // Offset and size of each slot of a record.
    static constexpr int kSiteOffset = 0, kSiteSize = 33;
    static constexpr int kDescriptionOffset = 33, kDescriptionSize = 33;
    static constexpr int kLoginOffset = 66, kLoginSize = 33;
    static constexpr int kPasswordOffset = 99, kPasswordSize = 33;
    static constexpr int kDirectoryOffset = 132, kDirectorySize = 261;

    static const QString kFileName; // "myFtpSites.dat"
    static const QString kInvalidMessage; // "Invalid Sites File."
    static const QString kRejectedSuffix; // ".rejected"

    enum class LoadStatus {
        Loaded, // the file was read (it may hold no record)
        Missing, // no file, or it cannot be opened: an empty book, nothing to say
        Invalid, // too short or wrong magic: the caller shows kInvalidMessage
    };
    struct LoadResult {
        LoadStatus status = LoadStatus::Missing;
        int count = 0;
    };
    using RecordVisitor = std::function<void(TSiteRecord &)>;

    // `folder` holds the file; by default the application's per-user data folder.
    explicit SiteBook(const QString &folder = defaultFolder());
    ~SiteBook();
    SiteBook(const SiteBook &) = delete;
    SiteBook &operator=(const SiteBook &) = delete;

    static QString defaultFolder();
    QString filePath() const;

    // Reads the file, inserting each record at the head of the list, and
    // hands each record to `visit` in file order as it is read. The list is
    // not freed first.
    LoadResult LoadSiteBook(const RecordVisitor &visit = {});
    // Rewrites the whole file from the list, skipping deleted records.
    // Throws EFileCreateError; the earlier file then stays as it was. A file
    // rejected at the last load is first kept beside itself with
    // kRejectedSuffix (replacing an older one), so it is never lost.
    void SaveSiteBook() const;
    // First record from the head, not deleted, whose Description matches exactly.
    TSiteRecord *FindSite(const QString &description) const;
    // Releases every record, deleted or not.
    void FreeSiteList();
    // A copy of `fields` at the head of the list.
    TSiteRecord *InsertSite(const TSiteRecord &fields);
    TSiteRecord *head() const { return first; }

    static QByteArray encodeRecord(const TSiteRecord &site);
    // A record of fewer than kRecordSize bytes reads as if zero-filled.
    static TSiteRecord decodeRecord(const QByteArray &bytes);

private:
    QString folder;
    TSiteRecord *first = nullptr;
    mutable bool rejectedOnDisk = false; // the file was rejected and not yet kept
};
