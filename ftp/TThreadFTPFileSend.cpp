#include "ftp/TThreadFTPFileSend.h"

#include "ftp/ResponseCapture.h"
#include "ftp/WinInetFTP.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <thread>

namespace {

// Progress held back for a batch reaches the user interface at least this often.
constexpr qint64 MaxBatchMs = 10;

} // namespace

TThreadFTPFileSend::TThreadFTPFileSend(
    TWinInetFTP *ftp, const QString &localFile, const QString &remoteFile, int batch)
    : ftp(ftp), localFile(localFile), remoteFile(remoteFile.toUtf8()), batch(qBound(1, batch, 16))
{
}

TThreadFTPFileSend::~TThreadFTPFileSend()
{
    delete stream;
}

void TThreadFTPFileSend::Execute()
{
    TWinInetOutcome outcome;
    connection = ftp->hConnection.load();
    statusCode = 4;
    ftp->reportStatus(this, statusCode);
    ftp->handOff(this, [this] {
        if (ftp->OnSendStatus)
            ftp->OnSendStatus(ftp, 0);
    });
    openLocalFile();
    if (!stream)
        outcome.error = errFileNotFound;
    else if (openTransfer(outcome))
        sendAll(outcome);
    finish(outcome);
}

void TThreadFTPFileSend::openLocalFile()
{
    Synchronize([this] {
        auto *file = new QFile(localFile);
        if (file->open(QIODevice::ReadOnly))
            stream = file;
        else
            delete file;
    });
}

bool TThreadFTPFileSend::openTransfer(TWinInetOutcome &outcome)
{
    transfer = FtpOpenFileA(
        connection, remoteFile.constData(), GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    const DWORD code = GetLastError();
    outcome.codeSet = true;
    outcome.code = int32_t(code);
    if (transfer)
        ftp->hTransfer.store(transfer);
    if (Terminated()) {
        outcome.error = errTerminated;
        return false;
    }
    if (code == ERROR_INTERNET_EXTENDED_ERROR)
        outcome.replyLines += ResponseCapture::take().lines;
    if (!transfer) {
        outcome.error = code == ERROR_INTERNET_EXTENDED_ERROR ? errNoRights : errBadSaveFile;
        if (TWinInetFTP::isConnectionLost(code))
            outcome.lostConnection = connection;
        return false;
    }
    return true;
}

// One hand-off: the progress held back so far, then the next chunks of the
// local file, then the progress event that follows the first of those reads.
// A read that finds the end (or fails) ends the batch.
void TThreadFTPFileSend::readBatch()
{
    ftp->handOff(this, [this] {
        chunkSizes.clear();
        for (int i = 0; i < batch; ++i) {
            const qint64 got = stream->read(buffer.get() + size_t(i) * BufferSize, BufferSize);
            chunkSizes.push_back(got);
            if (got <= 0)
                break;
        }
        if (ftp->OnSendStatus)
            ftp->OnSendStatus(ftp, bytesTotal);
    });
}

// Sends the file, then asks the server's verdict. A connection dropped on
// the way is taken up again by the layer once: the file is read again from
// the offset it names.
void TThreadFTPFileSend::sendAll(TWinInetOutcome &outcome)
{
    buffer = std::make_unique<char[]>(size_t(BufferSize) * batch);
    for (;;) {
        const bool resume = sendChunks(outcome);
        if (!resume && outcome.error != errNone)
            return;
        if (!resume) {
            if (FtpCommitFileA(transfer) || GetLastError() != ERROR_FTP_RESUME_UPLOAD)
                return; // closing the handle reports the verdict
        }
        if (!rewind()) {
            outcome.error = errUnknown;
            return;
        }
    }
}

// The local file again from where the layer goes on. The count stays where
// it was: bytes sent a second time are not progress.
bool TThreadFTPFileSend::rewind()
{
    uint64_t offset = 0;
    DWORD length = sizeof offset;
    if (!InternetQueryOptionA(transfer, INTERNET_OPTION_FTP_RESUME_OFFSET, &offset, &length))
        return false;
    bool ok = false;
    Synchronize([this, offset, &ok] { ok = stream->seek(qint64(offset)); });
    sentUpTo = int64_t(offset);
    return ok;
}

// True when the layer asks for the data again from an offset.
bool TThreadFTPFileSend::sendChunks(TWinInetOutcome &outcome)
{
    readBatch();
    QElapsedTimer sinceHandOff;
    sinceHandOff.start();
    size_t index = 0;
    setDeferring(true);
    while (chunkSizes[index] > 0) {
        const DWORD size = DWORD(chunkSizes[index]);
        DWORD written = 0;
        InternetWriteFile(transfer, buffer.get() + index * BufferSize, size, &written);
        if (written == 0 || written != size) {
            const DWORD code = GetLastError();
            if (code == ERROR_FTP_RESUME_UPLOAD && !Terminated()) {
                setDeferring(false);
                return true;
            }
            outcome.error = errBadSaveFile;
            if (TWinInetFTP::isConnectionLost(code))
                outcome.lostConnection = connection;
            break;
        }
        sentUpTo += written;
        bytesTotal = std::max(bytesTotal, sentUpTo);
        if (Terminated()) {
            outcome.error = errTerminated;
            break;
        }
        if (++index < chunkSizes.size()) {
            const int64_t total = bytesTotal;
            ftp->postEvent(this, [this, total] {
                if (ftp->OnSendStatus)
                    ftp->OnSendStatus(ftp, total);
                return true;
            });
            if (sinceHandOff.elapsed() >= MaxBatchMs) {
                Synchronize(nullptr);
                sinceHandOff.restart();
            }
            continue;
        }
        // Give way once per hand-off: the worker runs at idle priority anyway.
        std::this_thread::yield();
        readBatch();
        sinceHandOff.restart();
        index = 0;
    }
    setDeferring(false);
    if (outcome.error == errNone && chunkSizes[index] < 0)
        outcome.error = errUnknown; // the local file could not be read to its end
    return false;
}

void TThreadFTPFileSend::finish(TWinInetOutcome &outcome)
{
    if (transfer) {
        HINTERNET held = transfer;
        ftp->hTransfer.compare_exchange_strong(held, nullptr);
        // Closing waits for the server's verdict on the whole file.
        if (!InternetCloseHandle(transfer) && outcome.error == errNone && !Terminated()) {
            outcome.error = errUnknown;
            outcome.code = int32_t(GetLastError());
            if (DWORD(outcome.code) == ERROR_INTERNET_EXTENDED_ERROR)
                outcome.replyLines += ResponseCapture::take().lines;
        }
        transfer = nullptr;
    }
    Synchronize([this] {
        delete stream;
        stream = nullptr;
    });
    if (Terminated())
        outcome.error = errTerminated;
    std::this_thread::yield();
    buffer.reset();
    statusCode = 99;
    ftp->reportStatus(this, statusCode);
    ftp->handOff(this, [this] {
        if (ftp->OnSendStatus)
            ftp->OnSendStatus(ftp, bytesTotal);
    });
    ftp->busy[TWinInetFTP::kSend].store(false);
    ftp->complete(this, outcome, [this] {
        if (ftp->OnSendDone)
            ftp->OnSendDone(ftp, bytesTotal);
    });
}
