#pragma once

#include "app/MainLayout.h"
#include "dispatch/ActionDispatch.h"
#include "dispatch/TransferCompletion.h"
#include "dispatch/TransferLanes.h"
#include "explorer/ListingView.h"
#include "ftp/WinInetFTP.h"
#include "storage/SiteBook.h"
#include "storage/SiteOptionsFile.h"
#include "transfers/RunningTransfer.h"
#include "transfers/WatchList.h"

#include <QList>
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>

class CertificateTrust;
class DesktopNotifier;
class HostKeyTrust;
class FileCommands;
class FileOperations;
class FolderCommands;
class FolderProgress;
class HelpViewer;
class ListingView;
class SiteTree;
class SiteTreeCommands;
class QComboBox;
class QDialog;
class QTimer;
class QTreeWidgetItem;
class TAboutBox;
class TFormConnect;
class TFormGetFile;
class TFormMessage;
class TFormNewer;
class TFormOptions;
class TFormStartQueue;
class TRegFile;
class TransferProgress;
class TransferQueue;
class QueueSaver;
struct SiteConnection;
class UrlSiteOpener;
class WindowMemory;
enum class TViewStyle;

// The main window: builds the layout, creates the subsystems and wires them,
// and runs the window's lifecycle from start-up to shutdown.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // The dialogs live from start-up to the end, created in this order.
    void createDialogs();
    QList<QDialog *> dialogs() const { return dialogList; }

    MainLayout &controls() { return ui; }
    TransferQueue &queue() { return *transferQueue; }
    WatchList &watches() { return *watchList; }
    TransferProgress &progress() { return *transferProgress; }
    ActionDispatch &actions() { return dispatch; }
    TransferCompletion &completion() { return transferEnd; }
    TransferLanes &lanes() { return *transferLanes; }
    // "Simultaneous transfers", read as each item starts; unset: 2.
    void setSimultaneousTransfers(std::function<int()> setting);
    TRegFile &settings() { return *Reg; }
    SiteBook &siteBook() { return sites; }
    SiteOptionsFile &siteOptions() { return options; }
    QTreeWidgetItem *root() const;
    TWinInetFTP &ftp() { return *WinInetFTP1; }
    SiteTree &tree() { return *siteTree; }
    SiteTreeCommands &treeCommands() { return *siteCommands; }
    FileCommands &files() { return *fileCommands; }
    FolderCommands &folders() { return *folderCommands; }
    FileOperations &fileOperations() { return *fileOps; }
    ListingView &listing() { return *listingView; }
    TFormMessage *FormMessage() const { return formMessage; }
    HelpViewer *help() const { return helpViewer.get(); }
    bool isClosing() const { return closing; }

    // Lifecycle handlers.
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void FormClose();

    void TabSet1Change(int newTab, bool &allowChange);
    void TabSet1Click();
    void ExplorerStyleButtons1Click();
    void Panel8MouseDown();
    void Panel8MouseMove(int x, ToolBarPanel *bar);
    void Panel8MouseUp();
    void Contents1Click();
    void Exit1Click();
    void About1Click();
    void LastMessage1Click();
    void SpeedStopClick();
    void SpeedQueueClick();
    void MenuDeleteClick();
    void MenuDownloadClick();
    void MenuOpenClick();
    void MenuAddClick();

    // An ftp:// address to open once the window shows, before the last site.
    void openAtStart(const QString &url);
    // A later start's address ("" for none): the window comes to the front.
    void handOver(const QString &url);
    void bringToFront();
    // The file the last download wrote, for "Show in Folder".
    QString lastDownloadedFile() const { return lastDownload; }

    // The site combo of the tool bar that is shown.
    QComboBox *visibleSiteCombo() const;
    // Status panel 0 from a progress code.
    void showStatus(int code);
    // Shows at once a status code that the panel still holds back.
    void showHeldStatus();
    // The last status panel: whether the connection is encrypted.
    void showEncryption();
    // "View > Options...": settingsChanged follows when OK changed a value.
    void Options1Click();

