#include "ftp/RemoteFolders.h"

void RemoteFolders::makeParents(HINTERNET connection, const QByteArray &remotePath)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (connection != knownFor) {
        known.clear();
        knownFor = connection;
    }
    for (int slash = remotePath.indexOf('/', 1); slash > 0;
         slash = remotePath.indexOf('/', slash + 1)) {
        const QByteArray folder = remotePath.left(slash);
        if (!known.insert(folder).second)
            continue;
        FtpCreateDirectoryA(connection, folder.constData());
    }
}
