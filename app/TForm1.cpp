#include "app/TForm1.h"

#include "app/AppInfo.h"
#include "app/CommandStateView.h"
#include "app/MainMenu.h"
#include "app/TAboutBox.h"
#include "app/TFormOptions.h"
#include "app/ToolBarPanel.h"
#include "app/VrexApplication.h"
#include "app/WindowMemory.h"
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
#include "platform/HelpViewer.h"
#include "platform/IconList.h"
#include "platform/Prompts.h"
#include "platform/TempFolder.h"
#include "platform/UrlOpener.h"
#include "sftp/SftpProtocol.h"
#include "storage/TRegFile.h"
#include "transfers/FolderProgress.h"
#include "transfers/QueueRules.h"
#include "transfers/TFormGetFile.h"
#include "transfers/TFormNewer.h"
#include "transfers/TFormStartQueue.h"
#include "transfers/TransferProgress.h"
#include "transfers/TransferQueue.h"
#include "transfers/QueueSaver.h"
#include "transfers/WatchList.h"
#include "widgets/DragBar.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"
#include "widgets/TwoWaySplitter.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>

namespace {

const QString kSettingsKey = QStringLiteral("SOFTWARE\\Orvane\\Vrex Explorer");
const QUrl kWebTourUrl(QStringLiteral("https://www.orvane.example/vrex/tour/"));
const QUrl kHomePageUrl(QStringLiteral("https://www.orvane.example/"));

} // namespace

TForm1::TForm1(QWidget *parent)
    : QMainWindow(parent), ui(this), Reg(std::make_unique<TRegFile>()),
      helpViewer(std::make_unique<HelpViewer>()),
      certificateTrust(std::make_unique<CertificateTrust>()),
      hostKeyTrust(std::make_unique<HostKeyTrust>()), WinInetFTP1(new TWinInetFTP(this))
{
    SftpSettings sftp;
    sftp.sshDirectory = QFile::encodeName(QDir::homePath() + QStringLiteral("/.ssh")).toStdString();
    sftp.trustedKeysFile = QFile::encodeName(hostKeyTrust->trustedKeysFile()).toStdString();
    registerSftpProtocol(sftp);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(AppInfo::kTitle);
    resize(720, 425);
    Reg->setKey(kSettingsKey);

    TransferQueue::Controls queueControls;
    queueControls.list = ui.ListView3;
    queueControls.speedQueue = ui.PanelTools->button(ToolBarPanel::Queue);
    queueControls.explorerQueue = ui.PanelExplorerTools->button(ToolBarPanel::Queue);
    queueControls.stopQueue1 = ui.PopupMenu4->findChild<QAction *>(QStringLiteral("StopQueue1"));
    queueControls.removeFromQueue1
        = ui.PopupMenu4->findChild<QAction *>(QStringLiteral("RemovefromQueue1"));
    queueControls.retry = ui.PopupMenu4->findChild<QAction *>(QStringLiteral("RetryQueueItem1"));
    queueControls.popupMenu = ui.PopupMenu4;
    queueControls.queue1 = ui.menu->Queue1;
    queueControls.statusBar = ui.StatusBar1;
    transferQueue = new TransferQueue(queueControls, this);
    transferProgress
        = new TransferProgress({ ui.PanelTransfer, ui.menu->TransferProgress1, ui.TabSet1 }, this);

    statusTimer = new QTimer(this);
    statusTimer->setSingleShot(true);
    statusTimer->setInterval(50);
    connect(statusTimer, &QTimer::timeout, this, [this] { showStatus(pendingStatus); });
    createSubsystems();
    connectCommands();
    setUpComfort();
    setUpDesktop();
    FormCreate();
    memory->restore();
}

TForm1::~TForm1() = default;

QTreeWidgetItem *TForm1::root() const
{
    return siteTree->root();
}

