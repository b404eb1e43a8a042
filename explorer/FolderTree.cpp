#include "explorer/FolderTree.h"

#include "ftp/FileTime.h"
#include "platform/LocalName.h"

#include <QStringList>

#include <algorithm>
#include <cstring>

namespace FolderTree {

QString join(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString normalPath(const QString &path)
{
    QStringList kept;
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept << part;
    }
    return QLatin1Char('/') + kept.join(QLatin1Char('/'));
}

QString lastPart(const QString &path)
{
    QString trimmed = path;
    while (trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
}

bool fitsLocally(const QString &name)
{
    // 255 bytes is what a name may hold on the usual local file systems.
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0))
        && LocalName::fromServerName(name) == name && name.toUtf8().size() <= 255;
}

uint64_t signature(const std::vector<TWin32FindData> &entries)
{
    std::vector<const TWin32FindData *> sorted;
    for (const TWin32FindData &e : entries)
        sorted.push_back(&e);
    std::sort(sorted.begin(), sorted.end(), [](const TWin32FindData *a, const TWin32FindData *b) {
        return std::strncmp(a->cFileName, b->cFileName, sizeof a->cFileName) < 0;
    });
    // FNV-1a over name, kind, size and time of every entry.
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](const void *data, size_t size) {
        const auto *bytes = static_cast<const unsigned char *>(data);
        for (size_t i = 0; i < size; ++i)
            hash = (hash ^ bytes[i]) * 1099511628211ull;
    };
    for (const TWin32FindData *e : sorted) {
        mix(e->cFileName, qstrnlen(e->cFileName, sizeof e->cFileName) + 1);
        const uint64_t facts[]
            = { e->dwFileAttributes, fileSize(*e), FileTime::toTicks(e->ftLastWriteTime) };
        mix(facts, sizeof facts);
    }
    return hash;
}

bool transfers(Existing rule, bool targetExists, const TFileTime &source, const TFileTime &target)
{
    if (!targetExists)
        return rule != Existing::Cancel;
    switch (rule) {
    case Existing::Overwrite:
        return true;
    case Existing::OverwriteIfNewer:
        // Whole seconds: one side may not keep fractions.
        return FileTime::toUnixSeconds(source) > FileTime::toUnixSeconds(target);
    default:
        return false;
    }
}

} // namespace FolderTree
