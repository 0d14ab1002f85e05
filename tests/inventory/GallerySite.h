#pragma once

#include "tests/support/HttpServer.h"

#include <QByteArray>
#include <QSize>
#include <QTemporaryDir>

#include <memory>

// A travel page as sites make them, served on 127.0.0.1, with one picture for
// each thing Page Info tells of pictures:
//   in the markup: a logo, a large photo shown small (oversized, heavy, and a
//     JPEG that WebP makes smaller), a picture without alt text, one without
//     width and height, a missing one (404), a lazy one in the first screen,
//     an animated GIF over 100 KB, an eager one far down, a native lazy one
//     far down, a preloaded one no element shows;
//   only in style sheets: a hero background (in the site's sheet) and a badge
//     (in the page's style element);
//   a lazy gallery: placeholders whose data-src a script swaps in as each
//     comes into sight (the first is in the first screen; one is hidden);
//   added by a script after load: one picture.
//   In <noscript>: a picture only a browser without scripts would load.
// The page is /walk.html; its title becomes "ready" once its script has run.
// /home.html shows the logo, which caches may keep.
class GallerySite {
public:
    GallerySite();
    bool start();
    testsupport::HttpServer &server() { return *m_server; }
    QString url(const QString &path) const { return m_server->urlText(path); }

    // Pictures as the site has them.
    static QByteArray photoJpeg(const QSize &size, int quality);
    static QByteArray noisyPng(const QSize &size);
    static QByteArray smallPng(const QSize &size);
    // A GIF of `frames` frames of side × side pixels, each written without
    // compression, so that its size is known: about 1.13 bytes a pixel a frame.
    static QByteArray animatedGif(int side, int frames);

    static const char *const placeholder; // the gallery's 1 × 1 placeholder, a data: address

private:
    QTemporaryDir m_root;
    std::unique_ptr<testsupport::HttpServer> m_server;
};