void TForm1::createSubsystems()
{
    listingView = new ListingView(ui.listingControls(), this);
    new CommandStateView(ui, *listingView, this);
    SiteTree::Controls tc;
    tc.tree = ui.TreeView1;
    tc.map = ui.TreeView2;
    tc.combo = ui.PanelTools->combo();
    tc.combo2 = ui.PanelExplorerTools->combo();
    tc.panelFiles = ui.PanelFiles;
    tc.tabs = ui.TabSet1;
    tc.upOne = ui.PanelTools->button(ToolBarPanel::UpOne);
    tc.upOne2 = ui.PanelExplorerTools->button(ToolBarPanel::UpOne);
    tc.dropTarget = ui.ListView1;
    SiteTree::Services ts;
    ts.ftp = WinInetFTP1;
    ts.listing = listingView;
    ts.actions = &dispatch;
    ts.sites = &sites;
    ts.options = &options;
    ts.settings = Reg.get();
    ts.showStatus = [this](int code) { showStatus(code); };
    siteTree = new SiteTree(tc, ts, this);
    siteCommands = new SiteTreeCommands(
        *siteTree, *listingView, dispatch, *WinInetFTP1, sites, options, this);
    siteCommands->afterReload = [this] {
        showStatus(70);
        listingView->setViewStyle(TViewStyle::vsReport);
    };
    fileOps = new FileOperations(
        { ui.TreeView1, ui.PopupMenu3 }, *siteTree, *listingView, dispatch, *WinInetFTP1, this);
    listingView->setTreeFacts([this] { return treeFacts(); });
    createFileCommands();
    createWatchList();
    connect(listingView, &ListingView::deleteRequested, this, &TForm1::deleteKeyPressed);
    transferLanes = new TransferLanes(this);
    bindLanes();
    bindDispatch();
    bindQueue();
    bindCompletion();
    bindSessionEvents();
}

ListingView::TreeFacts TForm1::treeFacts() const
{
    ListingView::TreeFacts facts;
    QTreeWidgetItem *root = siteTree->root();
    QTreeWidgetItem *current = siteTree->current();
    QTreeWidgetItem *selected = ui.TreeView1->currentItem();
    QTreeWidgetItem *map = DirectoryMap::mapNodeOf(current);
    facts.hasSites = root && root->childCount() > 0;
    facts.hasCurrent = current != nullptr;
    facts.currentIsRoot = current && current == root;
    facts.currentIsSite = siteTree->isSiteNode(current);
    facts.currentHasMapNode = map != nullptr;
    facts.currentMapHasChildren = map && map->childCount() > 0;
    facts.hasSelectedNode = selected != nullptr;
    facts.selectedIsSite = siteTree->isSiteNode(selected);
    facts.selectedIsRoot = selected && selected == root;
    facts.hasConnectionHost = !siteTree->currentConnection().host.isEmpty();
    return facts;
}

void TForm1::createDialogs()
{
    formConnect = new TFormConnect(this);
    formMessage = new TFormMessage(this);
    aboutBox = new TAboutBox(this);
    formStartQueue = new TFormStartQueue(this);
    formNewer = new TFormNewer(this);
    formGetFile = new TFormGetFile(this);
    formOptions = new TFormOptions(this);
    dialogList = { formConnect, formMessage, aboutBox, formStartQueue, formNewer, formGetFile,
        formOptions };
    connect(ui.menu->Options1, &QAction::triggered, this, &TForm1::Options1Click);
    addShowInFolderToMessages();
    transferQueue->setStartDialog(formStartQueue);
    formNewer->setSettings(Reg.get());
    watchList->setNewerDialog(formNewer);
    formConnect->bind(siteTree, &sites, &options);
    // The watch list keeps times as the site listed them: they follow a
    // change of the site's clock, so download-if-newer compares like with like.
    formConnect->timeZoneChanged
        = [this](const QString &host, const QString &login, int from, int to) {
              watchList->moveSiteTimes(host, login, from - to);
          };
    bindQuickDownload();
    bindDispatch();
}

