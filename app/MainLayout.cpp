#include "app/MainLayout.h"

#include "app/MainMenu.h"
#include "app/ToolBarPanel.h"
#include "transfers/TransferQueue.h"
#include "widgets/DialogParts.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"
#include "widgets/TwoWaySplitter.h"

#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

namespace {

using DialogParts::named;

QLabel *headerPanel(const char *name, const QString &caption)
{
    auto *panel = named(new QLabel(caption), name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setMinimumHeight(20);
    return panel;
}

QWidget *column(std::initializer_list<QWidget *> widgets)
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QWidget *w : widgets)
        layout->addWidget(w);
    return box;
}

} // namespace

ListingView::Controls MainLayout::listingControls() const
{
    ListingView::Controls c;
    c.list = ListView1;
    c.watchList = ListView2;
    c.queueList = ListView3;
    c.pages = Notebook1;
    c.statusBar = StatusBar1;
    c.popupMenu = PopupMenu1;
    return c;
}

MainLayout::MainLayout(QMainWindow *window)
{
    menu = new MainMenu(window->menuBar());
    auto *central = new QWidget(window);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Bevel1 = named(new QFrame(central), "Bevel1");
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Bevel1->setFixedHeight(2);
    layout->addWidget(Bevel1);
    layout->addWidget(buildToolBars(central));

    Notebook1 = named(new QStackedWidget(central), "Notebook1");
    Notebook1->addWidget(buildSitePage());
    Notebook1->addWidget(buildWatchPage());
    Notebook1->addWidget(buildQueuePage());
    layout->addWidget(Notebook1, 1);

    TabSet1 = named(new QTabBar(central), "TabSet1");
    TabSet1->setShape(QTabBar::RoundedSouth);
    TabSet1->setDrawBase(false);
    TabSet1->setExpanding(false);
    TabSet1->addTab(QObject::tr("FTP Site"));
    TabSet1->addTab(QObject::tr("File Watch List"));
    TabSet1->addTab(QObject::tr("Download && Send Queue"));
    layout->addWidget(TabSet1);

    window->setCentralWidget(central);
    buildStatusBar(window);
    buildPopupMenus(window);
}

QWidget *MainLayout::buildToolBars(QWidget *parent)
{
    auto *holder = new QWidget(parent);
    auto *layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    PanelTools = new ToolBarPanel(ToolBarPanel::Style::Classic, holder);
    PanelExplorerTools = new ToolBarPanel(ToolBarPanel::Style::Explorer, holder);
    PanelTools->setFrameStyle(QFrame::Panel | QFrame::Raised);
    layout->addWidget(PanelTools);
    layout->addWidget(PanelExplorerTools);
    PanelTools->hide();
    return holder;
}

QWidget *MainLayout::buildSitePage()
{
    TwoWaySplitter1 = named(new TwoWaySplitter, "TwoWaySplitter1");
    TwoWaySplitter1->setBarWidth(2);

    PanelTree = headerPanel("PanelTree", QObject::tr("  All FTP Sites:"));
    TreeView1 = named(new QTreeWidget, "TreeView1");
    TreeView1->setHeaderHidden(true);
    // Names are never cut: the column is as wide as they are, and scrolls;
    // a small indent leaves a site's name the room of its pane.
    TreeView1->setIndentation(12);
    TreeView1->header()->setStretchLastSection(false);
    TreeView1->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    TreeView2 = named(new QTreeWidget, "TreeView2");
    TreeView2->setHeaderHidden(true);
    TreeView2->hide();
    PanelTransfer = named(new QFrame, "PanelTransfer");
    PanelTransfer->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PanelTransfer->hide();
    TwoWaySplitter1->addWidget(column({ PanelTree, TreeView1, TreeView2, PanelTransfer }));

    PanelFiles = headerPanel("PanelFiles", QString());
    ListView1 = named(new TListView, "ListView1");
    ListView1->addColumn(QObject::tr("Name"), 150);
    ListView1->addColumn(QObject::tr("Size"), 75, Qt::AlignRight);
    ListView1->addColumn(QObject::tr("Type"), 100);
    ListView1->addColumn(QObject::tr("Modified"), 125);
    ListView1->setMultiSelect(true);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    TwoWaySplitter1->addWidget(column({ PanelFiles, ListView1 }));
    TwoWaySplitter1->setPosition(35);
    return TwoWaySplitter1;
}

QWidget *MainLayout::buildWatchPage()
{
    ListView2 = named(new TListView, "ListView2");
    ListView2->addColumn(QObject::tr("Name"), 200);
    ListView2->addColumn(QObject::tr("Status"), 75);
    ListView2->addColumn(QObject::tr("Size"), 75, Qt::AlignRight);
    ListView2->addColumn(QObject::tr("Type"), 100);
    ListView2->addColumn(QObject::tr("Modified"), 125);
    ListView2->addColumn(QObject::tr("Site Name"), 150);
    ListView2->addColumn(QObject::tr("Login"), 100);
    ListView2->addColumn(QObject::tr("Password"), 100);
    ListView2->addColumn(QString(), 50);
    ListView2->addColumn(QString(), 50);
    ListView2->setMultiSelect(true);
    ListView2->setContextMenuPolicy(Qt::CustomContextMenu);
    return ListView2;
}

