#pragma once

// Our FTP client layer, with the names, arguments and result codes of the
// Windows Internet client library's FTP entry points, so the session
// component and its workers read as they would against the real thing.
// All calls are thread-safe; the last error and the last reply text are per
// thread. One call at a time works on a connection (a second one waits).
//
// Codes the callers can rely on (GetLastError after a failed call):
//   12002  a wait passed its time-out (connect, a reply, data idle)
//   12003  the server refused; InternetGetLastResponseInfoA has its reply
//   12007  the host name does not resolve (or is not a valid host text)
//   12013  the user name was refused, 12014 the password was refused
//   12017  the handle (or its session or connection) was closed meanwhile
//   12029  the connection (control or data) could not be made
//   12030  the control connection is lost or out of step (end of stream, 421,
//          a malformed reply, a time-out before). A connection the server
//          closed or reset is made again by the next call, once, before it
//          sends anything (same handle, same login, same directory); when
//          that fails, or the connection fell out of step, every later call
//          fails at once with 12030: connect anew
//   12031  a connection was reset
//   12038  TLS: the server's certificate names another host
//   12045  TLS: the certificate was not trusted (no question, or "no")
//   12157  TLS: the handshake failed or the connection dropped during it
//   12190  TLS was required and the server refused AUTH TLS
//   12110  a file handle is open on the connection: close it first
//   87     a name holding CR or LF (nothing was sent), or a bad argument
//   18     a listing without entries (empty directory)

#include "ftp/Win32FindData.h"

#include <cstdint>
#include <string>

using HINTERNET = void *;
using DWORD = uint32_t;
using BOOL = int;
using DWORD_PTR = uintptr_t;
using INTERNET_PORT = uint16_t;

// Status callback: (handle, context, status number, info, info length).
using INTERNET_STATUS_CALLBACK = void (*)(HINTERNET, DWORD_PTR, DWORD, void *, DWORD);
// What InternetSetStatusCallback returns for a handle it does not know.
inline const INTERNET_STATUS_CALLBACK INTERNET_INVALID_STATUS_CALLBACK
    = reinterpret_cast<INTERNET_STATUS_CALLBACK>(~uintptr_t(0));

// Info of INTERNET_STATUS_HANDLE_CREATED and INTERNET_STATUS_REQUEST_COMPLETE:
// the new handle, or the call's result (nonzero on success) and error code.
// 30/31 pass the bytes sent, 40/41 the bytes received (a DWORD), 70 the
// handle (an HINTERNET), 51 nothing.
struct INTERNET_ASYNC_RESULT {
    DWORD_PTR dwResult;
    DWORD dwError;
};

constexpr INTERNET_PORT INTERNET_DEFAULT_FTP_PORT = 21;
constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr DWORD INTERNET_SERVICE_FTP = 1;
constexpr DWORD INTERNET_FLAG_PASSIVE = 0x08000000;
// InternetConnectA: explicit FTP over TLS (AUTH TLS before the login, then
// PBSZ 0 and PROT P; data connections resume the control connection's TLS
// session). SECURE requires it: a server refusing AUTH fails with 12190 and
// is sent nothing more. TLS_IF_OFFERED (our own) goes on in plain when the
// server refuses AUTH, and says so in the login text.
constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;
constexpr DWORD INTERNET_FLAG_TLS_IF_OFFERED = 0x00000100;
constexpr DWORD INTERNET_FLAG_RAW_DATA = 0x40000000;
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FTP_TRANSFER_TYPE_BINARY = 2;
constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000;

// Status numbers handed to the callback.
constexpr DWORD INTERNET_STATUS_SENDING_REQUEST = 30;
constexpr DWORD INTERNET_STATUS_REQUEST_SENT = 31;
constexpr DWORD INTERNET_STATUS_RECEIVING_RESPONSE = 40;
constexpr DWORD INTERNET_STATUS_RESPONSE_RECEIVED = 41;
constexpr DWORD INTERNET_STATUS_CONNECTION_CLOSED = 51;
constexpr DWORD INTERNET_STATUS_HANDLE_CREATED = 60;
constexpr DWORD INTERNET_STATUS_HANDLE_CLOSING = 70;
constexpr DWORD INTERNET_STATUS_REQUEST_COMPLETE = 100;

