#pragma once

#include "ftp/Win32FindData.h"

#include <QString>

#include <cstdint>

// A failed item stays, so the user's list of what to fetch is never lost.
enum class QueueItemState { Waiting, InProgress, Failed };

// One download or upload of the queue. It keeps its own copy of the entry
// record, so nothing it shows or sends depends on a listing or a watch item
// that may be gone by the time it runs.
struct QueueItem {
    uint64_t id = 0; // unique for the run; rows are found by it after re-entrant steps
    QString name; // download: the remote path; upload: the local path
    QString saveFile; // download: the local save path; upload: the remote path
    TWin32FindData entry {};
    QString actions; // "Download", "Download, Open", "Download, Newer" or "Send"
    QString host;
    QString login;
    QString password;
    // An upload into a folder the window had not listed: the server is asked
    // whether the file is there before it is replaced.
    bool askBeforeReplacing = false;
    // An upload of a folder's file: the remote folders above it are made
    // first where they are not there yet.
    bool makeParents = false;
    QueueItemState state = QueueItemState::Waiting;
    QString failure; // why a failed item failed

    // The action words are read by containment.
    bool isDownload() const { return actions.contains(QLatin1String("Download")); }
    bool isUpload() const { return actions.contains(QLatin1String("Send")); }
    // Only a download is opened afterwards.
    bool opensAfter() const { return isDownload() && actions.contains(QLatin1String("Open")); }
    bool checksNewer() const { return actions.contains(QLatin1String("New")); }
    uint64_t size() const { return fileSize(entry); }
    // The pending action the item's transfer runs under: "Download", "Send",
    // or empty for an item that names neither.
    QString transferWord() const
    {
        if (isDownload())
            return QStringLiteral("Download");
        return isUpload() ? QStringLiteral("Send") : QString();
    }
};
