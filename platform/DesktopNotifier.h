#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QDBusPendingCallWatcher;

// Desktop notifications through the freedesktop notification service on
// the session bus. Without a bus or a service nothing is shown and nothing
// fails; a click on one of ours is told by activated().
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    static const QString kService; // "org.freedesktop.Notifications"

    explicit DesktopNotifier(
        const QString &appName, const QString &iconName, QObject *parent = nullptr);

    void notify(const QString &summary, const QString &body);

signals:
    void activated();

private:
    // QtDBus connects signals of the bus by slot name only.
    Q_SLOT void actionInvoked(uint id, const QString &action);
    void remember(QDBusPendingCallWatcher *watcher);

    QString app, icon;
    QSet<uint> shown; // ids of our notifications
    bool listening = false;
};
