#include "explorer/FileCommands.h"

#include "explorer/DirectoryMap.h"
#include "explorer/ListingView.h"
#include "explorer/TransferPaths.h"
#include "platform/LocalName.h"
#include "platform/Prompts.h"
#include "platform/TempFolder.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

QString FileCommands::saveAs(const QString &remotePath)
{
    TaggedValue lastDir;
    services.settings->ReadValueDef(QStringLiteral("LastDir"), TaggedValue(QString()), lastDir);
    QString folder = lastDir.toString();
    if (folder.isEmpty())
        folder = QDir::tempPath() + QLatin1Char('/');
    const QString chosen = Prompts::current().saveFileName(TransferPaths::saveTitle(remotePath),
        folder + LocalName::fromServerName(TransferPaths::baseName(remotePath)), QString());
    if (chosen.isEmpty())
        return QString();
    services.settings->WriteValue(
        QStringLiteral("LastDir"), TaggedValue(TransferPaths::folderOf(chosen)));
    if (!QFileInfo::exists(chosen))
        return chosen;
    const auto answer = Prompts::current().message(QStringLiteral("Vrex Explorer"),
        QStringLiteral("File: \"") + chosen
            + QStringLiteral("\" already exists.\r\rIs it okay to overwrite this file?"),
        QMessageBox::Ok | QMessageBox::Cancel, Prompts::Icon::Question);
    // The old file stays until the new one is complete: a download that
    // fails must not have cost the user the file it was to replace.
    return answer == QMessageBox::Ok ? chosen : QString();
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
    for (QTreeWidgetItem *mapNode : rows) {
        if (isFolderNode(mapNode))
            continue;
        const QString local = localPathFor(mapNode, actionText);
        if (local.isEmpty())
            break;
        services.addQueueItem(
            services.tree->remotePathOf(mapNode), local, *recordOf(mapNode), actionText, site);
    }
    services.handOver();
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
    services.addQueueItem(remote, local, *recordOf(mapNode), kDownload, siteOfCurrentNode());
    services.handOver();
}

bool FileCommands::queueUpload(const QString &localPath, const SiteConnection &site)
{
    TWin32FindData entry;
    if (!TransferPaths::readLocalEntry(localPath, entry) || isDirectory(entry))
        return false;
    services.addQueueItem(localPath,
        TransferPaths::uploadTarget(services.tree->currentPath(), localPath), entry,
        QStringLiteral("Send"), site);
    return true;
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
    for (const QString &path : chosen)
        if (!queueUpload(path, site))
            Prompts::error(
                QStringLiteral("Error accessing file \"") + path + QStringLiteral("\"."));
    services.handOver();
}

void FileCommands::uploadDropped(const QStringList &localPaths)
{
    const SiteConnection site = siteOfCurrentNode();
    int folders = 0;
    for (const QString &path : localPaths) {
        if (QFileInfo(path).isDir())
            ++folders;
        else
            queueUpload(path, site); // an unreadable path is left out
    }
    if (folders > 0)
        Prompts::information(QStringLiteral("Directory selections were ignored.  "
                                            "Please select only individual files."));
    if (services.raiseWindow)
        services.raiseWindow();
    services.handOver();
}