signals:
    // A setting of the Options dialog changed (read it with TransferSettings).
    void settingsChanged();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectCommands();
    void connectToolBar(ToolBarPanel *bar);
    void resetWindowState();
    void createSubsystems();
    void bindSessionEvents();
    void bindDispatch();
    void bindQueue();
    void bindCompletion();
    void bindQuickDownload();
    void bindLanes();
    void showItemProgress(const TransferLanes::ItemProgress &p);
    void laneItemEnding(int error, bool othersRun);
    void showRunningLines();
    void rememberDownload(const QString &path);
    void openDownloaded(const QString &path);
    bool releaseBrowseConnection(const SiteConnection &site);
    void openQuickDownload();
    void createFileCommands();
    void connectFileCommands();
    void createFolderCommands();
    void connectFolderCommands();
    QString folderSummary() const;
    void createWatchList();
    void connectWatchCommands();
    WatchList::FileSelection watchSelection() const;
    bool fileDropEvent(QEvent *event);
    void refreshAfterUpload();
    ListingView::TreeFacts treeFacts() const;
    void finishRunningOperations();
    void fitStatusPanels();
    QString closeQuestion() const;
    void Edit1Click();
    void connectSiteCommands();
    void connectFileOperations();
    void deleteKeyPressed();

    // Beyond the layout: what a desktop user expects of the window.
    void setUpComfort();
    void fitColumnsAndSize();
    void connectComfortKeys();
    void openSelectedRow();
    void openWebPage(const QUrl &url);

    // Addresses, notifications and "Show in Folder".
    void setUpDesktop();
    void addShowInFolderToMessages();
    bool openStartUrl();
    // The saved queue: back at start-up, stopped; kept in step with every change.
    void restoreSavedQueue();
    void saveToSiteBook();
    TSiteRecord *unsavedSiteOfSelection() const;
    void transferEnding(int error, bool fileArrived);
    void notifyInBackground(const QString &text);
    void showDownloadInFolder();

    MainLayout ui;
    ActionDispatch dispatch;
    TransferCompletion transferEnd;
    std::unique_ptr<TRegFile> Reg;
    SiteBook sites;
    SiteOptionsFile options;
    TransferQueue *transferQueue = nullptr;
    QueueSaver *queueSaver = nullptr;
    TransferLanes *transferLanes = nullptr;
    std::function<int()> simultaneousSetting; // set by tests; else the stored value
    int storedSimultaneous = 2;
    std::map<uint64_t, RunningTransfer> runningLines; // the panel's lines, by queue item
    WatchList *watchList = nullptr;
    TransferProgress *transferProgress = nullptr;
    std::unique_ptr<HelpViewer> helpViewer;
    std::unique_ptr<WindowMemory> memory;
    std::unique_ptr<CertificateTrust> certificateTrust;
    UrlSiteOpener *urlSites = nullptr;
    DesktopNotifier *notifier = nullptr;
    QString startUrl;
    QString lastDownload;
    std::unique_ptr<HostKeyTrust> hostKeyTrust;

    QList<QDialog *> dialogList;
    TFormConnect *formConnect = nullptr;
    TFormMessage *formMessage = nullptr;
    TAboutBox *aboutBox = nullptr;
    TFormStartQueue *formStartQueue = nullptr;
    TFormNewer *formNewer = nullptr;
    TFormGetFile *formGetFile = nullptr;
    TFormOptions *formOptions = nullptr;

    TWinInetFTP *WinInetFTP1;
    ListingView *listingView = nullptr;
    SiteTree *siteTree = nullptr;
    SiteTreeCommands *siteCommands = nullptr;
    FileCommands *fileCommands = nullptr;
    FolderCommands *folderCommands = nullptr;
    std::unique_ptr<FolderProgress> folderProgress;
    FileOperations *fileOps = nullptr;
    QTimer *statusTimer = nullptr; // shows the latest session status code
    int pendingStatus = 0;
    bool closing = false;
    bool shown = false;
    bool dragging = false;
};
