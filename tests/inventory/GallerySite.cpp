#include "tests/inventory/GallerySite.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

namespace {

const char kPage[] = R"html(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<title>Harbour walk</title>
<link rel="stylesheet" href="/css/site.css">
<link rel="preload" as="image" href="/pics/preloaded.png">
<style>
body { margin: 0; font: 14px sans-serif }
header { height: 48px }
.badge { background-image: url(/pics/badge.png); width: 16px; height: 16px; display: inline-block }
.row img, .row div { vertical-align: top }
.gallery img { margin: 4px }
</style>
</head><body>
<header><img src="/pics/logo.png" alt="Harbour Walks" width="120" height="40"><span class="badge"></span></header>
<div class="row">
<div class="hero"></div>
<img src="/pics/photo-large.jpg" alt="The harbour at dawn" width="200" height="150">
<img src="/pics/no-alt.png" width="40" height="40">
<img src="/pics/unsized.png" alt="Map of the walk">
<img src="/pics/broken.jpg" alt="The old pier" width="40" height="40">
<img src="/pics/above.png" alt="Lighthouse" width="40" height="40" loading="lazy">
<img src="/pics/dancing.gif" alt="Flags" width="100" height="100">
<img class="lazy" src="PLACEHOLDER" data-src="/pics/gallery-0.jpg" alt="Boats" width="80" height="60">
</div>
<div style="height: 8000px">The walk</div>
<img src="/pics/far.png" alt="The end of the walk" width="40" height="40">
<img src="/pics/native-1.png" alt="Sunset" width="40" height="40" loading="lazy">
<div class="gallery">
<img class="lazy" src="PLACEHOLDER" data-src="/pics/gallery-1.jpg" alt="Nets" width="80" height="60">
<img class="lazy" src="PLACEHOLDER" data-src="/pics/gallery-2.jpg" alt="Gulls" width="80" height="60">
<img class="lazy" src="PLACEHOLDER" data-src="/pics/gallery-3.jpg" alt="Rope" width="80" height="60">
<img class="lazy" src="PLACEHOLDER" data-src="/pics/gallery-hidden.jpg" alt="Later" width="80" height="60" style="display: none">
</div>
<noscript><img src="/pics/noscript.png" alt="Without scripts"></noscript>
<script>
const seen = new IntersectionObserver(function (entries) {
    for (const entry of entries) {
        if (entry.isIntersecting) {
            entry.target.src = entry.target.dataset.src;
            seen.unobserve(entry.target);
        }
    }
});
document.querySelectorAll('img.lazy').forEach(function (img) { seen.observe(img); });
window.addEventListener('load', function () {
    const img = new Image();
    img.alt = 'Added';
    img.width = 30;
    img.height = 30;
    img.onload = img.onerror = function () { document.title = 'ready'; };
    img.src = '/pics/added.png';
    document.querySelector('header').appendChild(img);
});
</script>
</body></html>
)html";

const char kCss[] = ".hero { background-image: url(/pics/hero.jpg); width: 300px; height: 60px; "
                    "display: inline-block }\n";

// Fills `bytes` with the LSB-first codes of an LZW stream that compresses
// nothing: 9-bit codes, a clear code before the table would grow.
QByteArray uncompressedLzw(const QByteArray &pixels)
{
    QByteArray out;
    quint32 bits = 0;
    int count = 0;
    const auto put = [&](int code) {
        bits |= quint32(code) << count;
        count += 9;
        while (count >= 8) {
            out.append(char(bits & 0xff));
            bits >>= 8;
            count -= 8;
        }
    };
    for (qsizetype i = 0; i < pixels.size(); ++i) {
        if (i % 254 == 0)
            put(256); // clear
        put(quint8(pixels.at(i)));
    }
    put(257); // end
    if (count > 0)
        out.append(char(bits & 0xff));
    return out;
}

} // namespace

const char *const GallerySite::placeholder =
    "data:image/gif;base64,R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==";

QByteArray GallerySite::photoJpeg(const QSize &size, int quality)
{
    // A smooth sky over a darker sea, with some grain: as photographs are.
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(0.55, QColor(250, 200, 150));
    sky.setColorAt(0.56, QColor(20, 50, 80));
    sky.setColorAt(1, QColor(10, 30, 50));
    painter.fillRect(image.rect(), sky);
    painter.end();
    QRandomGenerator grain(7);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int d = int(grain.bounded(24)) - 12;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + d, 255), qBound(0, qGreen(p) + d, 255),
                           qBound(0, qBlue(p) + d, 255));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

