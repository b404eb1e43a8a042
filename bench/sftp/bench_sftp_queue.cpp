// Small files through the main window's queue from an SFTP site: every file
// of a local folder, served by an SSH server, is added to the queue at once
// and the queue is run to its end. run.sh times OpenSSH's sftp and curl on
// the same files and checks the bytes.
//
//   bench_sftp_queue HOST SSH_DIR REMOTE_DIR SOURCE_DIR SAVE_DIR
// HOST is "127.0.0.1:port"; SSH_DIR holds the client's key and known_hosts
// (it becomes ~/.ssh); REMOTE_DIR is where the server shows SOURCE_DIR; the
// files land in SAVE_DIR (empty). Prints one line of key=value figures.

#include "app/TForm1.h"
#include "app/VrexApplication.h"
#include "bench/common/BenchKit.h"
#include "ftp/Win32FindData.h"
#include "platform/IconList.h"
#include "storage/SiteBook.h"
#include "storage/SiteOptionsFile.h"
#include "transfers/QueueItem.h"
#include "transfers/TransferQueue.h"

#include <QFileInfo>
#include <QTabBar>
#include <QTemporaryDir>

namespace {

// The site the queue's items belong to, so that they connect over SFTP.
void addSftpSite(const QString &host)
{
    SiteBook book;
    TSiteRecord site;
    site.FTPSite = host;
    site.Description = QStringLiteral("Bench");
    site.Directory = QStringLiteral("/");
    book.InsertSite(site);
    book.SaveSiteBook();
    SiteOptionsFile options;
    SiteOptions sftp;
    sftp.sftp = true;
    options.set(site.Description, sftp);
    options.save();
}

bool copyFolder(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo &f : QDir(from).entryInfoList(QDir::Files))
        if (!QFile::copy(f.filePath(), to + QLatin1Char('/') + f.fileName()))
            return false;
    return true;
}

std::vector<QueueItem> itemsFor(
    const QString &host, const QString &remoteDir, const QString &sourceDir, const QString &saveDir)
{
    std::vector<QueueItem> items;
    for (const QFileInfo &file :
        QDir(sourceDir).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        QueueItem item;
        item.name = remoteDir + QLatin1Char('/') + file.fileName();
        item.saveFile = saveDir + QLatin1Char('/') + file.fileName();
        item.entry = entryOfFile(file);
        item.actions = QStringLiteral("Download");
        item.host = host;
        items.push_back(item);
    }
    return items;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    isolateHome(home.path());
    qputenv("HOME", home.path().toUtf8());
    qunsetenv("SSH_AUTH_SOCK");
    VrexApplication app(argc, argv);
    if (argc < 6) {
        std::fprintf(
            stderr, "usage: bench_sftp_queue HOST SSH_DIR REMOTE_DIR SOURCE_DIR SAVE_DIR\n");
        return 2;
    }
    const QString host = QString::fromLocal8Bit(argv[1]);
    if (!copyFolder(QString::fromLocal8Bit(argv[2]), home.filePath(".ssh")))
        return 2;
    addSftpSite(host);
    BenchPrompts prompts;
    Prompts::install(&prompts);
    IconList::setUpTheme();
    std::vector<QueueItem> items = itemsFor(host, QString::fromLocal8Bit(argv[3]),
        QDir(QString::fromLocal8Bit(argv[4])).absolutePath(),
        QDir(QString::fromLocal8Bit(argv[5])).absolutePath());

    TForm1 form;
    form.createDialogs();
    form.show();
    form.controls().TabSet1->setCurrentIndex(2); // the queue page, as a user watches it
    settleFor(1000);

    LatenessProbe probe;
    probe.start();
    const double uiCpu0 = threadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const size_t count = items.size();
    for (QueueItem &item : items)
        form.queue().addItem(std::move(item));
    form.queue().afterAdding();
    const Outcome outcome = waitForEmptyQueue(form, prompts, 120000);
    const double wallS = double(wall.nsecsElapsed()) / 1e9;
    const double uiCpuS = threadCpuSeconds() - uiCpu0;
    probe.stop();
    std::printf("files=%zu wall_s=%.3f ui_cpu_s=%.3f late_p50_ms=%.2f late_p99_ms=%.2f "
                "late_max_ms=%.2f prompts=%lld ok=%d\n",
        count, wallS, uiCpuS, probe.percentile(0.5), probe.percentile(0.99), probe.percentile(1.0),
        static_cast<long long>(prompts.texts.size()), outcome.ok ? 1 : 0);
    std::fflush(stdout);
    return endRun(form, "bench_sftp_queue", outcome, prompts);
}
