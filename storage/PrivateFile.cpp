#include "storage/PrivateFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

bool PrivateFile::write(
    const QString &path, const QByteArray &data, QString *reason, QFileDevice::FileError *kind)
{
    auto fail = [&](QFileDevice::FileError error, const QString &text) {
        if (reason)
            *reason = text;
        if (kind)
            *kind = error;
        return false;
    };
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QFileDevice::OpenError,
            QStringLiteral("cannot create folder %1").arg(info.absolutePath()));
    if (info.isDir())
        return fail(QFileDevice::OpenError, QStringLiteral("%1 is a folder").arg(path));
    QSaveFile file(path);
    // Unbuffered, so that a short write (disk full, size limit) shows in the
    // count write() returns: a buffered QSaveFile commits a cut file then.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.error(), file.errorString());
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(data) != data.size()) {
        const auto error = file.error();
        const QString text = file.errorString();
        file.cancelWriting();
        return fail(error, text);
    }
    if (!file.commit())
        return fail(file.error(), file.errorString());
    return true;
}
