#include "explorer/FolderCommands.h"

#include "explorer/DirectoryMap.h"
#include "explorer/ListingView.h"
#include "explorer/TransferPaths.h"
#include "platform/Prompts.h"
#include "platform/UserFolders.h"
#include "storage/TRegFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

using DirectoryMap::mapNodeOf;
using DirectoryMap::recordOf;

namespace {

const QString kDownload = QStringLiteral("Download");
const QString kSend = QStringLiteral("Send");

// A list of names in a message: the first few, then how many more.
QString someOf(const QStringList &names)
{
    const int shown = 15;
    QString text = QStringList(names.mid(0, shown)).join(QLatin1Char('\n'));
    if (names.size() > shown)
        text += QStringLiteral("\n... and %1 more").arg(names.size() - shown);
    return text;
}

bool exists(const QString &local)
{
    const QFileInfo there(local);
    return there.exists() || there.isSymLink();
}

} // namespace

struct FolderCommands::Transfer {
    SiteConnection site;
    QString localFolder; // a download's chosen folder
    std::vector<FolderTree::File> files; // a download's selected files beside the folders
    std::vector<Item> uploads; // an upload's files, with their remote paths
    QStringList unfit; // an upload's local names no server may be sent
};

FolderCommands::FolderCommands(const Services &s, QObject *parent)
    : QObject(parent), services(s) { }

FolderCommands::~FolderCommands() = default;

QString FolderCommands::startFolder() const
{
    TaggedValue lastDir;
    services.settings->ReadValueDef(QStringLiteral("LastDir"), TaggedValue(QString()), lastDir);
    const QString folder = lastDir.toString();
    return folder.isEmpty() ? UserFolders::downloads() + QLatin1Char('/') : folder;
}

// One walk at a time: the next command waits until the last has queued.
bool FolderCommands::busy() const
{
    if (walk)
        services.listing->tellStatus(
            QStringLiteral("A folder is still being listed: try again when it is done."));
    return walk;
}

FolderWalk *FolderCommands::newWalk(const SiteConnection &site)
{
    if (busy())
        return nullptr;
    walk = new FolderWalk(site, services.prepareSession, this);
    return walk;
}

// A walk that failed is told; names left out are told in one message.
bool FolderCommands::reportWalk(const FolderWalk::Result &r) const
{
    if (r.failed) {
        if (!r.failure.isEmpty())
            Prompts::error(r.failure + QStringLiteral(" Nothing was queued."));
        return false;
    }
    if (!r.unfit.isEmpty())
        Prompts::information(
            QStringLiteral("These names cannot be names of files here and are left out:\n\n")
            + someOf(r.unfit));
    return true;
}

FolderTree::Existing FolderCommands::askExisting(int existing, int total) const
{
    const int chosen = Prompts::current().choose(QStringLiteral("Vrex Explorer"),
        QStringLiteral("%1 of the %2 files are there already.").arg(existing).arg(total),
        { QStringLiteral("Overwrite"), QStringLiteral("Overwrite if newer"),
            QStringLiteral("Skip existing"), QStringLiteral("Cancel") },
        2, Prompts::Icon::Question);
    switch (chosen) {
    case 0:
        return FolderTree::Existing::Overwrite;
    case 1:
        return FolderTree::Existing::OverwriteIfNewer;
    case 2:
        return FolderTree::Existing::SkipExisting;
    default:
        return FolderTree::Existing::Cancel;
    }
}

void FolderCommands::queueAll(const std::vector<Item> &items)
{
    if (services.folderBegins && !items.empty())
        services.folderBegins();
    for (const Item &item : items)
        services.addItem(item);
    services.handOver();
}

// ---- download ---------------------------------------------------------------

