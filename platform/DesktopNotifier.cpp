#include "platform/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

const QString DesktopNotifier::kService = QStringLiteral("org.freedesktop.Notifications");

namespace {
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
}

DesktopNotifier::DesktopNotifier(const QString &appName, const QString &iconName, QObject *parent)
    : QObject(parent), app(appName), icon(iconName)
{
}

void DesktopNotifier::notify(const QString &summary, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!listening)
        listening = bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
            SLOT(actionInvoked(uint, QString)));
    QDBusMessage call
        = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QStringList actions { QStringLiteral("default"), tr("Show") };
    const QVariantMap hints { { QStringLiteral("desktop-entry"), icon } };
    call << app << uint(0) << icon << summary << body << actions << hints << int(-1);
    // Asynchronous: a service that is slow or missing never holds the window.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotifier::remember);
}

void DesktopNotifier::remember(QDBusPendingCallWatcher *watcher)
{
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isValid())
        shown.insert(reply.value());
    watcher->deleteLater();
}

void DesktopNotifier::actionInvoked(uint id, const QString &action)
{
    Q_UNUSED(action)
    if (shown.remove(id))
        emit activated();
}
