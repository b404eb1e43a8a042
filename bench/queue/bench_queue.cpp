// Downloads through the main window's queue: every file of a local folder,
// served by an FTP server, is added to the queue at once and the queue is run
// to its end. run.sh times lftp on the same files and checks the bytes.
//
//   bench_queue HOST LOGIN PASSWORD REMOTE_DIR SOURCE_DIR SAVE_DIR
// HOST is "127.0.0.1:port"; REMOTE_DIR is where the server shows SOURCE_DIR;
// the files land in SAVE_DIR (empty). Prints one line of key=value figures.
// VREX_BENCH_PAGE (default 2, the queue page) chooses the page shown while
// the queue runs; VREX_BENCH_STALL_S (default 120) how long the queue may go
// without finishing an item before the run counts as failed.
// VREX_BENCH_THROTTLE_MS (an experiment; default 0, off) lets the progress
// and status events through to the window at most once per that many ms,
// to measure what their display costs the transfer. VREX_BENCH_BATCH (an
// experiment) sets the session's 4 KiB chunks per hand-off (default 16).

#include "app/TForm1.h"
#include "app/VrexApplication.h"
#include "ftp/Win32FindData.h"
#include "platform/IconList.h"
#include "platform/Prompts.h"
#include "transfers/QueueItem.h"
#include "transfers/TransferQueue.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Processor time of the calling thread alone.
double threadCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Time the window's thread spends inside one kind of session event; the
// worker waits for each of them, so they are on the transfer's path.
// With throttleMs, an event reaches the window only when the last one that
// did is that old: what a display refreshed at a fixed rate would cost.
struct HandlerClock {
    qint64 ns = 0;
    long calls = 0;
    int throttleMs = 0;
    QElapsedTimer sincePassed;
    template <typename... A> void wrap(std::function<void(A...)> &handler)
    {
        auto inner = handler;
        handler = [inner, this](A... args) {
            ++calls;
            if (throttleMs > 0 && sincePassed.isValid() && sincePassed.elapsed() < throttleMs)
                return;
            sincePassed.start();
            QElapsedTimer t;
            t.start();
            if (inner)
                inner(args...);
            ns += t.nsecsElapsed();
        };
    }
    double ms() const { return double(ns) / 1e6; }
};

// Answers every question as a user who wants the run to go on would, and
// remembers the texts: a benchmark must never wait for a hand.
class BenchPrompts : public Prompts {
public:
    QStringList texts;
    QMessageBox::StandardButton message(
        const QString &, const QString &text, QMessageBox::StandardButtons buttons, Icon) override
    {
        texts << text;
        std::fprintf(stderr, "prompt: %s\n", qPrintable(QString(text).replace('\r', ' ')));
        for (QMessageBox::StandardButton b :
            { QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel })
            if (buttons & b)
                return b;
        return QMessageBox::NoButton;
    }
    QString saveFileName(const QString &, const QString &, const QString &) override
    {
        return QString();
    }
    QStringList openFileNames(const QString &, const QString &, const QString &) override
    {
        return {};
    }
    QString browseFolder(const QString &, const QString &) override { return QString(); }
};

// How late a 10 ms timer on the window's thread fires.
class LatenessProbe {
public:
    LatenessProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            late.push_back(std::max(0.0, double(now - last) / 1e6 - 10.0));
            last = now;
        });
    }
    void start()
    {
        late.clear();
        clock.start();
        last = 0;
        timer.start();
    }
    void stop() { timer.stop(); }
    double percentile(double p) const
    {
        if (late.empty())
            return 0;
        std::vector<double> v = late;
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
    }
    size_t ticks() const { return late.size(); }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    std::vector<double> late;
};

