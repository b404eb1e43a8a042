// The queue at scale, in the real window on the queue page, with no network:
// the window's time to add N items (a folder transfer adds them one by one),
// the memory each item costs, and the time of one queue step (an item ends,
// the next starts) at the front of a long queue and of a short one.
//
//   bench_queuescale [N]      (default 100000)
// Prints one line of key=value figures.

#include "app/TForm1.h"
#include "app/VrexApplication.h"
#include "bench/common/BenchKit.h"
#include "platform/IconList.h"
#include "transfers/QueueFile.h"
#include "transfers/QueueItem.h"
#include "transfers/TransferQueue.h"
#include "widgets/TListView.h"

#include <QFileInfo>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeView>

namespace {

QueueItem itemNumber(int i)
{
    QueueItem item;
    const QString name = QStringLiteral("file-%1.bin").arg(i, 6, 10, QLatin1Char('0'));
    item.name = QStringLiteral("/pub/folder/") + name;
    item.saveFile = QStringLiteral("/home/user/Downloads/folder/") + name;
    const QByteArray bytes = name.toUtf8();
    std::copy_n(bytes.constData(), bytes.size(), item.entry.cFileName);
    setFileSize(item.entry, 4096);
    item.actions = QStringLiteral("Download");
    static const QString host = QStringLiteral("127.0.0.1:2121");
    static const QString login = QStringLiteral("vrex");
    static const QString password = QStringLiteral("secret");
    item.host = host;
    item.login = login;
    item.password = password;
    return item;
}

// Microseconds per step over `steps` ends of an item and starts of the next.
double stepMicros(TransferQueue &queue, int steps)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < steps; ++i) {
        queue.finishCurrentItem();
        queue.queueStep(true);
    }
    return double(t.nsecsElapsed()) / 1e3 / steps;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    isolateHome(home.path());
    VrexApplication app(argc, argv);
    const int n = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    BenchPrompts prompts;
    Prompts::install(&prompts);
    IconList::setUpTheme();
    TForm1 form;
    form.createDialogs();
    form.show();
    form.controls().TabSet1->setCurrentIndex(2);
    // Transfers are only pretended: the step's own cost is what is measured.
    TransferQueue::Port port;
    port.operationRunning = [] { return false; };
    port.transferRunning = [] { return false; };
    port.startTransfer = [](const QueueItem &) { return true; };
    form.queue().setPort(port);
    form.queue().stopQueue();
    runEventsUntil([] { return false; }, 1000);
    const long idleKiB = residentKiB();

    const double cpu0 = threadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < n; ++i)
        form.queue().addItem(itemNumber(i));
    const double addS = double(wall.nsecsElapsed()) / 1e9;
    const double addCpuS = threadCpuSeconds() - cpu0;
    // The page painted with its rows, scrolled to the end and back.
    QElapsedTimer paint;
    paint.start();
    QTreeView *view = form.controls().ListView3->detailsView();
    view->scrollToBottom();
    view->repaint();
    view->scrollToTop();
    view->repaint();
    QCoreApplication::processEvents();
    const double paintMs = double(paint.nsecsElapsed()) / 1e6;
    const long addedKiB = residentKiB();

    // The saved queue: one copy of the rows on the window's thread, the
    // bytes and the write on the saver's; the window's share is measured.
    QElapsedTimer copy;
    copy.start();
    const size_t copied = form.queue().items().size();
    const double snapshotMs = double(copy.nsecsElapsed()) / 1e6;
    const QString saved = QueueFile().filePath();
    const double saveCpu0 = threadCpuSeconds();
    QElapsedTimer saving;
    saving.start();
    runEventsUntil([&saved] { return QFileInfo::exists(saved); }, 60000);
    const double saveS = double(saving.nsecsElapsed()) / 1e9;
    const double saveCpuMs = (threadCpuSeconds() - saveCpu0) * 1e3;
    const bool savedAll = QueueFile().load().items.size() == copied;

    form.queue().startQueue(false);
    const double longStepUs = stepMicros(form.queue(), 1000);
    // The same steps at the end of the queue, with few items left.
    while (form.queue().count() > 1100) {
        form.queue().finishCurrentItem();
        form.queue().queueStep(true);
    }
    const double shortStepUs = stepMicros(form.queue(), 1000);

    std::printf("items=%d add_s=%.3f add_cpu_s=%.3f add_us_per_item=%.2f paint_ms=%.1f "
                "rss_idle_kb=%ld rss_added_kb=%ld bytes_per_item=%.0f step_us_at_%d=%.1f "
                "step_us_at_1000=%.1f snapshot_ms=%.1f save_s=%.2f save_window_cpu_ms=%.1f "
                "saved_all=%d ok=%d\n",
        n, addS, addCpuS, addS * 1e6 / n, paintMs, idleKiB, addedKiB,
        double(addedKiB - idleKiB) * 1024.0 / n, n, longStepUs, shortStepUs, snapshotMs, saveS,
        saveCpuMs, savedAll ? 1 : 0, addCpuS < 2.0 ? 1 : 0);
    form.FormClose();
    Prompts::install(nullptr);
    return 0;
}
