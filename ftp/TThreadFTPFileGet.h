#pragma once

#include "ftp/FtpThread.h"
#include "ftp/WinInet.h"

#include <QByteArray>
#include <QString>

#include <memory>

class ReplacingSaveFile;
class TWinInetFTP;
struct TWinInetOutcome;

// Downloads one remote file: OnGetStatus for each 4096-byte chunk with the
// total before it, OnGetDone at the end. The worker reads and writes the
// file itself in blocks of at least BlockChunks chunks (`batch` when larger)
// or 10 ms of data, and hands each block's events to the user-interface
// thread at once: every hand-off makes the idle-priority worker wait for the
// user-interface thread, so the fewer the faster. The file is written into a
// temporary file beside the target, which replaces the target only when the
// whole file has arrived.
class TThreadFTPFileGet : public FtpThread {
    Q_OBJECT
public:
    TThreadFTPFileGet(TWinInetFTP *ftp, const QString &remoteFile, const QString &localFile,
        bool direct, int batch);
    ~TThreadFTPFileGet() override;

    static constexpr int BufferSize = 4096;
    static constexpr int BlockChunks = 256;

protected:
    void Execute() override;

private:
    void copyDirect(TWinInetOutcome &outcome);
    void copyChunked(TWinInetOutcome &outcome);
    void openTransfer(TWinInetOutcome &outcome);
    void createLocalFile();
    void receive(TWinInetOutcome &outcome);
    void startWriteback(DWORD size);
    bool readBlock(TWinInetOutcome &outcome, DWORD &got);
    void reportChunks(DWORD size);
    bool startOver();
    void finish(TWinInetOutcome &outcome);

    TWinInetFTP *ftp;
    QByteArray remoteFile;
    QString localFile;
    bool direct;
    int batch;

    int64_t bytesTotal = 0;
    int32_t statusCode = 0;
    HINTERNET transfer = nullptr;
    HINTERNET connection = nullptr;
    ReplacingSaveFile *stream = nullptr; // the worker's own
    int64_t written = 0; // bytes handed to the file so far
    bool restarted = false; // the layer started the download over from byte 0
    std::unique_ptr<char[]> buffer;
};
