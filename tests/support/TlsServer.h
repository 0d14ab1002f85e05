#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSslCertificate>
#include <QSslServer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

namespace testsupport {

// An https server on 127.0.0.1 whose certificate the test makes itself with
// the openssl command line: self-signed, for 127.0.0.1, trusted by no one.
// Serves the bodies registered by path (others: 404). Runs in the caller's
// event loop.
class TlsServer : public QObject {
    Q_OBJECT
public:
    explicit TlsServer(QObject *parent = nullptr);

    // Makes the certificate and listens; false (and error()) when it cannot.
    bool start();
    QString error() const { return m_error; }
    quint16 port() const { return m_server.serverPort(); }
    // https://127.0.0.1:PORT + path.
    QUrl url(const QString &path = QStringLiteral("/")) const;
    QSslCertificate certificate() const { return m_certificate; }

    void setRoute(const QString &path, const QByteArray &body);
    // Paths requested so far, in order.
    QStringList requests() const { return m_requests; }

private:
    void answer(class QSslSocket *socket, const QByteArray &request);

    QTemporaryDir m_folder;
    QSslServer m_server;
    QSslCertificate m_certificate;
    QHash<QString, QByteArray> m_routes;
    QStringList m_requests;
    QString m_error;
};

// A port on 127.0.0.1 where nothing listens: a connection to it is refused.
quint16 refusingPort();

} // namespace testsupport
