#pragma once

#include <QString>

#include <stdexcept>

// A data file could not be written: "Cannot create file <path>". The earlier
// file is left as it was.
class EFileCreateError : public std::runtime_error {
public:
    explicit EFileCreateError(const QString &path)
        : std::runtime_error(messageFor(path).toStdString()), filePath(path)
    {
    }
    QString message() const { return messageFor(filePath); }
    QString path() const { return filePath; }

    static QString messageFor(const QString &path)
    {
        return QStringLiteral("Cannot create file %1").arg(path);
    }

private:
    QString filePath;
};
