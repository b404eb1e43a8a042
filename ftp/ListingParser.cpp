#include "ftp/ListingParser.h"

#include "ftp/FileTime.h"

#include <cstring>
#include <string>

namespace ListingParser {

namespace {

struct Token {
    size_t begin;
    size_t end;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::vector<Token> tokenize(std::string_view line, size_t maxTokens)
{
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < line.size() && tokens.size() < maxTokens) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i >= line.size())
            break;
        const size_t begin = i;
        while (i < line.size() && !isBlank(line[i]))
            ++i;
        tokens.push_back({ begin, i });
    }
    return tokens;
}

std::string_view text(std::string_view line, const Token &t)
{
    return line.substr(t.begin, t.end - t.begin);
}

// Decimal digits only, no overflow; false otherwise.
bool toNumber(std::string_view s, uint64_t &value, size_t maxDigits = 20)
{
    if (s.empty() || s.size() > maxDigits)
        return false;
    value = 0;
    for (char c : s) {
        if (!isDigit(c))
            return false;
        const uint64_t digit = uint64_t(c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

int monthNumber(std::string_view s)
{
    static const char *names[]
        = { "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec" };
    if (s.size() < 3)
        return 0;
    // "Jan", also a longer or dotted form ("June", "Sept.") some servers send
    for (int m = 0; m < 12; ++m)
        if (lower(s[0]) == names[m][0] && lower(s[1]) == names[m][1]
            && lower(s[2]) == names[m][2]) {
            if (s.size() == 3)
                return m + 1;
            for (size_t i = 3; i < s.size(); ++i)
                if (!((s[i] >= 'a' && s[i] <= 'z') || (s[i] >= 'A' && s[i] <= 'Z') || s[i] == '.'))
                    return 0;
            return s.size() <= 9 ? m + 1 : 0;
        }
    return 0;
}

// "HH:MM" or "HH:MM:SS"
bool parseClock(std::string_view s, int &hour, int &minute, int &second)
{
    const size_t colon = s.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2)
        return false;
    uint64_t h, m, sec = 0;
    if (!toNumber(s.substr(0, colon), h, 2))
        return false;
    std::string_view rest = s.substr(colon + 1);
    const size_t colon2 = rest.find(':');
    if (colon2 != std::string_view::npos) {
        if (!toNumber(rest.substr(colon2 + 1), sec, 2))
            return false;
        rest = rest.substr(0, colon2);
    }
    if (rest.size() != 2 || !toNumber(rest, m, 2) || h > 23 || m > 59 || sec > 59)
        return false;
    hour = int(h);
    minute = int(m);
    second = int(sec);
    return true;
}

int thisYear()
{
    return FileTime::toSystemTime(FileTime::nowUtc()).year;
}

// A time from calendar fields; a 29 February in a year without one (a date
// listed without its year) goes to the last year that had it.
bool makeTime(TSystemTime st, TFileTime &out, bool yearGuessed)
{
    if (FileTime::fromSystemTime(st, out))
        return true;
    if (yearGuessed && st.month == 2 && st.day == 29) {
        for (int back = 1; back <= 4; ++back) {
            st.year -= 1;
            if (FileTime::fromSystemTime(st, out))
                return true;
        }
    }
    return false;
}

bool unixPermissions(std::string_view p)
{
    if (p.size() < 10 || !std::strchr("-dlbcpsDn", p[0]))
        return false;
    for (size_t i = 1; i < 10; ++i)
        if (!std::strchr("rwxsStTlL-", p[i]))
            return false;
    return true;
}

// "2020-01-15"
bool isoDate(std::string_view s, TSystemTime &st)
{
    uint64_t y, m, d;
    if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !toNumber(s.substr(0, 4), y)
        || !toNumber(s.substr(5, 2), m) || !toNumber(s.substr(8, 2), d))
        return false;
    st.year = int(y);
    st.month = int(m);
    st.day = int(d);
    return true;
}

// Finds the date columns of an ls line: month day year|time, or an ISO date
// and a time. nameStart is where the name begins (one blank after the date).
bool findUnixDate(std::string_view line, const std::vector<Token> &t, size_t &sizeIndex,
    TFileTime &time, size_t &nameStart, int currentYear)
{
    for (size_t i = 2; i + 1 < t.size(); ++i) {
        uint64_t sizeValue;
        if (!toNumber(text(line, t[i - 1]), sizeValue))
            continue;
        TSystemTime st;
        size_t last;
        bool yearGuessed = false;
        if (isoDate(text(line, t[i]), st)) {
            if (!parseClock(text(line, t[i + 1]), st.hour, st.minute, st.second))
                continue;
            last = i + 1;
        } else {
            const int month = monthNumber(text(line, t[i]));
            uint64_t day, year;
            if (!month || i + 2 >= t.size() || !toNumber(text(line, t[i + 1]), day, 2) || day < 1
                || day > 31)
                continue;
            st.month = month;
            st.day = int(day);
            const std::string_view yt = text(line, t[i + 2]);
            if (toNumber(yt, year, 4) && yt.size() == 4) {
                st.year = int(year);
            } else if (parseClock(yt, st.hour, st.minute, st.second)) {
                st.year = currentYear;
                yearGuessed = true;
            } else {
                continue;
            }
            last = i + 2;
        }
        if (!makeTime(st, time, yearGuessed))
            continue;
        sizeIndex = i - 1;
        nameStart = t[last].end + 1;
        return nameStart < line.size();
    }
    return false;
}

// A name from the server is a name, never a path: with PlainNames one that
// holds "/" is dropped; with BaseNames (a single-file lookup, where servers
// echo the path asked for) it is cut to the text after its last "/".
bool applyNameRule(TWin32FindData &entry, NameRule rule)
{
    const std::string_view name(entry.cFileName);
    const size_t slash = name.rfind('/');
    if (slash == std::string_view::npos)
        return true;
    if (rule == NameRule::PlainNames || slash + 1 == name.size())
        return false;
    const std::string base(name.substr(slash + 1));
    std::memset(entry.cFileName, 0, sizeof entry.cFileName);
    std::memcpy(entry.cFileName, base.data(), base.size());
    return true;
}

template <typename LineParser>
std::vector<TWin32FindData> parseLines(std::string_view listing, LineParser parseOne)
{
    std::vector<TWin32FindData> entries;
    size_t pos = 0;
    while (pos < listing.size()) {
        size_t end = listing.find('\n', pos);
        if (end == std::string_view::npos)
            end = listing.size();
        std::string_view line = listing.substr(pos, end - pos);
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        TWin32FindData entry;
        if (!line.empty() && parseOne(line, entry))
            entries.push_back(entry);
        pos = end + 1;
    }
    return entries;
}

} // namespace

