#pragma once

#include <QByteArray>
#include <QString>

// Saving one of the program's data files ("myFtpSites.dat", "myFtpWatches.dat").
namespace DataFileSave {

// The user's data folder, where the files live.
QString defaultFolder();

// Writes `bytes` whole and private over `path`. A file that was rejected at
// load (`rejected`) is first kept beside itself as path + `suffix`, so it is
// never lost; `rejected` is cleared once saved. Throws EFileCreateError.
void save(const QString &path, const QByteArray &bytes, bool &rejected, const QString &suffix);

} // namespace DataFileSave
