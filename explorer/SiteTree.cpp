#include "explorer/SiteTree.h"

#include "explorer/ActionRequests.h"
#include "explorer/DirectoryMap.h"
#include "explorer/ListingView.h"
#include "ftp/WinInetFTP.h"
#include "platform/IconList.h"
#include "platform/Prompts.h"
#include "storage/SiteBook.h"
#include "storage/SiteOptionsFile.h"
#include "storage/TRegFile.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QRandomGenerator>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <cstring>
#include <utility>

using namespace DirectoryMap;

SiteTree::SiteTree(const Controls &controls, const Services &s, QObject *parent)
    : QObject(parent), ui(controls), services(s)
{
}

RecordPool &SiteTree::pool(PoolId id)
{
    switch (id) {
    case PoolId::Uploads:
        return uploadPool;
    case PoolId::Watches:
        return watchPool;
    case PoolId::DirectoryMap:
        break;
    }
    return mapPool;
}

QTreeWidgetItem *SiteTree::addRoot()
{
    rootNode = new QTreeWidgetItem(ui.tree, { tr("My FTP Sites") });
    rootNode->setIcon(0, IconList::instance().icon(IconList::instance().programIndex()));
    return rootNode;
}

QTreeWidgetItem *SiteTree::addSiteNodes(const QString &host, const QString &description)
{
    auto *record = mapPool.allocateRecord<TWin32FindData>();
    record->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    const QByteArray name = description.toUtf8().left(int(sizeof record->cFileName) - 1);
    std::memcpy(record->cFileName, name.constData(), size_t(name.size()));
    auto *mapSite = new QTreeWidgetItem(ui.map, { host });
    setRecord(mapSite, record);
    auto *site = new QTreeWidgetItem(rootNode, { description });
    site->setIcon(0, IconList::instance().icon(IconList::instance().siteIndex()));
    setMapNode(site, mapSite);
    return site;
}

bool SiteTree::isSiteNode(const QTreeWidgetItem *node) const
{
    return node && rootNode && node->parent() == rootNode;
}

QTreeWidgetItem *SiteTree::siteNodeOf(QTreeWidgetItem *node) const
{
    while (node && node->parent() && node->parent() != rootNode)
        node = node->parent();
    return node && node->parent() == rootNode ? node : nullptr;
}

TSiteRecord *SiteTree::siteRecordOf(QTreeWidgetItem *mapNode) const
{
    while (mapNode && mapNode->parent())
        mapNode = mapNode->parent();
    const TWin32FindData *record = recordOf(mapNode);
    return record ? services.sites->FindSite(nameOf(*record)) : nullptr;
}

bool SiteTree::sameConnection(QTreeWidgetItem *mapNode) const
{
    const TSiteRecord *site = siteRecordOf(mapNode);
    // A connection found lost no longer counts: the next command connects afresh.
    return site && services.ftp->Connected() && connectionOf(*site) == connection;
}

QString SiteTree::remotePathOf(QTreeWidgetItem *mapNode) const
{
    QString result;
    QTreeWidgetItem *m = mapNode;
    while (m && m->parent()) {
        result = QLatin1Char('/') + nameOf(*recordOf(m)) + result;
        m = m->parent();
    }
    const TSiteRecord *site = siteRecordOf(mapNode);
    if (!site || site->Directory.size() < 2)
        return result;
    return site->Directory + result;
}

QTreeWidgetItem *SiteTree::findSiteNode(const QString &description) const
{
    if (!rootNode)
        return nullptr;
    const QString wanted = description.trimmed();
    for (int i = 0; i < rootNode->childCount(); ++i)
        if (rootNode->child(i)->text(0).compare(wanted, Qt::CaseInsensitive) == 0)
            return rootNode->child(i);
    return nullptr;
}

