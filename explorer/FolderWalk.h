#pragma once

#include "explorer/FolderTree.h"
#include "explorer/SiteTree.h"

#include <QObject>
#include <QSet>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

class TWinInetFTP;

// Lists remote folders and everything below them on a connection of its
// own, so browsing goes on meanwhile, and can then delete what it found on
// that connection. Each folder is listed once; a folder reached again under
// another spelling, or through a link that leads back to a folder above it,
// is not entered again, so links cannot make the walk endless.
class FolderWalk : public QObject {
    Q_OBJECT
public:
    // How links of unknown kind (LIST servers) are taken: probed by listing
    // them (a transfer wants what they lead to), or left as names (a delete
    // removes the link, never what it leads to).
    enum class Links { Probe, AsNames };

    struct Result {
        std::vector<FolderTree::File> files;
        std::vector<FolderTree::Folder> folders; // parents before their children
        QStringList unfit; // relative paths whose names cannot be local names
        int loops = 0; // links back to a folder above, not entered
        bool failed = false;
        QString failure; // what the user is told when failed
    };

    // `prepare` binds the session's questions (certificates, host keys).
    FolderWalk(const SiteConnection &site, std::function<void(TWinInetFTP &)> prepare,
        QObject *parent = nullptr);
    ~FolderWalk() override;

    // Walks the folders (remote paths); `done` runs from the event loop.
    void walk(
        const QStringList &remoteFolders, Links links, std::function<void(const Result &)> done);
    // Deletes what the walk found, from the bottom up; the first refusal
    // stops it. `done` gets an empty text on success, else what was left.
    void removeAll(std::function<void(const QString &failure)> done);

private:
    struct Pending {
        QString remote;
        QString relative;
        int parent = -1; // index into found.folders, -1 for a walked folder
        bool probe = false; // a link of unknown kind: a folder or a file?
        TWin32FindData link {};
    };
    struct Step {
        enum Kind { ProbeFolder, DeleteFile, RemoveFolder } kind;
        QString path;
        size_t skipTo = 0; // ProbeFolder: where to go on when it was a link
    };

    void bindSession();
    void connected();
    void listNext();
    void listed();
    void addFolder(const Pending &folder, const std::vector<TWin32FindData> &entries);
    bool loopsBack(int parent, uint64_t signature) const;
    void takeEntry(const TWin32FindData &entry, int folderIndex);
    void finishWalk(const QString &failure);
    void planRemoval(int folderIndex, const std::vector<std::vector<int>> &childFolders,
        const std::vector<std::vector<int>> &folderFiles);
    void removeNext();
    void removed(bool ok);
    QString leftText() const;

    SiteConnection site;
    TWinInetFTP *ftp;
    Links links = Links::Probe;
    std::function<void(const Result &)> walkDone;
    std::function<void(const QString &)> removeDone;
    std::deque<Pending> pending;
    Pending listing;
    std::vector<TWin32FindData> entries;
    std::vector<uint64_t> signatures; // beside found.folders
    std::vector<int> parents; // beside found.folders
    std::vector<int> fileFolders; // beside found.files: the folder holding each
    QSet<QString> walkedPaths;
    Result found;
    std::vector<Step> steps;
    size_t step = 0;
    bool walking = false;
};
