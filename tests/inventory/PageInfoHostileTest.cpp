// What a hostile page can try against the Page Info window's fetcher,
// thumbnailer and saver, each with real servers that record every request
// and real files (FIFOs, devices, links) on disk.

#include "windows/MediaModels.h"
#include "windows/MediaSaver.h"
#include "windows/PageInfoWindow.h"
#include "windows/PictureFetcher.h"

#include "tests/inventory/InventorySite.h"
#include "tests/support/CraftedPictures.h"
#include "tests/support/Eventually.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
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

// ---------------------------------------------------------------------------
// Decoding costs: pictures crafted to cost far more to decode than to send.

// A grey 8-bit PNG of width × height that holds only its first `rows` rows.
QByteArray greyPng(quint32 width, quint32 height, quint32 rows)
{
    return crafted::greyPng(width, height, 8, rows);
}

using crafted::stillWebp;

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

TEST(DecodeLimits, CraftedHugePicturesAreRefusedBeforeTheyCost)
{
    const struct {
        const char *what;
        QByteArray bytes;
        QSize natural;
    } cases[] = {
        {"PNG of 100000 x 100000", greyPng(100000, 100000, 1), QSize(100000, 100000)},
        {"PNG of 8000 x 8000", greyPng(8000, 8000, 8000), QSize(8000, 8000)},
        {"PNG of 8001 x 8000", greyPng(8001, 8000, 1), QSize(8001, 8000)},
        {"WebP of 16384 x 16384", stillWebp(16384, 16384), QSize(16384, 16384)},
        // A few kilobytes that decode to 156 MB.
        {"WebP of 6400 x 6400", stillWebp(6400, 6400), QSize(6400, 6400)},
    };
    for (const auto &c : cases) {
        QSize natural;
        QString problem;
        const QImage image =
            PictureFetcher::decodePicture(c.bytes, QSize(160, 160), {}, &natural, &problem);
        EXPECT_TRUE(image.isNull()) << c.what;
        EXPECT_EQ(natural, c.natural) << c.what;
        EXPECT_TRUE(problem.startsWith(QLatin1String("too large to show")))
            << c.what << ": " << problem.toStdString();
    }
    EXPECT_LT(cases[4].bytes.size(), 64);
}

TEST(DecodeLimits, PicturesWithinTheLimitsBecomeThumbnails)
{
    QImage big(6000, 6000, QImage::Format_Grayscale8);
    big.fill(128);
    const struct {
        const char *what;
        QByteArray bytes;
        QSize natural;
        QSize thumbnail;
    } cases[] = {
        {"PNG of 4000 x 2000", greyPng(4000, 2000, 2000), QSize(4000, 2000), QSize(160, 80)},
        // JPEG decodes smaller: 36 megapixels is within the limits.
        {"JPEG of 6000 x 6000", encoded(big, "jpeg"), QSize(6000, 6000), QSize(160, 160)},
        {"small PNG", InventorySite::pngBytes(4, 3), QSize(4, 3), QSize(4, 3)},
        {"GIF", InventorySite::gifBytes(), QSize(1, 1), QSize(1, 1)},
    };
    for (const auto &c : cases) {
        QSize natural;
        QString problem;
        const QImage image =
            PictureFetcher::decodePicture(c.bytes, QSize(160, 160), {}, &natural, &problem);
        EXPECT_EQ(image.size(), c.thumbnail) << c.what << ": " << problem.toStdString();
        EXPECT_EQ(natural, c.natural) << c.what;
    }
}