void SiteTree::sortSiteNodes()
{
    if (!rootNode)
        return;
    // Nodes taken out of the view lose their expansion and the selection:
    // both are put back, quietly, since nothing was opened or closed.
    QList<QTreeWidgetItem *> expanded;
    for (QTreeWidgetItemIterator it(rootNode); *it; ++it)
        if ((*it)->isExpanded())
            expanded << *it;
    QTreeWidgetItem *selected = ui.tree->currentItem();
    const QSignalBlocker quiet(ui.tree);
    QList<QTreeWidgetItem *> sites = rootNode->takeChildren();
    std::stable_sort(sites.begin(), sites.end(), [](QTreeWidgetItem *a, QTreeWidgetItem *b) {
        return QString::localeAwareCompare(a->text(0).toLower(), b->text(0).toLower()) < 0;
    });
    rootNode->addChildren(sites);
    for (QTreeWidgetItem *node : std::as_const(expanded))
        node->setExpanded(true);
    if (selected)
        ui.tree->setCurrentItem(selected);
}

void SiteTree::setCurrent(QTreeWidgetItem *node)
{
    if (currentNode == node)
        return;
    if (currentNode) {
        QFont font = currentNode->font(0);
        font.setBold(false);
        currentNode->setFont(0, font);
    }
    currentNode = node;
    if (currentNode) {
        QFont font = currentNode->font(0);
        font.setBold(true);
        currentNode->setFont(0, font);
    }
}

void SiteTree::forgetNodesUnder(QTreeWidgetItem *node)
{
    auto within = [node](QTreeWidgetItem *x) {
        for (; x; x = x->parent())
            if (x == node)
                return true;
        return false;
    };
    QTreeWidgetItem *mapTwin = mapNodeOf(node);
    auto withinMap = [mapTwin](QTreeWidgetItem *x) {
        for (; x; x = x->parent())
            if (x == mapTwin)
                return true;
        return false;
    };
    if (within(currentNode)) {
        setCurrent(nullptr);
        path.clear();
    }
    if (within(targetNode))
        targetNode = nullptr;
    if (within(openedNode))
        openedNode = nullptr;
    if (withinMap(fillNode))
        fillNode = nullptr;
    if (withinMap(probe.mapEntry) || within(probe.parent))
        probe.mapEntry = probe.parent = nullptr;
    for (auto it = notListed.begin(); it != notListed.end();)
        it = withinMap(*it) ? notListed.erase(it) : std::next(it);
    if (mapTwin)
        services.listing->removeRowsWhere(withinMap);
}

void SiteTree::clearTrees()
{
    setCurrent(nullptr);
    targetNode = nullptr;
    rootNode = nullptr;
    openedNode = nullptr;
    fillNode = nullptr;
    probe.mapEntry = probe.parent = nullptr;
    notListed.clear();
    path.clear();
    ui.tree->clear();
    ui.map->clear();
}

void SiteTree::deleteNodeAndTwin(QTreeWidgetItem *node)
{
    if (!node)
        return;
    forgetNodesUnder(node);
    delete mapNodeOf(node);
    delete node;
}

void SiteTree::TreeView1Change()
{
    if (closing)
        return;
    itemHit = true;
    openSelectedNode();
}

void SiteTree::TreeView1MouseDown(const QPoint &pos)
{
    // Only the icon and label count as a hit, not the expand button beside them.
    QTreeWidgetItem *node = ui.tree->itemAt(pos);
    itemHit = node && ui.tree->visualItemRect(node).contains(pos);
    if (!itemHit || node == ui.tree->currentItem())
        return;
    if (isSiteNode(node))
        selectInCombos(node->text(0));
    ui.tree->setCurrentItem(node);
}

void SiteTree::openSelectedNode()
{
    ListingView &listing = *services.listing;
    listing.EventClick();
    QTreeWidgetItem *n = ui.tree->currentItem();
    if (!n)
        return;
    if (listing.isBusy()) {
        if (n != openedNode)
            putHighlightBack();
        return;
    }
    if (!itemHit)
        return;
    if (n == rootNode) {
        ui.upOne->setEnabled(false);
        ui.upOne2->setEnabled(false);
        showSiteList();
    }
    if (n == currentNode)
        return;
    setCurrent(n);
    openedNode = n;
    listing.EventClick();
    if (n == rootNode)
        return;
    selectInCombos(siteNodeOf(n)->text(0));
    QTreeWidgetItem *m = mapNodeOf(n);
    if (!m || !recordOf(m))
        return;
    QString remote = remotePathOf(m);
    if (remote.isEmpty())
        remote = QStringLiteral("/");
    showPath(remote);
    if (m->childCount() > 0 && !notListed.contains(m)) {
        fillFromMap(m);
        return;
    }
    if (notListed.contains(m))
        forgetListing(n);
    if (isSiteNode(n)) {
        targetNode = n;
        connectToSite(n, remote);
    } else if (!sameConnection(m)) {
        targetNode = n;
        // n becomes current once its listing starts.
        connectToSite(siteNodeOf(n), remote);
    } else {
        listDirectory(n, remote);
    }
}

