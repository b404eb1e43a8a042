// The window as a desktop citizen: ftp:// addresses handed in at start or by
// a later start, notifications while it is in the background, and "Show in
// Folder" for the last download.
#include "app/AppInfo.h"
#include "app/TForm1.h"

#include "explorer/CommandRules.h"
#include "explorer/FileCommands.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "explorer/SiteTreeCommands.h"
#include "explorer/TFormConnect.h"
#include "explorer/TFormMessage.h"
#include "explorer/UrlSiteOpener.h"
#include "platform/DesktopNotifier.h"
#include "platform/FileManagerReveal.h"
#include "storage/TSiteRecord.h"
#include "transfers/TransferQueue.h"

#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

void TForm1::setUpDesktop()
{
    UrlSiteOpener::Services us;
    us.tree = siteTree;
    us.commands = siteCommands;
    us.listing = listingView;
    us.sites = &sites;
    us.options = &options;
    us.download = [this] { MenuDownloadClick(); };
    urlSites = new UrlSiteOpener(us, this);
    // Every end of an operation: an address waiting for it, or the next
    // folder of one being opened. Deferred, as the queue's next step is.
    connect(listingView, &ListingView::commandStateChanged, this,
        [this](const CommandState &state, CommandGroups groups) {
            if (groups.testFlag(CommandGroup::Busy) && !state.Stop)
                QTimer::singleShot(0, this, [this] {
                    if (!listingView->isBusy())
                        urlSites->operationEnded();
                });
        });
    notifier = new DesktopNotifier(AppInfo::kTitle, QStringLiteral(VREX_APP_ID), this);
    connect(notifier, &DesktopNotifier::activated, this, &TForm1::bringToFront);
    // Connected after the queue's own handler: a timer stopped by it has
    // just started the queue at the chosen time.
    connect(transferQueue->timer(), &QTimer::timeout, this, [this] {
        if (!transferQueue->timer()->isActive() && !transferQueue->isStopped())
            notifyInBackground(tr("The queue has started at the time you chose."));
    });
    QAction *save = ui.PopupMenu3->addAction(tr("Save to Site Book..."));
    save->setObjectName(QStringLiteral("SaveToSiteBook1"));
    connect(save, &QAction::triggered, this, &TForm1::saveToSiteBook);
    connect(ui.PopupMenu3, &QMenu::aboutToShow, this,
        [this, save] { save->setVisible(unsavedSiteOfSelection() != nullptr); });
    QAction *show = ui.PopupMenu4->addAction(tr("Show in &Folder"));
    show->setObjectName(QStringLiteral("ShowInFolder1"));
    connect(show, &QAction::triggered, this, &TForm1::showDownloadInFolder);
    connect(ui.PopupMenu4, &QMenu::aboutToShow, this,
        [this, show] { show->setEnabled(!lastDownload.isEmpty()); });
}

void TForm1::addShowInFolderToMessages()
{
    auto *button = new QPushButton(tr("Show in &Folder"), formMessage);
    button->setObjectName(QStringLiteral("ButtonShowInFolder"));
    button->setGeometry(8, 272, 120, 25);
    button->setAutoDefault(false);
    button->setEnabled(false);
    connect(button, &QPushButton::clicked, this, &TForm1::showDownloadInFolder);
}

void TForm1::openAtStart(const QString &url)
{
    startUrl = url;
}

// An address given at start goes before the last used site.
bool TForm1::openStartUrl()
{
    if (startUrl.isEmpty())
        return false;
    QTimer::singleShot(0, this, [this, url = std::exchange(startUrl, QString())] {
        if (!urlSites->open(url))
            siteTree->selectLastSite();
    });
    return true;
}

void TForm1::handOver(const QString &url)
{
    bringToFront();
    if (!url.isEmpty())
        urlSites->open(url);
}

void TForm1::bringToFront()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

TSiteRecord *TForm1::unsavedSiteOfSelection() const
{
    QTreeWidgetItem *node = siteTree->siteNodeOf(ui.TreeView1->currentItem());
    TSiteRecord *site = node ? sites.FindSite(node->text(0)) : nullptr;
    return site && site->Unsaved ? site : nullptr;
}

void TForm1::saveToSiteBook()
{
    TSiteRecord *site = unsavedSiteOfSelection();
    if (!site || !formConnect)
        return;
    // The dialog edits the selected site node.
    QTreeWidgetItem *node = siteTree->findSiteNode(site->Description);
    if (ui.TreeView1->currentItem() != node)
        ui.TreeView1->setCurrentItem(node);
    site->Unsaved = false; // the dialog's save writes it with the others
    formConnect->Edit1Click();
    if (formConnect->result() != QDialog::Accepted) {
        site->Unsaved = true;
        return;
    }
    if (QTreeWidgetItem *saved = siteTree->findSiteNode(site->Description))
        UrlSiteOpener::markNotSaved(saved, false);
}

// Called before the end of a transfer is handled: the queue's next step and
// its failure message may follow, and a message box waits for the user.
void TForm1::transferEnding(int error, bool fileArrived)
{
    const PendingAction action = dispatch.pendingAction();
    if (fileArrived && error == errNone && !dispatch.transfer.openAfter
        && (action == PendingAction::Download || action == PendingAction::GetNow)) {
        lastDownload = dispatch.transfer.target;
        if (auto *button = formMessage
                ? formMessage->findChild<QPushButton *>(QStringLiteral("ButtonShowInFolder"))
                : nullptr)
            button->setEnabled(true);
    }
    if (!isQueueTransfer(action))
        return;
    if (error != errNone)
        notifyInBackground(tr("The queue has stopped: a transfer did not complete."));
    else if (transferQueue->isStopped())
        notifyInBackground(tr("The queue has stopped."));
    else if (transferQueue->waitingCount() == 0)
        notifyInBackground(tr("The queue has finished: every transfer is done."));
}

void TForm1::notifyInBackground(const QString &text)
{
    if (!isActiveWindow() || isMinimized())
        notifier->notify(AppInfo::kTitle, text);
}

void TForm1::showDownloadInFolder()
{
    if (!lastDownload.isEmpty())
        FileManagerReveal::showItem(lastDownload);
}
