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
#include "platform/IconList.h"
#include "transfers/QueueItem.h"
#include "transfers/TransferQueue.h"

#include <QFileInfo>
#include <QTabBar>
#include <QTemporaryDir>

namespace {

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
        item.entry = entryOfFile(file);
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
    const int page = envInt("VREX_BENCH_PAGE", 2);
    BenchPrompts prompts;
    Prompts::install(&prompts);
    IconList::setUpTheme();

    // Built before the window, so that their cost is not the window's.
    std::vector<QueueItem> items = itemsFor(a);
    uint64_t bytes = 0;
    for (const QueueItem &item : items)
        bytes += item.size();

    TForm1 form;
    const int lanes = envInt("VREX_BENCH_LANES", 1);
    form.setSimultaneousTransfers([lanes] { return lanes; });
    form.createDialogs();
    TransferClocks handlers;
    // An experiment, not the program's behaviour: see the header.
    if (const int batch = qEnvironmentVariableIntValue("VREX_BENCH_BATCH"); batch > 0)
        form.ftp().TransferBatch = batch;
    handlers.progress.throttleMs = handlers.status.throttleMs
        = qEnvironmentVariableIntValue("VREX_BENCH_THROTTLE_MS");
    handlers.wrap(form.ftp());
    form.show();
    form.controls().TabSet1->setCurrentIndex(page);
    ModalCloser modals;
    settleFor(1000);
    const long idleKiB = residentKiB();

    RunClocks clocks;
    ResidentSampler sampler;
    sampler.start();
    clocks.start();
    for (QueueItem &item : items)
        form.queue().addItem(std::move(item));
    const qint64 addNs = clocks.wall.nsecsElapsed();
    // The memory of the queue as shown: its rows painted, nothing started yet
    // (adding starts nothing; afterAdding does). This pause is not timed.
    settleFor(300);
    const long addedKiB = residentKiB();
    clocks.wall.start();
    form.queue().afterAdding();
    const Outcome outcome = waitForEmptyQueue(form, prompts, stallMsFromEnv());
    const double wallS = double(addNs + clocks.wall.nsecsElapsed()) / 1e9;
    const double addMs = double(addNs) / 1e6;
    clocks.stop();
    sampler.stop();
    const long endKiB = residentKiB();

    std::printf("lanes=%d files=%zu bytes=%llu wall_s=%.3f add_ms=%.1f cpu_s=%.3f mbps=%.2f %s "
                "rss_idle_kb=%ld rss_added_kb=%ld rss_run_min_kb=%ld rss_run_max_kb=%ld "
                "rss_end_kb=%ld rss_quarters_kb=%ld,%ld,%ld,%ld ui_cpu_s=%.3f %s "
                "prompts=%lld modals=%lld ok=%d\n",
        lanes, items.size(), static_cast<unsigned long long>(bytes), wallS, addMs, clocks.cpuS,
        double(bytes) / 1e6 / wallS, clocks.probe.fields().c_str(), idleKiB, addedKiB,
        sampler.min(), sampler.max(), endKiB, outcome.quarterKiB[0], outcome.quarterKiB[1],
        outcome.quarterKiB[2], outcome.quarterKiB[3], clocks.uiCpuS, handlers.fields().c_str(),
        static_cast<long long>(prompts.texts.size()), modals.count(), outcome.ok ? 1 : 0);
    std::fflush(stdout);
    modals.stop();
    return endRun(form, "bench_queue", outcome, prompts);
}
