#include "widgets/TListView.h"

#include "widgets/ElidedToolTips.h"

#include <QEvent>
#include <QHeaderView>
#include <QListView>
#include <QPainter>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QTreeView>

namespace {

// The tree view asks its header for its size at every layout of the rows,
// and the header measures every caption for it; a list whose rows change
// hundreds of times a second keeps the answer until the captions, the
// columns or the font change.
class KeptSizeHeader : public QHeaderView {
public:
    explicit KeptSizeHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent)
    {
        // As the tree view's own header.
        setSectionsMovable(true);
        setStretchLastSection(true);
        setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        connect(this, &QHeaderView::sectionCountChanged, this, [this] { kept = QSize(); });
        connect(this, &QHeaderView::sectionResized, this, [this] { kept = QSize(); });
        connect(this, &QHeaderView::sortIndicatorChanged, this, [this] { kept = QSize(); });
    }
    QSize sizeHint() const override
    {
        if (!kept.isValid())
            kept = QHeaderView::sizeHint();
        return kept;
    }
    void setModel(QAbstractItemModel *model) override
    {
        QHeaderView::setModel(model);
        kept = QSize();
        if (model)
            connect(
                model, &QAbstractItemModel::headerDataChanged, this, [this] { kept = QSize(); });
    }

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange
            || e->type() == QEvent::Polish)
            kept = QSize();
        return QHeaderView::event(e);
    }

private:
    mutable QSize kept;
};

} // namespace

TListView::TListView(QWidget *parent)
    : QWidget(parent), rows(new QStandardItemModel(this)), details(new QTreeView(this)),
      icons(new QListView(this)), stack(new QStackedLayout(this))
{
    details->setHeader(new KeptSizeHeader(details));
    details->setModel(rows);
    details->setRootIsDecorated(false);
    details->setUniformRowHeights(true);
    details->setAllColumnsShowFocus(true);
    details->setEditTriggers(QAbstractItemView::NoEditTriggers);
    details->header()->setSectionsClickable(true);
    details->header()->setStretchLastSection(false);
    details->header()->setSortIndicatorShown(false);
    icons->setModel(rows);
    icons->setSelectionModel(details->selectionModel());
    // A click on an icon selects its whole row, as a click in the details does.
    icons->setSelectionBehavior(QAbstractItemView::SelectRows);
    icons->setEditTriggers(QAbstractItemView::NoEditTriggers);
    icons->setResizeMode(QListView::Adjust);
    icons->setUniformItemSizes(true);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(details);
    stack->addWidget(icons);
    connect(details->header(), &QHeaderView::sectionClicked, this, &TListView::columnClicked);
    for (QAbstractItemView *view :
        { static_cast<QAbstractItemView *>(details), static_cast<QAbstractItemView *>(icons) }) {
        ElidedToolTips::install(view);
        view->viewport()->installEventFilter(this);
    }
    setViewStyle(TViewStyle::vsReport);
}

void TListView::addColumn(const QString &caption, int width, Qt::Alignment align)
{
    const int column = rows->columnCount();
    rows->setColumnCount(column + 1);
    rows->setHeaderData(column, Qt::Horizontal, caption);
    rows->setHeaderData(
        column, Qt::Horizontal, int(align | Qt::AlignVCenter), Qt::TextAlignmentRole);
    details->setColumnWidth(column, width);
}

int TListView::columnCount() const
{
    return rows->columnCount();
}

QString TListView::columnCaption(int column) const
{
    return shownModel()->headerData(column, Qt::Horizontal).toString();
}

void TListView::setModel(QAbstractItemModel *model)
{
    QList<int> widths;
    for (int column = 0; column < rows->columnCount(); ++column) {
        for (int role : { int(Qt::DisplayRole), int(Qt::TextAlignmentRole) })
            model->setHeaderData(
                column, Qt::Horizontal, rows->headerData(column, Qt::Horizontal, role), role);
        widths.append(details->columnWidth(column));
    }
    details->setModel(model);
    icons->setModel(model);
    icons->setSelectionModel(details->selectionModel());
    for (int column = 0; column < widths.size(); ++column)
        details->setColumnWidth(column, widths[column]);
}

QAbstractItemModel *TListView::shownModel() const
{
    return details->model();
}

int TListView::columnWidth(int column) const
{
    return details->columnWidth(column);
}

void TListView::setViewStyle(TViewStyle viewStyle)
{
    style = viewStyle;
    if (style == TViewStyle::vsReport) {
        stack->setCurrentWidget(details);
        return;
    }
    const bool large = style == TViewStyle::vsIcon;
    icons->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    icons->setFlow(style == TViewStyle::vsList ? QListView::TopToBottom : QListView::LeftToRight);
    icons->setWrapping(true);
    icons->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    // Large icons take two lines of caption, as a file manager shows them,
    // so that names are not cut short at the icon's width.
    icons->setWordWrap(large);
    icons->setTextElideMode(large ? Qt::ElideMiddle : Qt::ElideRight);
    icons->setGridSize(large ? QSize(80, 72) : QSize());
    icons->setSpacing(large ? 4 : 1);
    icons->setMovement(QListView::Static);
    stack->setCurrentWidget(icons);
}

void TListView::setMultiSelect(bool multi)
{
    const auto mode
        = multi ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    details->setSelectionMode(mode);
    icons->setSelectionMode(mode);
}

QItemSelectionModel *TListView::selectionModel() const
{
    return details->selectionModel();
}

QAbstractItemView *TListView::currentView() const
{
    return style == TViewStyle::vsReport ? static_cast<QAbstractItemView *>(details) : icons;
}

int TListView::rowCount() const
{
    return shownModel()->rowCount();
}

QList<int> TListView::columnWidths() const
{
    QList<int> widths;
    for (int column = 0; column < columnCount(); ++column)
        widths.append(details->columnWidth(column));
    return widths;
}

bool TListView::setColumnWidths(const QList<int> &widths)
{
    if (widths.size() != columnCount())
        return false;
    for (int column = 0; column < widths.size(); ++column)
        details->setColumnWidth(column, widths[column]);
    return true;
}

void TListView::widenColumnToFit(int column, const QString &sample)
{
    QStyleOptionViewItem option;
    option.initFrom(details);
    option.text = sample;
    option.features = QStyleOptionViewItem::HasDisplay;
    const QModelIndex none;
    const int needed = details->itemDelegate()->sizeHint(option, none).width();
    if (needed > details->columnWidth(column))
        details->setColumnWidth(column, needed);
}

void TListView::setSortIndicator(int column, bool ascending)
{
    QHeaderView *header = details->header();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void TListView::setPlaceholderText(const QString &text)
{
    if (placeholder == text)
        return;
    placeholder = text;
    currentView()->viewport()->update();
}

// The viewport's background is already drawn when its paint event arrives,
// and an empty view draws nothing over the text.
bool TListView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && !placeholder.isEmpty() && rowCount() == 0)
        paintPlaceholder(static_cast<QWidget *>(watched));
    return QWidget::eventFilter(watched, event);
}

void TListView::paintPlaceholder(QWidget *viewport)
{
    QPainter painter(viewport);
    painter.setPen(viewport->palette().color(QPalette::PlaceholderText));
    const QRect area = viewport->rect().adjusted(12, 12, -12, -12);
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, placeholder);
}
