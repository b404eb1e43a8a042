// Browsing a large folder through the main window, against the session
// component's bare listing of the same folder in the same run.
//
//   bench_explorer HOST ROOT
// HOST is an anonymous FTP server ("127.0.0.1:port") serving the local
// folder ROOT. Prints one line per figure.

#include "app/TForm1.h"
#include "app/VrexApplication.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "ftp/WinInetFTP.h"
#include "platform/IconList.h"
#include "storage/SiteBook.h"
#include "widgets/TListView.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kEntries = 20000;
int rounds()
{
    const int n = qEnvironmentVariableIntValue("VREX_BENCH_ROUNDS");
    return n > 0 ? n : 3;
}

void makeFolder(const QString &path, int files)
{
    QDir().mkpath(path);
    if (QDir(path).entryList(QDir::Files).size() >= files)
        return;
    for (int i = 0; i < files; ++i) {
        QFile f(QStringLiteral("%1/file-%2.txt").arg(path).arg(i, 5, 10, QLatin1Char('0')));
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray::number(i));
    }
}

bool waitFor(const std::function<bool()> &done, int ms = 120000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return done();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    f.open(QIODevice::ReadOnly);
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// Lateness of a 10 ms timer while something runs.
struct LatenessProbe {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    std::vector<double> late;
    LatenessProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            late.push_back(double(std::max<qint64>(0, now - last - 10)));
            last = now;
        });
    }
    void start() { clock.start(); last = 0; late.clear(); timer.start(); }
    double p99()
    {
        timer.stop();
        if (late.empty())
            return 0;
        std::sort(late.begin(), late.end());
        return late[std::min(late.size() - 1, size_t(late.size() * 0.99))];
    }
};

double bareListing(const QString &host, const QString &path)
{
    TWinInetFTP ftp;
    ftp.FTPSite = host;
    bool connected = false, done = false;
    int entries = 0;
    ftp.OnConnect = [&](TWinInetFTP *, HINTERNET, HINTERNET) { connected = true; };
    ftp.OnDirEntry = [&](TWinInetFTP *, PTWin32FindData) { ++entries; };
    ftp.OnDirDone = [&](TWinInetFTP *) { done = true; };
    ftp.Connect();
    waitFor([&] { return connected; });
    QElapsedTimer t;
    t.start();
    ftp.GetDirectory(path);
    waitFor([&] { return done; });
    const double seconds = t.elapsed() / 1000.0;
    ftp.Disconnect();
    if (entries < kEntries)
        std::fprintf(stderr, "bare listing gave %d entries\n", entries);
    return seconds;
}

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &name)
{
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == name)
            return parent->child(i);
    return nullptr;
}

// Opens a node as a click does and waits for the list to be complete.
double openAndWait(TForm1 &form, QTreeWidgetItem *node, int rows)
{
    QElapsedTimer t;
    t.start();
    form.tree().itemHit = true;
    form.controls().TreeView1->setCurrentItem(node);
    waitFor([&] {
        return !form.listing().isBusy() && form.controls().ListView1->rowCount() == rows;
    });
    return t.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    VrexApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_explorer HOST ROOT\n");
        return 2;
    }
    IconList::setUpTheme();
    const QString host = QString::fromLocal8Bit(argv[1]);
    const QString root = QString::fromLocal8Bit(argv[2]);
    for (const char *folder : {"big", "map1", "map2", "map3", "map4"})
        makeFolder(root + "/" + folder, kEntries);

    SiteBook book;
    TSiteRecord site;
    site.FTPSite = host;
    site.Description = QStringLiteral("Bench");
    site.Directory = QStringLiteral("/");
    book.InsertSite(site);
    book.SaveSiteBook();

    std::vector<double> bare, first, again, lateness;
    const int kRounds = rounds();
    const bool measureMemory = qEnvironmentVariable("VREX_BENCH_MEMORY") != QLatin1String("0");
    for (int round = 0; round < kRounds; ++round) {
        bare.push_back(bareListing(host, QStringLiteral("/big")));
        TForm1 form;
        form.createDialogs();
        form.show();
        QTreeWidgetItem *siteNode = childNamed(form.root(), QStringLiteral("Bench"));
        waitFor([&] { return !form.listing().isBusy() && siteNode->childCount() >= 5; });
        LatenessProbe probe;
        probe.start();
        first.push_back(openAndWait(form, childNamed(siteNode, QStringLiteral("big")), kEntries));
        lateness.push_back(probe.p99());
        openAndWait(form, siteNode, siteNode->childCount());
        again.push_back(openAndWait(form, childNamed(siteNode, QStringLiteral("big")), kEntries));
        if (round == kRounds - 1 && measureMemory) {
            const long before = residentKiB();
            for (const char *folder : {"map1", "map2", "map3", "map4"})
                openAndWait(form, childNamed(siteNode, QLatin1String(folder)), kEntries);
            std::printf("explorer_memory_100000_mapped: %.1f MB resident, %.1f MB for the "
                        "last 80000 entries\n",
                        residentKiB() / 1024.0, (residentKiB() - before) / 1024.0);
        }
        form.FormClose();
    }
    const double b = median(bare), f = median(first), a = median(again);
    std::printf("explorer_open_20000: ours %.3f s, bare listing %.3f s, ratio %.2f\n", f, b, f / b);
    std::printf("explorer_reopen_from_map_20000: ours %.3f s, first open %.3f s, ratio %.2f\n", a,
                f, a / f);
    std::printf("explorer_timer_lateness_p99: %.1f ms\n", median(lateness));
    return 0;
}
