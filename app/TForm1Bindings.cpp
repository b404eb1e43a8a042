// How the main window binds its subsystems to each other and to the FTP
// session's events: the ports each one asks through.

#include "app/TForm1.h"

#include "app/CommandStateView.h"
#include "app/MainMenu.h"
#include "app/ToolBarPanel.h"
#include "dispatch/TransferLanes.h"
#include "explorer/CertificateTrust.h"
#include "explorer/DirectoryMap.h"
#include "explorer/FileCommands.h"
#include "explorer/FileOperations.h"
#include "explorer/HostKeyTrust.h"
#include "explorer/ListingView.h"
#include "explorer/RowTexts.h"
#include "explorer/SiteTree.h"
#include "explorer/SiteTreeCommands.h"
#include "explorer/StatusTexts.h"
#include "explorer/TFormConnect.h"
#include "explorer/TFormMessage.h"
#include "platform/Prompts.h"
#include "platform/UrlOpener.h"
#include "storage/TRegFile.h"
#include "transfers/TFormGetFile.h"
#include "transfers/TFormNewer.h"
#include "transfers/TFormStartQueue.h"
#include "transfers/TransferProgress.h"
#include "transfers/TransferQueue.h"
#include "transfers/WatchList.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QFileInfo>
#include <QMenu>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <memory>
#include <utility>

void TForm1::bindCompletion()
{
    TransferCompletion::Services cs;
    cs.ftp = WinInetFTP1;
    cs.dispatch = &dispatch;
    cs.queue = transferQueue;
    cs.progress = transferProgress;
    cs.listing = listingView;
    cs.tree = siteTree;
    cs.refreshFiles = [this] { refreshAfterUpload(); };
    cs.openFile = [this](const QString &path) { openDownloaded(path); };
    transferEnd.bind(cs);
}

void TForm1::openDownloaded(const QString &path)
{
    if (UrlOpener::open(QUrl::fromLocalFile(path)))
        return;
    // After the transfer's end has been dealt with, not in the middle of it.
    QTimer::singleShot(0, this, [path] {
        Prompts::information(QStringLiteral("No program is set to open \"%1\". "
                                            "The file was saved as \"%2\".")
                                 .arg(QFileInfo(path).fileName(), path));
    });
}

// The current folder is listed again, so the uploaded files show in it.
void TForm1::refreshAfterUpload()
{
    QTreeWidgetItem *current = siteTree->current();
    if (current && ui.TreeView1->currentItem() != current) {
        const QSignalBlocker blocker(ui.TreeView1);
        ui.TreeView1->setCurrentItem(current);
    }
    siteCommands->Refresh1Click();
}

void TForm1::bindQueue()
{
    TransferQueue::Port port;
    // The queue runs on connections of its own: what the browse connection
    // does holds nothing back.
    port.transferRunning = [this] { return transferLanes->anyRunning(); };
    port.startTransfer = [this](const QueueItem &item) { return transferLanes->start(item); };
    port.hasRoom = [this] { return transferLanes->hasRoom(); };
    port.itemRunning = [this](uint64_t id) { return transferLanes->isRunning(id); };
    transferQueue->setPort(port);
    TransferQueue::Services qs;
    qs.rowTexts = [](const TWin32FindData &entry) {
        TWin32FindData copy = entry;
        return TransferQueue::RowTexts { RowTexts::sizeText(&entry), RowTexts::typeName(&entry),
            RowTexts::modifiedText(&copy), RowTexts::iconIndex(&entry) };
    };
    // A fast queue changes its total hundreds of times a second: while it
    // runs, the panels follow at most ten times a second.
    auto *panelsLater = new QTimer(this);
    panelsLater->setSingleShot(true);
    panelsLater->setInterval(100);
    auto panelsHeld = std::make_shared<bool>(false);
    connect(panelsLater, &QTimer::timeout, this, [this, panelsHeld] {
        if (std::exchange(*panelsHeld, false))
            listingView->refreshPanels();
    });
    qs.sizeTotalChanged = [this, panelsLater, panelsHeld](double bytes) {
        listingView->setQueueSizeTotal(bytes);
        // The whole run, also between one item's end and the next one's start.
        if (panelsLater->isActive()
            && (transferLanes->anyRunning() || transferQueue->runUnderway())) {
            *panelsHeld = true;
            return;
        }
        listingView->refreshPanels();
        panelsLater->start();
    };
    qs.showWatchList = [this] { ui.TabSet1->setCurrentIndex(1); };
    // What a run wrote is made durable before the queue shows idle.
    qs.queueRunEnded
        = [this](std::function<void()> flushed) { WinInetFTP1->FlushWritten(std::move(flushed)); };
    transferQueue->setServices(qs);
}

