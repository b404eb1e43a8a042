#pragma once

#include "ftp/Win32FindData.h"
#include "ftp/WinInet.h"

#include <string>
#include <vector>

class FtpConnection;

// What FtpFindFirstFileA asks of a connection: the entries of a directory in
// server order (MLSD when the server offers MLST, else LIST), or, when the
// search name names one file, that file alone under its base name (MLST when
// offered, else SIZE and LIST, whatever the server echoes). An empty listing
// is ERROR_NO_MORE_FILES; a refusal (550) is 12003 with the reply kept.
// Times read from LIST are moved to UTC by the connection's
// listTimeZoneMinutes (a date without a time is the server's midnight).
namespace FtpListing {

// An entry as a listing keeps it until it is handed out: the fields a
// listing fills, in under a quarter of TWin32FindData's 320 bytes.
struct ListedEntry {
    uint32_t attributes = 0;
    uint64_t size = 0;
    TFileTime created {}, accessed {}, written {};
    std::string name;

    static ListedEntry of(const TWin32FindData &record);
    TWin32FindData record() const;
};
using ListedEntries = std::vector<ListedEntry>;

DWORD find(FtpConnection &connection, const std::string &search, ListedEntries &entries);

// Bounds on what a server can make a listing hold: the text read in all
// (lines are parsed as they arrive, so only an unfinished one is kept) and
// the entries (320 bytes each). Past either the call fails with
// ERROR_NOT_ENOUGH_MEMORY.
constexpr size_t kMaxListingBytes = 256u * 1024 * 1024;
constexpr size_t kMaxListingEntries = 1'000'000;

} // namespace FtpListing
