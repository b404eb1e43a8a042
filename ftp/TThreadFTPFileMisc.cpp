#include "ftp/TThreadFTPFileMisc.h"

#include "ftp/ResponseCapture.h"
#include "ftp/WinInetFTP.h"

TThreadFTPFileMisc::TThreadFTPFileMisc(
    TWinInetFTP *ftp, int selector, const QString &name1, const QString &name2)
    : ftp(ftp), selector(selector), name1(name1.toUtf8()), name2(name2.toUtf8())
{
}

BOOL TThreadFTPFileMisc::call(HINTERNET connection) const
{
    switch (selector) {
    case selDeleteFile:
        return FtpDeleteFileA(connection, name1.constData());
    case selRenameFile:
        return FtpRenameFileA(connection, name1.constData(), name2.constData());
    case selSetDirectory:
        return FtpSetCurrentDirectoryA(connection, name1.constData());
    case selDeleteDirectory:
        return FtpRemoveDirectoryA(connection, name1.constData());
    case selCreateDirectory:
        return FtpCreateDirectoryA(connection, name1.constData());
    }
    return 0;
}

void TThreadFTPFileMisc::fireDone() const
{
    switch (selector) {
    case selDeleteFile:
        if (ftp->OnDeleteFileDone)
            ftp->OnDeleteFileDone(ftp);
        break;
    case selRenameFile:
        if (ftp->OnRenameFileDone)
            ftp->OnRenameFileDone(ftp);
        break;
    case selDeleteDirectory:
        if (ftp->OnDeleteDirDone)
            ftp->OnDeleteDirDone(ftp);
        break;
    case selCreateDirectory:
        if (ftp->OnCreateDirDone)
            ftp->OnCreateDirDone(ftp);
        break;
    }
}

void TThreadFTPFileMisc::Execute()
{
    TWinInetOutcome outcome;
    const HINTERNET connection = ftp->hConnection.load();
    const BOOL done = call(connection);
    const DWORD code = GetLastError();
    outcome.codeSet = true;
    outcome.code = int32_t(code);
    if (done) {
        outcome.error = errNone;
    } else if (code == ERROR_INTERNET_EXTENDED_ERROR) {
        outcome.replyLines = ResponseCapture::take().lines;
        outcome.error = errNoRights;
    } else {
        outcome.error = errUnknown;
        if (connection && TWinInetFTP::isConnectionLost(code))
            outcome.lostConnection = connection;
    }
    // Changing the directory has no completion event and leaves Status alone.
    std::function<void()> fire;
    if (selector != selSetDirectory)
        fire = [this] { fireDone(); };
    ftp->complete(this, outcome, fire);
}
