#include "transfers/WatchList.h"

#include "ftp/FileTime.h"

#include "platform/IconList.h"
#include "platform/LocalName.h"
#include "platform/Prompts.h"
#include "platform/TempFolder.h"
#include "storage/EFileCreateError.h"
#include "transfers/TFormNewer.h"
#include "widgets/PasswordText.h"
#include "widgets/TListView.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QStandardItemModel>

#include <algorithm>

namespace {

const QString kUnknown = QStringLiteral("?");
const QString kUpToDate = QStringLiteral("Up to Date");

QString entryName(const TWin32FindData &entry)
{
    return QString::fromUtf8(
        entry.cFileName, int(qstrnlen(entry.cFileName, sizeof entry.cFileName)));
}

// The entry's own name, lower-cased, without any folder part: a local name
// that cannot point outside the folder it is put in.
QString localFileName(const TWin32FindData &entry)
{
    const QString name = entryName(entry);
    const int cut
        = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    const QString base = LocalName::fromServerName(name.mid(cut + 1).toLower());
    return base == QLatin1String(".") || base == QLatin1String("..") ? QString() : base;
}

// The context menu's items are made with the layout; one that is missing
// still gets an action, so a handler never meets a null one.
QAction *menuItem(QMenu *menu, const char *name)
{
    QAction *action = menu->findChild<QAction *>(QLatin1String(name));
    return action ? action : new QAction(menu);
}

} // namespace

WatchList::WatchList(const Controls &controls, const Services &s, QObject *parent)
    : QObject(parent), ui(controls), services(s)
{
    QMenu *menu = ui.popupMenu;
    open2 = menuItem(menu, "Open2");
    downloadNow1 = menuItem(menu, "DownloadNow1");
    downloadifChanged1 = menuItem(menu, "DownloadifChanged1");
    removefromWatchList1 = menuItem(menu, "RemovefromWatchList1");
    connect(open2, &QAction::triggered, this, &WatchList::Open2Click);
    connect(downloadNow1, &QAction::triggered, this, &WatchList::DownloadNow1Click);
    connect(downloadifChanged1, &QAction::triggered, this, &WatchList::DownloadifChanged1Click);
    connect(removefromWatchList1, &QAction::triggered, this, &WatchList::RemovefromWatchList1Click);
    connect(menu, &QMenu::aboutToShow, this, &WatchList::PopupMenu2Popup);
    connect(ui.list, &QWidget::customContextMenuRequested, this,
        [this, menu](const QPoint &pos) { menu->popup(ui.list->mapToGlobal(pos)); });
    connect(ui.list, &TListView::columnClicked, this, &WatchList::ListView2ColumnClick);
}

void WatchList::load()
{
    ui.list->model()->removeRows(0, ui.list->model()->rowCount());
    items.clear();
    total = 0;
    const WatchFile::LoadResult result = file.load();
    if (result.status == WatchFile::LoadStatus::Invalid)
        Prompts::error(WatchFile::kInvalidMessage);
    for (const WatchRecord &record : result.records)
        appendRow(record, kUnknown);
    sortByName();
    totalChanged();
}

bool WatchList::save()
{
    std::vector<WatchRecord> records;
    records.reserve(items.size());
    for (const Item &item : items)
        records.push_back(item.record);
    try {
        file.save(records);
    } catch (const EFileCreateError &e) {
        // The change stays in memory; the user learns it will not outlast the run.
        Prompts::error(e.message());
        return false;
    }
    return true;
}

QString WatchList::statusAt(int row) const
{
    return cell(row, Status);
}

int WatchList::findWatchItem(const QString &name, const QString &host) const
{
    for (size_t row = 0; row < items.size(); ++row)
        if (items[row].record.name == name && items[row].record.host == host)
            return int(row);
    return -1;
}

QString WatchList::setStatus(const QString &name, const QString &host, const QString &status)
{
    const int row = findWatchItem(name, host);
    if (row < 0)
        return QString();
    const QString before = cell(row, Status);
    setCell(row, Status, status);
    return before;
}

