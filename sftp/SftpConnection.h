#pragma once

#include "ftp/RemoteProtocol.h"
#include "sftp/SftpSettings.h"

#include <memory>

class SftpLink;

// The layer's calls on an SFTP connection. The server has no current folder
// of its own: relative names are taken from the folder last entered (the
// login's home folder at first).
class SftpConnection : public RemoteConnection {
public:
    explicit SftpConnection(std::shared_ptr<SftpLink> link);

    DWORD find(const RemoteCall &call, const std::string &search,
        std::vector<TWin32FindData> &out) override;
    DWORD open(const RemoteCall &call, const std::string &name, bool forWriting,
        std::unique_ptr<RemoteFile> &file) override;
    DWORD removeFile(const RemoteCall &call, const std::string &name) override;
    DWORD rename(const RemoteCall &call, const std::string &from, const std::string &to) override;
    DWORD setCurrentDirectory(const RemoteCall &call, const std::string &path) override;
    DWORD createDirectory(const RemoteCall &call, const std::string &path) override;
    DWORD removeDirectory(const RemoteCall &call, const std::string &path) override;
    bool isBroken() const override;
    std::string securityText() const override;
    std::string takeReplyText(int &code) override;

private:
    DWORD findOnce(
        const RemoteCall &call, const std::string &search, std::vector<TWin32FindData> &out);
    DWORD ready(const RemoteCall &call);
    DWORD listFolder(
        const RemoteCall &call, const std::string &path, std::vector<TWin32FindData> &out);
    std::shared_ptr<SftpLink> link;
};
