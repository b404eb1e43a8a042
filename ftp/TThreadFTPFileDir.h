#pragma once

#include "ftp/FtpThread.h"
#include "ftp/Win32FindData.h"
#include "ftp/WinInet.h"

#include <QByteArray>
#include <QString>

#include <vector>

class TWinInetFTP;
struct TWinInetOutcome;

// Lists one directory: OnDirEntry per entry in the server's order, then
// OnDirDone. A listing that did not complete ends with errUnknown; an empty
// or missing folder is no failure.
class TThreadFTPFileDir : public FtpThread {
    Q_OBJECT
public:
    TThreadFTPFileDir(TWinInetFTP *ftp, const QString &directory);

    // Entries posted to the user-interface thread at once, at most; a batch
    // also ends after MaxBatchMs, so a slow server's entries still show soon.
    static constexpr int BatchSize = 64;
    static constexpr int MaxBatchMs = 10;

protected:
    void Execute() override;

private:
    bool readBatch(HINTERNET find, TWinInetOutcome &outcome, DWORD &code);
    static bool listingFailed(DWORD code, TWinInetOutcome &outcome);

    TWinInetFTP *ftp;
    QByteArray directory;
    // The records the layer fills: the one read last, then the rest of a batch.
    std::vector<TWin32FindData> entries = std::vector<TWin32FindData>(BatchSize + 1);
    int32_t statusCode = 0;
};
