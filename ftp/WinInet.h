#pragma once

// Our FTP client layer, with the names, arguments and result codes of the
// Windows Internet client library's FTP entry points, so the session
// component and its workers read as they would against the real thing.
// All calls are thread-safe; the last error is per thread.

#include "ftp/Win32FindData.h"

#include <cstdint>

using HINTERNET = void *;
using DWORD = uint32_t;
using BOOL = int;
using DWORD_PTR = uintptr_t;
using INTERNET_PORT = uint16_t;

// Status callback: (handle, context, status number, info, info length).
using INTERNET_STATUS_CALLBACK = void (*)(HINTERNET, DWORD_PTR, DWORD, void *, DWORD);
// What InternetSetStatusCallback returns for a handle it does not know.
inline const INTERNET_STATUS_CALLBACK INTERNET_INVALID_STATUS_CALLBACK =
    reinterpret_cast<INTERNET_STATUS_CALLBACK>(~uintptr_t(0));

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
constexpr DWORD ERROR_FTP_TRANSFER_IN_PROGRESS = 12110;
constexpr DWORD ERROR_FTP_DROPPED = 12111;

DWORD GetLastError();
void SetLastError(DWORD code);

HINTERNET InternetOpenA(const char *agent, DWORD accessType, const char *proxy,
                        const char *proxyBypass, DWORD flags);
// The server may carry its own port: "host:port", "a.b.c.d:port" or
// "[v6]:port"; that port wins over the port argument.
HINTERNET InternetConnectA(HINTERNET session, const char *server, INTERNET_PORT port,
                           const char *user, const char *password, DWORD service, DWORD flags,
                           DWORD_PTR context);
INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET handle,
                                                   INTERNET_STATUS_CALLBACK callback);
BOOL InternetGetLastResponseInfoA(DWORD *error, char *buffer, DWORD *length);

HINTERNET FtpFindFirstFileA(HINTERNET connection, const char *searchFile,
                            TWin32FindData *findData, DWORD flags, DWORD_PTR context);
BOOL InternetFindNextFileA(HINTERNET find, void *findData);

HINTERNET FtpOpenFileA(HINTERNET connection, const char *fileName, DWORD access, DWORD flags,
                       DWORD_PTR context);
BOOL InternetReadFile(HINTERNET file, void *buffer, DWORD toRead, DWORD *read);
// Sends the whole buffer or fails.
BOOL InternetWriteFile(HINTERNET file, const void *buffer, DWORD toWrite, DWORD *written);

BOOL FtpGetFileA(HINTERNET connection, const char *remoteFile, const char *newFile,
                 BOOL failIfExists, DWORD attributes, DWORD flags, DWORD_PTR context);
BOOL FtpDeleteFileA(HINTERNET connection, const char *fileName);
BOOL FtpRenameFileA(HINTERNET connection, const char *existing, const char *newName);
BOOL FtpSetCurrentDirectoryA(HINTERNET connection, const char *directory);
BOOL FtpCreateDirectoryA(HINTERNET connection, const char *directory);
BOOL FtpRemoveDirectoryA(HINTERNET connection, const char *directory);

// Releases the handle. Callable from any thread: a call blocked on this
// handle or one opened under it returns at once with an error.
BOOL InternetCloseHandle(HINTERNET handle);

// Time-outs in milliseconds (a DWORD in buffer, length 4), for the handle and
// the handles opened under it later; a null handle sets the process default.
// Every wait of the layer ends with 12002 when its time-out passes. Defaults:
// connect 30 s, send, receive and data receive 60 s.
constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
constexpr DWORD INTERNET_OPTION_DATA_RECEIVE_TIMEOUT = 8;
BOOL InternetSetOptionA(HINTERNET handle, DWORD option, void *buffer, DWORD length);
BOOL InternetQueryOptionA(HINTERNET handle, DWORD option, void *buffer, DWORD *length);
