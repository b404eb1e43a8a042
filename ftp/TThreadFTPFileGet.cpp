#include "ftp/TThreadFTPFileGet.h"

#include "ftp/ResponseCapture.h"
#include "ftp/WinInetFTP.h"

#include <QElapsedTimer>
#include <QSaveFile>

#include <thread>

namespace {

// A batch never holds data back from the user interface for longer.
constexpr qint64 MaxBatchMs = 10;

} // namespace

TThreadFTPFileGet::TThreadFTPFileGet(TWinInetFTP *ftp, const QString &remoteFile,
                                     const QString &localFile, bool direct, int batch)
    : ftp(ftp)
    , remoteFile(remoteFile.toUtf8())
    , localFile(localFile)
    , direct(direct)
    , batch(qBound(1, batch, 16))
{
}

TThreadFTPFileGet::~TThreadFTPFileGet()
{
    delete stream;
}

void TThreadFTPFileGet::Execute()
{
    TWinInetOutcome outcome;
    connection = ftp->hConnection.load();
    statusCode = 3;
    ftp->reportStatus(this, statusCode);
    ftp->handOff(this, [this] {
        if (ftp->OnGetStatus)
            ftp->OnGetStatus(ftp, 0);
    });
    if (direct)
        copyDirect(outcome);
    else
        copyChunked(outcome);
    finish(outcome);
}

void TThreadFTPFileGet::copyDirect(TWinInetOutcome &outcome)
{
    const QByteArray local = localFile.toUtf8();
    const BOOL copied = FtpGetFileA(connection, remoteFile.constData(), local.constData(), 0,
                                    FILE_FLAG_WRITE_THROUGH, FTP_TRANSFER_TYPE_BINARY, 0);
    const DWORD code = GetLastError();
    outcome.codeSet = true;
    outcome.code = int32_t(code);
    outcome.error = copied ? errNone : errFileNotFound;
    if (!copied && TWinInetFTP::isConnectionLost(code))
        outcome.lostConnection = connection;
}

void TThreadFTPFileGet::openTransfer(TWinInetOutcome &outcome)
{
    transfer = FtpOpenFileA(connection, remoteFile.constData(), GENERIC_READ,
                            FTP_TRANSFER_TYPE_BINARY, 0);
    const DWORD code = GetLastError();
    outcome.codeSet = true;
    outcome.code = int32_t(code);
    if (transfer)
        ftp->hTransfer.store(transfer);
    if (Terminated())
        return;
    if (code == ERROR_INTERNET_EXTENDED_ERROR)
        outcome.replyLines += ResponseCapture::take().lines;
    if (!transfer) {
        outcome.error = errFileNotFound;
        if (TWinInetFTP::isConnectionLost(code))
            outcome.lostConnection = connection;
    }
}

void TThreadFTPFileGet::createLocalFile()
{
    Synchronize([this] {
        auto *file = new QSaveFile(localFile);
        if (file->open(QIODevice::WriteOnly))
            stream = file;
        else
            delete file;
    });
}

void TThreadFTPFileGet::copyChunked(TWinInetOutcome &outcome)
{
    openTransfer(outcome);
    if (Terminated() || !transfer)
        return;
    createLocalFile();
    if (!stream) {
        outcome.error = errBadSaveFile;
        return;
    }
    if (Terminated()) {
        outcome.error = errTerminated;
        return;
    }
    buffer = std::make_unique<char[]>(size_t(BufferSize) * batch);
    receive(outcome);
}

// Runs on the user-interface thread, once per chunk, in the order read.
bool TThreadFTPFileGet::writeChunk(const char *data, DWORD size)
{
    if (ftp->OnGetStatus)
        ftp->OnGetStatus(ftp, bytesTotal);
    const qint64 written = stream->write(data, size);
    if (written <= 0 || written != qint64(size)) {
        writeFailed = true;
        return false;
    }
    bytesTotal += written;
    return !Terminated();
}

// Reads up to `batch` chunks, queueing each chunk's progress event and write
// for one hand-off. False when a read failed.
bool TThreadFTPFileGet::readBatch(TWinInetOutcome &outcome, bool &atEnd)
{
    QElapsedTimer clock;
    clock.start();
    setDeferring(true);
    bool ok = true;
    for (int i = 0; i < batch; ++i) {
        char *chunk = buffer.get() + size_t(i) * BufferSize;
        DWORD got = 0;
        ok = InternetReadFile(transfer, chunk, BufferSize, &got);
        if (!ok) {
            const DWORD code = GetLastError();
            outcome.code = int32_t(code);
            if (code == ERROR_INTERNET_EXTENDED_ERROR)
                outcome.replyLines += ResponseCapture::take().lines;
            break;
        }
        if (got == 0) {
            atEnd = true;
            break;
        }
        ftp->postEvent(this, [this, chunk, got] { return writeChunk(chunk, got); });
        if (clock.elapsed() >= MaxBatchMs)
            break;
    }
    setDeferring(false);
    return ok;
}

void TThreadFTPFileGet::receive(TWinInetOutcome &outcome)
{
    for (;;) {
        bool atEnd = false;
        const bool readOk = readBatch(outcome, atEnd);
        if (PostedCount() > 0)
            Synchronize(nullptr);
        // Give way once per hand-off: the worker runs at idle priority anyway.
        std::this_thread::yield();
        if (writeFailed) {
            outcome.error = errBadSaveFile;
            return;
        }
        if (Terminated())
            return;
        if (!readOk) {
            // The data stopped before the server confirmed the end: the file
            // is incomplete, not finished.
            outcome.error = errUnknown;
            if (TWinInetFTP::isConnectionLost(DWORD(outcome.code)))
                outcome.lostConnection = connection;
            return;
        }
        if (atEnd) {
            outcome.error = errNone;
            return;
        }
    }
}

void TThreadFTPFileGet::finish(TWinInetOutcome &outcome)
{
    if (transfer) {
        HINTERNET held = transfer;
        ftp->hTransfer.compare_exchange_strong(held, nullptr);
        // Closing reads the server's final reply: a refusal there means the
        // data did not all arrive.
        if (!InternetCloseHandle(transfer) && outcome.error == errNone && !Terminated()) {
            outcome.error = errUnknown;
            outcome.code = int32_t(GetLastError());
            if (DWORD(outcome.code) == ERROR_INTERNET_EXTENDED_ERROR)
                outcome.replyLines += ResponseCapture::take().lines;
        }
        transfer = nullptr;
    }
    if (stream) {
        Synchronize([this, &outcome] {
            if (outcome.error == errNone && !Terminated()) {
                if (!stream->commit())
                    outcome.error = errBadSaveFile;
            } else {
                stream->cancelWriting();
            }
            delete stream;  // an uncommitted save file takes its temporary file along
            stream = nullptr;
        });
    }
    if (Terminated())
        outcome.error = errTerminated;
    std::this_thread::yield();
    buffer.reset();
    statusCode = 99;
    ftp->reportStatus(this, statusCode);
    ftp->handOff(this, [this] {
        if (ftp->OnGetStatus)
            ftp->OnGetStatus(ftp, bytesTotal);
    });
    ftp->busy[TWinInetFTP::kGet].store(false);
    ftp->complete(this, outcome, [this] {
        if (ftp->OnGetDone)
            ftp->OnGetDone(ftp, bytesTotal);
    });
}
