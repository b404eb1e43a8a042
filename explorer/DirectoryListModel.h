#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>

#include <functional>
#include <vector>

class QTreeWidgetItem;
struct TWin32FindData;

// The rows of the directory list, one per map node. A row keeps its map node
// and little else: its texts and icon come from the node's entry record when
// a view asks for them, so a folder of 200,000 entries costs neither the time
// nor the memory of texts that nobody looks at.
class DirectoryListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kMapNodeRole = Qt::UserRole + 1;
    static constexpr int kImageIndexRole = Qt::UserRole + 2;
    enum Column { Name, Size, Type, Modified, ColumnCount };

    explicit DirectoryListModel(QObject *parent = nullptr);

    // A row is kept at once; the views hear of it at the next announce().
    // A site row shows a site, not an entry: no size, type "FTP Site".
    void append(QTreeWidgetItem *mapNode, bool site);
    void announce();
    int pendingCount() const { return int(rows.size()) - shown; }
    // Every row, announced or not.
    int size() const { return int(rows.size()); }
    QTreeWidgetItem *mapNode(int row) const;
    // -1 when no row shows the node.
    int rowOf(const QTreeWidgetItem *mapNode) const;
    QString text(int row, int column) const;

    // A name shown in place of the entry's own, while a rename is under way.
    void setShownName(const QTreeWidgetItem *mapNode, const QString &name);
    void forgetShownName(const QTreeWidgetItem *mapNode);
    // Which rows' names may be edited in place; none unless set.
    void setNameEditable(const std::function<bool(QTreeWidgetItem *)> &editable);

    void clear();
    // Removes the rows whose map node matches; returns their map nodes.
    QList<QTreeWidgetItem *> removeRowsWhere(const std::function<bool(QTreeWidgetItem *)> &shows);
    // order[i] is the row that goes to position i; the views keep their
    // selection and current row.
    void reorder(const std::vector<int> &order);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // An edited name is told, not stored: the rename decides what the row shows.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
        int role = Qt::EditRole) override;

signals:
    void nameEdited(QTreeWidgetItem *mapNode, const QString &name);

private:
    void nameChanged(const QTreeWidgetItem *mapNode);

    struct Row {
        QTreeWidgetItem *mapNode;
        mutable int icon; // -1 until first shown
        bool site;
    };

    int iconOf(const Row &row) const;
    TWin32FindData *recordOf(const Row &row) const;

    std::vector<Row> rows;
    int shown = 0; // rows the views know of
    QVariant captions[ColumnCount];
    QVariant alignments[ColumnCount];
    QHash<const QTreeWidgetItem *, QString> shownNames;
    std::function<bool(QTreeWidgetItem *)> nameEditable;
};