void SiteTree::showPath(const QString &remotePath)
{
    ui.panelFiles->setText(QStringLiteral("  Current Directory: ") + remotePath);
    ui.upOne->setEnabled(true);
    ui.upOne2->setEnabled(true);
    path = remotePath;
}

// The loop lets waiting events run, and one of them may delete the node it
// walks: forgetNodesUnder() then lets go of fillNode and the loop ends.
void SiteTree::fillFromMap(QTreeWidgetItem *mapNode)
{
    ListingView &listing = *services.listing;
    listing.clear();
    listing.setBusy(true);
    stopFlag = false;
    fillNode = mapNode;
    for (int i = 0; fillNode == mapNode && i < mapNode->childCount() && !stopFlag; ++i)
        listing.addEntryRow(mapNode->child(i));
    fillNode = nullptr;
    listing.sortDirectoryList();
    listing.refreshPanels();
    listing.setBusy(false);
}

void SiteTree::showSiteList()
{
    ListingView &listing = *services.listing;
    rootNode->setExpanded(true);
    listing.clear();
    for (int i = 0; i < ui.map->topLevelItemCount(); ++i)
        listing.addSiteRow(ui.map->topLevelItem(i));
    listing.sortSiteList();
    listing.refreshPanels();
}

void SiteTree::setDropsAccepted(bool accepted)
{
    if (ui.dropTarget)
        ui.dropTarget->setAcceptDrops(accepted);
}

QString SiteTree::newAppTitle() const
{
    return QStringLiteral("VrexExplorer")
        + QString::number(QRandomGenerator::global()->bounded(99999));
}

void SiteTree::connectToSite(QTreeWidgetItem *siteNode, const QString &remotePath)
{
    setDropsAccepted(false);
    TSiteRecord *site = siteNode ? services.sites->FindSite(siteNode->text(0)) : nullptr;
    if (!site)
        return;
    selectInCombos(site->Description);
    const SiteConnection wanted = connectionOf(*site);
    services.listing->clear();
    setCurrent(siteNode);
    // Remembered only once the login worked: a start-up must not reopen a
    // site that only ever answers "Invalid Login.".
    lastSiteWanted = site->Description;
    if (ui.tabs->currentIndex() != 0)
        ui.tabs->setCurrentIndex(0);
    services.ftp->AppTitle = newAppTitle();
    services.actions->request(PendingAction::Connect, remotePath);
    startConnect(wanted);
}

void SiteTree::siteConnected()
{
    if (!lastSiteWanted.isEmpty())
        services.settings->WriteValue(QStringLiteral("LastSite"), TaggedValue(lastSiteWanted));
    lastSiteWanted.clear();
}

SiteConnection SiteTree::connectionOf(const TSiteRecord &site) const
{
    SiteConnection c { site.FTPSite, site.Login, site.Password };
    const SiteOptions o
        = services.options ? services.options->optionsOf(site.Description) : SiteOptions {};
    c.security = o.security == SiteSecurity::RequireTls ? TFtpSecurity::RequireTls
        : o.security == SiteSecurity::TlsIfOffered      ? TFtpSecurity::TlsIfOffered
                                                        : TFtpSecurity::Plain;
    c.timeZoneMinutes = o.timeZoneMinutes;
    c.sftp = o.sftp;
    return c;
}

SiteConnection SiteTree::connectionFor(
    const QString &host, const QString &login, const QString &password) const
{
    for (const TSiteRecord *site = services.sites->head(); site; site = site->next) {
        if (!site->Deleted && site->FTPSite == host && site->Login == login) {
            SiteConnection c = connectionOf(*site);
            c.password = password;
            return c;
        }
    }
    // Not a site of the book: encrypted where the server can.
    SiteConnection c { host, login, password };
    c.security = TFtpSecurity::TlsIfOffered;
    return c;
}

