#include "explorer/CommandRules.h"

namespace CommandRules {
namespace {

// Listed folders are deleted only when empty; a site goes with its folders.
bool currentMayBeDeleted(const TreeFacts &tree)
{
    return tree.currentHasMapNode && (!tree.currentMapHasChildren || tree.currentIsSite);
}

void explorerBarOnSitePage(
    CommandState::ExplorerBar &s, const TreeFacts &tree, const SelectionFacts &sel)
{
    const bool inDirectory = tree.hasCurrent && !tree.currentIsRoot;
    s.Send = tree.hasSites && inDirectory;
    if (sel.selectedRows > 0 && !tree.currentIsRoot) {
        // Folders are downloaded with everything in them.
        s.Download = true;
        if (sel.firstSelectedIsFolder)
            return;
        s.Open = s.Watch = true;
        s.Delete = sel.selectedRows == 1;
        return;
    }
    if (!tree.hasSelectedNode)
        return;
    s.Edit = tree.selectedIsSite;
    s.Delete = inDirectory && currentMayBeDeleted(tree);
}

void explorerBar(
    CommandState::ExplorerBar &s, const TreeFacts &tree, const SelectionFacts &sel, int page)
{
    if (page == SitePage) {
        explorerBarOnSitePage(s, tree, sel);
    } else if (page == WatchPage && sel.watchSelection) {
        s.Delete = s.Open = s.Download = true;
    } else if (page == QueuePage && sel.queueSelection) {
        s.Delete = true;
    }
}

// Download stays on everywhere: with nothing selected it asks for a file by name.
void fileMenu(CommandState::FileMenu &s, const TreeFacts &tree, const SelectionFacts &sel, int page)
{
    s.MenuDownload = true;
    s.MenuAddRemoves = page == WatchPage;
    if (page == WatchPage) {
        s.MenuOpen = s.MenuNewer = s.MenuAdd = sel.watchSelection;
        return;
    }
    if (page != SitePage)
        return;
    if (tree.hasCurrent && !tree.currentIsRoot) {
        s.CreateDirectory1 = s.MenuUpload = true;
        s.MenuDelete = currentMayBeDeleted(tree);
    }
    if (sel.selectedRows == 0)
        return;
    s.MenuOpen = s.MenuAdd = true;
    if (sel.selectedRows == 1) {
        s.MenuDelete = true;
        s.RenameFile1 = !sel.firstSelectedIsFolder;
    }
}

void popupMenu(CommandState::PopupMenu &s, const TreeFacts &tree, const SelectionFacts &sel)
{
    if (sel.selectedRows == 0)
        return;
    // Folder rows (not the site rows of the root) go down whole.
    s.Download1 = !tree.currentIsRoot;
    if (sel.firstSelectedIsFolder)
        return;
    s.Open1 = s.Download1 = s.AddtoWatchList1 = true;
    s.Rename1 = s.DeleteFile1 = sel.selectedRows == 1;
}

} // namespace

CommandState decide(const TreeFacts &tree, const SelectionFacts &selection, int page, bool busy)
{
    CommandState s;
    explorerBar(s.bar, tree, selection, page);
    s.Stop = busy;
    fileMenu(s.file, tree, selection, page);
    popupMenu(s.popup, tree, selection);
    // After a failed connect the node still selected can be tried again.
    s.refresh.Files1 = tree.hasConnectionHost || (tree.hasSelectedNode && !tree.selectedIsRoot);
    s.refresh.All1 = tree.hasSites;
    return s;
}

} // namespace CommandRules
