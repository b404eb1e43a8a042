#include "sftp/SftpProtocol.h"

#include "ftp/RemoteProtocol.h"
#include "sftp/SftpConnection.h"
#include "sftp/SftpLink.h"

#include <mutex>

namespace {

void initialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { ssh_init(); });
}

} // namespace

void registerSftpProtocol(const SftpSettings &settings)
{
    initialiseLibrary();
    InternetRegisterRemoteProtocol(INTERNET_FLAG_SFTP, 22,
        [settings](const RemoteConnectRequest &request, const RemoteCall &call,
            std::unique_ptr<RemoteConnection> &connection, std::string &replyText) {
            auto link = std::make_shared<SftpLink>();
            const DWORD code = link->open(request, call, settings);
            replyText = link->takeLog();
            if (code == ERROR_SUCCESS)
                connection = std::make_unique<SftpConnection>(link);
            return code;
        });
}
