// Links of unknown kind in the tree: listing the link tells a folder from a
// file, and a folder opens a level deeper like any other.

#include "explorer/SiteTree.h"

#include "explorer/ActionRequests.h"
#include "explorer/DirectoryMap.h"
#include "explorer/ListingView.h"
#include "ftp/WinInetFTP.h"

#include <QTreeWidget>

#include <utility>

using namespace DirectoryMap;

void SiteTree::openLink(QTreeWidgetItem *mapEntry, std::function<void(QTreeWidgetItem *)> asFile)
{
    if (operationRunning() || !mapEntry || !currentNode
        || mapNodeOf(currentNode) != mapEntry->parent())
        return;
    probe = { true, mapEntry, currentNode, {}, std::move(asFile) };
    services.actions->request(PendingAction::OpenLink, remotePathOf(mapEntry));
    runRequest(currentNode);
}

bool SiteTree::probingLink() const
{
    return probe.running && services.actions->pendingAction() == PendingAction::OpenLink;
}

void SiteTree::listLink(const QString &remotePath)
{
    services.showStatus(0);
    services.listing->setBusy(true);
    services.ftp->GetDirectory(remotePath);
}

// A listing of a file's path shows that file (or nothing at all, and the
// server says so); a folder's shows what is in it.
bool SiteTree::LinkProbe::listsOnlyItself() const
{
    const TWin32FindData *link = recordOf(mapEntry);
    return entries.size() == 1 && !isDirectory(entries[0]) && link
        && nameOf(entries[0]) == nameOf(*link);
}

void SiteTree::linkListingDone(bool stopped, bool refused)
{
    LinkProbe done = std::exchange(probe, LinkProbe {});
    if (stopped || !done.mapEntry || !done.parent)
        return;
    if (refused || done.listsOnlyItself()) {
        if (done.asFile)
            done.asFile(done.mapEntry);
        return;
    }
    recordOf(done.mapEntry)->dwFileAttributes |= FILE_ATTRIBUTE_DIRECTORY;
    QTreeWidgetItem *folder = addFolderNode(done.parent, done.mapEntry);
    for (const TWin32FindData &entry : done.entries)
        addToMap(folder, entry);
    openAsFolder(folder);
}

// As a double-click on its row opens a folder: a level deeper, from the map.
void SiteTree::openAsFolder(QTreeWidgetItem *folder)
{
    folder->parent()->setExpanded(true);
    itemHit = true;
    ui.tree->setCurrentItem(folder);
    if (currentNode != folder)
        openSelectedNode();
}

void SiteTree::forgetLinkProbe()
{
    probe = LinkProbe {};
}