void SiteTree::startConnect(const SiteConnection &wanted)
{
    connection = wanted;
    TWinInetFTP &ftp = *services.ftp;
    ftp.FTPSite = wanted.host;
    ftp.Login = wanted.login;
    ftp.Password = wanted.password;
    ftp.Security = wanted.security;
    ftp.Sftp = wanted.sftp;
    ftp.TimeZoneOffsetMinutes = wanted.timeZoneMinutes;
    services.listing->setBusy(true);
    ftp.Connect();
}

bool SiteTree::ensureConnection(QTreeWidgetItem *node)
{
    QTreeWidgetItem *m = mapNodeOf(node);
    if (sameConnection(m))
        return false;
    const TSiteRecord *site = siteRecordOf(m);
    if (!site)
        return false;
    startConnect(connectionOf(*site));
    return true;
}

void SiteTree::runRequest(QTreeWidgetItem *node)
{
    if (!ensureConnection(node))
        services.actions->dispatchDirect();
}

SiteConnection SiteTree::siteConnectionOf(QTreeWidgetItem *mapNode) const
{
    const TSiteRecord *site = siteRecordOf(mapNode);
    return site ? connectionOf(*site) : SiteConnection {};
}

bool SiteTree::connectWith(const QString &host, const QString &login, const QString &password)
{
    const SiteConnection wanted = connectionFor(host, login, password);
    if (wanted == connection && services.ftp->Connected())
        return false;
    startConnect(wanted);
    return true;
}

void SiteTree::listDirectory(QTreeWidgetItem *node, const QString &remotePath)
{
    services.showStatus(0);
    if (!siteDownloadFlag) {
        services.listing->clear();
        // The folder being listed is the one shown, also when a connection
        // to its site came first.
        if (node) {
            setCurrent(node);
            showPath(remotePath.isEmpty() ? QStringLiteral("/") : remotePath);
        }
    }
    targetNode = node;
    services.listing->setBusy(true);
    services.ftp->GetDirectory(remotePath);
}

namespace {

bool hasFolderNamed(QTreeWidgetItem *mapNode, const QString &name)
{
    for (int i = 0; i < mapNode->childCount(); ++i) {
        const TWin32FindData *record = recordOf(mapNode->child(i));
        if (record && isDirectory(*record) && nameOf(*record) == name)
            return true;
    }
    return false;
}

} // namespace

void SiteTree::addListedEntry(const TWin32FindData &entry)
{
    if (probingLink()) {
        probe.entries.push_back(entry);
        return;
    }
    QTreeWidgetItem *targetMap = mapNodeOf(targetNode);
    if (!targetMap)
        return;
    // A refresh keeps the folders, those a link turned out to be among them.
    if (refreshFlag
        && (isDirectory(entry)
            || (isUnresolvedLink(entry) && hasFolderNamed(targetMap, nameOf(entry)))))
        return;
    QTreeWidgetItem *mapEntry = addToMap(targetNode, entry);
    if (!siteDownloadFlag && !refreshFlag)
        services.listing->addEntryRow(mapEntry);
}

// The entry goes below the tree node's map twin; a folder also gets a node
// in the tree, except in a refresh, which keeps the folders it has.
QTreeWidgetItem *SiteTree::addToMap(QTreeWidgetItem *treeNode, const TWin32FindData &entry)
{
    auto *record = mapPool.allocateRecord<TWin32FindData>();
    *record = entry;
    QTreeWidgetItem *mapEntry = addEntryNode(mapNodeOf(treeNode), record);
    if (!refreshFlag && isDirectory(entry))
        addFolderNode(treeNode, mapEntry);
    return mapEntry;
}

QTreeWidgetItem *SiteTree::addFolderNode(QTreeWidgetItem *parent, QTreeWidgetItem *mapEntry)
{
    auto *dir = new QTreeWidgetItem(parent, { nameOf(*recordOf(mapEntry)) });
    dir->setIcon(0, IconList::instance().icon(IconList::instance().folderIndex(false)));
    setMapNode(dir, mapEntry);
    return dir;
}

