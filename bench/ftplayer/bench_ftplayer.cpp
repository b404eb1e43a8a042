// One transfer or listing through the WinInet entry points, as the workers
// make them: 4096-byte InternetReadFile / InternetWriteFile calls to and from
// a local file (stdio with a large buffer, so the disk side is not measured).
//
//   bench_ftplayer get  HOST USER PASS REMOTE LOCAL
//   bench_ftplayer put  HOST USER PASS LOCAL REMOTE
//   bench_ftplayer list HOST USER PASS PATH
//
// Prints "bytes=N entries=N seconds=S rss_kb=K protocol=P" (peak resident
// set size; P is "plain" or the TLS protocol, "TLS-1.3").
//
// With VREX_BENCH_TLS=1 in the environment, the connection requires explicit
// FTP over TLS and accepts whatever certificate the server shows.
#include "ftp/WinInet.h"
#include "ftp/WinInetTls.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr DWORD kChunk = 4096;

long peakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int failure(const char *what)
{
    std::fprintf(stderr, "bench_ftplayer: %s failed, error %u\n", what, GetLastError());
    return 1;
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
    for (;;) {
        const size_t n = std::fread(buffer, 1, kChunk, in);
        if (n == 0)
            break;
        DWORD written = 0;
        if (!InternetWriteFile(file, buffer, DWORD(n), &written) || written != n)
            return failure("InternetWriteFile");
        bytes += n;
    }
    std::fclose(in);
    return InternetCloseHandle(file) ? 0 : failure("InternetCloseHandle");
}

// "TLS-1.3", or "plain" for an unencrypted connection.
std::string protocolOf(HINTERNET c)
{
    char text[32] = {};
    DWORD length = sizeof text;
    if (!InternetQueryOptionA(c, INTERNET_OPTION_TLS_PROTOCOL, text, &length) || !*text)
        return "plain";
    std::string name = text;
    for (char &ch : name)
        if (ch == ' ')
            ch = '-';
    return name;
}

int list(HINTERNET c, const char *path, unsigned long long &entries)
{
    TWin32FindData entry;
    HINTERNET find = FtpFindFirstFileA(c, path, &entry, INTERNET_FLAG_RAW_DATA, 0);
    if (!find)
        return failure("FtpFindFirstFileA");
    do
        ++entries;
    while (InternetFindNextFileA(find, &entry));
    InternetCloseHandle(find);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 6 || (std::strcmp(argv[1], "list") != 0 && argc < 7)) {
        std::fprintf(stderr, "usage: bench_ftplayer get|put|list HOST USER PASS ARGS...\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    HINTERNET session = InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
    DWORD flags = INTERNET_FLAG_PASSIVE;
    if (const char *tls = std::getenv("VREX_BENCH_TLS"); tls && std::strcmp(tls, "1") == 0) {
        flags |= INTERNET_FLAG_SECURE;
        InternetSetCertificateQuestion(session, [](const TlsCertificateFacts &) { return true; });
    }
    HINTERNET c = InternetConnectA(session, argv[2], INTERNET_DEFAULT_FTP_PORT, argv[3], argv[4],
        INTERNET_SERVICE_FTP, flags, 1);
    if (!c)
        return failure("InternetConnectA");
    const std::string protocol = protocolOf(c);
    unsigned long long bytes = 0, entries = 0;
    int rc;
    if (std::strcmp(argv[1], "get") == 0)
        rc = get(c, argv[5], argv[6], bytes);
    else if (std::strcmp(argv[1], "put") == 0)
        rc = put(c, argv[5], argv[6], bytes);
    else
        rc = list(c, argv[5], entries);
    InternetCloseHandle(c);
    InternetCloseHandle(session);
    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("bytes=%llu entries=%llu seconds=%.4f rss_kb=%ld protocol=%s\n", bytes, entries,
        seconds, peakRssKb(), protocol.c_str());
    return rc;
}
