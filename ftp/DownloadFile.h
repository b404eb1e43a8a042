#pragma once

#include "ftp/WinInet.h"

#include <QByteArray>
#include <QString>

// The local side of a download: the data goes into a temporary file beside
// the target, which takes the target's name only once the whole file has
// arrived, so a failed or cancelled download leaves the old file as it was.
// The temporary file is synced before the rename only when it replaces an
// existing file (then a power loss leaves the old or the whole new file); a
// new file is renamed without waiting for the disk.
//
// A resumable download (the queue's, of a file not known to be small) writes
// into `.<name>.vrexpart` beside the target instead, the owner's alone,
// which stays when the download does not complete; `.<name>.vrexpart.origin`
// beside it holds what SIZE and MDTM said of the remote file when the
// partial file was begun, so that a later run goes on from its length only
// for that very file.
class DownloadFile {
public:
    enum class Kind { Temporary, Resumable };
    explicit DownloadFile(const QString &target, Kind kind = Kind::Temporary);
    ~DownloadFile(); // an uncommitted temporary file goes
    DownloadFile(const DownloadFile &) = delete;
    DownloadFile &operator=(const DownloadFile &) = delete;

    bool open();
    // Resumable: where a partial file of an earlier run lets the download
    // go on, with its origin (offset 0 without a partial file or origin).
    FTP_RESUME_POINT resumePoint() const;
    // Resumable: opens the partial file to go on at point.offset, or, at 0,
    // begins it afresh for the remote file the point describes.
    bool openResumable(const FTP_RESUME_POINT &point);
    static QString partialPathOf(const QString &target);
    // The partial file of a download the user gave up, and its origin.
    static void removePartial(const QString &target);
    bool write(const char *data, qint64 size);
    bool restart(); // empties the file: the data comes again from byte 0
    // Ends the writing: syncs the data when an existing file is replaced.
    bool finishWriting();
    // Gives the temporary file the target's name, replacing what is there
    // (a symbolic link itself, never what it points at).
    bool commit();
    void discard();
    bool isOpen() const { return fd >= 0; }

    // Makes what committed downloads wrote since the last call durable: one
    // syncfs per file system they wrote to. Waits for the disk: never on the
    // user-interface thread. Returns how many file systems were synced.
    static int flushWritten();
    static bool anythingToFlush();

private:
    bool writeOrigin(const FTP_RESUME_POINT &point);

    QByteArray target;
    Kind kind;
    unsigned existingMode = 0; // the replaced file's permissions; 0: none to keep
    QByteArray temporary;
    int fd = -1;
    bool replaces = false;
};
