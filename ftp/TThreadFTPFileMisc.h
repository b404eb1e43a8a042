#pragma once

#include "ftp/FtpThread.h"
#include "ftp/WinInet.h"

#include <QByteArray>
#include <QString>

class TWinInetFTP;

// One single FTP command (delete, rename, change, create or remove a
// directory) and its completion event. Never cancelled.
class TThreadFTPFileMisc : public FtpThread {
    Q_OBJECT
public:
    enum Selector {
        selDeleteFile = 0,
        selRenameFile = 1,
        selSetDirectory = 2,
        selDeleteDirectory = 3,
        selCreateDirectory = 4,
    };

    TThreadFTPFileMisc(TWinInetFTP *ftp, int selector, const QString &name1, const QString &name2);

protected:
    void Execute() override;

private:
    BOOL call(HINTERNET connection) const;
    void fireDone() const;

    TWinInetFTP *ftp;
    int selector;
    QByteArray name1, name2;
};
