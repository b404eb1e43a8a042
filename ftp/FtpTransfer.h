#pragma once

#include "ftp/InternetHandle.h"
#include "ftp/WinInet.h"
#include "ftp/TcpSocket.h"
#include "ftp/Win32FindData.h"

#include <memory>
#include <string>

class FtpConnection;

// A file handle from FtpOpenFileA: one RETR or STOR over a passive data
// connection. The socket side reads and writes in large blocks (kBufferSize)
// whatever the caller's chunk size. The end of a download reads the server's
// final reply: a 4xx/5xx, a missing reply or fewer bytes than announced (by
// SIZE, or without it by the "(N bytes)" of the 150 reply)
// make the last read fail. Closing an upload sends the rest, ends the data
// stream and reads the final reply: only a 2xx makes the close succeed.
// A transfer whose connection drops part way is taken up again once: see
// InternetReadFile and FtpCommitFileA for what the caller sees.
class FtpTransfer : public InternetHandle {
public:
    // Downloads receive into this much at a time; uploads send in blocks of
    // kWriteBlock (smaller blocks keep a slow reader at the other end busy).
    static constexpr size_t kBufferSize = 256 * 1024;
    static constexpr size_t kWriteBlock = 64 * 1024;
    // A read asking for at least this much receives straight into the
    // caller's buffer once the transfer's own buffer is empty.
    static constexpr size_t kDirectRead = 64 * 1024;

    FtpTransfer(std::shared_ptr<FtpConnection> connection, DWORD_PTR context, bool writing);
    ~FtpTransfer() override;

    FtpConnection &connection() { return *conn; }
    bool isWriting() const { return writing; }

    // Sends RETR or STOR; the caller holds a call on the connection. A
    // download with a resume point goes on where it says when it holds
    // (see FtpOpenFileResumeA), and the point is told the outcome. knownSize
    // (-1: none) is the caller's word on the file's size (see FtpOpenKnownFileA).
    DWORD start(const std::string &path, FTP_RESUME_POINT *point = nullptr, int64_t knownSize = -1);
    // The caller holds a call on this handle and on the connection.
    // partial: once some bytes are read, return them rather than wait for more.
    DWORD read(void *buffer, DWORD toRead, DWORD &read, bool partial = false);
    DWORD write(const void *buffer, DWORD toWrite);
    // Whether a read would return at once, waiting at most waitMs for it.
    bool waitForData(int waitMs);
    // Ends an upload and waits for the server's verdict (FtpCommitFileA).
    DWORD commit();
    // Where the caller's data must go on after ERROR_FTP_RESUME_UPLOAD.
    uint64_t resumeOffset() const { return offsetToResume; }

protected:
    DWORD finishGracefully() override;
    void release() override;

private:
    DWORD fill();
    DWORD receiveInto(char *into, size_t capacity, size_t &got);
    DWORD finishDownload();
    void awaitServerSide();
    DWORD flush();
    DWORD sendBlock(const char *data, size_t length);
    DWORD checkControl();
    DWORD finishUpload(bool mayResume);
    DWORD fail(DWORD code);
    void dropAttempt(DWORD reason);
    DWORD reviveControl(bool &reconnected);
    DWORD recoverDownload(DWORD code);
    DWORD resumeDownload(DWORD code);
    DWORD restartDownload(const std::string &why);
    DWORD beginAttempt(const std::string &line);
    DWORD askToResume(const FTP_RESUME_POINT &point, uint64_t &from);
    DWORD recoverUpload(DWORD code);
    DWORD reopenUpload(int64_t remote, std::string &how);
    DWORD verifyUploadSize();
    DWORD askOrigin(FTP_RESUME_POINT *point);
    DWORD beginKnown(const std::string &line);
    DWORD checkAgainstListing();

    // What the server says of the remote file: SIZE (-1 when it does not
    // tell) and MDTM where offered.
    struct RemoteFacts {
        int64_t size = -1;
        bool timed = false;
        TFileTime time {};
        bool sameAs(const RemoteFacts &other) const;
    };
    RemoteFacts remoteFacts();

    const std::shared_ptr<FtpConnection> conn;
    const bool writing;
    TcpSocket data;
    std::unique_ptr<char[]> buffer;
    size_t bufferPos = 0;
    size_t bufferLen = 0;
    bool started = false;
    bool finalReceived = false;
    bool atEnd = false;
    DWORD failure = ERROR_SUCCESS; // once set, every later call reports it
    uint64_t moved = 0;
    int64_t expectedSize = -1;
    // Recovery after a dropped connection: one resume (REST at the bytes
    // delivered) and, when the server cannot resume, one start from byte 0.
    std::string remotePath;
    bool sizeFromServer = false; // expectedSize is SIZE's word, so a resume can be proven
    // A small file whose size the caller knew: nothing was asked before the
    // transfer, so a drop starts it again from byte 0 rather than resuming.
    bool small = false;
    bool resumeUsed = false;
    bool restartUsed = false;
    bool restAccepted = false;
    uint64_t attemptBase = 0; // where the current RETR began
    uint64_t resumedFrom = 0; // where the first RETR began (REST of an earlier run's part)
    uint64_t offsetToResume = 0;
    bool uploadResumed = false;
    // The caller was told to go on from resumeOffset() and has not yet.
    bool resumePending = false;
    // The remote file when the transfer began: the download's source, or the
    // old file an upload replaces. A resume rests on nothing else.
    RemoteFacts origin;
    bool committed = false;
    DWORD commitResult = ERROR_SUCCESS;
};
