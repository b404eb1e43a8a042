#pragma once

#include "ftp/Win32FindData.h"

#include <QDate>
#include <QLocale>
#include <QString>

#include <cstdint>

// The texts and icon of one row, each a function of one entry record. The
// directory list, the queue and the watch list all show entries this way.
// A null record is allowed everywhere and gives the empty or zero result.
namespace RowTexts {

uint64_t entrySize(const TWin32FindData *entry);

// Whole bytes, grouped in thousands with the locale's separator.
QString formatSize(double bytes, const QLocale &locale);
QString formatSize(double bytes);
// Empty for a folder, a link of unknown kind or a missing record.
QString sizeText(const TWin32FindData *entry, const QLocale &locale);
QString sizeText(const TWin32FindData *entry);

// The text from the last "." to the end, empty when that dot is not part of
// the base name; at most 255 characters.
QString extensionOf(const QString &name);
// "File Folder", "Symbolic Link" (a link of unknown kind), the registered name of the extension's
// file class, or the upper-cased extension followed by " File".
QString typeName(const TWin32FindData *entry);
QString typeNameForFile(const QString &name);

// Moves a date that lies implausibly ahead (a listing without a year, read
// in the wrong year) back one year, in the record itself. True when it did.
bool correctFutureDate(TWin32FindData &entry, const QDate &todayUtc);
// Date and time without seconds; empty for a missing record, for no time
// (zero) or a time that has no calendar form. Applies the future-date correction first.
QString modifiedText(TWin32FindData *entry, const QDate &todayUtc, const QLocale &locale);
QString modifiedText(TWin32FindData *entry);

int iconIndex(const TWin32FindData *entry);

QDate todayUtc();

} // namespace RowTexts
