// A whole folder through the main window, as a user moves one: the site is
// opened, then either the folder's row is selected and Download chosen (the
// folder question answered with SAVE_DIR), or "Send Folder..." is chosen
// (answered with LOCAL_FOLDER). The clock runs from the command to the
// queue's end, the folder walk included. run.sh times lftp's mirror on the
// same tree and compares every file.
//
//   bench_folders down HOST LOGIN PASSWORD SITE_DIR FOLDER SAVE_DIR
//   bench_folders up   HOST LOGIN PASSWORD SITE_DIR LOCAL_FOLDER
// HOST is "127.0.0.1:port"; SITE_DIR the site's starting folder, where FOLDER
// is (down) or where LOCAL_FOLDER goes (up). LOGIN "-" is anonymous.
// VREX_BENCH_LANES (default 1) is the "Simultaneous transfers" setting;
// VREX_BENCH_STALL_S (default 120) how long the run may go without finishing
// an item, or the walk may take, before it counts as failed. Prints one line
// of key=value figures.

#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "app/VrexApplication.h"
#include "bench/common/BenchKit.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "platform/IconList.h"
#include "storage/SiteBook.h"
#include "transfers/TransferQueue.h"
#include "widgets/TListView.h"

#include <QAction>
#include <QMenu>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeWidget>

namespace {

struct Args {
    bool upload = false;
    QString host, login, password, siteDir, folder, saveDir;
};

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

bool idle(TForm1 &form)
{
    return !form.listing().isBusy() && form.queue().count() == 0;
}

// The site's node current and its folder listed, as after a click on it.
bool openSite(TForm1 &form)
{
    QTreeWidgetItem *site = childNamed(form.root(), QStringLiteral("Bench"));
    if (!site)
        return false;
    runEventsUntil([&] { return idle(form) && form.tree().current(); }, 30000);
    form.controls().TreeView1->setCurrentItem(site);
    runEventsUntil([&] { return idle(form) && form.tree().current() == site; }, 30000);
    return form.tree().current() == site && idle(form);
}

bool selectRow(TListView *list, const QString &name)
{
    QAbstractItemModel *model = list->shownModel();
    for (int r = 0; r < model->rowCount(); ++r)
        if (model->index(r, 0).data().toString() == name) {
            list->selectionModel()->clearSelection();
            list->selectionModel()->select(
                model->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
            return true;
        }
    return false;
}

// The command a user gives; false when the window offers no way to give it.
bool command(TForm1 &form, const Args &a, BenchPrompts &prompts)
{
    if (a.upload) {
        // The File menu's items are decided as it opens, as a user opens it.
        Q_EMIT form.controls().menu->File1->aboutToShow();
        QAction *send = form.controls().menu->MenuSendFolder;
        prompts.folderAnswer = a.folder;
        if (!send->isEnabled())
            return false;
        send->trigger();
        return true;
    }
    if (!selectRow(form.controls().ListView1, a.folder))
        return false;
    prompts.folderAnswer = a.saveDir;
    form.MenuDownloadClick();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    isolateHome(home.path());
    VrexApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (!(mode == "down" && argc >= 8) && !(mode == "up" && argc >= 7)) {
        std::fprintf(stderr,
            "usage: bench_folders down HOST LOGIN PASSWORD SITE_DIR FOLDER SAVE_DIR\n"
            "       bench_folders up   HOST LOGIN PASSWORD SITE_DIR LOCAL_FOLDER\n");
        return 2;
    }
    auto arg = [&](int i) {
        const QString s = QString::fromLocal8Bit(argv[i]);
        return s == "-" ? QString() : s;
    };
    Args a { mode == "up", arg(2), arg(3), arg(4), arg(5), arg(6), mode == "down" ? arg(7) : "" };
    if (a.upload)
        a.folder = QDir(a.folder).absolutePath();
    else
        a.saveDir = QDir(a.saveDir).absolutePath();
    const int stallMs = stallMsFromEnv();
    const int lanes = std::max(1, qEnvironmentVariableIntValue("VREX_BENCH_LANES"));
    {
        SiteBook book;
        book.InsertSite({ a.host, QStringLiteral("Bench"), a.login, a.password, a.siteDir });
        book.SaveSiteBook();
    }
    BenchPrompts prompts;
    Prompts::install(&prompts);
    IconList::setUpTheme();

    TForm1 form;
    form.setSimultaneousTransfers([lanes] { return lanes; });
    form.createDialogs();
    form.show();
    ModalCloser modals;
    if (!openSite(form)) {
        std::fprintf(stderr, "bench_folders: the site did not open\n");
        return 1;
    }
    settleFor(1000);
    const long idleKiB = residentKiB();

    RunClocks clocks;
    ResidentSampler sampler;
    sampler.start();
    clocks.start();
    Outcome outcome;
    double walkS = 0;
    int queued = 0;
    if (!command(form, a, prompts)) {
        outcome.why = QStringLiteral("the command was not offered (row missing or disabled)");
    } else {
        // The walk lists the folder first, then queues every file at once.
        runEventsUntil([&] { return form.queue().count() > 0 || !prompts.texts.isEmpty(); },
            stallMs);
        walkS = double(clocks.wall.nsecsElapsed()) / 1e9;
        queued = form.queue().count();
        if (queued == 0)
            outcome.why = QStringLiteral("nothing was queued");
        else {
            // The walk's queue page, as a user watches a folder go.
            form.controls().TabSet1->setCurrentIndex(2);
            outcome = waitForEmptyQueue(form, prompts, stallMs);
        }
    }
    const double wallS = double(clocks.wall.nsecsElapsed()) / 1e9;
    clocks.stop();
    sampler.stop();
    const long endKiB = residentKiB();

    std::printf("mode=%s lanes=%d files=%d wall_s=%.3f walk_s=%.3f cpu_s=%.3f ui_cpu_s=%.3f %s "
                "rss_idle_kb=%ld rss_run_max_kb=%ld rss_end_kb=%ld "
                "rss_quarters_kb=%ld,%ld,%ld,%ld prompts=%lld modals=%lld ok=%d\n",
        qPrintable(mode), lanes, queued, wallS, walkS, clocks.cpuS, clocks.uiCpuS,
        clocks.probe.fields().c_str(), idleKiB, sampler.max(), endKiB, outcome.quarterKiB[0],
        outcome.quarterKiB[1], outcome.quarterKiB[2], outcome.quarterKiB[3],
        static_cast<long long>(prompts.texts.size()), modals.count(), outcome.ok ? 1 : 0);
    std::fflush(stdout);
    modals.stop();
    return endRun(form, "bench_folders", outcome, prompts);
}
