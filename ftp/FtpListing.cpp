#include "ftp/FtpListing.h"

#include "ftp/FileTime.h"
#include "ftp/FtpConnection.h"
#include "ftp/ListingParser.h"

#include <cstring>
#include <memory>
#include <string_view>

namespace FtpListing {

ListedEntry ListedEntry::of(const TWin32FindData &r)
{
    return { r.dwFileAttributes, fileSize(r), r.ftCreationTime, r.ftLastAccessTime,
        r.ftLastWriteTime, std::string(r.cFileName, strnlen(r.cFileName, sizeof r.cFileName)) };
}

TWin32FindData ListedEntry::record() const
{
    TWin32FindData r;
    std::memset(&r, 0, sizeof r);
    r.dwFileAttributes = attributes;
    r.ftCreationTime = created;
    r.ftLastAccessTime = accessed;
    r.ftLastWriteTime = written;
    setFileSize(r, size);
    std::memcpy(r.cFileName, name.data(), std::min(name.size(), sizeof r.cFileName - 1));
    return r;
}

namespace {

std::string baseName(const std::string &path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "[" and "]" are ordinary characters: names like "report[1].txt" exist,
// and a server that globs them would not find the file itself.
bool hasWildcard(const std::string &s)
{
    return s.find_first_of("*?") != std::string::npos;
}

bool namesOneThing(const std::string &search)
{
    return !search.empty() && !hasWildcard(search) && search.back() != '/' && search != "."
        && search != ".." && baseName(search) != "." && baseName(search) != "..";
}

void rename(TWin32FindData &entry, const std::string &name)
{
    std::memset(entry.cFileName, 0, sizeof entry.cFileName);
    std::memcpy(entry.cFileName, name.data(), std::min(name.size(), sizeof entry.cFileName - 1));
}

// LIST times are the server's wall clock; the entries carry UTC.
void shiftToUtc(TFileTime &time, int minutesEast)
{
    const int64_t shift = int64_t(minutesEast) * 60 * 10'000'000;
    const uint64_t ticks = FileTime::toTicks(time);
    if (ticks == 0 || int64_t(ticks) < shift)
        return; // no time at all, or none before 1601 to go to
    time = FileTime::fromTicks(uint64_t(int64_t(ticks) - shift));
}

void shiftToUtc(std::vector<TWin32FindData> &entries, int minutesEast)
{
    for (TWin32FindData &e : entries)
        if (minutesEast != 0)
            shiftToUtc(e.ftLastWriteTime, minutesEast);
}

void shiftToUtc(ListedEntries &entries, int minutesEast)
{
    for (ListedEntry &e : entries)
        if (minutesEast != 0)
            shiftToUtc(e.written, minutesEast);
}

// No entry's line is longer; a single file's listing is never longer than
// kLookupBytes.
constexpr size_t kMaxLineBytes = 64 * 1024;
constexpr size_t kLookupBytes = 64 * 1024;
constexpr size_t kChunk = 64 * 1024;

// A listing parsed as it arrives: only an unfinished line is held, besides
// the first kLookupBytes for the single-file lookup.
struct Feed {
    bool mlsd = false;
    ListedEntries &entries;
    std::string pending;
    std::string head;
    size_t total = 0;
};

// Takes the complete lines held (all of them at the end); false past a bound.
bool consume(Feed &f, bool atEnd)
{
    const size_t cut = atEnd ? f.pending.size() : f.pending.rfind('\n') + 1; // npos + 1 is 0
    if (cut > 0) {
        const std::string_view lines(f.pending.data(), cut);
        const std::vector<TWin32FindData> more
            = f.mlsd ? ListingParser::parseMlsd(lines) : ListingParser::parseList(lines);
        if (f.entries.size() + more.size() > kMaxListingEntries)
            return false;
        for (const TWin32FindData &e : more)
            f.entries.push_back(ListedEntry::of(e));
        f.pending.erase(0, cut);
    }
    return f.pending.size() <= kMaxLineBytes;
}

DWORD receiveInto(FtpConnection &c, TcpSocket &data, Feed &feed)
{
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[kChunk]);
    if (!chunk)
        return ERROR_NOT_ENOUGH_MEMORY;
    for (;;) {
        size_t got = 0;
        const DWORD code = data.receive(
            chunk.get(), kChunk, got, Deadline(c.timeouts().dataMs), c.cancelToken());
        if (code != ERROR_SUCCESS)
            return code;
        if (got == 0)
            return consume(feed, true) ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
        feed.total += got;
        if (feed.head.size() < kLookupBytes)
            feed.head.append(chunk.get(), std::min(got, kLookupBytes - feed.head.size()));
        feed.pending.append(chunk.get(), got);
        if (feed.total > kMaxListingBytes || !consume(feed, false))
            return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// Reads the data connection to its end, then the transfer's final reply.
DWORD readListing(FtpConnection &c, TcpSocket &data, bool finalReceived, Feed &feed)
{
    const DWORD code = receiveInto(c, data, feed);
    if (code != ERROR_SUCCESS) {
        data.abortiveClose();
        if (!finalReceived)
            c.control().abandonTransfer(code);
        return code;
    }
    data.close();
    return finalReceived ? ERROR_SUCCESS : c.endTransfer(c.cancelToken());
}

DWORD fetchListing(FtpConnection &c, const std::string &command, Feed &feed)
{
    TcpSocket data;
    bool finalReceived = false;
    const DWORD code = c.beginTransfer(command, data, finalReceived, c.cancelToken());
    if (code != ERROR_SUCCESS)
        return code;
    return readListing(c, data, finalReceived, feed);
}

DWORD runListing(FtpConnection &c, const std::string &command, bool mlsd, ListedEntries &entries)
{
    Feed feed { mlsd, entries, {}, {}, 0 };
    const DWORD code = fetchListing(c, command, feed);
    if (code != ERROR_SUCCESS)
        return code;
    if (!mlsd)
        shiftToUtc(entries, c.listTimeZoneMinutes.load());
    return ERROR_SUCCESS;
}

// MLST: isFile with the entry filled, or not (a directory, or no facts: list
// it); 12003 when the path does not exist.
DWORD mlst(FtpConnection &c, const std::string &path, TWin32FindData &entry, bool &isFile)
{
    FtpReply reply;
    DWORD code
        = c.control().command("MLST " + path, reply, c.timeouts().receiveMs, c.cancelToken());
    if (code != ERROR_SUCCESS)
        return code;
    if (reply.code == 550 || reply.closing())
        return ERROR_INTERNET_EXTENDED_ERROR; // no such file or directory
    isFile = false;
    if (!reply.positive())
        return ERROR_SUCCESS; // MLST refused for this path: list it and see
    size_t pos = 0;
    while ((pos = reply.text.find("\r\n ", pos)) != std::string::npos) {
        pos += 3;
        const size_t end = reply.text.find("\r\n", pos);
        const std::string line = reply.text.substr(pos, end - pos);
        if (ListingParser::parseMlsdLine(line, entry, ListingParser::NameRule::BaseNames)) {
            isFile = !isDirectory(entry);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_SUCCESS; // no fact line: list it and see
}

// A file listed by LIST: the entry whose name is the base name (a server may
// echo the whole path); the only entry if none is.
bool pickFile(std::vector<TWin32FindData> &entries, const std::string &base, bool sure)
{
    if (!sure && entries.size() != 1)
        return false; // a directory's listing, whatever names it holds
    for (TWin32FindData &e : entries) {
        const std::string name = baseName(e.cFileName);
        if (name == base && !isDirectory(e)) {
            TWin32FindData found = e;
            rename(found, base);
            entries.assign(1, found);
            return true;
        }
    }
    if (sure && entries.size() == 1 && !isDirectory(entries[0])) {
        rename(entries[0], base);
        return true;
    }
    if (sure)
        entries.clear();
    return false;
}

// A file that SIZE knows while LIST shows nothing or only a symbolic link
// (vsftpd lists a link to a file either way): the file itself, with SIZE's
// size and MDTM's time, so a newer copy behind the link is seen as newer.
void describeFileBehindLink(FtpConnection &c, std::vector<TWin32FindData> &entries,
    const std::string &path, const std::string &base, uint64_t size)
{
    const bool onlyLink = entries.size() == 1 && isUnresolvedLink(entries[0]);
    if (!entries.empty() && !onlyLink)
        return;
    TFileTime when = onlyLink ? entries[0].ftLastWriteTime : TFileTime {};
    c.remoteTime(path, when, c.cancelToken());
    TWin32FindData entry;
    if (ListingParser::makeEntry(entry, base, false, size, when))
        entries.assign(1, entry);
}

// A single-file lookup's findings (a few) as the listing hands them out.
DWORD handOut(const std::vector<TWin32FindData> &found, ListedEntries &out)
{
    for (const TWin32FindData &e : found)
        out.push_back(ListedEntry::of(e));
    return out.empty() ? ERROR_NO_MORE_FILES : ERROR_SUCCESS;
}

} // namespace

DWORD find(FtpConnection &c, const std::string &searchIn, ListedEntries &out)
{
    out.clear();
    std::vector<TWin32FindData> entries;
    std::string search = searchIn;
    if (search == "*" || search == "*.*")
        search.clear();
    const bool mlsd = c.features().mlst;
    if (namesOneThing(search)) {
        const std::string base = baseName(search);
        if (mlsd) {
            TWin32FindData entry;
            bool isFile = false;
            const DWORD code = mlst(c, search, entry, isFile);
            if (code != ERROR_SUCCESS)
                return code;
            if (isFile) {
                rename(entry, base);
                entries.assign(1, entry);
                return handOut(entries, out);
            }
        } else {
            const int64_t size = c.remoteSize(search, c.cancelToken());
            const bool sureFile = size >= 0;
            if (c.control().isBroken())
                return ERROR_INTERNET_CONNECTION_ABORTED;
            ListedEntries listed;
            Feed feed { false, listed, {}, {}, 0 };
            const DWORD code = fetchListing(c, "LIST " + search, feed);
            if (code != ERROR_SUCCESS)
                return code;
            // Read as one file's line, whose name may echo the path; if it
            // is not that, it is a folder's listing and its names are names.
            if (feed.total <= kLookupBytes)
                entries
                    = ListingParser::parseList(feed.head, 0, ListingParser::NameRule::BaseNames);
            else if (sureFile) // no single file's line: only the file's own entry counts
                for (const ListedEntry &e : listed)
                    if (e.name == base && !(e.attributes & FILE_ATTRIBUTE_DIRECTORY))
                        entries.push_back(e.record());
            if (!sureFile && !pickFile(entries, base, false)) {
                shiftToUtc(listed, c.listTimeZoneMinutes.load());
                out.swap(listed);
                return out.empty() ? ERROR_NO_MORE_FILES : ERROR_SUCCESS;
            }
            if (sureFile)
                pickFile(entries, base, true);
            shiftToUtc(entries, c.listTimeZoneMinutes.load());
            if (sureFile)
                describeFileBehindLink(c, entries, search, base, uint64_t(size));
            return handOut(entries, out);
        }
    }
    const std::string verb = mlsd ? "MLSD" : "LIST";
    const DWORD code = runListing(c, search.empty() ? verb : verb + " " + search, mlsd, out);
    if (code != ERROR_SUCCESS)
        return code;
    return out.empty() ? ERROR_NO_MORE_FILES : ERROR_SUCCESS;
}

} // namespace FtpListing