bool makeEntry(TWin32FindData &out, std::string_view name, bool directory, uint64_t size,
    const TFileTime &lastWrite)
{
    if (name.empty() || name.size() > sizeof out.cFileName - 1)
        return false;
    for (char c : name)
        if (c == '\0' || c == '\r' || c == '\n')
            return false;
    std::memset(&out, 0, sizeof out);
    out.dwFileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    out.ftCreationTime = lastWrite;
    out.ftLastAccessTime = lastWrite;
    out.ftLastWriteTime = lastWrite;
    setFileSize(out, size);
    std::memcpy(out.cFileName, name.data(), name.size());
    return true;
}

namespace {

// A link whose kind the listing does not tell. Its listed size is the length
// of the path it holds, not of anything it leads to: the size is unknown.
bool makeLinkEntry(TWin32FindData &out, std::string_view name, const TFileTime &lastWrite)
{
    if (!makeEntry(out, name, false, 0, lastWrite))
        return false;
    out.dwFileAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
    return true;
}

} // namespace

bool parseUnixLine(std::string_view line, TWin32FindData &out, int currentYear)
{
    const std::vector<Token> t = tokenize(line, 12);
    if (t.size() < 5 || !unixPermissions(text(line, t[0])))
        return false;
    size_t sizeIndex = 0, nameStart = 0;
    TFileTime time {};
    if (!findUnixDate(line, t, sizeIndex, time, nameStart, currentYear ? currentYear : thisYear()))
        return false;
    const char type = line[0];
    uint64_t size = 0;
    if (type != 'b' && type != 'c')
        toNumber(text(line, t[sizeIndex]), size);
    std::string_view name = line.substr(nameStart);
    if (type == 'l') {
        const size_t arrow = name.find(" -> ");
        if (arrow != std::string_view::npos)
            name = name.substr(0, arrow);
        return makeLinkEntry(out, name, time);
    }
    return makeEntry(out, name, type == 'd' || type == 'D', size, time);
}

