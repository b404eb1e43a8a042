#include "app/TForm1.h"

#include "app/AppInfo.h"
#include "app/MainMenu.h"
#include "app/TAboutBox.h"
#include "app/ToolBarPanel.h"
#include "explorer/StatusTexts.h"
#include "explorer/TFormConnect.h"
#include "explorer/TFormMessage.h"
#include "platform/HelpViewer.h"
#include "platform/IconList.h"
#include "platform/Prompts.h"
#include "platform/TempFolder.h"
#include "storage/TRegFile.h"
#include "transfers/TFormGetFile.h"
#include "transfers/TFormNewer.h"
#include "transfers/TFormStartQueue.h"
#include "transfers/TransferQueue.h"
#include "widgets/DragBar.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"
#include "widgets/TwoWaySplitter.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QMenu>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTabBar>
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
      helpViewer(std::make_unique<HelpViewer>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(AppInfo::kTitle);
    resize(720, 425);
    Reg->setKey(kSettingsKey);

    TransferQueue::Controls queueControls;
    queueControls.list = ui.ListView3;
    queueControls.speedQueue = ui.PanelTools->button(ToolBarPanel::Queue);
    queueControls.explorerQueue = ui.PanelExplorerTools->button(ToolBarPanel::Queue);
    queueControls.stopQueue1 = ui.PopupMenu4->findChild<QAction *>(QStringLiteral("StopQueue1"));
    queueControls.queue1 = ui.menu->Queue1;
    queueControls.statusBar = ui.StatusBar1;
    transferQueue = new TransferQueue(queueControls, dispatch, this);

    connectCommands();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::createDialogs()
{
    formConnect = new TFormConnect(this);
    formMessage = new TFormMessage(this);
    aboutBox = new TAboutBox(this);
    formStartQueue = new TFormStartQueue(this);
    formNewer = new TFormNewer(this);
    formGetFile = new TFormGetFile(this);
    dialogList = {formConnect, formMessage, aboutBox, formStartQueue, formNewer, formGetFile};
}

void TForm1::connectCommands()
{
    MainMenu *m = ui.menu;
    connect(m->Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connect(m->About1, &QAction::triggered, this, &TForm1::About1Click);
    connect(m->Contents1, &QAction::triggered, this, &TForm1::Contents1Click);
    connect(m->LastMessage1, &QAction::triggered, this, &TForm1::LastMessage1Click);
    connect(m->WebTour1, &QAction::triggered, this, [] { QDesktopServices::openUrl(kWebTourUrl); });
    connect(m->HomePage1, &QAction::triggered, this, [] { QDesktopServices::openUrl(kHomePageUrl); });
    connect(m->ExplorerStyleButtons1, &QAction::triggered, this,
            &TForm1::ExplorerStyleButtons1Click);
    connect(m->Queue1, &QAction::triggered, this, &TForm1::SpeedQueueClick);
    connect(m->LargeIcons1, &QAction::triggered, this, [this] { setViewStyle(TViewStyle::vsIcon); });
    connect(m->SmallIcons1, &QAction::triggered, this,
            [this] { setViewStyle(TViewStyle::vsSmallIcon); });
    connect(m->List1, &QAction::triggered, this, [this] { setViewStyle(TViewStyle::vsList); });
    connect(m->Details1, &QAction::triggered, this, [this] { setViewStyle(TViewStyle::vsReport); });
    connect(ui.PopupMenu4->findChild<QAction *>(QStringLiteral("StopQueue1")), &QAction::triggered,
            this, &TForm1::SpeedQueueClick);
    connect(ui.TabSet1, &QTabBar::currentChanged, this, [this](int tab) {
        bool allow = true;
        TabSet1Change(tab, allow);
        TabSet1Click();
    });
    connectToolBar(ui.PanelTools);
    connectToolBar(ui.PanelExplorerTools);
}

void TForm1::connectToolBar(ToolBarPanel *bar)
{
    connect(bar->button(ToolBarPanel::Stop), &QToolButton::clicked, this, &TForm1::SpeedStopClick);
    connect(bar->button(ToolBarPanel::Queue), &QToolButton::clicked, this,
            &TForm1::SpeedQueueClick);
    connect(bar->button(ToolBarPanel::New), &QToolButton::clicked, ui.menu->New1,
            &QAction::trigger);
    connect(bar->viewStyleGroup(), &QButtonGroup::idClicked, this,
            [this](int id) { setViewStyle(TViewStyle(id)); });
    connect(bar->dragBar(), &DragBar::pressed, this, &TForm1::Panel8MouseDown);
    connect(bar->dragBar(), &DragBar::moved, this, [this, bar](int x) { Panel8MouseMove(x, bar); });
    connect(bar->dragBar(), &DragBar::released, this, &TForm1::Panel8MouseUp);
}

void TForm1::FormCreate()
{
    ui.Notebook1->setCurrentIndex(0);
    ui.TabSet1->setCurrentIndex(0);
    resetWindowState();
    rootNode = new QTreeWidgetItem(ui.TreeView1, {tr("My FTP Sites")});
    rootNode->setIcon(0, IconList::instance().icon(IconList::instance().programIndex()));
    showStatus(70);
    ui.ListView1->setViewStyle(TViewStyle::vsReport);
    transferQueue->startQueue(false);
    ui.menu->ExplorerStyleButtons1->setChecked(false);
    ExplorerStyleButtons1Click();
}

void TForm1::resetWindowState()
{
    rootNode = nullptr;
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
    loadSiteBook();
    selectLastSite();
    transferQueue->queueStep(false);
}

void TForm1::loadSiteBook()
{
    QStringList descriptions;
    const SiteBook::LoadResult result = sites.LoadSiteBook([&](TSiteRecord &site) {
        descriptions << site.Description;
        auto *node = new QTreeWidgetItem(rootNode, {site.Description});
        node->setIcon(0, IconList::instance().icon(IconList::instance().siteIndex()));
    });
    if (result.status == SiteBook::LoadStatus::Invalid)
        Prompts::error(SiteBook::kInvalidMessage);
    std::sort(descriptions.begin(), descriptions.end(), [](const QString &a, const QString &b) {
        return QString::localeAwareCompare(a.toLower(), b.toLower()) < 0;
    });
    for (QComboBox *combo : {ui.PanelTools->combo(), ui.PanelExplorerTools->combo()}) {
        combo->clear();
        combo->addItems(descriptions);
    }
    rootNode->sortChildren(0, Qt::AscendingOrder);
    rootNode->setExpanded(true);
}

void TForm1::selectLastSite()
{
    TaggedValue value;
    Reg->ReadValueDef(QStringLiteral("LastSite"), TaggedValue(QString()), value);
    const QString lastSite = value.toString();
    for (QComboBox *combo : {ui.PanelTools->combo(), ui.PanelExplorerTools->combo()}) {
        const int exact = combo->findText(lastSite, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (exact >= 0)
            combo->setCurrentIndex(exact);
        else if (combo->count() > 0)
            combo->setCurrentIndex(0);
    }
    const QString wanted = ui.PanelTools->combo()->currentText().trimmed();
    if (!rootNode || wanted.isEmpty())
        return;
    for (int i = 0; i < rootNode->childCount(); ++i) {
        QTreeWidgetItem *site = rootNode->child(i);
        if (site->text(0).trimmed().compare(wanted, Qt::CaseInsensitive) == 0) {
            ui.TreeView1->setCurrentItem(site);
            return;
        }
    }
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (closing || FormCloseQuery()) {
        if (!closing)
            FormClose();
        event->accept();
    } else {
        event->ignore();
    }
}

bool TForm1::FormCloseQuery()
{
    if (transferQueue->firstWaitingRow() >= 0
        && !Prompts::askYesNo(tr("There are still files waiting in the queue.  "
                                 "Are you sure you want to exit?")))
        return false;
    if (dispatch.queueTransferRunning()) {
        if (!Prompts::askYesNo(tr("A file transfer is in progress.  "
                                  "Are you sure you want to exit?")))
            return false;
        SpeedStopClick();
    }
    return true;
}

void TForm1::FormClose()
{
    setWindowTitle(QStringLiteral("Vrex-Closing..."));
    hide();
    closing = true;
    TempFolder::clean();
    helpViewer->quit();
}

void TForm1::TabSet1Change(int newTab, bool &allowChange)
{
    allowChange = true;
    if (ui.Notebook1->currentIndex() == newTab)
        return;
    ui.Notebook1->setCurrentIndex(newTab);
    showViewStyleOf(newTab);
}

void TForm1::TabSet1Click()
{
    // The command-state refresh comes with the file list's commands.
}

TListView *TForm1::listOfPage(int page) const
{
    switch (page) {
    case 1: return ui.ListView2;
    case 2: return ui.ListView3;
    default: return ui.ListView1;
    }
}

void TForm1::setViewStyle(TViewStyle style)
{
    listOfPage(ui.Notebook1->currentIndex())->setViewStyle(style);
    showViewStyleOf(ui.Notebook1->currentIndex());
}

void TForm1::showViewStyleOf(int page)
{
    const TViewStyle style = listOfPage(page)->viewStyle();
    const int id = int(style);
    for (ToolBarPanel *bar : {ui.PanelTools, ui.PanelExplorerTools})
        bar->viewStyleGroup()->button(id)->setChecked(true);
    QAction *items[] = {ui.menu->LargeIcons1, ui.menu->SmallIcons1, ui.menu->List1,
                        ui.menu->Details1};
    items[id]->setChecked(true);
}

void TForm1::ExplorerStyleButtons1Click()
{
    QAction *item = ui.menu->ExplorerStyleButtons1;
    const bool toClassic = item->isChecked();
    ui.PanelExplorerTools->setVisible(!toClassic);
    ui.PanelTools->setVisible(toClassic);
    Reg->WriteValue(QStringLiteral("Buttons"),
                    TaggedValue(toClassic ? QStringLiteral("Windows95")
                                          : QStringLiteral("Explorer")));
    item->setChecked(!toClassic);
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
    StatusTexts::show(ui.StatusBar1, code);
}

void TForm1::SpeedStopClick()
{
    const QString remembered = dispatch.pendingAction();
    showStatus(99);
    if (remembered.contains(QLatin1String("Send"))
        || remembered.contains(QLatin1String("Download"))) {
        transferQueue->stopQueue();
        int running = -1;
        for (int row = 0; row < ui.ListView3->rowCount() && running < 0; ++row)
            if (transferQueue->statusOfRow(row) == QLatin1String("In Progress"))
                running = row;
        const bool remove = Prompts::askYesNo(tr("The queue has been stopped.  Do you want to "
                                                 "remove the current file from the queue?"));
        if (running >= 0) {
            if (remove)
                ui.ListView3->model()->removeRow(running);
            else
                ui.ListView3->model()->item(running, 1)->setText(QStringLiteral("Waiting"));
        }
    }
    dispatch.clearPendingAction();
}

void TForm1::SpeedQueueClick()
{
    if (transferQueue->isStopped())
        transferQueue->startQueue(true);
    else
        transferQueue->stopQueue();
}
