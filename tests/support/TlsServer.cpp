#include "tests/support/TlsServer.h"

#include <QFile>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>

namespace testsupport {

TlsServer::TlsServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (auto *socket = qobject_cast<QSslSocket *>(m_server.nextPendingConnection())) {
            auto *buffer = new QByteArray;
            connect(socket, &QSslSocket::disconnected, socket, [socket, buffer] {
                delete buffer;
                socket->deleteLater();
            });
            connect(socket, &QSslSocket::readyRead, this, [this, socket, buffer] {
                buffer->append(socket->readAll());
                if (!buffer->contains("\r\n\r\n"))
                    return;
                const QByteArray request = *buffer;
                buffer->clear();
                answer(socket, request);
            });
        }
    });
}

bool TlsServer::start()
{
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString key = m_folder.filePath(QStringLiteral("key.pem"));
    const QString certificate = m_folder.filePath(QStringLiteral("certificate.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-keyout"), key, QStringLiteral("-out"), certificate,
                   QStringLiteral("-days"), QStringLiteral("30"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=127.0.0.1/O=Quarrow Test Site"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1")});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
        m_error = QStringLiteral("openssl: ") +
                  QString::fromLocal8Bit(openssl.readAllStandardError()) + openssl.errorString();
        return false;
    }
    QFile keyFile(key);
    QFile certificateFile(certificate);
    if (!keyFile.open(QIODevice::ReadOnly) || !certificateFile.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("the certificate's files cannot be read");
        return false;
    }
    m_certificate = QSslCertificate(certificateFile.readAll());
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(m_certificate);
    configuration.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Ec));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_server.setSslConfiguration(configuration);
    if (!m_server.listen(QHostAddress::LocalHost, 0)) {
        m_error = m_server.errorString();
        return false;
    }
    return true;
}

QUrl TlsServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(port()).arg(path));
}

void TlsServer::setRoute(const QString &path, const QByteArray &body)
{
    m_routes.insert(path, body);
}

void TlsServer::answer(QSslSocket *socket, const QByteArray &request)
{
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const QString path = QString::fromLatin1(words.value(1));
    m_requests.append(path);
    const bool known = m_routes.contains(path);
    const QByteArray body =
        known ? m_routes.value(path) : QByteArray("<html><body>not found</body></html>");
    socket->write((known ? QByteArray("HTTP/1.1 200 OK") : QByteArray("HTTP/1.1 404 Not Found")) +
                  "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                  QByteArray::number(body.size()) +
                  "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + body);
    socket->disconnectFromHost();
}

quint16 refusingPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace testsupport
