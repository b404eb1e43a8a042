// The entry points' side of another protocol: its handles, and each call
// run as the FTP calls run (one at a time per connection, status numbers,
// the thread's error and reply text).
#include "ftp/RemoteProtocol.h"

#include "ftp/FtpFind.h"
#include "ftp/LayerResults.h"
#include "ftp/HostAddress.h"

#include <cstring>
#include <map>
#include <mutex>

namespace {

using LayerResults::asResult;
using LayerResults::fail;
using LayerResults::handOverFile;
using LayerResults::handOverFind;
using LayerResults::lookUp;
using LayerResults::publish;
using LayerResults::reportComplete;
using LayerResults::reportCreated;

struct Registered {
    uint16_t defaultPort = 0;
    RemoteProtocolFactory factory;
};

std::mutex registryMutex;
std::map<DWORD, Registered> &registry()
{
    static std::map<DWORD, Registered> protocols;
    return protocols;
}

std::map<HINTERNET, ServerKeyQuestion> &keyQuestions() // under registryMutex
{
    static std::map<HINTERNET, ServerKeyQuestion> questions;
    return questions;
}

ServerKeyQuestion keyQuestionOf(HINTERNET session)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    const auto it = keyQuestions().find(session);
    return it == keyQuestions().end() ? ServerKeyQuestion() : it->second;
}

std::map<HINTERNET, KeyPassphraseQuestion> &passphraseQuestions() // under registryMutex
{
    static std::map<HINTERNET, KeyPassphraseQuestion> questions;
    return questions;
}

KeyPassphraseQuestion passphraseQuestionOf(HINTERNET session)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    const auto it = passphraseQuestions().find(session);
    return it == passphraseQuestions().end() ? KeyPassphraseQuestion() : it->second;
}

bool registeredFor(DWORD flags, Registered &out)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    for (const auto &entry : registry()) {
        if (flags & entry.first) {
            out = entry.second;
            return true;
        }
    }
    return false;
}

class RemoteConnectionHandle : public InternetHandle {
public:
    RemoteConnectionHandle(std::shared_ptr<InternetHandle> session, DWORD_PTR context)
        : InternetHandle(HandleKind::RemoteConnection, std::move(session), context)
    {
    }
    ~RemoteConnectionHandle() override { releaseOnce(); }
    std::unique_ptr<RemoteConnection> link;

protected:
    void release() override { link.reset(); }
};

class RemoteFileHandle : public InternetHandle {
public:
    RemoteFileHandle(std::shared_ptr<RemoteConnectionHandle> connection, DWORD_PTR context)
        : InternetHandle(HandleKind::RemoteFile, connection, context), conn(std::move(connection))
    {
    }
    ~RemoteFileHandle() override { releaseOnce(); }
    RemoteConnectionHandle &connection() { return *conn; }
    std::unique_ptr<RemoteFile> file;
    bool finished = false;
    DWORD finishResult = ERROR_SUCCESS;

protected:
    DWORD finishGracefully() override
    {
        if (!file || finished)
            return finishResult;
        // Never wait for the connection: the closing thread may be the one a
        // call on the connection waits for.
        CallGuard onConnection(*conn, CallGuard::NoWait {});
        if (!onConnection.ok())
            return ERROR_INTERNET_OPERATION_CANCELLED;
        finished = true;
        finishResult = file->finish(RemoteCall { cancelToken(), timeouts() });
        int code = 0;
        ThreadState::setResponse(
            code, conn->link ? conn->link->takeReplyText(code) : std::string());
        return finishResult;
    }
    void release() override { file.reset(); }

private:
    std::shared_ptr<RemoteConnectionHandle> conn;
};

void publishReply(RemoteConnection *link)
{
    int code = 0;
    const std::string text = link ? link->takeReplyText(code) : std::string();
    ThreadState::setResponse(code, text);
}

// One call on a remote connection handle.
template <typename Fn> DWORD onConnection(HINTERNET value, Fn fn)
{
    DWORD code = ERROR_SUCCESS;
    auto handle = lookUp<RemoteConnectionHandle>(value, HandleKind::RemoteConnection, code);
    if (!handle)
        return code;
    ThreadState::setResponse(0, std::string());
    {
        CallGuard call(*handle);
        if (!call.ok() || !handle->link)
            return ERROR_INVALID_HANDLE;
        code = fn(handle, RemoteCall { handle->cancelToken(), handle->timeouts() });
        publishReply(handle->link.get());
        if (code != ERROR_SUCCESS && handle->isClosed())
            code = ERROR_INTERNET_OPERATION_CANCELLED;
    }
    reportComplete(*handle, code, 1);
    return code;
}

