#pragma once

#include "ftp/WinInet.h"

#include <QByteArray>

#include <mutex>
#include <set>

// Makes the folders an upload lands in, as the upload starts: each folder
// above the remote path that this connection has not made or met yet gets
// an MKD, top down. A folder that exists refuses the MKD and is used as it
// is; a folder that cannot be made makes the upload itself fail.
class RemoteFolders {
public:
    // Blocking, on the thread that holds the connection.
    void makeParents(HINTERNET connection, const QByteArray &remotePath);

private:
    std::mutex lock;
    HINTERNET knownFor = nullptr; // the connection `known` holds for
    std::set<QByteArray> known;
};
