// One SFTP transfer through the WinInet entry points, in the 4096-byte reads
// and writes the session workers make, to and from a local file.
//
//   bench_sftp get HOST SSHDIR REMOTE LOCAL
//   bench_sftp put HOST SSHDIR LOCAL REMOTE
//
// SSHDIR holds the key to log in with and a known_hosts naming the server.
// Prints "bytes=N seconds=S".
#include "ftp/RemoteProtocol.h"
#include "ftp/WinInet.h"
#include "sftp/SftpProtocol.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr DWORD kChunk = 4096;

int failure(const char *what)
{
    std::fprintf(stderr, "bench_sftp: %s failed, error %u\n", what, GetLastError());
    return 1;
}

int transfer(HINTERNET connection, bool get, const char *from, const char *to, long long &bytes)
{
    HINTERNET file = FtpOpenFileA(connection, get ? from : to, get ? GENERIC_READ : GENERIC_WRITE,
        FTP_TRANSFER_TYPE_BINARY, 0);
    std::FILE *local = std::fopen(get ? to : from, get ? "wb" : "rb");
    if (!file || !local)
        return failure("open");
    static char buffer[kChunk];
    std::setvbuf(local, nullptr, _IOFBF, 1 << 20);
    for (;;) {
        DWORD n = 0;
        if (get) {
            if (!InternetReadFile(file, buffer, kChunk, &n))
                return failure("read");
            if (n == 0 || std::fwrite(buffer, 1, n, local) != n)
                break;
        } else {
            n = DWORD(std::fread(buffer, 1, kChunk, local));
            DWORD written = 0;
            if (n == 0)
                break;
            if (!InternetWriteFile(file, buffer, n, &written))
                return failure("write");
        }
        bytes += n;
    }
    std::fclose(local);
    if (!get && !FtpCommitFileA(file))
        return failure("commit");
    return InternetCloseHandle(file) ? 0 : failure("close");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 6 || (std::strcmp(argv[1], "get") && std::strcmp(argv[1], "put"))) {
        std::fprintf(stderr, "usage: bench_sftp get|put HOST SSHDIR FROM TO\n");
        return 2;
    }
    SftpSettings settings;
    settings.sshDirectory = argv[3];
    settings.useAgent = false;
    registerSftpProtocol(settings);
    const auto start = std::chrono::steady_clock::now();
    HINTERNET session = InternetOpenA("bench_sftp", 0, "", "", 0);
    HINTERNET connection = InternetConnectA(
        session, argv[2], 0, "", "", INTERNET_SERVICE_FTP, INTERNET_FLAG_SFTP, 1);
    if (!connection)
        return failure("connect");
    long long bytes = 0;
    if (transfer(connection, argv[1][0] == 'g', argv[4], argv[5], bytes) != 0)
        return 1;
    InternetCloseHandle(connection);
    InternetCloseHandle(session);
    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("bytes=%lld seconds=%.3f\n", bytes, seconds);
    return 0;
}
