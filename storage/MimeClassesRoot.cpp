#include "storage/MimeClassesRoot.h"

#include <QMimeDatabase>

QString MimeClassesRoot::defaultValueOf(const QString &keyPath)
{
    const QMimeDatabase db;
    if (keyPath.size() > 1 && keyPath.startsWith(QLatin1Char('.'))
        && !keyPath.contains(QLatin1Char('\\'))) {
        const QMimeType type
            = db.mimeTypeForFile(QStringLiteral("file") + keyPath, QMimeDatabase::MatchExtension);
        return type.isValid() && !type.isDefault() ? type.name() : QString();
    }
    if (!keyPath.contains(QLatin1Char('/')) || keyPath.contains(QLatin1Char('\\')))
        return QString();
    const QMimeType type = db.mimeTypeForName(keyPath.toLower());
    if (!type.isValid())
        return QString();
    // A known type without a description still exists as a key. Descriptions
    // head a column, so they start with a capital as the other entries do.
    QString comment = type.comment();
    if (comment.isNull())
        return QStringLiteral("");
    if (!comment.isEmpty())
        comment[0] = comment[0].toUpper();
    return comment;
}

int32_t MimeClassesRoot::openKey(const QString &path, bool create)
{
    if (create || path.isEmpty() || !defaultValueOf(path).isNull())
        return RegResult::Success;
    return RegResult::FileNotFound;
}

int32_t MimeClassesRoot::queryValue(
    const QString &keyPath, const QString &name, uint32_t &type, QByteArray &data)
{
    if (!name.isEmpty())
        return RegResult::FileNotFound;
    const QString value = defaultValueOf(keyPath);
    if (value.isNull())
        return RegResult::FileNotFound;
    type = REG_SZ;
    data = value.toUtf8();
    data.append('\0');
    return RegResult::Success;
}

int32_t MimeClassesRoot::setValue(const QString &, const QString &, uint32_t, const QByteArray &)
{
    return RegResult::AccessDenied;
}
