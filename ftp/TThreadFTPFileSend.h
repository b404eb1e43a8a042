#pragma once

#include "ftp/FtpThread.h"
#include "ftp/WinInet.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <memory>
#include <vector>

class QFile;
class TWinInetFTP;
struct TWinInetOutcome;

// Uploads one local file: OnSendStatus after each chunk is read from the
// local file, OnSendDone at the end. The worker reads the file itself and
// posts the progress of `batch` chunks (or 10 ms) as one event.
class TThreadFTPFileSend : public FtpThread {
    Q_OBJECT
public:
    // sizeKnown: the local file's size stands for what the server is asked
    // before a small file (see FtpOpenKnownFileA).
    TThreadFTPFileSend(TWinInetFTP *ftp, const QString &localFile, const QString &remoteFile,
        int batch, bool makeParents = false, bool sizeKnown = false);
    ~TThreadFTPFileSend() override;

    static constexpr int BufferSize = 4096;

protected:
    void Execute() override;

private:
    // One progress event: the total it reports, and the total once its chunk is sent.
    struct Progress {
        int64_t reported;
        int64_t after;
    };

    bool openTransfer(TWinInetOutcome &outcome);
    void sendAll(TWinInetOutcome &outcome);
    bool sendChunks(TWinInetOutcome &outcome);
    qint64 readGroup();
    void noteRead(qint64 got);
    void postProgress();
    bool rewind();
    void finish(TWinInetOutcome &outcome);

    TWinInetFTP *ftp;
    QString localFile;
    QByteArray remoteFile;
    int batch;
    bool makeParents;
    bool sizeKnown;

    int64_t bytesTotal = 0; // the most sent so far: progress never goes back
    int64_t sentUpTo = 0; // where the data sent stands in the file
    int64_t deliveredAfter = 0; // user-interface thread: what the handlers saw, plus its chunk
    int32_t statusCode = 0;
    HINTERNET transfer = nullptr;
    HINTERNET connection = nullptr;
    std::unique_ptr<QFile> stream;
    std::unique_ptr<char[]> buffer;
    std::vector<Progress> pending; // progress not posted yet
    QElapsedTimer sincePost;
};
