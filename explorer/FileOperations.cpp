#include "explorer/FileOperations.h"

#include "explorer/DirectoryMap.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "ftp/FileTime.h"
#include "ftp/WinInetFTP.h"
#include "platform/IconList.h"
#include "platform/Prompts.h"
#include "storage/FixedSlot.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <algorithm>
#include <memory>
#include <utility>

using namespace DirectoryMap;

namespace {

const QString kRenameFailed = QStringLiteral("File could not be renamed.");

// A folder node while its name is typed and its creation runs. The slot it
// was put in lets go of it when the node goes, whoever deletes it.
class NewFolderNode : public QTreeWidgetItem {
public:
    NewFolderNode(QTreeWidgetItem *parent, std::weak_ptr<QTreeWidgetItem *> slot)
        : QTreeWidgetItem(parent), slot(std::move(slot))
    {
    }
    ~NewFolderNode() override
    {
        if (auto s = slot.lock(); s && *s == this)
            *s = nullptr;
    }

private:
    std::weak_ptr<QTreeWidgetItem *> slot;
};

// The editor of a new folder's name stands out from the rows around it.
class FramedNameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            line->setFrame(true);
        return editor;
    }
    void updateEditorGeometry(
        QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::updateEditorGeometry(editor, option, index);
        // Room for the frame around the text, and for a longer name.
        QRect r = editor->geometry();
        r.setHeight(std::max(r.height(), editor->sizeHint().height()));
        r.setWidth(std::max(r.width(), 160));
        r.moveCenter(QPoint(r.center().x(), option.rect.center().y()));
        editor->setGeometry(r);
    }
};

// A typed name names one entry of this folder: never a path, and never more
// than an entry record holds.
bool isPlainName(const QString &name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QChar(0))
        && name.toUtf8().size() < int(sizeof(TWin32FindData::cFileName));
}

// A folder's path with the separator a name is appended after.
QString folderPrefix(QString path)
{
    if (path.isEmpty())
        return QStringLiteral("/");
    if (!path.endsWith(QLatin1Char('/')) && !path.endsWith(QLatin1Char('\\')))
        path += QLatin1Char('/');
    return path;
}

bool hasEntryNamed(const QTreeWidgetItem *folderMap, const QString &name)
{
    for (int i = 0; i < folderMap->childCount(); ++i)
        if (const TWin32FindData *entry = recordOf(folderMap->child(i));
            entry && nameOf(*entry) == name)
            return true;
    return false;
}

bool isWithin(const QTreeWidgetItem *node, const QTreeWidgetItem *ancestor)
{
    for (; node; node = node->parent())
        if (node == ancestor)
            return true;
    return false;
}

} // namespace

bool TreeMenuState::operator==(const TreeMenuState &o) const
{
    return createFolder == o.createFolder && remove == o.remove && upload == o.upload
        && files == o.files && all == o.all && downloadSite == o.downloadSite
        && expandAll == o.expandAll && collapseAll == o.collapseAll && properties == o.properties;
}

FileOperations::FileOperations(const Controls &controls, SiteTree &t, ListingView &l,
    ActionRequests &a, TWinInetFTP &f, QObject *parent)
    : QObject(parent), ui(controls), tree(t), listing(l), actions(a), ftp(f)
{
    listing.setNameEditable([this](QTreeWidgetItem *m) { return ListView1Editing(m); });
    connect(&listing, &ListingView::rowNameEdited, this, &FileOperations::ListView1Edited);
    // Names are typed only into the node a command made; a double-click opens.
    ui.tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.tree->setItemDelegate(new FramedNameDelegate(ui.tree));
    // Queued: the answer to a name may be a message box, which must not
    // open while the editor is still closing.
    connect(
        ui.tree->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
        [this](QWidget *, QAbstractItemDelegate::EndEditHint hint) {
            treeEditorClosed(hint == QAbstractItemDelegate::RevertModelCache);
        },
        Qt::QueuedConnection);
}

