#pragma once

#include "ftp/WinInetFTP.h"

#include <QString>
#include <QStringList>

// The sentence that follows a failure's own text and says what the program
// knows of its cause: a local folder that cannot take the file, a lost
// connection, or the server's own reply. Empty when nothing more is known.
namespace FailureCauses {

// `replies` are the server's reply lines as the session collected them; the
// last is the newest.
QString ofSession(int32_t code, const QStringList &replies);

// A download's save file could not be written: why, from its folder.
QString ofSaveFile(const QString &localPath);

// The cause of a transfer's failure: the save file's folder for a download
// whose file could not be written, else what the session knows.
QString ofTransfer(TWinInetError error, bool download, const QString &localPath, int32_t code,
    const QStringList &replies);

} // namespace FailureCauses
