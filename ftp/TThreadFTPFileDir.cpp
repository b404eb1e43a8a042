#include "ftp/TThreadFTPFileDir.h"

#include "ftp/ResponseCapture.h"
#include "ftp/WinInetFTP.h"

#include <QElapsedTimer>

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
    ftp->complete(this, outcome, [this] {
        if (ftp->OnDirDone)
            ftp->OnDirDone(ftp);
    });
}

// Delivers entry `index` of the batch, unless the listing was cancelled
// meanwhile: then it and the rest of the batch are dropped.
bool TThreadFTPFileDir::deliver(int index)
{
    if (Terminated())
        return false;
    if (ftp->OnDirEntry)
        ftp->OnDirEntry(ftp, &entries[size_t(index)]);
    return true;
}

// Reads ahead up to BatchSize entries (entry 0 is already there) and queues
// their OnDirEntry events for one hand-off, in the server's order. False when
// the listing has no more entries.
bool TThreadFTPFileDir::readBatch(HINTERNET find, TWinInetOutcome &outcome, DWORD &code)
{
    QElapsedTimer clock;
    clock.start();
    setDeferring(true);
    bool more = true;
    int count = 0;
    while (more && count < BatchSize) {
        ftp->postEvent(this, [this, count] { return deliver(count); });
        ++count;
        more = InternetFindNextFileA(find, &entries[size_t(count)]);
        code = GetLastError();
        outcome.code = int32_t(code);
        if (clock.elapsed() >= MaxBatchMs)
            break;
    }
    setDeferring(false);
    if (PostedCount() > 0)
        Synchronize(nullptr);
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