template <typename Fn> DWORD onFile(HINTERNET value, Fn fn)
{
    DWORD code = ERROR_SUCCESS;
    auto handle = lookUp<RemoteFileHandle>(value, HandleKind::RemoteFile, code);
    if (!handle)
        return code;
    CallGuard call(*handle);
    if (!call.ok() || !handle->file)
        return ERROR_INVALID_HANDLE;
    CallGuard onConnection(handle->connection());
    if (!onConnection.ok())
        return ERROR_INTERNET_OPERATION_CANCELLED;
    code = fn(*handle, RemoteCall { handle->cancelToken(), handle->timeouts() });
    publishReply(handle->connection().link.get());
    if (code != ERROR_SUCCESS && handle->isClosed())
        code = ERROR_INTERNET_OPERATION_CANCELLED;
    return code;
}

bool unsafeName(const char *name)
{
    return !name || !*name || std::strpbrk(name, "\r\n");
}

} // namespace

void InternetRegisterRemoteProtocol(DWORD flag, uint16_t defaultPort, RemoteProtocolFactory factory)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    if (factory)
        registry()[flag] = Registered { defaultPort, std::move(factory) };
    else
        registry().erase(flag);
}

BOOL InternetSetServerKeyQuestion(HINTERNET session, ServerKeyQuestion question)
{
    DWORD code = ERROR_SUCCESS;
    if (!lookUp<InternetHandle>(session, HandleKind::Session, code))
        return fail(code);
    std::lock_guard<std::mutex> lock(registryMutex);
    if (question)
        keyQuestions()[session] = std::move(question);
    else
        keyQuestions().erase(session);
    ThreadState::setError(ERROR_SUCCESS);
    return BOOL(1);
}

BOOL InternetSetKeyPassphraseQuestion(HINTERNET session, KeyPassphraseQuestion question)
{
    DWORD code = ERROR_SUCCESS;
    if (!lookUp<InternetHandle>(session, HandleKind::Session, code))
        return fail(code);
    std::lock_guard<std::mutex> lock(registryMutex);
    if (question)
        passphraseQuestions()[session] = std::move(question);
    else
        passphraseQuestions().erase(session);
    ThreadState::setError(ERROR_SUCCESS);
    return BOOL(1);
}

