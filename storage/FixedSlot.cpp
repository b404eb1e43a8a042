#include "storage/FixedSlot.h"

#include <QStringDecoder>

#include <cstring>

QByteArray FixedSlot::encode(const QString &text, int maxBytes)
{
    QByteArray bytes = text.toUtf8();
    if (maxBytes < 0)
        maxBytes = 0;
    if (bytes.size() <= maxBytes)
        return bytes;
    int cut = maxBytes;
    // Back off over continuation bytes (10xxxxxx) to the start of the character.
    while (cut > 0 && (uchar(bytes[cut]) & 0xC0) == 0x80)
        --cut;
    bytes.truncate(cut);
    return bytes;
}

void FixedSlot::write(const QString &text, char *slot, int size)
{
    if (size <= 0)
        return;
    const QByteArray bytes = encode(text, size - 1);
    std::memset(slot, 0, size_t(size));
    std::memcpy(slot, bytes.constData(), size_t(bytes.size()));
}

QString FixedSlot::read(const char *slot, int size)
{
    const void *zero = std::memchr(slot, 0, size_t(size));
    const int length = zero ? int(static_cast<const char *>(zero) - slot) : size;
    const QByteArray bytes(slot, length);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}
