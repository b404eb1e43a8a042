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
