#include "platform/LocalName.h"

namespace LocalName {

namespace {

bool reordersText(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E)
        || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString fromServerName(const QString &name)
{
    QString local = name;
    for (QChar &c : local)
        if (c.category() == QChar::Other_Control || reordersText(c.unicode()))
            c = QLatin1Char('_');
    return local;
}

} // namespace LocalName
