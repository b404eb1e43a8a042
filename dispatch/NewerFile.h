#pragma once

#include "ftp/Win32FindData.h"

#include <QDate>

// Whether the site holds a newer copy of a watched file: the last-write
// times compared to the second as calendar fields, the site's date first
// moved back a year when a listing without a year put it in the future.
// The size and everything else play no part.
namespace NewerFile {

bool siteCopyIsNewer(
    const TWin32FindData &stored, const TWin32FindData &found, const QDate &todayUtc);

} // namespace NewerFile
