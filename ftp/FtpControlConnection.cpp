#include "ftp/FtpControlConnection.h"

#include "ftp/CancelToken.h"

#include <sys/socket.h>

#include <cstring>

namespace {

constexpr size_t kBufferSize = 8192;

bool startsWithCode(const std::string &line, int &code)
{
    if (line.size() < 3)
        return false;
    for (int i = 0; i < 3; ++i)
        if (line[size_t(i)] < '0' || line[size_t(i)] > '9')
            return false;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return false;
    code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    return code >= 100;
}

} // namespace

bool safeForCommand(const char *text)
{
    if (!text)
        return true;
    for (const char *p = text; *p; ++p)
        if (*p == '\r' || *p == '\n')
            return false;
    return true;
}

DWORD FtpControlConnection::send(const std::string &line, int timeoutMs, const CancelToken &cancel)
{
    if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return ERROR_INVALID_PARAMETER;
    if (broken || !sock.isOpen())
        return ERROR_INTERNET_CONNECTION_ABORTED;
    if (cancel.cancelled())
        return ERROR_INTERNET_OPERATION_CANCELLED; // nothing went out: still in step
    const std::string wire = line + "\r\n";
    status(INTERNET_STATUS_SENDING_REQUEST, DWORD(wire.size()));
    const DWORD code = sock.sendAll(wire.data(), wire.size(), Deadline(timeoutMs), cancel);
    if (code != ERROR_SUCCESS) {
        breakBy(code); // a command may have gone out in part
        return code;
    }
    status(INTERNET_STATUS_REQUEST_SENT, DWORD(wire.size()));
    return ERROR_SUCCESS;
}

DWORD FtpControlConnection::fill(const Deadline &deadline, const CancelToken &cancel)
{
    bufferStart = bufferEnd = 0;
    size_t got = 0;
    const DWORD code = sock.receive(buffer.get(), kBufferSize, got, deadline, cancel);
    if (code != ERROR_SUCCESS)
        return code;
    if (got == 0)
        return ERROR_INTERNET_CONNECTION_ABORTED;
    bufferEnd = got;
    return ERROR_SUCCESS;
}

DWORD FtpControlConnection::readLine(
    std::string &line, const Deadline &deadline, const CancelToken &cancel)
{
    line.clear();
    for (;;) {
        if (bufferStart == bufferEnd) {
            const DWORD code = fill(deadline, cancel);
            if (code != ERROR_SUCCESS)
                return code;
        }
        const char *begin = buffer.get() + bufferStart;
        const size_t avail = bufferEnd - bufferStart;
        const void *lf = std::memchr(begin, '\n', avail);
        const size_t take = lf ? size_t(static_cast<const char *>(lf) - begin) : avail;
        if (line.size() < kMaxLineLength)
            line.append(begin, std::min(take, kMaxLineLength - line.size()));
        bufferStart += lf ? take + 1 : take;
        if (lf) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return ERROR_SUCCESS;
        }
    }
}

DWORD FtpControlConnection::readReply(FtpReply &reply, int timeoutMs, const CancelToken &cancel)
{
    reply = FtpReply();
    if (broken || !sock.isOpen())
        return ERROR_INTERNET_CONNECTION_ABORTED;
    status(INTERNET_STATUS_RECEIVING_RESPONSE, 0);
    const Deadline deadline(timeoutMs);
    const bool nothingBuffered = bufferStart == bufferEnd;
    std::string line;
    DWORD code = readLine(line, deadline, cancel);
    if (code == ERROR_INTERNET_OPERATION_CANCELLED && nothingBuffered && line.empty()) {
        syncNeeded.store(true); // nothing of this reply was consumed: skip it later
        return code;
    }
    bool malformed = false;
    if (code == ERROR_SUCCESS && !startsWithCode(line, reply.code)) {
        code = ERROR_INTERNET_CONNECTION_ABORTED; // not FTP: out of step for good
        malformed = true;
    }
    if (code == ERROR_SUCCESS && line.size() > 3 && line[3] == '-') {
        reply.text = line + "\r\n";
        const std::string end = line.substr(0, 3);
        for (;;) {
            code = readLine(line, deadline, cancel);
            if (code != ERROR_SUCCESS)
                break;
            if (reply.text.size() + line.size() + 2 <= kMaxReplyText)
                reply.text += line + "\r\n";
            if (line.size() >= 3 && line.compare(0, 3, end) == 0
                && (line.size() == 3 || line[3] == ' '))
                break;
        }
    } else if (code == ERROR_SUCCESS) {
        reply.text = line + "\r\n";
    }
    if (code != ERROR_SUCCESS) {
        if (malformed)
            broken = true;
        else
            breakBy(code);
        reply = FtpReply();
        return code;
    }
    if (reply.closing())
        breakBy(ERROR_INTERNET_CONNECTION_ABORTED);
    last = reply;
    ++replyCounter;
    status(INTERNET_STATUS_RESPONSE_RECEIVED, DWORD(reply.text.size()));
    return ERROR_SUCCESS;
}