void FolderCommands::download(
    const QList<QTreeWidgetItem *> &folders, const QList<QTreeWidgetItem *> &files)
{
    if (folders.isEmpty() || busy())
        return;
    Transfer t;
    t.site = services.tree->siteConnectionOf(folders.first());
    QStringList remote;
    for (QTreeWidgetItem *m : folders)
        if (const TWin32FindData *entry = recordOf(m); !entry || !isUnresolvedLink(*entry))
            remote << services.tree->remotePathOf(m);
    if (remote.isEmpty())
        return;
    for (QTreeWidgetItem *m : files)
        t.files.push_back(
            { services.tree->remotePathOf(m), DirectoryMap::nameOf(*recordOf(m)), *recordOf(m) });
    const QString title = remote.size() == 1
        ? QStringLiteral("Download \"%1\" to:").arg(FolderTree::lastPart(remote.first()))
        : QStringLiteral("Download %1 Folders to:").arg(remote.size());
    t.localFolder = Prompts::current().browseFolder(title, startFolder());
    if (t.localFolder.isEmpty() || !newWalk(t.site))
        return;
    if (!t.localFolder.endsWith(QLatin1Char('/')))
        t.localFolder += QLatin1Char('/');
    services.settings->WriteValue(QStringLiteral("LastDir"), TaggedValue(t.localFolder));
    services.listing->tellStatus(QStringLiteral("Listing the folders to download..."));
    walk->walk(remote, FolderWalk::Links::Probe, [this, t](const FolderWalk::Result &r) {
        walk->deleteLater();
        downloadWalked(t, r);
    });
}

void FolderCommands::downloadNode(QTreeWidgetItem *treeNode)
{
    QTreeWidgetItem *m = mapNodeOf(treeNode);
    if (!m || !treeNode->parent() || services.tree->isSiteNode(treeNode))
        return;
    download({ m }, {});
}

void FolderCommands::downloadWalked(const Transfer &t, const FolderWalk::Result &r)
{
    services.listing->tellStatus(QString());
    if (!reportWalk(r))
        return;
    std::vector<FolderTree::File> files = r.files;
    files.insert(files.end(), t.files.begin(), t.files.end());
    int existing = 0;
    for (const FolderTree::File &f : files)
        existing += exists(t.localFolder + f.relativePath) ? 1 : 0;
    const FolderTree::Existing rule
        = existing > 0 ? askExisting(existing, int(files.size())) : FolderTree::Existing::Overwrite;
    if (rule == FolderTree::Existing::Cancel)
        return;
    // The local folders are made now, the empty ones too: what the user sees
    // after the run is the tree as it was on the server.
    for (const FolderTree::Folder &folder : r.folders) {
        if (folder.link || QDir().mkpath(t.localFolder + folder.relativePath))
            continue;
        Prompts::error(QStringLiteral("Cannot create folder \"%1\". Nothing was queued.")
                           .arg(t.localFolder + folder.relativePath));
        return;
    }
    std::vector<Item> items;
    for (const FolderTree::File &f : files) {
        const QString local = t.localFolder + f.relativePath;
        TWin32FindData there {};
        const bool present = exists(local);
        if (present)
            TransferPaths::readLocalEntry(local, there);
        if (FolderTree::transfers(rule, present, f.entry.ftLastWriteTime, there.ftLastWriteTime))
            items.push_back({ f.remotePath, local, f.entry, kDownload, t.site });
    }
    queueAll(items);
}

// ---- upload -----------------------------------------------------------------

void FolderCommands::SendFolder1Click()
{
    const QString folder = Prompts::current().browseFolder(
        QStringLiteral("Send Folder to ") + services.tree->currentPath(), startFolder());
    if (!folder.isEmpty())
        upload({ folder });
}

void FolderCommands::upload(const QStringList &localFolders)
{
    QTreeWidgetItem *current = services.tree->current();
    if (!current || current == services.tree->root() || busy())
        return;
    Transfer t;
    t.site = services.tree->siteConnectionOf(mapNodeOf(current));
    const QString base = services.tree->currentPath();
    QStringList remote;
    for (QString folder : localFolders) {
        while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        const QString name = FolderTree::lastPart(folder);
        remote << FolderTree::join(base, name);
        // Links to folders are not followed: a link back up would never end.
        QDirIterator it(
            folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString relative = name + path.mid(folder.size());
            TWin32FindData entry;
            if (relative.contains(QLatin1Char('\r')) || relative.contains(QLatin1Char('\n'))
                || !TransferPaths::readLocalEntry(path, entry)) {
                t.unfit << relative;
                continue;
            }
            t.uploads.push_back(
                { path, FolderTree::join(base, relative), entry, kSend, t.site, true });
        }
    }
    if (!newWalk(t.site))
        return;
    services.listing->tellStatus(QStringLiteral("Looking for the files already there..."));
    walk->walk(remote, FolderWalk::Links::AsNames, [this, t](const FolderWalk::Result &r) {
        walk->deleteLater();
        uploadWalked(t, r);
    });
}

