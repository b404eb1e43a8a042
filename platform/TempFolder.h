#pragma once

#include <QString>

// The private folder "~vrex~" in the system temporary folder, where opened
// files are downloaded before the desktop opens them.
namespace TempFolder {

// The folder's path, ending in "/".
QString path();

// Creates the folder with mode 0700 when missing. Refuses (false, with a
// message) a path that is a symbolic link, not a folder, not owned by the
// user or open to others: another user could swap files under us there.
bool ensure(QString *error = nullptr);

// Deletes every file whose name does not begin with "." and then the folder
// itself. Failures (a file still in use, a subfolder) are ignored.
void clean();

} // namespace TempFolder