namespace {

// "MM-DD-YY" or "MM-DD-YYYY" (also with '/'); two-digit years below 70 are 20xx.
bool parseDosDate(std::string_view date, TSystemTime &st)
{
    if ((date.size() != 8 && date.size() != 10) || (date[2] != '-' && date[2] != '/')
        || date[5] != date[2])
        return false;
    uint64_t month, day, year;
    if (!toNumber(date.substr(0, 2), month) || !toNumber(date.substr(3, 2), day)
        || !toNumber(date.substr(6), year))
        return false;
    if (date.size() == 8)
        year += year < 70 ? 2000 : 1900;
    st.year = int(year);
    st.month = int(month);
    st.day = int(day);
    return true;
}

// "HH:MM", "HH:MMAM" or "HH:MM" "PM" in two columns; next is the column after.
bool parseDosClock(
    std::string_view line, const std::vector<Token> &t, TSystemTime &st, size_t &next)
{
    std::string_view clock = text(line, t[1]);
    std::string_view suffix;
    next = 2;
    if (clock.size() > 2 && lower(clock.back()) == 'm') {
        suffix = clock.substr(clock.size() - 2);
        clock.remove_suffix(2);
    } else if (text(line, t[2]).size() == 2 && lower(text(line, t[2])[1]) == 'm') {
        suffix = text(line, t[2]);
        next = 3;
    }
    if (!parseClock(clock, st.hour, st.minute, st.second))
        return false;
    if (suffix.empty())
        return true;
    const char half = lower(suffix[0]);
    if ((half != 'a' && half != 'p') || st.hour < 1 || st.hour > 12)
        return false;
    st.hour = st.hour % 12 + (half == 'p' ? 12 : 0);
    return true;
}

} // namespace

bool parseDosLine(std::string_view line, TWin32FindData &out)
{
    const std::vector<Token> t = tokenize(line, 4);
    TSystemTime st;
    size_t next = 0;
    TFileTime time {};
    if (t.size() < 4 || !parseDosDate(text(line, t[0]), st) || !parseDosClock(line, t, st, next)
        || !FileTime::fromSystemTime(st, time))
        return false;
    const std::vector<Token> all = tokenize(line, next + 2);
    if (all.size() < next + 2)
        return false;
    const std::string_view what = text(line, all[next]);
    bool dir = false;
    uint64_t size = 0;
    if (what == "<DIR>" || what == "<dir>")
        dir = true;
    else if (!toNumber(what, size))
        return false;
    return makeEntry(out, line.substr(all[next + 1].begin), dir, size, time);
}

bool parseEplfLine(std::string_view line, TWin32FindData &out)
{
    if (line.size() < 3 || line[0] != '+')
        return false;
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos)
        return false;
    std::string_view facts = line.substr(1, tab - 1);
    bool dir = false, known = false;
    uint64_t size = 0;
    TFileTime time {};
    while (!facts.empty()) {
        const size_t comma = facts.find(',');
        const std::string_view fact = facts.substr(0, comma);
        if (fact == "/") {
            dir = known = true;
        } else if (fact == "r") {
            known = true;
        } else if (fact.size() > 1 && fact[0] == 's') {
            toNumber(fact.substr(1), size);
        } else if (fact.size() > 1 && fact[0] == 'm') {
            uint64_t seconds;
            if (toNumber(fact.substr(1), seconds, 12))
                time = FileTime::fromUnixSeconds(int64_t(seconds));
        }
        if (comma == std::string_view::npos)
            break;
        facts.remove_prefix(comma + 1);
    }
    return known && makeEntry(out, line.substr(tab + 1), dir, size, time);
}

