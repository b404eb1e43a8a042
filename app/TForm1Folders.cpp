// Whole-folder commands: what they are bound to, and the folder summary
// beside the queue count while a folder's files run.

#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "explorer/CertificateTrust.h"
#include "explorer/FileOperations.h"
#include "explorer/FolderCommands.h"
#include "explorer/HostKeyTrust.h"
#include "explorer/SiteTree.h"
#include "ftp/WinInetFTP.h"
#include "transfers/FolderProgress.h"
#include "transfers/QueueItem.h"
#include "transfers/TransferProgress.h"
#include "transfers/TransferQueue.h"
#include "widgets/TListView.h"

#include <QMenu>
#include <QTreeWidget>

void TForm1::createFolderCommands()
{
    folderProgress = std::make_unique<FolderProgress>();
    FolderCommands::Services s;
    s.tree = siteTree;
    s.listing = listingView;
    s.settings = Reg.get();
    s.folderBegins = [this] { folderProgress->beginFolder(); };
    s.addItem = [this](const FolderCommands::Item &f) {
        QueueItem item;
        item.name = f.name;
        item.saveFile = f.saveFile;
        item.entry = f.entry;
        item.actions = f.actions;
        item.host = f.site.host;
        item.login = f.site.login;
        item.password = f.site.password;
        item.makeParents = f.makeParents;
        folderProgress->added(transferQueue->addItem(std::move(item)), fileSize(f.entry));
    };
    s.handOver = [this] { transferQueue->afterAdding(); };
    // A walk's own connection asks what the window's would.
    s.prepareSession = [this](TWinInetFTP &f) {
        f.OnCertificate = [this](TWinInetFTP *, const TlsCertificateFacts &certificate) {
            return certificateTrust->decideForAnotherConnection(certificate);
        };
        f.OnHostKey = [this](TWinInetFTP *, const ServerKeyFacts &key) {
            return hostKeyTrust->decideForAnotherConnection(key);
        };
        f.OnKeyPassphrase = [](TWinInetFTP *, const std::string &file, std::string &passphrase) {
            return HostKeyTrust::askPassphrase(file, passphrase);
        };
    };
    s.folderDeleted = [this](QTreeWidgetItem *node) { fileOps->folderGone(node); };
    folderCommands = new FolderCommands(s, this);
    fileOps->deleteNotEmpty = [this](QTreeWidgetItem *node) { folderCommands->deleteFolder(node); };
}

void TForm1::connectFolderCommands()
{
    QMenu *treeMenu = ui.PopupMenu3;
    auto treeItem = [treeMenu](const char *name) {
        return treeMenu->findChild<QAction *>(QLatin1String(name));
    };
    connect(ui.menu->MenuSendFolder, &QAction::triggered, folderCommands,
        &FolderCommands::SendFolder1Click);
    connect(ui.menu->MenuUpload, &QAction::changed, ui.menu->MenuSendFolder,
        [this] { ui.menu->MenuSendFolder->setEnabled(ui.menu->MenuUpload->isEnabled()); });
    connect(treeItem("SendFolder2"), &QAction::triggered, folderCommands,
        &FolderCommands::SendFolder1Click);
    connect(treeItem("DownloadFolder2"), &QAction::triggered, this,
        [this] { folderCommands->downloadNode(ui.TreeView1->currentItem()); });
    // After the tree's own items are set: these follow them.
    connect(treeMenu, &QMenu::aboutToShow, this, [this, treeItem] {
        QTreeWidgetItem *node = ui.TreeView1->currentItem();
        const bool folder = node && node != siteTree->root() && !siteTree->isSiteNode(node);
        treeItem("DownloadFolder2")->setEnabled(folder);
        treeItem("SendFolder2")->setEnabled(treeItem("Upload2")->isEnabled());
    });
    // Rows leave the queue transferred (in progress) or removed by the user.
    QAbstractItemModel *rows = ui.ListView3->shownModel();
    connect(rows, &QAbstractItemModel::rowsAboutToBeRemoved, this,
        [this](const QModelIndex &, int first, int last) {
            for (int row = first; row <= last && row < transferQueue->count(); ++row) {
                const QueueItem &item = transferQueue->itemAt(row);
                folderProgress->removed(item.id, item.state == QueueItemState::InProgress);
            }
        });
    // Made when the panel is painted, not for every row that changes.
    transferProgress->setFolderSummarySource([this] { return folderSummary(); });
}

QString TForm1::folderSummary() const
{
    const int row = transferQueue->firstInProgressRow();
    return row < 0 ? QString() : folderProgress->summaryOf(transferQueue->itemAt(row).id);
}