namespace RemoteDispatch {

bool wantsConnect(DWORD flags)
{
    return (flags & INTERNET_FLAG_SFTP) != 0;
}

HINTERNET connect(HINTERNET sessionValue, const char *server, INTERNET_PORT port, const char *user,
    const char *password, DWORD flags, DWORD_PTR context)
{
    DWORD code = ERROR_SUCCESS;
    auto session = lookUp<InternetHandle>(sessionValue, HandleKind::Session, code);
    if (!session)
        return fail(code), nullptr;
    Registered protocol;
    if (!registeredFor(flags, protocol) || unsafeName(server))
        return fail(ERROR_INVALID_PARAMETER), nullptr;
    ThreadState::setResponse(0, std::string());
    HostAddress host;
    const uint16_t fallback
        = port == 0 || port == INTERNET_DEFAULT_FTP_PORT ? protocol.defaultPort : port;
    if (!parseHostAddress(server, fallback, host))
        return fail(ERROR_INTERNET_NAME_NOT_RESOLVED), nullptr;
    auto handle = std::make_shared<RemoteConnectionHandle>(session, context);
    if (!session->addChild(handle))
        return fail(ERROR_INVALID_HANDLE), nullptr;
    const RemoteConnectRequest request { host.host, host.port, user ? user : "",
        password ? password : "", flags, keyQuestionOf(sessionValue),
        passphraseQuestionOf(sessionValue) };
    std::string text;
    {
        CallGuard call(*handle);
        code = call.ok() ? protocol.factory(request,
                   RemoteCall { handle->cancelToken(), handle->timeouts() }, handle->link, text)
                         : ERROR_INTERNET_OPERATION_CANCELLED;
    }
    ThreadState::setResponse(0, text);
    if (handle->isClosed())
        code = ERROR_INTERNET_OPERATION_CANCELLED;
    if (code == ERROR_SUCCESS && !handle->link)
        code = ERROR_INTERNET_INTERNAL_ERROR;
    if (code != ERROR_SUCCESS) {
        handle->closeTree();
        return fail(code), nullptr;
    }
    if (!publish(handle))
        return fail(ERROR_INTERNET_OPERATION_CANCELLED), nullptr;
    reportCreated(*handle);
    reportComplete(*handle, code, reinterpret_cast<DWORD_PTR>(handle->id()));
    ThreadState::setError(ERROR_SUCCESS);
    return handle->id();
}

bool owns(HINTERNET value)
{
    auto handle = HandleTable::find(value);
    return handle
        && (handle->kind() == HandleKind::RemoteConnection
            || handle->kind() == HandleKind::RemoteFile);
}

HINTERNET findFirst(
    HINTERNET connection, const char *search, TWin32FindData *data, DWORD_PTR context)
{
    const std::string name = search ? search : "";
    if (name.find_first_of("\r\n") != std::string::npos)
        return fail(ERROR_INVALID_PARAMETER), nullptr;
    std::shared_ptr<FtpFind> find;
    const DWORD code = onConnection(
        connection, [&](const std::shared_ptr<RemoteConnectionHandle> &c, const RemoteCall &call) {
            std::vector<TWin32FindData> entries;
            const DWORD result = c->link->find(call, name, entries);
            if (result != ERROR_SUCCESS)
                return result;
            if (entries.empty())
                return DWORD(ERROR_NO_MORE_FILES);
            FtpListing::ListedEntries listed;
            listed.reserve(entries.size());
            for (const TWin32FindData &entry : entries)
                listed.push_back(FtpListing::ListedEntry::of(entry));
            find = std::make_shared<FtpFind>(c, context, std::move(listed));
            return c->addChild(find) ? DWORD(ERROR_SUCCESS)
                                     : DWORD(ERROR_INTERNET_OPERATION_CANCELLED);
        });
    if (code != ERROR_SUCCESS)
        return fail(code), nullptr;
    return handOverFind(find, data);
}

HINTERNET openFile(HINTERNET connection, const char *name, DWORD access, DWORD_PTR context)
{
    if (unsafeName(name) || (access != GENERIC_READ && access != GENERIC_WRITE))
        return fail(ERROR_INVALID_PARAMETER), nullptr;
    std::shared_ptr<RemoteFileHandle> file;
    const DWORD code = onConnection(
        connection, [&](const std::shared_ptr<RemoteConnectionHandle> &c, const RemoteCall &call) {
            file = std::make_shared<RemoteFileHandle>(c, context);
            if (!c->addChild(file))
                return DWORD(ERROR_INTERNET_OPERATION_CANCELLED);
            return c->link->open(call, name, access == GENERIC_WRITE, file->file);
        });
    return handOverFile(file, code);
}

BOOL read(HINTERNET file, void *buffer, DWORD toRead, DWORD *read)
{
    if (!read || (!buffer && toRead))
        return fail(ERROR_INVALID_PARAMETER);
    *read = 0;
    return asResult(onFile(file, [&](RemoteFileHandle &f, const RemoteCall &call) {
        return f.finished ? DWORD(ERROR_INVALID_HANDLE) : f.file->read(call, buffer, toRead, *read);
    }));
}

BOOL readAvailable(HINTERNET file, void *buffer, DWORD toRead, DWORD *read)
{
    if (!read || (!buffer && toRead))
        return fail(ERROR_INVALID_PARAMETER);
    *read = 0;
    return asResult(onFile(file, [&](RemoteFileHandle &f, const RemoteCall &call) {
        return f.finished ? DWORD(ERROR_INVALID_HANDLE)
                          : f.file->readAvailable(call, buffer, toRead, *read);
    }));
}

BOOL waitForData(HINTERNET file, DWORD waitMs)
{
    bool ready = false;
    const DWORD code = onFile(file, [&](RemoteFileHandle &f, const RemoteCall &call) {
        // A finished handle reads as a failure, at once.
        ready = f.finished || f.file->waitForData(call, int(waitMs));
        return DWORD(ERROR_SUCCESS);
    });
    return code == ERROR_SUCCESS && ready ? BOOL(1) : BOOL(0);
}

BOOL write(HINTERNET file, const void *buffer, DWORD toWrite, DWORD *written)
{
    if (!written || (!buffer && toWrite))
        return fail(ERROR_INVALID_PARAMETER);
    *written = 0;
    const DWORD code = onFile(file, [&](RemoteFileHandle &f, const RemoteCall &call) {
        return f.finished ? DWORD(ERROR_INVALID_HANDLE) : f.file->write(call, buffer, toWrite);
    });
    if (code == ERROR_SUCCESS)
        *written = toWrite;
    return asResult(code);
}

BOOL commit(HINTERNET file)
{
    return asResult(onFile(file, [&](RemoteFileHandle &f, const RemoteCall &call) {
        if (!f.finished) {
            f.finishResult = f.file->finish(call);
            // A resumed upload is written on from the offset, then committed again.
            f.finished = f.finishResult != ERROR_FTP_RESUME_UPLOAD;
        }
        return f.finishResult;
    }));
}

BOOL simple(HINTERNET connection, Op op, const char *name)
{
    if (unsafeName(name))
        return fail(ERROR_INVALID_PARAMETER);
    return asResult(onConnection(
        connection, [&](const std::shared_ptr<RemoteConnectionHandle> &c, const RemoteCall &call) {
            switch (op) {
            case Op::Delete:
                return c->link->removeFile(call, name);
            case Op::SetDirectory:
                return c->link->setCurrentDirectory(call, name);
            case Op::CreateDirectory:
                return c->link->createDirectory(call, name);
            case Op::RemoveDirectory:
                return c->link->removeDirectory(call, name);
            }
            return DWORD(ERROR_INVALID_PARAMETER);
        }));
}

BOOL rename(HINTERNET connection, const char *from, const char *to)
{
    if (unsafeName(from) || unsafeName(to))
        return fail(ERROR_INVALID_PARAMETER);
    return asResult(onConnection(
        connection, [&](const std::shared_ptr<RemoteConnectionHandle> &c, const RemoteCall &call) {
            return c->link->rename(call, from, to);
        }));
}

namespace {

BOOL answerText(const std::string &text, void *buffer, DWORD *length)
{
    if (!buffer || *length < text.size() + 1) {
        *length = DWORD(text.size() + 1);
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *length = DWORD(text.size());
    return asResult(ERROR_SUCCESS);
}

template <typename T> BOOL answerValue(T value, void *buffer, DWORD *length)
{
    if (!buffer || *length < sizeof value) {
        *length = sizeof value;
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, &value, sizeof value);
    *length = sizeof value;
    return asResult(ERROR_SUCCESS);
}

} // namespace

BOOL queryOption(HINTERNET value, DWORD option, void *buffer, DWORD *length, bool &answered)
{
    answered = false;
    auto handle = HandleTable::find(value);
    if (!handle || !length)
        return BOOL(0);
    if (handle->kind() == HandleKind::RemoteConnection) {
        auto &c = static_cast<RemoteConnectionHandle &>(*handle);
        // Only the calling thread's own call touches the link; a busy one is
        // still connected as far as a look from outside can tell.
        CallGuard call(c, CallGuard::NoWait {});
        if (option == INTERNET_OPTION_CONNECTED_STATE) {
            answered = true;
            const bool lost = c.isClosed() || (call.ok() && (!c.link || c.link->isBroken()));
            return answerValue(
                lost ? INTERNET_STATE_DISCONNECTED : INTERNET_STATE_CONNECTED, buffer, length);
        }
        if (option == INTERNET_OPTION_TLS_DATA_PROTECTED) {
            answered = true; // the protocol's one channel carries the data too
            return answerValue(DWORD(1), buffer, length);
        }
        if (option == INTERNET_OPTION_TLS_PROTOCOL && call.ok() && c.link) {
            answered = true;
            return answerText(c.link->securityText(), buffer, length);
        }
    }
    if (handle->kind() == HandleKind::RemoteFile && option == INTERNET_OPTION_FTP_RESUME_OFFSET) {
        auto &f = static_cast<RemoteFileHandle &>(*handle);
        CallGuard call(f, CallGuard::NoWait {});
        answered = true;
        return answerValue(
            uint64_t(call.ok() && f.file ? f.file->resumeOffset() : 0), buffer, length);
    }
    return BOOL(0);
}

} // namespace RemoteDispatch