QByteArray GallerySite::noisyPng(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator noise(11);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(x % 256, (x + y) % 256, int(noise.bounded(64)) + y % 128);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray GallerySite::smallPng(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(30, 120, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray GallerySite::animatedGif(int side, int frames)
{
    QByteArray gif = "GIF89a";
    const auto word = [&gif](int value) {
        gif.append(char(value & 0xff));
        gif.append(char((value >> 8) & 0xff));
    };
    word(side);
    word(side);
    gif.append(char(0xf7)); // a global table of 256 colours
    gif.append(char(0));
    gif.append(char(0));
    for (int i = 0; i < 256; ++i) {
        gif.append(char(i));
        gif.append(char(255 - i));
        gif.append(char((i * 7) & 0xff));
    }
    // Loops for ever.
    gif.append("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    QRandomGenerator noise(5);
    for (int f = 0; f < frames; ++f) {
        gif.append("\x21\xf9\x04\x04\x0a\x00\x00\x00", 8); // 0.1 s a frame
        gif.append(char(0x2c));
        word(0);
        word(0);
        word(side);
        word(side);
        gif.append(char(0));
        gif.append(char(8)); // the LZW minimum code size
        QByteArray pixels(qsizetype(side) * side, Qt::Uninitialized);
        for (char &p : pixels)
            p = char(noise.bounded(256));
        const QByteArray data = uncompressedLzw(pixels);
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            gif.append(char(block.size()));
            gif.append(block);
        }
        gif.append(char(0));
    }
    gif.append(char(0x3b));
    return gif;
}

GallerySite::GallerySite() : m_server(std::make_unique<testsupport::HttpServer>(m_root.path())) {}

bool GallerySite::start()
{
    if (!m_root.isValid() || !m_server->start())
        return false;
    testsupport::HttpServer &s = *m_server;
    s.setRoute(QStringLiteral("/walk.html"),
               QByteArray(kPage).replace("PLACEHOLDER", QByteArray(placeholder)));
    s.setRoute(QStringLiteral("/css/site.css"), kCss, "text/css");
    s.setRoute(QStringLiteral("/home.html"),
               "<!DOCTYPE html><title>Home</title><img src=\"/pics/logo.png\" alt=\"Home\">");
    const auto png = [&s](const char *path, const QByteArray &bytes) {
        s.setRoute(QString::fromUtf8(path), bytes, "image/png");
    };
    const auto jpeg = [&s](const char *path, const QByteArray &bytes) {
        s.setRoute(QString::fromUtf8(path), bytes, "image/jpeg");
    };
    png("/pics/logo.png", smallPng(QSize(120, 40)));
    s.setRouteCacheable(QStringLiteral("/pics/logo.png"), 3600);
    png("/pics/badge.png", smallPng(QSize(16, 16)));
    jpeg("/pics/hero.jpg", photoJpeg(QSize(300, 60), 80));
    jpeg("/pics/photo-large.jpg", photoJpeg(QSize(1600, 1200), 97));
    png("/pics/no-alt.png", smallPng(QSize(40, 40)));
    png("/pics/unsized.png", smallPng(QSize(60, 40)));
    png("/pics/above.png", smallPng(QSize(40, 40)));
    s.setRoute(QStringLiteral("/pics/dancing.gif"), animatedGif(170, 4), "image/gif");
    png("/pics/far.png", smallPng(QSize(40, 40)));
    png("/pics/native-1.png", smallPng(QSize(40, 40)));
    png("/pics/preloaded.png", smallPng(QSize(20, 20)));
    png("/pics/added.png", smallPng(QSize(30, 30)));
    png("/pics/noscript.png", smallPng(QSize(10, 10)));
    for (const char *name : {"/pics/gallery-0.jpg", "/pics/gallery-1.jpg", "/pics/gallery-2.jpg",
                             "/pics/gallery-3.jpg", "/pics/gallery-hidden.jpg"})
        jpeg(name, photoJpeg(QSize(80, 60), 80));
    return true;
}
