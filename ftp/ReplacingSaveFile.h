#pragma once

#include <QByteArray>
#include <QFile>

// A download's local file: written to a temporary file beside the chosen
// name and renamed over that name only by commit(), so a failed download
// leaves the old file as it was. The name itself is replaced: a symbolic
// link planted there is replaced, never written through (QSaveFile follows
// it), and nothing ever opens the name for writing.
class ReplacingSaveFile : public QFile {
public:
    explicit ReplacingSaveFile(const QString &name);
    ~ReplacingSaveFile() override;

    // Creates the temporary file; only WriteOnly (and Unbuffered) make sense.
    bool open(OpenMode mode) override;
    // Syncs the data when an existing name is replaced (a crash must not
    // leave an empty file where a good one was), then renames it over the name.
    bool commit();
    void cancelWriting();

private:
    QString target;
    QByteArray tempPath;
};
