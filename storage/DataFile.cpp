#include "storage/DataFile.h"

#include "storage/DataFileSave.h"

#include <QFile>

DataFile::DataFile(const QString &folder, const QString &name)
    : filePath(folder + QLatin1Char('/') + name)
{
}

std::optional<QByteArray> DataFile::read()
{
    rejectedOnDisk = false;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

void DataFile::save(const QByteArray &bytes)
{
    DataFileSave::save(filePath, bytes, rejectedOnDisk, QStringLiteral(".rejected"));
}
