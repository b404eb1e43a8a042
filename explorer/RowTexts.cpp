#include "explorer/RowTexts.h"

#include "explorer/DirectoryMap.h"
#include "ftp/FileTime.h"
#include "platform/IconList.h"
#include "storage/TRegFile.h"

#include <QDateTime>
#include <QHash>
#include <QTime>

#include <exception>

namespace {

constexpr int kMaxExtension = 255;
constexpr int kMaxPart = 30;
constexpr int kMaxModified = 33;

// The short time format with its seconds field and that field's separator
// taken out; quoted literal text is kept as it is.
QString withoutSeconds(const QString &format)
{
    QString out;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('s')) {
            out += c;
            continue;
        }
        while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('s'))
            ++i;
        if (!out.isEmpty() && QStringLiteral(":. ").contains(out.back()))
            out.chop(1);
    }
    return out;
}

// Reads the default value of a key of the classes root; any failure is "no
// value", and nothing is ever created there.
QString classesRootDefault(const QString &key)
{
    if (key.isEmpty())
        return QString();
    try {
        TRegFile reg;
        reg.setRootKey(hkClassesRoot);
        if (!reg.OpenKey(key, true))
            return QString();
        reg.CloseKey();
        reg.setKey(key);
        TaggedValue value;
        reg.ReadValue(QString(), value);
        return value.isNull() || value.isEmpty() ? QString() : value.toString();
    } catch (const std::exception &) {
        return QString();
    }
}

QString registeredTypeName(const QString &extension)
{
    // A long listing asks for the same few extensions thousands of times.
    static QHash<QString, QString> cache;
    const auto known = cache.constFind(extension);
    if (known != cache.constEnd())
        return known.value();
    QString name = classesRootDefault(classesRootDefault(extension));
    cache.insert(extension, name);
    return name;
}

} // namespace

namespace RowTexts {

uint64_t entrySize(const TWin32FindData *entry)
{
    return entry && !isDirectory(*entry) ? fileSize(*entry) : 0;
}

QString formatSize(double bytes, const QLocale &locale)
{
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(bytes, 'f', 0);
}

QString formatSize(double bytes)
{
    return formatSize(bytes, QLocale::system());
}

QString sizeText(const TWin32FindData *entry, const QLocale &locale)
{
    if (!entry || isDirectory(*entry) || isUnresolvedLink(*entry))
        return QString();
    return formatSize(double(fileSize(*entry)), locale);
}

QString sizeText(const TWin32FindData *entry)
{
    return sizeText(entry, QLocale::system());
}

QString extensionOf(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const int separator = std::max({ name.lastIndexOf(QLatin1Char(':')),
        name.lastIndexOf(QLatin1Char('\\')), name.lastIndexOf(QLatin1Char('/')) });
    if (dot < 0 || dot < separator)
        return QString();
    return name.mid(dot, kMaxExtension);
}

QString typeNameForFile(const QString &name)
{
    const QString extension = extensionOf(name);
    const QString registered = registeredTypeName(extension);
    if (!registered.isEmpty())
        return registered;
    return extension.mid(1).toUpper() + QStringLiteral(" File");
}

QString typeName(const TWin32FindData *entry)
{
    if (!entry)
        return QString();
    if (isDirectory(*entry))
        return QStringLiteral("File Folder");
    if (isUnresolvedLink(*entry))
        return QStringLiteral("Symbolic Link");
    return typeNameForFile(DirectoryMap::nameOf(*entry));
}

bool correctFutureDate(TWin32FindData &entry, const QDate &todayUtc)
{
    TSystemTime st = FileTime::toSystemTime(entry.ftLastWriteTime);
    const QDate date(st.year, st.month, st.day);
    // A day of allowance for servers east of UTC; the bound makes the
    // correction happen once, not at every display.
    if (!date.isValid() || date <= todayUtc.addDays(1) || date >= todayUtc.addYears(1))
        return false;
    st.year -= 1;
    if (st.month == 2 && st.day == 29)
        st.day = 28;
    TFileTime corrected;
    if (!FileTime::fromSystemTime(st, corrected))
        return false;
    entry.ftLastWriteTime = corrected;
    return true;
}

QString modifiedText(TWin32FindData *entry, const QDate &todayUtc, const QLocale &locale)
{
    // Times past this point have no calendar form on the platform the record
    // format comes from; zero is what a listing leaves when the server gave
    // no time, or one that could not be read.
    constexpr uint64_t kLastTick = 0x7fffffffffffffffULL;
    const uint64_t ticks = entry ? FileTime::toTicks(entry->ftLastWriteTime) : 0;
    if (ticks == 0 || ticks > kLastTick)
        return QString();
    correctFutureDate(*entry, todayUtc);
    const TSystemTime st = FileTime::toSystemTime(entry->ftLastWriteTime);
    const QString date = locale.toString(
        QDate(st.year, st.month, st.day), locale.dateFormat(QLocale::ShortFormat));
    const QString time = locale.toString(
        QTime(st.hour, st.minute), withoutSeconds(locale.timeFormat(QLocale::ShortFormat)));
    return (date.left(kMaxPart) + QLatin1Char(' ') + time.left(kMaxPart)).left(kMaxModified);
}

QString modifiedText(TWin32FindData *entry)
{
    return modifiedText(entry, todayUtc(), QLocale::system());
}

int iconIndex(const TWin32FindData *entry)
{
    IconList &icons = IconList::instance();
    if (!entry)
        return icons.genericIndex();
    if (isUnresolvedLink(*entry))
        return icons.linkIndex();
    return icons.indexForFileName(DirectoryMap::nameOf(*entry), isDirectory(*entry));
}

QDate todayUtc()
{
    return QDateTime::currentDateTimeUtc().date();
}

} // namespace RowTexts
