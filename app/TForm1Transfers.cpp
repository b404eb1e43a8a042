// The main window's file commands: what they are bound to, and the routing
// of the download and open commands by the page shown.

#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "app/TFormOptions.h"
#include "app/ToolBarPanel.h"
#include "explorer/FileCommands.h"
#include "explorer/FolderCommands.h"
#include "explorer/SiteTree.h"
#include "explorer/SiteTreeCommands.h"
#include "transfers/QueueItem.h"
#include "transfers/TFormGetFile.h"
#include "transfers/TransferQueue.h"
#include "transfers/TransferSettings.h"
#include "widgets/TListView.h"

#include <QAbstractItemView>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidgetItem>
#include <QUrl>

void TForm1::createFileCommands()
{
    FileCommands::Services s;
    s.tree = siteTree;
    s.listing = listingView;
    s.settings = Reg.get();
    s.addQueueItem
        = [this](const QString &name, const QString &saveFile, const TWin32FindData &entry,
              const QString &actions, const SiteConnection &site, bool askBeforeReplacing) {
              QueueItem item;
              item.name = name;
              item.saveFile = saveFile;
              item.entry = entry;
              item.actions = actions;
              item.host = site.host;
              item.login = site.login;
              item.password = site.password;
              item.askBeforeReplacing = askBeforeReplacing;
              transferQueue->addItem(std::move(item));
          };
    s.handOver = [this] { transferQueue->afterAdding(); };
    s.openFolder = [this](const QString &caption) { siteCommands->openChildNamed(caption); };
    s.raiseWindow = [this] {
        raise();
        activateWindow();
    };
    s.directoryLine = [this] { return ui.PanelFiles->text().trimmed(); };
    s.downloadFolders
        = [this](const QList<QTreeWidgetItem *> &folders, const QList<QTreeWidgetItem *> &files) {
              folderCommands->download(folders, files);
          };
    s.uploadFolders
        = [this](const QStringList &localFolders) { folderCommands->upload(localFolders); };
    fileCommands = new FileCommands(s, this);
    createFolderCommands();
}

void TForm1::connectFileCommands()
{
    MainMenu *m = ui.menu;
    connect(m->MenuDownload, &QAction::triggered, this, &TForm1::MenuDownloadClick);
    connect(m->MenuOpen, &QAction::triggered, this, &TForm1::MenuOpenClick);
    connect(
        m->MenuUpload, &QAction::triggered, fileCommands, &FileCommands::UploadFiletoSite1Click);
    if (QAction *download1 = ui.PopupMenu1->findChild<QAction *>(QStringLiteral("Download1")))
        connect(download1, &QAction::triggered, this, &TForm1::MenuDownloadClick);
    if (QAction *open1 = ui.PopupMenu1->findChild<QAction *>(QStringLiteral("Open1")))
        connect(open1, &QAction::triggered, this,
            [this] { fileCommands->downloadSelection(QStringLiteral("Download, Open")); });
    if (QAction *upload2 = ui.PopupMenu3->findChild<QAction *>(QStringLiteral("Upload2")))
        connect(upload2, &QAction::triggered, fileCommands, &FileCommands::UploadFiletoSite1Click);
    for (ToolBarPanel *bar : { ui.PanelTools, ui.PanelExplorerTools }) {
        connect(bar->button(ToolBarPanel::Download), &QToolButton::clicked, this,
            &TForm1::MenuDownloadClick);
        connect(
            bar->button(ToolBarPanel::Open), &QToolButton::clicked, this, &TForm1::MenuOpenClick);
        connect(bar->button(ToolBarPanel::Send), &QToolButton::clicked, fileCommands,
            &FileCommands::UploadFiletoSite1Click);
    }
    for (QAbstractItemView *view : { static_cast<QAbstractItemView *>(ui.ListView1->detailsView()),
             static_cast<QAbstractItemView *>(ui.ListView1->iconsView()) })
        connect(view, &QAbstractItemView::doubleClicked, fileCommands,
            &FileCommands::ListView1DblClick);
    ui.ListView1->installEventFilter(this);
    connectFolderCommands();
}

// Selected rows are downloaded; with nothing selected, and always on the
// queue page, the user names the file.
void TForm1::MenuDownloadClick()
{
    const int page = ui.Notebook1->currentIndex();
    if (page == 0 && !listingView->selectedMapNodes().isEmpty())
        fileCommands->downloadSelection(QStringLiteral("Download"));
    else if (page == 1 && ui.ListView2->selectionModel()->hasSelection())
        watchList->DownloadNow1Click();
    else
        openQuickDownload();
}

void TForm1::openQuickDownload()
{
    // One operation at a time: the dialog would only start a second one.
    if (formGetFile && !dispatch.operationRunning())
        formGetFile->exec();
}

void TForm1::MenuOpenClick()
{
    if (ui.Notebook1->currentIndex() == 0)
        fileCommands->downloadSelection(QStringLiteral("Download, Open"));
    else if (ui.Notebook1->currentIndex() == 1)
        watchList->Open2Click();
}

// Files dragged from a file manager onto the list, while a site is open.
bool TForm1::fileDropEvent(QEvent *event)
{
    if (event->type() != QEvent::DragEnter && event->type() != QEvent::DragMove
        && event->type() != QEvent::Drop)
        return false;
    auto *drop = static_cast<QDropEvent *>(event);
    QStringList paths;
    for (const QUrl &url : drop->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    // The list of sites has no folder to send to: the cursor says no.
    QTreeWidgetItem *current = siteTree->current();
    const bool noSite = !current || current == siteTree->root();
    if (paths.isEmpty() || noSite || !ui.ListView1->acceptDrops()) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (event->type() == QEvent::Drop)
        fileCommands->uploadDropped(paths);
    return true;
}

void TForm1::Options1Click()
{
    TransferSettings settings(*Reg);
    if (formOptions->edit(settings))
        emit settingsChanged();
}
