#include "transfers/FolderProgress.h"

namespace {

// Decimal units, one decimal from GB up, as the panel's other byte counts.
QString bytesText(uint64_t bytes, const QLocale &locale)
{
    const double kilo = 1000.0;
    if (bytes < 1000)
        return locale.toString(qulonglong(bytes)) + QStringLiteral(" bytes");
    if (bytes < 1000 * 1000)
        return locale.toString(qulonglong(bytes / 1000)) + QStringLiteral(" KB");
    if (bytes < uint64_t(1000) * 1000 * 1000)
        return locale.toString(qulonglong(bytes / (1000 * 1000))) + QStringLiteral(" MB");
    return locale.toString(double(bytes) / (kilo * kilo * kilo), 'f', 1) + QStringLiteral(" GB");
}

} // namespace

QString FolderProgress::summaryText(
    int doneFiles, int files, uint64_t doneBytes, uint64_t bytes, const QLocale &locale)
{
    return QStringLiteral("%1 of %2 files, %3 of %4")
        .arg(locale.toString(doneFiles), locale.toString(files), bytesText(doneBytes, locale),
            bytesText(bytes, locale));
}

void FolderProgress::beginFolder()
{
    folders.push_back({});
}

void FolderProgress::added(uint64_t itemId, uint64_t bytes)
{
    if (folders.empty())
        return;
    Folder &f = folders.back();
    ++f.files;
    f.bytes += bytes;
    members[itemId] = { folders.size() - 1, bytes };
}

void FolderProgress::removed(uint64_t itemId, bool transferred)
{
    const auto found = members.find(itemId);
    if (found == members.end())
        return;
    Folder &f = folders[found->second.folder];
    if (transferred) {
        ++f.doneFiles;
        f.doneBytes += found->second.bytes;
    } else {
        --f.files;
        f.bytes -= found->second.bytes;
    }
    members.erase(found);
}

QString FolderProgress::summaryOf(uint64_t itemId) const
{
    const auto found = members.find(itemId);
    if (found == members.end())
        return QString();
    const Folder &f = folders[found->second.folder];
    return summaryText(f.doneFiles, f.files, f.doneBytes, f.bytes, QLocale::system());
}
