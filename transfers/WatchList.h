#pragma once

#include "storage/WatchFile.h"
#include "transfers/QueueItem.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QAction;
class QMenu;
class QStandardItem;
class TFormNewer;
class TListView;

// The watch list ListView2: remote files remembered with the entry seen when
// they were added, kept in the watch file between runs, downloaded through the
// queue. Each row keeps its own copy of its entry.
class WatchList : public QObject {
    Q_OBJECT
public:
    struct Controls {
        TListView *list = nullptr; // ListView2
        QMenu *popupMenu = nullptr; // PopupMenu2, with its items
    };
    struct RowTexts {
        QString size, type, modified;
        int iconIndex = -1;
    };
    // The file list's selected rows as the site explorer sees them.
    struct FileSelection {
        struct Row {
            QString caption;
            bool hasEntry = false;
            TWin32FindData entry {};
        };
        QList<Row> rows;
        QString currentPath;
        QString host, login, password;
    };
    struct Services {
        // The row texts of an entry; may move an implausible future date
        // back a year in the entry itself.
        std::function<RowTexts(TWin32FindData &)> rowTexts;
        // The shared row order: negative, zero or positive.
        std::function<int(const TWin32FindData &, const QString &, const TWin32FindData &,
            const QString &, int column, bool ascending)>
            compareRows;
        std::function<void(double)> sizeTotalChanged; // the object and size panels
        std::function<FileSelection()> fileSelection;
        std::function<void(QueueItem)> addQueueItem;
        std::function<void()> handOver; // start the queue, or ask whether to
        // The watched files just queued to download if newer, before the
        // queue is handed them.
        std::function<void(const std::vector<WatchRecord> &)> newerChecksQueued;
        // A local path for the remote file, empty when the user cancelled.
        std::function<QString(const QString &)> saveAs;
    };
    enum Column { Name, Status, Size, Type, Modified, Site, Login, Password };

    WatchList(const Controls &controls, const Services &services, QObject *parent = nullptr);

    void setNewerDialog(TFormNewer *dialog) { newerDialog = dialog; }

    void load();
    bool save();

    int count() const { return int(items.size()); }
    WatchRecord recordAt(int row) const { return items[size_t(row)].record; }
    QString statusAt(int row) const;
    double byteTotal() const { return total; }
    // The first row with exactly this name and host; -1 when there is none.
    int findWatchItem(const QString &name, const QString &host) const;
    // Sets the row's status; returns the status it had (empty when not found).
    QString setStatus(const QString &name, const QString &host, const QString &status);
    // The site's copy is newer: the row takes over the found entry. Saves,
    // also when no row matched.
    void refreshItem(const QString &name, const QString &host, const TWin32FindData &found);
    // A site's server time zone changed: the times kept for its files move
    // by `minutes` (negative: earlier), so that they compare with what the
    // site lists from now on. Saves when any row moved; returns how many.
    int moveSiteTimes(const QString &host, const QString &login, int minutes);

    // Handlers.
    void AddtoWatchList1Click();
    void RemovefromWatchList1Click();
    void Open2Click();
    void DownloadNow1Click();
    void DownloadifChanged1Click();
    void PopupMenu2Popup();
    void ListView2ColumnClick(int column);

    // "Download", "Download, Open" or "Download, Newer" for the selected rows.
    void watchDownload(const QString &actionText);

private:
    struct Item {
        WatchRecord record;
        uint64_t id = 0;
    };

    void addFileRow(const FileSelection &selection, const FileSelection::Row &row);
    void appendRow(const WatchRecord &record, const QString &status);
    void showEntry(int row);
    void setCell(int row, int column, const QString &text);
    QString cell(int row, int column) const;
    QList<int> selectedRows() const;
    void sortRows(
        const std::function<bool(const Item &, const QString &, const Item &, const QString &, int)>
            &less,
        int column);
    void sortByName();
    void totalChanged();
    QString localPathFor(const WatchRecord &record, const QString &actionText);

    Controls ui;
    Services services;
    TFormNewer *newerDialog = nullptr;
    WatchFile file;
    std::vector<Item> items; // in row order
    double total = 0;
    uint64_t nextId = 1;
    int sortColumn = 0;
    bool ascending = true;
    QAction *open2, *downloadNow1, *downloadifChanged1, *removefromWatchList1;
};
