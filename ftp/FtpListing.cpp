#include "ftp/FtpListing.h"

#include "ftp/FileTime.h"
#include "ftp/FtpConnection.h"
#include "ftp/ListingParser.h"

#include <cstring>

namespace FtpListing {

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
void shiftToUtc(std::vector<TWin32FindData> &entries, int minutesEast)
{
    if (minutesEast == 0)
        return;
    const int64_t shift = int64_t(minutesEast) * 60 * 10'000'000;
    for (TWin32FindData &e : entries) {
        const uint64_t ticks = FileTime::toTicks(e.ftLastWriteTime);
        if (ticks == 0 || int64_t(ticks) < shift)
            continue; // no time at all, or none before 1601 to go to
        e.ftLastWriteTime = FileTime::fromTicks(uint64_t(int64_t(ticks) - shift));
    }
}

// Reads the data connection to its end, then the transfer's final reply.
DWORD readListing(FtpConnection &c, TcpSocket &data, bool finalReceived, std::string &out)
{
    const CancelToken &cancel = c.cancelToken();
    const int idle = c.timeouts().dataMs;
    DWORD code = ERROR_SUCCESS;
    for (;;) {
        if (out.size() >= kMaxListingBytes) {
            code = ERROR_NOT_ENOUGH_MEMORY;
            break;
        }
        const size_t old = out.size();
        out.resize(old + 65536);
        size_t got = 0;
        code = data.receive(&out[old], 65536, got, Deadline(idle), cancel);
        out.resize(old + got);
        if (code != ERROR_SUCCESS || got == 0)
            break;
    }
    if (code != ERROR_SUCCESS) {
        data.abortiveClose();
        if (!finalReceived)
            c.control().abandonTransfer(code);
        return code;
    }
    data.close();
    return finalReceived ? ERROR_SUCCESS : c.endTransfer(cancel);
}

DWORD fetchListing(FtpConnection &c, const std::string &command, std::string &bytes)
{
    TcpSocket data;
    bool finalReceived = false;
    const DWORD code = c.beginTransfer(command, data, finalReceived, c.cancelToken());
    if (code != ERROR_SUCCESS)
        return code;
    return readListing(c, data, finalReceived, bytes);
}

DWORD runListing(
    FtpConnection &c, const std::string &command, bool mlsd, std::vector<TWin32FindData> &entries)
{
    std::string bytes;
    const DWORD code = fetchListing(c, command, bytes);
    if (code != ERROR_SUCCESS)
        return code;
    if (mlsd) {
        entries = ListingParser::parseMlsd(bytes);
    } else {
        entries = ListingParser::parseList(bytes);
        shiftToUtc(entries, c.listTimeZoneMinutes.load());
    }
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

} // namespace

DWORD find(FtpConnection &c, const std::string &searchIn, std::vector<TWin32FindData> &entries)
{
    entries.clear();
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
                return ERROR_SUCCESS;
            }
        } else {
            const int64_t size = c.remoteSize(search, c.cancelToken());
            const bool sureFile = size >= 0;
            if (c.control().isBroken())
                return ERROR_INTERNET_CONNECTION_ABORTED;
            std::string bytes;
            const DWORD code = fetchListing(c, "LIST " + search, bytes);
            if (code != ERROR_SUCCESS)
                return code;
            // Read as one file's line, whose name may echo the path; if it
            // is not that, it is a folder's listing and its names are names.
            entries = ListingParser::parseList(bytes, 0, ListingParser::NameRule::BaseNames);
            if (!pickFile(entries, base, sureFile) && !sureFile)
                entries = ListingParser::parseList(bytes);
            shiftToUtc(entries, c.listTimeZoneMinutes.load());
            if (sureFile)
                describeFileBehindLink(c, entries, search, base, uint64_t(size));
            return entries.empty() ? ERROR_NO_MORE_FILES : ERROR_SUCCESS;
        }
    }
    const std::string verb = mlsd ? "MLSD" : "LIST";
    const DWORD code = runListing(c, search.empty() ? verb : verb + " " + search, mlsd, entries);
    if (code != ERROR_SUCCESS)
        return code;
    return entries.empty() ? ERROR_NO_MORE_FILES : ERROR_SUCCESS;
}

} // namespace FtpListing
