#include "explorer/FileCommands.h"

#include "explorer/DirectoryMap.h"
#include "explorer/ListingView.h"
#include "explorer/OverwriteQuestion.h"
#include "explorer/TransferPaths.h"
#include "platform/LocalName.h"
#include "platform/Prompts.h"
#include "platform/TempFolder.h"
#include "platform/UserFolders.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"

#include <QFile>
#include <QFileInfo>

using DirectoryMap::nameOf;
using DirectoryMap::recordOf;

namespace {

const QString kDownload = QStringLiteral("Download");

bool isFolderNode(QTreeWidgetItem *mapNode)
{
    const TWin32FindData *entry = recordOf(mapNode);
    return !entry || isDirectory(*entry);
}

} // namespace

FileCommands::FileCommands(const Services &s, QObject *parent) : QObject(parent), services(s) { }

// The folder the user chose last, else the desktop's Downloads folder.
QString FileCommands::startFolder() const
{
    TaggedValue lastDir;
    services.settings->ReadValueDef(QStringLiteral("LastDir"), TaggedValue(QString()), lastDir);
    const QString folder = lastDir.toString();
    return folder.isEmpty() ? UserFolders::downloads() + QLatin1Char('/') : folder;
}

QString FileCommands::saveAs(const QString &remotePath)
{
    const QString chosen = Prompts::current().saveFileName(TransferPaths::saveTitle(remotePath),
        startFolder() + LocalName::fromServerName(TransferPaths::baseName(remotePath)), QString());
    if (chosen.isEmpty())
        return QString();
    services.settings->WriteValue(
        QStringLiteral("LastDir"), TaggedValue(TransferPaths::folderOf(chosen)));
    if (!QFileInfo::exists(chosen))
        return chosen;
    // The old file stays until the new one is complete: a download that
    // fails must not have cost the user the file it was to replace.
    OverwriteQuestion question(false);
    return question.ask(chosen) == OverwriteQuestion::Answer::Replace ? chosen : QString();
}

SiteConnection FileCommands::siteOfMapNode(QTreeWidgetItem *mapNode) const
{
    const TSiteRecord *site = services.tree->siteRecordOf(mapNode);
    if (!site)
        return {};
    return { site->FTPSite, site->Login, site->Password };
}

// Files belong to the site of the folder shown, which need not be the one
// the session is connected to.
SiteConnection FileCommands::siteOfCurrentNode() const
{
    return siteOfMapNode(DirectoryMap::mapNodeOf(services.tree->current()));
}

QString FileCommands::localPathFor(QTreeWidgetItem *mapNode, const QString &actionText)
{
    const QString remote = services.tree->remotePathOf(mapNode);
    if (!actionText.contains(QLatin1String("Open")))
        return saveAs(remote);
    QString error;
    if (!TempFolder::ensure(&error)) {
        Prompts::error(error);
        return QString();
    }
    return TransferPaths::openTarget(TempFolder::path(), *recordOf(mapNode));
}

void FileCommands::downloadSelection(const QString &actionText)
{
    const QList<QTreeWidgetItem *> rows = services.listing->selectedMapNodes();
    if (rows.isEmpty())
        return;
    const SiteConnection site = siteOfMapNode(rows.first());
    QList<QTreeWidgetItem *> files;
    for (QTreeWidgetItem *mapNode : rows)
        if (!isFolderNode(mapNode))
            files << mapNode;
    if (files.size() < rows.size() && services.downloadFolders
        && services.tree->current() != services.tree->root()
        && !actionText.contains(QLatin1String("Open"))) {
        QList<QTreeWidgetItem *> folders;
        for (QTreeWidgetItem *mapNode : rows)
            if (isFolderNode(mapNode))
                folders << mapNode;
        services.downloadFolders(folders, files);
        return;
    }
    if (files.size() < rows.size())
        services.listing->tellStatus(
            QStringLiteral("Folders are not downloaded: open one and select its files."));
    if (files.size() > 1 && !actionText.contains(QLatin1String("Open"))) {
        downloadIntoFolder(files, site);
    } else {
        for (QTreeWidgetItem *mapNode : std::as_const(files)) {
            const QString local = localPathFor(mapNode, actionText);
            if (local.isEmpty())
                break;
            services.addQueueItem(services.tree->remotePathOf(mapNode), local,
                *recordOf(mapNode), actionText, site, false);
        }
    }
    services.handOver();
}

