#include "dispatch/FailureCauses.h"

#include "ftp/WinInet.h"

#include <QFileInfo>

namespace FailureCauses {

QString ofSession(int32_t code, const QStringList &replies)
{
    switch (DWORD(code)) {
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_FTP_DROPPED:
    case ERROR_INTERNET_TIMEOUT:
        return QStringLiteral("The connection was lost.");
    case ERROR_INTERNET_EXTENDED_ERROR:
        if (!replies.isEmpty() && !replies.last().trimmed().isEmpty())
            return QStringLiteral("The server replied: ") + replies.last().trimmed();
        break;
    default:
        break;
    }
    return QString();
}

QString ofSaveFile(const QString &localPath)
{
    const QFileInfo folder(QFileInfo(localPath).absolutePath());
    if (!folder.isDir())
        return QStringLiteral("The folder \"%1\" does not exist.").arg(folder.filePath());
    if (!folder.isWritable())
        return QStringLiteral("The folder \"%1\" is read-only.").arg(folder.filePath());
    return QString();
}

QString ofTransfer(TWinInetError error, bool download, const QString &localPath, int32_t code,
    const QStringList &replies)
{
    if (error == errBadSaveFile && download)
        return ofSaveFile(localPath);
    return ofSession(code, replies);
}

} // namespace FailureCauses
