#pragma once

#include "ftp/Win32FindData.h"

#include <QDate>
#include <QHash>
#include <QSet>
#include <QString>

#include <vector>

// Whether the site holds a newer copy of a watched file: the last-write
// times compared to the second as calendar fields, the site's date first
// moved back a year when a listing without a year put it in the future.
// The size and everything else play no part.
namespace NewerFile {

bool siteCopyIsNewer(
    const TWin32FindData &stored, const TWin32FindData &found, const QDate &todayUtc);

} // namespace NewerFile

// The folders a run of newer checks lists once. A folder of a site that
// holds two or more of the files to check is listed when the first of them
// is checked, and that listing answers for the rest. Whatever the listing
// cannot answer exactly as a file's own lookup would is looked up alone:
// a name it lacks, shows twice, or shows as a folder or a link; a name that
// a lookup reads as a pattern; a folder whose listing failed.
class NewerFolders {
public:
    struct File {
        QString host, login, path;
    };
    enum class Way { Alone, ListFolder, FromListing };

    // The files a run will check; adds to what earlier runs left.
    void plan(const std::vector<File> &files);
    Way wayFor(const File &file) const;
    // The listing to ask for: the file's folder, with a trailing "/".
    static QString folderListing(const QString &path);

    void beginListing(const File &file);
    void addEntry(const TWin32FindData &entry);
    // An incomplete listing answers for none of its folder's files.
    void endListing(bool complete);
    // The same for one of several listings that run at once, named by a
    // file of their folder.
    void addEntry(const File &file, const TWin32FindData &entry);
    void endListing(const File &file, bool complete);
    bool isBeingListed(const File &file) const { return listings.contains(keyOf(file)); }
    // The listing's entry for the file; null: look it up alone.
    const TWin32FindData *entryFor(const File &file) const;
    // The file's check has its answer: it leaves the plan, and its folder's
    // listing goes with the last of them.
    void checked(const File &file);
    // Listings are kept for one run of the queue: a later run lists again.
    void forgetListings();

private:
    struct Folder {
        QSet<QString> names; // still to check
        bool listed = false;
        bool complete = false;
        QHash<QString, TWin32FindData> files;
        QSet<QString> unusable; // shown twice, or not as a plain file
    };
    static QString keyOf(const File &file);
    void addEntry(const QString &key, const TWin32FindData &entry);
    void endListing(const QString &key, bool complete);
    static bool needsOwnLookup(const QString &path);

    QHash<QString, Folder> folders;
    QString listing; // key of the folder being listed
    QSet<QString> listings; // keys of every folder being listed
};
