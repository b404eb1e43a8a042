#include "ftp/TThreadFTPFileDir.h"

#include "ftp/ResponseCapture.h"
#include "ftp/WinInetFTP.h"

#include <QElapsedTimer>

#include <memory>

TThreadFTPFileDir::TThreadFTPFileDir(TWinInetFTP *ftp, const QString &directory)
    : ftp(ftp), directory(directory.toUtf8())
{
}

void TThreadFTPFileDir::Execute()
{
    TWinInetOutcome outcome;
    statusCode = 3;
    ftp->reportStatus(this, statusCode);
    HINTERNET connection = ftp->hConnection.load();
    HINTERNET find = FtpFindFirstFileA(
        connection, directory.constData(), &entries[0], INTERNET_FLAG_RAW_DATA, 0);
    DWORD code = GetLastError();
    outcome.codeSet = true;
    outcome.code = int32_t(code);
    if (find)
        ftp->hFind.store(find);
    bool more = find != nullptr;
    while (more && !Terminated())
        more = readBatch(find, outcome, code);
    outcome.error = errNone;
    if (Terminated()) {
        outcome.error = errTerminated;
    } else if (listingFailed(code, outcome)) {
        outcome.error = errUnknown;
        if (TWinInetFTP::isConnectionLost(code))
            outcome.lostConnection = connection;
    }
    if (find) {
        // Disconnect may have let go of the field; the handle is still ours.
        HINTERNET held = find;
        ftp->hFind.compare_exchange_strong(held, nullptr);
        InternetCloseHandle(find);
    }
    statusCode = 99;
    ftp->reportStatus(this, statusCode);
    // A cancel may also come from a handler of an entry still queued.
    ftp->complete(
        this, outcome,
        [this] {
            if (ftp->OnDirDone)
                ftp->OnDirDone(ftp);
        },
        [this](TWinInetOutcome &settled) {
            if (Terminated())
                settled.error = errTerminated;
        });
}

// Reads ahead up to BatchSize entries (entry 0 is already there) and posts
// them as one event, in the server's order; OnDirEntry points into the
// event's own copy. A cancel or a newer request drops the entries not yet
// delivered. False when the listing has no more entries.
bool TThreadFTPFileDir::readBatch(HINTERNET find, TWinInetOutcome &outcome, DWORD &code)
{
    QElapsedTimer clock;
    clock.start();
    bool more = true;
    int count = 0;
    while (more && count < BatchSize) {
        ++count;
        more = InternetFindNextFileA(find, &entries[size_t(count)]);
        code = GetLastError();
        outcome.code = int32_t(code);
        if (clock.elapsed() >= MaxBatchMs)
            break;
    }
    auto batch
        = std::make_shared<std::vector<TWin32FindData>>(entries.begin(), entries.begin() + count);
    ftp->post(this, [this, batch] {
        for (TWin32FindData &entry : *batch) {
            if (ftp->dropsProgress(this))
                return;
            if (ftp->OnDirEntry)
                ftp->OnDirEntry(ftp, &entry);
        }
    });
    // The entry read last waits at the head of the next batch.
    if (more)
        entries[0] = entries[size_t(count)];
    return more;
}

// Only the end of the entries and a "550 no such file or folder" (an empty or
// missing folder) end a listing well; anything else (passive mode refused,
// 425, 426, 451, data cut, connection lost) means the folder was not listed,
// and the server's reply goes to LogonMessage.
bool TThreadFTPFileDir::listingFailed(DWORD code, TWinInetOutcome &outcome)
{
    if (code == ERROR_SUCCESS || code == ERROR_NO_MORE_FILES)
        return false;
    if (code == ERROR_INTERNET_EXTENDED_ERROR) {
        const ResponseCapture reply = ResponseCapture::take();
        if (reply.replyCode == 550)
            return false;
        outcome.replyLines += reply.lines;
    }
    return true;
}