void SiteTree::listingDone(bool complete)
{
    QTreeWidgetItem *listed = targetNode;
    const bool forSiteStructure = siteDownloadFlag;
    if (siteDownloadFlag) {
        siteDownloadFlag = false;
    } else {
        services.listing->refreshPanels();
        ui.tree->viewport()->update();
        if (targetNode)
            targetNode->setExpanded(true);
        services.listing->sortDirectoryList();
    }
    if (refreshFlag && complete) {
        QTreeWidgetItem *node = currentNode;
        ui.tree->setCurrentItem(node);
        setCurrent(nullptr);
        itemHit = true;
        openSelectedNode();
    } else if (refreshFlag && mapNodeOf(listed)) {
        fillFromMap(mapNodeOf(listed));
    }
    refreshFlag = false;
    if (complete) {
        notListed.remove(mapNodeOf(listed));
        return;
    }
    markNotListed(listed);
    if (forSiteStructure)
        stopFlag = true; // the walk ends at the first failure
    else if (listed && listed == currentNode)
        dropCurrent();
}

void SiteTree::markNotListed(QTreeWidgetItem *node)
{
    if (QTreeWidgetItem *m = mapNodeOf(node))
        notListed.insert(m);
}

bool SiteTree::isListed(QTreeWidgetItem *mapNode) const
{
    return mapNode && mapNode->childCount() > 0 && !notListed.contains(mapNode);
}

void SiteTree::dropCurrent()
{
    setCurrent(nullptr);
    openedNode = nullptr;
    path.clear();
    ui.upOne->setEnabled(false);
    ui.upOne2->setEnabled(false);
    services.listing->EventClick();
}

bool SiteTree::operationRunning() const
{
    return services.listing->isBusy();
}

// A folder whose listing broke off is listed afresh: what that listing
// brought goes first.
void SiteTree::forgetListing(QTreeWidgetItem *node)
{
    QTreeWidgetItem *m = mapNodeOf(node);
    notListed.remove(m);
    services.listing->clear();
    while (node->childCount() > 0)
        deleteNodeAndTwin(node->child(0));
    qDeleteAll(m->takeChildren());
}

// A refused open leaves the tree and the combos on the node that is open,
// once the event that moved them is over.
void SiteTree::putHighlightBack()
{
    if (highlightRestorePending)
        return;
    highlightRestorePending = true;
    QTimer::singleShot(0, this, [this] {
        highlightRestorePending = false;
        if (!openedNode)
            return;
        {
            const QSignalBlocker quiet(ui.tree);
            ui.tree->setCurrentItem(openedNode);
        }
        if (QTreeWidgetItem *site = siteNodeOf(openedNode))
            selectInCombos(site->text(0));
    });
}

void SiteTree::selectInCombos(const QString &description)
{
    for (QComboBox *combo : { ui.combo, ui.combo2 }) {
        const int exact = combo->findText(description, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (exact >= 0)
            combo->setCurrentIndex(exact);
        else if (combo->count() > 0)
            combo->setCurrentIndex(0);
    }
}

void SiteTree::loadSiteBook()
{
    QStringList descriptions;
    const SiteBook::LoadResult result = services.sites->LoadSiteBook([&](TSiteRecord &site) {
        descriptions << site.Description;
        addSiteNodes(site.FTPSite, site.Description);
    });
    if (result.status == SiteBook::LoadStatus::Invalid)
        Prompts::error(SiteBook::kInvalidMessage);
    // A damaged options file would turn encrypted sites plain without a word.
    if (services.options && services.options->load() == SiteOptionsFile::LoadStatus::Invalid)
        Prompts::error(SiteOptionsFile::kInvalidMessage);
    std::sort(descriptions.begin(), descriptions.end(), [](const QString &a, const QString &b) {
        return QString::localeAwareCompare(a.toLower(), b.toLower()) < 0;
    });
    for (QComboBox *combo : { ui.combo, ui.combo2 }) {
        const QSignalBlocker blocker(combo);
        combo->clear();
        for (const QString &d : descriptions)
            combo->addItem(IconList::instance().icon(IconList::instance().siteIndex()), d);
    }
    sortSiteNodes();
    rootNode->setExpanded(true);
}

void SiteTree::selectLastSite()
{
    TaggedValue value;
    services.settings->ReadValueDef(QStringLiteral("LastSite"), TaggedValue(QString()), value);
    {
        const QSignalBlocker b1(ui.combo), b2(ui.combo2);
        selectInCombos(value.toString());
    }
    if (QTreeWidgetItem *site = findSiteNode(ui.combo->currentText()))
        ui.tree->setCurrentItem(site);
}
