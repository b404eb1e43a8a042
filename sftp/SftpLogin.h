#pragma once

#include "ftp/RemoteProtocol.h"
#include "sftp/SftpSettings.h"

class SftpLink;

// Logs in with the site's password (password or keyboard-interactive), then
// the agent's keys, then the user's own keys (ed25519, ecdsa, rsa), asking
// for a passphrase where one is needed. Refused: 12014.
namespace SftpLogin {

DWORD logIn(SftpLink &link, const RemoteConnectRequest &request, const RemoteCall &call,
    const SftpSettings &settings);

} // namespace SftpLogin
