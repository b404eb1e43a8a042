#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// One of the program's data files in its folder, read whole and saved whole.
// A copy the owner rejected at load is kept beside itself (".rejected") at
// the next save, so a damaged file is never lost.
class DataFile {
public:
    DataFile(const QString &folder, const QString &name);

    QString path() const { return filePath; }
    // The file's bytes; nothing when it cannot be read (missing). Forgets a
    // rejection from an earlier read.
    std::optional<QByteArray> read();
    // What read() gave is damaged: keep it aside before the next save.
    void reject() { rejectedOnDisk = true; }
    bool rejected() const { return rejectedOnDisk; }
    // Whole and private over the old file. Throws EFileCreateError; the
    // earlier file then stays as it was.
    void save(const QByteArray &bytes);

private:
    QString filePath;
    bool rejectedOnDisk = false;
};
