#pragma once

#include <QFlags>

// What the command rules need to know about the site tree.
struct TreeFacts {
    bool hasSites = false; // the root has children
    bool hasCurrent = false; // a current node exists
    bool currentIsRoot = false;
    bool currentIsSite = false; // the current node is a child of the root
    bool currentHasMapNode = false;
    bool currentMapHasChildren = false;
    bool hasSelectedNode = false; // a tree node is selected
    bool selectedIsSite = false;
    bool selectedIsRoot = false;
    bool hasConnectionHost = false; // the current connection's host is not empty
};

// What is selected in the three lists.
struct SelectionFacts {
    int selectedRows = 0; // of the directory list
    bool firstSelectedIsFolder = false; // the first in row order
    bool watchSelection = false;
    bool queueSelection = false;
};

// Which commands are enabled, named after their controls, in the groups that
// one event decides (see CommandGroup): the window applies only the groups
// decided, the others keep what they show.
struct CommandState {
    // The explorer-style tool bar, by page and selection.
    struct ExplorerBar {
        bool Delete = false, Open = false, Download = false, Watch = false, Send = false,
             Edit = false;
    } bar;
    // Busy: Stop on and Send off on both tool bars; idle the other way round.
    bool Stop = false;
    // The watch item reads "Remove from Watch List" on the watch page.
    struct FileMenu {
        bool MenuOpen = false, MenuDownload = false, MenuNewer = false, MenuUpload = false,
             MenuAdd = false, MenuDelete = false, CreateDirectory1 = false, RenameFile1 = false;
        bool MenuAddRemoves = false;
    } file;
    // The directory list's context menu.
    struct PopupMenu {
        bool Open1 = false, Download1 = false, Rename1 = false, DeleteFile1 = false,
             AddtoWatchList1 = false;
    } popup;
    // View, Refresh.
    struct RefreshItems {
        bool Files1 = false, All1 = false;
    } refresh;
};

// The parts of the state that one event decides.
enum class CommandGroup {
    ExplorerBar = 0x1, // selection clicks and tab switches
    Busy = 0x2,
    FileMenu = 0x4, // as the File menu opens
    PopupMenu = 0x8, // as the list's context menu opens
    RefreshItems = 0x10, // as the View menu opens, and with every click
};
Q_DECLARE_FLAGS(CommandGroups, CommandGroup)
Q_DECLARE_OPERATORS_FOR_FLAGS(CommandGroups)

namespace CommandRules {

// Pages of the notebook.
enum Page { SitePage = 0, WatchPage = 1, QueuePage = 2 };

// Every group at once; each field depends only on the facts given.
CommandState decide(const TreeFacts &tree, const SelectionFacts &selection, int page, bool busy);

} // namespace CommandRules
