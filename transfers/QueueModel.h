#pragma once

#include "transfers/QueueItem.h"

#include <QAbstractTableModel>
#include <QVector>

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>

// The rows of the queue. Items are kept once, as plain values; the texts a
// row shows are made only when the view asks for them, so a queue of a
// hundred thousand files costs little more than the items themselves. Ids
// grow with the row order (the queue is never sorted), so a row is found by
// its id in logarithmic time, and each state keeps an ordered index of its
// items: the queue step never walks the rows.
class QueueModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name, Status, Size, Type, Modified, Site, Login, Password, Actions, SaveFile };
    static constexpr int kColumns = 10;

    struct RowTexts {
        QString size, type, modified;
        int iconIndex = -1;
    };
    using RowTextsOf = std::function<RowTexts(const TWin32FindData &)>;

    explicit QueueModel(QObject *parent = nullptr);

    void setRowTexts(RowTextsOf texts) { rowTexts = std::move(texts); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setHeaderData(
        int section, Qt::Orientation orientation, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Appends the item; its id must be larger than every id present.
    void append(QueueItem item);
    void removeAt(int row);
    const QueueItem &at(int row) const { return items[size_t(row)]; }
    int count() const { return int(items.size()); }
    // -1 when no row has that id.
    int rowOf(uint64_t id) const;

    // Changes the state (and the failure reason) and repaints only that cell.
    void setState(int row, QueueItemState state, const QString &failure = QString());
    // The first row in the state, or -1; and how many rows are in it.
    int firstIn(QueueItemState state) const;
    int countIn(QueueItemState state) const;

private:
    std::set<uint64_t> &index(QueueItemState state) { return byState[int(state)]; }
    const std::set<uint64_t> &index(QueueItemState state) const { return byState[int(state)]; }
    QVariant display(const QueueItem &item, int column) const;
    const RowTexts &textsOf(const QueueItem &item) const;

    std::deque<QueueItem> items;
    std::set<uint64_t> byState[3];
    RowTextsOf rowTexts;
    // Type names and icons come from a MIME look-up that costs far more than
    // a paint: the rows on screen keep theirs (an item's entry never changes).
    mutable std::unordered_map<uint64_t, RowTexts> shownTexts;
    QVector<std::map<int, QVariant>> headers;
};