TEST(DecodeLimits, InputTimeAndTypeAreBounded)
{
    PictureFetcher::Limits small;
    small.maxBytes = 100;
    PictureFetcher::Limits noTime;
    noTime.timeoutMs = 0;
    const struct {
        const char *what;
        QByteArray bytes;
        PictureFetcher::Limits limits;
        const char *problem;
    } cases[] = {
        {"over the input limit", greyPng(100, 100, 100) + QByteArray(100, 0), small, "larger than"},
        {"out of time", greyPng(1000, 1000, 1000), noTime, "took longer than"},
        {"markup", "<!DOCTYPE html><html><body>x</body></html>", {}, "not a picture"},
        {"an executable", "MZ\x90\0\3\0\0\0", {}, "not a picture"},
        {"compressed SVG",
         QByteArray("\x1f\x8b\x08\0\0\0\0\0", 8) + QByteArray(64, 'x'),
         {},
         "not a picture"},
        {"broken SVG",
         "<svg xmlns='http://www.w3.org/2000/svg'><rect></svg>",
         {},
         "not a well-formed SVG"},
        {"nothing", QByteArray(), {}, "not a picture"},
    };
    for (const auto &c : cases) {
        QSize natural;
        QString problem;
        const QImage image =
            PictureFetcher::decodePicture(c.bytes, QSize(160, 160), c.limits, &natural, &problem);
        EXPECT_TRUE(image.isNull()) << c.what;
        EXPECT_TRUE(problem.startsWith(QString::fromUtf8(c.problem)))
            << c.what << ": " << problem.toStdString();
    }
    EXPECT_EQ(PictureFetcher::decodeThreads, 2);
    EXPECT_EQ(PictureFetcher::maxBytes, 64 * 1024 * 1024);
}

TEST(DecodeLimits, AnSvgKeepsOnlyReferencesInsideItself)
{
    const QByteArray svg = R"svg(<?xml version="1.0"?>
<?xml-stylesheet href="file:///etc/style.css"?>
<!DOCTYPE svg [<!ENTITY secret SYSTEM "file:///etc/passwd"><!ENTITY hi "hello">]>
<svg xmlns="http://www.w3.org/2000/svg" xmlns:l="http://www.w3.org/1999/xlink" width="10" height="10">
<defs><linearGradient id="g"><stop offset="0" stop-color="red"/></linearGradient></defs>
<rect width="10" height="10" fill="url(#g)"/>
<image l:href="/etc/hosts"/><image href=" http://example.org/x.png"/><image href="data:image/png;base64,AAAA"/>
<use l:href="#g"/><use href=" #g"/><a href="javascript:alert(1)"><text>&hi;&secret;</text></a>
<!-- a comment --><![CDATA[ kept ]]>
</svg>)svg";
    const QByteArray out = PictureFetcher::selfContainedSvg(svg);
    ASSERT_FALSE(out.isEmpty());
    for (const char *gone : {"file:", "/etc/", "example.org", "data:", "javascript:", "ENTITY",
                             "stylesheet", "DOCTYPE", "comment"})
        EXPECT_FALSE(out.contains(gone)) << gone << "\n" << out.constData();
    for (const char *kept : {"url(#g)", "l:href=\"#g\"", "href=\" #g\"", "hello", "kept",
                             "xmlns:l=\"http://www.w3.org/1999/xlink\"", "<image"})
        EXPECT_TRUE(out.contains(kept)) << kept << "\n" << out.constData();
    EXPECT_TRUE(PictureFetcher::selfContainedSvg("<svg><rect></svg>").isNull());
    QSize natural;
    QString problem;
    EXPECT_EQ(PictureFetcher::decodePicture(svg, QSize(160, 160), {}, &natural, &problem).size(),
              QSize(10, 10))
        << problem.toStdString();
}

// ---------------------------------------------------------------------------
// A local page's pictures: only regular files, within the limits, and the
// window's thread never waits on one.

class HostileLocalPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pageFolder.isValid());
        ASSERT_TRUE(saveFolder.isValid());
        fifo = pageFolder.filePath(QStringLiteral("fifo.png"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        ASSERT_TRUE(testsupport::writeFile(pageFolder.filePath(QStringLiteral("good.png")),
                                           InventorySite::pngBytes(5, 4)));
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"),
                                pageFolder.filePath(QStringLiteral("zero-link.png"))));
        QFile sparse(pageFolder.filePath(QStringLiteral("huge.png")));
        ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
        ASSERT_TRUE(sparse.resize(qint64(300) * 1024 * 1024)); // no room taken
        sparse.close();
        profile = std::make_unique<QWebEngineProfile>();
    }
    void TearDown() override
    {
        release(fifo);
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox *>(widget))
                widget->close();
        }
        delete window.data();
        profile.reset();
    }
    QString address(const QString &path) const { return QUrl::fromLocalFile(path).toString(); }
    QString inPage(const char *name) const
    {
        return address(pageFolder.filePath(QString::fromUtf8(name)));
    }

    QTemporaryDir pageFolder;
    QTemporaryDir saveFolder;
    QString fifo;
    std::unique_ptr<QWebEngineProfile> profile;
    QPointer<PageInfoWindow> window;
};

