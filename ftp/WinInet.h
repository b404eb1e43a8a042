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
constexpr DWORD ERROR_INVALID_HANDLE = 6;
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