// System error codes (GetLastError after a call).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_EXTENDED_ERROR = 12003;
constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_INTERNET_INCORRECT_USER_NAME = 12013;
constexpr DWORD ERROR_INTERNET_INCORRECT_PASSWORD = 12014;
constexpr DWORD ERROR_INTERNET_LOGIN_FAILURE = 12015;
constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr DWORD ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
// Our own: encryption was required and the server refused AUTH TLS.
constexpr DWORD ERROR_FTP_TLS_REFUSED = 12190;
constexpr DWORD ERROR_FTP_TRANSFER_IN_PROGRESS = 12110;
constexpr DWORD ERROR_FTP_DROPPED = 12111;
// Our own, for transfers that survive a dropped connection (see
// InternetReadFile and FtpCommitFileA).
constexpr DWORD ERROR_FTP_TRANSFER_RESTARTED = 12195;
constexpr DWORD ERROR_FTP_RESUME_UPLOAD = 12196;

DWORD GetLastError();
void SetLastError(DWORD code);

HINTERNET InternetOpenA(
    const char *agent, DWORD accessType, const char *proxy, const char *proxyBypass, DWORD flags);
// The server may carry its own port: "host:port", "a.b.c.d:port" or
// "[v6]:port"; that port wins over the port argument.
// Logs in (an empty user is "anonymous"), asks FEAT, turns UTF-8 on when
// offered, sets TYPE I. Afterwards the thread's reply text holds the greeting
// and the login replies. Closing the session from another thread ends a
// connect under way at once (12017).
HINTERNET InternetConnectA(HINTERNET session, const char *server, INTERNET_PORT port,
    const char *user, const char *password, DWORD service, DWORD flags, DWORD_PTR context);
INTERNET_STATUS_CALLBACK InternetSetStatusCallback(
    HINTERNET handle, INTERNET_STATUS_CALLBACK callback);
// The last reply text of the calling thread's most recent call that talked
// to the server, multi-line replies whole, lines ended by CR LF; *error gets
// its reply code. On success *length is the text's length (the buffer also
// gets a terminating zero); when buffer is null or *length is smaller than
// the text plus its zero, fails with ERROR_INSUFFICIENT_BUFFER and sets
// *length to the size needed.
BOOL InternetGetLastResponseInfoA(DWORD *error, char *buffer, DWORD *length);

// Status numbers reach the callback installed on a handle, for that handle
// and every handle opened under it, on the thread making the call: 30/31 and
// 40/41 around each command and reply, 60 for a new connection, find or file
// handle, 70 when a handle is closed, 51 when the control connection closes,
// 100 at the end of each call on a connection. Transfers report nothing per
// read or write.

// The whole listing is read when the handle opens (MLSD when the server
// offers MLST, else LIST); entries come in server order, "." and ".." too if
// the server sends them. A search name that names one file gives that file
// alone, under its base name. An empty listing gives a null handle and
// ERROR_NO_MORE_FILES; a refusal (550) gives 12003.
HINTERNET FtpFindFirstFileA(HINTERNET connection, const char *searchFile, TWin32FindData *findData,
    DWORD flags, DWORD_PTR context);
BOOL InternetFindNextFileA(HINTERNET find, void *findData);

HINTERNET FtpOpenFileA(
    HINTERNET connection, const char *fileName, DWORD access, DWORD flags, DWORD_PTR context);
