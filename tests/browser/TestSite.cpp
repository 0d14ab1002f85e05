#include "tests/browser/TestSite.h"

#include "tests/support/TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QImage>

TestSite::TestSite()
{
    const QString root = m_root.path();
    QDir(root).mkpath("pics");
    QDir(root).mkpath("dir1/sub");
    testsupport::writeFile(root + "/index.html",
                           "<html><head><title>Home</title></head><body>\n"
                           "<h1>Home</h1>\n"
                           "<img src=\"pics/a.gif\" alt=\"a\">\n"
                           "<p><a href=\"pics/big.jpg\">the big picture</a></p>\n"
                           "<p><a href=\"dir1/page2.html\">page two</a></p>\n"
                           "</body></html>\n");
    testsupport::writeFile(root + "/dir1/page2.html",
                           "<html><head><title>Page Two</title></head><body>\n"
                           "<img src=\"../pics/a.gif\">\n"
                           "<img src='b.png' width=4>\n"
                           "<p><a href=\"sub/page3.html\">page three</a></p>\n"
                           "</body></html>\n");
    testsupport::writeFile(root + "/dir1/sub/page3.html",
                           "<html><head><title>Page Three</title></head><body>"
                           "<p>Third page.</p></body></html>\n");
    testsupport::writeFile(root + "/pics/a.gif", gifBytes());
    testsupport::writeFile(root + "/dir1/b.png", pngBytes(4, 3));
    QImage photo(8, 6, QImage::Format_RGB32);
    photo.fill(Qt::darkGreen);
    photo.save(root + "/pics/big.jpg", "JPG");
    m_server = std::make_unique<testsupport::HttpServer>(root);
}

bool TestSite::start()
{
    return m_server->start();
}

QByteArray TestSite::gifBytes()
{
    // A 1 x 1 GIF89a (Qt writes no GIF).
    static const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01,
                                        0x00, 0x80, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00,
                                        0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01,
                                        0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
    return QByteArray(reinterpret_cast<const char *>(gif), sizeof gif);
}

QByteArray TestSite::pngBytes(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
