#include "explorer/RowComparison.h"

#include "explorer/RowTexts.h"
#include "ftp/FileTime.h"

namespace {

bool folderOf(const TWin32FindData *entry)
{
    return entry && isDirectory(*entry);
}

int compareNumbers(uint64_t a, uint64_t b)
{
    return (a > b) - (a < b);
}

} // namespace

RowComparison::RowComparison() : RowComparison(QLocale::system()) { }

RowComparison::RowComparison(const QLocale &locale) : collator(locale)
{
    collator.setCaseSensitivity(Qt::CaseSensitive);
    collator.setNumericMode(false);
}

RowComparison::Key RowComparison::directoryColumnKey(int column)
{
    switch (column) {
    case 1:
        return Key::Size;
    case 3:
        return Key::Modified;
    default:
        return Key::Text;
    }
}

int RowComparison::compareTexts(const QString &a, const QString &b) const
{
    return signOf(collator.compare(a, b));
}

uint64_t RowComparison::numberOf(const TWin32FindData *entry, Key key)
{
    if (!entry)
        return 0;
    if (key == Key::Modified)
        return FileTime::toTicks(entry->ftLastWriteTime);
    return RowTexts::entrySize(entry);
}

int RowComparison::compare(const TWin32FindData *a, const QString &textA, const TWin32FindData *b,
    const QString &textB, Key key, bool ascending) const
{
    int result;
    if (folderOf(a) != folderOf(b))
        result = folderOf(a) ? -1 : 1;
    else if (key == Key::Text)
        result = compareTexts(textA, textB);
    else
        result = compareNumbers(numberOf(a, key), numberOf(b, key));
    return ascending ? result : -result;
}

RowComparison::SortKey RowComparison::sortKey(
    const TWin32FindData *entry, const QString &text, Key key) const
{
    SortKey sortKey;
    sortKey.folder = folderOf(entry);
    if (key == Key::Text)
        sortKey.text = collator.sortKey(text);
    else
        sortKey.number = numberOf(entry, key);
    return sortKey;
}

int RowComparison::compareKeys(const SortKey &a, const SortKey &b, Key key, bool ascending)
{
    int result;
    if (a.folder != b.folder)
        result = a.folder ? -1 : 1;
    else if (key == Key::Text && a.text && b.text)
        result = signOf(a.text->compare(*b.text));
    else
        result = compareNumbers(a.number, b.number);
    return ascending ? result : -result;
}
