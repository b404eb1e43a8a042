#include "ftp/FtpTransfer.h"

#include "ftp/FtpConnection.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <poll.h>

namespace {

// Never leave this file: a resumed download that did not deliver exactly
// the rest of the file (a server that ignored REST), and a first attempt
// that the server called complete although it was short (a server whose
// word, REST included, is worth nothing for this file).
constexpr DWORD kResumeUnproven = 0xFFFF0001u;
constexpr DWORD kShortButComplete = 0xFFFF0002u;

// How long an abandoned download waits for the server to take up its data
// connection before resetting it.
constexpr int kServerSideWaitMs = 5000;

bool isDrop(DWORD code)
{
    return code == ERROR_INTERNET_CONNECTION_ABORTED || code == ERROR_INTERNET_CONNECTION_RESET
        || code == ERROR_INTERNET_TIMEOUT || code == ERROR_INTERNET_EXTENDED_ERROR
        || code == kResumeUnproven || code == kShortButComplete;
}

bool isOwnCode(DWORD code)
{
    return code == kResumeUnproven || code == kShortButComplete;
}

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

DWORD FtpTransfer::start(const std::string &path, FTP_RESUME_POINT *point, int64_t knownSize)
{
    remotePath = path;
    small = knownSize > 0 && uint64_t(knownSize) < FTP_SMALL_FILE;
    if (small) {
        if (point)
            *point = { 0, -1, 0, {} }; // the file comes whole, with no origin to keep
        if (!writing)
            expectedSize = knownSize;
    } else {
        const DWORD asked = askOrigin(point);
        if (asked != ERROR_SUCCESS)
            return asked;
    }
    const std::string line = (writing ? "STOR " : "RETR ") + path;
    const DWORD code
        = small ? beginKnown(line) : conn->beginTransfer(line, data, finalReceived, cancelToken());
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
    // The data is the rest of the file: the checks of a resumed attempt apply.
    moved = attemptBase = resumedFrom;
    return ERROR_SUCCESS;
}

// SIZE and MDTM of the remote file before the transfer: the origin that a
// resume or a replaced upload is proven against.
DWORD FtpTransfer::askOrigin(FTP_RESUME_POINT *point)
{
    origin = remoteFacts();
    // The server closed the idle connection just as these questions went
    // out (its close had not arrived when the call looked): nothing of the
    // transfer has begun, so it goes on over a new connection, as any call
    // on a connection the server had closed does.
    if (conn->control().lostByPeer() && !cancelToken().cancelled()
        && conn->reconnect("Connection lost; reconnected.") == ERROR_SUCCESS)
        origin = remoteFacts();
    if (!writing)
        expectedSize = origin.size;
    sizeFromServer = expectedSize >= 0;
    if (conn->control().isBroken())
        return ERROR_INTERNET_CONNECTION_ABORTED;
    if (!point || writing)
        return ERROR_SUCCESS;
    const DWORD asked = askToResume(*point, resumedFrom);
    if (asked == ERROR_SUCCESS)
        *point = { resumedFrom, origin.size, origin.timed, origin.time };
    return asked;
}

// A small file asks nothing first, so a server that closed the idle
// connection shows it only here; nothing has begun, so it goes on over a
// new connection.
DWORD FtpTransfer::beginKnown(const std::string &line)
{
    DWORD code = conn->beginTransfer(line, data, finalReceived, cancelToken());
    if (code != ERROR_SUCCESS && conn->control().lostByPeer() && !cancelToken().cancelled()
        && conn->reconnect("Connection lost; reconnected.") == ERROR_SUCCESS)
        code = conn->beginTransfer(line, data, finalReceived, cancelToken());
    return code;
}

// REST at the caller's offset, only for the very file its bytes came from.
DWORD FtpTransfer::askToResume(const FTP_RESUME_POINT &point, uint64_t &from)
{
    from = 0;
    const RemoteFacts then { point.size, point.timed != 0, point.time };
    if (point.offset == 0 || origin.size < 0 || point.offset >= uint64_t(origin.size)
        || !then.sameAs(origin))
        return ERROR_SUCCESS;
    FtpReply reply;
    const DWORD sent = conn->control().command(
        "REST " + std::to_string(point.offset), reply, conn->timeouts().receiveMs, cancelToken());
    if (sent != ERROR_SUCCESS)
        return sent;
    if (reply.code != 350)
        return ERROR_SUCCESS;
    from = point.offset;
    restAccepted = true;
    FtpReconnect::addNote("Resuming the partial file at byte " + std::to_string(from) + ".");
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

DWORD FtpTransfer::read(void *out, DWORD toRead, DWORD &read, bool partial)
{
    read = 0;
    if (writing)
        return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    char *dest = static_cast<char *>(out);
    while (read < toRead) {
        if (bufferPos == bufferLen) {
            if (failure != ERROR_SUCCESS || atEnd)
                break;
            if (partial && read > 0 && !data.readableNow())
                break;
            // A large request takes the data straight from the socket: one
            // copy fewer for every byte of a big download.
            const bool direct = toRead - read >= kDirectRead;
            size_t got = 0;
            DWORD code = direct ? receiveInto(dest + read, toRead - read, got) : fill();
            if (code != ERROR_SUCCESS)
                code = recoverDownload(code);
            if (code == ERROR_FTP_TRANSFER_RESTARTED) {
                read = 0; // the caller starts its copy afresh
                return code;
            }
            if (code != ERROR_SUCCESS)
                fail(code);
            else if (direct)
                read += DWORD(got);
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

bool FtpTransfer::waitForData(int waitMs)
{
    if (bufferPos < bufferLen || atEnd || failure != ERROR_SUCCESS || data.readableNow())
        return true;
    data.waitReadable(Deadline(waitMs), cancelToken());
    return data.readableNow();
}

DWORD FtpTransfer::fill()
{
    bufferPos = bufferLen = 0;
    size_t got = 0;
    const DWORD code = receiveInto(buffer.get(), kBufferSize, got);
    if (code == ERROR_SUCCESS)
        bufferLen = got;
    return code;
}

// got counts only bytes that belong to the file; 0 at the end of the data.
DWORD FtpTransfer::receiveInto(char *into, size_t capacity, size_t &got)
{
    got = 0;
    const DWORD code
        = data.receive(into, capacity, got, Deadline(conn->timeouts().dataMs), cancelToken());
    if (code != ERROR_SUCCESS) {
        got = 0;
        return code;
    }
    if (got == 0)
        return finishDownload();
    if (attemptBase > 0 && moved + got > uint64_t(expectedSize)) {
        got = 0;
        return kResumeUnproven; // more than the rest of the file: it came from elsewhere
    }
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
    if (code == ERROR_SUCCESS && small && !sizeFromServer && moved != uint64_t(expectedSize))
        code = checkAgainstListing();
    if (code == ERROR_SUCCESS && expectedSize >= 0 && moved < uint64_t(expectedSize))
        code = attemptBase > 0 ? kResumeUnproven : kShortButComplete; // whatever the reply
    conn->transferOpen.store(false);
    return code;
}

// The listed size is an old word: a file that changed since it was listed
// and a transfer the server cut short both differ from it, and only the
// server's SIZE now tells them apart.
DWORD FtpTransfer::checkAgainstListing()
{
    const int64_t now = conn->remoteSize(remotePath, cancelToken());
    if (now >= 0 && uint64_t(now) == moved) {
        expectedSize = now;
        sizeFromServer = true;
        return ERROR_SUCCESS;
    }
    return kShortButComplete;
}

DWORD FtpTransfer::write(const void *in, DWORD toWrite)
{
    if (!writing)
        return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    if (failure != ERROR_SUCCESS)
        return failure;
    resumePending = false;
    const char *src = static_cast<const char *>(in);
    size_t left = toWrite;
    if (bufferLen == 0 && left >= kWriteBlock) {
        const DWORD code = sendBlock(src, left);
        return code == ERROR_SUCCESS ? ERROR_SUCCESS : recoverUpload(code);
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
                return recoverUpload(code);
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

DWORD FtpTransfer::finishUpload(bool mayResume)
{
    if (failure != ERROR_SUCCESS)
        return failure;
    if (cancelToken().cancelled()) // stopped: cut off, never passed off as the whole file
        return fail(ERROR_INTERNET_OPERATION_CANCELLED);
    DWORD code = flush();
    if (code != ERROR_SUCCESS)
        return mayResume ? recoverUpload(code) : fail(code);
    // The end of the stream (after close_notify on TLS) tells the server the
    // file is complete.
    code = data.closeAfterSending(Deadline(conn->timeouts().sendMs), cancelToken());
    if (code != ERROR_SUCCESS)
        return mayResume ? recoverUpload(code) : fail(code);
    if (!finalReceived) {
        code = conn->endTransfer(cancelToken());
        finalReceived = code == ERROR_SUCCESS || code == ERROR_INTERNET_EXTENDED_ERROR
            || conn->control().isBroken();
    }
    // A lost final reply may be the connection's fault; a refusal is the server's word.
    if (code != ERROR_SUCCESS && code != ERROR_INTERNET_EXTENDED_ERROR && mayResume)
        return recoverUpload(code);
    if (code == ERROR_SUCCESS)
        code = verifyUploadSize();
    return code;
}

DWORD FtpTransfer::commit()
{
    if (!writing)
        return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    if (committed)
        return commitResult;
    resumePending = false;
    const DWORD code = finishUpload(true);
    if (code == ERROR_FTP_RESUME_UPLOAD)
        return code;
    committed = true;
    commitResult = code;
    conn->transferOpen.store(false);
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
    if (writing && resumePending) {
        // The caller gave up where it was to go on: the server holds a part.
        code = fail(ERROR_INTERNET_CONNECTION_ABORTED);
    } else if (writing) {
        code = committed ? commitResult : finishUpload(false);
    } else if (atEnd || failure != ERROR_SUCCESS) {
        code = failure;
    } else {
        // Abandoned part way: a reset tells the server; whatever it answers
        // (226, 426 or nothing at all) is read up to the sync's reply.
        if (moved == 0)
            awaitServerSide();
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

// A server that has not yet taken up the data connection may keep the file
// queued and send it on the next data connection, ahead of the next file's
// bytes: a reset now would never reach it. Once it sends on this connection
// or answers on the control connection it has let go of the file.
void FtpTransfer::awaitServerSide()
{
    FtpControlConnection &ctrl = conn->control();
    if (!data.isOpen() || data.readableNow() || ctrl.socket().readableNow() || ctrl.isBroken())
        return;
    pollfd fds[2] = { { data.fd(), POLLIN, 0 }, { ctrl.socket().fd(), POLLIN, 0 } };
    const Deadline deadline(std::min(conn->timeouts().receiveMs, kServerSideWaitMs));
    while (!deadline.passed()) {
        const int ready = ::poll(fds, 2, deadline.remainingMs());
        if (ready != 0 && !(ready < 0 && errno == EINTR))
            return;
    }
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

// --- recovery after a dropped connection ---------------------------------

namespace {

void note(const std::string &line)
{
    FtpReconnect::addNote(line);
}

} // namespace

// Gives up the current attempt's data connection and whatever the server
// still says about it.
void FtpTransfer::dropAttempt(DWORD reason)
{
    if (data.isOpen())
        data.abortiveClose();
    if (!finalReceived && !conn->control().isBroken())
        conn->control().abandonTransfer(reason == kResumeUnproven ? ERROR_SUCCESS : reason);
    finalReceived = true;
    bufferPos = bufferLen = 0;
    atEnd = false;
}

DWORD FtpTransfer::reviveControl(bool &reconnected)
{
    reconnected = false;
    // The abandoned transfer's answer is read now: it shows whether the
    // server kept the control connection.
    if (!conn->control().isBroken()
        && conn->control().settle(conn->timeouts().receiveMs, cancelToken()) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    if (cancelToken().cancelled())
        return ERROR_INTERNET_OPERATION_CANCELLED;
    const DWORD code = conn->recovery().reconnect(*conn);
    reconnected = code == ERROR_SUCCESS;
    return code;
}

DWORD FtpTransfer::beginAttempt(const std::string &line)
{
    const DWORD code = conn->beginTransfer(line, data, finalReceived, cancelToken());
    if (code != ERROR_SUCCESS) {
        finalReceived = true;
        return code;
    }
    atEnd = false;
    bufferPos = bufferLen = 0;
    conn->transferOpen.store(true);
    return ERROR_SUCCESS;
}

FtpTransfer::RemoteFacts FtpTransfer::remoteFacts()
{
    RemoteFacts facts;
    facts.size = conn->remoteSize(remotePath, cancelToken());
    facts.timed = conn->remoteTime(remotePath, facts.time, cancelToken());
    return facts;
}

bool FtpTransfer::RemoteFacts::sameAs(const RemoteFacts &other) const
{
    return size == other.size && timed == other.timed
        && (!timed
            || (time.dwLowDateTime == other.time.dwLowDateTime
                && time.dwHighDateTime == other.time.dwHighDateTime));
}

// A download that stopped part way goes on where it stopped, once, but only
// when SIZE told how long the file is: then a resumed transfer can be proven
// to deliver exactly the rest.
DWORD FtpTransfer::recoverDownload(DWORD code)
{
    if (small && !restartUsed && isDrop(code) && !cancelToken().cancelled()
        && (isOwnCode(code) || moved < uint64_t(expectedSize)))
        return restartDownload(code == kShortButComplete
                ? "The server called a short transfer complete: starting the download again "
                  "from byte 0."
                : "Connection lost: starting the download again from byte 0.");
    if (!sizeFromServer || !isDrop(code) || cancelToken().cancelled())
        return isOwnCode(code) ? DWORD(ERROR_INTERNET_CONNECTION_ABORTED) : code;
    if (isOwnCode(code)) {
        if (restartUsed)
            return ERROR_INTERNET_CONNECTION_ABORTED;
        return restartDownload(code == kShortButComplete
                ? "The server called a short transfer complete: starting the download again "
                  "from byte 0."
                : "The server did not resume where asked: starting the download again from "
                  "byte 0.");
    }
    if (resumeUsed || moved >= uint64_t(expectedSize))
        return code; // everything arrived: the failure is the server's verdict
    return resumeDownload(code);
}

DWORD FtpTransfer::resumeDownload(DWORD code)
{
    resumeUsed = true;
    const uint64_t offset = moved;
    const std::string lost = "Connection lost at "
        + std::to_string(expectedSize > 0 ? offset * 100 / uint64_t(expectedSize) : 0) + " %";
    dropAttempt(code);
    bool reconnected = false;
    if (reviveControl(reconnected) != ERROR_SUCCESS)
        return code;
    const std::string how = reconnected ? "; reconnected and " : "; ";
    if (!remoteFacts().sameAs(origin))
        return restartDownload(lost + (reconnected ? "; reconnected, but" : "; but")
            + " the file changed on the server: starting again from byte 0.");
    if (offset > 0) {
        FtpReply reply;
        const DWORD sent = conn->control().command(
            "REST " + std::to_string(offset), reply, conn->timeouts().receiveMs, cancelToken());
        if (sent != ERROR_SUCCESS)
            return code;
        if (reply.code != 350)
            return restartDownload(lost + (reconnected ? "; reconnected, but" : "; but")
                + " the server refused to resume: starting again from byte 0.");
        restAccepted = true;
    }
    const DWORD begun = beginAttempt("RETR " + remotePath);
    if (begun != ERROR_SUCCESS)
        return begun;
    attemptBase = offset;
    note(lost + how + "resuming at byte " + std::to_string(offset) + ".");
    return ERROR_SUCCESS;
}

// Starts over from byte 0 on the same handle; the caller is told to drop
// what it has (ERROR_FTP_TRANSFER_RESTARTED).
DWORD FtpTransfer::restartDownload(const std::string &why)
{
    restartUsed = resumeUsed = true;
    dropAttempt(kResumeUnproven);
    bool reconnected = false;
    if (reviveControl(reconnected) != ERROR_SUCCESS)
        return ERROR_INTERNET_CONNECTION_ABORTED;
    if (restAccepted) {
        FtpReply reply; // a server that kept the offset must forget it
        conn->control().command("REST 0", reply, conn->timeouts().receiveMs, cancelToken());
    }
    origin = remoteFacts(); // the file as it is now is the one fetched
    if (origin.size < 0)
        return ERROR_INTERNET_CONNECTION_ABORTED;
    expectedSize = origin.size;
    sizeFromServer = true;
    moved = 0;
    attemptBase = 0;
    const DWORD begun = beginAttempt("RETR " + remotePath);
    if (begun != ERROR_SUCCESS)
        return begun;
    note(why);
    return ERROR_FTP_TRANSFER_RESTARTED;
}

// An upload whose connection dropped goes on once: where the server's
// partial file ends (REST + STOR where REST STREAM is offered, else APPE),
// or from byte 0. The caller then writes from resumeOffset().
DWORD FtpTransfer::recoverUpload(DWORD code)
{
    const bool drop = code == ERROR_INTERNET_CONNECTION_ABORTED
        || code == ERROR_INTERNET_CONNECTION_RESET || code == ERROR_INTERNET_TIMEOUT;
    if (!drop || resumeUsed || cancelToken().cancelled())
        return fail(code);
    resumeUsed = true;
    const uint64_t sent = moved;
    dropAttempt(code);
    bool reconnected = false;
    if (reviveControl(reconnected) != ERROR_SUCCESS)
        return fail(code);
    std::string how;
    // A server may keep the old file until the upload completes: what is
    // there now is this upload's only when it cannot be that old file.
    // A small file was sent without asking what the server held before: what
    // is there now may be the old file, so it is sent again from byte 0.
    const RemoteFacts now = small ? RemoteFacts {} : remoteFacts();
    const bool mayBeOld = origin.size >= 0 && now.size == origin.size
        && (!now.timed || !origin.timed || now.sameAs(origin));
    const DWORD reopened = reopenUpload(mayBeOld ? -1 : now.size, how);
    if (reopened != ERROR_SUCCESS)
        return fail(reopened);
    moved = offsetToResume;
    uploadResumed = true;
    resumePending = true;
    note("Connection lost after " + std::to_string(sent) + " bytes of the upload; "
        + (reconnected ? "reconnected and " : "") + how);
    return ERROR_FTP_RESUME_UPLOAD;
}

DWORD FtpTransfer::reopenUpload(int64_t remote, std::string &how)
{
    const bool partial = remote > 0 && uint64_t(remote) <= moved;
    const std::string at = std::to_string(remote);
    if (partial && conn->features().restStream) {
        FtpReply reply;
        const DWORD sent = conn->control().command(
            "REST " + at, reply, conn->timeouts().receiveMs, cancelToken());
        if (sent != ERROR_SUCCESS)
            return sent;
        if (reply.code == 350) {
            offsetToResume = uint64_t(remote);
            how = "resuming at byte " + at + ".";
            return beginAttempt("STOR " + remotePath);
        }
    }
    if (partial) {
        const DWORD appended = beginAttempt("APPE " + remotePath);
        if (appended != ERROR_INTERNET_EXTENDED_ERROR) {
            offsetToResume = uint64_t(remote);
            how = "appending from byte " + at + ".";
            return appended;
        }
    }
    offsetToResume = 0;
    how = "starting the upload again from the beginning.";
    return beginAttempt("STOR " + remotePath);
}

// After a resumed upload the server's size of the file is the proof.
DWORD FtpTransfer::verifyUploadSize()
{
    if (!uploadResumed)
        return ERROR_SUCCESS;
    const int64_t remote = conn->remoteSize(remotePath, cancelToken());
    if (remote < 0 || uint64_t(remote) == moved)
        return ERROR_SUCCESS;
    note("After the resumed upload the server holds " + std::to_string(remote) + " bytes, not "
        + std::to_string(moved) + ".");
    return ERROR_INTERNET_CONNECTION_ABORTED;
}