TEST_F(HostileLocalPage, DevicesFifosAndKernelFilesAreNeitherReadNorSaved)
{
    const struct {
        QString address;
        const char *why; // empty: saved
    } pictures[] = {
        {inPage("good.png"), ""},
        {address(QStringLiteral("/dev/zero")), "not a regular file"},
        {address(QStringLiteral("/dev/urandom")), "not a regular file"},
        {inPage("fifo.png"), "not a regular file"},
        {inPage("zero-link.png"), "not a regular file"},
        {address(QStringLiteral("/proc/self/environ")), "not a regular file"},
        {inPage("huge.png"), "larger than 256 MB"},
    };
    Inventory inventory;
    inventory.valid = true;
    inventory.pageAddress = inPage("page.html");
    for (const auto &p : pictures) {
        InventoryEntry entry;
        entry.address = p.address;
        entry.displayAddress = p.address;
        entry.kinds = {QStringLiteral("img")};
        entry.mimeType = QStringLiteral("image/png");
        inventory.pictures.append(entry);
    }
    window = new PageInfoWindow(profile.get(), QStringLiteral("QuarrowHostileTest"));
    window->setInventory(inventory);
    window->show();
    PictureFetcher *fetcher = window->fetcher();
    ASSERT_TRUE(fetcher->mayFetch(inPage("good.png")));

    // Thumbnails: the good one decodes, every other one fails, and none waits.
    for (const auto &p : pictures)
        fetcher->thumbnail(p.address);
    auto answered = [&] {
        for (const auto &p : pictures) {
            if (fetcher->thumbnail(p.address).isNull() && !fetcher->failed(p.address))
                return false;
        }
        return true;
    };
    EXPECT_EVENTUALLY(answered(), 30000);
    EXPECT_EQ(fetcher->thumbnail(inPage("good.png")).size(), QSize(5, 4));
    for (const auto &p : pictures) {
        if (*p.why) {
            EXPECT_TRUE(fetcher->failed(p.address)) << p.address.toStdString();
        }
    }

    // Save All: the good one is saved, the rest fail with their reasons.
    QSignalSpy finished(window.data(), &PageInfoWindow::saveFinished);
    window->saveAll(saveFolder.path());
    EXPECT_EVENTUALLY(!finished.isEmpty(), 60000);
    ASSERT_FALSE(finished.isEmpty());
    const SaveSummary summary = window->lastSummary();
    EXPECT_EQ(summary.savedFiles, QStringList({QStringLiteral("good.png")}));
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("good.png"))),
              InventorySite::pngBytes(5, 4));
    for (const auto &p : pictures) {
        if (!*p.why)
            continue;
        QString why;
        for (const auto &[failed, reason] : summary.failed) {
            if (failed == p.address)
                why = reason;
        }
        EXPECT_EQ(why, QString::fromUtf8(p.why)) << p.address.toStdString();
    }
    EXPECT_TRUE(summary.text().contains(QLatin1String("at most 256 MB")))
        << summary.text().toStdString();
    EXPECT_EQ(QDir(saveFolder.path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System),
              QStringList({QStringLiteral("good.png")}));
    // Nothing holds the FIFO open: it was never opened to wait on.
    EXPECT_FALSE(someoneReads(fifo));
}

// ---------------------------------------------------------------------------
// The save folder: links and folders planted under the names pictures get.

class PlantedSaveFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(saveFolder.isValid());
        ASSERT_TRUE(outside.isValid());
        ASSERT_TRUE(testsupport::writeFile(root.filePath(QStringLiteral("logo.png")),
                                           InventorySite::pngBytes(4, 3)));
        ASSERT_TRUE(testsupport::writeFile(root.filePath(QStringLiteral("narrow.png")),
                                           InventorySite::pngBytes(6, 2)));
        ASSERT_TRUE(testsupport::writeFile(root.filePath(QStringLiteral("ok.png")),
                                           InventorySite::pngBytes(2, 2)));
        // A page that calls its PNG an HTML page.
        ASSERT_TRUE(testsupport::writeFile(root.filePath(QStringLiteral("page.html")),
                                           InventorySite::pngBytes(3, 3)));
        server = std::make_unique<testsupport::HttpServer>(root.path());
        ASSERT_TRUE(server->start());
        target = outside.filePath(QStringLiteral("target.png"));
        nowhere = outside.filePath(QStringLiteral("made.gif"));
        ASSERT_TRUE(testsupport::writeFile(target, "outside"));
        ASSERT_TRUE(QFile::link(target, saveFolder.filePath(QStringLiteral("logo.png"))));
        ASSERT_TRUE(QFile::link(nowhere, saveFolder.filePath(QStringLiteral("picture.gif"))));
        ASSERT_TRUE(QDir(saveFolder.path()).mkdir(QStringLiteral("narrow.png")));
        profile = std::make_unique<QWebEngineProfile>();
        saver = std::make_unique<MediaSaver>(profile.get());
    }
    void TearDown() override
    {
        saver.reset();
        profile.reset();
    }

    SaveSummary save(const QStringList &addresses, bool replace)
    {
        QStringList names;
        for (const QString &address : addresses)
            names.append(MediaSaver::fileNameFor(address, PageInventory::mimeTypeFor(address)));
        const QStringList unique = MediaSaver::uniqueNames(names, saveFolder.path(), replace);
        QList<MediaSaver::Item> items;
        for (qsizetype i = 0; i < addresses.size(); ++i)
            items.append({addresses.at(i), unique.at(i)});
        QSignalSpy finished(saver.get(), &MediaSaver::finished);
        saver->start(items, saveFolder.path(), server->url(QStringLiteral("/index.html")), replace);
        EXPECT_EVENTUALLY(!finished.isEmpty(), 60000);
        return finished.isEmpty() ? SaveSummary()
                                  : finished.constFirst().at(0).value<SaveSummary>();
    }

    void expectOutsideUntouched() const
    {
        EXPECT_EQ(testsupport::readFile(target), QByteArray("outside"));
        EXPECT_FALSE(QFileInfo::exists(nowhere));
        EXPECT_TRUE(QFileInfo(saveFolder.filePath(QStringLiteral("logo.png"))).isSymLink());
        EXPECT_TRUE(QFileInfo(saveFolder.filePath(QStringLiteral("picture.gif"))).isSymLink());
        EXPECT_TRUE(QFileInfo(saveFolder.filePath(QStringLiteral("narrow.png"))).isDir());
        for (const QString &entry :
             QDir(saveFolder.path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System))
            EXPECT_FALSE(entry.endsWith(QLatin1String(".part"))) << entry.toStdString();
    }

    QTemporaryDir root;
    QTemporaryDir saveFolder;
    QTemporaryDir outside;
    QString target;
    QString nowhere;
    std::unique_ptr<testsupport::HttpServer> server;
    std::unique_ptr<QWebEngineProfile> profile;
    std::unique_ptr<MediaSaver> saver;
};

TEST_F(PlantedSaveFolder, ReplacingSkipsEveryLinkAndFolderAndFollowsNone)
{
    const QString logo = server->urlText(QStringLiteral("/logo.png"));
    const QString narrow = server->urlText(QStringLiteral("/narrow.png"));
    const QString data = InventorySite::gifDataAddress();
    const QStringList addresses = {logo, data, narrow, server->urlText(QStringLiteral("/ok.png")),
                                   server->urlText(QStringLiteral("/page.html"))};
    const SaveSummary summary = save(addresses, true);
    expectOutsideUntouched();
    // The real PNG that called itself page.html ends in .png.
    QStringList saved = summary.savedFiles;
    saved.sort();
    EXPECT_EQ(saved, QStringList({QStringLiteral("ok.png"), QStringLiteral("page_html.png")}))
        << summary.details().toStdString();
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("page_html.png"))),
              InventorySite::pngBytes(3, 3));
    EXPECT_FALSE(QFileInfo::exists(saveFolder.filePath(QStringLiteral("page.html"))));
    QHash<QString, QString> skipped;
    for (const auto &[address, why] : summary.skipped)
        skipped.insert(address, why);
    EXPECT_EQ(skipped.value(logo), QStringLiteral("logo.png is a link"));
    EXPECT_EQ(skipped.value(data), QStringLiteral("picture.gif is a link"));
    EXPECT_EQ(skipped.value(narrow), QStringLiteral("narrow.png is a folder"));
    EXPECT_TRUE(summary.failed.isEmpty()) << summary.details().toStdString();
}

