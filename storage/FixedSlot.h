#pragma once

#include <QByteArray>
#include <QString>

// Text in a fixed-width, zero-terminated slot of a data file. Text is stored
// as UTF-8 and cut, when too long, before the character that would not fit,
// so a slot never holds a broken character and never runs into the next one.
class FixedSlot {
public:
    // The UTF-8 of `text`, at most `maxBytes` long, cut on a character boundary.
    static QByteArray encode(const QString &text, int maxBytes);
    // Fills all `size` bytes of the slot: the text, then zeros (at least one).
    static void write(const QString &text, char *slot, int size);
    // The text up to the first zero byte or the end of the slot. Bytes that
    // are not valid UTF-8 (files from other programs) are read as Latin-1.
    static QString read(const char *slot, int size);
};
