#include "sftp/SftpConnection.h"

#include "ftp/FtpListing.h"
#include "sftp/SftpEntries.h"
#include "sftp/SftpFile.h"
#include "sftp/SftpLink.h"

#include <utility>

namespace {

struct Attributes {
    sftp_attributes value = nullptr;
    Attributes() = default;
    Attributes(Attributes &&other) noexcept : value(std::exchange(other.value, nullptr)) { }
    Attributes(const Attributes &) = delete;
    Attributes &operator=(const Attributes &) = delete;
    ~Attributes()
    {
        if (value)
            sftp_attributes_free(value);
    }
};

std::string baseName(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isWildcard(const std::string &search)
{
    return search.empty() || search == "*" || search == "*.*";
}

} // namespace

SftpConnection::SftpConnection(std::shared_ptr<SftpLink> l) : link(std::move(l)) { }

// A connection lost since the last call (the server's idle time-out, a
// network change) is made again before anything is sent.
DWORD SftpConnection::ready(const RemoteCall &call)
{
    if (!link->broken && !link->peerClosed())
        return ERROR_SUCCESS;
    if (call.cancel.cancelled() || link->reopen(call) != ERROR_SUCCESS)
        return ERROR_INTERNET_CONNECTION_ABORTED;
    return ERROR_SUCCESS;
}

DWORD SftpConnection::listFolder(
    const RemoteCall &call, const std::string &path, std::vector<TWin32FindData> &out)
{
    link->note("Listing " + path);
    std::vector<std::pair<std::string, Attributes>> links;
    bool tooMany = false;
    const DWORD code = link->run(call, call.timeouts.dataMs, "Listing " + path, [&] {
        sftp_dir dir = sftp_opendir(link->sftp, path.c_str());
        if (!dir)
            return false;
        while (sftp_attributes a = sftp_readdir(link->sftp, dir)) {
            // A server's folder may not grow the listing without bound.
            if (out.size() + links.size() >= FtpListing::kMaxListingEntries) {
                sftp_attributes_free(a);
                tooMany = true;
                break;
            }
            const std::string name = a->name ? a->name : "";
            if (!SftpEntries::usableName(name)) {
                sftp_attributes_free(a);
                continue;
            }
            if (a->type == SSH_FILEXFER_TYPE_SYMLINK) {
                links.emplace_back(name, Attributes());
                links.back().second.value = a;
                continue;
            }
            out.push_back(SftpEntries::entryFor(name, *a, nullptr));
            sftp_attributes_free(a);
        }
        const bool complete = tooMany || sftp_dir_eof(dir);
        sftp_closedir(dir);
        return complete;
    });
    if (code != ERROR_SUCCESS)
        return code;
    if (tooMany) {
        link->note("Listing " + path + ": more than "
            + std::to_string(FtpListing::kMaxListingEntries) + " entries");
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    for (auto &[name, own] : links) {
        Attributes target;
        const std::string full = path == "/" ? "/" + name : path + "/" + name;
        const DWORD r = link->run(call, call.timeouts.receiveMs, "Following " + full,
            [&] { return (target.value = sftp_stat(link->sftp, full.c_str())) != nullptr; });
        if (r != ERROR_SUCCESS && link->broken)
            return r;
        out.push_back(SftpEntries::entryFor(name, *own.value, target.value));
    }
    link->note(std::to_string(out.size()) + " entries");
    return out.empty() ? DWORD(ERROR_NO_MORE_FILES) : DWORD(ERROR_SUCCESS);
}

// A look-up changes nothing on the server, so one that meets a connection
// lost since the check before it (the close was still on its way) is simply
// asked again on a new connection.
DWORD SftpConnection::find(
    const RemoteCall &call, const std::string &search, std::vector<TWin32FindData> &out)
{
    if (const DWORD code = ready(call))
        return code;
    DWORD code = findOnce(call, search, out);
    if (code == ERROR_INTERNET_CONNECTION_ABORTED && !call.cancel.cancelled()
        && link->reopen(call) == ERROR_SUCCESS) {
        out.clear();
        code = findOnce(call, search, out);
    }
    return code;
}

DWORD SftpConnection::findOnce(
    const RemoteCall &call, const std::string &search, std::vector<TWin32FindData> &out)
{
    if (isWildcard(search))
        return listFolder(call, link->cwd, out);
    const std::string path = link->resolve(search);
    Attributes own, target;
    DWORD code = link->run(call, call.timeouts.receiveMs, "Looking up " + path,
        [&] { return (own.value = sftp_lstat(link->sftp, path.c_str())) != nullptr; });
    if (code != ERROR_SUCCESS)
        return code;
    if (own.value->type == SSH_FILEXFER_TYPE_SYMLINK)
        link->run(call, call.timeouts.receiveMs, "Following " + path,
            [&] { return (target.value = sftp_stat(link->sftp, path.c_str())) != nullptr; });
    const sftp_attributes_struct &shown = target.value ? *target.value : *own.value;
    if (shown.type == SSH_FILEXFER_TYPE_DIRECTORY && own.value->type != SSH_FILEXFER_TYPE_SYMLINK)
        return listFolder(call, path, out);
    const std::string name = baseName(path);
    if (!SftpEntries::usableName(name))
        return ERROR_NO_MORE_FILES;
    out.push_back(SftpEntries::entryFor(name, *own.value, target.value));
    return ERROR_SUCCESS;
}

DWORD SftpConnection::open(const RemoteCall &call, const std::string &name, bool forWriting,
    std::unique_ptr<RemoteFile> &file)
{
    if (const DWORD code = ready(call))
        return code;
    return SftpFile::open(link, call, link->resolve(name), forWriting, file);
}

DWORD SftpConnection::removeFile(const RemoteCall &call, const std::string &name)
{
    if (const DWORD code = ready(call))
        return code;
    const std::string path = link->resolve(name);
    link->note("Removing " + path);
    return link->run(call, call.timeouts.receiveMs, "Removing " + path,
        [&] { return sftp_unlink(link->sftp, path.c_str()) == SSH_OK; });
}

DWORD SftpConnection::rename(const RemoteCall &call, const std::string &from, const std::string &to)
{
    if (const DWORD code = ready(call))
        return code;
    const std::string a = link->resolve(from), b = link->resolve(to);
    link->note("Renaming " + a + " to " + b);
    return link->run(call, call.timeouts.receiveMs, "Renaming " + a,
        [&] { return sftp_rename(link->sftp, a.c_str(), b.c_str()) == SSH_OK; });
}

DWORD SftpConnection::setCurrentDirectory(const RemoteCall &call, const std::string &path)
{
    if (const DWORD code = ready(call))
        return code;
    const std::string wanted = link->resolve(path);
    char *canonical = nullptr;
    Attributes a;
    const DWORD code = link->run(call, call.timeouts.receiveMs, "Entering " + wanted, [&] {
        canonical = sftp_canonicalize_path(link->sftp, wanted.c_str());
        return canonical && (a.value = sftp_stat(link->sftp, canonical)) != nullptr;
    });
    const std::string result = canonical ? canonical : "";
    ssh_string_free_char(canonical);
    if (code != ERROR_SUCCESS)
        return code;
    if (a.value->type != SSH_FILEXFER_TYPE_DIRECTORY) {
        link->note("Entering " + wanted + ": not a folder");
        return ERROR_INTERNET_EXTENDED_ERROR;
    }
    link->cwd = result;
    link->note("Folder " + result);
    return ERROR_SUCCESS;
}

DWORD SftpConnection::createDirectory(const RemoteCall &call, const std::string &path)
{
    if (const DWORD code = ready(call))
        return code;
    const std::string full = link->resolve(path);
    link->note("Creating folder " + full);
    return link->run(call, call.timeouts.receiveMs, "Creating folder " + full,
        [&] { return sftp_mkdir(link->sftp, full.c_str(), 0755) == SSH_OK; });
}

DWORD SftpConnection::removeDirectory(const RemoteCall &call, const std::string &path)
{
    if (const DWORD code = ready(call))
        return code;
    const std::string full = link->resolve(path);
    link->note("Removing folder " + full);
    return link->run(call, call.timeouts.receiveMs, "Removing folder " + full,
        [&] { return sftp_rmdir(link->sftp, full.c_str()) == SSH_OK; });
}

bool SftpConnection::isBroken() const
{
    return link->broken;
}

std::string SftpConnection::securityText() const
{
    return "SSH, cipher " + link->cipher;
}

std::string SftpConnection::takeReplyText(int &code)
{
    code = 0;
    return link->takeLog();
}
