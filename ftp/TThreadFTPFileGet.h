#pragma once

#include "ftp/FtpThread.h"
#include "ftp/WinInet.h"

#include <QByteArray>
#include <QString>

#include <memory>

class DownloadFile;
enum TWinInetError : uint8_t;
class TWinInetFTP;
struct TWinInetOutcome;

// Downloads one remote file: OnGetStatus for each 4096-byte chunk with the
// total before it, OnGetDone at the end. The worker reads and writes the
// file itself in blocks of at least BlockChunks chunks (`batch` when larger)
// or 10 ms of data, and posts each block's progress as one event without
// waiting for it. The file is written into a temporary file beside the
// target, which replaces the target only when the whole file has arrived and
// no cancel came first, also not from a handler of an event still queued.
class TThreadFTPFileGet : public FtpThread {
    Q_OBJECT
public:
    // resumable: the data goes into the target's partial file, kept when the
    // download does not complete, and goes on from it when it can. A small
    // file of a known listedSize is fetched whole instead, with no questions
    // first (see FtpOpenKnownFileA) and no partial file kept.
    TThreadFTPFileGet(TWinInetFTP *ftp, const QString &remoteFile, const QString &localFile,
        bool direct, int batch, bool resumable = false, int64_t listedSize = -1);
    ~TThreadFTPFileGet() override;

    static constexpr int BufferSize = 4096;
    static constexpr int BlockChunks = 256;

protected:
    void Execute() override;

private:
    void copyDirect(TWinInetOutcome &outcome);
    void copyChunked(TWinInetOutcome &outcome);
    void openTransfer(TWinInetOutcome &outcome, FTP_RESUME_POINT *point);
    void reportResumedAt(uint64_t offset);
    void receive(TWinInetOutcome &outcome);
    bool readBlock(TWinInetOutcome &outcome, DWORD &got);
    void reportChunks(DWORD size);
    void reportTotal();
    bool startOver();
    void closeTransfer(TWinInetOutcome &outcome);
    void settle(TWinInetError error);
    void finish(TWinInetOutcome &outcome);

    TWinInetFTP *ftp;
    QByteArray remoteFile;
    QString localFile;
    bool direct;
    int batch;
    bool resumable;
    int64_t listedSize;
    bool small = false; // fetched whole: see FtpOpenKnownFileA

    int64_t bytesTotal = 0; // what the handlers were told: user-interface thread only
    int64_t arrived = 0; // bytes handed over in blocks: user-interface thread only
    int64_t nextChunk = 0; // where the next chunk to announce begins: likewise
    int32_t statusCode = 0;
    HINTERNET transfer = nullptr;
    HINTERNET connection = nullptr;
    std::unique_ptr<DownloadFile> file; // the worker's, until the completion settles it
    bool restarted = false; // the layer started the download over from byte 0
    int settledError = 0; // the outcome once settled: user-interface thread only
    std::unique_ptr<char[]> buffer;
};
