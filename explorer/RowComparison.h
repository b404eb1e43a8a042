#pragma once

#include "ftp/Win32FindData.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QString>

#include <cstdint>
#include <optional>

// The order of rows that show entry records, shared by the directory list and
// the watch list: folders first, then by the sort column; a descending sort
// reverses everything, so folders come last.
class RowComparison {
public:
    // How a sort column compares: its text, the entry sizes, or the
    // last-write times.
    enum class Key { Text, Size, Modified };

    // A row's comparison data, prepared once per sort so that a long list
    // compares without collating the same text again and again.
    struct SortKey {
        bool folder = false;
        uint64_t number = 0;
        std::optional<QCollatorSortKey> text;
    };

    // Locale-aware, case-sensitive, in the user's locale.
    RowComparison();
    explicit RowComparison(const QLocale &locale);

    // The key of each column of the directory list (Name, Size, Type, Modified).
    static Key directoryColumnKey(int column);

    int compareTexts(const QString &a, const QString &b) const;

    // Negative, zero or positive. The texts are the rows' texts of the sort
    // column (the names for a name column); records may be null.
    int compare(const TWin32FindData *a, const QString &textA, const TWin32FindData *b,
        const QString &textB, Key key, bool ascending) const;

    SortKey sortKey(const TWin32FindData *entry, const QString &text, Key key) const;
    static int compareKeys(const SortKey &a, const SortKey &b, Key key, bool ascending);

private:
    static int signOf(int value) { return (value > 0) - (value < 0); }
    static uint64_t numberOf(const TWin32FindData *entry, Key key);

    QCollator collator;
};
