#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace testsupport {

// A small HTTP/1.1 server on 127.0.0.1 for tests: serves the files of one
// folder, plus any bodies registered by path. Runs in the caller's event loop,
// so it answers while a test waits with QSignalSpy::wait or QTRY_*.
class HttpServer : public QObject {
    Q_OBJECT
public:
    explicit HttpServer(const QString &rootFolder, QObject *parent = nullptr);

    bool start();
    quint16 port() const;
    // http://127.0.0.1:PORT + path (path starts with "/").
    QUrl url(const QString &path = QStringLiteral("/")) const;
    QString urlText(const QString &path = QStringLiteral("/")) const;

    // Serve `body` for `path` instead of a file, with the status given
    // ("404 Not Found").
    void setRoute(const QString &path, const QByteArray &body,
                  const QByteArray &contentType = "text/html; charset=utf-8",
                  const QByteArray &status = "200 OK");

    // Requests for `path` get no answer at all (a server that hangs), until
    // the route is released: then those held are answered, and later ones at once.
    void holdRoute(const QString &path) { m_held.append(path); }
    void releaseRoute(const QString &path);
    // Requests for this path get their head and a first part of the body, and
    // then wait forever for the rest (a download that stays under way).
    void stallRoute(const QString &path) { m_stalled.append(path); }

    // Requests for `path` must log in with HTTP Basic authentication as
    // `user` and `password`; others get 401 with a challenge for `realm` and
    // `refusal` as their page.
    void requireLogin(const QString &path, const QByteArray &realm, const QByteArray &user,
                      const QByteArray &password, const QByteArray &refusal);
    // How many requests have been refused for want of a login.
    int refusedLogins() const { return m_refusedLogins; }
    // Answer `path` with this status line ("404 Not Found") instead of 200 OK,
    // with whatever body it would have had.
    void setRouteStatus(const QString &path, const QByteArray &status)
    {
        m_statuses.insert(path, status);
    }

    // Answer `path` as one that caches may keep for `seconds` (instead of
    // "no-store").
    void setRouteCacheable(const QString &path, int seconds) { m_maxAge.insert(path, seconds); }

    // Requests for `path` are sent on to `to` (an address or a path), with
    // "302 Found".
    void redirectRoute(const QString &path, const QByteArray &to) { m_redirects.insert(path, to); }

    // Paths requested so far, in order.
    QStringList requests() const { return m_requests; }

    // Every request so far exactly as it arrived: request line (with its
    // query), headers and body.
    QList<QByteArray> rawRequests() const { return m_rawRequests; }
    // True when some request carries `text`, as sent or once its percent
    // escapes (and '+' for space) are decoded.
    bool anyRequestContains(const QByteArray &text) const;

    static QByteArray contentTypeFor(const QString &path);

private:
    void onNewConnection();
    void answer(class QTcpSocket *socket, const QByteArray &request);

    QString m_root;
    QTcpServer m_server;
    struct Route {
        QByteArray body;
        QByteArray contentType;
        QByteArray status;
    };
    QHash<QString, Route> m_routes;
    QStringList m_requests;
    QList<QByteArray> m_rawRequests;
    struct Login {
        QByteArray realm;
        QByteArray credentials;
        QByteArray refusal;
    };
    QHash<QString, Login> m_logins;
    int m_refusedLogins = 0;
    QStringList m_held;
    // The requests held so far, with the sockets that wait for their answer.
    QList<QPair<QPointer<QTcpSocket>, QByteArray>> m_waiting;
    QStringList m_stalled;
    QHash<QString, QByteArray> m_statuses;
    QHash<QString, int> m_maxAge;
    QHash<QString, QByteArray> m_redirects;
};

} // namespace testsupport
