#pragma once

// Another file protocol behind the same entry points. InternetConnectA with
// a protocol's flag hands the connect to the protocol registered for that
// flag; the connection it makes then answers the layer's calls on that
// handle (find, open/read/write, get, rename, delete, folders). The layer
// keeps the handles, the per-thread error and reply text, and the status
// numbers; the protocol does the talking.

#include "ftp/CancelToken.h"
#include "ftp/InternetHandle.h"
#include "ftp/Win32FindData.h"
#include "ftp/WinInet.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// InternetConnectA: the SSH file transfer protocol, when one is registered
// (else ERROR_INVALID_PARAMETER).
constexpr DWORD INTERNET_FLAG_SFTP = 0x00000200;
// Our own: the server's key was refused (unknown or changed, and not trusted).
constexpr DWORD ERROR_SERVER_KEY_REFUSED = 12191;

// What every call hands the protocol: the token of the handle it works for
// (closing that handle, or the calling thread's interrupt, must end any wait
// within a second) and the time-outs in force.
struct RemoteCall {
    const CancelToken &cancel;
    FtpTimeouts timeouts;
};

class RemoteFile {
public:
    virtual ~RemoteFile() = default;
    // As InternetReadFile: fills the buffer unless the file ends; got = 0 at
    // the end.
    virtual DWORD read(const RemoteCall &call, void *buffer, DWORD toRead, DWORD &got) = 0;
    // As FtpReadAvailable: once some bytes are in, returns them rather than
    // wait for toRead; got = 0 still only at the end.
    virtual DWORD readAvailable(const RemoteCall &call, void *buffer, DWORD toRead, DWORD &got)
    {
        return read(call, buffer, toRead, got);
    }
    // As FtpWaitForData: true when a read would return at once. A protocol
    // that cannot tell says true, and the reader just reads on.
    virtual bool waitForData(const RemoteCall &, int /*waitMs*/) { return true; }
    virtual DWORD write(const RemoteCall &call, const void *data, DWORD length) = 0;
    // Ends the transfer; an upload succeeds only once the server has it all.
    virtual DWORD finish(const RemoteCall &call) = 0;
    virtual uint64_t resumeOffset() const { return 0; }
};

class RemoteConnection {
public:
    virtual ~RemoteConnection() = default;
    // As FtpFindFirstFileA's listing: a folder's entries, or one file alone
    // under its base name. Empty: ERROR_NO_MORE_FILES.
    virtual DWORD find(
        const RemoteCall &call, const std::string &search, std::vector<TWin32FindData> &out)
        = 0;
    virtual DWORD open(const RemoteCall &call, const std::string &name, bool forWriting,
        std::unique_ptr<RemoteFile> &file)
        = 0;
    virtual DWORD removeFile(const RemoteCall &call, const std::string &name) = 0;
    virtual DWORD rename(const RemoteCall &call, const std::string &from, const std::string &to)
        = 0;
    virtual DWORD setCurrentDirectory(const RemoteCall &call, const std::string &path) = 0;
    virtual DWORD createDirectory(const RemoteCall &call, const std::string &path) = 0;
    virtual DWORD removeDirectory(const RemoteCall &call, const std::string &path) = 0;
    // The connection can no longer carry a call (lost, cancelled); the next
    // call connects again, once, or fails with 12030.
    virtual bool isBroken() const = 0;
    // For INTERNET_OPTION_TLS_PROTOCOL: how the connection is encrypted.
    virtual std::string securityText() const = 0;
    // What the last call said, in the protocol's own terms, lines ended by
    // CR LF (the thread's reply text after it); code 0 unless it has one.
    virtual std::string takeReplyText(int &code) = 0;
};

// What the user is asked about a server's own key (the protocol's proof of
// the server's identity) that nothing known vouches for.
struct ServerKeyFacts {
    std::string host;
    uint16_t port = 0;
    std::string keyType; // "ssh-ed25519"
    std::string fingerprint; // "SHA256:..." as OpenSSH prints it
    std::string oldFingerprint; // the key known before, when it changed
    bool changed = false;
    std::string knownHostsLine; // how a trusted-keys file keeps it
};
enum class ServerKeyAnswer { Refuse, TrustOnce, TrustAlways };
// Runs on the thread that called InternetConnectA, while that call waits.
using ServerKeyQuestion = std::function<ServerKeyAnswer(const ServerKeyFacts &)>;

// For every later InternetConnectA on the session handle; without one such
// keys are refused (ERROR_SERVER_KEY_REFUSED). Closing the session meanwhile refuses whatever
// the answer.
BOOL InternetSetServerKeyQuestion(HINTERNET session, ServerKeyQuestion question);

// Asked for the passphrase of one of the user's own key files, on the thread
// that called InternetConnectA while that call waits; false skips the key.
using KeyPassphraseQuestion
    = std::function<bool(const std::string &keyFile, std::string &passphrase)>;
// For every later InternetConnectA on the session handle; without one a key
// that needs a passphrase is skipped.
BOOL InternetSetKeyPassphraseQuestion(HINTERNET session, KeyPassphraseQuestion question);

struct RemoteConnectRequest {
    std::string host;
    uint16_t port = 0;
    std::string user;
    std::string password;
    DWORD flags = 0;
    ServerKeyQuestion keyQuestion;
    KeyPassphraseQuestion passphraseQuestion;
};

// Makes a connection, logged in. Results are the layer's codes (12013/12014
// for a refused login, 12045 for a server key not trusted, ...).
using RemoteProtocolFactory = std::function<DWORD(const RemoteConnectRequest &request,
    const RemoteCall &call, std::unique_ptr<RemoteConnection> &connection, std::string &replyText)>;

// Registers (or with an empty factory removes) the protocol for a flag.
// defaultPort replaces the FTP port when the host names none.
void InternetRegisterRemoteProtocol(
    DWORD flag, uint16_t defaultPort, RemoteProtocolFactory factory);

// The layer's side: true when the handle belongs to a remote protocol.
namespace RemoteDispatch {
bool wantsConnect(DWORD flags);
HINTERNET connect(HINTERNET session, const char *server, INTERNET_PORT port, const char *user,
    const char *password, DWORD flags, DWORD_PTR context);
bool owns(HINTERNET handle);
HINTERNET findFirst(
    HINTERNET connection, const char *search, TWin32FindData *data, DWORD_PTR context);
HINTERNET openFile(HINTERNET connection, const char *name, DWORD access, DWORD_PTR context);
BOOL read(HINTERNET file, void *buffer, DWORD toRead, DWORD *read);
BOOL readAvailable(HINTERNET file, void *buffer, DWORD toRead, DWORD *read);
BOOL waitForData(HINTERNET file, DWORD waitMs);
BOOL write(HINTERNET file, const void *buffer, DWORD toWrite, DWORD *written);
BOOL commit(HINTERNET file);
enum class Op { Delete, SetDirectory, CreateDirectory, RemoveDirectory };
BOOL simple(HINTERNET connection, Op op, const char *name);
BOOL rename(HINTERNET connection, const char *from, const char *to);
BOOL queryOption(HINTERNET handle, DWORD option, void *buffer, DWORD *length, bool &answered);
} // namespace RemoteDispatch
