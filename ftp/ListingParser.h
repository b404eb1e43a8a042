#pragma once

#include "ftp/Win32FindData.h"

#include <string_view>
#include <vector>

// Turns the bytes of a directory listing into entries, with no socket in
// sight. LIST output may be Unix "ls -l" (any owner and group columns, device
// files, symbolic links, ISO dates), DOS/IIS or EPLF, mixed line by line;
// MLSD output is read by its facts. Lines that cannot be read ("total N",
// blank lines, banners, broken lines) are skipped; no input crashes it.
// Names that are empty, longer than 259 bytes or hold CR, LF or NUL are
// skipped as well, and so, in a listing, is any name holding "/".
// A symbolic link whose kind the listing does not tell (an "l" line, MLSD
// "OS.unix=slink:..." or "OS.unix=symlink") carries the link's own name, size
// 0 (unknown) and FILE_ATTRIBUTE_REPARSE_POINT; one the facts call "dir" is a
// folder.
namespace ListingParser {

// PlainNames: a name holding "/" is skipped (a server's name is never a
// path). BaseNames: only for a single-file lookup, whose reply may echo the
// path asked for: such a name is reduced to the text after its last "/".
enum class NameRule { PlainNames, BaseNames };

// currentYear: the year given to dates that carry none (0: this year, UTC).
std::vector<TWin32FindData> parseList(
    std::string_view listing, int currentYear = 0, NameRule rule = NameRule::PlainNames);
std::vector<TWin32FindData> parseMlsd(std::string_view listing);

// One line of each kind; false when the line is not an entry. Only
// parseListLine and parseMlsdLine apply the name rule.
bool parseListLine(std::string_view line, TWin32FindData &out, int currentYear = 0,
    NameRule rule = NameRule::PlainNames);
bool parseUnixLine(std::string_view line, TWin32FindData &out, int currentYear);
bool parseDosLine(std::string_view line, TWin32FindData &out);
bool parseEplfLine(std::string_view line, TWin32FindData &out);
// A MLSD line or the fact line of a MLST reply: "fact=value;...; name".
// cdir and pdir entries are named "." and "..".
bool parseMlsdLine(
    std::string_view line, TWin32FindData &out, NameRule rule = NameRule::PlainNames);

// Fills the record; false when the name cannot be stored (empty, too long,
// CR, LF or NUL inside).
bool makeEntry(TWin32FindData &out, std::string_view name, bool directory, uint64_t size,
    const TFileTime &lastWrite);

} // namespace ListingParser
