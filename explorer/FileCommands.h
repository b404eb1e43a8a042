#pragma once

#include "explorer/SiteTree.h"

#include <QObject>
#include <QStringList>

#include <functional>

class ListingView;
class OverwriteQuestion;
class QTreeWidgetItem;
class TRegFile;
struct TWin32FindData;

// The commands that move files between the site and this computer: download
// or open the selected rows, the double-click on a row, upload through the
// file dialog and files dropped on the list. Each only queues items; the
// queue decides when each runs.
class FileCommands : public QObject {
    Q_OBJECT
public:
    // One queue item: source, destination, the entry, the action text and
    // the site it goes to or comes from.
    // `askBeforeReplacing`: an upload whose folder was not listed asks the
    // server, when it runs, whether it would replace a file.
    using AddQueueItem = std::function<void(const QString &name, const QString &saveFile,
        const TWin32FindData &entry, const QString &actions, const SiteConnection &site,
        bool askBeforeReplacing)>;
    struct Services {
        SiteTree *tree = nullptr;
        ListingView *listing = nullptr;
        TRegFile *settings = nullptr;
        AddQueueItem addQueueItem;
        // After the items were added: start the queue, or ask whether to.
        std::function<void()> handOver;
        // A folder row: open the current node's child of that caption.
        std::function<void(const QString &caption)> openFolder;
        // Dropped files bring the window to the front.
        std::function<void()> raiseWindow;
        // Folder rows are downloaded with everything below them (and the
        // file rows beside them into the same local folder).
        std::function<void(
            const QList<QTreeWidgetItem *> &folders, const QList<QTreeWidgetItem *> &files)>
            downloadFolders;
        // Dropped folders, when the user wants them sent whole.
        std::function<void(const QStringList &localFolders)> uploadFolders;
        // The current-directory line shown above the list.
        std::function<QString()> directoryLine;
    };

    explicit FileCommands(const Services &services, QObject *parent = nullptr);

    // A local path for the remote file, or empty when the user cancelled.
    QString saveAs(const QString &remotePath);
    // "Download" or "Download, Open" for every selected file row.
    void downloadSelection(const QString &actionText);
    void ListView1DblClick();
    // The row that is selected: a folder opens, a file is downloaded, and a
    // link of unknown kind is tried as a folder first.
    void openOrDownloadRow();
    void UploadFiletoSite1Click();
    void uploadDropped(const QStringList &localPaths);

private:
    enum class Upload { Queued, Skipped, Unreadable, Cancelled };

    QString startFolder() const;
    SiteConnection siteOfMapNode(QTreeWidgetItem *mapNode) const;
    SiteConnection siteOfCurrentNode() const;
    QString localPathFor(QTreeWidgetItem *mapNode, const QString &actionText);
    void downloadIntoFolder(const QList<QTreeWidgetItem *> &files, const SiteConnection &site);
    bool listedInCurrentFolder(const QString &name) const;
    Upload queueUpload(
        const QString &localPath, const SiteConnection &site, OverwriteQuestion &question);
    void downloadRow(QTreeWidgetItem *mapNode);

    Services services;
};
