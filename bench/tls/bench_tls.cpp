// One transfer over explicit FTP over TLS through the WinInet entry points,
// as the workers make them: 4096-byte InternetReadFile / InternetWriteFile
// calls to and from a local file (stdio with a large buffer). The server's
// certificate is accepted whatever it is (a benchmark of a loopback server).
//
//   bench_tls get HOST USER PASS REMOTE LOCAL
//   bench_tls put HOST USER PASS LOCAL REMOTE
//
// Prints "bytes=N seconds=S cpu_s=C protocol=TLS1.3".
#include "ftp/WinInet.h"
#include "ftp/WinInetTls.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kChunk = 4096;

int failure(const char *what)
{
    std::fprintf(stderr, "bench_tls: %s failed, error %u\n", what, GetLastError());
    return 1;
}

double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int get(HINTERNET c, const char *remote, const char *local, unsigned long long &bytes)
{
    HINTERNET file = FtpOpenFileA(c, remote, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!file)
        return failure("FtpOpenFileA");
    FILE *out = std::fopen(local, "wb");
    if (!out)
        return failure("fopen");
    static char disk[1 << 18];
    std::setvbuf(out, disk, _IOFBF, sizeof disk);
    char buffer[kChunk];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(file, buffer, kChunk, &got))
            return failure("InternetReadFile");
        if (got == 0)
            break;
        if (std::fwrite(buffer, 1, got, out) != got)
            return failure("fwrite");
        bytes += got;
    }
    std::fclose(out);
    return InternetCloseHandle(file) ? 0 : failure("InternetCloseHandle");
}

int put(HINTERNET c, const char *local, const char *remote, unsigned long long &bytes)
{
    FILE *in = std::fopen(local, "rb");
    if (!in)
        return failure("fopen");
    static char disk[1 << 18];
    std::setvbuf(in, disk, _IOFBF, sizeof disk);
    HINTERNET file = FtpOpenFileA(c, remote, GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!file)
        return failure("FtpOpenFileA");
    char buffer[kChunk];
    for (size_t n; (n = std::fread(buffer, 1, kChunk, in)) > 0;) {
        DWORD written = 0;
        if (!InternetWriteFile(file, buffer, DWORD(n), &written) || written != n)
            return failure("InternetWriteFile");
        bytes += n;
    }
    std::fclose(in);
    return InternetCloseHandle(file) ? 0 : failure("InternetCloseHandle");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 7 || (std::strcmp(argv[1], "get") != 0 && std::strcmp(argv[1], "put") != 0)) {
        std::fprintf(stderr, "usage: bench_tls get|put HOST USER PASS FROM TO\n");
        return 2;
    }
    HINTERNET session = InternetOpenA("bench_tls", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
    InternetSetCertificateQuestion(session, [](const TlsCertificateFacts &) { return true; });
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    HINTERNET c = InternetConnectA(session, argv[2], INTERNET_DEFAULT_FTP_PORT, argv[3], argv[4],
        INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE | INTERNET_FLAG_SECURE, 0);
    if (!c)
        return failure("InternetConnectA");
    char protocol[32] = {};
    DWORD length = sizeof protocol;
    InternetQueryOptionA(c, INTERNET_OPTION_TLS_PROTOCOL, protocol, &length);
    unsigned long long bytes = 0;
    const int rc
        = argv[1][0] == 'g' ? get(c, argv[5], argv[6], bytes) : put(c, argv[5], argv[6], bytes);
    InternetCloseHandle(c);
    InternetCloseHandle(session);
    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string name = protocol;
    for (char &ch : name)
        if (ch == ' ')
            ch = '-';
    std::printf("bytes=%llu seconds=%.3f cpu_s=%.2f protocol=%s\n", bytes, seconds,
        cpuSeconds() - cpuStart, name.c_str());
    return rc;
}
