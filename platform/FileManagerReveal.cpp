#include "platform/FileManagerReveal.h"

#include "platform/UrlOpener.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QUrl>

namespace {

void openFolder(const QString &localPath)
{
    UrlOpener::open(QUrl::fromLocalFile(QFileInfo(localPath).absolutePath()));
}

} // namespace

void FileManagerReveal::showItem(const QString &localPath)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(localPath);
        return;
    }
    const QString name = QStringLiteral("org.freedesktop.FileManager1");
    QDBusMessage call = QDBusMessage::createMethodCall(
        name, QStringLiteral("/org/freedesktop/FileManager1"), name, QStringLiteral("ShowItems"));
    call << QStringList { QUrl::fromLocalFile(localPath).toString() } << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
        [localPath](QDBusPendingCallWatcher *w) {
            if (w->isError())
                openFolder(localPath);
            w->deleteLater();
        });
}
