#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The user's runtime folder, or a private folder of our own where the
// session has none: never a place another user can write.
QString runtimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/vrex-runtime-") + QString::number(getuid());
    QDir().mkpath(folder);
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    return folder;
}

constexpr char kAck = '\x06';

} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent), path(runtimeFolder() + QLatin1Char('/') + name + QStringLiteral(".socket"))
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::handOver(const QString &message, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(message.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The running program answers once it has the message.
    while (socket.bytesAvailable() == 0)
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    return socket.read(1) == QByteArray(1, kAck);
}

bool SingleInstance::listen(QString *error)
{
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path)) {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(500)) {
            if (error)
                *error = QStringLiteral("another program listens on ") + path;
            return false;
        }
        // Nobody answers there: the socket file is a crashed program's.
        QLocalServer::removeServer(path);
        if (!server->listen(path)) {
            if (error)
                *error = server->errorString();
            return false;
        }
    }
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
            readFrom(socket);
        }
    });
    return true;
}

void SingleInstance::readFrom(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > 64 * 1024)
            socket->abort(); // no address is that long
        return;
    }
    const QString message = QString::fromUtf8(socket->readLine()).trimmed();
    socket->write(QByteArray(1, kAck));
    socket->flush();
    emit messageReceived(message);
}
