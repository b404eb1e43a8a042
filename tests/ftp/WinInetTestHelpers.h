#pragma once

#include "ftp/WinInet.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <vector>

// A loopback port that nothing listens on, for as long as the object lives:
// the socket holds the port bound but never listens, so a connect to it is
// refused and no other process can take the port meanwhile.
class RefusingPort {
public:
    RefusingPort() : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
            portNumber = ntohs(a.sin_port);
    }
    ~RefusingPort()
    {
        if (fd >= 0)
            ::close(fd);
    }
    RefusingPort(const RefusingPort &) = delete;
    RefusingPort &operator=(const RefusingPort &) = delete;
    quint16 port() const { return portNumber; }

private:
    int fd;
    quint16 portNumber = 0;
};

// The calling thread's id, for blockedInPoll().
inline pid_t currentThreadId()
{
    return pid_t(::syscall(SYS_gettid));
}

// True while thread `tid` of this process waits in poll(): a call of the
// layer blocked on the network (every wait of the layer is a poll).
inline bool blockedInPoll(pid_t tid)
{
    QFile f(QStringLiteral("/proc/self/task/%1/syscall").arg(tid));
    if (tid <= 0 || !f.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const long number = f.readAll().split(' ').value(0).trimmed().toLong(&ok);
    return ok && (number == SYS_poll || number == SYS_ppoll);
}

// Closes a handle at the end of a scope.
class HandleCloser {
public:
    explicit HandleCloser(HINTERNET h = nullptr) : handle(h) { }
    ~HandleCloser()
    {
        if (handle)
            InternetCloseHandle(handle);
    }
    HandleCloser(const HandleCloser &) = delete;
    HandleCloser &operator=(const HandleCloser &) = delete;
    HINTERNET get() const { return handle; }
    HINTERNET release()
    {
        HINTERNET h = handle;
        handle = nullptr;
        return h;
    }
    void reset(HINTERNET h)
    {
        if (handle)
            InternetCloseHandle(handle);
        handle = h;
    }

private:
    HINTERNET handle;
};

inline void setTimeout(HINTERNET handle, DWORD option, DWORD ms)
{
    InternetSetOptionA(handle, option, &ms, sizeof ms);
}

inline void setAllTimeouts(HINTERNET handle, DWORD ms)
{
    for (DWORD option : { INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
             INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT })
        setTimeout(handle, option, ms);
}

// The calling thread's last reply text.
inline QByteArray lastResponse(DWORD *code = nullptr)
{
    DWORD dummy = 0;
    DWORD length = 0;
    InternetGetLastResponseInfoA(code ? code : &dummy, nullptr, &length);
    QByteArray text(int(length), '\0');
    if (length == 0 || !InternetGetLastResponseInfoA(code ? code : &dummy, text.data(), &length))
        return QByteArray();
    text.resize(int(length));
    return text;
}

// The whole listing of a search name, in server order; GetLastError tells
// why when it is empty.
inline std::vector<TWin32FindData> listAll(HINTERNET connection, const char *search)
{
    std::vector<TWin32FindData> entries;
    TWin32FindData entry {};
    HINTERNET find = FtpFindFirstFileA(connection, search, &entry, INTERNET_FLAG_RAW_DATA, 0);
    if (!find)
        return entries;
    do
        entries.push_back(entry);
    while (InternetFindNextFileA(find, &entry));
    const DWORD code = GetLastError();
    InternetCloseHandle(find);
    SetLastError(code);
    return entries;
}

inline QStringList names(const std::vector<TWin32FindData> &entries)
{
    QStringList list;
    for (const TWin32FindData &e : entries)
        list << QString::fromUtf8(e.cFileName);
    return list;
}

inline const TWin32FindData *findEntry(const std::vector<TWin32FindData> &entries, const char *name)
{
    for (const TWin32FindData &e : entries)
        if (qstrcmp(e.cFileName, name) == 0)
            return &e;
    return nullptr;
}

// Reads a remote file through 4096-byte InternetReadFile calls. ok is false
// when a call failed; GetLastError tells why.
inline QByteArray readRemote(HINTERNET connection, const char *path, bool &ok, DWORD chunk = 4096)
{
    ok = false;
    QByteArray all;
    HINTERNET file = FtpOpenFileA(connection, path, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!file)
        return all;
    QByteArray buffer(int(chunk), '\0');
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(file, buffer.data(), chunk, &got)) {
            const DWORD code = GetLastError();
            if (code == ERROR_FTP_TRANSFER_RESTARTED) { // the layer fetches it again from byte 0
                all.clear();
                continue;
            }
            InternetCloseHandle(file);
            SetLastError(code);
            return all;
        }
        if (got == 0)
            break;
        all.append(buffer.constData(), int(got));
    }
    ok = InternetCloseHandle(file) != 0;
    return all;
}

// Where an upload the layer resumed goes on.
inline int resumeOffset(HINTERNET file)
{
    uint64_t offset = 0;
    DWORD length = sizeof offset;
    InternetQueryOptionA(file, INTERNET_OPTION_FTP_RESUME_OFFSET, &offset, &length);
    return int(offset);
}

// Writes data to a remote file in chunks, commits and closes it; false on any
// failure. An upload the layer resumed goes on from the offset it names
// (counted in *resumes).
inline bool writeRemote(HINTERNET connection, const char *path, const QByteArray &data,
    int chunk = 4096, int *resumes = nullptr)
{
    HINTERNET file = FtpOpenFileA(connection, path, GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!file)
        return false;
    for (int pos = 0;;) {
        if (pos >= data.size() && FtpCommitFileA(file))
            break;
        const DWORD n = DWORD(qMin(chunk, data.size() - pos));
        DWORD written = 0;
        const bool sent = pos < data.size()
            && InternetWriteFile(file, data.constData() + pos, n, &written) && written == n;
        if (sent) {
            pos += int(n);
            continue;
        }
        const DWORD code = GetLastError();
        if (code == ERROR_FTP_RESUME_UPLOAD) {
            pos = resumeOffset(file);
            if (resumes)
                ++*resumes;
            continue;
        }
        InternetCloseHandle(file);
        SetLastError(code);
        return false;
    }
    return InternetCloseHandle(file) != 0;
}
