#include "app/WindowMemory.h"

#include "app/MainLayout.h"
#include "app/ToolBarPanel.h"
#include "explorer/ListingView.h"
#include "storage/TRegFile.h"
#include "widgets/TListView.h"
#include "widgets/TwoWaySplitter.h"

#include <QMainWindow>
#include <QStackedWidget>
#include <QStringList>

#include <exception>
#include <optional>

namespace {

const QString kGeometry = QStringLiteral("Window\\Geometry");
const QString kSplitter = QStringLiteral("Window\\Splitter");
const QString kToolBarSplitter = QStringLiteral("Window\\ToolBarSplitter");
const QString kColumns = QStringLiteral("Window\\Columns%1");
const QString kViewStyle = QStringLiteral("Window\\ViewStyle%1");
const QString kSortColumn = QStringLiteral("Window\\SortColumn");
const QString kSortAscending = QStringLiteral("Window\\SortAscending");
constexpr int kMaxColumnWidth = 4000;

std::optional<int> number(const QString &text, int lowest, int highest)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

// "150,75,100,125"; one bad width refuses them all.
std::optional<QList<int>> widths(const QString &text)
{
    QList<int> result;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const std::optional<int> width = number(part, 1, kMaxColumnWidth);
        if (!width)
            return std::nullopt;
        result.append(*width);
    }
    return result;
}

QString joined(const QList<int> &values)
{
    QStringList parts;
    for (int value : values)
        parts.append(QString::number(value));
    return parts.join(QLatin1Char(','));
}

} // namespace

WindowMemory::WindowMemory(
    TRegFile &settings, QMainWindow &mainWindow, MainLayout &layout, ListingView &listingView)
    : store(settings), window(mainWindow), ui(layout), listing(listingView)
{
}

// A store that cannot be read was reported at start-up already.
QString WindowMemory::read(const QString &name)
{
    try {
        TaggedValue value;
        store.ReadValue(name, value);
        return value.isNull() ? QString() : value.toString();
    } catch (const std::exception &) {
        return QString();
    }
}

// The store is rewritten whole at every change: what did not change stays.
void WindowMemory::write(const QString &name, const QString &value)
{
    try {
        TaggedValue stored;
        store.ReadValue(name, stored);
        if (!stored.isNull() && stored.toString() == value)
            return;
        store.WriteValue(name, TaggedValue(value));
    } catch (const std::exception &) {
        // Unwritable settings were reported once at start-up.
    }
}

void WindowMemory::restore()
{
    restoreGeometry();
    restoreSplitters();
    restoreLists();
    restoreSort();
}

void WindowMemory::restoreGeometry()
{
    const QByteArray geometry = QByteArray::fromBase64(read(kGeometry).toLatin1());
    if (!geometry.isEmpty())
        window.restoreGeometry(geometry);
}

void WindowMemory::restoreSplitters()
{
    if (const std::optional<int> p = number(read(kSplitter), 1, 99))
        ui.TwoWaySplitter1->setPosition(*p);
    if (const std::optional<int> p = number(read(kToolBarSplitter), 1, 99)) {
        ui.PanelTools->splitter()->setPosition(*p);
        ui.PanelExplorerTools->splitter()->setPosition(*p);
    }
}

void WindowMemory::restoreLists()
{
    TListView *lists[] = { ui.ListView1, ui.ListView2, ui.ListView3 };
    for (int i = 0; i < 3; ++i) {
        if (const std::optional<QList<int>> w = widths(read(kColumns.arg(i + 1))))
            lists[i]->setColumnWidths(*w);
        if (const std::optional<int> style = number(read(kViewStyle.arg(i + 1)), 0, 3))
            lists[i]->setViewStyle(TViewStyle(*style));
    }
    listing.showViewStyleOfPage(ui.Notebook1->currentIndex());
}

void WindowMemory::restoreSort()
{
    const std::optional<int> column = number(read(kSortColumn), 0, 3);
    const std::optional<int> up = number(read(kSortAscending), 0, 1);
    if (column && up)
        listing.setSort(*column, *up == 1);
}

void WindowMemory::save()
{
    write(kGeometry, QString::fromLatin1(window.saveGeometry().toBase64()));
    write(kSplitter, QString::number(ui.TwoWaySplitter1->position()));
    write(kToolBarSplitter, QString::number(ui.PanelExplorerTools->splitter()->position()));
    TListView *lists[] = { ui.ListView1, ui.ListView2, ui.ListView3 };
    for (int i = 0; i < 3; ++i) {
        write(kColumns.arg(i + 1), joined(lists[i]->columnWidths()));
        write(kViewStyle.arg(i + 1), QString::number(int(lists[i]->viewStyle())));
    }
    write(kSortColumn, QString::number(listing.sortColumn()));
    write(kSortAscending, listing.sortAscending() ? QStringLiteral("1") : QStringLiteral("0"));
}
