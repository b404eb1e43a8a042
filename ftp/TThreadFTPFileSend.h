#pragma once

#include "ftp/FtpThread.h"
#include "ftp/WinInet.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class QFile;
class TWinInetFTP;
struct TWinInetOutcome;

// Uploads one local file: OnSendStatus after each chunk is read from the
// local file, OnSendDone at the end. The local file is read on the
// user-interface thread.
class TThreadFTPFileSend : public FtpThread {
    Q_OBJECT
public:
    TThreadFTPFileSend(
        TWinInetFTP *ftp, const QString &localFile, const QString &remoteFile, int batch);
    ~TThreadFTPFileSend() override;

    static constexpr int BufferSize = 4096;

protected:
    void Execute() override;

private:
    void openLocalFile();
    bool openTransfer(TWinInetOutcome &outcome);
    void readBatch();
    void sendAll(TWinInetOutcome &outcome);
    bool sendChunks(TWinInetOutcome &outcome);
    bool rewind();
    void finish(TWinInetOutcome &outcome);

    TWinInetFTP *ftp;
    QString localFile;
    QByteArray remoteFile;
    int batch;

    int64_t bytesTotal = 0; // the most sent so far: progress never goes back
    int64_t sentUpTo = 0; // where the data sent stands in the file
    int32_t statusCode = 0;
    HINTERNET transfer = nullptr;
    HINTERNET connection = nullptr;
    QFile *stream = nullptr; // lives on the user-interface thread
    std::unique_ptr<char[]> buffer;
    std::vector<qint64> chunkSizes; // bytes read for each chunk of the batch
};
