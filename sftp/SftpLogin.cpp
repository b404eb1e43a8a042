#include "sftp/SftpLogin.h"

#include "sftp/SftpLink.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// Runs one authentication step; rc gets libssh's answer. Failure only when
// the connection itself failed (or was cancelled, or timed out).
template <typename Fn>
DWORD step(SftpLink &link, const RemoteCall &call, const char *what, int &rc, Fn fn)
{
    return link.run(call, call.timeouts.receiveMs, what, [&] {
        rc = fn();
        return rc != SSH_AUTH_ERROR;
    });
}

DWORD byPassword(
    SftpLink &link, const RemoteCall &call, const std::string &password, int methods, int &rc)
{
    DWORD code = ERROR_SUCCESS;
    rc = SSH_AUTH_DENIED;
    if (methods & SSH_AUTH_METHOD_PASSWORD)
        code = step(link, call, "Password login", rc,
            [&] { return ssh_userauth_password(link.ssh, nullptr, password.c_str()); });
    if (code != ERROR_SUCCESS || rc == SSH_AUTH_SUCCESS || !(methods & SSH_AUTH_METHOD_INTERACTIVE))
        return code;
    // Keyboard-interactive: the password answers every hidden prompt; a
    // server that keeps asking is refused after a few rounds.
    return step(link, call, "Keyboard-interactive login", rc, [&] {
        int r = ssh_userauth_kbdint(link.ssh, nullptr, nullptr);
        for (int round = 0; r == SSH_AUTH_INFO && round < 4; ++round) {
            const int prompts = ssh_userauth_kbdint_getnprompts(link.ssh);
            for (int i = 0; i < prompts; ++i)
                ssh_userauth_kbdint_setanswer(link.ssh, unsigned(i), password.c_str());
            r = ssh_userauth_kbdint(link.ssh, nullptr, nullptr);
        }
        return r == SSH_AUTH_INFO ? SSH_AUTH_DENIED : r;
    });
}

// A key whose public half lies beside it is offered first, so that one the
// server would refuse is passed over without asking for its passphrase.
bool serverMayTake(SftpLink &link, const RemoteCall &call, const std::string &file, DWORD &code)
{
    ssh_key pub = nullptr;
    if (ssh_pki_import_pubkey_file((file + ".pub").c_str(), &pub) != SSH_OK)
        return true;
    int rc = SSH_AUTH_DENIED;
    code = step(link, call, "Public key offer", rc,
        [&] { return ssh_userauth_try_publickey(link.ssh, nullptr, pub); });
    ssh_key_free(pub);
    return code == ERROR_SUCCESS && rc == SSH_AUTH_SUCCESS;
}

// The key of a file, decrypted with the passphrase the user gives (once per
// key: a wrong one, or none, passes on to the next key). A passphrase that
// worked is kept with the connection, so a reconnect asks nothing.
ssh_key importKey(SftpLink &link, const RemoteCall &call, const std::string &file,
    const KeyPassphraseQuestion &ask, DWORD &code)
{
    ssh_key key = nullptr;
    if (ssh_pki_import_privkey_file(file.c_str(), nullptr, nullptr, nullptr, &key) == SSH_OK)
        return key;
    if (!serverMayTake(link, call, file, code))
        return nullptr;
    std::string passphrase;
    const auto known = link.keyPassphrases.find(file);
    if (known != link.keyPassphrases.end()) {
        passphrase = known->second;
    } else if (!ask || !ask(file, passphrase)) {
        link.note("Key " + file + " skipped: no passphrase given");
        return nullptr;
    }
    if (ssh_pki_import_privkey_file(file.c_str(), passphrase.c_str(), nullptr, nullptr, &key)
        != SSH_OK) {
        link.note("Key " + file + " could not be read with the passphrase given");
        return nullptr;
    }
    link.keyPassphrases[file] = passphrase;
    return key;
}

DWORD byOwnKeys(SftpLink &link, const RemoteCall &call, const std::string &folder,
    const KeyPassphraseQuestion &ask, int &rc)
{
    rc = SSH_AUTH_DENIED;
    for (const char *name : { "id_ed25519", "id_ecdsa", "id_rsa" }) {
        const std::string file = folder + "/" + name;
        if (::access(file.c_str(), R_OK) != 0)
            continue;
        DWORD code = ERROR_SUCCESS;
        ssh_key key = importKey(link, call, file, ask, code);
        if (code != ERROR_SUCCESS)
            return code;
        if (!key)
            continue;
        code = step(link, call, "Public key login", rc,
            [&] { return ssh_userauth_publickey(link.ssh, nullptr, key); });
        ssh_key_free(key);
        if (code != ERROR_SUCCESS || rc == SSH_AUTH_SUCCESS) {
            if (rc == SSH_AUTH_SUCCESS)
                link.note(std::string("Authenticated with the key ") + name);
            return code;
        }
    }
    return ERROR_SUCCESS;
}

std::string localUser()
{
    const passwd *pw = ::getpwuid(::getuid());
    return pw && pw->pw_name ? pw->pw_name : "";
}

} // namespace

namespace SftpLogin {

DWORD logIn(SftpLink &link, const RemoteConnectRequest &request, const RemoteCall &call,
    const SftpSettings &settings)
{
    const std::string user = request.user.empty() ? localUser() : request.user;
    ssh_options_set(link.ssh, SSH_OPTIONS_USER, user.c_str());
    int rc = SSH_AUTH_DENIED;
    DWORD code
        = step(link, call, "SSH login", rc, [&] { return ssh_userauth_none(link.ssh, nullptr); });
    if (code != ERROR_SUCCESS || rc == SSH_AUTH_SUCCESS)
        return code;
    const int methods = ssh_userauth_list(link.ssh, nullptr);
    if (!request.password.empty()) {
        code = byPassword(link, call, request.password, methods, rc);
        if (code != ERROR_SUCCESS || rc == SSH_AUTH_SUCCESS) {
            if (rc == SSH_AUTH_SUCCESS)
                link.note("Authenticated as " + user + " by password");
            return code;
        }
    }
    if ((methods & SSH_AUTH_METHOD_PUBLICKEY) && settings.useAgent
        && std::getenv("SSH_AUTH_SOCK")) {
        code = step(
            link, call, "Agent login", rc, [&] { return ssh_userauth_agent(link.ssh, nullptr); });
        if (code != ERROR_SUCCESS || rc == SSH_AUTH_SUCCESS) {
            if (rc == SSH_AUTH_SUCCESS)
                link.note("Authenticated as " + user + " by a key from the agent");
            return code;
        }
    }
    if (methods & SSH_AUTH_METHOD_PUBLICKEY) {
        code = byOwnKeys(link, call, settings.sshDirectory, request.passphraseQuestion, rc);
        if (code != ERROR_SUCCESS || rc == SSH_AUTH_SUCCESS)
            return code;
    }
    link.note("Login refused for " + user);
    return ERROR_INTERNET_INCORRECT_PASSWORD;
}

} // namespace SftpLogin
