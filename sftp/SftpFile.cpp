#include "sftp/SftpFile.h"

#include "sftp/SftpLink.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>

SftpFile::SftpFile(std::shared_ptr<SftpLink> l, sftp_file h, std::string p, bool w)
    : link(std::move(l)), handle(h), path(std::move(p)), writing(w)
{
}

SftpFile::~SftpFile()
{
    // Still open after a failure or a cancel: no more talk on a broken link.
    if (handle && !link->broken)
        sftp_close(handle);
}

DWORD SftpFile::open(const std::shared_ptr<SftpLink> &link, const RemoteCall &call,
    const std::string &path, bool forWriting, std::unique_ptr<RemoteFile> &out)
{
    link->note(std::string(forWriting ? "Uploading to " : "Downloading ") + path);
    sftp_file handle = nullptr;
    const int flags = forWriting ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY;
    const DWORD code = link->run(call, call.timeouts.receiveMs, "Opening " + path,
        [&] { return (handle = sftp_open(link->sftp, path.c_str(), flags, 0644)) != nullptr; });
    if (code != ERROR_SUCCESS)
        return code;
    auto *file = new SftpFile(link, handle, path, forWriting);
    out.reset(file);
    if (!forWriting) // what a resume must find again
        link->run(call, call.timeouts.receiveMs, "Looking up " + path, [&] {
            sftp_attributes a = sftp_fstat(handle);
            if (a) {
                file->sizeAtOpen = a->size;
                file->mtimeAtOpen = a->mtime;
                sftp_attributes_free(a);
            }
            return a != nullptr;
        });
    return ERROR_SUCCESS;
}

DWORD SftpFile::reopenHandle(const RemoteCall &call, int flags)
{
    handle = nullptr; // went with the old session
    pending.clear();
    stash.clear();
    stashPos = 0;
    DWORD code = link->reopen(call);
    if (code == ERROR_SUCCESS)
        code = link->run(call, call.timeouts.receiveMs, "Opening " + path,
            [&] { return (handle = sftp_open(link->sftp, path.c_str(), flags, 0644)) != nullptr; });
    return code;
}

// Goes on where the caller's data ends when the file is as it was at the
// start (same size and time), else from the start of the file.
DWORD SftpFile::resumeDownload(const RemoteCall &call, uint64_t delivered)
{
    resumed = true;
    DWORD code = reopenHandle(call, O_RDONLY);
    uint64_t size = 0;
    uint32_t mtime = 0;
    if (code == ERROR_SUCCESS)
        code = link->run(call, call.timeouts.receiveMs, "Looking up " + path, [&] {
            sftp_attributes a = sftp_fstat(handle);
            if (a) {
                size = a->size;
                mtime = a->mtime;
                sftp_attributes_free(a);
            }
            return a != nullptr;
        });
    if (code != ERROR_SUCCESS)
        return code;
    atEnd = false;
    if (size == sizeAtOpen && mtime == mtimeAtOpen && delivered <= size) {
        link->note("Download of " + path + " resumed at byte " + std::to_string(delivered));
        nextOffset = delivered;
        sftp_seek64(handle, nextOffset);
        return ERROR_SUCCESS;
    }
    link->note(path + " changed meanwhile; downloading it again from the start");
    nextOffset = moved = 0;
    sizeAtOpen = size;
    mtimeAtOpen = mtime;
    return ERROR_FTP_TRANSFER_RESTARTED;
}

// The server keeps what arrived: writing goes on after it, or from the start
// when the file holds more than was sent (someone else wrote to it).
DWORD SftpFile::resumeUpload(const RemoteCall &call)
{
    resumed = true;
    DWORD code = reopenHandle(call, O_WRONLY | O_CREAT);
    uint64_t size = 0;
    if (code == ERROR_SUCCESS)
        code = link->run(call, call.timeouts.receiveMs, "Looking up " + path, [&] {
            sftp_attributes a = sftp_fstat(handle);
            if (a) {
                size = a->size;
                sftp_attributes_free(a);
            }
            return a != nullptr;
        });
    if (code != ERROR_SUCCESS)
        return code;
    if (size > moved) {
        sftp_close(handle);
        handle = nullptr;
        code = link->run(call, call.timeouts.receiveMs, "Opening " + path, [&] {
            return (handle = sftp_open(link->sftp, path.c_str(), O_WRONLY | O_TRUNC, 0644))
                != nullptr;
        });
        if (code != ERROR_SUCCESS)
            return code;
        size = 0;
    }
    resumeAt = moved = size;
    sftp_seek64(handle, size);
    link->note("Upload to " + path + " resumed at byte " + std::to_string(size));
    return ERROR_FTP_RESUME_UPLOAD;
}

// Takes in every answer still due: one left behind stays in the session's
// queue for good, and libssh walks that queue at every later reply (a queue
// of small files slowed down as the square of their number). Once it has
// seen the end of the file libssh answers without taking the reply in, so
// the seek clears that mark first.
void SftpFile::dropPending()
{
    std::vector<char> scratch(kChunk);
    for (const Pending &p : pending) {
        sftp_seek64(handle, p.offset);
        if (sftp_async_read(handle, scratch.data(), kChunk, uint32_t(p.id)) < 0)
            break;
    }
    pending.clear();
}

