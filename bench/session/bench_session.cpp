// Times one download or upload through TWinInetFTP, with the local file
// written or read on the user-interface thread by the worker's hand-offs,
// while a 10 ms timer measures how late the user-interface thread answers.
//
//   bench_session get|put HOST USER PASSWORD REMOTE LOCAL BATCH
//
// Prints one line: "mbps=<MB/s> p99ms=<timer lateness> rssmb=<peak resident> err=<code>".

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
    rusage usage{};
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 8) {
        std::fprintf(stderr, "usage: bench_session get|put HOST USER PASSWORD REMOTE LOCAL BATCH\n");
        return 2;
    }
    const bool get = args[1] == QLatin1String("get");
    TWinInetFTP ftp;
    ftp.FTPSite = args[2];
    ftp.Login = args[3];
    ftp.Password = args[4];
    ftp.TransferBatch = args[7].toInt();

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
