#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Writes one user's data file as a whole: a temporary file beside it is
// renamed over the old one only when every byte is on disk, so a failure or
// a crash mid-way leaves the earlier file intact. The file is readable by its
// owner only (it may hold passwords). The folder is created when missing.
class PrivateFile {
public:
    // False if anything failed; the reason and its kind go to the optional outputs.
    static bool write(const QString &path, const QByteArray &data, QString *reason = nullptr,
        QFileDevice::FileError *kind = nullptr);
};
