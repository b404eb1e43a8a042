#pragma once

#include "ftp/RemoteProtocol.h"
#include "sftp/SftpSettings.h"

class SftpLink;

// Whether the server's host key is one we may talk to: known from the
// user's known_hosts or our own trusted keys, trusted once in this run, or
// accepted by the user now. A changed key is never taken silently.
namespace SftpHostKeys {

DWORD check(SftpLink &link, const RemoteConnectRequest &request, const SftpSettings &settings);

// "host" for port 22, else "[host]:port", as known_hosts names a server.
std::string knownHostsName(const std::string &host, uint16_t port);

} // namespace SftpHostKeys
