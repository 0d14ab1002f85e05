#include "tests/support/HttpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>

#include <utility>

namespace testsupport {

HttpServer::HttpServer(const QString &rootFolder, QObject *parent)
    : QObject(parent), m_root(rootFolder)
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpServer::onNewConnection);
}

bool HttpServer::start()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

quint16 HttpServer::port() const
{
    return m_server.serverPort();
}

QUrl HttpServer::url(const QString &path) const
{
    return QUrl(urlText(path));
}

QString HttpServer::urlText(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void HttpServer::setRoute(const QString &path, const QByteArray &body,
                          const QByteArray &contentType, const QByteArray &status)
{
    m_routes.insert(path, Route{body, contentType, status});
}

QByteArray HttpServer::contentTypeFor(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return "text/html; charset=utf-8";
    if (suffix == QLatin1String("gif"))
        return "image/gif";
    if (suffix == QLatin1String("png"))
        return "image/png";
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return "image/jpeg";
    if (suffix == QLatin1String("bmp"))
        return "image/bmp";
    if (suffix == QLatin1String("css"))
        return "text/css";
    return "application/octet-stream";
}

void HttpServer::requireLogin(const QString &path, const QByteArray &realm, const QByteArray &user,
                              const QByteArray &password, const QByteArray &refusal)
{
    m_logins.insert(path, {realm, (user + ':' + password).toBase64(), refusal});
}

namespace {
// The value of a header of the request's head, or empty.
QByteArray headerValue(const QByteArray &head, const QByteArray &name)
{
    for (const QByteArray &line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

qsizetype contentLength(const QByteArray &head)
{
    return std::max<qsizetype>(0, headerValue(head, "content-length").toLongLong());
}
} // namespace

bool HttpServer::anyRequestContains(const QByteArray &text) const
{
    for (const QByteArray &request : m_rawRequests) {
        if (request.contains(text))
            return true;
        QByteArray spaced = request;
        spaced.replace('+', ' ');
        if (QByteArray::fromPercentEncoding(request).contains(text) ||
            QByteArray::fromPercentEncoding(spaced).contains(text))
            return true;
    }
    return false;
}

void HttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto *buffer = new QByteArray;
        connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
            delete buffer;
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype headEnd = buffer->indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            // The body, when there is one, is part of what the test may look at.
            const qsizetype total = headEnd + 4 + contentLength(buffer->left(headEnd));
            if (buffer->size() < total)
                return;
            const QByteArray request = buffer->left(total);
            buffer->clear();
            m_rawRequests.append(request);
            answer(socket, request);
        });
    }
}

void HttpServer::releaseRoute(const QString &path)
{
    m_held.removeAll(path);
    const auto waiting = std::exchange(m_waiting, {});
    for (const auto &[socket, request] : waiting) {
        if (!socket)
            continue;
        // Answered as if it came now (held again when its own route still is),
        // and counted once.
        const qsizetype counted = m_requests.size();
        answer(socket, request);
        if (m_requests.size() > counted)
            m_requests.removeLast();
    }
}

void HttpServer::answer(QTcpSocket *socket, const QByteArray &request)
{
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const QByteArray method = words.value(0);
    QString path = QUrl::fromPercentEncoding(words.value(1));
    path = path.left(path.indexOf(QLatin1Char('?')) < 0 ? path.size()
                                                        : path.indexOf(QLatin1Char('?')));
    if (m_held.contains(path)) {
        m_requests.append(path);
        m_waiting.append({socket, request});
        return;
    }
    m_requests.append(path);

    QByteArray status = "200 OK";
    QByteArray body;
    QByteArray type;
    QByteArray extraHeaders;
    const auto login = m_logins.constFind(path);
    const QByteArray requestHead = request.left(request.indexOf("\r\n\r\n"));
    if (login != m_logins.cend() &&
        headerValue(requestHead, "authorization") != "Basic " + login->credentials) {
        ++m_refusedLogins;
        status = "401 Unauthorized";
        body = login->refusal;
        type = "text/html; charset=utf-8";
        extraHeaders = "WWW-Authenticate: Basic realm=\"" + login->realm + "\"\r\n";
    } else if (m_redirects.contains(path)) {
        status = "302 Found";
        type = "text/html";
        extraHeaders = "Location: " + m_redirects.value(path) + "\r\n";
    } else if (m_routes.contains(path)) {
        const Route route = m_routes.value(path);
        body = route.body;
        type = route.contentType;
        status = route.status;
    } else {
        QString local = QDir::cleanPath(m_root + path);
        if (QFileInfo(local).isDir())
            local += QStringLiteral("/index.html");
        QFile file(local);
        if (!local.startsWith(QDir::cleanPath(m_root)) || !file.open(QIODevice::ReadOnly)) {
            status = "404 Not Found";
            body = "<html><body>not found</body></html>";
            type = "text/html";
        } else {
            body = file.readAll();
            type = contentTypeFor(local);
        }
    }
    if (status != "401 Unauthorized")
        status = m_statuses.value(path, status);
    QByteArray head =
        "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
        "\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\nConnection: close\r\nCache-Control: " +
        (m_maxAge.contains(path) ? "max-age=" + QByteArray::number(m_maxAge.value(path))
                                 : QByteArray("no-store")) +
        "\r\n" + extraHeaders + "\r\n";
    socket->write(head);
    if (m_stalled.contains(path)) {
        socket->write(body.left(body.size() / 4));
        return;
    }
    if (method != "HEAD")
        socket->write(body);
    socket->disconnectFromHost();
}

} // namespace testsupport
