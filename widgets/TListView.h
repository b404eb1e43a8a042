#pragma once

#include <QWidget>

class QAbstractItemModel;
class QAbstractItemView;
class QListView;
class QStackedLayout;
class QStandardItemModel;
class QTreeView;
class QItemSelectionModel;

enum class TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

// A list of rows with columns, shown in one of four styles: large icons,
// small icons, a list of names, or details with column headers. One model
// and one selection serve every style.
class TListView : public QWidget {
    Q_OBJECT
public:
    explicit TListView(QWidget *parent = nullptr);

    void addColumn(const QString &caption, int width, Qt::Alignment align = Qt::AlignLeft);
    int columnCount() const;
    QString columnCaption(int column) const;
    int columnWidth(int column) const;

    TViewStyle viewStyle() const { return style; }
    void setViewStyle(TViewStyle viewStyle);

    void setMultiSelect(bool multi);

    // The list's own rows. A list may show another model instead (one that
    // makes its rows on demand); it takes the columns over.
    QStandardItemModel *model() const { return rows; }
    void setModel(QAbstractItemModel *model);
    QAbstractItemModel *shownModel() const;
    QItemSelectionModel *selectionModel() const;
    QTreeView *detailsView() const { return details; }
    QListView *iconsView() const { return icons; }
    QAbstractItemView *currentView() const;
    int rowCount() const;

    // Widths of all columns in order; a list of another length is refused.
    QList<int> columnWidths() const;
    bool setColumnWidths(const QList<int> &widths);
    // Widens the column (never narrows it) until `sample` fits in a cell.
    void widenColumnToFit(int column, const QString &sample);

    // The header shows the order the rows are in; the list never sorts itself.
    void setSortIndicator(int column, bool ascending);

    // Painted in the middle of the list while it has no rows; empty: nothing.
    void setPlaceholderText(const QString &text);
    QString placeholderText() const { return placeholder; }

signals:
    void columnClicked(int column);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintPlaceholder(QWidget *viewport);

    QStandardItemModel *rows;
    QTreeView *details;
    QListView *icons;
    QStackedLayout *stack;
    TViewStyle style = TViewStyle::vsReport;
    QString placeholder;
};
