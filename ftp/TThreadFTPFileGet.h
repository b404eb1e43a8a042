#pragma once

#include "ftp/FtpThread.h"
#include "ftp/WinInet.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QSaveFile;
class TWinInetFTP;
struct TWinInetOutcome;

// Downloads one remote file: OnGetStatus before each chunk is written,
// OnGetDone at the end. The local file is written on the user-interface
// thread into a temporary file beside the target, which replaces the target
// only when the whole file has arrived.
class TThreadFTPFileGet : public FtpThread {
    Q_OBJECT
public:
    TThreadFTPFileGet(TWinInetFTP *ftp, const QString &remoteFile, const QString &localFile,
                      bool direct, int batch);
    ~TThreadFTPFileGet() override;

    static constexpr int BufferSize = 4096;

protected:
    void Execute() override;

private:
    void copyDirect(TWinInetOutcome &outcome);
    void copyChunked(TWinInetOutcome &outcome);
    void openTransfer(TWinInetOutcome &outcome);
    void createLocalFile();
    void receive(TWinInetOutcome &outcome);
    bool readBatch(TWinInetOutcome &outcome, bool &atEnd);
    bool writeChunk(const char *data, DWORD size);
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
    QSaveFile *stream = nullptr;  // lives on the user-interface thread
    std::unique_ptr<char[]> buffer;
    bool writeFailed = false;
};
