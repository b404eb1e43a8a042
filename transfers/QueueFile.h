#pragma once

#include "storage/DataFile.h"
#include "transfers/QueueItem.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// The file "myQueue.json" in the data folder: the queue's items in row
// order, with their state and, for a failed one, its reason. Passwords are
// kept as the site book keeps them (the file is the user's alone). Each
// item's entry record is kept whole (base64 of its 320 bytes, less the
// trailing zeros), so what the row shows and the newer check compares come
// back exactly.
class QueueFile {
public:
    static const QString kFileName; // "myQueue.json"
    static const QString kInvalidMessage; // "Invalid Queue File."
    static const QString kRejectedSuffix; // ".rejected"

    enum class LoadStatus { Loaded, Missing, Invalid };
    struct LoadResult {
        LoadStatus status = LoadStatus::Missing;
        std::vector<QueueItem> items;
    };

    // `folder` holds the file; by default the per-user data folder.
    explicit QueueFile(const QString &folder = defaultFolder());

    static QString defaultFolder();
    QString filePath() const;

    static QByteArray serialize(const std::vector<QueueItem> &items);
    // Nothing when the bytes are not such a file or any item is damaged:
    // a queue that comes back half would silently lose files.
    static std::optional<std::vector<QueueItem>> parse(const QByteArray &bytes);

    // Items as saved, states included (the caller decides what a saved
    // "In Progress" means now). A damaged file is kept aside at the next save.
    LoadResult load();
    // Whole and private over the old file; a file rejected at load is kept
    // beside itself first. Throws EFileCreateError, and the old file stays.
    // Callable from any thread, one call at a time.
    void save(const QByteArray &bytes);
    bool rejected() const { return file.rejected(); }

private:
    DataFile file;
};
