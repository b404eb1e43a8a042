#include "ftp/TThreadFTPFileSend.h"

#include "ftp/ResponseCapture.h"
#include "ftp/WinInetFTP.h"

#include <QFile>

#include <algorithm>
#include <thread>

namespace {

// Progress held back for a batch reaches the user interface at least this often.
constexpr qint64 MaxBatchMs = 10;

// Chunks read from the file and handed to the layer at once: as many as the
// layer sends in one block (and a multiple of that of the other protocol), so
// a failed send shows at the very chunk it would show at one by one.
constexpr qint64 GroupChunks = 16;

} // namespace

TThreadFTPFileSend::TThreadFTPFileSend(TWinInetFTP *ftp, const QString &localFile,
    const QString &remoteFile, int batch, bool makeParents, bool sizeKnown)
    : ftp(ftp), localFile(localFile), remoteFile(remoteFile.toUtf8()), batch(qBound(1, batch, 16)),
      makeParents(makeParents), sizeKnown(sizeKnown)
{
}

TThreadFTPFileSend::~TThreadFTPFileSend() = default;

void TThreadFTPFileSend::Execute()
{
    TWinInetOutcome outcome;
    connection = ftp->hConnection.load();
    statusCode = 4;
    ftp->reportStatus(this, statusCode);
    ftp->post(this, [this] {
        if (ftp->OnSendStatus)
            ftp->OnSendStatus(ftp, 0);
    });
    auto file = std::make_unique<QFile>(localFile);
    // Unbuffered: the groups are read straight into the worker's buffer.
    if (file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        stream = std::move(file);
    if (stream && makeParents && connection)
        ftp->remoteFolders.makeParents(connection, remoteFile);
    if (!stream)
        outcome.error = errFileNotFound;
    else if (openTransfer(outcome))
        sendAll(outcome);
    finish(outcome);
}

bool TThreadFTPFileSend::openTransfer(TWinInetOutcome &outcome)
{
    const qint64 size = sizeKnown ? stream->size() : 0;
    transfer = size > 0
        ? FtpOpenKnownFileA(connection, remoteFile.constData(), GENERIC_WRITE, uint64_t(size), 0)
        : FtpOpenFileA(
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

// Sends the file, then asks the server's verdict. A connection dropped on
// the way is taken up again by the layer once: the file is read again from
// the offset it names.
void TThreadFTPFileSend::sendAll(TWinInetOutcome &outcome)
{
    buffer = std::make_unique<char[]>(size_t(BufferSize * GroupChunks));
    sincePost.start();
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
    sentUpTo = int64_t(offset);
    return stream->seek(qint64(offset));
}

// The progress event that follows a read of the local file.
void TThreadFTPFileSend::noteRead(qint64 got)
{
    pending.push_back(
        { bytesTotal, std::max<int64_t>(bytesTotal, sentUpTo + std::max<qint64>(got, 0)) });
    if (int(pending.size()) >= batch || sincePost.elapsed() >= MaxBatchMs)
        postProgress();
}

// On the user-interface thread the events are dropped from the first one
// that finds the upload cancelled (also by a handler of this batch).
void TThreadFTPFileSend::postProgress()
{
    if (pending.empty())
        return;
    ftp->post(this, [this, events = std::move(pending)] {
        for (const Progress &p : events) {
            if (ftp->dropsProgress(this))
                return;
            if (ftp->OnSendStatus)
                ftp->OnSendStatus(ftp, p.reported);
            deliveredAfter = p.after;
        }
    });
    pending.clear();
    sincePost.restart();
}

// A group of chunks from the file; fewer bytes only at its end, -1 when
// nothing could be read.
qint64 TThreadFTPFileSend::readGroup()
{
    qint64 got = 0;
    while (got < BufferSize * GroupChunks) {
        const qint64 n = stream->read(buffer.get() + got, BufferSize * GroupChunks - got);
        if (n <= 0)
            return got > 0 || n == 0 ? got : -1;
        got += n;
    }
    return got;
}

// True when the layer asks for the data again from an offset. Each chunk of
// a group has its event and its count, as when sent one by one; a failed
// send is the group's last chunk's.
bool TThreadFTPFileSend::sendChunks(TWinInetOutcome &outcome)
{
    for (;;) {
        const qint64 got = readGroup();
        if (got <= 0) {
            noteRead(got);
            if (got < 0)
                outcome.error = errUnknown; // the local file could not be read to its end
            break;
        }
        int64_t totalBeforeLast = bytesTotal;
        qint64 last = 0;
        for (qint64 at = 0; at < got; at += last) {
            last = std::min<qint64>(BufferSize, got - at);
            noteRead(last);
            totalBeforeLast = bytesTotal;
            sentUpTo += last;
            bytesTotal = std::max(bytesTotal, sentUpTo);
        }
        DWORD written = 0;
        InternetWriteFile(transfer, buffer.get(), DWORD(got), &written);
        if (written != DWORD(got)) {
            sentUpTo -= last;
            bytesTotal = totalBeforeLast;
            const DWORD code = GetLastError();
            if (code == ERROR_FTP_RESUME_UPLOAD && !Terminated()) {
                postProgress();
                return true;
            }
            outcome.error = errBadSaveFile;
            if (TWinInetFTP::isConnectionLost(code))
                outcome.lostConnection = connection;
            break;
        }
        if (Terminated()) {
            outcome.error = errTerminated;
            break;
        }
    }
    postProgress();
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
    stream.reset();
    if (Terminated())
        outcome.error = errTerminated;
    std::this_thread::yield();
    buffer.reset();
    statusCode = 99;
    // A cancel that came while the events were on their way counts as one
    // the worker saw after the chunk whose progress was handled last.
    ftp->post(this, [this, sent = bytesTotal] {
        if (Terminated()) {
            bytesTotal = std::min(sent, deliveredAfter);
        }
        ftp->fireStatus(statusCode);
        if (ftp->OnSendStatus)
            ftp->OnSendStatus(ftp, bytesTotal);
    });
    ftp->complete(
        this, outcome,
        [this] {
            if (ftp->OnSendDone)
                ftp->OnSendDone(ftp, bytesTotal);
        },
        [this](TWinInetOutcome &settled) {
            if (Terminated())
                settled.error = errTerminated;
        });
}