// Fills the buffer whole unless the data ends; *read = 0 with success means
// the server confirmed the transfer (2xx). A final reply of 4xx/5xx (12003),
// no final reply (12030), fewer bytes than SIZE announced (12030) or a lost
// data connection make the read fail: a broken download never ends in success.
// When SIZE told the file's length, a download that stops part way is
// resumed once (reconnecting if need be, REST at the bytes delivered) and
// the reads go on unaware. A server that refuses REST or does not deliver
// exactly the rest makes the download start over from byte 0, once: that
// read fails with ERROR_FTP_TRANSFER_RESTARTED, and the caller drops every
// byte read so far and reads on from the start of the file.
BOOL InternetReadFile(HINTERNET file, void *buffer, DWORD toRead, DWORD *read);
// Our own: a download taken up again in a later run, where the caller holds
// its first `offset` bytes, fetched while SIZE said `size` (-1: unknown) and
// MDTM said `time` (when `timed`). The server goes on at `offset` (REST) only
// when SIZE and MDTM say the same now and the offset lies inside the file;
// otherwise the file comes whole. Afterwards `offset` tells where the data
// begins (0: from the start) and the other fields what the server says now.
struct FTP_RESUME_POINT {
    uint64_t offset;
    int64_t size;
    BOOL timed;
    TFileTime time;
};
// FtpOpenFileA for reading from a resume point (see above). Reads then go
// on as for FtpOpenFileA; a resume that the data proves wrong (more or fewer
// bytes than the rest of the file) starts over with ERROR_FTP_TRANSFER_RESTARTED.
HINTERNET FtpOpenFileResumeA(
    HINTERNET connection, const char *fileName, FTP_RESUME_POINT *point, DWORD_PTR context);
// Our own: FtpOpenFileA (GENERIC_READ or GENERIC_WRITE) for a file whose
// size the caller already knows: a download's listed size, an upload's
// local size. A file of 1 .. FTP_SMALL_FILE - 1 bytes is opened with no
// SIZE or MDTM first. Its download is still never taken as whole while the
// bytes differ from the known size: SIZE is asked then, once, and only the
// server's size now proves a changed file whole; anything else starts it
// again from byte 0, once. A dropped connection starts such a file again
// from byte 0 too (an upload as well): it is never resumed, so no origin is
// recorded for it. Larger files, and a size of 0, go as with FtpOpenFileA.
HINTERNET FtpOpenKnownFileA(HINTERNET connection, const char *fileName, DWORD access,
    uint64_t knownSize, DWORD_PTR context);
// Under 1 MiB a file fetched again after a rare drop costs little more than
// a resume would, while SIZE and MDTM before every file double the round
// trips of a queue of small ones.
constexpr uint64_t FTP_SMALL_FILE = 1024 * 1024;
// Sends the whole buffer or fails. Data is sent in large blocks, so a failure
// can surface on a later write or on InternetCloseHandle, which finishes an
// upload and succeeds only when the server confirmed it (2xx).
// An upload whose connection drops is taken up again once (SIZE of the
// partial file, then REST + STOR where REST STREAM is offered, else APPE,
// else STOR from 0): the write fails with ERROR_FTP_RESUME_UPLOAD, nothing of
// it counts, and the caller writes on from the offset that
// INTERNET_OPTION_FTP_RESUME_OFFSET tells.
BOOL InternetWriteFile(HINTERNET file, const void *buffer, DWORD toWrite, DWORD *written);
// Our own: finishes an upload as InternetCloseHandle would, but a connection
// dropped at the end can still be resumed (ERROR_FTP_RESUME_UPLOAD: write on
// from the offset, then commit again). After a resumed upload the server's
// SIZE must equal the bytes written. Closing the handle afterwards returns
// this result.
BOOL FtpCommitFileA(HINTERNET file);
// Our own: the lines the layer wrote for the user about the calling thread's
// calls since the last take (a reconnect, a resumed or restarted transfer),
// each ended by CR LF; empty when none.
std::string FtpTakeRecoveryNotes();

// Our own: waits at most waitMs for a download's next bytes; TRUE when a
// read would return at once (data, its end, or a failure to report), FALSE
// when nothing came meanwhile. Lets a reader show what arrived before a stall.
BOOL FtpWaitForData(HINTERNET file, DWORD waitMs);
// Our own: InternetReadFile that, once it has some bytes, returns them rather
// than wait for toRead; 0 bytes still means the end of the data.
BOOL FtpReadAvailable(HINTERNET file, void *buffer, DWORD toRead, DWORD *read);

