#include "explorer/TransferPaths.h"

#include "ftp/FileTime.h"
#include "platform/LocalName.h"

#include <QFileInfo>

#include <cstring>

namespace TransferPaths {

QString baseName(const QString &path)
{
    const int cut
        = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1).toLower();
}

QString uploadTarget(const QString &currentPath, const QString &localPath)
{
    QString target = currentPath;
    if (!target.isEmpty() && !target.endsWith(QLatin1Char('/')))
        target += QLatin1Char('/');
    return target + localPath.mid(localPath.lastIndexOf(QLatin1Char('/')) + 1);
}

QString localPathIn(const QString &folder, const TWin32FindData &entry)
{
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path
        + QString::fromUtf8(
            entry.cFileName, int(qstrnlen(entry.cFileName, sizeof entry.cFileName)));
}

QString openTarget(const QString &tempFolder, const TWin32FindData &entry)
{
    const QString name = QString::fromUtf8(
        entry.cFileName, int(qstrnlen(entry.cFileName, sizeof entry.cFileName)));
    return tempFolder + LocalName::fromServerName(baseName(name));
}

QString saveTitle(const QString &remotePath)
{
    return QStringLiteral("Save ") + remotePath + QStringLiteral(" As");
}

QString folderOf(const QString &localPath)
{
    return localPath.left(localPath.lastIndexOf(QLatin1Char('/')) + 1);
}

namespace {

// The name's UTF-8 bytes up to the slot's size, never cut inside a character.
void copyName(const QString &name, TWin32FindData &entry)
{
    QByteArray bytes = name.toUtf8();
    const int room = int(sizeof entry.cFileName) - 1;
    if (bytes.size() > room) {
        int end = room;
        while (end > 0 && (uchar(bytes[end]) & 0xC0) == 0x80)
            --end;
        bytes.truncate(end);
    }
    std::memset(entry.cFileName, 0, sizeof entry.cFileName);
    std::memcpy(entry.cFileName, bytes.constData(), size_t(bytes.size()));
}

TFileTime fileTimeOf(const QDateTime &at)
{
    return FileTime::fromUnixSeconds(at.toSecsSinceEpoch(), int(at.time().msec()));
}

} // namespace

bool readLocalEntry(const QString &localPath, TWin32FindData &entry)
{
    const QFileInfo info(localPath);
    if (!info.exists() || !info.isReadable())
        return false;
    entry = {};
    entry.dwFileAttributes = info.isDir() ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    entry.ftCreationTime
        = fileTimeOf(info.birthTime().isValid() ? info.birthTime() : info.lastModified());
    entry.ftLastAccessTime = fileTimeOf(info.lastRead());
    entry.ftLastWriteTime = fileTimeOf(info.lastModified());
    if (!info.isDir())
        setFileSize(entry, uint64_t(info.size()));
    copyName(info.fileName(), entry);
    return true;
}

} // namespace TransferPaths
