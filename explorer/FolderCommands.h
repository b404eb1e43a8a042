#pragma once

#include "explorer/FolderTree.h"
#include "explorer/FolderWalk.h"
#include "explorer/SiteTree.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class ListingView;
class QTreeWidgetItem;
class TRegFile;
class TWinInetFTP;

// Whole folders: download one with everything below it, send a local one,
// delete a remote one that is not empty. The folders are walked on a
// connection of their own; transfers only add items to the queue.
class FolderCommands : public QObject {
    Q_OBJECT
public:
    // One file of a folder transfer, as the queue takes it.
    struct Item {
        QString name; // download: remote path; upload: local path
        QString saveFile; // download: local path; upload: remote path
        TWin32FindData entry {};
        QString actions; // "Download" or "Send"
        SiteConnection site;
        bool makeParents = false; // an upload makes its remote folders first
    };
    struct Services {
        SiteTree *tree = nullptr;
        ListingView *listing = nullptr;
        TRegFile *settings = nullptr;
        std::function<void(const Item &)> addItem;
        // After the items were added: start the queue, or ask whether to.
        std::function<void()> handOver;
        // The items added from now on are the files of one folder transfer.
        std::function<void()> folderBegins;
        // Binds a walk's own session to the window's questions.
        std::function<void(TWinInetFTP &)> prepareSession;
        // A folder is gone from the server: the tree forgets it.
        std::function<void(QTreeWidgetItem *treeNode)> folderDeleted;
    };

    FolderCommands(const Services &services, QObject *parent = nullptr);
    ~FolderCommands() override;

    // Map nodes of the file list: folders with everything below them, and
    // files beside them, into one local folder asked for once.
    void download(const QList<QTreeWidgetItem *> &folders, const QList<QTreeWidgetItem *> &files);
    // A folder node of the tree.
    void downloadNode(QTreeWidgetItem *treeNode);
    // Local folders into the folder shown.
    void upload(const QStringList &localFolders);
    // "Send Folder...": asks for the local folder first.
    void SendFolder1Click();
    // A folder node whose folder is not empty: asks once, then deletes.
    void deleteFolder(QTreeWidgetItem *treeNode);

private:
    struct Transfer; // what a transfer needs once its walk has ended

    QString startFolder() const;
    bool busy() const;
    FolderWalk *newWalk(const SiteConnection &site);
    void downloadWalked(const Transfer &t, const FolderWalk::Result &r);
    void uploadWalked(const Transfer &t, const FolderWalk::Result &r);
    bool reportWalk(const FolderWalk::Result &r) const;
    FolderTree::Existing askExisting(int existing, int total) const;
    void queueAll(const std::vector<Item> &items);
    void deleteWalked(QTreeWidgetItem *treeNode, const QString &path, const FolderWalk::Result &r);
    bool inTree(QTreeWidgetItem *node) const;

    Services services;
    QPointer<FolderWalk> walk;
};
