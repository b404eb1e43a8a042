#include "ftp/DownloadFile.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <mutex>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex writtenMutex;
std::set<QByteArray> writtenFolders; // folders of new files not yet flushed

void noteWritten(const QByteArray &folder)
{
    std::lock_guard<std::mutex> lock(writtenMutex);
    writtenFolders.insert(folder.isEmpty() ? QByteArray(".") : folder);
}

} // namespace

DownloadFile::DownloadFile(const QString &targetPath) : target(QFile::encodeName(targetPath)) { }

DownloadFile::~DownloadFile()
{
    discard();
}

bool DownloadFile::open()
{
    struct stat existing { };
    replaces = ::lstat(target.constData(), &existing) == 0;
    const int slash = target.lastIndexOf('/');
    const QByteArray folder = slash >= 0 ? target.left(slash + 1) : QByteArray();
    const QByteArray base = target.mid(slash + 1);
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = folder + '.' + base + ".part-"
            + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        // The process's umask applies, as for any file the user creates.
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        temporary.clear();
        return false;
    }
    // A replaced regular file keeps its permissions.
    if (replaces && S_ISREG(existing.st_mode))
        ::fchmod(fd, existing.st_mode & 07777);
    return true;
}

bool DownloadFile::write(const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size_t(size));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        size -= done;
    }
    return true;
}

bool DownloadFile::restart()
{
    return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0;
}

bool DownloadFile::finishWriting()
{
    if (fd < 0)
        return false;
    const bool synced = !replaces || ::fdatasync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    fd = -1;
    return synced && closed;
}

bool DownloadFile::commit()
{
    if (temporary.isEmpty() || fd >= 0)
        return false;
    if (::rename(temporary.constData(), target.constData()) != 0)
        return false;
    temporary.clear();
    if (!replaces) {
        const int slash = target.lastIndexOf('/');
        noteWritten(slash > 0 ? target.left(slash) : slash == 0 ? QByteArray("/") : QByteArray());
    }
    return true;
}

void DownloadFile::discard()
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    if (!temporary.isEmpty()) {
        ::unlink(temporary.constData());
        temporary.clear();
    }
}

bool DownloadFile::anythingToFlush()
{
    std::lock_guard<std::mutex> lock(writtenMutex);
    return !writtenFolders.empty();
}

int DownloadFile::flushWritten()
{
    std::set<QByteArray> folders;
    {
        std::lock_guard<std::mutex> lock(writtenMutex);
        folders.swap(writtenFolders);
    }
    std::set<dev_t> synced;
    for (const QByteArray &folder : folders) {
        const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0)
            continue; // gone meanwhile: nothing of ours left to flush there
        struct stat info { };
        if (::fstat(dir, &info) == 0 && synced.insert(info.st_dev).second)
            ::syncfs(dir);
        ::close(dir);
    }
    return int(synced.size());
}
