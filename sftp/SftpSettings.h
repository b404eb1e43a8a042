#pragma once

#include <string>

struct SftpSettings {
    // The user's OpenSSH folder: known_hosts (read only) and the identity
    // keys tried after the password and the agent.
    std::string sshDirectory;
    // Our own trusted host keys, in known_hosts form; empty: none.
    std::string trustedKeysFile;
    bool useAgent = true;
};
