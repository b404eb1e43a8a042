// Browsing large folders through the main window, against the session
// component's bare listing of the same folder in the same run.
//
//   bench_explorer HOST ROOT
// HOST is an anonymous FTP server ("127.0.0.1:port") serving the local
// folder ROOT. Prints one line per figure. VREX_BENCH_SIZES (a comma list,
// default 20000,80000,200000) chooses the folder sizes, VREX_BENCH_ROUNDS the
// rounds per size (median taken), VREX_BENCH_MEMORY=0 skips the memory figure.

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

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

constexpr int kMapEntries = 20000; // per folder of the memory figure
int rounds()
{
    const int n = qEnvironmentVariableIntValue("VREX_BENCH_ROUNDS");
    return n > 0 ? n : 3;
}

std::vector<int> sizes()
{
    std::vector<int> out;
    const QString list
        = qEnvironmentVariable("VREX_BENCH_SIZES", QStringLiteral("20000,80000,200000"));
    for (const QString &item : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (item.toInt() > 0)
            out.push_back(item.toInt());
    return out;
}

QString bigFolder(int entries)
{
    return QStringLiteral("big-%1").arg(entries);
}

void makeFolder(const QString &path, int files)
{
    QDir().mkpath(path);
    if (QDir(path).entryList(QDir::Files).size() >= files)
        return;
    for (int i = 0; i < files; ++i) {
        QFile f(QStringLiteral("%1/file-%2.txt").arg(path).arg(i, 6, 10, QLatin1Char('0')));
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray::number(i));
    }
}

int waitLimitMs()
{
    const int s = qEnvironmentVariableIntValue("VREX_BENCH_WAIT_S");
    return (s > 0 ? s : 600) * 1000;
}

// Sleeps in the event loop between checks (a spinning wait would take the
// processor from the server and the session's worker, and count as ours).
// A wait that never ends ends the run, naming what never completed.
void waitFor(const std::function<bool()> &done, const std::function<QString()> &what)
{
    QElapsedTimer t;
    t.start();
    QTimer tick;
    tick.start(20);
    const int limit = waitLimitMs();
    while (!done() && t.elapsed() < limit)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (done())
        return;
    std::printf(
        "bench_explorer: never completed: %s (waited %d s)\n", qPrintable(what()), limit / 1000);
    std::fflush(stdout);
    std::_Exit(3);
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
    void start()
    {
        clock.start();
        last = 0;
        late.clear();
        timer.start();
    }
    double p99()
    {
        timer.stop();
        if (late.empty())
            return 0;
        std::sort(late.begin(), late.end());
        return late[std::min(late.size() - 1, size_t(late.size() * 0.99))];
    }
};

