// The WinInet option calls: time-outs per handle or for new handles, the
// listing's time zone, and what a connection or file handle can tell of
// itself (connected state, TLS, where a resumed upload goes on).
#include "ftp/WinInet.h"

#include "ftp/FtpConnection.h"
#include "ftp/FtpKeepAlive.h"
#include "ftp/FtpTransfer.h"
#include "ftp/InternetHandle.h"
#include "ftp/LayerResults.h"
#include "ftp/RemoteProtocol.h"

#include <cstring>
#include <memory>
#include <string>

using LayerResults::fail;
using LayerResults::succeed;

namespace {

int *timeoutField(FtpTimeouts &t, DWORD option)
{
    switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
        return &t.connectMs;
    case INTERNET_OPTION_SEND_TIMEOUT:
        return &t.sendMs;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
        return &t.receiveMs;
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT:
        return &t.dataMs;
    case INTERNET_OPTION_FTP_KEEPALIVE:
        return &t.keepAliveMs;
    default:
        return nullptr;
    }
}

BOOL queryConnectedState(InternetHandle *handle, void *buffer, DWORD *length)
{
    if (!handle || handle->kind() != HandleKind::Connection)
        return fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (!buffer || *length < sizeof(DWORD)) {
        *length = sizeof(DWORD);
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    const bool lost
        = handle->isClosed() || static_cast<FtpConnection *>(handle)->control().isBroken();
    const DWORD state = lost ? INTERNET_STATE_DISCONNECTED : INTERNET_STATE_CONNECTED;
    std::memcpy(buffer, &state, sizeof state);
    *length = sizeof state;
    return succeed();
}

BOOL setListTimeZone(HINTERNET value, const void *buffer)
{
    int32_t minutes;
    std::memcpy(&minutes, buffer, sizeof minutes);
    if (minutes < -1440 || minutes > 1440)
        return fail(ERROR_INVALID_PARAMETER);
    const auto handle = HandleTable::find(value);
    if (!handle)
        return fail(ERROR_INVALID_HANDLE);
    if (handle->kind() != HandleKind::Connection)
        return fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    static_cast<FtpConnection &>(*handle).listTimeZoneMinutes.store(minutes);
    return succeed();
}

BOOL queryTlsProtocol(InternetHandle *handle, void *buffer, DWORD *length)
{
    if (!handle || handle->kind() != HandleKind::Connection)
        return fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    const std::string &text = static_cast<FtpConnection *>(handle)->tlsProtocol();
    if (!buffer || *length < text.size() + 1) {
        *length = DWORD(text.size() + 1);
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *length = DWORD(text.size());
    return succeed();
}

BOOL queryTlsDataProtected(InternetHandle *handle, void *buffer, DWORD *length)
{
    if (!handle || handle->kind() != HandleKind::Connection)
        return fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (!buffer || *length < sizeof(DWORD)) {
        *length = sizeof(DWORD);
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    const DWORD value = static_cast<FtpConnection *>(handle)->tlsProtectsData() ? 1 : 0;
    std::memcpy(buffer, &value, sizeof value);
    *length = sizeof value;
    return succeed();
}

BOOL queryResumeOffset(InternetHandle *handle, void *buffer, DWORD *length)
{
    if (!handle || handle->kind() != HandleKind::File)
        return fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (!buffer || *length < sizeof(uint64_t)) {
        *length = sizeof(uint64_t);
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    const uint64_t offset = static_cast<FtpTransfer *>(handle)->resumeOffset();
    std::memcpy(buffer, &offset, sizeof offset);
    *length = sizeof offset;
    return succeed();
}

} // namespace

BOOL InternetSetOptionA(HINTERNET value, DWORD option, void *buffer, DWORD length)
{
    if (!buffer || length != sizeof(DWORD))
        return fail(ERROR_INVALID_PARAMETER);
    if (option == INTERNET_OPTION_LIST_TIME_ZONE && RemoteDispatch::owns(value))
        return succeed(); // its times are UTC already
    if (option == INTERNET_OPTION_LIST_TIME_ZONE)
        return setListTimeZone(value, buffer);
    DWORD ms;
    std::memcpy(&ms, buffer, sizeof ms);
    if (ms == 0)
        return fail(ERROR_INVALID_PARAMETER);
    const int milliseconds = ms > 0x7fffffffu ? 0x7fffffff : int(ms);
    std::shared_ptr<InternetHandle> handle;
    if (value && !(handle = HandleTable::find(value)))
        return fail(ERROR_INVALID_HANDLE);
    FtpTimeouts t = handle ? handle->timeouts() : defaultTimeouts();
    int *field = timeoutField(t, option);
    if (!field)
        return fail(ERROR_INVALID_PARAMETER);
    *field = milliseconds;
    if (handle)
        handle->setTimeouts(t);
    else
        setDefaultTimeouts(t);
    if (option == INTERNET_OPTION_FTP_KEEPALIVE)
        KeepAlive::rethink();
    return succeed();
}

BOOL InternetQueryOptionA(HINTERNET value, DWORD option, void *buffer, DWORD *length)
{
    if (!length)
        return fail(ERROR_INVALID_PARAMETER);
    std::shared_ptr<InternetHandle> handle;
    if (value && !(handle = HandleTable::find(value)))
        return fail(ERROR_INVALID_HANDLE);
    bool answered = false;
    const BOOL remoteAnswer = RemoteDispatch::queryOption(value, option, buffer, length, answered);
    if (answered)
        return remoteAnswer;
    if (option == INTERNET_OPTION_CONNECTED_STATE)
        return queryConnectedState(handle.get(), buffer, length);
    if (option == INTERNET_OPTION_TLS_PROTOCOL)
        return queryTlsProtocol(handle.get(), buffer, length);
    if (option == INTERNET_OPTION_TLS_DATA_PROTECTED)
        return queryTlsDataProtected(handle.get(), buffer, length);
    if (option == INTERNET_OPTION_FTP_RESUME_OFFSET)
        return queryResumeOffset(handle.get(), buffer, length);
    FtpTimeouts t = handle ? handle->timeouts() : defaultTimeouts();
    int *field = timeoutField(t, option);
    if (!field)
        return fail(ERROR_INVALID_PARAMETER);
    if (!buffer || *length < sizeof(DWORD)) {
        *length = sizeof(DWORD);
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    const DWORD ms = DWORD(*field);
    std::memcpy(buffer, &ms, sizeof ms);
    *length = sizeof ms;
    return succeed();
}
