// The WinInet entry points over our own FTP client: handle look-up, the
// calling thread's last error and reply text, status numbers. The protocol
// work lives in FtpConnection, FtpListing and FtpTransfer.
#include "ftp/WinInet.h"

#include "ftp/FtpConnection.h"
#include "ftp/FtpFind.h"
#include "ftp/FtpKeepAlive.h"
#include "ftp/FtpListing.h"
#include "ftp/FtpTransfer.h"
#include "ftp/HostAddress.h"
#include "ftp/InternetHandle.h"
#include "ftp/LayerResults.h"
#include "ftp/RemoteProtocol.h"
#include "ftp/WinInetTls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

namespace {

using LayerResults::asResult;
using LayerResults::fail;
using LayerResults::handOverFile;
using LayerResults::handOverFind;
using LayerResults::lookUp;
using LayerResults::publish;
using LayerResults::reportComplete;
using LayerResults::reportCreated;
using LayerResults::succeed;

class InternetSession : public InternetHandle {
public:
    explicit InternetSession(std::string agentName)
        : InternetHandle(HandleKind::Session, nullptr, 0), agent(std::move(agentName))
    {
    }

    void setCertificateQuestion(TlsCertificateQuestion question)
    {
        std::lock_guard<std::mutex> lock(questionMutex);
        certificateQuestion = std::move(question);
    }
    TlsCertificateQuestion certificateQuestionCopy() const
    {
        std::lock_guard<std::mutex> lock(questionMutex);
        return certificateQuestion;
    }

private:
    std::string agent;
    mutable std::mutex questionMutex;
    TlsCertificateQuestion certificateQuestion;
};

TlsPolicy tlsPolicyFor(DWORD flags)
{
    if (flags & INTERNET_FLAG_SECURE)
        return TlsPolicy::Require;
    return flags & INTERNET_FLAG_TLS_IF_OFFERED ? TlsPolicy::IfOffered : TlsPolicy::Off;
}

// Runs fn(connection) as one call on a connection handle: one call at a time,
// refused while a file is open or once the control connection is lost; the
// thread's reply text becomes the last reply the call read.
template <typename Fn> DWORD onConnection(HINTERNET value, Fn fn)
{
    DWORD code = ERROR_SUCCESS;
    auto handle = lookUp(value, HandleKind::Connection, code);
    if (!handle)
        return code;
    auto connection = std::static_pointer_cast<FtpConnection>(handle);
    ThreadState::setResponse(0, std::string());
    {
        CallGuard call(*connection);
        if (!call.ok())
            return ERROR_INVALID_HANDLE;
        const unsigned long long before = connection->replyCount();
        code = connection->prepareCommand();
        if (code == ERROR_SUCCESS)
            code = fn(connection);
        connection->publishResponse(before);
        connection->touch();
        if (code != ERROR_SUCCESS && connection->isClosed())
            code = ERROR_INTERNET_OPERATION_CANCELLED;
    }
    reportComplete(*connection, code, 1);
    return code;
}

DWORD checkName(const char *name)
{
    if (!name || !*name)
        return ERROR_INVALID_PARAMETER;
    return safeForCommand(name) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

DWORD localErrorCode(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    default:
        return ERROR_WRITE_FAULT;
    }
}

DWORD writeAll(int fd, const char *data, size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return localErrorCode(n < 0 ? errno : ENOSPC);
        data += n;
        length -= size_t(n);
    }
    return ERROR_SUCCESS;
}