TreeMenuState FileOperations::treeMenuState(const TreeMenuFacts &f)
{
    TreeMenuState s;
    s.expandAll = s.collapseAll = s.all = f.hasNodes;
    if (!f.itemHit || !f.hasSelected)
        return s;
    s.createFolder = s.upload = s.files = !f.selectedIsRoot;
    s.properties = s.downloadSite = f.selectedIsSite;
    s.remove = f.selectedIsSite || (!f.selectedHasChildren && f.hasMapNode && !f.mapHasChildren);
    return s;
}

// ---- delete a file ----------------------------------------------------------

void FileOperations::DeleteFile1Click()
{
    const QList<QTreeWidgetItem *> rows = listing.selectedMapNodes();
    QTreeWidgetItem *current = tree.current();
    if (listing.isBusy() || rows.size() != 1 || !current || current == tree.root())
        return;
    const TWin32FindData *entry = recordOf(rows.first());
    if (!entry || isDirectory(*entry))
        return;
    QString folder = tree.currentPath();
    if (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    // The name in its own case: on most servers another case is another file.
    const QString path = folder + QLatin1Char('/') + nameOf(*entry);
    if (!Prompts::askYesNo(QStringLiteral("Are you sure you want to delete \"%1\"?").arg(path)))
        return;
    rememberedRow = rows.first();
    requestPath = path;
    actions.request(PendingAction::DeleteFile, path);
    tree.runRequest(current);
}

void FileOperations::WinInetFTP1DeleteFileDone()
{
    if (actions.pendingAction() != PendingAction::DeleteFile) {
        rememberedRow = nullptr; // stopped: nothing here waits for it any more
        return;
    }
    if (failed()) {
        Prompts::error(QStringLiteral("The file \"%1\" could not be deleted.").arg(requestPath));
    } else if (QTreeWidgetItem *m = rememberedRow) {
        listing.removeRowsWhere([m](QTreeWidgetItem *node) { return node == m; });
        delete m;
    }
    closeRequest(PendingAction::DeleteFile);
}

// ---- rename a file ----------------------------------------------------------

void FileOperations::RenameFile1Click()
{
    const QList<QTreeWidgetItem *> rows = listing.selectedMapNodes();
    if (listing.isBusy() || rows.isEmpty())
        return;
    listEditing = true;
    if (ListView1Editing(rows.first()))
        listing.editRowName(rows.first());
}

bool FileOperations::ListView1Editing(QTreeWidgetItem *mapNode) const
{
    const TWin32FindData *entry = recordOf(mapNode);
    return listEditing && entry && !isDirectory(*entry);
}

void FileOperations::ListView1Edited(QTreeWidgetItem *mapNode, const QString &name)
{
    const TWin32FindData *entry = recordOf(mapNode);
    QTreeWidgetItem *current = tree.current();
    // The same name, or none, is no rename; and one operation at a time.
    if (!entry || !mapNode->parent() || !current || name.isEmpty() || name == nameOf(*entry)
        || listing.isBusy())
        return;
    listing.setRowCaption(mapNode, name);
    // Many servers rename over an existing file without a word: that file
    // would be lost.
    if (!isPlainName(name) || hasEntryNamed(mapNode->parent(), name)) {
        listing.restoreRowCaption(mapNode);
        listing.selectRow(mapNode);
        Prompts::error(kRenameFailed);
        return;
    }
    const QString folder = folderPrefix(tree.remotePathOf(mapNode->parent()));
    rememberedRow = mapNode;
    newName = name;
    actions.request(PendingAction::RenameFile, folder + nameOf(*entry), folder + name);
    tree.runRequest(current);
}

void FileOperations::WinInetFTP1RenameFileDone()
{
    QTreeWidgetItem *m = rememberedRow;
    if (actions.pendingAction() != PendingAction::RenameFile) {
        if (m)
            listing.restoreRowCaption(m);
        rememberedRow = nullptr;
        return;
    }
    if (TWin32FindData *entry = recordOf(m)) {
        if (failed()) {
            listing.restoreRowCaption(m);
            listing.selectRow(m);
            Prompts::error(kRenameFailed);
        } else {
            // From now on sorting, paths and every command use the new name.
            FixedSlot::write(newName, entry->cFileName, int(sizeof entry->cFileName));
            listing.restoreRowCaption(m);
        }
    }
    closeRequest(PendingAction::RenameFile);
}

// ---- create a folder --------------------------------------------------------

void FileOperations::CreateDirectory1Click()
{
    QTreeWidgetItem *selected = ui.tree->currentItem();
    if (listing.isBusy() || *named || !selected || selected == tree.root())
        return;
    auto *node = new NewFolderNode(selected, named);
    node->setIcon(0, IconList::instance().icon(IconList::instance().folderIndex(false)));
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    selected->setExpanded(true);
    treeEditing = true;
    namedRequestSent = false;
    *named = node;
    ui.tree->scrollToItem(node);
    ui.tree->editItem(node, 0);
}

bool FileOperations::TreeView1Editing(QTreeWidgetItem *node) const
{
    return treeEditing && node && node == *named && !namedRequestSent;
}

void FileOperations::treeEditorClosed(bool cancelled)
{
    if (QTreeWidgetItem *node = *named; node && !namedRequestSent)
        TreeView1Edited(node, cancelled ? QString() : node->text(0));
}

void FileOperations::TreeView1Edited(QTreeWidgetItem *node, const QString &name)
{
    if (!TreeView1Editing(node))
        return;
    node->setFlags(node->flags() & ~Qt::ItemIsEditable);
    QTreeWidgetItem *parentMap = mapNodeOf(node->parent());
    if (name.isEmpty() || listing.isBusy() || !parentMap) {
        removeNamedNode();
        return;
    }
    node->setText(0, name);
    requestPath = folderPrefix(tree.remotePathOf(parentMap)) + name;
    if (!isPlainName(name)) {
        removeNamedNode();
        Prompts::error(
            QStringLiteral("The directory \"%1\" could not be created.").arg(requestPath));
        return;
    }
    namedRequestSent = true;
    actions.request(PendingAction::CreateDir, requestPath);
    tree.runRequest(node->parent());
}

void FileOperations::WinInetFTP1CreateDirDone()
{
    QTreeWidgetItem *node = *named;
    if (actions.pendingAction() != PendingAction::CreateDir) {
        removeNamedNode();
        return;
    }
    if (failed()) {
        removeNamedNode();
        Prompts::error(
            QStringLiteral("The directory \"%1\" could not be created.").arg(requestPath));
    } else if (QTreeWidgetItem *parentMap = node ? mapNodeOf(node->parent()) : nullptr) {
        auto *record = tree.pool(PoolId::DirectoryMap).allocateRecord<TWin32FindData>();
        record->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        record->ftLastWriteTime = FileTime::nowUtc();
        FixedSlot::write(node->text(0), record->cFileName, int(sizeof record->cFileName));
        QTreeWidgetItem *mapEntry = addEntryNode(parentMap, record);
        setMapNode(node, mapEntry);
        // The folder shown holds it now: its row shows at once.
        if (node->parent() == tree.current()) {
            listing.addEntryRow(mapEntry);
            listing.sortDirectoryList();
            listing.refreshPanels();
        }
    }
    closeRequest(PendingAction::CreateDir);
}

void FileOperations::removeNamedNode()
{
    QTreeWidgetItem *node = std::exchange(*named, nullptr);
    namedRequestSent = false;
    if (!node)
        return;
    delete node;
    ui.tree->viewport()->update();
}

// ---- delete a folder --------------------------------------------------------

void FileOperations::deleteFolder(QTreeWidgetItem *node)
{
    if (listing.isBusy() || !node || node == tree.root() || tree.isSiteNode(node))
        return;
    QTreeWidgetItem *m = mapNodeOf(node);
    // A folder whose name is typed, or whose creation is not through yet,
    // is not on the server to be deleted.
    if (*named || !m) {
        listing.tellStatus(QStringLiteral("A new folder is still being created: delete it "
                                          "once it is there."));
        return;
    }
    // Only a folder known to be empty: its listing showed nothing.
    if ((m->childCount() > 0 || node->childCount() > 0) && deleteNotEmpty) {
        deleteNotEmpty(node);
        return;
    }
    if (m->childCount() > 0 || node->childCount() > 0) {
        listing.tellStatus(QStringLiteral("The folder \"%1\" is not empty: only an empty "
                                          "folder can be deleted.")
                               .arg(tree.remotePathOf(m)));
        return;
    }
    *named = node;
    namedRequestSent = true;
    requestPath = tree.remotePathOf(m);
    actions.request(PendingAction::DeleteDir, requestPath);
    tree.runRequest(node);
}

void FileOperations::WinInetFTP1DeleteDirDone()
{
    QTreeWidgetItem *node = std::exchange(*named, nullptr);
    if (actions.pendingAction() != PendingAction::DeleteDir) {
        namedRequestSent = false;
        return;
    }
    QTreeWidgetItem *parent = node ? node->parent() : nullptr;
    if (failed()) {
        Prompts::error(
            QStringLiteral("The directory \"%1\" could not be deleted.").arg(requestPath));
        parent = nullptr;
    } else if (node) {
        forgetFolderNode(node);
    }
    closeRequest(PendingAction::DeleteDir);
    showParentInstead(parent);
}

void FileOperations::folderGone(QTreeWidgetItem *node)
{
    QTreeWidgetItem *parent = node->parent();
    forgetFolderNode(node);
    showParentInstead(parent);
}

void FileOperations::forgetFolderNode(QTreeWidgetItem *node)
{
    if (isWithin(ui.tree->currentItem(), node)) {
        const QSignalBlocker quiet(ui.tree);
        ui.tree->setCurrentItem(node->parent());
    }
    tree.deleteNodeAndTwin(node);
}

// The folder shown is gone: its parent is shown instead.
void FileOperations::showParentInstead(QTreeWidgetItem *parent)
{
    if (parent && !tree.current() && ui.tree->currentItem() == parent) {
        tree.itemHit = true;
        tree.openSelectedNode();
    }
}

// ---- common -----------------------------------------------------------------

void FileOperations::closeRequest(PendingAction own)
{
    rememberedRow = nullptr;
    *named = nullptr;
    namedRequestSent = false;
    listing.setBusy(false);
    actions.finish(own);
    listing.EventClick();
}

bool FileOperations::failed() const
{
    return ftp.LastError() != errNone;
}

// A connection made for a request failed: what the request showed ahead
// of its end goes.
void FileOperations::requestNotRun(PendingAction action)
{
    switch (action) {
    case PendingAction::RenameFile:
        if (rememberedRow)
            listing.restoreRowCaption(rememberedRow);
        break;
    case PendingAction::CreateDir:
        removeNamedNode();
        break;
    case PendingAction::DeleteFile:
    case PendingAction::DeleteDir:
        break;
    default:
        return; // not one of ours: a name being typed stays
    }
    rememberedRow = nullptr;
    *named = nullptr;
    namedRequestSent = false;
}

// ---- the tree's context menu ------------------------------------------------

TreeMenuFacts FileOperations::treeMenuFacts() const
{
    TreeMenuFacts f;
    QTreeWidgetItem *selected = ui.tree->currentItem();
    QTreeWidgetItem *m = mapNodeOf(selected);
    f.hasNodes = ui.tree->topLevelItemCount() > 0;
    f.itemHit = tree.itemHit;
    f.hasSelected = selected != nullptr;
    f.selectedIsRoot = selected && selected == tree.root();
    f.selectedIsSite = tree.isSiteNode(selected);
    f.selectedHasChildren = selected && selected->childCount() > 0;
    f.hasMapNode = m != nullptr;
    f.mapHasChildren = m && m->childCount() > 0;
    return f;
}

void FileOperations::PopupMenu3Popup()
{
    const TreeMenuFacts facts = treeMenuFacts();
    const TreeMenuState s = treeMenuState(facts);
    const std::pair<const char *, bool> items[]
        = { { "CreateFolder2", s.createFolder }, { "Delete3", s.remove }, { "Upload2", s.upload },
              { "Refresh2", s.files }, { "RefreshAll2", s.all },
              { "DownloadSite2", s.downloadSite }, { "ExpandAll1", s.expandAll },
              { "CollapseAll1", s.collapseAll }, { "Properties1", s.properties } };
    for (const auto &[name, enabled] : items)
        if (QAction *item = ui.treeMenu->findChild<QAction *>(QLatin1String(name)))
            item->setEnabled(enabled);
    if (facts.itemHit && facts.hasSelected)
        ui.tree->currentItem()->setExpanded(true);
}