// Several files: one folder for all, and one question for those it holds.
void FileCommands::downloadIntoFolder(
    const QList<QTreeWidgetItem *> &files, const SiteConnection &site)
{
    const QString folder = Prompts::current().browseFolder(
        QStringLiteral("Download %1 Files to:").arg(files.size()), startFolder());
    if (folder.isEmpty())
        return;
    services.settings->WriteValue(QStringLiteral("LastDir"),
        TaggedValue(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')));
    OverwriteQuestion question(true);
    for (QTreeWidgetItem *mapNode : files) {
        const QString local = TransferPaths::localPathIn(folder, *recordOf(mapNode));
        const QFileInfo there(local);
        if (there.exists() || there.isSymLink()) {
            const OverwriteQuestion::Answer answer = question.ask(local);
            if (answer == OverwriteQuestion::Answer::Cancel)
                break;
            if (answer == OverwriteQuestion::Answer::Skip)
                continue;
        }
        services.addQueueItem(services.tree->remotePathOf(mapNode), local, *recordOf(mapNode),
            kDownload, site, false);
    }
}

void FileCommands::ListView1DblClick()
{
    if (services.listing->isBusy() || !services.listing->itemHit())
        return;
    openOrDownloadRow();
}

void FileCommands::openOrDownloadRow()
{
    if (services.listing->isBusy())
        return;
    const QList<QTreeWidgetItem *> rows = services.listing->selectedMapNodes();
    if (rows.isEmpty())
        return;
    QTreeWidgetItem *mapNode = rows.first();
    if (isFolderNode(mapNode)) {
        if (services.openFolder)
            services.openFolder(mapNode->text(0));
        return;
    }
    if (isUnresolvedLink(*recordOf(mapNode))) {
        services.tree->openLink(mapNode, [this](QTreeWidgetItem *link) { downloadRow(link); });
        return;
    }
    downloadRow(mapNode);
}

void FileCommands::downloadRow(QTreeWidgetItem *mapNode)
{
    const QString remote = services.tree->remotePathOf(mapNode);
    const QString local = saveAs(remote);
    if (local.isEmpty())
        return;
    services.addQueueItem(
        remote, local, *recordOf(mapNode), kDownload, siteOfCurrentNode(), false);
    services.handOver();
}

// A file of that name in the folder's listing: an upload would replace it.
bool FileCommands::listedInCurrentFolder(const QString &name) const
{
    QTreeWidgetItem *folder = DirectoryMap::mapNodeOf(services.tree->current());
    for (int i = 0; folder && i < folder->childCount(); ++i)
        if (const TWin32FindData *entry = recordOf(folder->child(i));
            entry && nameOf(*entry) == name)
            return true;
    return false;
}

FileCommands::Upload FileCommands::queueUpload(
    const QString &localPath, const SiteConnection &site, OverwriteQuestion &question)
{
    TWin32FindData entry;
    if (!TransferPaths::readLocalEntry(localPath, entry) || isDirectory(entry))
        return Upload::Unreadable;
    const QString target = TransferPaths::uploadTarget(services.tree->currentPath(), localPath);
    if (listedInCurrentFolder(target.mid(target.lastIndexOf(QLatin1Char('/')) + 1))) {
        const OverwriteQuestion::Answer answer = question.ask(target);
        if (answer != OverwriteQuestion::Answer::Replace)
            return answer == OverwriteQuestion::Answer::Skip ? Upload::Skipped : Upload::Cancelled;
    }
    const bool listed = services.tree->isListed(DirectoryMap::mapNodeOf(services.tree->current()));
    services.addQueueItem(localPath, target, entry, QStringLiteral("Send"), site, !listed);
    return Upload::Queued;
}

void FileCommands::UploadFiletoSite1Click()
{
    const QString title = services.directoryLine ? services.directoryLine() : QString();
    TaggedValue lastDir;
    services.settings->ReadValueDef(QStringLiteral("LastDir"), TaggedValue(QString()), lastDir);
    const QStringList chosen = Prompts::current().openFileNames(title, lastDir.toString(),
        QStringLiteral("All Files (*.*)|*.*|Programs (*.exe)|*.exe|Text Files (*.txt)|*.txt"));
    if (chosen.isEmpty())
        return;
    const SiteConnection site = siteOfCurrentNode();
    OverwriteQuestion question(chosen.size() > 1);
    for (const QString &path : chosen) {
        const Upload done = queueUpload(path, site, question);
        if (done == Upload::Cancelled)
            break;
        if (done == Upload::Unreadable)
            Prompts::error(
                QStringLiteral("Error accessing file \"") + path + QStringLiteral("\"."));
    }
    services.handOver();
}

void FileCommands::uploadDropped(const QStringList &localPaths)
{
    const SiteConnection site = siteOfCurrentNode();
    QStringList files, folders;
    for (const QString &path : localPaths) {
        if (QFileInfo(path).isDir())
            folders << path;
        else
            files << path;
    }
    const bool whole = !folders.isEmpty() && services.uploadFolders
        && Prompts::askYesNo(QStringLiteral("Upload the dropped folders with everything in them?"));
    OverwriteQuestion question(files.size() > 1);
    for (const QString &path : std::as_const(files))
        if (queueUpload(path, site, question) == Upload::Cancelled)
            break; // an unreadable path is left out
    if (whole)
        services.uploadFolders(folders);
    else if (!folders.isEmpty())
        Prompts::information(QStringLiteral("Directory selections were ignored.  "
                                            "Please select only individual files."));
    if (services.raiseWindow)
        services.raiseWindow();
    services.handOver();
}
