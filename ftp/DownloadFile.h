#pragma once

#include <QByteArray>
#include <QString>

// The local side of a download: the data goes into a temporary file beside
// the target, which takes the target's name only once the whole file has
// arrived, so a failed or cancelled download leaves the old file as it was.
// The temporary file is synced before the rename only when it replaces an
// existing file (then a power loss leaves the old or the whole new file); a
// new file is renamed without waiting for the disk.
class DownloadFile {
public:
    explicit DownloadFile(const QString &target);
    ~DownloadFile(); // an uncommitted temporary file goes
    DownloadFile(const DownloadFile &) = delete;
    DownloadFile &operator=(const DownloadFile &) = delete;

    bool open();
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
    QByteArray target;
    QByteArray temporary;
    int fd = -1;
    bool replaces = false;
};
