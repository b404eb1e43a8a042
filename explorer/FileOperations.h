#pragma once

#include "explorer/ActionRequests.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class ListingView;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;
class SiteTree;
class TWinInetFTP;

// What the tree's context menu offers, from what the tree shows.
struct TreeMenuFacts {
    bool hasNodes = false;
    bool itemHit = false; // the last press in the tree landed on a node
    bool hasSelected = false;
    bool selectedIsRoot = false;
    bool selectedIsSite = false;
    bool selectedHasChildren = false; // child nodes in the tree
    bool hasMapNode = false;
    bool mapHasChildren = false;
};

struct TreeMenuState {
    bool createFolder = false, remove = false, upload = false, files = false, all = false,
         downloadSite = false, expandAll = false, collapseAll = false, properties = false;
    bool operator==(const TreeMenuState &o) const;
};

// The four single operations on the open site: delete a file, rename a
// file in place, create a folder in place, delete an empty folder. Each
// records its pending action, makes sure the right site is connected and
// ends in the session's completion event, whose handler here updates the
// list, the tree and the directory map or tells the user it failed. Only one
// FTP operation runs at a time: while one does, these are refused quietly.
class FileOperations : public QObject {
    Q_OBJECT
public:
    struct Controls {
        QTreeWidget *tree = nullptr; // TreeView1
        QMenu *treeMenu = nullptr; // PopupMenu3
    };

    FileOperations(const Controls &controls, SiteTree &tree, ListingView &listing,
        ActionRequests &actions, TWinInetFTP &ftp, QObject *parent = nullptr);

    static TreeMenuState treeMenuState(const TreeMenuFacts &facts);

    void DeleteFile1Click();
    void RenameFile1Click();
    bool ListView1Editing(QTreeWidgetItem *mapNode) const;
    void ListView1Edited(QTreeWidgetItem *mapNode, const QString &name);
    void CreateDirectory1Click();
    bool TreeView1Editing(QTreeWidgetItem *node) const;
    void TreeView1Edited(QTreeWidgetItem *node, const QString &name);
    // An empty folder without a question; one that is not empty goes to
    // `deleteNotEmpty` when set.
    void deleteFolder(QTreeWidgetItem *node);
    std::function<void(QTreeWidgetItem *node)> deleteNotEmpty;
    // The folder of the node is gone from the server: the tree and the map
    // forget it, and its parent is shown when it was shown.
    void folderGone(QTreeWidgetItem *node);
    void PopupMenu3Popup();

    void WinInetFTP1DeleteFileDone();
    void WinInetFTP1RenameFileDone();
    void WinInetFTP1CreateDirDone();
    void WinInetFTP1DeleteDirDone();

    // A connection made for a request failed, so its completion never comes.
    void requestNotRun(PendingAction action);

private:
    void treeEditorClosed(bool cancelled);
    void forgetFolderNode(QTreeWidgetItem *node);
    void showParentInstead(QTreeWidgetItem *parent);
    void removeNamedNode();
    void closeRequest(PendingAction own);
    bool failed() const;
    TreeMenuFacts treeMenuFacts() const;

    const Controls ui;
    SiteTree &tree;
    ListingView &listing;
    ActionRequests &actions;
    TWinInetFTP &ftp;

    // Between a request and its completion: the row a file operation acts
    // on (by its map node) and the tree node of a folder made or deleted.
    QTreeWidgetItem *rememberedRow = nullptr;
    // Shared with a new folder's node, which clears it when it goes.
    std::shared_ptr<QTreeWidgetItem *> named = std::make_shared<QTreeWidgetItem *>(nullptr);
    bool namedRequestSent = false;
    bool listEditing = false;
    bool treeEditing = false;
    QString requestPath;
    QString newName;
};
