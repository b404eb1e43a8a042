#pragma once

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QPixmap>
#include <QString>
#include <QVector>

// Hands out small integer indexes for icons, the way a system image list
// does: rows, tree nodes and combo items store only the index, and the small
// (16 px) and large (32 px) pictures of an icon share it. An index never
// changes or goes away for the life of the list.
class IconList {
public:
    static constexpr int kSmallSize = 16;
    static constexpr int kLargeSize = 32;

    IconList();

    // The process-wide list, like the shell's image lists.
    static IconList &instance();

    // Makes theme icons resolve on every platform plugin (offscreen and plain
    // X11 sessions have no desktop theme to ask). Call once, after the
    // QGuiApplication exists and before the first icon is looked up.
    static void setUpTheme();

    // Icon of a file type by the name's extension; every file of an unknown
    // type, or without an extension, gets the generic file icon.
    int indexForFileName(const QString &name, bool isFolder);
    int folderIndex(bool open) const { return open ? kFolderOpen : kFolderClosed; }
    int siteIndex() const { return kSite; }
    int programIndex() const { return kProgram; }
    // A symbolic link not yet known to lead to a folder or a file.
    int linkIndex() const { return kLink; }
    int genericIndex() const { return kGeneric; }

    int count() const { return icons.size(); }
    // An index that was never handed out gives the generic file icon.
    QIcon icon(int index) const;
    QPixmap pixmap(int index, bool large) const;

private:
    enum Fixed { kGeneric, kFolderClosed, kFolderOpen, kSite, kProgram, kLink };

    int indexForIconName(const QString &iconName);
    static QString themeNameFor(const QMimeType &type);
    static QIcon genericFileIcon();
    static QIcon themeOrOwn(const QString &themeName, const QString &resource);
    static QIcon ownOrTheme(const QString &resource, const QString &themeName);

    QVector<QIcon> icons;
    QHash<QString, int> indexByIconName;
    QHash<QString, int> indexByMimeType;
    QMimeDatabase mimeDb;
};
