#include "ftp/TThreadFTPFileGet.h"

#include "ftp/ResponseCapture.h"
#include "ftp/WinInetFTP.h"

#include <QElapsedTimer>
#include <QSaveFile>

#include <algorithm>
#include <thread>

#include <fcntl.h>

namespace {

// A block never holds data back from the user interface for longer.
constexpr qint64 MaxBlockMs = 10;

} // namespace

TThreadFTPFileGet::TThreadFTPFileGet(
    TWinInetFTP *ftp, const QString &remoteFile, const QString &localFile, bool direct, int batch)
    : ftp(ftp), remoteFile(remoteFile.toUtf8()), localFile(localFile), direct(direct),
      batch(qBound(BlockChunks, batch, 1024))
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
    transfer = FtpOpenFileA(
        connection, remoteFile.constData(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
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

// The worker writes the file itself, in whole blocks: the user-interface
// thread only sees the progress events.
void TThreadFTPFileGet::createLocalFile()
{
    auto file = std::make_unique<QSaveFile>(localFile);
    if (file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        stream = file.release();
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

// On the user-interface thread: the progress events of a block, one per
// 4096-byte chunk, each with the total before its chunk. A cancel seen
// after a chunk drops the rest of the block's events.
void TThreadFTPFileGet::reportChunks(DWORD size)
{
    for (DWORD done = 0; done < size;) {
        const DWORD chunk = std::min<DWORD>(size - done, BufferSize);
        if (ftp->OnGetStatus)
            ftp->OnGetStatus(ftp, bytesTotal);
        bytesTotal += chunk;
        done += chunk;
        if (Terminated())
            return;
    }
}

// Reads up to a block of `batch` chunks, one call per chunk (the layer
// receives in far larger blocks), stopping early at the end of the data, at
// a failure, at a cancel, or after MaxBlockMs or when no more data comes
// within it, so that a slow or stalled server's data still shows soon. got
// is 0 only at the end. False when a read failed.
bool TThreadFTPFileGet::readBlock(TWinInetOutcome &outcome, DWORD &got)
{
    QElapsedTimer clock;
    clock.start();
    got = 0;
    for (int i = 0; i < batch; ++i) {
        // Bytes that came before a stall are shown, not held until it ends.
        const qint64 left = MaxBlockMs - clock.elapsed();
        if (got > 0 && !FtpWaitForData(transfer, DWORD(std::max<qint64>(left, 0))))
            break;
        DWORD chunk = 0;
        if (!FtpReadAvailable(transfer, buffer.get() + got, BufferSize, &chunk)) {
            const DWORD code = GetLastError();
            if (code == ERROR_FTP_TRANSFER_RESTARTED) {
                got = 0; // this block belongs to the attempt given up
                restarted = true;
                return true;
            }
            outcome.code = int32_t(code);
            if (code == ERROR_INTERNET_EXTENDED_ERROR)
                outcome.replyLines += ResponseCapture::take().lines;
            return false;
        }
        got += chunk;
        // A read of nothing is the end of the data.
        if (chunk == 0 || Terminated() || clock.elapsed() >= MaxBlockMs)
            break;
    }
    return true;
}

// The file is synced before it replaces the old one; starting the disk's
// work as each block arrives keeps that final sync short.
void TThreadFTPFileGet::startWriteback(DWORD size)
{
    ::sync_file_range(stream->handle(), written, size, SYNC_FILE_RANGE_WRITE);
    written += size;
}

void TThreadFTPFileGet::receive(TWinInetOutcome &outcome)
{
    for (;;) {
        DWORD got = 0;
        const bool readOk = readBlock(outcome, got);
        if (restarted) {
            restarted = false;
            if (!startOver()) {
                outcome.error = errBadSaveFile;
                return;
            }
            continue;
        }
        if (got > 0 && stream->write(buffer.get(), got) != qint64(got)) {
            // The chunk whose write failed was announced, as it was begun.
            ftp->handOff(this, [this] {
                if (ftp->OnGetStatus)
                    ftp->OnGetStatus(ftp, bytesTotal);
            });
            outcome.error = errBadSaveFile;
            return;
        }
        if (got > 0) {
            startWriteback(got);
            ftp->handOff(this, [this, got] { reportChunks(got); });
        }
        // Give way once per block: the worker runs at idle priority anyway.
        std::this_thread::yield();
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
        if (got == 0) {
            outcome.error = errNone;
            return;
        }
    }
}

// The layer could not resume and fetches the file again from its start:
// the temporary file and the count begin anew.
bool TThreadFTPFileGet::startOver()
{
    if (!stream->seek(0) || !stream->resize(0))
        return false;
    written = 0;
    ftp->handOff(this, [this] {
        bytesTotal = 0;
        if (ftp->OnGetStatus)
            ftp->OnGetStatus(ftp, 0);
    });
    return true;
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
        if (outcome.error == errNone && !Terminated()) {
            if (!stream->commit())
                outcome.error = errBadSaveFile;
        } else {
            stream->cancelWriting();
        }
        delete stream; // an uncommitted save file takes its temporary file along
        stream = nullptr;
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
