#pragma once

#include "ftp/Win32FindData.h"
#include "ftp/WinInetFTP.h"
#include "storage/RecordPool.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <vector>

class ActionRequests;
class ListingView;
class QComboBox;
class QLabel;
class QTabBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class SiteBook;
class SiteOptionsFile;
class StatusPanels;
class TRegFile;
struct TSiteRecord;

// Host, login and password the session was last asked to connect with, and
// how: a change of the site's security or time zone needs a new connection.
struct SiteConnection {
    QString host, login, password;
    TFtpSecurity security = TFtpSecurity::Plain;
    int timeZoneMinutes = 0;
    bool sftp = false;
    bool isEmpty() const { return host.isEmpty() && login.isEmpty() && password.isEmpty(); }
    bool operator==(const SiteConnection &o) const
    {
        return host == o.host && login == o.login && password == o.password
            && security == o.security && timeZoneMinutes == o.timeZoneMinutes && sftp == o.sftp;
    }
};

// The site tree (TreeView1) and its hidden directory map (TreeView2): the
// site book as nodes, every listed directory and file cached below them, and
// opening a node from the map or, the first time, from the server.
class SiteTree : public QObject {
    Q_OBJECT
public:
    struct Controls {
        QTreeWidget *tree = nullptr; // TreeView1
        QTreeWidget *map = nullptr; // TreeView2
        QComboBox *combo = nullptr; // ComboSite
        QComboBox *combo2 = nullptr; // ComboSite2
        QLabel *panelFiles = nullptr;
        QTabBar *tabs = nullptr;
        QToolButton *upOne = nullptr, *upOne2 = nullptr;
        QWidget *dropTarget = nullptr; // the file list, accepting dropped files
    };
    struct Services {
        TWinInetFTP *ftp = nullptr;
        ListingView *listing = nullptr;
        ActionRequests *actions = nullptr;
        SiteBook *sites = nullptr;
        SiteOptionsFile *options = nullptr;
        TRegFile *settings = nullptr;
        std::function<void(int)> showStatus;
    };

    SiteTree(const Controls &controls, const Services &services, QObject *parent = nullptr);

    // Nodes and their data.
    QTreeWidgetItem *addRoot();
    QTreeWidgetItem *addSiteNodes(const QString &host, const QString &description);
    QTreeWidgetItem *siteNodeOf(QTreeWidgetItem *node) const;
    TSiteRecord *siteRecordOf(QTreeWidgetItem *mapNode) const;
    bool sameConnection(QTreeWidgetItem *mapNode) const;
    QString remotePathOf(QTreeWidgetItem *mapNode) const;
    QTreeWidgetItem *findSiteNode(const QString &description) const;
    bool isSiteNode(const QTreeWidgetItem *node) const;
    void sortSiteNodes();
    // Deletes a tree node and its map twin with everything below them, and
    // forgets every reference to them.
    void deleteNodeAndTwin(QTreeWidgetItem *node);
    // Deletes every node of both trees, the root included.
    void clearTrees();

    // Opening nodes.
    void openSelectedNode();
    void showSiteList();
    // Connects to the site and lists `remotePath` into the target node.
    void connectToSite(QTreeWidgetItem *siteNode, const QString &remotePath);
    bool ensureConnection(QTreeWidgetItem *node);
    // The connection that connectToSite() asked for is made.
    void siteConnected();
    // The pending action starts on the site of `node`: after connecting to
    // it, or at once when the connection is already that site's.
    void runRequest(QTreeWidgetItem *node);
    bool connectWith(const QString &host, const QString &login, const QString &password);
    // The site of a map node with all its settings, as a connection of its
    // own is made for it; empty for a node of no site.
    SiteConnection siteConnectionOf(QTreeWidgetItem *mapNode) const;
    void listDirectory(QTreeWidgetItem *node, const QString &path);