void FolderCommands::uploadWalked(const Transfer &t, const FolderWalk::Result &r)
{
    services.listing->tellStatus(QString());
    if (!reportWalk(r))
        return;
    if (!t.unfit.isEmpty())
        Prompts::information(
            QStringLiteral("These files cannot be read or sent and are left out:\n\n")
            + someOf(t.unfit));
    QHash<QString, TFileTime> there;
    for (const FolderTree::File &f : r.files)
        there.insert(f.remotePath, f.entry.ftLastWriteTime);
    int existing = 0;
    for (const Item &item : t.uploads)
        existing += there.contains(item.saveFile) ? 1 : 0;
    const FolderTree::Existing rule = existing > 0 ? askExisting(existing, int(t.uploads.size()))
                                                   : FolderTree::Existing::Overwrite;
    if (rule == FolderTree::Existing::Cancel)
        return;
    std::vector<Item> items;
    for (const Item &item : t.uploads) {
        const auto found = there.constFind(item.saveFile);
        const bool present = found != there.constEnd();
        if (FolderTree::transfers(
                rule, present, item.entry.ftLastWriteTime, present ? *found : TFileTime {}))
            items.push_back(item);
    }
    queueAll(items);
}

// ---- delete -----------------------------------------------------------------

bool FolderCommands::inTree(QTreeWidgetItem *node) const
{
    for (QTreeWidgetItemIterator it(services.tree->ui.tree); *it; ++it)
        if (*it == node)
            return true;
    return false;
}

void FolderCommands::deleteFolder(QTreeWidgetItem *treeNode)
{
    QTreeWidgetItem *m = mapNodeOf(treeNode);
    if (!m || busy())
        return;
    const QString path = services.tree->remotePathOf(m);
    if (!newWalk(services.tree->siteConnectionOf(m)))
        return;
    services.listing->tellStatus(QStringLiteral("Listing \"%1\" to delete it...").arg(path));
    walk->walk({ path }, FolderWalk::Links::AsNames,
        [this, treeNode, path](const FolderWalk::Result &r) { deleteWalked(treeNode, path, r); });
}

void FolderCommands::deleteWalked(
    QTreeWidgetItem *treeNode, const QString &path, const FolderWalk::Result &r)
{
    services.listing->tellStatus(QString());
    int files = int(r.files.size()), folders = 0;
    for (const FolderTree::Folder &f : r.folders)
        (f.link ? files : folders) += f.depth > 0 || f.link ? 1 : 0;
    const bool asked = !r.failed
        && Prompts::askYesNo(QStringLiteral("Delete the folder \"%1\" with the %2 files and "
                                            "%3 folders in it?")
                                 .arg(path)
                                 .arg(files)
                                 .arg(folders));
    if (r.failed && !r.failure.isEmpty())
        Prompts::error(r.failure + QStringLiteral(" Nothing was deleted."));
    if (!asked) {
        walk->deleteLater();
        return;
    }
    walk->removeAll([this, treeNode, path](const QString &failure) {
        walk->deleteLater();
        const bool known = inTree(treeNode);
        if (!failure.isEmpty()) {
            Prompts::error(
                QStringLiteral("The folder \"%1\" was not deleted completely. ").arg(path)
                + failure);
            if (known)
                services.tree->markNotListed(treeNode);
            return;
        }
        if (known && services.folderDeleted)
            services.folderDeleted(treeNode);
    });
}