void TForm1::bindDispatch()
{
    ActionDispatch::Services ds;
    ds.ftp = WinInetFTP1;
    ds.tree = siteTree;
    ds.listing = listingView;
    ds.messages = formMessage;
    ds.tabs = ui.TabSet1;
    ds.stopQueue = [this] { transferQueue->stopQueue(); };
    ds.transferStarts = [this] { transferEnd.transferStarts(); };
    ds.transferDone = [this](int error) {
        transferEnding(error, false);
        transferEnd.transferEnded(error);
    };
    ds.showTransferPanel = [this] {
        transferProgress->showPanel(
            transferQueue->waitingCount(), dispatch.pendingAction() != PendingAction::None);
    };
    // Deferred: a walk of listings goes on from the end of each one, and the
    // queue waits until the walk has ended.
    ds.operationEnded = [this] {
        QTimer::singleShot(0, transferQueue, [this] {
            if (!listingView->isBusy())
                transferQueue->queueStep(false);
        });
    };
    ds.requestNotRun = [this](PendingAction action) { fileOps->requestNotRun(action); };
    dispatch.bind(ds);
}

void TForm1::bindSessionEvents()
{
    TWinInetFTP &f = *WinInetFTP1;
    // Any completion may be the one that found the connection gone; the
    // status held back is shown first, so what the handler says stays.
    auto thenShowEncryption = [this](auto handler) {
        return [this, handler](auto... args) {
            showHeldStatus();
            handler(args...);
            showEncryption();
        };
    };
    // Many codes come per operation; the panel shows the latest a few times
    // a second, which is all anyone can read.
    f.OnWinInetStatus = [this](TWinInetFTP *, int32_t code) {
        pendingStatus = code;
        if (!statusTimer->isActive())
            statusTimer->start();
    };
    f.OnCertificate = [this](TWinInetFTP *, const TlsCertificateFacts &certificate) {
        return certificateTrust->decide(certificate);
    };
    f.OnHostKey
        = [this](TWinInetFTP *, const ServerKeyFacts &key) { return hostKeyTrust->decide(key); };
    f.OnKeyPassphrase = [](TWinInetFTP *, const std::string &file, std::string &passphrase) {
        return HostKeyTrust::askPassphrase(file, passphrase);
    };
    f.OnConnect = [this](TWinInetFTP *, HINTERNET, HINTERNET) {
        showHeldStatus();
        showEncryption();
        dispatch.WinInetFTP1Connect();
    };
    f.OnDirEntry
        = [this](TWinInetFTP *, PTWin32FindData entry) { dispatch.WinInetFTP1DirEntry(*entry); };
    f.OnDirDone = thenShowEncryption([this](TWinInetFTP *) { dispatch.WinInetFTP1DirDone(); });
    auto status = [this](TWinInetFTP *, int64_t bytes) { transferEnd.WinInetFTP1GetStatus(bytes); };
    auto done = thenShowEncryption([this](TWinInetFTP *, int64_t) {
        if (!WinInetFTP1->EventIsStale())
            transferEnding(WinInetFTP1->LastError(), true);
        transferEnd.WinInetFTP1GetDone();
    });
    f.OnGetStatus = status;
    f.OnSendStatus = status;
    f.OnGetDone = done;
    f.OnSendDone = done;
    f.OnDeleteFileDone
        = thenShowEncryption([this](TWinInetFTP *) { fileOps->WinInetFTP1DeleteFileDone(); });
    f.OnRenameFileDone
        = thenShowEncryption([this](TWinInetFTP *) { fileOps->WinInetFTP1RenameFileDone(); });
    f.OnCreateDirDone
        = thenShowEncryption([this](TWinInetFTP *) { fileOps->WinInetFTP1CreateDirDone(); });
    f.OnDeleteDirDone
        = thenShowEncryption([this](TWinInetFTP *) { fileOps->WinInetFTP1DeleteDirDone(); });
}

void TForm1::bindQuickDownload()
{
    TFormGetFile::Port port;
    port.currentConnection = [this] {
        const SiteConnection &c = siteTree->currentConnection();
        return TFormGetFile::Site { c.host, c.login, c.password };
    };
    port.operationRunning = [this] { return dispatch.operationRunning(); };
    port.saveAs = [this](const QString &remotePath) { return fileCommands->saveAs(remotePath); };
    port.getNow
        = [this](const QString &source, const QString &target, const TFormGetFile::Site &site) {
              dispatch.startQuickDownload(source, target, site.host, site.login, site.password);
          };
    formGetFile->setPort(port);
}
