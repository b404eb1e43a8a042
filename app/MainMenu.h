#pragma once

#include <QObject>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;

// The main window's menu bar: every item with its caption, shortcut and
// initial state. Items are reached by their layout names.
class MainMenu : public QObject {
    Q_OBJECT
public:
    explicit MainMenu(QMenuBar *bar);

    QMenu *File1, *Site1, *View1, *Help1, *Refresh1;

    // File
    QAction *MenuOpen, *MenuDownload, *MenuNewer, *MenuUpload, *MenuDelete, *RenameFile1,
        *CreateDirectory1, *MenuAdd, *Exit1;
    QAction *MenuSendFolder; // a local folder with everything in it
    // Site
    QAction *New1, *Edit1, *Delete2, *SiteSeparator, *DownloadSite1, *Queue1;
    // View
    QAction *TransferProgress1, *LastMessage1, *LargeIcons1, *SmallIcons1, *List1, *Details1,
        *Files1, *All1, *ExplorerStyleButtons1;
    QAction *Options1;
    QActionGroup *ViewStyleGroup;
    // Help
    QAction *Contents1, *WebTour1, *HomePage1, *About1;

private:
    void buildFile(QMenuBar *bar);
    void buildSite(QMenuBar *bar);
    void buildView(QMenuBar *bar);
    void buildHelp(QMenuBar *bar);
};
