// Download if newer from the watch list: every file of SOURCE_DIR is watched,
// all with the time STORED_S (Unix seconds, as the server's listing shows the
// unchanged ones); the whole list is selected and fetched "if newer" into one
// folder, the dialog answered as a user would. run.sh times lftp's
// mirror --only-newer on the same files and checks the bytes.
//
//   bench_newer HOST LOGIN PASSWORD REMOTE_DIR SOURCE_DIR SAVE_DIR STORED_S
// Prints one line of key=value figures, with how many rows ended in each
// status. VREX_BENCH_STALL_S (default 120) as for bench_queue.

#include "app/TForm1.h"
#include "app/VrexApplication.h"
#include "bench/common/BenchKit.h"
#include "ftp/FileTime.h"
#include "ftp/Win32FindData.h"
#include "platform/IconList.h"
#include "storage/WatchFile.h"
#include "transfers/TFormNewer.h"
#include "widgets/TListView.h"

#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMap>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTemporaryDir>

namespace {

struct Args {
    QString host, login, password, remoteDir, sourceDir, saveDir;
    qint64 storedS = 0;
};

std::vector<WatchRecord> watchesFor(const Args &a)
{
    std::vector<WatchRecord> records;
    const QFileInfoList files
        = QDir(a.sourceDir).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &file : files) {
        WatchRecord r;
        r.name = a.remoteDir + QLatin1Char('/') + file.fileName();
        r.host = a.host;
        r.login = a.login;
        r.password = a.password;
        r.entry = entryOfFile(file);
        r.entry.ftLastWriteTime = FileTime::fromUnixSeconds(a.storedS);
        records.push_back(r);
    }
    return records;
}

// Answers the "Download if Newer" dialog: one folder, the one the prompts give.
void answerNewerDialog(TForm1 &form, bool *answered)
{
    QTimer::singleShot(0, &form, [&form, answered] {
        auto *dialog = form.findChild<TFormNewer *>();
        if (!dialog || !dialog->isVisible())
            return;
        dialog->RadioNewer->click();
        dialog->ButtonBrowse->click();
        dialog->ButtonOK->click();
        *answered = true;
    });
}

// "status:count,..." over the watch list's Status column.
QString statusCounts(TListView *list, QMap<QString, int> *counts)
{
    for (int row = 0; row < list->rowCount(); ++row)
        ++(*counts)[list->shownModel()->index(row, 1).data().toString()];
    QStringList parts;
    for (auto it = counts->cbegin(); it != counts->cend(); ++it)
        parts << QString(it.key()).replace(' ', '_') + ':' + QString::number(it.value());
    return parts.join(',');
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    isolateHome(home.path());
    VrexApplication app(argc, argv);
    if (argc < 8) {
        std::fprintf(stderr,
            "usage: bench_newer HOST LOGIN PASSWORD REMOTE_DIR SOURCE_DIR SAVE_DIR STORED_S\n");
        return 2;
    }
    Args a { QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
        QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]),
        QDir(QString::fromLocal8Bit(argv[5])).absolutePath(),
        QDir(QString::fromLocal8Bit(argv[6])).absolutePath() };
    a.storedS = QByteArray(argv[7]).toLongLong();
    BenchPrompts prompts;
    prompts.folderAnswer = a.saveDir;
    Prompts::install(&prompts);
    IconList::setUpTheme();
    WatchFile().save(watchesFor(a));

    TForm1 form;
    form.createDialogs();
    // dirDone: the end of a folder's listing or of a file's own lookup,
    // through to the start of what comes next, on the window's thread.
    HandlerClock dirEntry, dirDone;
    TransferClocks handlers;
    dirEntry.wrap(form.ftp().OnDirEntry);
    dirDone.wrap(form.ftp().OnDirDone);
    handlers.wrap(form.ftp());
    form.show();
    form.controls().TabSet1->setCurrentIndex(1);
    TListView *watches = form.controls().ListView2;
    settleFor(1000);
    const int watched = watches->rowCount();
    QAbstractItemModel *rows = watches->shownModel();
    watches->selectionModel()->select(
        QItemSelection(rows->index(0, 0), rows->index(watched - 1, rows->columnCount() - 1)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

    RunClocks clocks;
    clocks.start();
    bool answered = false;
    answerNewerDialog(form, &answered);
    form.watches().DownloadifChanged1Click();
    // The dialog, the rows queued and the first step, before any reply.
    const double queuingMs = double(clocks.wall.nsecsElapsed()) / 1e6;
    const int queued = form.queue().count();
    ModalCloser modals;
    Outcome outcome = waitForEmptyQueue(form, prompts, stallMsFromEnv());
    // The last item's status is set as it leaves the queue; the session may
    // still be closing: the run ends when the window is idle too.
    runEventsUntil([&] { return !form.listing().isBusy(); }, 10000);
    if (outcome.ok && form.listing().isBusy())
        outcome
            = { false, QStringLiteral("the window never went idle after the queue emptied"), {} };
    const double wallS = double(clocks.wall.nsecsElapsed()) / 1e9;
    clocks.stop();
    modals.stop();
    if (!answered)
        outcome = { false, QStringLiteral("the Download if Newer dialog was not answered"), {} };

    QMap<QString, int> counts;
    const QString statuses = statusCounts(watches, &counts);
    std::printf("files=%d queued=%d queuing_ms=%.1f wall_s=%.3f cpu_s=%.3f %s ui_cpu_s=%.3f %s "
                "dir_entry_ms=%.1f dir_done_ms=%.1f dir_done_calls=%ld downloaded=%d "
                "uptodate=%d statuses=%s prompts=%lld modals=%lld ok=%d\n",
        watched, queued, queuingMs, wallS, clocks.cpuS, clocks.probe.fields().c_str(),
        clocks.uiCpuS, handlers.fields().c_str(), dirEntry.ms(), dirDone.ms(), dirDone.calls,
        counts.value(QStringLiteral("Downloaded")), counts.value(QStringLiteral("Up to Date")),
        qPrintable(statuses), static_cast<long long>(prompts.texts.size()), modals.count(),
        outcome.ok ? 1 : 0);
    std::fflush(stdout);
    return endRun(form, "bench_newer", outcome, prompts);
}
