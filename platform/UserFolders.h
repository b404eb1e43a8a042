#pragma once

#include <QString>

// The user's own folders, where files land when no folder was chosen yet.
namespace UserFolders {

// The desktop's Downloads folder (XDG_DOWNLOAD_DIR), else the home folder,
// without a trailing "/".
QString downloads();

// The folder exists and no one but the user can write into it: a folder
// others can write lets them place links where our files are to go.
bool onlyUserCanWrite(const QString &folder);

} // namespace UserFolders
