#pragma once

#include "ftp/FtpThread.h"
#include "ftp/WinInet.h"
#include "ftp/Win32FindData.h"

#include <QByteArray>
#include <QString>

class TWinInetFTP;

// Lists one directory: OnDirEntry per entry in the server's order, then
// OnDirDone.
class TThreadFTPFileDir : public FtpThread {
    Q_OBJECT
public:
    TThreadFTPFileDir(TWinInetFTP *ftp, const QString &directory);

protected:
    void Execute() override;

private:
    TWinInetFTP *ftp;
    QByteArray directory;
    TWin32FindData findData{};
    int32_t statusCode = 0;
};
