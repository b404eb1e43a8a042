#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One program per user: the first start listens on a socket in the user's
// runtime folder; a later start hands its address (or nothing) over to it
// and ends. A socket left behind by a crashed program is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The socket's path; `name` tells programs apart (tests pass their own).
    explicit SingleInstance(
        const QString &name = QStringLiteral("vrex-explorer"), QObject *parent = nullptr);
    ~SingleInstance() override;

    QString socketPath() const { return path; }

    // True when a running program took the message: this one should end.
    bool handOver(const QString &message, int timeoutMs = 1500);
    // Listens for later starts; false (with `error`) when it cannot.
    bool listen(QString *error = nullptr);

signals:
    // A later start's message, as it gave it ("" for none).
    void messageReceived(const QString &message);

private:
    void readFrom(class QLocalSocket *socket);

    QString path;
    QLocalServer *server = nullptr;
};