// Copies an open download into a temporary file beside the target, renamed
// over it only once the transfer is complete.
DWORD copyToLocal(HINTERNET file, const char *target, bool failIfExists)
{
    std::string temp = std::string(target) + ".vrexpart-XXXXXX";
    const int fd = ::mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0)
        return localErrorCode(errno);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    static thread_local std::unique_ptr<char[]> chunk(new char[FtpTransfer::kBufferSize]);
    DWORD code = ERROR_SUCCESS;
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(file, chunk.get(), DWORD(FtpTransfer::kBufferSize), &got)) {
            code = ThreadState::error();
            if (code == ERROR_FTP_TRANSFER_RESTARTED && ::ftruncate(fd, 0) == 0
                && ::lseek(fd, 0, SEEK_SET) == 0) {
                code = ERROR_SUCCESS;
                continue;
            }
            break;
        }
        if (got == 0)
            break;
        code = writeAll(fd, chunk.get(), got);
        if (code != ERROR_SUCCESS)
            break;
    }
    if (::close(fd) != 0 && code == ERROR_SUCCESS)
        code = localErrorCode(errno);
    if (code == ERROR_SUCCESS) {
        if (failIfExists && ::link(temp.c_str(), target) != 0)
            code = localErrorCode(errno);
        else if (!failIfExists && ::rename(temp.c_str(), target) != 0)
            code = localErrorCode(errno);
    }
    ::unlink(temp.c_str());
    return code;
}

} // namespace

DWORD GetLastError()
{
    return ThreadState::error();
}

void SetLastError(DWORD code)
{
    ThreadState::setError(code);
}

HINTERNET InternetOpenA(const char *agent, DWORD, const char *, const char *, DWORD)
{
    auto session = std::make_shared<InternetSession>(agent ? agent : "");
    HandleTable::add(session);
    succeed();
    return session->id();
}

HINTERNET InternetConnectA(HINTERNET sessionValue, const char *server, INTERNET_PORT port,
    const char *user, const char *password, DWORD service, DWORD flags, DWORD_PTR context)
{
    if (RemoteDispatch::wantsConnect(flags))
        return RemoteDispatch::connect(sessionValue, server, port, user, password, flags, context);
    DWORD code = ERROR_SUCCESS;
    auto session = lookUp(sessionValue, HandleKind::Session, code);
    if (!session)
        return fail(code), nullptr;
    if (service != INTERNET_SERVICE_FTP || !safeForCommand(user) || !safeForCommand(password))
        return fail(ERROR_INVALID_PARAMETER), nullptr;
    ThreadState::setResponse(0, std::string());
    HostAddress host;
    if (!parseHostAddress(server, port, host))
        return fail(ERROR_INTERNET_NAME_NOT_RESOLVED), nullptr;
    auto connection = std::make_shared<FtpConnection>(session, context);
    connection->setSecurity(
        tlsPolicyFor(flags), static_cast<InternetSession &>(*session).certificateQuestionCopy());
    if (!session->addChild(connection))
        return fail(ERROR_INVALID_HANDLE), nullptr;
    std::string loginText;
    int loginCode = 0;
    connection->recovery().remember(host, user ? user : "", password ? password : "", flags);
    {
        CallGuard call(*connection);
        code = call.ok() ? connection->open(
                   host, user ? user : "", password ? password : "", loginText, loginCode)
                         : ERROR_INTERNET_OPERATION_CANCELLED;
    }
    ThreadState::setResponse(loginCode, loginText);
    if (connection->isClosed()) // the session was closed meanwhile
        code = ERROR_INTERNET_OPERATION_CANCELLED;
    if (code != ERROR_SUCCESS) {
        connection->closeTree();
        return fail(code), nullptr;
    }
    if (!publish(connection))
        return fail(ERROR_INTERNET_OPERATION_CANCELLED), nullptr;
    connection->touch();
    KeepAlive::watch(connection);
    reportCreated(*connection);
    reportComplete(*connection, code, reinterpret_cast<DWORD_PTR>(connection->id()));
    succeed();
    return connection->id();
}

INTERNET_STATUS_CALLBACK InternetSetStatusCallback(
    HINTERNET value, INTERNET_STATUS_CALLBACK callback)
{
    auto handle = HandleTable::find(value);
    if (!handle) {
        fail(ERROR_INVALID_HANDLE);
        return INTERNET_INVALID_STATUS_CALLBACK;
    }
    succeed();
    return handle->setCallback(callback);
}

BOOL InternetSetCertificateQuestion(HINTERNET value, TlsCertificateQuestion question)
{
    DWORD code = ERROR_SUCCESS;
    auto session = lookUp(value, HandleKind::Session, code);
    if (!session)
        return fail(code);
    static_cast<InternetSession &>(*session).setCertificateQuestion(std::move(question));
    return succeed();
}

