#include "ftp/ReplacingSaveFile.h"

#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The process's umask without changing it (umask() would, for every thread).
mode_t currentUmask()
{
    FILE *status = std::fopen("/proc/self/status", "re");
    unsigned mask = 022;
    if (status) {
        char line[128];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &mask) == 1)
                break;
        std::fclose(status);
    }
    return mode_t(mask);
}

} // namespace

ReplacingSaveFile::ReplacingSaveFile(const QString &name) : target(name) { }

ReplacingSaveFile::~ReplacingSaveFile()
{
    cancelWriting();
}

bool ReplacingSaveFile::open(OpenMode mode)
{
    cancelWriting();
    QByteArray temp = QFile::encodeName(target) + ".vrexpart-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    ::fchmod(fd, 0666 & ~currentUmask());
    tempPath = temp;
    if (QFile::open(fd, mode, AutoCloseHandle))
        return true;
    ::close(fd);
    cancelWriting();
    return false;
}

bool ReplacingSaveFile::commit()
{
    if (!isOpen() || tempPath.isEmpty())
        return false;
    struct stat existing;
    const bool replacing = ::lstat(QFile::encodeName(target).constData(), &existing) == 0;
    bool ok = flush() && (!replacing || ::fdatasync(handle()) == 0);
    close();
    ok = ok && error() == NoError
        && ::rename(tempPath.constData(), QFile::encodeName(target).constData()) == 0;
    if (ok)
        tempPath.clear();
    else
        cancelWriting();
    return ok;
}

void ReplacingSaveFile::cancelWriting()
{
    if (isOpen())
        close();
    if (!tempPath.isEmpty())
        ::unlink(tempPath.constData());
    tempPath.clear();
}
