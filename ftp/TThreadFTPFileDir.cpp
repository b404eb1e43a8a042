#include "ftp/TThreadFTPFileDir.h"

#include "ftp/ResponseCapture.h"
#include "ftp/WinInetFTP.h"

TThreadFTPFileDir::TThreadFTPFileDir(TWinInetFTP *ftp, const QString &directory)
    : ftp(ftp)
    , directory(directory.toUtf8())
{
}

void TThreadFTPFileDir::Execute()
{
    TWinInetOutcome outcome;
    statusCode = 3;
    ftp->reportStatus(this, statusCode);
    HINTERNET connection = ftp->hConnection.load();
    HINTERNET find = FtpFindFirstFileA(connection, directory.constData(), &findData,
                                       INTERNET_FLAG_RAW_DATA, 0);
    DWORD code = GetLastError();
    outcome.codeSet = true;
    outcome.code = int32_t(code);
    if (find)
        ftp->hFind.store(find);
    bool more = true;
    bool cancelled = false;
    while (find && more) {
        if (Terminated()) {
            cancelled = true;
            break;
        }
        ftp->handOff(this, [this] {
            if (ftp->OnDirEntry)
                ftp->OnDirEntry(ftp, &findData);
        });
        more = InternetFindNextFileA(find, &findData);
        code = GetLastError();
        outcome.code = int32_t(code);
        if (!more && code == ERROR_INTERNET_EXTENDED_ERROR)
            outcome.replyLines += ResponseCapture::take().lines;
    }
    // An empty or missing directory is no failure; a dropped connection is.
    outcome.error = errNone;
    if (cancelled || Terminated()) {
        outcome.error = errTerminated;
    } else if (TWinInetFTP::isConnectionLost(code)) {
        outcome.error = errUnknown;
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
