// Times one download or upload through TWinInetFTP, with the local file
// written or read on the user-interface thread by the worker's hand-offs,
// while a 10 ms timer measures how late the user-interface thread answers.
//
//   bench_session get|put|rawget|rawput HOST USER PASSWORD REMOTE LOCAL BATCH
//
// rawget and rawput run the same transfer straight through the FTP layer
// (4096-byte InternetReadFile / InternetWriteFile calls to and from the local
// file on one thread), for the layer's own figure beside the session's.
//
// Prints one line: "mbps=<MB/s> p99ms=<timer lateness> rssmb=<peak resident> err=<code>".
//
// With VREX_BENCH_TLS=1 in the environment, get and put require explicit FTP
// over TLS and accept whatever certificate the server shows.

#include "ftp/WinInetFTP.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

double peakRssMb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double percentile99(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[size_t(double(values.size() - 1) * 0.99)];
}

// The layer alone: returns bytes moved, or -1.
qint64 rawTransfer(bool get, const QStringList &args)
{
    HINTERNET session = InternetOpenA("", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
    HINTERNET conn
        = InternetConnectA(session, args[2].toUtf8().constData(), 21, args[3].toUtf8().constData(),
            args[4].toUtf8().constData(), INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
    qint64 moved = -1;
    QFile local(args[6]);
    HINTERNET file = nullptr;
    if (conn && local.open(get ? QIODevice::WriteOnly : QIODevice::ReadOnly))
        file = FtpOpenFileA(conn, args[5].toUtf8().constData(), get ? GENERIC_READ : GENERIC_WRITE,
            FTP_TRANSFER_TYPE_BINARY, 0);
    if (file) {
        char buffer[4096];
        moved = 0;
        for (;;) {
            DWORD n = 0;
            if (get) {
                if (!InternetReadFile(file, buffer, sizeof buffer, &n) || n == 0
                    || local.write(buffer, n) != qint64(n))
                    break;
            } else {
                const qint64 got = local.read(buffer, sizeof buffer);
                if (got <= 0 || !InternetWriteFile(file, buffer, DWORD(got), &n))
                    break;
            }
            moved += n;
        }
        if (!InternetCloseHandle(file))
            moved = -1;
    }
    InternetCloseHandle(conn);
    InternetCloseHandle(session);
    return moved;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 8) {
        std::fprintf(
            stderr, "usage: bench_session get|put HOST USER PASSWORD REMOTE LOCAL BATCH\n");
        return 2;
    }
    if (args[1].startsWith(QLatin1String("raw"))) {
        QElapsedTimer clock;
        clock.start();
        const qint64 moved = rawTransfer(args[1] == QLatin1String("rawget"), args);
        const double seconds = clock.nsecsElapsed() / 1e9;
        std::printf("mbps=%.1f p99ms=0 rssmb=%.1f err=%d bytes=%lld\n", moved / 1e6 / seconds,
            peakRssMb(), moved < 0 ? 1 : 0, static_cast<long long>(moved));
        return moved < 0 ? 1 : 0;
    }
    const bool get = args[1] == QLatin1String("get");
    TWinInetFTP ftp;
    ftp.FTPSite = args[2];
    ftp.Login = args[3];
    ftp.Password = args[4];
    ftp.TransferBatch = args[7].toInt();
    if (qEnvironmentVariableIntValue("VREX_BENCH_TLS") == 1) {
        ftp.Security = TFtpSecurity::RequireTls;
        ftp.OnCertificate = [](TWinInetFTP *, const TlsCertificateFacts &) { return true; };
    }

    QElapsedTimer clock;
    qint64 bytes = 0;
    std::vector<double> lateness;
    QElapsedTimer tickClock;
    QTimer ticker;
    ticker.setInterval(10);
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        lateness.push_back(std::max(0.0, tickClock.nsecsElapsed() / 1e6 - 10.0));
        tickClock.restart();
    });
    auto done = [&](TWinInetFTP *, int64_t total) {
        bytes = total;
        ticker.stop();
        app.exit(ftp.LastError());
    };
    ftp.OnGetDone = done;
    ftp.OnSendDone = done;
    ftp.OnConnect = [&](TWinInetFTP *, HINTERNET, HINTERNET) {
        if (ftp.LastError() != errNone) {
            app.exit(100 + ftp.LastError());
            return;
        }
        clock.start();
        tickClock.start();
        ticker.start();
        if (get)
            ftp.GetFile(args[5], args[6]);
        else
            ftp.SendFile(args[6], args[5]);
    };
    ftp.Connect();
    const int err = app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    ftp.Disconnect();
    std::printf("mbps=%.1f p99ms=%.2f rssmb=%.1f err=%d bytes=%lld\n",
        seconds > 0 ? bytes / 1e6 / seconds : 0.0, percentile99(lateness), peakRssMb(), err,
        static_cast<long long>(bytes));
    return err;
}