double bareListing(const QString &host, const QString &path, int expected)
{
    TWinInetFTP ftp;
    ftp.FTPSite = host;
    bool connected = false, done = false;
    int entries = 0;
    ftp.OnConnect = [&](TWinInetFTP *, HINTERNET, HINTERNET) { connected = true; };
    ftp.OnDirEntry = [&](TWinInetFTP *, PTWin32FindData) { ++entries; };
    ftp.OnDirDone = [&](TWinInetFTP *) { done = true; };
    ftp.Connect();
    waitFor([&] { return connected; },
        [&] { return QStringLiteral("the bare connection to %1").arg(host); });
    QElapsedTimer t;
    t.start();
    ftp.GetDirectory(path);
    waitFor([&] { return done; },
        [&] {
            return QStringLiteral("the bare listing of %1 (%2 entries)").arg(path).arg(entries);
        });
    const double seconds = t.elapsed() / 1000.0;
    ftp.Disconnect();
    if (entries < expected)
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

// Processor time of the whole process (the session's worker included): on a
// shared machine it tells our own cost apart from waiting for the server.
double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Figure {
    std::vector<double> wall, cpu;
    double medianWall() const { return median(wall); }
    double medianCpu() const { return median(cpu); }
};

// Opens a node as a click does and waits for the list to show its rows.
void openAndWait(TForm1 &form, QTreeWidgetItem *node, int rows, Figure *figure = nullptr)
{
    if (!node) {
        std::printf("bench_explorer: never completed: finding a folder in the site tree\n");
        std::fflush(stdout);
        std::_Exit(3);
    }
    QElapsedTimer t;
    t.start();
    const double cpu = cpuSeconds();
    form.tree().itemHit = true;
    form.controls().TreeView1->setCurrentItem(node);
    waitFor(
        [&] { return !form.listing().isBusy() && form.controls().ListView1->rowCount() == rows; },
        [&] {
            return QStringLiteral("opening %1 to show %2 rows (%3 shown, %4)")
                .arg(node->text(0))
                .arg(rows)
                .arg(form.controls().ListView1->rowCount())
                .arg(form.listing().isBusy() ? "still busy" : "idle");
        });
    if (figure) {
        figure->wall.push_back(t.elapsed() / 1000.0);
        figure->cpu.push_back(cpuSeconds() - cpu);
    }
}

// What the list shows for a folder of the site: every entry but dot-names.
int rowsOf(const QString &folder)
{
    return int(
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
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
    const std::vector<int> folderSizes = sizes();
    for (int entries : folderSizes)
        makeFolder(root + "/" + bigFolder(entries), entries);
    const char *mapFolders[] = { "map1", "map2", "map3", "map4" };
    for (const char *folder : mapFolders)
        makeFolder(root + "/" + folder, kMapEntries);
    const int folders = int(folderSizes.size()) + 4;
    const int topRows = rowsOf(root);

    SiteBook book;
    TSiteRecord site;
    site.FTPSite = host;
    site.Description = QStringLiteral("Bench");
    site.Directory = QStringLiteral("/");
    book.InsertSite(site);
    book.SaveSiteBook();

    const int kRounds = rounds();
    bool memoryDone = qEnvironmentVariable("VREX_BENCH_MEMORY") == QLatin1String("0");
    for (int entries : folderSizes) {
        const QString big = bigFolder(entries);
        std::vector<double> bare, lateness;
        Figure first, again, sorted;
        for (int round = 0; round < kRounds; ++round) {
            bare.push_back(bareListing(host, "/" + big, entries));
            TForm1 form;
            form.createDialogs();
            form.show();
            QTreeWidgetItem *siteNode = childNamed(form.root(), QStringLiteral("Bench"));
            waitFor(
                [&] {
                    return siteNode && !form.listing().isBusy()
                        && siteNode->childCount() >= folders;
                },
                [] { return QStringLiteral("connecting to the site and listing its top folder"); });
            LatenessProbe probe;
            probe.start();
            openAndWait(form, childNamed(siteNode, big), entries, &first);
            lateness.push_back(probe.p99());
            // The top folder holds files too: the list shows them all.
            openAndWait(form, siteNode, topRows);
            openAndWait(form, childNamed(siteNode, big), entries, &again);
            // The same with the list sorted by size, as a user may leave it.
            form.listing().ListView1ColumnClick(1);
            openAndWait(form, siteNode, topRows);
            openAndWait(form, childNamed(siteNode, big), entries, &sorted);
            if (round == kRounds - 1 && !memoryDone) {
                memoryDone = true;
                const long before = residentKiB();
                for (const char *folder : mapFolders)
                    openAndWait(form, childNamed(siteNode, QLatin1String(folder)), kMapEntries);
                const long grown = residentKiB() - before;
                std::printf("explorer_memory_mapped: %.1f MB resident, %.1f MB for the last %d "
                            "entries, %.2f KB per entry\n",
                    residentKiB() / 1024.0, grown / 1024.0, 4 * kMapEntries,
                    double(grown) / (4 * kMapEntries));
            }
            form.FormClose();
        }
        const double b = median(bare), f = first.medianWall();
        std::printf("explorer_open_%d: ours %.3f s (cpu %.3f s), bare listing %.3f s, ratio %.2f\n",
            entries, f, first.medianCpu(), b, f / b);
        std::printf("explorer_reopen_from_map_%d: ours %.3f s (cpu %.3f s), first open %.3f s, "
                    "ratio %.2f\n",
            entries, again.medianWall(), again.medianCpu(), f, again.medianWall() / f);
        std::printf("explorer_reopen_sorted_by_size_%d: ours %.3f s (cpu %.3f s), first open "
                    "%.3f s, ratio %.2f\n",
            entries, sorted.medianWall(), sorted.medianCpu(), f, sorted.medianWall() / f);
        std::printf("explorer_timer_lateness_p99_%d: %.1f ms\n", entries, median(lateness));
        std::fflush(stdout);
    }
    return 0;
}