QWidget *MainLayout::buildQueuePage()
{
    ListView3 = named(new TListView, "ListView3");
    TransferQueue::addColumns(ListView3);
    ListView3->setMultiSelect(true);
    ListView3->setContextMenuPolicy(Qt::CustomContextMenu);
    return ListView3;
}

void MainLayout::buildStatusBar(QMainWindow *window)
{
    StatusBar1 = new StatusPanels(window);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->addPanel(QObject::tr("Status:"), 200);
    StatusBar1->addPanel(QObject::tr("Objects:"), 110);
    StatusBar1->addPanel(QObject::tr("Size:"), 145);
    StatusBar1->addPanel(QObject::tr("Queue:"), 100);
    // Whether the connection is encrypted; empty while none is open.
    StatusBar1->addPanel(QString(), 120);
    window->setStatusBar(StatusBar1);
}

void MainLayout::buildPopupMenus(QMainWindow *window)
{
    // Their items come with the commands that fill them.
    PopupMenu1 = named(new QMenu(window), "PopupMenu1");
    PopupMenu2 = named(new QMenu(window), "PopupMenu2");
    PopupMenu3 = named(new QMenu(window), "PopupMenu3");
    auto item = [](QMenu *menu, const char *name, const QString &caption) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    // The file list's items are enabled by the selection as the menu opens.
    auto fileItem = [&](const char *name, const QString &caption) {
        QAction *action = item(PopupMenu1, name, caption);
        action->setEnabled(false);
        return action;
    };
    fileItem("Open1", QObject::tr("&Open..."));
    fileItem("Download1", QObject::tr("&Download..."));
    PopupMenu1->addSeparator();
    // F2 itself is the list's key; the item only shows it.
    QAction *rename = fileItem("Rename1", QObject::tr("&Rename"));
    rename->setShortcut(Qt::Key_F2);
    rename->setShortcutContext(Qt::WidgetShortcut);
    fileItem("DeleteFile1", QObject::tr("D&elete"));
    PopupMenu1->addSeparator();
    fileItem("AddtoWatchList1", QObject::tr("&Add to Watch List"));
    for (const auto &[name, caption] : { std::pair { "Open2", QObject::tr("&Open...") },
             { "DownloadNow1", QObject::tr("&Download") },
             { "DownloadifChanged1", QObject::tr("Download if &Newer") } })
        item(PopupMenu2, name, caption)->setEnabled(false);
    PopupMenu2->addSeparator();
    item(PopupMenu2, "RemovefromWatchList1", QObject::tr("&Remove from Watch List"))
        ->setEnabled(false);
    item(PopupMenu3, "CreateFolder2", QObject::tr("Create &Folder"));
    item(PopupMenu3, "Delete3", QObject::tr("D&elete"));
    PopupMenu3->addSeparator();
    item(PopupMenu3, "Upload2", QObject::tr("&Upload..."));
    item(PopupMenu3, "SendFolder2", QObject::tr("Send &Folder..."));
    item(PopupMenu3, "DownloadFolder2", QObject::tr("&Download..."));
    QMenu *refresh = PopupMenu3->addMenu(QObject::tr("&Refresh"));
    refresh->setObjectName(QStringLiteral("Refresh3"));
    item(refresh, "Refresh2", QObject::tr("&Files"));
    item(refresh, "RefreshAll2", QObject::tr("&All"));
    item(PopupMenu3, "DownloadSite2", QObject::tr("Download &Site..."))->setVisible(false);
    PopupMenu3->addSeparator();
    item(PopupMenu3, "ExpandAll1", QObject::tr("&Expand All"));
    item(PopupMenu3, "CollapseAll1", QObject::tr("&Collapse All"));
    PopupMenu3->addSeparator();
    item(PopupMenu3, "Properties1", QObject::tr("&Properties..."));
    PopupMenu4 = named(new QMenu(window), "PopupMenu4");
    QAction *remove = PopupMenu4->addAction(QObject::tr("&Remove from Queue"));
    remove->setObjectName(QStringLiteral("RemovefromQueue1"));
    // A failed row waits again.
    PopupMenu4->addAction(QObject::tr("Re&try"))->setObjectName(QStringLiteral("RetryQueueItem1"));
    PopupMenu4->addSeparator();
    PopupMenu4->addAction(QObject::tr("&Stop Queue"))->setObjectName(QStringLiteral("StopQueue1"));
}
