#include "explorer/SiteTreeCommands.h"

#include "explorer/ActionRequests.h"
#include "explorer/DirectoryMap.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "ftp/WinInetFTP.h"
#include "platform/Prompts.h"
#include "storage/SiteBook.h"
#include "storage/SiteOptionsFile.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QTabBar>
#include <QThread>
#include <QTreeWidget>

using namespace DirectoryMap;

SiteTreeCommands::SiteTreeCommands(SiteTree &t, ListingView &l, ActionRequests &d, TWinInetFTP &f,
    SiteBook &s, SiteOptionsFile &o, QObject *parent)
    : QObject(parent), tree(t), listing(l), actions(d), ftp(f), sites(s), options(o)
{
}

void SiteTreeCommands::Refresh1Click()
{
    QTreeWidgetItem *current = tree.current();
    if (listing.isBusy())
        return;
    // A failed connect left nothing current, but the node the user opened
    // is still selected: refreshing it is trying it again.
    QTreeWidgetItem *selected = tree.ui.tree->currentItem();
    if (!current && selected && selected != tree.root()) {
        tree.itemHit = true;
        tree.openSelectedNode();
        return;
    }
    if (!current || current == tree.root())
        return;
    QTreeWidgetItem *m = mapNodeOf(current);
    if (!m)
        return;
    auto isFileOf = [m](QTreeWidgetItem *node) {
        return node->parent() == m && !(recordOf(node) && isDirectory(*recordOf(node)));
    };
    listing.removeRowsWhere(isFileOf);
    for (int i = m->childCount() - 1; i >= 0; --i)
        if (isFileOf(m->child(i)))
            delete m->child(i);
    tree.refreshFlag = true;
    actions.request(PendingAction::RefreshDir, tree.remotePathOf(m));
    tree.runRequest(current);
}

void SiteTreeCommands::RefreshAll1Click()
{
    if (listing.isBusy())
        return;
    tree.closing = true;
    sites.FreeSiteList();
    tree.clearTrees();
    listing.clear();
    tree.pool(PoolId::DirectoryMap).release();
    tree.closing = false;
    tree.forgetConnection();
    tree.siteDownloadFlag = false;
    tree.addRoot();
    tree.loadSiteBook();
    tree.selectLastSite();
    if (afterReload)
        afterReload();
}

void SiteTreeCommands::ExpandAll1Click()
{
    if (tree.root())
        tree.ui.tree->expandAll();
}

void SiteTreeCommands::CollapseAll1Click()
{
    if (!tree.root())
        return;
    tree.ui.tree->collapseAll();
    tree.root()->setExpanded(true);
}

void SiteTreeCommands::deleteSite()
{
    if (listing.isBusy())
        return;
    const QString description = tree.ui.combo->currentText();
    const auto answer = Prompts::current().message(QStringLiteral("Confirm Delete"),
        QStringLiteral("Are you sure you want to delete the FTP Site \"%1\"?").arg(description),
        QMessageBox::Yes | QMessageBox::No, Prompts::Icon::Question);
    if (answer != QMessageBox::Yes)
        return;
    tree.ui.tree->setCurrentItem(tree.root());
    QTreeWidgetItem *site = tree.findSiteNode(description);
    if (!site || !mapNodeOf(site))
        return;
    const bool connected = tree.sameConnection(mapNodeOf(site));
    tree.deleteNodeAndTwin(site);
    if (connected)
        listing.clear();
    if (TSiteRecord *record = sites.FindSite(description)) {
        record->Deleted = true;
        for (QComboBox *combo : { tree.ui.combo, tree.ui.combo2 }) {
            const QSignalBlocker blocker(combo);
            combo->removeItem(combo->currentIndex());
            combo->setCurrentIndex(0);
        }
        sites.SaveSiteBook();
        options.remove(description);
        options.save();
    }
}

void SiteTreeCommands::DownloadSite1Click()
{
    QTreeWidgetItem *selected = tree.ui.tree->currentItem();
    if (listing.isBusy() || !selected || selected == tree.root())
        return;
    const auto answer = Prompts::current().message(QStringLiteral("Vrex Explorer"),
        QStringLiteral("This option obtains the entire directory map for a site.  It may take a "
                       "few minutes to complete.  Press the Stop button at any time to access "
                       "the currently downloaded information."),
        QMessageBox::Ok | QMessageBox::Cancel, Prompts::Icon::Information);
    if (answer != QMessageBox::Ok)
        return;
    tree.stopFlag = false;
    QTreeWidgetItem *site = tree.siteNodeOf(selected);
    for (QTreeWidgetItem *node = site; node && !tree.stopFlag; node = nextNodeOfWalk(node, site))
        listForSiteStructure(node);
    tree.siteDownloadFlag = false;
}

void SiteTreeCommands::listForSiteStructure(QTreeWidgetItem *node)
{
    QTreeWidgetItem *m = mapNodeOf(node);
    actions.request(PendingAction::DownloadSite, m ? tree.remotePathOf(m) : QString());
    if (!m || m->childCount() > 0)
        return;
    // The target comes first: when a connection has to be made, its connect
    // event starts the listing.
    tree.setTarget(node);
    tree.runRequest(node);
    while ((listing.isBusy() || tree.siteDownloadFlag) && !tree.stopFlag)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

QTreeWidgetItem *SiteTreeCommands::nextNodeOfWalk(
    QTreeWidgetItem *node, QTreeWidgetItem *site) const
{
    if (node->childCount() > 0) {
        while (node->childCount() > 0)
            node = node->child(0);
        return node;
    }
    for (QTreeWidgetItem *x = node; x && x != site; x = x->parent()) {
        QTreeWidgetItem *parent = x->parent();
        const int index = parent->indexOfChild(x);
        if (index + 1 < parent->childCount())
            return parent->child(index + 1);
    }
    return nullptr;
}

void SiteTreeCommands::SpeedUpOneClick()
{
    QTreeWidgetItem *current = tree.current();
    if (!current || !current->parent())
        return;
    tree.ui.tabs->setCurrentIndex(0);
    tree.ui.tree->setFocus();
    tree.itemHit = true;
    tree.ui.tree->setCurrentItem(current->parent());
    tree.openSelectedNode();
}

void SiteTreeCommands::openChildNamed(const QString &caption)
{
    QTreeWidgetItem *current = tree.current();
    for (int i = 0; current && i < current->childCount(); ++i) {
        QTreeWidgetItem *child = current->child(i);
        if (child->text(0) != caption)
            continue;
        child->setExpanded(true);
        tree.ui.tree->setFocus();
        tree.itemHit = true;
        tree.ui.tree->setCurrentItem(child);
        tree.openSelectedNode();
        return;
    }
}

void SiteTreeCommands::ComboSiteChange(const QString &visibleText)
{
    tree.ui.tabs->setCurrentIndex(0);
    if (QTreeWidgetItem *site = tree.findSiteNode(visibleText)) {
        tree.ui.tree->setFocus();
        tree.ui.tree->setCurrentItem(site);
        tree.ui.tree->scrollToItem(site);
        tree.itemHit = true;
        tree.openSelectedNode();
    }
}
