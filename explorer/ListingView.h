#pragma once

#include "explorer/CommandRules.h"
#include "explorer/DirectoryListModel.h"

#include <QDate>
#include <QElapsedTimer>
#include <QList>
#include <QObject>

#include <functional>
#include <vector>

class QMenu;
class QPoint;
class QStackedWidget;
class QTimer;
class QTreeWidgetItem;
class StatusPanels;
class TListView;
enum class TViewStyle;

// The directory list ListView1: its rows (one per map node), their order,
// the object and size panels, the view styles of the three lists, the busy
// state, and the facts that decide which commands are enabled. The window
// shows the command states and the view style on its menus and tool bars.
class ListingView : public QObject {
    Q_OBJECT
public:
    using TreeFacts = ::TreeFacts;
    using TreeFactsSource = std::function<TreeFacts()>;
    using MapNodePredicate = std::function<bool(QTreeWidgetItem *)>;

    // The widgets it works on, all owned by the window.
    struct Controls {
        TListView *list = nullptr; // ListView1
        TListView *watchList = nullptr; // ListView2
        TListView *queueList = nullptr; // ListView3
        QStackedWidget *pages = nullptr; // Notebook1
        StatusPanels *statusBar = nullptr;
        QMenu *popupMenu = nullptr; // PopupMenu1, opened on ListView1
    };

    // Roles of the name column of ListView1's rows.
    static constexpr int kMapNodeRole = DirectoryListModel::kMapNodeRole;
    static constexpr int kImageIndexRole = DirectoryListModel::kImageIndexRole;

    explicit ListingView(const Controls &controls, QObject *parent = nullptr);
    ~ListingView() override;

    void setTreeFacts(TreeFactsSource source);
    // The watch and queue lists keep their own totals; shown on their pages.
    void setWatchSizeTotal(double bytes);
    void setQueueSizeTotal(double bytes);

    // Rows. A row holds its map node by pointer: whoever deletes map nodes
    // removes their rows first (removeRowsWhere or clear).
    void clear();
    void addEntryRow(QTreeWidgetItem *mapNode);
    void addSiteRow(QTreeWidgetItem *mapSiteNode);
    // Also lowers the size total by the removed rows' sizes.
    void removeRowsWhere(const MapNodePredicate &shows);
    // Rows reach ListView1's views in batches; this hands over the ones
    // still waiting (sorting and removing do it themselves).
    void flushRows();
    int rowCount() const;
    QTreeWidgetItem *rowMapNode(int row) const;
    // In row order, so the first is the "first selected row".
    QList<QTreeWidgetItem *> selectedMapNodes() const;
    double sizeTotal() const { return sizeSum; }

    // In-place renaming of a row's name: which rows may be edited, the
    // editor opened on one, and a name shown while its rename runs.
    void setNameEditable(const MapNodePredicate &editable);
    void editRowName(QTreeWidgetItem *mapNode);
    void setRowCaption(QTreeWidgetItem *mapNode, const QString &caption);
    void restoreRowCaption(QTreeWidgetItem *mapNode);
    // Makes the row the one selected, with the list's focus.
    void selectRow(QTreeWidgetItem *mapNode);

    int sortColumn() const { return sortCol; }
    bool sortAscending() const { return ascending; }
    // A column outside the list is refused.
    void setSort(int column, bool ascending);
    void sortDirectoryList();
    void sortSiteList();
    void ListView1ColumnClick(int column);

    void refreshPanels();
    // What a command did, or why it did nothing, in the status panel; the
    // whole sentence also as the panel's tool tip, should it be cut.
    void tellStatus(const QString &text);
    // While the site book is empty the list says how to add a site.
    void showEmptySiteBookHint();

    // 0 large icons, 1 small icons, 2 list, 3 details: for the shown page's list.
    void setViewStyle(TViewStyle style);
    // After a tab switch: the indicators follow the newly shown list.
    void showViewStyleOfPage(int page);

    void setBusy(bool busy);
    bool isBusy() const { return busy; }
    // Queue transfers run on connections of their own: Stop stays on for
    // them, while the browse connection's commands stay free.
    void setTransfersRunning(bool running);
    // As last decided, group by group.
    const CommandState &commandState() const { return commands; }

    void EventClick();
    void PopupMenu1Popup();
    void File2Click();
    void View1Click();
    void FormKeyUp(int key);
    // Position in the viewport of the shown view of ListView1.
    void ListView1MouseDown(const QPoint &pos);
    bool itemHit() const { return hit; }

signals:
    // The groups decided by the latest event; the others are unchanged.
    void commandStateChanged(const CommandState &state, CommandGroups decided);
    // The style to show on the menu items and the tool bars' style buttons.
    void viewStyleShown(TViewStyle style);
    void deleteRequested();
    // Every mouse press on ListView1: whether it landed on a row.
    void itemHitChanged(bool hit);
    // Enter on ListView1.
    void openRequested();
    // F2 on ListView1.
    void renameRequested();
    // A name typed into a row's editor, told once the editor has closed.
    void rowNameEdited(QTreeWidgetItem *mapNode, const QString &name);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void observeList(TListView *list);
    void rowRefresh();
    void appendRow(QTreeWidgetItem *mapNode, bool site);
    QDate today();
    int currentPage() const;
    TListView *listOfPage(int page) const;
    TreeFacts treeFacts() const;
    QList<int> selectedRows() const;
    bool firstSelectedIsFolder(const QList<int> &rows) const;
    SelectionFacts selectionFacts() const;
    void decide(CommandGroups groups);
    bool isViewOfList(QObject *object) const;

    Controls ui;
    DirectoryListModel *rows;
    QTimer *flushTimer;
    TreeFactsSource factsSource;
    CommandState commands;
    double sizeSum = 0;
    double watchSum = 0;
    double queueSum = 0;
    int refreshCounter = 0;
    QElapsedTimer sinceRefresh;
    QElapsedTimer sinceToday;
    QDate todayCache;
    static constexpr int kRefreshIntervalMs = 8;
    int sortCol = 0;
    bool ascending = true;
    bool busy = false;
    bool transfersRunning = false;
    bool hit = false;
    bool detached = false;
};
