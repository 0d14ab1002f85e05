#include "platform/InstanceChannel.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const char socketName[] = "quarrow-instance";

// A folder is private when it is a real folder (not a link), belongs to the
// user, and no one else may enter or write it.
bool isPrivateFolder(const QByteArray &path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// A parent may hold the private folder when others cannot swap what is in
// it: the user's own and not writable by others.
bool isSafeParent(const QByteArray &path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

bool fitsSocketAddress(const QString &folder)
{
    return QFile::encodeName(folder).size() + 1 + qsizetype(sizeof socketName) <=
           qsizetype(sizeof(sockaddr_un::sun_path));
}

// True when the socket's other end runs as the user.
bool peerIsOwnUser(qintptr descriptor)
{
    struct ucred cred {};
    socklen_t length = sizeof cred;
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0)
        return false;
    return cred.uid == ::geteuid();
}

} // namespace

InstanceChannel::InstanceChannel(QObject *parent) : QObject(parent) {}

InstanceChannel::~InstanceChannel()
{
    if (m_server)
        m_server->close();
}

QString InstanceChannel::socketFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivateFolder(QFile::encodeName(runtime)) &&
        fitsSocketAddress(runtime))
        return QDir::cleanPath(runtime);

    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!QDir::isAbsolutePath(cache))
        return {};
    const QString folder = QDir::cleanPath(cache + QStringLiteral("/quarrow"));
    if (!fitsSocketAddress(folder))
        return {};
    QDir().mkpath(cache);
    if (!isSafeParent(QFile::encodeName(cache)))
        return {};
    const QByteArray encoded = QFile::encodeName(folder);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat st {};
    if (::lstat(encoded.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 077) != 0)
        ::chmod(encoded.constData(), 0700);
    return isPrivateFolder(encoded) ? folder : QString();
}

QString InstanceChannel::socketPath()
{
    const QString folder = socketFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + QLatin1String(socketName);
}

bool InstanceChannel::handOver(const QString &address, int timeoutMs)
{
    const QString path = socketPath();
    if (path.isEmpty())
        return false;
    // Speak only to a socket that is the user's own.
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISSOCK(st.st_mode) ||
        st.st_uid != ::geteuid())
        return false;

    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs) || !peerIsOwnUser(socket.socketDescriptor()))
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
    const QString path = socketPath();
    if (path.isEmpty())
        return false;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        // A socket left behind by a Quarrow that did not end cleanly: nobody
        // answered on it (handOver failed first), and it lies in the user's
        // private folder, so it can go.
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
        if (!peerIsOwnUser(socket->socketDescriptor())) {
            socket->abort();
            emit callerDropped();
            continue;
        }
        // A caller that says nothing in time is dropped.
        QTimer::singleShot(m_callerPatienceMs, socket, [this, socket] {
            socket->abort();
            emit callerDropped();
        });
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
