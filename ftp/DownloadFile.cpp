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

const char kPartialSuffix[] = ".vrexpart";
const char kOriginSuffix[] = ".origin";

QByteArray partialOf(const QByteArray &target)
{
    const int slash = target.lastIndexOf('/');
    return target.left(slash + 1) + '.' + target.mid(slash + 1) + kPartialSuffix;
}

// What a new file gets: 0666 less the process's umask (read, not set, so
// no other thread sees it change).
mode_t newFileMode()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
            if (line.startsWith("Umask:"))
                return 0666 & ~mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
    return 0644;
}

bool readOrigin(const QByteArray &path, FTP_RESUME_POINT &point)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> words = file.read(256).simplified().split(' ');
    bool ok = words.size() == 5 && words[0] == "vrex-origin" && words[1] == "1";
    if (ok)
        point.size = words[2].toLongLong(&ok);
    bool low = false, high = false;
    point.timed = words.value(3) != "-";
    if (ok && point.timed) {
        point.time.dwLowDateTime = words[3].toUInt(&low);
        point.time.dwHighDateTime = words[4].toUInt(&high);
        ok = low && high;
    }
    return ok && point.size >= 0;
}

} // namespace

DownloadFile::DownloadFile(const QString &targetPath, Kind k)
    : target(QFile::encodeName(targetPath)), kind(k)
{
}

QString DownloadFile::partialPathOf(const QString &targetPath)
{
    return QFile::decodeName(partialOf(QFile::encodeName(targetPath)));
}

void DownloadFile::removePartial(const QString &targetPath)
{
    const QByteArray partial = partialOf(QFile::encodeName(targetPath));
    ::unlink(partial.constData());
    ::unlink((partial + kOriginSuffix).constData());
}

FTP_RESUME_POINT DownloadFile::resumePoint() const
{
    FTP_RESUME_POINT point { 0, -1, 0, {} };
    const QByteArray partial = partialOf(target);
    struct stat info { };
    if (kind != Kind::Resumable || ::lstat(partial.constData(), &info) != 0
        || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()
        || !readOrigin(partial + kOriginSuffix, point))
        return { 0, -1, 0, {} };
    point.offset = uint64_t(info.st_size);
    return point;
}

bool DownloadFile::openResumable(const FTP_RESUME_POINT &point)
{
    struct stat existing { };
    replaces = ::lstat(target.constData(), &existing) == 0;
    existingMode = replaces && S_ISREG(existing.st_mode) ? existing.st_mode & 07777 : 0;
    temporary = partialOf(target);
    fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        temporary.clear();
        return false;
    }
    const off_t at = off_t(point.offset);
    // A partial file begun afresh never keeps an origin that is not its own.
    const bool ready = ::fchmod(fd, 0600) == 0
        && (at > 0 || ::unlink((temporary + kOriginSuffix).constData()) == 0 || errno == ENOENT)
        && ::ftruncate(fd, at) == 0 && ::lseek(fd, at, SEEK_SET) == at
        && (at > 0 || writeOrigin(point));
    if (!ready)
        discard();
    return ready;
}

bool DownloadFile::writeOrigin(const FTP_RESUME_POINT &point)
{
    const QByteArray path = temporary + kOriginSuffix;
    const QByteArray text = "vrex-origin 1 " + QByteArray::number(qlonglong(point.size)) + ' '
        + (point.timed ? QByteArray::number(point.time.dwLowDateTime) + ' '
                    + QByteArray::number(point.time.dwHighDateTime)
                       : QByteArray("- -"))
        + '\n';
    const QByteArray scratch = path + ".new";
    const int out = ::open(scratch.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0)
        return false;
    const bool written = ::write(out, text.constData(), size_t(text.size())) == text.size();
    const bool closed = ::close(out) == 0;
    if (written && closed && ::rename(scratch.constData(), path.constData()) == 0)
        return true;
    ::unlink(scratch.constData());
    return false;
}

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
    // The origin told of the file as it was: a partial file begun again has none.
    if (kind == Kind::Resumable)
        ::unlink((temporary + kOriginSuffix).constData());
    return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0;
}

bool DownloadFile::finishWriting()
{
    if (fd < 0)
        return false;
    // A partial file was the owner's alone; the whole file is like any other.
    if (kind == Kind::Resumable)
        ::fchmod(fd, existingMode ? mode_t(existingMode) : newFileMode());
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
    if (kind == Kind::Resumable)
        ::unlink((temporary + kOriginSuffix).constData());
    temporary.clear();
    if (!replaces) {
        const int slash = target.lastIndexOf('/');
        noteWritten(slash > 0 ? target.left(slash) : slash == 0 ? QByteArray("/") : QByteArray());
    }
    return true;
}

void DownloadFile::discard()
{
    struct stat info { };
    const bool empty = fd >= 0 && ::fstat(fd, &info) == 0 && info.st_size == 0;
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    // A partial file with bytes stays for the next run; an empty one is litter.
    if (kind == Kind::Resumable && !temporary.isEmpty() && !empty) {
        temporary.clear();
        return;
    }
    if (kind == Kind::Resumable && !temporary.isEmpty())
        ::unlink((temporary + kOriginSuffix).constData());
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
