#pragma once

#include <QObject>

#include <functional>

class ActionRequests;
class ListingView;
class SiteBook;
class SiteOptionsFile;
class SiteTree;
class TRegFile;
class TWinInetFTP;
class QTreeWidgetItem;

// The commands that act on the site tree as a whole: refresh of one folder
// or of everything, expand and collapse, delete a site, fetch a site's whole
// folder structure, up one level and the site combos.
class SiteTreeCommands : public QObject {
    Q_OBJECT
public:
    SiteTreeCommands(SiteTree &tree, ListingView &listing, ActionRequests &actions,
        TWinInetFTP &ftp, SiteBook &sites, SiteOptionsFile &options, QObject *parent = nullptr);

    void Refresh1Click();
    void RefreshAll1Click();
    void ExpandAll1Click();
    void CollapseAll1Click();
    void deleteSite();
    void DownloadSite1Click();
    void SpeedUpOneClick();
    // The child of the current node with this caption (case-sensitive),
    // opened a level deeper with the tree's focus, as a double-click does.
    void openChildNamed(const QString &caption);
    void ComboSiteChange(const QString &visibleText);

    // Set by the window: what "&All" calls to start afresh.
    std::function<void()> afterReload;

private:
    QTreeWidgetItem *nextNodeOfWalk(QTreeWidgetItem *node, QTreeWidgetItem *site) const;
    void listForSiteStructure(QTreeWidgetItem *node);

    SiteTree &tree;
    ListingView &listing;
    ActionRequests &actions;
    TWinInetFTP &ftp;
    SiteBook &sites;
    SiteOptionsFile &options;
};