TEST_F(PlantedSaveFolder, KeepingBothSavesBesideTheLinksAndFollowsNone)
{
    EXPECT_EQ(MediaSaver::existing({QStringLiteral("logo.png"), QStringLiteral("picture.gif"),
                                    QStringLiteral("narrow.png"), QStringLiteral("ok.png")},
                                   saveFolder.path()),
              QStringList({QStringLiteral("logo.png"), QStringLiteral("picture.gif"),
                           QStringLiteral("narrow.png")}));
    const SaveSummary summary =
        save({server->urlText(QStringLiteral("/logo.png")), InventorySite::gifDataAddress(),
              server->urlText(QStringLiteral("/narrow.png"))},
             false);
    expectOutsideUntouched();
    QStringList saved = summary.savedFiles;
    saved.sort();
    EXPECT_EQ(saved, QStringList({QStringLiteral("logo (2).png"), QStringLiteral("narrow (2).png"),
                                  QStringLiteral("picture (2).gif")}))
        << summary.details().toStdString();
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("logo (2).png"))),
              InventorySite::pngBytes(4, 3));
}

TEST_F(PlantedSaveFolder, APictureOverTheByteLimitLeavesNothing)
{
    saver->setByteLimit(64);
    server->setRoute(QStringLiteral("/big.png"),
                     InventorySite::pngBytes(2, 2) + QByteArray(5000, 'x'), "image/png");
    const QString big = server->urlText(QStringLiteral("/big.png"));
    const QString data =
        QStringLiteral("data:image/png;base64,") +
        QString::fromLatin1((InventorySite::pngBytes(2, 2) + QByteArray(200, 'x')).toBase64());
    const SaveSummary summary = save({big, data}, false);
    EXPECT_TRUE(summary.savedFiles.isEmpty());
    QHash<QString, QString> failed;
    for (const auto &[address, why] : summary.failed)
        failed.insert(address, why);
    EXPECT_EQ(failed.value(big), QStringLiteral("larger than 64 bytes"));
    EXPECT_EQ(failed.value(data), QStringLiteral("larger than 64 bytes"));
    EXPECT_TRUE(summary.text().contains(QLatin1String("at most 64 bytes")))
        << summary.text().toStdString();
    expectOutsideUntouched();
}

// ---------------------------------------------------------------------------
// The CSV export: a page's words shown, never obeyed.

TEST(MediaExportEscapes, ControlAndFormatCharactersAreWrittenVisibly)
{
    const struct {
        QString alt;
        QByteArray field;
    } cases[] = {
        {QStringLiteral("red\x1b[31mtext"), "red\\x1B[31mtext"},
        {QStringLiteral("bell\abs\b"), "bell\\x07bs\\x08"},
        {QStringLiteral("nul") + QChar(0) + QStringLiteral("end"), "nul\\x00end"},
        {QStringLiteral("del\x7f"), "del\\x7F"},
        {QStringLiteral("c1") + QChar(0x9b) + QStringLiteral("2J"), "c1\\x9B2J"},
        {QStringLiteral("\u202Egpj.exe"), "\\u202Egpj.exe"},
        {QStringLiteral("zero\u200Bwidth\u2066iso\u2069"), "zero\\u200Bwidth\\u2066iso\\u2069"},
        {QString::fromUcs4(U"tag\U000E0041", 4), "tag\\uE0041"},
        {QStringLiteral("tab\tkept"), "tab\tkept"},
        {QStringLiteral("caf\u00e9"), "caf\xc3\xa9"},
    };
    for (const auto &c : cases) {
        InventoryEntry entry;
        entry.address = QStringLiteral("http://h/a.png");
        entry.altText = c.alt;
        const QByteArray line = MediaCsv({entry}).split('\n').value(1);
        EXPECT_TRUE(line.contains("," + c.field + ",")) << line.constData();
        for (const char byte : line)
            EXPECT_TRUE(uchar(byte) >= 0x20 || byte == '\t' || byte == '\r') << line.constData();
    }
    // A formula hidden behind an escape is still disarmed, and line ends still quoted.
    InventoryEntry entry;
    entry.address = QStringLiteral("=cmd|' /C calc'!A0\x1b");
    entry.element = QStringLiteral("a\nb");
    const QByteArray line = MediaCsv({entry}).split('\r').value(1);
    EXPECT_TRUE(line.startsWith("\n\"'=cmd|' /C calc'!A0\\x1B\"")) << line.constData();
}

} // namespace
