#include "app/MainMenu.h"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

namespace {

QMenu *addMenu(QMenuBar *bar, const char *name, const QString &caption)
{
    QMenu *menu = bar->addMenu(caption);
    menu->setObjectName(QLatin1String(name));
    menu->menuAction()->setObjectName(QLatin1String(name));
    return menu;
}

QAction *addItem(QMenu *menu, const char *name, const QString &caption,
    const QKeySequence &shortcut = {}, bool enabled = true)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    action->setEnabled(enabled);
    return action;
}

} // namespace

MainMenu::MainMenu(QMenuBar *bar) : QObject(bar)
{
    buildFile(bar);
    buildSite(bar);
    buildView(bar);
    buildHelp(bar);
}

void MainMenu::buildFile(QMenuBar *bar)
{
    File1 = addMenu(bar, "File1", tr("&File"));
    MenuOpen = addItem(File1, "MenuOpen", tr("&Open"));
    MenuDownload = addItem(File1, "MenuDownload", tr("&Download..."));
    MenuNewer = addItem(File1, "MenuNewer", tr("Download if &Newer..."));
    File1->addSeparator();
    MenuUpload = addItem(File1, "MenuUpload", tr("&Upload..."), {}, false);
    MenuSendFolder = addItem(File1, "MenuSendFolder", tr("Send &Folder..."), {}, false);
    File1->addSeparator();
    MenuDelete = addItem(File1, "MenuDelete", tr("De&lete"));
    RenameFile1 = addItem(File1, "RenameFile1", tr("&Rename"), Qt::Key_F2, false);
    // The key belongs to the file list, which renames its own row.
    RenameFile1->setShortcutContext(Qt::WidgetShortcut);
    CreateDirectory1 = addItem(File1, "CreateDirectory1", tr("&Create Folder"));
    File1->addSeparator();
    MenuAdd = addItem(File1, "MenuAdd", tr("Add to &Watch List..."));
    File1->addSeparator();
    Exit1 = addItem(File1, "Exit1", tr("E&xit"), QKeySequence(Qt::ALT | Qt::Key_F4));
}

void MainMenu::buildSite(QMenuBar *bar)
{
    Site1 = addMenu(bar, "Site1", tr("&Site"));
    New1 = addItem(Site1, "New1", tr("Ne&w..."), QKeySequence(Qt::CTRL | Qt::Key_N));
    Edit1 = addItem(Site1, "Edit1", tr("&Edit..."), {}, false);
    Delete2 = addItem(Site1, "Delete2", tr("&Delete"), {}, false);
    SiteSeparator = Site1->addSeparator();
    SiteSeparator->setVisible(false);
    DownloadSite1 = addItem(Site1, "DownloadSite1", tr("Download &Site Structure"), {}, false);
    DownloadSite1->setVisible(false);
    Site1->addSeparator();
    Queue1 = addItem(Site1, "Queue1", tr("Start &Queue"));
}

void MainMenu::buildView(QMenuBar *bar)
{
    View1 = addMenu(bar, "View1", tr("&View"));
    TransferProgress1 = addItem(View1, "TransferProgress1", tr("&Transfer Progress"));
    LastMessage1 = addItem(View1, "LastMessage1", tr("Last FTP Welcome &Message..."));
    View1->addSeparator();
    ViewStyleGroup = new QActionGroup(this);
    LargeIcons1 = addItem(View1, "LargeIcons1", tr("Lar&ge Icons"));
    SmallIcons1 = addItem(View1, "SmallIcons1", tr("S&mall Icons"));
    List1 = addItem(View1, "List1", tr("&List"));
    Details1 = addItem(View1, "Details1", tr("&Details"));
    for (QAction *a : { LargeIcons1, SmallIcons1, List1, Details1 }) {
        a->setCheckable(true);
        ViewStyleGroup->addAction(a);
    }
    Details1->setChecked(true);
    View1->addSeparator();
    Refresh1 = View1->addMenu(tr("&Refresh"));
    Refresh1->setObjectName(QStringLiteral("Refresh1"));
    Files1 = addItem(Refresh1, "Files1", tr("&Files"), QKeySequence(Qt::Key_F5), false);
    All1 = addItem(Refresh1, "All1", tr("&All"), {}, false);
    ExplorerStyleButtons1
        = addItem(View1, "ExplorerStyleButtons1", tr("Internet E&xplorer Style Buttons"));
    ExplorerStyleButtons1->setCheckable(true);
    ExplorerStyleButtons1->setChecked(true);
    ExplorerStyleButtons1->setVisible(false);
    View1->addSeparator();
    Options1 = addItem(View1, "Options1", tr("&Options..."));
}

void MainMenu::buildHelp(QMenuBar *bar)
{
    Help1 = addMenu(bar, "Help1", tr("&Help"));
    Contents1 = addItem(Help1, "Contents1", tr("&Contents..."), QKeySequence(Qt::Key_F1));
    WebTour1 = addItem(Help1, "WebTour1", tr("Web &Tour of Vrex Explorer..."));
    Help1->addSeparator();
    HomePage1 = addItem(Help1, "HomePage1", tr("Orvane on the &Web..."));
    Help1->addSeparator();
    About1 = addItem(Help1, "About1", tr("&About..."));
}