BOOL InternetGetLastResponseInfoA(DWORD *error, char *buffer, DWORD *length)
{
    if (!length)
        return fail(ERROR_INVALID_PARAMETER);
    const std::string &text = ThreadState::responseText();
    if (error)
        *error = DWORD(ThreadState::responseCode());
    if (!buffer || *length < text.size() + 1) {
        *length = DWORD(text.size() + 1);
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    *length = DWORD(text.size());
    return succeed();
}

HINTERNET FtpFindFirstFileA(HINTERNET connectionValue, const char *searchFile,
    TWin32FindData *findData, DWORD, DWORD_PTR context)
{
    if (RemoteDispatch::owns(connectionValue))
        return RemoteDispatch::findFirst(connectionValue, searchFile, findData, context);
    const std::string search = searchFile ? searchFile : "";
    if (!safeForCommand(search.c_str()))
        return fail(ERROR_INVALID_PARAMETER), nullptr;
    std::shared_ptr<FtpFind> find;
    const DWORD code = onConnection(connectionValue, [&](const std::shared_ptr<FtpConnection> &c) {
        FtpListing::ListedEntries entries;
        DWORD result = FtpListing::find(*c, search, entries);
        if (result != ERROR_SUCCESS)
            return result;
        find = std::make_shared<FtpFind>(c, context, std::move(entries));
        if (!c->addChild(find))
            return DWORD(ERROR_INTERNET_OPERATION_CANCELLED);
        return DWORD(ERROR_SUCCESS);
    });
    if (code != ERROR_SUCCESS)
        return fail(code), nullptr;
    return handOverFind(find, findData);
}

BOOL InternetFindNextFileA(HINTERNET findValue, void *findData)
{
    DWORD code = ERROR_SUCCESS;
    auto handle = lookUp(findValue, HandleKind::Find, code);
    if (!handle)
        return fail(code);
    if (!findData)
        return fail(ERROR_INVALID_PARAMETER);
    auto &find = static_cast<FtpFind &>(*handle);
    CallGuard call(find);
    if (!call.ok())
        return fail(ERROR_INVALID_HANDLE);
    TWin32FindData entry;
    if (!find.next(entry))
        return fail(ERROR_NO_MORE_FILES);
    std::memcpy(findData, &entry, sizeof entry);
    return succeed();
}

namespace {

HINTERNET openFile(HINTERNET connectionValue, const char *fileName, DWORD access, DWORD_PTR context,
    FTP_RESUME_POINT *point, int64_t knownSize = -1)
{
    if (RemoteDispatch::owns(connectionValue)) {
        if (point)
            *point = { 0, -1, 0, {} }; // the file comes whole
        return RemoteDispatch::openFile(connectionValue, fileName, access, context);
    }
    if (checkName(fileName) != ERROR_SUCCESS || (access != GENERIC_READ && access != GENERIC_WRITE))
        return fail(ERROR_INVALID_PARAMETER), nullptr;
    std::shared_ptr<FtpTransfer> file;
    const DWORD code = onConnection(connectionValue, [&](const std::shared_ptr<FtpConnection> &c) {
        file = std::make_shared<FtpTransfer>(c, context, access == GENERIC_WRITE);
        if (!c->addChild(file))
            return DWORD(ERROR_INTERNET_OPERATION_CANCELLED);
        CallGuard call(*file); // closing the connection meanwhile cancels the start
        DWORD result = call.ok() ? file->start(fileName, point, knownSize)
                                 : ERROR_INTERNET_OPERATION_CANCELLED;
        if (result != ERROR_SUCCESS && file->isClosed())
            result = ERROR_INTERNET_OPERATION_CANCELLED;
        return result;
    });
    return handOverFile(file, code);
}

} // namespace

HINTERNET FtpOpenFileA(
    HINTERNET connection, const char *fileName, DWORD access, DWORD, DWORD_PTR context)
{
    return openFile(connection, fileName, access, context, nullptr);
}

HINTERNET FtpOpenKnownFileA(
    HINTERNET connection, const char *fileName, DWORD access, uint64_t knownSize, DWORD_PTR context)
{
    const int64_t known = knownSize < FTP_SMALL_FILE ? int64_t(knownSize) : -1;
    return openFile(connection, fileName, access, context, nullptr, known);
}

HINTERNET FtpOpenFileResumeA(
    HINTERNET connection, const char *fileName, FTP_RESUME_POINT *point, DWORD_PTR context)
{
    if (!point)
        return fail(ERROR_INVALID_PARAMETER), nullptr;
    return openFile(connection, fileName, GENERIC_READ, context, point);
}

namespace {

// One call on a file handle, holding the connection as well.
template <typename Fn> DWORD onFile(HINTERNET value, Fn fn)
{
    DWORD code = ERROR_SUCCESS;
    auto handle = lookUp(value, HandleKind::File, code);
    if (!handle)
        return code;
    auto &file = static_cast<FtpTransfer &>(*handle);
    CallGuard call(file);
    if (!call.ok())
        return ERROR_INVALID_HANDLE;
    CallGuard onConnection(file.connection());
    if (!onConnection.ok())
        return ERROR_INTERNET_OPERATION_CANCELLED;
    const unsigned long long before = file.connection().replyCount();
    code = fn(file);
    file.connection().publishResponse(before);
    file.connection().touch();
    if (code != ERROR_SUCCESS && file.isClosed())
        code = ERROR_INTERNET_OPERATION_CANCELLED;
    return code;
}

} // namespace

BOOL InternetReadFile(HINTERNET fileValue, void *buffer, DWORD toRead, DWORD *read)
{
    if (RemoteDispatch::owns(fileValue))
        return RemoteDispatch::read(fileValue, buffer, toRead, read);
    if (!read || (!buffer && toRead))
        return fail(ERROR_INVALID_PARAMETER);
    *read = 0;
    return asResult(
        onFile(fileValue, [&](FtpTransfer &f) { return f.read(buffer, toRead, *read); }));
}

BOOL FtpReadAvailable(HINTERNET fileValue, void *buffer, DWORD toRead, DWORD *read)
{
    if (RemoteDispatch::owns(fileValue))
        return RemoteDispatch::readAvailable(fileValue, buffer, toRead, read);
    if (!read || (!buffer && toRead))
        return fail(ERROR_INVALID_PARAMETER);
    *read = 0;
    return asResult(
        onFile(fileValue, [&](FtpTransfer &f) { return f.read(buffer, toRead, *read, true); }));
}

BOOL FtpWaitForData(HINTERNET fileValue, DWORD waitMs)
{
    if (RemoteDispatch::owns(fileValue))
        return RemoteDispatch::waitForData(fileValue, waitMs);
    bool ready = false;
    const DWORD code = onFile(fileValue, [&](FtpTransfer &f) {
        ready = f.waitForData(int(waitMs));
        return DWORD(ERROR_SUCCESS);
    });
    return code == ERROR_SUCCESS && ready ? BOOL(1) : BOOL(0);
}

BOOL InternetWriteFile(HINTERNET fileValue, const void *buffer, DWORD toWrite, DWORD *written)
{
    if (RemoteDispatch::owns(fileValue))
        return RemoteDispatch::write(fileValue, buffer, toWrite, written);
    if (!written || (!buffer && toWrite))
        return fail(ERROR_INVALID_PARAMETER);
    *written = 0;
    const DWORD code = onFile(fileValue, [&](FtpTransfer &f) { return f.write(buffer, toWrite); });
    if (code == ERROR_SUCCESS)
        *written = toWrite;
    return asResult(code);
}

BOOL FtpCommitFileA(HINTERNET fileValue)
{
    if (RemoteDispatch::owns(fileValue))
        return RemoteDispatch::commit(fileValue);
    return asResult(onFile(fileValue, [&](FtpTransfer &f) { return f.commit(); }));
}

std::string FtpTakeRecoveryNotes()
{
    return FtpReconnect::takeNotes();
}

BOOL FtpGetFileA(HINTERNET connection, const char *remoteFile, const char *newFile,
    BOOL failIfExists, DWORD, DWORD flags, DWORD_PTR context)
{
    if (!newFile || !*newFile)
        return fail(ERROR_INVALID_PARAMETER);
    if (failIfExists && ::access(newFile, F_OK) == 0)
        return fail(ERROR_FILE_EXISTS);
    HINTERNET file = FtpOpenFileA(connection, remoteFile, GENERIC_READ, flags, context);
    if (!file)
        return BOOL(0);
    DWORD code = copyToLocal(file, newFile, failIfExists != 0);
    const std::string response = ThreadState::responseText();
    const int responseCode = ThreadState::responseCode();
    if (!InternetCloseHandle(file) && code == ERROR_SUCCESS)
        code = ThreadState::error();
    else
        ThreadState::setResponse(responseCode, response);
    return asResult(code);
}

BOOL FtpDeleteFileA(HINTERNET connection, const char *fileName)
{
    if (RemoteDispatch::owns(connection))
        return RemoteDispatch::simple(connection, RemoteDispatch::Op::Delete, fileName);
    if (checkName(fileName) != ERROR_SUCCESS)
        return fail(ERROR_INVALID_PARAMETER);
    return asResult(onConnection(connection, [&](const std::shared_ptr<FtpConnection> &c) {
        return c->simpleCommand(std::string("DELE ") + fileName);
    }));
}

BOOL FtpRenameFileA(HINTERNET connection, const char *existing, const char *newName)
{
    if (RemoteDispatch::owns(connection))
        return RemoteDispatch::rename(connection, existing, newName);
    if (checkName(existing) != ERROR_SUCCESS || checkName(newName) != ERROR_SUCCESS)
        return fail(ERROR_INVALID_PARAMETER);
    return asResult(onConnection(connection,
        [&](const std::shared_ptr<FtpConnection> &c) { return c->rename(existing, newName); }));
}

BOOL FtpSetCurrentDirectoryA(HINTERNET connection, const char *directory)
{
    if (RemoteDispatch::owns(connection))
        return RemoteDispatch::simple(connection, RemoteDispatch::Op::SetDirectory, directory);
    if (checkName(directory) != ERROR_SUCCESS)
        return fail(ERROR_INVALID_PARAMETER);
    return asResult(onConnection(connection, [&](const std::shared_ptr<FtpConnection> &c) {
        const DWORD code = c->simpleCommand(std::string("CWD ") + directory);
        if (code == ERROR_SUCCESS)
            c->recovery().enteredDirectory(directory);
        return code;
    }));
}

BOOL FtpCreateDirectoryA(HINTERNET connection, const char *directory)
{
    if (RemoteDispatch::owns(connection))
        return RemoteDispatch::simple(connection, RemoteDispatch::Op::CreateDirectory, directory);
    if (checkName(directory) != ERROR_SUCCESS)
        return fail(ERROR_INVALID_PARAMETER);
    return asResult(onConnection(connection, [&](const std::shared_ptr<FtpConnection> &c) {
        return c->simpleCommand(std::string("MKD ") + directory);
    }));
}

BOOL FtpRemoveDirectoryA(HINTERNET connection, const char *directory)
{
    if (RemoteDispatch::owns(connection))
        return RemoteDispatch::simple(connection, RemoteDispatch::Op::RemoveDirectory, directory);
    if (checkName(directory) != ERROR_SUCCESS)
        return fail(ERROR_INVALID_PARAMETER);
    return asResult(onConnection(connection, [&](const std::shared_ptr<FtpConnection> &c) {
        return c->simpleCommand(std::string("RMD ") + directory);
    }));
}

BOOL InternetCloseHandle(HINTERNET value)
{
    auto handle = HandleTable::remove(value);
    if (!handle)
        return fail(ERROR_INVALID_HANDLE);
    HINTERNET closing = value;
    handle->reportStatus(INTERNET_STATUS_HANDLE_CLOSING, &closing, sizeof closing);
    return asResult(handle->closeTree());
}
