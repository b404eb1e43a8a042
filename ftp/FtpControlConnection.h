#pragma once

#include "ftp/FtpReply.h"
#include "ftp/TcpSocket.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class CancelToken;

// The control connection of one FTP session: sends command lines and reads
// replies (multi-line replies whole, lines bounded in length, a deadline per
// reply). After a transfer abandoned part way it puts itself back in step
// before the next command (requireSync). Once the connection is lost or out of step it stays
// broken.
class FtpControlConnection {
public:
    // Longest line kept of a reply; the rest of a longer line is read and dropped.
    static constexpr size_t kMaxLineLength = 16 * 1024;
    // Most reply text kept; later lines of a longer reply are read and dropped.
    static constexpr size_t kMaxReplyText = 1024 * 1024;

    // Status numbers for the handle the current call works for (30/31/40/41).
    using StatusHook = std::function<void(DWORD status, DWORD value)>;

    TcpSocket &socket() { return sock; }
    void setStatusHook(StatusHook hook) { statusHook = std::move(hook); }

    // Sends one command line; CR LF is appended. A line holding CR, LF or NUL
    // is refused with ERROR_INVALID_PARAMETER before anything is sent.
    DWORD send(const std::string &line, int timeoutMs, const CancelToken &cancel);
    // Reads one complete reply (a preliminary 1xx reply counts as one).
    DWORD readReply(FtpReply &reply, int timeoutMs, const CancelToken &cancel);
    // Reads replies until a final (non-1xx) one.
    DWORD readFinalReply(FtpReply &reply, int timeoutMs, const CancelToken &cancel);
    // send() then readFinalReply(), after settle(). Not for transfer commands:
    // a late reply of an abandoned transfer may be skipped in front of its reply.
    DWORD command(
        const std::string &line, FtpReply &reply, int timeoutMs, const CancelToken &cancel);

    // A transfer was abandoned: how many replies the server still sends for
    // it is unknown (servers differ). The next settle() sends PWD and reads
    // every reply up to its 257, which puts the connection back in step.
    void requireSync() { syncNeeded.store(true); }
    // Reads what a sync needs; then looks, without waiting, whether the server
    // closed the connection or announced 421 meanwhile.
    DWORD settle(int timeoutMs, const CancelToken &cancel);

    // A reply that can only be the late answer of an abandoned transfer
    // (225, 226 or 426 while one is still expected); forget() marks it read.
    bool isStray(const FtpReply &reply) const;
    void forgetStray() { strayExpected = false; }

    // Read from other threads too (whether the connection is still usable).
    bool isBroken() const { return broken.load(); }
    void markBroken() { broken = true; }
    // Broken because the server closed or reset it (end of stream, 421, a
    // reset), not because it fell out of step: logging in again can help.
    bool lostByPeer() const { return broken.load() && peerClosed.load(); }
    // Forgets the lost connection entirely, ready for a new connect.
    void reset();
    // A transfer was given up for `reason`. A time-out means the server has
    // stopped answering: waiting once more for it to put the connection back
    // in step would only take another time-out, so the connection counts as
    // lost. Anything else asks for a sync before the next command.
    void abandonTransfer(DWORD reason);
    // The last reply read, for the thread's response text.
    const FtpReply &lastReply() const { return last; }
    unsigned long long repliesRead() const { return replyCounter; }
    // Sends QUIT without waiting for an answer and closes the socket.
    void quit();

private:
    DWORD fill(const Deadline &deadline, const CancelToken &cancel);
    void breakBy(DWORD code);
    DWORD readLine(std::string &line, const Deadline &deadline, const CancelToken &cancel);
    void status(DWORD code, DWORD value)
    {
        if (statusHook)
            statusHook(code, value);
    }

    TcpSocket sock;
    StatusHook statusHook;
    std::unique_ptr<char[]> buffer { new char[8192] };
    size_t bufferStart = 0;
    size_t bufferEnd = 0;
    std::atomic<bool> syncNeeded { false };
    bool strayExpected = false;
    std::atomic<bool> broken { false };
    std::atomic<bool> peerClosed { false };
    FtpReply last;
    unsigned long long replyCounter = 0;
};

// True when the text can go into a command line (no CR, LF or NUL).
bool safeForCommand(const char *text);
