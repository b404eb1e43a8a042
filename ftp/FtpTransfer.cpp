#include "ftp/FtpTransfer.h"

#include "ftp/FtpConnection.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// The size a 150 reply announces: "150 Opening BINARY mode data connection
// for f.bin (1048576 bytes)." (vsftpd, proftpd and others); -1 without one.
int64_t announcedSize(const std::string &text)
{
    for (size_t open = text.rfind('('); open != std::string::npos && open > 0;
         open = text.rfind('(', open - 1)) {
        size_t i = open + 1;
        uint64_t value = 0;
        size_t digits = 0;
        while (
            i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && digits < 19) {
            value = value * 10 + uint64_t(text[i++] - '0');
            ++digits;
        }
        if (digits > 0 && text.compare(i, 7, " bytes)") == 0)
            return int64_t(value);
    }
    return -1;
}

} // namespace

FtpTransfer::FtpTransfer(std::shared_ptr<FtpConnection> connection, DWORD_PTR context, bool write)
    : InternetHandle(HandleKind::File, connection, context), conn(std::move(connection)),
      writing(write)
{
}

FtpTransfer::~FtpTransfer()
{
    releaseOnce();
}

DWORD FtpTransfer::start(const std::string &path)
{
    if (!writing)
        expectedSize = conn->remoteSize(path, cancelToken());
    if (conn->control().isBroken())
        return ERROR_INTERNET_CONNECTION_ABORTED;
    const DWORD code = conn->beginTransfer(
        (writing ? "STOR " : "RETR ") + path, data, finalReceived, cancelToken());
    if (code != ERROR_SUCCESS)
        return code;
    // Without SIZE the opening reply is the only word on how much is coming.
    if (!writing && expectedSize < 0 && !finalReceived)
        expectedSize = announcedSize(conn->control().lastReply().text);
    buffer.reset(new (std::nothrow) char[kBufferSize]);
    if (!buffer) {
        data.abortiveClose();
        if (!finalReceived)
            conn->control().requireSync();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    started = true;
    conn->transferOpen.store(true);
    return ERROR_SUCCESS;
}

DWORD FtpTransfer::fail(DWORD code)
{
    if (failure == ERROR_SUCCESS)
        failure = code;
    if (data.isOpen())
        data.abortiveClose();
    if (!finalReceived && !conn->control().isBroken()) {
        finalReceived = true;
        conn->control().abandonTransfer(code);
    }
    return failure;
}

DWORD FtpTransfer::read(void *out, DWORD toRead, DWORD &read)
{
    read = 0;
    if (writing)
        return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    char *dest = static_cast<char *>(out);
    while (read < toRead) {
        if (bufferPos == bufferLen) {
            if (failure != ERROR_SUCCESS || atEnd)
                break;
            const DWORD code = fill();
            if (code != ERROR_SUCCESS)
                fail(code);
            continue;
        }
        const size_t n = std::min(bufferLen - bufferPos, size_t(toRead - read));
        std::memcpy(dest + read, buffer.get() + bufferPos, n);
        bufferPos += n;
        read += DWORD(n);
    }
    // Bytes already delivered come first; the failure waits for the next call.
    return read > 0 ? ERROR_SUCCESS : failure;
}

DWORD FtpTransfer::fill()
{
    bufferPos = bufferLen = 0;
    size_t got = 0;
    const DWORD code = data.receive(
        buffer.get(), kBufferSize, got, Deadline(conn->timeouts().dataMs), cancelToken());
    if (code != ERROR_SUCCESS)
        return code;
    if (got == 0)
        return finishDownload();
    bufferLen = got;
    moved += got;
    return ERROR_SUCCESS;
}

DWORD FtpTransfer::finishDownload()
{
    atEnd = true;
    data.close();
    DWORD code = ERROR_SUCCESS;
    if (!finalReceived) {
        code = conn->endTransfer(cancelToken());
        finalReceived = code == ERROR_SUCCESS || code == ERROR_INTERNET_EXTENDED_ERROR
            || conn->control().isBroken();
    }
    if (code == ERROR_SUCCESS && expectedSize >= 0 && moved < uint64_t(expectedSize))
        code = ERROR_INTERNET_CONNECTION_ABORTED; // the data ended early, whatever the reply said
    conn->transferOpen.store(false);
    return code;
}

DWORD FtpTransfer::write(const void *in, DWORD toWrite)
{
    if (!writing)
        return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    if (failure != ERROR_SUCCESS)
        return failure;
    const char *src = static_cast<const char *>(in);
    size_t left = toWrite;
    if (bufferLen == 0 && left >= kWriteBlock) {
        const DWORD code = sendBlock(src, left);
        return code == ERROR_SUCCESS ? ERROR_SUCCESS : fail(code);
    }
    while (left > 0) {
        const size_t n = std::min(left, kWriteBlock - bufferLen);
        std::memcpy(buffer.get() + bufferLen, src, n);
        bufferLen += n;
        src += n;
        left -= n;
        if (bufferLen == kWriteBlock) {
            const DWORD code = flush();
            if (code != ERROR_SUCCESS)
                return fail(code);
        }
    }
    return ERROR_SUCCESS;
}

DWORD FtpTransfer::flush()
{
    const DWORD code = sendBlock(buffer.get(), bufferLen);
    bufferLen = 0;
    return code;
}

DWORD FtpTransfer::sendBlock(const char *bytes, size_t length)
{
    if (length == 0)
        return ERROR_SUCCESS;
    DWORD code = data.sendAll(bytes, length, Deadline(conn->timeouts().sendMs), cancelToken());
    if (code == ERROR_SUCCESS) {
        moved += length;
        return checkControl();
    }
    if (code == ERROR_INTERNET_CONNECTION_ABORTED || code == ERROR_INTERNET_CONNECTION_RESET) {
        // The server dropped the data connection: its reply may tell why.
        data.abortiveClose();
        if (!finalReceived
            && conn->control().socket().waitReadable(Deadline(2000), cancelToken())
                == ERROR_SUCCESS) {
            const DWORD reply = conn->endTransfer(cancelToken());
            finalReceived = true;
            if (reply == ERROR_INTERNET_EXTENDED_ERROR)
                code = reply;
        }
    }
    return code;
}

// A reply on the control connection in the middle of an upload means the
// server ended the transfer early (quota, disk full, abort).
DWORD FtpTransfer::checkControl()
{
    if (finalReceived || !conn->control().socket().readableNow())
        return ERROR_SUCCESS;
    const DWORD code = conn->endTransfer(cancelToken());
    finalReceived = true;
    return code == ERROR_SUCCESS ? ERROR_INTERNET_CONNECTION_ABORTED : code;
}

DWORD FtpTransfer::finishUpload()
{
    if (failure != ERROR_SUCCESS)
        return failure;
    if (cancelToken().cancelled()) // stopped: cut off, never passed off as the whole file
        return fail(ERROR_INTERNET_OPERATION_CANCELLED);
    DWORD code = flush();
    if (code != ERROR_SUCCESS)
        return fail(code);
    // The end of the stream (after close_notify on TLS) tells the server the
    // file is complete.
    code = data.closeAfterSending(Deadline(conn->timeouts().sendMs), cancelToken());
    if (code != ERROR_SUCCESS)
        return fail(code);
    if (!finalReceived) {
        code = conn->endTransfer(cancelToken());
        finalReceived = code == ERROR_SUCCESS || code == ERROR_INTERNET_EXTENDED_ERROR
            || conn->control().isBroken();
    }
    return code;
}

DWORD FtpTransfer::finishGracefully()
{
    if (!started)
        return ERROR_SUCCESS;
    // Never wait for the connection here: the closing thread may be the one
    // that a call on the connection waits for (a status hand-off).
    CallGuard onConnection(*conn, CallGuard::NoWait {});
    if (!onConnection.ok()) // release() drops the data socket and asks for a resync
        return writing && failure == ERROR_SUCCESS ? ERROR_INTERNET_OPERATION_CANCELLED : failure;
    const unsigned long long before = conn->replyCount();
    DWORD code;
    if (writing) {
        code = finishUpload();
    } else if (atEnd || failure != ERROR_SUCCESS) {
        code = failure;
    } else {
        // Abandoned part way: a reset tells the server; whatever it answers
        // (226, 426 or nothing at all) is read up to the sync's reply.
        data.abortiveClose();
        code = ERROR_SUCCESS;
        if (!finalReceived) {
            finalReceived = true;
            conn->control().requireSync();
            conn->control().settle(conn->timeouts().receiveMs, cancelToken());
        }
    }
    conn->publishResponse(before);
    release();
    return code;
}

void FtpTransfer::release()
{
    if (data.isOpen())
        data.abortiveClose();
    if (started && !finalReceived) {
        finalReceived = true;
        conn->control().requireSync();
    }
    if (started) {
        started = false;
        conn->transferOpen.store(false);
    }
    buffer.reset();
}
