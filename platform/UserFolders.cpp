#include "platform/UserFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace UserFolders {

QString downloads()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return QDir::cleanPath(folder);
    return QDir::homePath();
}

bool onlyUserCanWrite(const QString &folder)
{
    struct stat st { };
    const QByteArray name = QFile::encodeName(QDir::cleanPath(folder));
    return ::stat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()
        && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace UserFolders
