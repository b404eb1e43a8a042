#pragma once

#include "explorer/ListingView.h"

class MainMenu;
class QFrame;
class QLabel;
class QMainWindow;
class QMenu;
class QStackedWidget;
class QTabBar;
class QTreeWidget;
class QWidget;
class StatusPanels;
class TListView;
class ToolBarPanel;
class TwoWaySplitter;

// Builds the main window's controls and keeps them under their layout names,
// from the menu bar down to the status bar.
struct MainLayout {
    explicit MainLayout(QMainWindow *window);

    // The controls the directory listing works on.
    ListingView::Controls listingControls() const;

    MainMenu *menu;
    QFrame *Bevel1;
    ToolBarPanel *PanelTools;
    ToolBarPanel *PanelExplorerTools;
    QStackedWidget *Notebook1;
    TwoWaySplitter *TwoWaySplitter1;
    QLabel *PanelTree;
    QTreeWidget *TreeView1;
    QTreeWidget *TreeView2;
    QFrame *PanelTransfer;
    QLabel *PanelFiles;
    TListView *ListView1;
    TListView *ListView2;
    TListView *ListView3;
    QTabBar *TabSet1;
    StatusPanels *StatusBar1;
    QMenu *PopupMenu1; // file list
    QMenu *PopupMenu2; // watch list
    QMenu *PopupMenu3; // site tree
    QMenu *PopupMenu4; // queue

private:
    QWidget *buildToolBars(QWidget *parent);
    QWidget *buildSitePage();
    QWidget *buildWatchPage();
    QWidget *buildQueuePage();
    void buildStatusBar(QMainWindow *window);
    void buildPopupMenus(QMainWindow *window);
};