// Keeps the pipeline full and takes the oldest answer into the stash.
bool SftpFile::nextChunk()
{
    // No further than one read past the size the file had at the start (to
    // see its end): a small file costs two reads, not a pipeline's worth.
    while (!atEnd && pending.size() < kInFlight && (pending.empty() || nextOffset <= sizeAtOpen)) {
        const int id = sftp_async_read_begin(handle, kChunk);
        if (id < 0)
            return false;
        pending.push_back(Pending { id, nextOffset });
        nextOffset += kChunk;
    }
    const Pending front = pending.front();
    pending.pop_front();
    stash.resize(kChunk);
    stashPos = 0;
    const int n = sftp_async_read(handle, stash.data(), kChunk, uint32_t(front.id));
    if (n < 0)
        return false;
    stash.resize(size_t(n));
    if (n == 0 || uint32_t(n) < kChunk) {
        // The end, or a short answer: the requests after it read from the
        // wrong place, so they go, and reading goes on right after this one.
        dropPending();
        nextOffset = front.offset + uint64_t(n);
        sftp_seek64(handle, nextOffset);
        // Ending where the file ended when it was opened, it is the end:
        // asking once more only to be told so costs a small file a third
        // of its time.
        atEnd = n == 0 || nextOffset == sizeAtOpen;
    }
    return true;
}

DWORD SftpFile::read(const RemoteCall &call, void *buffer, DWORD toRead, DWORD &got)
{
    return fill(call, static_cast<char *>(buffer), toRead, got, false);
}

DWORD SftpFile::readAvailable(const RemoteCall &call, void *buffer, DWORD toRead, DWORD &got)
{
    return fill(call, static_cast<char *>(buffer), toRead, got, true);
}

// A reply already in (the stash, or bytes on the channel) ends the wait; a
// false "no" only ends the caller's block early.
bool SftpFile::waitForData(const RemoteCall &call, int waitMs)
{
    if (writing || stashPos < stash.size() || atEnd || pending.empty() || !handle || link->broken)
        return true;
    int available = 0;
    link->run(call, call.timeouts.dataMs, "Reading " + path, [&] {
        available = ssh_channel_poll_timeout(link->sftp->channel, std::max(waitMs, 0), 0);
        return true;
    });
    return available != 0 || link->broken; // an error is for the read to report
}

// partial: once some bytes are in, the next chunk is not waited for.
DWORD SftpFile::fill(const RemoteCall &call, char *out, DWORD toRead, DWORD &got, bool partial)
{
    got = 0;
    while (got < toRead) {
        if (stashPos < stash.size()) {
            const size_t n = std::min<size_t>(toRead - got, stash.size() - stashPos);
            std::memcpy(out + got, stash.data() + stashPos, n);
            stashPos += n;
            got += DWORD(n);
            continue;
        }
        if (atEnd || (partial && got > 0))
            break;
        DWORD code
            = link->run(call, call.timeouts.dataMs, "Reading " + path, [&] { return nextChunk(); });
        if (code == ERROR_INTERNET_CONNECTION_ABORTED && !resumed)
            code = resumeDownload(call, moved + got);
        if (code != ERROR_SUCCESS)
            return code;
    }
    moved += got;
    if (got == 0)
        link->note("Downloaded " + std::to_string(moved) + " bytes of " + path);
    return ERROR_SUCCESS;
}

// Small writes are gathered, so that each round trip carries a full piece.
DWORD SftpFile::write(const RemoteCall &call, const void *data, DWORD length)
{
    const char *p = static_cast<const char *>(data);
    outbox.insert(outbox.end(), p, p + length);
    const size_t whole = outbox.size() - outbox.size() % kPiece;
    if (whole == 0)
        return ERROR_SUCCESS;
    const DWORD code = send(call, outbox.data(), whole);
    if (code == ERROR_SUCCESS)
        outbox.erase(outbox.begin(), outbox.begin() + std::ptrdiff_t(whole));
    else
        outbox.clear(); // failed, or resumed: the caller writes again from the offset
    return code;
}

DWORD SftpFile::send(const RemoteCall &call, const char *p, size_t left)
{
    while (left > 0) {
        const size_t piece = std::min<size_t>(left, kPiece);
        ssize_t n = 0;
        DWORD code = link->run(call, call.timeouts.dataMs, "Writing " + path,
            [&] { return (n = sftp_write(handle, p, piece)) > 0; });
        if (code == ERROR_INTERNET_CONNECTION_ABORTED && !resumed)
            code = resumeUpload(call);
        if (code != ERROR_SUCCESS && code != ERROR_FTP_RESUME_UPLOAD)
            failure = code;
        if (code != ERROR_SUCCESS)
            return code;
        p += n;
        left -= size_t(n);
        moved += uint64_t(n);
    }
    return ERROR_SUCCESS;
}

DWORD SftpFile::finish(const RemoteCall &call)
{
    if (failure != ERROR_SUCCESS || !handle) // an upload that failed stays failed
        return writing ? (failure ? failure : DWORD(ERROR_INTERNET_CONNECTION_ABORTED))
                       : DWORD(ERROR_SUCCESS);
    if (!outbox.empty()) {
        const DWORD sent = send(call, outbox.data(), outbox.size());
        outbox.clear();
        if (sent != ERROR_SUCCESS)
            return sent;
    }
    const DWORD code = link->run(call, call.timeouts.receiveMs, "Closing " + path, [&] {
        dropPending();
        return sftp_close(std::exchange(handle, nullptr)) == SSH_OK;
    });
    if (writing && code == ERROR_SUCCESS)
        link->note("Uploaded " + std::to_string(moved) + " bytes to " + path);
    return writing ? code : DWORD(ERROR_SUCCESS);
}
