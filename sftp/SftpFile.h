#pragma once

#include "ftp/RemoteProtocol.h"

#include <libssh/sftp.h>

#include <deque>
#include <memory>
#include <vector>

class SftpLink;

// An open remote file. Downloads keep several reads in flight so a file
// moves at the channel's speed, not one round trip per block.
class SftpFile : public RemoteFile {
public:
    static DWORD open(const std::shared_ptr<SftpLink> &link, const RemoteCall &call,
        const std::string &path, bool forWriting, std::unique_ptr<RemoteFile> &out);
    ~SftpFile() override;

    DWORD read(const RemoteCall &call, void *buffer, DWORD toRead, DWORD &got) override;
    DWORD readAvailable(const RemoteCall &call, void *buffer, DWORD toRead, DWORD &got) override;
    bool waitForData(const RemoteCall &call, int waitMs) override;
    DWORD write(const RemoteCall &call, const void *data, DWORD length) override;
    DWORD finish(const RemoteCall &call) override;
    uint64_t resumeOffset() const override { return resumeAt; }

    static constexpr uint32_t kChunk = 64 * 1024;
    static constexpr size_t kInFlight = 32;
    static constexpr size_t kPiece = 128 * 1024; // one SFTP write, well below the servers' 256 KiB

private:
    SftpFile(std::shared_ptr<SftpLink> link, sftp_file handle, std::string path, bool writing);
    bool nextChunk();
    DWORD fill(const RemoteCall &call, char *out, DWORD toRead, DWORD &got, bool partial);
    void dropPending();
    // Once per transfer, after the connection was lost part way.
    DWORD resumeDownload(const RemoteCall &call, uint64_t delivered);
    DWORD resumeUpload(const RemoteCall &call);
    DWORD reopenHandle(const RemoteCall &call, int flags);
    DWORD send(const RemoteCall &call, const char *data, size_t length);

    struct Pending {
        int id;
        uint64_t offset;
    };
    std::shared_ptr<SftpLink> link;
    sftp_file handle;
    std::string path;
    bool writing;
    std::deque<Pending> pending;
    uint64_t nextOffset = 0;
    uint64_t moved = 0;
    bool atEnd = false;
    bool resumed = false;
    DWORD failure = ERROR_SUCCESS;
    uint64_t resumeAt = 0;
    uint64_t sizeAtOpen = 0;
    uint32_t mtimeAtOpen = 0;
    std::vector<char> stash;
    std::vector<char> outbox;
    size_t stashPos = 0;
};
