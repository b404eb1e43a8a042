#include "sftp/SftpHostKeys.h"

#include "sftp/SftpLink.h"

#include <fstream>
#include <map>
#include <mutex>
#include <vector>

namespace {

std::mutex onceMutex;
// Keys trusted for this run: their known_hosts line and fingerprint.
std::map<std::string, std::string> &trustedOnce()
{
    static std::map<std::string, std::string> keys;
    return keys;
}

std::string fingerprintTrustedOnce(const std::string &name)
{
    for (const auto &[line, fingerprint] : trustedOnce())
        if (line.compare(0, name.size() + 1, name + " ") == 0)
            return fingerprint;
    return std::string();
}

std::string fingerprintOf(ssh_key key)
{
    unsigned char *hash = nullptr;
    size_t length = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != 0)
        return std::string();
    char *text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
    ssh_clean_pubkey_hash(&hash);
    std::string result = text ? text : "";
    ssh_string_free_char(text);
    return result;
}

std::string keyLine(ssh_key key)
{
    char *base64 = nullptr;
    if (ssh_pki_export_pubkey_base64(key, &base64) != SSH_OK)
        return std::string();
    std::string line = std::string(ssh_key_type_to_char(ssh_key_type(key))) + " " + base64;
    ssh_string_free_char(base64);
    return line;
}

// The fingerprint of a key the known hosts files hold for this server (of
// whatever type), read line by line so hashed names match as well.
std::string knownFingerprint(const std::string &name, const std::vector<std::string> &files)
{
    for (const std::string &file : files) {
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            ssh_knownhosts_entry *entry = nullptr;
            if (ssh_known_hosts_parse_line(name.c_str(), line.c_str(), &entry) != SSH_OK || !entry)
                continue;
            const std::string result = entry->publickey ? fingerprintOf(entry->publickey) : "";
            ssh_knownhosts_entry_free(entry);
            if (!result.empty())
                return result;
        }
    }
    return std::string();
}

void pointAtKnownHosts(ssh_session ssh, const SftpSettings &settings)
{
    const std::string user = settings.sshDirectory + "/known_hosts";
    // Where a file is missing, one that cannot exist stands in, so that
    // libssh does not fall back on files of its own choosing.
    const std::string ours = settings.trustedKeysFile.empty() ? std::string("/nonexistent/vrex")
                                                              : settings.trustedKeysFile;
    ssh_options_set(ssh, SSH_OPTIONS_KNOWNHOSTS, user.c_str());
    ssh_options_set(ssh, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, ours.c_str());
}

} // namespace

namespace SftpHostKeys {

std::string knownHostsName(const std::string &host, uint16_t port)
{
    return port == 22 ? host : "[" + host + "]:" + std::to_string(port);
}

DWORD check(SftpLink &link, const RemoteConnectRequest &request, const SftpSettings &settings)
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(link.ssh, &key) != SSH_OK)
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    ServerKeyFacts facts;
    facts.host = request.host;
    facts.port = request.port;
    facts.keyType = ssh_key_type_to_char(ssh_key_type(key));
    facts.fingerprint = fingerprintOf(key);
    const std::string line = knownHostsName(request.host, request.port) + " " + keyLine(key);
    facts.knownHostsLine = line;
    ssh_key_free(key);
    if (!link.acceptedKey.empty()) { // connecting again: that key and no other
        if (line == link.acceptedKey)
            return ERROR_SUCCESS;
        link.note("Host key CHANGED since the connection was made: " + facts.fingerprint);
        return ERROR_SERVER_KEY_REFUSED;
    }
    pointAtKnownHosts(link.ssh, settings);
    const ssh_known_hosts_e state = ssh_session_is_known_server(link.ssh);
    if (state == SSH_KNOWN_HOSTS_OK) {
        link.note("Host key " + facts.keyType + " " + facts.fingerprint + " is known");
        link.acceptedKey = line;
        return ERROR_SUCCESS;
    }
    {
        std::lock_guard<std::mutex> lock(onceMutex);
        if (trustedOnce().count(line)) {
            link.note("Host key " + facts.fingerprint + " was accepted before");
            link.acceptedKey = line;
            return ERROR_SUCCESS;
        }
    }
    const std::string name = knownHostsName(request.host, request.port);
    facts.changed = state == SSH_KNOWN_HOSTS_CHANGED || state == SSH_KNOWN_HOSTS_OTHER;
    if (facts.changed)
        facts.oldFingerprint = knownFingerprint(
            name, { settings.sshDirectory + "/known_hosts", settings.trustedKeysFile });
    {
        std::lock_guard<std::mutex> lock(onceMutex);
        if (!facts.changed && !(facts.oldFingerprint = fingerprintTrustedOnce(name)).empty())
            facts.changed = true; // another key was trusted for this run
    }
    link.note(std::string(facts.changed ? "Host key CHANGED: " : "Unknown host key: ")
        + facts.keyType + " " + facts.fingerprint);
    const ServerKeyAnswer answer
        = request.keyQuestion ? request.keyQuestion(facts) : ServerKeyAnswer::Refuse;
    if (answer == ServerKeyAnswer::Refuse) {
        link.note("Host key refused");
        return ERROR_SERVER_KEY_REFUSED;
    }
    {
        std::lock_guard<std::mutex> lock(onceMutex);
        trustedOnce()[line] = facts.fingerprint;
    }
    link.acceptedKey = line;
    link.note(answer == ServerKeyAnswer::TrustAlways ? "Host key accepted and kept"
                                                     : "Host key accepted for this run");
    return ERROR_SUCCESS;
}

} // namespace SftpHostKeys
