#include "storage/DataFileSave.h"

#include "storage/EFileCreateError.h"
#include "storage/PrivateFile.h"

#include <QFile>
#include <QStandardPaths>

namespace DataFileSave {

QString defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

namespace {

// A copy, not a rename: should the save then fail, the file stays where the
// user knows it.
void keepRejectedFile(const QString &path, const QString &suffix)
{
    const QString kept = path + suffix;
    if (!QFile::exists(path))
        return;
    QFile::remove(kept);
    if (!QFile::copy(path, kept))
        throw EFileCreateError(kept);
}

} // namespace

void save(const QString &path, const QByteArray &bytes, bool &rejected, const QString &suffix)
{
    if (rejected)
        keepRejectedFile(path, suffix);
    if (!PrivateFile::write(path, bytes))
        throw EFileCreateError(path);
    rejected = false;
}

} // namespace DataFileSave
