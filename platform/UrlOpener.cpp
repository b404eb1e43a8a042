#include "platform/UrlOpener.h"

#include <QDesktopServices>
#include <QMimeDatabase>
#include <QProcess>

namespace {

// The desktop's opener starts whether or not a program takes the file's
// type; asked first, the desktop tells whether one does. When it cannot
// be asked, the opener is left to try.
bool desktopHasProgramFor(const QString &path)
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
        { QStringLiteral("query"), QStringLiteral("default"),
            QMimeDatabase().mimeTypeForFile(path).name() });
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished();
        return true;
    }
    return query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0
        || !query.readAllStandardOutput().trimmed().isEmpty();
}

UrlOpener::Opener &installed()
{
    static UrlOpener::Opener opener;
    return opener;
}

} // namespace

bool UrlOpener::open(const QUrl &url)
{
    if (installed())
        return installed()(url);
    if (url.isLocalFile() && !desktopHasProgramFor(url.toLocalFile()))
        return false;
    return QDesktopServices::openUrl(url);
}

void UrlOpener::install(Opener opener)
{
    installed() = std::move(opener);
}
