#include "platform/InstanceChannel.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

InstanceChannel::InstanceChannel(QObject *parent) : QObject(parent) {}

InstanceChannel::~InstanceChannel()
{
    if (m_server)
        m_server->close();
}

QString InstanceChannel::socketPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/quarrow-instance");
}

bool InstanceChannel::handOver(const QString &address, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    // One line of UTF-8, answered with "ok" once the running Quarrow has it.
    socket.write(address.toUtf8().left(longestMessage).replace('\n', ' ') + '\n');
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.readLine().trimmed() == "ok";
}

bool InstanceChannel::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = socketPath();
    if (!m_server->listen(path)) {
        // A socket left behind by a Quarrow that did not end cleanly: nobody
        // answered on it (handOver failed first), so it can go.
        QLocalServer::removeServer(path);
        if (!m_server->listen(path))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &InstanceChannel::accept);
    return true;
}

void InstanceChannel::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A caller that says nothing within a few seconds is dropped.
        QTimer::singleShot(5000, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > longestMessage + 1)
                    socket->abort();
                return;
            }
            const QString address =
                QString::fromUtf8(socket->readLine(longestMessage + 2)).trimmed();
            socket->write("ok\n");
            socket->flush();
            socket->disconnectFromServer();
            emit addressReceived(address);
        });
    }
}
