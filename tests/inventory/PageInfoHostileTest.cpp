// What a hostile page can try against the Page Info window's fetcher,
// thumbnailer and saver, each with real servers that record every request
// and real files (FIFOs, devices, links) on disk.

#include "windows/MediaSaver.h"
#include "windows/PageInfoWindow.h"
#include "windows/PictureFetcher.h"

#include "tests/inventory/InventorySite.h"
#include "tests/support/Eventually.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEngineProfile>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

// True while some process holds the FIFO open for reading: a writer that
// does not wait then finds a reader.
bool someoneReads(const QString &fifo)
{
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    if (fd < 0)
        return errno != ENXIO;
    ::close(fd);
    return true;
}

// Lets anything that waits on the FIFO go on: opens it for writing and closes
// it, so that a reader stuck in open() or read() sees its end.
void release(const QString &fifo)
{
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0)
        ::close(fd);
}

class HostileSvg : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(secrets.isValid());
        fifo = secrets.filePath(QStringLiteral("fifo.png"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        server = std::make_unique<testsupport::HttpServer>(root.path());
        ASSERT_TRUE(server->start());
    }
    void TearDown() override
    {
        // A thumbnailer stuck on the FIFO is let go before the test ends.
        release(fifo);
        fetcher.reset();
    }

    QTemporaryDir root;
    QTemporaryDir secrets;
    QString fifo;
    std::unique_ptr<testsupport::HttpServer> server;
    std::unique_ptr<PictureFetcher> fetcher;
};

TEST_F(HostileSvg, AnSvgThumbnailOpensNoLocalFileAndFetchesNothing)
{
    const QString nested = server->urlText(QStringLiteral("/nested.png"));
    server->setRoute(QStringLiteral("/nested.png"), InventorySite::pngBytes(4, 4), "image/png");
    const QByteArray svg =
        QStringLiteral(
            R"(<?xml version="1.0"?>
<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="40" height="20">
  <rect width="40" height="20" fill="#c00"/>
  <image href="file://%1" width="10" height="10"/>
  <image xlink:href="%1" width="10" height="10"/>
  <image href="%2" width="10" height="10"/>
  <image xlink:href="data:image/svg+xml;base64,%3" width="10" height="10"/>
  <use xlink:href="%1#x"/>
</svg>
)")
            .arg(fifo, nested,
                 QString::fromLatin1(
                     QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' "
                                    "xmlns:xlink='http://www.w3.org/1999/xlink'>"
                                    "<image xlink:href='%1' width='5' height='5'/></svg>")
                         .arg(fifo)
                         .toUtf8()
                         .toBase64()))
            .toUtf8();
    server->setRoute(QStringLiteral("/evil.svg"), svg, "image/svg+xml");

    fetcher = std::make_unique<PictureFetcher>(nullptr);
    fetcher->setPage(server->url(QStringLiteral("/page.html")));
    const QString address = server->urlText(QStringLiteral("/evil.svg"));
    QSignalSpy ready(fetcher.get(), &PictureFetcher::thumbnailReady);
    EXPECT_TRUE(fetcher->thumbnail(address).isNull());
    EXPECT_EVENTUALLY(!ready.isEmpty(), 20000);
    // The picture itself is drawn: its red rectangle, to the thumbnail's size.
    const QImage thumbnail = fetcher->thumbnail(address);
    ASSERT_FALSE(thumbnail.isNull());
    EXPECT_EQ(thumbnail.size(), QSize(40, 20));
    EXPECT_EQ(QColor(thumbnail.pixel(2, 2)), QColor(0xcc, 0, 0));
    EXPECT_FALSE(someoneReads(fifo));
    // The picture was fetched; what it names was not.
    EXPECT_TRUE(server->requests().contains(QStringLiteral("/evil.svg")));
    EXPECT_FALSE(server->requests().contains(QStringLiteral("/nested.png")))
        << server->requests().join(' ').toStdString();

    // The preview, decoded at another size, follows the same rules.
    QSignalSpy previewed(fetcher.get(), &PictureFetcher::previewReady);
    fetcher->requestPreview(address, QSize(400, 400));
    EXPECT_EVENTUALLY(!previewed.isEmpty(), 20000);
    ASSERT_FALSE(previewed.isEmpty());
    EXPECT_FALSE(previewed.constFirst().at(1).value<QImage>().isNull());
    EXPECT_FALSE(someoneReads(fifo));
    EXPECT_FALSE(server->requests().contains(QStringLiteral("/nested.png")));
}

} // namespace