void WatchList::refreshItem(const QString &name, const QString &host, const TWin32FindData &found)
{
    const int row = findWatchItem(name, host);
    if (row >= 0) {
        TWin32FindData &entry = items[size_t(row)].record.entry;
        total -= double(fileSize(entry));
        entry = found;
        showEntry(row);
        total += double(fileSize(entry));
        totalChanged();
    }
    save();
}

int WatchList::moveSiteTimes(const QString &host, const QString &login, int minutes)
{
    const int64_t ticks = int64_t(minutes) * 60 * 10'000'000;
    int moved = 0;
    for (int row = 0; row < count() && minutes != 0; ++row) {
        WatchRecord &record = items[size_t(row)].record;
        const uint64_t was = FileTime::toTicks(record.entry.ftLastWriteTime);
        if (record.host != host || record.login != login || was == 0 || int64_t(was) + ticks < 0)
            continue;
        record.entry.ftLastWriteTime = FileTime::fromTicks(uint64_t(int64_t(was) + ticks));
        showEntry(row);
        ++moved;
    }
    if (moved > 0)
        save();
    return moved;
}

void WatchList::appendRow(const WatchRecord &record, const QString &status)
{
    QList<QStandardItem *> row;
    for (const QString &text : { record.name, status, QString(), QString(), QString(), record.host,
             record.login, passwordDots(record.password), QString(), QString() }) {
        auto *item = new QStandardItem(text);
        item->setEditable(false);
        row << item;
    }
    row[Size]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ui.list->model()->appendRow(row);
    items.push_back({ record, nextId++ });
    showEntry(count() - 1);
    total += double(fileSize(items.back().record.entry));
}

// The size, type and modified texts and the icon of the row's entry.
void WatchList::showEntry(int row)
{
    Item &item = items[size_t(row)];
    const RowTexts texts = services.rowTexts ? services.rowTexts(item.record.entry) : RowTexts();
    setCell(row, Size, texts.size);
    setCell(row, Type, texts.type);
    setCell(row, Modified, texts.modified);
    QStandardItem *name = ui.list->model()->item(row, Name);
    name->setIcon(texts.iconIndex >= 0 ? IconList::instance().icon(texts.iconIndex) : QIcon());
}

void WatchList::setCell(int row, int column, const QString &text)
{
    ui.list->model()->item(row, column)->setText(text);
}

QString WatchList::cell(int row, int column) const
{
    const QStandardItem *item = ui.list->model()->item(row, column);
    return item ? item->text() : QString();
}

QList<int> WatchList::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : ui.list->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void WatchList::totalChanged()
{
    if (services.sizeTotalChanged)
        services.sizeTotalChanged(total);
}

void WatchList::AddtoWatchList1Click()
{
    const FileSelection selection
        = services.fileSelection ? services.fileSelection() : FileSelection();
    for (const FileSelection::Row &row : selection.rows)
        addFileRow(selection, row);
    sortByName();
    totalChanged();
    const bool saved = save();
    if (!selection.rows.isEmpty() && saved)
        Prompts::information(tr("File(s) have been added to the watch list."));
}

// Works on a copy of the current path: the site explorer's own stays as it is.
void WatchList::addFileRow(const FileSelection &selection, const FileSelection::Row &row)
{
    QString folder = selection.currentPath;
    if (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    WatchRecord record { folder + QLatin1Char('/') + row.caption, selection.host, selection.login,
        selection.password, row.entry };
    const int found = findWatchItem(record.name, record.host);
    if (found < 0) {
        appendRow(record, kUpToDate);
        return;
    }
    Item &item = items[size_t(found)];
    setCell(found, Status, kUpToDate);
    total -= double(fileSize(item.record.entry));
    if (row.hasEntry)
        item.record.entry = row.entry;
    item.record.login = record.login;
    item.record.password = record.password;
    showEntry(found);
    if (!row.hasEntry)
        setCell(found, Size, QString());
    total += double(fileSize(item.record.entry));
    setCell(found, Login, record.login);
    setCell(found, Password, passwordDots(record.password));
}

void WatchList::RemovefromWatchList1Click()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()
        || !Prompts::askYesNo(tr("Are you sure you want to remove the selected items?")))
        return;
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        total -= double(fileSize(items[size_t(*row)].record.entry));
        items.erase(items.begin() + *row);
        ui.list->model()->removeRow(*row);
    }
    totalChanged();
    save();
}