    // What a listing made for the tree brings. A listing that did not
    // complete leaves its folder not listed: the next open lists it again.
    void addListedEntry(const TWin32FindData &entry);
    void listingDone(bool complete);
    void markNotListed(QTreeWidgetItem *node);
    // Its listing completed and showed entries: the map knows what it holds.
    bool isListed(QTreeWidgetItem *mapNode) const;
    // After a failed connect or listing: nothing is current, so opening the
    // node again tries again.
    void dropCurrent();
    bool operationRunning() const;

    // A link of unknown kind in the folder shown is opened by listing its
    // path: a listing that shows a folder makes it a folder of the tree,
    // opened at once; one that is refused, or shows only the link itself,
    // hands it to `asFile` (it leads to a file, or nowhere).
    void openLink(QTreeWidgetItem *mapEntry, std::function<void(QTreeWidgetItem *)> asFile);
    // Stop clears the pending action: a probe is over then, though its
    // cancelled listing may still end later.
    bool probingLink() const;
    // The pending OpenLink starts this on the connection to the link's site.
    void listLink(const QString &remotePath);
    void linkListingDone(bool stopped, bool refused);
    // The connection for the link's listing failed.
    void forgetLinkProbe();

    // Site book and combos.
    void loadSiteBook();
    void selectLastSite();
    void selectInCombos(const QString &description);

    // Handlers.
    void TreeView1Change();
    void TreeView1MouseDown(const QPoint &pos);

    void forgetConnection() { connection = {}; }
    const SiteConnection &currentConnection() const { return connection; }
    // The connection asked for by a queue item or a quick download.
    SiteConnection connectionFor(
        const QString &host, const QString &login, const QString &password) const;
    QTreeWidgetItem *root() const { return rootNode; }
    QTreeWidgetItem *current() const { return currentNode; }
    QTreeWidgetItem *target() const { return targetNode; }
    void setTarget(QTreeWidgetItem *node) { targetNode = node; }
    void setCurrent(QTreeWidgetItem *node);
    QString currentPath() const { return path; }
    RecordPool &pool(PoolId id);

    bool itemHit = false;
    bool refreshFlag = false;
    bool siteDownloadFlag = false;
    bool stopFlag = false;
    bool closing = false;

    const Controls ui;

private:
    void fillFromMap(QTreeWidgetItem *mapNode);
    void forgetListing(QTreeWidgetItem *node);
    void putHighlightBack();
    void showPath(const QString &remotePath);
    void setDropsAccepted(bool accepted);
    void forgetNodesUnder(QTreeWidgetItem *node);
    QString newAppTitle() const;
    SiteConnection connectionOf(const TSiteRecord &site) const;
    void startConnect(const SiteConnection &wanted);
    QTreeWidgetItem *addToMap(QTreeWidgetItem *treeNode, const TWin32FindData &entry);
    QTreeWidgetItem *addFolderNode(QTreeWidgetItem *parent, QTreeWidgetItem *mapEntry);
    void openAsFolder(QTreeWidgetItem *folder);

    struct LinkProbe {
        bool running = false;
        QTreeWidgetItem *mapEntry = nullptr; // null once deleted meanwhile
        QTreeWidgetItem *parent = nullptr; // the tree node of its folder
        std::vector<TWin32FindData> entries;
        std::function<void(QTreeWidgetItem *)> asFile;
        bool listsOnlyItself() const;
    };

    Services services;
    RecordPool uploadPool, mapPool, watchPool;
    QTreeWidgetItem *rootNode = nullptr;
    QTreeWidgetItem *currentNode = nullptr;
    QTreeWidgetItem *targetNode = nullptr;
    SiteConnection connection;
    QString path;
    // The node last opened: the current node, or while a connection to its
    // site is made for it, the folder that becomes current after.
    QTreeWidgetItem *openedNode = nullptr;
    QTreeWidgetItem *fillNode = nullptr; // the map node being refilled
    QSet<QTreeWidgetItem *> notListed; // map nodes whose listing broke off
    LinkProbe probe;
    bool highlightRestorePending = false;
    QString lastSiteWanted; // "LastSite" once its connection is made

};
