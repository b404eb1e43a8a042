#include "platform/IconList.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QStyle>

namespace {
const QString kGenericFileIcon = QStringLiteral("text-x-generic");
}

IconList::IconList()
{
    // The fixed entries come first so their indexes are the same in every run;
    // index 0 is also what a failed lookup gives.
    icons.append(genericFileIcon());
    icons.append(themeOrOwn(QStringLiteral("folder"), QStringLiteral(":/icons/folder.svg")));
    icons.append(
        themeOrOwn(QStringLiteral("folder-open"), QStringLiteral(":/icons/folder-open.svg")));
    icons.append(ownOrTheme(QStringLiteral(":/icons/site.svg"), QStringLiteral("network-server")));
    icons.append(
        ownOrTheme(QStringLiteral(":/icons/vrex.svg"), QStringLiteral("system-file-manager")));
    icons.append(themeOrOwn(QStringLiteral("inode-symlink"), QStringLiteral(":/icons/link.svg")));
    indexByIconName.insert(kGenericFileIcon, kGeneric);
}

IconList &IconList::instance()
{
    static IconList list;
    return list;
}

void IconList::setUpTheme()
{
    QStringList paths = QIcon::themeSearchPaths();
    const QString system = QStringLiteral("/usr/share/icons");
    if (!paths.contains(system))
        paths.append(system);
    QIcon::setThemeSearchPaths(paths);
    QIcon::setThemeName(QStringLiteral("Adwaita"));
    QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

int IconList::indexForFileName(const QString &name, bool isFolder)
{
    if (isFolder)
        return folderIndex(false);
    // Only the extension counts: the file is remote and its content unknown.
    if (QFileInfo(name).suffix().isEmpty())
        return kGeneric;
    const QMimeType type = mimeDb.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return kGeneric;
    const auto known = indexByMimeType.constFind(type.name());
    if (known != indexByMimeType.constEnd())
        return known.value();
    const int index = indexForIconName(themeNameFor(type));
    indexByMimeType.insert(type.name(), index);
    return index;
}

QIcon IconList::icon(int index) const
{
    if (index < 0 || index >= icons.size())
        return icons.at(kGeneric);
    return icons.at(index);
}

QPixmap IconList::pixmap(int index, bool large) const
{
    const int size = large ? kLargeSize : kSmallSize;
    return icon(index).pixmap(size, size);
}

// Types that share a picture share its index, so the list stays as short as
// the number of distinct pictures.
int IconList::indexForIconName(const QString &iconName)
{
    if (iconName.isEmpty())
        return kGeneric;
    const auto known = indexByIconName.constFind(iconName);
    if (known != indexByIconName.constEnd())
        return known.value();
    icons.append(QIcon::fromTheme(iconName));
    const int index = icons.size() - 1;
    indexByIconName.insert(iconName, index);
    return index;
}

// The type's own icon where the theme has it (text-html), else the icon of its
// family (text-x-generic); empty when the theme has neither.
QString IconList::themeNameFor(const QMimeType &type)
{
    if (QIcon::hasThemeIcon(type.iconName()))
        return type.iconName();
    if (QIcon::hasThemeIcon(type.genericIconName()))
        return type.genericIconName();
    return QString();
}

QIcon IconList::genericFileIcon()
{
    QIcon themed = QIcon::fromTheme(kGenericFileIcon);
    if (themed.isNull() && qobject_cast<QApplication *>(QCoreApplication::instance()))
        themed = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    return themed;
}

QIcon IconList::themeOrOwn(const QString &themeName, const QString &resource)
{
    QIcon themed = QIcon::fromTheme(themeName);
    return themed.isNull() ? ownOrTheme(resource, QString()) : themed;
}

// The resource is missing only from a binary linked without it; a theme
// icon is better than nothing then.
QIcon IconList::ownOrTheme(const QString &resource, const QString &themeName)
{
    if (QFile::exists(resource))
        return QIcon(resource);
    return themeName.isEmpty() ? QIcon() : QIcon::fromTheme(themeName);
}
