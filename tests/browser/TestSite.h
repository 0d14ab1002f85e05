#pragma once

#include "tests/support/HttpServer.h"

#include <QTemporaryDir>

#include <memory>

// A small site of three pages in two folders, with pictures and links to
// pictures, served on 127.0.0.1:
//   /index.html               "Home": an image, a link to a picture, a link to dir1/page2.html
//   /dir1/page2.html          "Page Two": ../pics/a.gif, b.png, a link to sub/page3.html
//   /dir1/sub/page3.html      "Page Three"
//   /pics/a.gif, /pics/big.jpg, /dir1/b.png
class TestSite {
public:
    TestSite();
    bool start();
    QString url(const QString &path) const { return m_server->urlText(path); }
    testsupport::HttpServer &server() { return *m_server; }
    QString folder() const { return m_root.path(); }

    static QByteArray gifBytes();
    static QByteArray pngBytes(int width, int height);

private:
    QTemporaryDir m_root;
    std::unique_ptr<testsupport::HttpServer> m_server;
};