void WatchList::Open2Click()
{
    watchDownload(QStringLiteral("Download, Open"));
}

void WatchList::DownloadNow1Click()
{
    watchDownload(QStringLiteral("Download"));
}

void WatchList::DownloadifChanged1Click()
{
    if (newerDialog && newerDialog->exec() == QDialog::Accepted)
        watchDownload(QStringLiteral("Download, Newer"));
}

void WatchList::watchDownload(const QString &actionText)
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    std::vector<WatchRecord> queued;
    for (int row : rows) {
        const WatchRecord &record = items[size_t(row)].record;
        if (isDirectory(record.entry))
            continue;
        const QString local = localPathFor(record, actionText);
        if (local.isEmpty())
            break;
        QueueItem item;
        item.name = record.name;
        item.saveFile = local;
        item.entry = record.entry;
        item.actions = actionText;
        item.host = record.host;
        item.login = record.login;
        item.password = record.password;
        if (services.addQueueItem)
            services.addQueueItem(std::move(item));
        queued.push_back(record);
    }
    if (actionText.contains(QLatin1String("Newer")) && services.newerChecksQueued)
        services.newerChecksQueued(queued);
    if (services.handOver)
        services.handOver();
}

// Empty when the user cancelled or no safe local name can be made.
QString WatchList::localPathFor(const WatchRecord &record, const QString &actionText)
{
    if (actionText.contains(QLatin1String("Open"))) {
        QString error;
        if (!TempFolder::ensure(&error)) {
            Prompts::error(error);
            return QString();
        }
        const QString name = localFileName(record.entry);
        return name.isEmpty() ? QString() : TempFolder::path() + name;
    }
    if (newerDialog && newerDialog->oneFolder()) {
        QString folder = newerDialog->folder();
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        const QString name = localFileName(record.entry);
        return name.isEmpty() ? QString() : folder + name;
    }
    return services.saveAs ? services.saveAs(record.name) : QString();
}

void WatchList::PopupMenu2Popup()
{
    const bool any = ui.list->selectionModel()->hasSelection();
    for (QAction *action : { open2, downloadNow1, downloadifChanged1, removefromWatchList1 })
        action->setEnabled(any);
}

void WatchList::ListView2ColumnClick(int column)
{
    if (column == sortColumn)
        ascending = !ascending;
    else {
        sortColumn = column;
        ascending = true;
    }
    if (!services.compareRows)
        return;
    sortRows(
        [this](
            const Item &a, const QString &textA, const Item &b, const QString &textB, int column) {
            return services.compareRows(
                       a.record.entry, textA, b.record.entry, textB, column, ascending)
                < 0;
        },
        column);
    ui.list->setSortIndicator(sortColumn, ascending);
}

// The list keeps itself in order of its names whenever one is set.
void WatchList::sortByName()
{
    sortRows([](const Item &, const QString &a, const Item &, const QString &b,
                 int) { return QString::localeAwareCompare(a, b) < 0; },
        Name);
}

// Reorders the items and their rows together; the selection stays on its items.
void WatchList::sortRows(
    const std::function<bool(const Item &, const QString &, const Item &, const QString &, int)>
        &less,
    int column)
{
    std::vector<size_t> order(items.size());
    QStringList texts;
    for (size_t i = 0; i < items.size(); ++i) {
        order[i] = i;
        texts << cell(int(i), column);
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return less(items[a], texts[int(a)], items[b], texts[int(b)], column);
    });
    QList<uint64_t> selectedIds;
    for (int row : selectedRows())
        selectedIds << items[size_t(row)].id;
    QStandardItemModel *model = ui.list->model();
    std::vector<QList<QStandardItem *>> taken(items.size());
    for (int row = count() - 1; row >= 0; --row)
        taken[size_t(row)] = model->takeRow(row);
    std::vector<Item> sorted;
    sorted.reserve(items.size());
    for (size_t from : order) {
        sorted.push_back(items[from]);
        model->appendRow(taken[from]);
    }
    items = std::move(sorted);
    QItemSelectionModel *selection = ui.list->selectionModel();
    for (int row = 0; row < count(); ++row)
        if (selectedIds.contains(items[size_t(row)].id))
            selection->select(
                model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}