namespace {

// "modify=YYYYMMDDHHMMSS[.sss]", always UTC
bool parseModify(std::string_view v, TFileTime &time)
{
    uint64_t y, mo, d, h, mi, s, ms = 0;
    if (v.size() < 14 || !toNumber(v.substr(0, 4), y) || !toNumber(v.substr(4, 2), mo)
        || !toNumber(v.substr(6, 2), d) || !toNumber(v.substr(8, 2), h)
        || !toNumber(v.substr(10, 2), mi) || !toNumber(v.substr(12, 2), s))
        return false;
    if (v.size() > 15 && v[14] == '.') {
        std::string frac(v.substr(15, 3));
        frac.resize(3, '0');
        if (!toNumber(frac, ms))
            ms = 0;
    }
    TSystemTime st;
    st.year = int(y), st.month = int(mo), st.day = int(d);
    st.hour = int(h), st.minute = int(mi), st.second = int(s > 59 ? 59 : s);
    st.millisecond = int(ms);
    return FileTime::fromSystemTime(st, time);
}

struct MlsdFacts {
    bool dir = false;
    bool link = false; // a link of unknown kind ("OS.unix=slink:target", "OS.unix=symlink")
    const char *specialName = nullptr; // "." for cdir, ".." for pdir
    uint64_t size = 0;
    uint64_t sizd = 0;
    TFileTime time {};
};

void applyFact(std::string_view fact, MlsdFacts &f)
{
    const size_t eq = fact.find('=');
    if (eq == std::string_view::npos)
        return;
    std::string key(fact.substr(0, eq));
    for (char &c : key)
        c = lower(c);
    const std::string_view value = fact.substr(eq + 1);
    if (key == "type") {
        std::string type(value);
        for (char &c : type)
            c = lower(c);
        f.dir = type == "dir" || type == "cdir" || type == "pdir";
        f.link = type == "os.unix=symlink" || type.rfind("os.unix=slink", 0) == 0;
        f.specialName = type == "cdir" ? "." : type == "pdir" ? ".." : nullptr;
    } else if (key == "size") {
        toNumber(value, f.size);
    } else if (key == "sizd") {
        toNumber(value, f.sizd);
    } else if (key == "modify" && !parseModify(value, f.time)) {
        f.time = TFileTime {};
    }
}

} // namespace

bool parseMlsdLine(std::string_view line, TWin32FindData &out, NameRule rule)
{
    // "fact=value;fact=value; name" (one blank before the name, which may
    // hold blanks of its own); a line starting with the blank has no facts.
    std::string_view facts;
    size_t nameStart = 1;
    if (line.empty() || line[0] != ' ') {
        const size_t end = line.find("; ");
        if (end == std::string_view::npos)
            return false;
        facts = line.substr(0, end + 1);
        nameStart = end + 2;
    }
    MlsdFacts f;
    while (!facts.empty()) {
        const size_t semi = facts.find(';');
        applyFact(facts.substr(0, semi), f);
        if (semi == std::string_view::npos)
            break;
        facts.remove_prefix(semi + 1);
    }
    const std::string_view name
        = f.specialName ? std::string_view(f.specialName) : line.substr(nameStart);
    const bool made = f.link && !f.specialName
        ? makeLinkEntry(out, name, f.time)
        : makeEntry(out, name, f.dir, f.dir ? f.sizd : f.size, f.time);
    return made && applyNameRule(out, rule);
}

bool parseListLine(std::string_view line, TWin32FindData &out, int currentYear, NameRule rule)
{
    if (line.empty())
        return false;
    bool read;
    if (line[0] == '+')
        read = parseEplfLine(line, out);
    else if (isDigit(line[0]))
        read = parseDosLine(line, out);
    else
        read = parseUnixLine(line, out, currentYear);
    return read && applyNameRule(out, rule);
}

std::vector<TWin32FindData> parseList(std::string_view listing, int currentYear, NameRule rule)
{
    const int year = currentYear ? currentYear : thisYear();
    return parseLines(listing, [year, rule](std::string_view line, TWin32FindData &e) {
        return parseListLine(line, e, year, rule);
    });
}

std::vector<TWin32FindData> parseMlsd(std::string_view listing)
{
    return parseLines(listing, [](std::string_view line, TWin32FindData &e) {
        return parseMlsdLine(line, e, NameRule::PlainNames);
    });
}

} // namespace ListingParser
