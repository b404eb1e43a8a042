#include "ftp/TThreadFTPFileGet.h"

#include "ftp/DownloadFile.h"
#include "ftp/ResponseCapture.h"
#include "ftp/WinInetFTP.h"

#include <QElapsedTimer>

#include <algorithm>
#include <thread>

namespace {

// A block never holds data back from the user interface for longer.
constexpr qint64 MaxBlockMs = 10;

} // namespace

TThreadFTPFileGet::TThreadFTPFileGet(TWinInetFTP *ftp, const QString &remoteFile,
    const QString &localFile, bool direct, int batch, bool resumable, int64_t listedSize)
    : ftp(ftp), remoteFile(remoteFile.toUtf8()), localFile(localFile), direct(direct),
      batch(qBound(BlockChunks, batch, 1024)), resumable(resumable), listedSize(listedSize)
{
}

TThreadFTPFileGet::~TThreadFTPFileGet() = default;

void TThreadFTPFileGet::Execute()
{
    TWinInetOutcome outcome;
    connection = ftp->hConnection.load();
    statusCode = 3;
    ftp->reportStatus(this, statusCode);
    reportTotal();
    if (direct)
        copyDirect(outcome);
    else
        copyChunked(outcome);
    finish(outcome);
}

void TThreadFTPFileGet::reportTotal()
{
    ftp->post(this, [this] {
        if (ftp->OnGetStatus)
            ftp->OnGetStatus(ftp, bytesTotal);
    });
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

void TThreadFTPFileGet::openTransfer(TWinInetOutcome &outcome, FTP_RESUME_POINT *point)
{
    if (point)
        transfer = FtpOpenFileResumeA(connection, remoteFile.constData(), point, 0);
    else if (small)
        transfer = FtpOpenKnownFileA(
            connection, remoteFile.constData(), GENERIC_READ, uint64_t(listedSize), 0);
    else
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

void TThreadFTPFileGet::copyChunked(TWinInetOutcome &outcome)
{
    // A small file is fetched again whole rather than resumed: a partial
    // file of it would be worth less than the questions that prove it.
    small = resumable && listedSize > 0 && uint64_t(listedSize) < FTP_SMALL_FILE;
    if (small)
        resumable = false;
    const auto kind = resumable ? DownloadFile::Kind::Resumable : DownloadFile::Kind::Temporary;
    auto local = std::make_unique<DownloadFile>(localFile, kind);
    FTP_RESUME_POINT point = local->resumePoint();
    openTransfer(outcome, resumable ? &point : nullptr);
    if (Terminated() || !transfer)
        return;
    file = std::move(local);
    if (!(resumable ? file->openResumable(point) : file->open())) {
        file.reset();
        outcome.error = errBadSaveFile;
        return;
    }
    if (Terminated()) {
        outcome.error = errTerminated;
        return;
    }
    if (point.offset > 0)
        reportResumedAt(point.offset);
    buffer = std::make_unique<char[]>(size_t(BufferSize) * batch);
    receive(outcome);
}

// The bytes of the partial file count as arrived: progress goes on from them.
void TThreadFTPFileGet::reportResumedAt(uint64_t offset)
{
    ftp->post(this, [this, offset] {
        arrived = bytesTotal = int64_t(offset);
        nextChunk = (arrived + BufferSize - 1) / BufferSize * BufferSize;
        if (ftp->OnGetStatus)
            ftp->OnGetStatus(ftp, bytesTotal);
    });
}

// On the user-interface thread: the progress events of a block, one per
// 4096-byte chunk begun, each with the total before its chunk. Reads may end
// anywhere, so the chunks are counted from the start of the file. A cancel
// (also one from a handler of this block) drops the rest.
void TThreadFTPFileGet::reportChunks(DWORD size)
{
    arrived += size;
    while (nextChunk < arrived && !ftp->dropsProgress(this)) {
        if (ftp->OnGetStatus)
            ftp->OnGetStatus(ftp, nextChunk);
        nextChunk += BufferSize;
    }
    bytesTotal = std::min(nextChunk, arrived);
}

// Reads up to a block of `batch` chunks, each call taking whatever has come
// up to the rest of the block (the progress events are counted from the
// bytes, not from the calls), stopping early at the end of the data, at
// a failure, at a cancel, or after MaxBlockMs or when no more data comes
// within it, so that a slow or stalled server's data still shows soon. got
// is 0 only at the end. False when a read failed.
bool TThreadFTPFileGet::readBlock(TWinInetOutcome &outcome, DWORD &got)
{
    QElapsedTimer clock;
    clock.start();
    got = 0;
    const DWORD capacity = DWORD(BufferSize) * DWORD(batch);
    while (got < capacity) {
        // Bytes that came before a stall are shown, not held until it ends.
        const qint64 left = MaxBlockMs - clock.elapsed();
        if (got > 0 && !FtpWaitForData(transfer, DWORD(std::max<qint64>(left, 0))))
            break;
        DWORD chunk = 0;
        if (!FtpReadAvailable(transfer, buffer.get() + got, capacity - got, &chunk)) {
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
        if (got > 0 && !file->write(buffer.get(), got)) {
            // The chunk whose write failed was announced, as it was begun.
            reportTotal();
            outcome.error = errBadSaveFile;
            return;
        }
        if (got > 0)
            ftp->post(this, [this, got] { reportChunks(got); });
        // Give way once per block: the worker runs at a low priority anyway.
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
    if (!file->restart())
        return false;
    ftp->post(this, [this] {
        bytesTotal = arrived = nextChunk = 0;
        if (ftp->OnGetStatus)
            ftp->OnGetStatus(ftp, 0);
    });
    return true;
}

void TThreadFTPFileGet::closeTransfer(TWinInetOutcome &outcome)
{
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

// On the user-interface thread, before the first event of the ending: the
// whole file takes the target's name unless a cancel came meanwhile (the
// worker may have finished before a handler asked for it).
void TThreadFTPFileGet::settle(TWinInetError error)
{
    if (Terminated())
        error = errTerminated;
    if (file && error == errNone && !file->commit())
        error = errBadSaveFile;
    file.reset(); // whatever was not committed goes
    settledError = int(error);
}

void TThreadFTPFileGet::finish(TWinInetOutcome &outcome)
{
    if (transfer)
        closeTransfer(outcome);
    if (Terminated())
        outcome.error = errTerminated;
    if (file) {
        if (outcome.error != errNone)
            file->discard();
        else if (!file->finishWriting())
            outcome.error = errBadSaveFile;
        else if (small) // what an earlier run left of the file is of no more use
            DownloadFile::removePartial(localFile);
    }
    std::this_thread::yield();
    buffer.reset();
    statusCode = 99;
    ftp->post(this, [this, error = outcome.error] {
        settle(error);
        ftp->fireStatus(statusCode);
    });
    reportTotal();
    ftp->complete(
        this, outcome,
        [this] {
            if (ftp->OnGetDone)
                ftp->OnGetDone(ftp, bytesTotal);
        },
        [this](TWinInetOutcome &settled) { settled.error = TWinInetError(settledError); });
}