// Writes to a temporary file beside newFile, renamed over it only when the
// transfer is complete; on failure newFile is left as it was.
BOOL FtpGetFileA(HINTERNET connection, const char *remoteFile, const char *newFile,
    BOOL failIfExists, DWORD attributes, DWORD flags, DWORD_PTR context);
BOOL FtpDeleteFileA(HINTERNET connection, const char *fileName);
BOOL FtpRenameFileA(HINTERNET connection, const char *existing, const char *newName);
BOOL FtpSetCurrentDirectoryA(HINTERNET connection, const char *directory);
BOOL FtpCreateDirectoryA(HINTERNET connection, const char *directory);
BOOL FtpRemoveDirectoryA(HINTERNET connection, const char *directory);

// Releases the handle. Callable from any thread: a call blocked on this
// handle or one opened under it returns at once with an error (12017).
// Closing a file handle that no call is using finishes the transfer: an
// upload sends its rest and reads the final reply (FALSE with 12003/12030 when
// the server did not confirm it); a download abandoned part way is cut off and
// the connection put back in step. Descriptors are closed by the thread whose
// call uses them, never under a blocked call.
BOOL InternetCloseHandle(HINTERNET handle);

// Time-outs in milliseconds (a DWORD in buffer, length 4), for the handle and
// the handles opened under it later; a null handle sets the process default.
// Every wait of the layer ends with 12002 when its time-out passes. Defaults:
// connect 30 s, send, receive and data receive 60 s.
constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
constexpr DWORD INTERNET_OPTION_DATA_RECEIVE_TIMEOUT = 8;
// On a connection handle (query only): INTERNET_STATE_CONNECTED while the
// control connection can still carry a command, INTERNET_STATE_DISCONNECTED
// once the layer has found it lost (end of stream, 421, a time-out, a reply
// out of step). Never waits, callable from any thread.
constexpr DWORD INTERNET_OPTION_CONNECTED_STATE = 50;
constexpr DWORD INTERNET_STATE_CONNECTED = 1;
constexpr DWORD INTERNET_STATE_DISCONNECTED = 2;
// Our own, on a connection handle (set only): the minutes east of UTC of the
// clock in which the server writes LIST times (a signed 32-bit value in the
// DWORD, -1440..1440). Later listings give those times as UTC: a server at
// +120 listing 14:00 gives 12:00. MLSD and MLST times are UTC already and
// stay as they are. Default 0.
constexpr DWORD INTERNET_OPTION_LIST_TIME_ZONE = 1301;
// On a connection handle (query only, our own): the protocol of an encrypted
// connection as text ("TLS 1.3"), empty for a plain one; the buffer gets the
// text and a terminating zero, *length the text's length (or the size needed
// with ERROR_INSUFFICIENT_BUFFER).
constexpr DWORD INTERNET_OPTION_TLS_PROTOCOL = 0x10001;
// On a connection handle (query only, our own): a DWORD, 1 when data
// connections (listings, files) are encrypted too, 0 when they go in clear
// (a plain connection, or a server that refused PROT P).
constexpr DWORD INTERNET_OPTION_TLS_DATA_PROTECTED = 0x10002;
// Our own: how long a connection stays idle (no call, no open file) before
// the layer sends NOOP to keep it from the server's idle time-out; a
// connection the server closed anyway is made again by the next call.
// Milliseconds as above; default 60 s.
constexpr DWORD INTERNET_OPTION_FTP_KEEPALIVE = 1001;
// Our own, query only, on a file handle: where the caller's data goes on
// after ERROR_FTP_RESUME_UPLOAD (a uint64_t, length 8).
constexpr DWORD INTERNET_OPTION_FTP_RESUME_OFFSET = 1002;
BOOL InternetSetOptionA(HINTERNET handle, DWORD option, void *buffer, DWORD length);
BOOL InternetQueryOptionA(HINTERNET handle, DWORD option, void *buffer, DWORD *length);
