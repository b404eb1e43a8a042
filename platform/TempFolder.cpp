#include "platform/TempFolder.h"

#include <QDir>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Without the trailing "/": with it, the system would resolve a symbolic
// link in the folder's place even under lstat() and O_NOFOLLOW.
QByteArray folderName()
{
    return QFile::encodeName(QDir::tempPath() + QStringLiteral("/~vrex~"));
}

} // namespace

namespace TempFolder {

QString path()
{
    return QDir::tempPath() + QStringLiteral("/~vrex~/");
}

bool ensure(QString *error)
{
    const QByteArray dir = folderName();
    if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = QStringLiteral("Cannot create the folder %1.").arg(path());
        return false;
    }
    struct stat st { };
    const bool ok = ::lstat(dir.constData(), &st) == 0 && S_ISDIR(st.st_mode)
        && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
    if (!ok && error)
        *error = QStringLiteral("The folder %1 is not a private folder of yours; "
                                "remove it and try again.")
                     .arg(path());
    return ok;
}

void clean()
{
    const QByteArray dir = folderName();
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (dirFd < 0)
        return;
    struct stat st { };
    if (::fstat(dirFd, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(dirFd);
        return;
    }
    if (DIR *d = ::fdopendir(dirFd)) {
        while (dirent *e = ::readdir(d)) {
            if (e->d_name[0] != '.')
                ::unlinkat(dirFd, e->d_name, 0);
        }
        ::closedir(d); // closes dirFd too
    } else {
        ::close(dirFd);
    }
    ::rmdir(dir.constData());
}

} // namespace TempFolder