// Samples VmRSS on a thread of its own, so the figure does not depend on
// the window's thread having time for it.
class ResidentSampler {
public:
    void start()
    {
        running = true;
        worker = std::thread([this] {
            while (running) {
                const long kib = residentKiB();
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    low = low ? std::min(low, kib) : kib;
                    high = std::max(high, kib);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
    void stop()
    {
        running = false;
        if (worker.joinable())
            worker.join();
    }
    long min() const { return low; }
    long max() const { return high; }

private:
    std::thread worker;
    std::atomic<bool> running { false };
    std::mutex mutex;
    long low = 0, high = 0;
};

// Closes any modal window the run opens (the start-queue dialog cannot be
// answered through the prompts), and says so.
void closeModalWindows(QStringList *seen)
{
    if (QWidget *modal = QApplication::activeModalWidget()) {
        *seen << modal->windowTitle();
        std::fprintf(stderr, "modal window closed: %s\n", qPrintable(modal->windowTitle()));
        modal->close();
    }
}

// Turns the event loop until done() or until the deadline; sleeps between
// events so that the wait itself takes no processor from the transfer.
void runEventsUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    QTimer tick;
    tick.start(20);
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

TWin32FindData entryOf(const QFileInfo &file)
{
    TWin32FindData entry {};
    const QByteArray name = file.fileName().toUtf8();
    std::copy_n(name.constData(), std::min<int>(name.size(), 259), entry.cFileName);
    setFileSize(entry, uint64_t(file.size()));
    return entry;
}

struct Args {
    QString host, login, password, remoteDir, sourceDir, saveDir;
};

std::vector<QueueItem> itemsFor(const Args &a)
{
    std::vector<QueueItem> items;
    const QFileInfoList files
        = QDir(a.sourceDir).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &file : files) {
        QueueItem item;
        item.name = a.remoteDir + QLatin1Char('/') + file.fileName();
        item.saveFile = a.saveDir + QLatin1Char('/') + file.fileName();
        item.entry = entryOf(file);
        item.actions = QStringLiteral("Download");
        item.host = a.host;
        item.login = a.login;
        item.password = a.password;
        items.push_back(item);
    }
    return items;
}

struct Outcome {
    bool ok = false;
    QString why;
    long quarterKiB[4] {}; // resident memory once a quarter, half... of the items are done
};

// Waits for the queue to empty; fails when it stops, starts nothing, or
// finishes no item for stallMs.
Outcome waitForEmptyQueue(TForm1 &form, const BenchPrompts &prompts, int stallMs)
{
    TransferQueue &queue = form.queue();
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    const int items = queue.count();
    int lastCount = items;
    Outcome out;
    bool failed = false;
    runEventsUntil(
        [&] {
            if (queue.count() != lastCount) {
                lastCount = queue.count();
                sinceProgress.restart();
                for (int q = 0; q < 4; ++q)
                    if (!out.quarterKiB[q] && lastCount <= items - items * (q + 1) / 4)
                        out.quarterKiB[q] = residentKiB();
            }
            if (queue.count() == 0)
                return true;
            if (queue.isStopped()) {
                out.why = QStringLiteral("the queue stopped");
                failed = true;
            } else if (queue.firstInProgressRow() < 0 && !form.actions().transferRunning()
                && sinceProgress.elapsed() > 3000) {
                out.why = QStringLiteral("the queue starts nothing (transfers not wired?)");
                failed = true;
            } else if (sinceProgress.elapsed() > stallMs) {
                out.why = QStringLiteral("no item finished for %1 s").arg(stallMs / 1000);
                failed = true;
            }
            return failed;
        },
        24 * 3600 * 1000);
    out.ok = queue.count() == 0;
    if (!out.ok && !prompts.texts.isEmpty())
        out.why
            += QStringLiteral("; last prompt: ") + QString(prompts.texts.last()).replace('\r', ' ');
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    // Nothing of the run may stay behind: Qt's runtime folder and the
    // program's temporary folder go with the rest.
    QDir().mkpath(home.path() + "/runtime");
    QFile::setPermissions(home.path() + "/runtime",
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", (home.path() + "/runtime").toUtf8());
    QDir().mkpath(home.path() + "/tmp");
    qputenv("TMPDIR", (home.path() + "/tmp").toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    VrexApplication app(argc, argv);
    if (argc < 7) {
        std::fprintf(stderr,
            "usage: bench_queue HOST LOGIN PASSWORD REMOTE_DIR SOURCE_DIR "
            "SAVE_DIR\n");
        return 2;
    }
    const Args a { QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
        QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]),
        QDir(QString::fromLocal8Bit(argv[5])).absolutePath(),
        QDir(QString::fromLocal8Bit(argv[6])).absolutePath() };
    const int page = qEnvironmentVariableIsSet("VREX_BENCH_PAGE")
        ? qEnvironmentVariableIntValue("VREX_BENCH_PAGE")
        : 2;
    const int stallS = qEnvironmentVariableIntValue("VREX_BENCH_STALL_S");
    BenchPrompts prompts;
    Prompts::install(&prompts);
    IconList::setUpTheme();

    // Built before the window, so that their cost is not the window's.
    std::vector<QueueItem> items = itemsFor(a);
    uint64_t bytes = 0;
    for (const QueueItem &item : items)
        bytes += item.size();

    TForm1 form;
    form.createDialogs();
    HandlerClock progress, status, done;
    // An experiment, not the program's behaviour: see the header.
    if (const int batch = qEnvironmentVariableIntValue("VREX_BENCH_BATCH"); batch > 0)
        form.ftp().TransferBatch = batch;
    progress.throttleMs = status.throttleMs
        = qEnvironmentVariableIntValue("VREX_BENCH_THROTTLE_MS");
    progress.wrap(form.ftp().OnGetStatus);
    status.wrap(form.ftp().OnWinInetStatus);
    done.wrap(form.ftp().OnGetDone);
    form.show();
    form.controls().TabSet1->setCurrentIndex(page);
    QStringList modals;
    QTimer modalWatch;
    QObject::connect(&modalWatch, &QTimer::timeout, [&] { closeModalWindows(&modals); });
    modalWatch.start(200);
    // Idle: the window shown and painted, its start-up work done.
    QElapsedTimer settle;
    settle.start();
    runEventsUntil([&] { return settle.elapsed() > 1000; }, 2000);
    const long idleKiB = residentKiB();

    LatenessProbe probe;
    ResidentSampler sampler;
    sampler.start();
    probe.start();
    const double cpu0 = cpuSeconds();
    const double uiCpu0 = threadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    for (QueueItem &item : items)
        form.queue().addItem(std::move(item));
    const qint64 addNs = wall.nsecsElapsed();
    // The memory of the queue as shown: its rows painted, nothing started yet
    // (adding starts nothing; afterAdding does). This pause is not timed.
    QElapsedTimer shown;
    shown.start();
    runEventsUntil([&] { return shown.elapsed() > 300; }, 1000);
    const long addedKiB = residentKiB();
    wall.start();
    form.queue().afterAdding();
    const Outcome outcome = waitForEmptyQueue(form, prompts, (stallS > 0 ? stallS : 120) * 1000);
    const double wallS = double(addNs + wall.nsecsElapsed()) / 1e9;
    const double addMs = double(addNs) / 1e6;
    const double cpuS = cpuSeconds() - cpu0;
    const double uiCpuS = threadCpuSeconds() - uiCpu0;
    probe.stop();
    sampler.stop();
    const long endKiB = residentKiB();

    std::printf("files=%zu bytes=%llu wall_s=%.3f add_ms=%.1f cpu_s=%.3f mbps=%.2f "
                "late_p50_ms=%.2f late_p99_ms=%.2f late_max_ms=%.2f ticks=%zu "
                "rss_idle_kb=%ld rss_added_kb=%ld rss_run_min_kb=%ld rss_run_max_kb=%ld "
                "rss_end_kb=%ld rss_quarters_kb=%ld,%ld,%ld,%ld ui_cpu_s=%.3f progress_ms=%.1f "
                "progress_calls=%ld status_ms=%.1f "
                "status_calls=%ld done_ms=%.1f done_calls=%ld prompts=%lld modals=%lld ok=%d\n",
        items.size(), static_cast<unsigned long long>(bytes), wallS, addMs, cpuS,
        double(bytes) / 1e6 / wallS, probe.percentile(0.5), probe.percentile(0.99),
        probe.percentile(1.0), probe.ticks(), idleKiB, addedKiB, sampler.min(), sampler.max(),
        endKiB, outcome.quarterKiB[0], outcome.quarterKiB[1], outcome.quarterKiB[2],
        outcome.quarterKiB[3], uiCpuS, progress.ms(), progress.calls, status.ms(), status.calls,
        done.ms(), done.calls, static_cast<long long>(prompts.texts.size()),
        static_cast<long long>(modals.size()), outcome.ok ? 1 : 0);
    std::fflush(stdout);
    if (!outcome.ok)
        std::fprintf(stderr, "bench_queue: %s (%d items left)\n", qPrintable(outcome.why),
            form.queue().count());
    modalWatch.stop();
    // Stop whatever still runs, without a question, before the window goes.
    if (!outcome.ok)
        form.SpeedStopClick();
    form.FormClose();
    Prompts::install(nullptr);
    return outcome.ok && prompts.texts.isEmpty() ? 0 : 1;
}