void TForm1::connectCommands()
{
    MainMenu *m = ui.menu;
    connect(m->Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connect(m->About1, &QAction::triggered, this, &TForm1::About1Click);
    connect(m->Contents1, &QAction::triggered, this, &TForm1::Contents1Click);
    connect(m->LastMessage1, &QAction::triggered, this, &TForm1::LastMessage1Click);
    connect(m->WebTour1, &QAction::triggered, this, [this] { openWebPage(kWebTourUrl); });
    connect(m->HomePage1, &QAction::triggered, this, [this] { openWebPage(kHomePageUrl); });
    connect(
        m->ExplorerStyleButtons1, &QAction::triggered, this, &TForm1::ExplorerStyleButtons1Click);
    connect(m->Queue1, &QAction::triggered, this, &TForm1::SpeedQueueClick);
    connect(ui.PopupMenu4->findChild<QAction *>(QStringLiteral("StopQueue1")), &QAction::triggered,
        this, &TForm1::SpeedQueueClick);
    connect(m->TransferProgress1, &QAction::triggered, this, [this, m] {
        // The item's check follows the panel, not the click.
        m->TransferProgress1->setChecked(!m->TransferProgress1->isChecked());
        transferProgress->TransferProgress1Click(transferQueue->waitingCount(),
            transferQueue->count(), dispatch.pendingAction() != PendingAction::None);
    });
    connect(ui.TabSet1, &QTabBar::currentChanged, this, [this](int tab) {
        bool allow = true;
        TabSet1Change(tab, allow);
        TabSet1Click();
    });
    connectToolBar(ui.PanelTools);
    connectToolBar(ui.PanelExplorerTools);
    connectSiteCommands();
    connectFileCommands();
    connectFileOperations();
    connectWatchCommands();
}

void TForm1::connectFileOperations()
{
    auto popupItem = [](QMenu *menu, const char *name) {
        return menu->findChild<QAction *>(QLatin1String(name));
    };
    for (QAction *item : { ui.menu->CreateDirectory1, popupItem(ui.PopupMenu3, "CreateFolder2") })
        connect(item, &QAction::triggered, fileOps, &FileOperations::CreateDirectory1Click);
    for (QAction *item : { ui.menu->RenameFile1, popupItem(ui.PopupMenu1, "Rename1") })
        connect(item, &QAction::triggered, fileOps, &FileOperations::RenameFile1Click);
    connect(popupItem(ui.PopupMenu1, "DeleteFile1"), &QAction::triggered, fileOps,
        &FileOperations::DeleteFile1Click);
    connect(ui.PopupMenu3, &QMenu::aboutToShow, fileOps, &FileOperations::PopupMenu3Popup);
    // F2 renames, as in the desktop's own file manager.
    connect(listingView, &ListingView::renameRequested, fileOps, &FileOperations::RenameFile1Click);
}

// Delete while a name is typed belongs to the name.
void TForm1::deleteKeyPressed()
{
    if (!qobject_cast<QLineEdit *>(QApplication::focusWidget()))
        MenuDeleteClick();
}

void TForm1::connectSiteCommands()
{
    MainMenu *m = ui.menu;
    connect(m->New1, &QAction::triggered, this, [this] {
        if (formConnect)
            formConnect->New1Click();
    });
    connect(m->Edit1, &QAction::triggered, this, &TForm1::Edit1Click);
    connect(m->Files1, &QAction::triggered, siteCommands, &SiteTreeCommands::Refresh1Click);
    connect(m->All1, &QAction::triggered, siteCommands, &SiteTreeCommands::RefreshAll1Click);
    connect(
        m->DownloadSite1, &QAction::triggered, siteCommands, &SiteTreeCommands::DownloadSite1Click);
    connect(m->MenuDelete, &QAction::triggered, this, &TForm1::MenuDeleteClick);
    connect(m->Site1, &QMenu::aboutToShow, this, [this] {
        QTreeWidgetItem *selected = ui.TreeView1->currentItem();
        ui.menu->DownloadSite1->setEnabled(selected && selected != siteTree->root());
    });
    connect(ui.TreeView1, &QTreeWidget::currentItemChanged, siteTree, &SiteTree::TreeView1Change);
    connect(ui.TreeView1, &QTreeWidget::itemClicked, siteTree, &SiteTree::openSelectedNode);
    connect(ui.TreeView1, &QTreeWidget::itemDoubleClicked, siteTree, &SiteTree::openSelectedNode);
    connect(ui.TreeView1, &QTreeWidget::itemExpanded, this, [](QTreeWidgetItem *node) {
        if (node->parent() && node->parent()->parent())
            node->setIcon(0, IconList::instance().icon(IconList::instance().folderIndex(true)));
    });
    connect(ui.TreeView1, &QTreeWidget::itemCollapsed, this, [](QTreeWidgetItem *node) {
        if (node->parent() && node->parent()->parent())
            node->setIcon(0, IconList::instance().icon(IconList::instance().folderIndex(false)));
    });
    connect(ui.TreeView1, &QWidget::customContextMenuRequested, this,
        [this](const QPoint &pos) { ui.PopupMenu3->popup(ui.TreeView1->mapToGlobal(pos)); });
    ui.TreeView1->viewport()->installEventFilter(this);
    ui.TreeView1->installEventFilter(this);
    for (ToolBarPanel *bar : { ui.PanelTools, ui.PanelExplorerTools }) {
        connect(bar->combo(), &QComboBox::activated, this, [this, bar](int index) {
            siteCommands->ComboSiteChange(bar->combo()->currentText());
            for (ToolBarPanel *other : { ui.PanelTools, ui.PanelExplorerTools }) {
                const QSignalBlocker blocker(other->combo());
                other->combo()->setCurrentIndex(index);
            }
        });
        connect(bar->button(ToolBarPanel::UpOne), &QToolButton::clicked, siteCommands,
            &SiteTreeCommands::SpeedUpOneClick);
        connect(bar->button(ToolBarPanel::Edit), &QToolButton::clicked, this, &TForm1::Edit1Click);
        connect(bar->button(ToolBarPanel::Delete), &QToolButton::clicked, this,
            &TForm1::MenuDeleteClick);
    }
    connect(ui.PopupMenu3->findChild<QAction *>(QStringLiteral("Refresh2")), &QAction::triggered,
        siteCommands, &SiteTreeCommands::Refresh1Click);
    connect(ui.PopupMenu3->findChild<QAction *>(QStringLiteral("RefreshAll2")), &QAction::triggered,
        siteCommands, &SiteTreeCommands::RefreshAll1Click);
    connect(ui.PopupMenu3->findChild<QAction *>(QStringLiteral("ExpandAll1")), &QAction::triggered,
        siteCommands, &SiteTreeCommands::ExpandAll1Click);
    connect(ui.PopupMenu3->findChild<QAction *>(QStringLiteral("CollapseAll1")),
        &QAction::triggered, siteCommands, &SiteTreeCommands::CollapseAll1Click);
    connect(ui.PopupMenu3->findChild<QAction *>(QStringLiteral("Properties1")), &QAction::triggered,
        this, &TForm1::Edit1Click);
    connect(ui.PopupMenu3->findChild<QAction *>(QStringLiteral("Delete3")), &QAction::triggered,
        this, &TForm1::MenuDeleteClick);
    connect(ui.PopupMenu3->findChild<QAction *>(QStringLiteral("DownloadSite2")),
        &QAction::triggered, siteCommands, &SiteTreeCommands::DownloadSite1Click);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui.ListView1 && fileDropEvent(event))
        return true;
    if (watched == ui.TreeView1->viewport() && event->type() == QEvent::MouseButtonPress) {
        siteTree->TreeView1MouseDown(static_cast<QMouseEvent *>(event)->position().toPoint());
    } else if (watched == ui.TreeView1 && event->type() == QEvent::KeyRelease
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        deleteKeyPressed();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::Edit1Click()
{
    if (formConnect)
        formConnect->Edit1Click();
}

// A selected row goes before the tree, also for the tree's own menu item.
void TForm1::MenuDeleteClick()
{
    switch (ui.Notebook1->currentIndex()) {
    case 0:
        if (!listingView->selectedMapNodes().isEmpty())
            fileOps->DeleteFile1Click();
        else if (siteTree->isSiteNode(ui.TreeView1->currentItem()))
            siteCommands->deleteSite();
        else
            fileOps->deleteFolder(ui.TreeView1->currentItem());
        break;
    case 1:
        watchList->RemovefromWatchList1Click();
        break;
    case 2:
        transferQueue->RemovefromQueue1Click();
        break;
    }
}

void TForm1::connectToolBar(ToolBarPanel *bar)
{
    connect(bar->button(ToolBarPanel::Stop), &QToolButton::clicked, this, &TForm1::SpeedStopClick);
    connect(
        bar->button(ToolBarPanel::Queue), &QToolButton::clicked, this, &TForm1::SpeedQueueClick);
    connect(
        bar->button(ToolBarPanel::New), &QToolButton::clicked, ui.menu->New1, &QAction::trigger);
    connect(bar->dragBar(), &DragBar::pressed, this, &TForm1::Panel8MouseDown);
    connect(bar->dragBar(), &DragBar::moved, this, [this, bar](int x) { Panel8MouseMove(x, bar); });
    connect(bar->dragBar(), &DragBar::released, this, &TForm1::Panel8MouseUp);
}

void TForm1::FormCreate()
{
    ui.Notebook1->setCurrentIndex(0);
    ui.TabSet1->setCurrentIndex(0);
    resetWindowState();
    siteTree->addRoot();
    showStatus(70);
    listingView->setViewStyle(TViewStyle::vsReport);
    watchList->load();
    transferQueue->startQueue(false);
    restoreSavedQueue();
    ui.menu->ExplorerStyleButtons1->setChecked(false);
    try {
        ExplorerStyleButtons1Click();
    } catch (const std::exception &) {
        // The settings cannot be written: tell the user once, from the event
        // loop, and run on with what is in memory.
        TRegFile::keepUnwrittenChanges();
        VrexApplication::deferException(std::current_exception());
    }
}

void TForm1::resetWindowState()
{
    closing = false;
    dragging = false;
    dispatch.clearPendingAction();
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!shown) {
        shown = true;
        FormShow();
    }
}

void TForm1::FormShow()
{
    siteTree->loadSiteBook();
    if (!openStartUrl())
        siteTree->selectLastSite();
    transferQueue->queueStep(false);
}

void TForm1::TabSet1Change(int newTab, bool &allowChange)
{
    allowChange = true;
    if (ui.Notebook1->currentIndex() == newTab)
        return;
    ui.Notebook1->setCurrentIndex(newTab);
    listingView->showViewStyleOfPage(newTab);
    listingView->refreshPanels();
}

void TForm1::TabSet1Click()
{
    listingView->EventClick();
}

void TForm1::ExplorerStyleButtons1Click()
{
    QAction *item = ui.menu->ExplorerStyleButtons1;
    const bool toClassic = item->isChecked();
    ui.PanelExplorerTools->setVisible(!toClassic);
    ui.PanelTools->setVisible(toClassic);
    // The item says which bar shows, even when the setting cannot be written.
    item->setChecked(!toClassic);
    Reg->WriteValue(QStringLiteral("Buttons"),
        TaggedValue(toClassic ? QStringLiteral("Windows95") : QStringLiteral("Explorer")));
}

QComboBox *TForm1::visibleSiteCombo() const
{
    return ui.menu->ExplorerStyleButtons1->isChecked() ? ui.PanelExplorerTools->combo()
                                                       : ui.PanelTools->combo();
}

void TForm1::Panel8MouseDown()
{
    dragging = true;
}

void TForm1::Panel8MouseMove(int x, ToolBarPanel *bar)
{
    if (!dragging || bar->width() <= 0)
        return;
    // The widths of the bar being dragged: the hidden bar's may be stale.
    const int p = (x + bar->comboPanel()->width()) * 100 / bar->width() + 1;
    ui.PanelTools->splitter()->setPosition(p);
    ui.PanelExplorerTools->splitter()->setPosition(p);
}

void TForm1::Panel8MouseUp()
{
    dragging = false;
}

void TForm1::Contents1Click()
{
    helpViewer->showContents();
}

void TForm1::Exit1Click()
{
    close();
}

void TForm1::About1Click()
{
    if (aboutBox)
        aboutBox->exec();
}

void TForm1::LastMessage1Click()
{
    if (formMessage)
        formMessage->exec();
}

void TForm1::showStatus(int code)
{
    statusTimer->stop();
    StatusTexts::show(ui.StatusBar1, code);
    showEncryption();
}

void TForm1::showHeldStatus()
{
    if (statusTimer->isActive())
        showStatus(pendingStatus);
}

void TForm1::showEncryption()
{
    StatusTexts::showEncryption(ui.StatusBar1, 4, WinInetFTP1->Connected(),
        WinInetFTP1->Encryption(), WinInetFTP1->DataEncrypted());
}

void TForm1::finishRunningOperations()
{
    // Every worker must have delivered its completion before anything it
    // reports to is freed.
    // A completion delivered meanwhile may still start an operation: that
    // one is cancelled too.
    transferLanes->stopAll();
    WinInetFTP1->Cancel();
    quint64 cancelled = WinInetFTP1->OperationId();
    QElapsedTimer waited;
    waited.start();
    while (!WinInetFTP1->NoWorkerAlive() && waited.elapsed() < 15000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (WinInetFTP1->OperationId() != cancelled) {
            WinInetFTP1->Cancel();
            cancelled = WinInetFTP1->OperationId();
        }
    }
}

void TForm1::SpeedStopClick()
{
    siteTree->siteDownloadFlag = false;
    siteTree->refreshFlag = false;
    siteTree->stopFlag = true;
    const PendingAction remembered = dispatch.pendingAction();
    if (isQueueTransfer(remembered))
        transferEnd.stopCommandCancels();
    // Every queue connection ends at once, whatever it waits for.
    const std::vector<uint64_t> stoppedItems = transferLanes->stopAll();
    WinInetFTP1->Cancel();
    showStatus(99);
    transferProgress->clearPanel();
    transferProgress->hidePanel(transferQueue->count(), false);
    listingView->setBusy(false);
    if (isQueueTransfer(remembered))
        transferQueue->afterStopCommand();
    else if (!stoppedItems.empty())
        transferQueue->afterStopCommand(stoppedItems);
    dispatch.clearPendingAction();
    siteTree->forgetConnection();
    // What waited for the stopped operation may start now (a stopped queue
    // starts nothing).
    QTimer::singleShot(0, transferQueue, [this] {
        if (!listingView->isBusy())
            transferQueue->queueStep(false);
    });
}

void TForm1::SpeedQueueClick()
{
    transferQueue->StopQueue1Click();
}

void TForm1::setUpComfort()
{
    memory = std::make_unique<WindowMemory>(*Reg, *this, ui, *listingView);
    fitColumnsAndSize();
    connectComfortKeys();
    connect(listingView, &ListingView::openRequested, this, &TForm1::openSelectedRow);
    // Sites are the children of the one top-level node.
    auto sitesChanged = [this](const QModelIndex &parent) {
        if (parent.isValid() && !parent.parent().isValid())
            listingView->showEmptySiteBookHint();
    };
    QAbstractItemModel *treeModel = ui.TreeView1->model();
    connect(treeModel, &QAbstractItemModel::rowsInserted, this, sitesChanged);
    connect(treeModel, &QAbstractItemModel::rowsRemoved, this, sitesChanged);
    listingView->showEmptySiteBookHint();
}

// The least size at which the tool bar's buttons (at the bar's default
// splitter position), the tabs and the four status panels all show.
void TForm1::fitColumnsAndSize()
{
    for (const QString &size : { RowTexts::formatSize(5e9), QStringLiteral("5,000,000,000") }) {
        ui.ListView1->widenColumnToFit(1, size);
        ui.ListView2->widenColumnToFit(2, size);
        ui.ListView3->widenColumnToFit(2, size);
    }
    // The watch list's statuses show whole.
    for (const QString &status : { QStringLiteral("Downloaded"), QStringLiteral("Up to Date") })
        ui.ListView2->widenColumnToFit(1, status);
    ToolBarPanel *bar = ui.PanelExplorerTools;
    const int buttons = bar->button(ToolBarPanel::Details)->geometry().right() + 4;
    const int toolBar = buttons * 100 / (100 - bar->splitter()->position()) + 2 * bar->frameWidth();
    fitStatusPanels();
    const int width = std::max(
        { toolBar, ui.StatusBar1->minimumSizeHint().width(), ui.TabSet1->sizeHint().width() });
    setMinimumSize(width, std::max(minimumSizeHint().height(), 300));
}

// The panels are as wide as the longest text each can show (the status
// texts keep their room).
void TForm1::fitStatusPanels()
{
    StatusPanels *bar = ui.StatusBar1;
    bar->fitPanelTo(1, { QStringLiteral("Objects: 100000") });
    bar->fitPanelTo(2, { QStringLiteral("Size: ") + RowTexts::formatSize(5e9) });
    bar->fitPanelTo(3, QueueRules::panelTexts());
    bar->fitPanelTo(4, { QStringLiteral("Not encrypted"), QStringLiteral("Encrypted") });
    if (bar->layout())
        bar->layout()->activate();
}

void TForm1::connectComfortKeys()
{
    auto upOneLevel = [this] {
        if (ui.PanelExplorerTools->button(ToolBarPanel::UpOne)->isEnabled())
            siteCommands->SpeedUpOneClick();
    };
    for (const QKeySequence &key :
        { QKeySequence(Qt::Key_Backspace), QKeySequence(Qt::ALT | Qt::Key_Up) })
        connect(new QShortcut(key, this), &QShortcut::activated, this, upOneLevel);
}

// Enter on a row does what a double-click does.
void TForm1::openSelectedRow()
{
    fileCommands->openOrDownloadRow();
}

void TForm1::openWebPage(const QUrl &url)
{
    if (!UrlOpener::open(url))
        Prompts::error(
            tr("No web browser could be started. The address is:\n\n%1").arg(url.toString()));
}