DWORD FtpControlConnection::readFinalReply(
    FtpReply &reply, int timeoutMs, const CancelToken &cancel)
{
    for (;;) {
        const DWORD code = readReply(reply, timeoutMs, cancel);
        if (code != ERROR_SUCCESS || !reply.preliminary())
            return code;
    }
}

DWORD FtpControlConnection::settle(int timeoutMs, const CancelToken &cancel)
{
    if (broken || !sock.isOpen())
        return ERROR_INTERNET_CONNECTION_ABORTED;
    if (cancel.cancelled())
        return ERROR_INTERNET_OPERATION_CANCELLED; // a pending sync waits for the next call
    if (syncNeeded.exchange(false)) {
        // Every reply before PWD's 257 belongs to the abandoned transfer. If
        // none came, the server may still answer it later (an asynchronous
        // server notices the reset after it answered PWD): one stray 225, 226
        // or 426 is then skipped in front of a later command's reply.
        strayExpected = true;
        DWORD code = send("PWD", timeoutMs, cancel);
        for (FtpReply reply; code == ERROR_SUCCESS;) {
            code = readReply(reply, timeoutMs, cancel);
            if (code == ERROR_SUCCESS && reply.code == 257)
                break;
            strayExpected = false;
        }
        if (code != ERROR_SUCCESS) {
            breakBy(code);
            return code;
        }
    }
    while (bufferStart != bufferEnd || sock.readableNow()) {
        // The server spoke unasked: a late transfer reply, a 421 before
        // closing, or the end of the stream.
        FtpReply reply;
        const DWORD code = readReply(reply, timeoutMs, cancel);
        if (code != ERROR_SUCCESS)
            return code;
        if (reply.closing())
            return ERROR_INTERNET_CONNECTION_ABORTED;
        if (isStray(reply))
            strayExpected = false;
    }
    return ERROR_SUCCESS;
}

void FtpControlConnection::abandonTransfer(DWORD reason)
{
    if (reason == ERROR_INTERNET_TIMEOUT)
        broken = true;
    else
        requireSync();
}

bool FtpControlConnection::isStray(const FtpReply &reply) const
{
    // Replies that only a transfer gets: never the answer to another command.
    return strayExpected && (reply.code == 225 || reply.code == 226 || reply.code == 426);
}

DWORD FtpControlConnection::command(
    const std::string &line, FtpReply &reply, int timeoutMs, const CancelToken &cancel)
{
    DWORD code = settle(timeoutMs, cancel);
    if (code == ERROR_SUCCESS)
        code = send(line, timeoutMs, cancel);
    if (code == ERROR_SUCCESS)
        code = readFinalReply(reply, timeoutMs, cancel);
    if (code == ERROR_SUCCESS && isStray(reply)) {
        strayExpected = false;
        code = readFinalReply(reply, timeoutMs, cancel);
    }
    return code;
}

void FtpControlConnection::breakBy(DWORD code)
{
    if (!broken.load())
        peerClosed
            = code == ERROR_INTERNET_CONNECTION_ABORTED || code == ERROR_INTERNET_CONNECTION_RESET;
    broken = true;
}

void FtpControlConnection::reset()
{
    sock.close();
    bufferStart = bufferEnd = 0;
    syncNeeded = false;
    strayExpected = false;
    peerClosed = false;
    broken = false;
}

void FtpControlConnection::quit()
{
    if (sock.isOpen() && !broken) {
        static const char text[] = "QUIT\r\n";
        sock.sendNow(text, sizeof text - 1);
    }
    sock.close();
    broken = true;
}
