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
// VREX_BENCH_LANES (default 1) is the "Simultaneous transfers" setting: how
// many items run at once, each on a connection of its own.

#include "app/TForm1.h"
#include "app/VrexApplication.h"
#include "bench/common/BenchKit.h"
#include "ftp/Win32FindData.h"
#include "platform/IconList.h"
#include "transfers/QueueItem.h"
#include "transfers/TransferQueue.h"

#include <QFileInfo>
#include <QTabBar>
#include <QTemporaryDir>

namespace {

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

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    isolateHome(home.path());
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
    const int lanes = qEnvironmentVariableIsSet("VREX_BENCH_LANES")
        ? qEnvironmentVariableIntValue("VREX_BENCH_LANES")
        : 1;
    form.setSimultaneousTransfers([lanes] { return lanes; });
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

    std::printf("lanes=%d files=%zu bytes=%llu wall_s=%.3f add_ms=%.1f cpu_s=%.3f mbps=%.2f "
                "late_p50_ms=%.2f late_p99_ms=%.2f late_max_ms=%.2f ticks=%zu "
                "rss_idle_kb=%ld rss_added_kb=%ld rss_run_min_kb=%ld rss_run_max_kb=%ld "
                "rss_end_kb=%ld rss_quarters_kb=%ld,%ld,%ld,%ld ui_cpu_s=%.3f progress_ms=%.1f "
                "progress_calls=%ld status_ms=%.1f "
                "status_calls=%ld done_ms=%.1f done_calls=%ld prompts=%lld modals=%lld ok=%d\n",
        lanes, items.size(), static_cast<unsigned long long>(bytes), wallS, addMs, cpuS,
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
