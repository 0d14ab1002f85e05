#pragma once

#include "tests/support/HttpServer.h"

#include <QTemporaryDir>

#include <memory>

// A site that uses a picture in every way a page can, served on 127.0.0.1 by
// two servers: the site itself, and another origin for a cross-origin frame.
//   /page.html        the page, with <base href="/site/">; its script (when on)
//                     overrides built-ins and adds pics/added.png after load
//   /site/css/main.css, /site/css/more.css (imported), /site/frame.html
//   /site/pics/...    the pictures (pics/missing.png is missing)
//   other origin: /cross.html, whose pictures must never be listed
class InventorySite {
public:
    InventorySite();
    bool start();
    QString url(const QString &path) const { return m_server->urlText(path); }
    // The site's origin, "http://127.0.0.1:PORT".
    QString origin() const { return m_server->urlText(QString()); }
    testsupport::HttpServer &server() { return *m_server; }
    testsupport::HttpServer &otherServer() { return *m_other; }
    QString folder() const { return m_root.path(); }
    // The page as served (the cross-origin frame's address filled in).
    QByteArray pageBytes() const;

    static QByteArray gifBytes();
    static QByteArray pngBytes(int width, int height);
    static QString gifDataAddress();

private:
    QTemporaryDir m_root;
    QTemporaryDir m_otherRoot;
    std::unique_ptr<testsupport::HttpServer> m_server;
    std::unique_ptr<testsupport::HttpServer> m_other;
};
