#pragma once

#include "ftp/CancelToken.h"
#include "ftp/WinInet.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Time-outs in milliseconds (InternetSetOptionA); 0 means no limit.
struct FtpTimeouts {
    int connectMs = 30000;
    int sendMs = 60000;
    int receiveMs = 60000;
    int dataMs = 60000;
    int keepAliveMs = 60000; // idle time before a NOOP
};

// RemoteConnection and RemoteFile: handles of another protocol (RemoteProtocol.h).
enum class HandleKind { Session, Connection, Find, File, RemoteConnection, RemoteFile };

// The object behind an HINTERNET. Handles form a tree (session, connection,
// find and file handles); closing one closes its subtree. One call at a time
// works on a handle (beginCall/endCall); InternetCloseHandle from another
// thread marks it closed and cancels its token, which ends a blocked call at
// once. The call's thread then releases the resources (release()), so a
// descriptor is closed only when no call uses it.
class InternetHandle : public std::enable_shared_from_this<InternetHandle> {
public:
    InternetHandle(HandleKind kind, std::shared_ptr<InternetHandle> parent, DWORD_PTR context);
    virtual ~InternetHandle();
    InternetHandle(const InternetHandle &) = delete;
    InternetHandle &operator=(const InternetHandle &) = delete;

    HandleKind kind() const { return handleKind; }
    HINTERNET id() const { return handleId; }
    DWORD_PTR context() const { return handleContext; }
    const std::shared_ptr<InternetHandle> &parent() const { return parentHandle; }
    const CancelToken &cancelToken() const { return token; }

    FtpTimeouts timeouts() const;
    void setTimeouts(const FtpTimeouts &value);

    INTERNET_STATUS_CALLBACK setCallback(INTERNET_STATUS_CALLBACK callback);
    // Hands a status number to the callback of this handle or of its nearest
    // ancestor that has one, on the calling thread.
    void reportStatus(DWORD status, void *info, DWORD infoLength);

    // Waits while another call works on the handle; false once it is closed
    // (or the calling thread's interrupt is cancelled meanwhile).
    bool beginCall();
    // As beginCall, but false at once when another call is running.
    bool tryBeginCall();
    void endCall();
    bool isClosed() const { return closed.load(std::memory_order_acquire); }

    // False when this handle is closed already (the child is not adopted).
    bool addChild(const std::shared_ptr<InternetHandle> &child);
    // Marks the subtree closed, cancels blocked calls and finishes the handles
    // that no call is using. The result is this handle's finishing result.
    DWORD closeTree();

protected:
    // Ends the handle's work in good order (reads a transfer's final reply,
    // says QUIT). Runs on the closing thread when no call uses the handle.
    virtual DWORD finishGracefully() { return ERROR_SUCCESS; }
    // Frees the resources at once, without waiting on the network. Runs once,
    // on the thread of the last call or the closing thread or the destructor.
    virtual void release() { }
    void releaseOnce();

private:
    DWORD closeSelf();

    const HandleKind handleKind;
    const HINTERNET handleId;
    const DWORD_PTR handleContext;
    const std::shared_ptr<InternetHandle> parentHandle;
    CancelToken token;

    mutable std::mutex mutex;
    std::condition_variable idle;
    bool busy = false;
    std::atomic<bool> closed { false };
    std::atomic<bool> released { false };
    std::vector<std::weak_ptr<InternetHandle>> children;
    FtpTimeouts handleTimeouts;
    std::atomic<INTERNET_STATUS_CALLBACK> callback { nullptr };
};

// Runs a call on a handle: beginCall() in the constructor, endCall() in the
// destructor. ok() is false when the handle was closed first.
class CallGuard {
public:
    explicit CallGuard(InternetHandle &h) : handle(h), entered(h.beginCall()) { }
    struct NoWait { };
    CallGuard(InternetHandle &h, NoWait) : handle(h), entered(h.tryBeginCall()) { }
    ~CallGuard()
    {
        if (entered)
            handle.endCall();
    }
    CallGuard(const CallGuard &) = delete;
    CallGuard &operator=(const CallGuard &) = delete;
    bool ok() const { return entered; }

private:
    InternetHandle &handle;
    bool entered;
};

// The process-wide table from HINTERNET values to handles. Values are never
// reused, so a stale value is refused instead of reaching another handle.
namespace HandleTable {
void add(const std::shared_ptr<InternetHandle> &handle);
std::shared_ptr<InternetHandle> find(HINTERNET value);
std::shared_ptr<InternetHandle> remove(HINTERNET value);
size_t size();
} // namespace HandleTable

// The calling thread's last error and last server reply (WinInet keeps both
// per thread).
namespace ThreadState {
void setError(DWORD code);
DWORD error();
void setResponse(int code, const std::string &text);
int responseCode();
const std::string &responseText();
} // namespace ThreadState

// Process defaults for handles opened later (InternetSetOptionA with a null handle).
FtpTimeouts defaultTimeouts();
void setDefaultTimeouts(const FtpTimeouts &value);
