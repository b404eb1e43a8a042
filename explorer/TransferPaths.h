#pragma once

#include "ftp/Win32FindData.h"

#include <QString>

// Where a transferred file goes: pure rules on paths, no disk and no server.
namespace TransferPaths {

// The text after the last "/" or "\", lower-cased; the whole text if neither.
QString baseName(const QString &path);

// The remote path an upload of `localPath` lands at in `currentPath`: the
// local name as it is (another case would be another file on most servers).
QString uploadTarget(const QString &currentPath, const QString &localPath);

// Where a file of several downloaded into one folder lands: its own name,
// in its own case (two names that differ only in case stay two files).
QString localPathIn(const QString &folder, const TWin32FindData &entry);

// The local path a file opened from the site is downloaded to, inside the
// temporary download folder (which ends in "/"). Built from the entry's own
// name, so nothing but that folder can ever be written; control characters
// are replaced.
QString openTarget(const QString &tempFolder, const TWin32FindData &entry);

// The save dialog's title for a remote path.
QString saveTitle(const QString &remotePath);

// The folder of a chosen local file, with its trailing "/".
QString folderOf(const QString &localPath);

// A local file's entry: name, attributes, times and size. False when the
// file cannot be read.
bool readLocalEntry(const QString &localPath, TWin32FindData &entry);

} // namespace TransferPaths
