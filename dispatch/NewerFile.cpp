#include "dispatch/NewerFile.h"

#include "explorer/RowTexts.h"
#include "ftp/FileTime.h"

namespace {

struct Stamp {
    int date; // year × 10000 + month × 100 + day
    int time; // hour × 10000 + minute × 100 + second
};

Stamp stampOf(const TWin32FindData &entry)
{
    const TSystemTime st = FileTime::toSystemTime(entry.ftLastWriteTime);
    return { st.year * 10000 + st.month * 100 + st.day,
        st.hour * 10000 + st.minute * 100 + st.second };
}

QString baseOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

namespace NewerFile {

bool siteCopyIsNewer(
    const TWin32FindData &stored, const TWin32FindData &found, const QDate &todayUtc)
{
    TWin32FindData site = found;
    RowTexts::correctFutureDate(site, todayUtc);
    const Stamp mine = stampOf(stored);
    const Stamp theirs = stampOf(site);
    return theirs.date > mine.date || (theirs.date == mine.date && theirs.time > mine.time);
}

} // namespace NewerFile

QString NewerFolders::keyOf(const File &file)
{
    const QString folder = file.path.left(file.path.lastIndexOf(QLatin1Char('/')));
    return file.host + QLatin1Char('\n') + file.login + QLatin1Char('\n') + folder;
}

// A lookup of such a name is not a lookup of that one file: "*" and "?"
// match others, braces are patterns to some servers, a leading "-" reads
// as an option and dot-names never count as found.
bool NewerFolders::needsOwnLookup(const QString &path)
{
    const QString base = baseOf(path);
    return !path.contains(QLatin1Char('/')) || base.isEmpty() || base.startsWith(QLatin1Char('.'))
        || base.startsWith(QLatin1Char('-')) || base.contains(QLatin1Char('*'))
        || base.contains(QLatin1Char('?')) || base.contains(QLatin1Char('{'))
        || base.contains(QLatin1Char('}'));
}

QString NewerFolders::folderListing(const QString &path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/'))) + QLatin1Char('/');
}

void NewerFolders::plan(const std::vector<File> &files)
{
    for (const File &file : files)
        if (!needsOwnLookup(file.path))
            folders[keyOf(file)].names.insert(baseOf(file.path));
}

NewerFolders::Way NewerFolders::wayFor(const File &file) const
{
    const auto folder = folders.constFind(keyOf(file));
    if (needsOwnLookup(file.path) || folder == folders.cend()
        || !folder->names.contains(baseOf(file.path)))
        return Way::Alone;
    if (folder->listed)
        return Way::FromListing;
    return folder->names.size() >= 2 ? Way::ListFolder : Way::Alone;
}

void NewerFolders::beginListing(const File &file)
{
    listing = keyOf(file);
    listings.insert(listing);
    Folder &folder = folders[listing];
    folder.files.clear();
    folder.unusable.clear();
    folder.listed = false;
}

void NewerFolders::addEntry(const TWin32FindData &entry)
{
    addEntry(listing, entry);
}

void NewerFolders::addEntry(const File &file, const TWin32FindData &entry)
{
    addEntry(keyOf(file), entry);
}

void NewerFolders::endListing(const File &file, bool complete)
{
    endListing(keyOf(file), complete);
}

void NewerFolders::endListing(bool complete)
{
    endListing(listing, complete);
    listing.clear();
}

void NewerFolders::addEntry(const QString &key, const TWin32FindData &entry)
{
    const auto folder = folders.find(key);
    if (folder == folders.end())
        return;
    const QString name = QString::fromUtf8(
        entry.cFileName, int(qstrnlen(entry.cFileName, sizeof entry.cFileName)));
    // Only the files to check are kept: a folder may hold very many more.
    if (!folder->names.contains(name))
        return;
    if (isDirectory(entry) || isUnresolvedLink(entry) || folder->files.contains(name)) {
        folder->files.remove(name);
        folder->unusable.insert(name);
    } else if (!folder->unusable.contains(name)) {
        folder->files.insert(name, entry);
    }
}

void NewerFolders::endListing(const QString &key, bool complete)
{
    listings.remove(key);
    const auto folder = folders.find(key);
    if (folder == folders.end())
        return;
    folder->listed = true;
    folder->complete = complete;
    if (!complete)
        folder->files.clear();
}

const TWin32FindData *NewerFolders::entryFor(const File &file) const
{
    const auto folder = folders.constFind(keyOf(file));
    if (folder == folders.cend() || !folder->listed || !folder->complete
        || needsOwnLookup(file.path))
        return nullptr;
    const auto entry = folder->files.constFind(baseOf(file.path));
    return entry == folder->files.cend() ? nullptr : &*entry;
}

void NewerFolders::checked(const File &file)
{
    const auto folder = folders.find(keyOf(file));
    if (folder == folders.end())
        return;
    folder->names.remove(baseOf(file.path));
    if (folder->names.isEmpty())
        folders.erase(folder);
}

void NewerFolders::forgetListings()
{
    listing.clear();
    listings.clear();
    for (Folder &folder : folders) {
        folder.listed = false;
        folder.complete = false;
        folder.files.clear();
        folder.unusable.clear();
    }
}
