#include "tests/inventory/InventorySite.h"

#include "tests/browser/TestSite.h"
#include "tests/support/TestSupport.h"

#include <QDir>

namespace {

const char kPage[] = R"html(<!DOCTYPE html>
<html lang="en"><head>
<meta charset="utf-8">
<title>Inventory test</title>
<base href="/site/">
<link rel="icon" href="/favicon.ico">
<link rel="apple-touch-icon" href="pics/touch.png">
<link rel="mask-icon" href="pics/mask.svg" color="#000">
<meta property="og:image" content="pics/share.jpg">
<meta name="twitter:image" content="pics/share.jpg">
<link rel="stylesheet" href="css/main.css">
<style>
.hero { background-image: url(pics/hero.png), url("pics/overlay.gif"); width: 40px; height: 30px }
.retina { background-image: -webkit-image-set(url(pics/r1.png) 1x, url(pics/r2.png) 2x); width: 10px; height: 10px }
li.pic { list-style-image: url(pics/bullet.gif) }
.quote::before { content: url(pics/quote.gif) }
.framed { border: 2px solid; border-image-source: url(pics/border.png); border-image-slice: 1 }
</style>
<script>
var calls = 0;
Array.prototype.push = function () { calls++; return 0; };
JSON.stringify = function () { calls++; return '{"pictures":[]}'; };
Document.prototype.querySelectorAll = function () { calls++; return []; };
document.getElementsByTagName = function () { calls++; return []; };
window.getComputedStyle = function () { calls++; return {}; };
Object.defineProperty(HTMLImageElement.prototype, 'currentSrc',
                      {get: function () { calls++; return 'http://evil.example/x.png'; }});
window.URL = function () { calls++; throw new Error('no'); };
window.addEventListener('load', function () {
    setTimeout(function () {
        var img = document.createElement('img');
        img.src = 'pics/added.png';
        img.alt = 'Added';
        document.body.appendChild(img);
        document.title = 'ready';
    }, 0);
});
</script>
</head>
<body>
<h1>Pictures</h1>
<img id="logo" class="header main" src="pics/logo.png" alt="Logo" srcset="pics/logo.png 1x, pics/logo-2x.png 2x" width="4" height="3">
<picture><source srcset="pics/wide.webp 800w" type="image/webp" media="(min-width: 5000px)"><img src="pics/narrow.png" alt="Narrow"></picture>
<img class="lazy" src="DATA_GIF" data-src="pics/lazy.jpg" data-srcset="pics/lazy-s.jpg 300w, pics/lazy-l.jpg 600w" alt="">
<img src="pics/missing.png" alt="Gone">
<div class="hero"></div>
<div class="retina"></div>
<ul><li class="pic">item</li></ul>
<p class="quote">quoted</p>
<div class="framed">framed</div>
<span class="btn">button</span>
<div data-bg="pics/lazy-bg.jpg" data-lazy="true"></div>
<video poster="pics/poster.jpg" width="20" height="10"></video>
<input type="image" src="pics/go.gif" alt="Go">
<svg width="20" height="20" xmlns:xlink="http://www.w3.org/1999/xlink"><image href="pics/svg-image.png" width="10" height="10"/><filter id="f"><feImage xlink:href="pics/fe.png"/></filter></svg>
<object data="pics/drawing.svg" type="image/svg+xml" width="10" height="10"></object>
<embed src="pics/embedded.png" width="10" height="10">
<p><a href="pics/big.jpg?size=large#top" title="Big one">big</a>
<a href="pics/logo.png">the logo</a>
<a href="javascript:show('pics/evil.png')">not this</a>
<a href="other.html" target="_blank">another page</a></p>
<img src="pics/map.gif" usemap="#m" alt="Map"><map name="m"><area href="pics/area.tif" shape="rect" coords="0,0,1,1" alt="Area"></map>
<div style="background-image: url('pics/inline.png'); width: 5px; height: 5px"></div>
<div style="display: none"><span style="background: url(pics/hidden.png)">hidden</span></div>
<iframe src="frame.html" width="50" height="50"></iframe>
<iframe src="CROSS_FRAME" width="50" height="50"></iframe>
</body></html>
)html";

const char kMainCss[] = R"(@import url("more.css");
.btn { background-image: url(../pics/btn.png); display: inline-block; width: 10px; height: 10px }
.btn:hover { background-image: url(../pics/btn-hover.png) }
@media (max-width: 100px) { .btn { background-image: url(../pics/btn-small.png) } }
@supports (display: grid) { .grid { background-image: url(../pics/grid.png) } }
)";

const char kMoreCss[] = ".sprite { background: url(sprite.png) no-repeat }\n";

const char kFrame[] = R"(<!DOCTYPE html>
<html><head><base href="/other/"><style>body { background: url(fbg.gif) }</style></head>
<body><img src="f.png" alt="Framed"><img src="/site/pics/logo.png"></body></html>
)";

const char kCross[] = R"(<!DOCTYPE html>
<html><head><style>body { background: url(cross-bg.gif) }</style></head>
<body><img src="cross-only.png"><a href="cross-link.jpg">x</a></body></html>
)";

} // namespace

InventorySite::InventorySite()
{
    const QString root = m_root.path();
    QDir(root).mkpath(QStringLiteral("site/pics"));
    QDir(root).mkpath(QStringLiteral("site/css"));
    QDir(root).mkpath(QStringLiteral("other"));
    testsupport::writeFile(root + "/site/css/main.css", kMainCss);
    testsupport::writeFile(root + "/site/css/more.css", kMoreCss);
    testsupport::writeFile(root + "/site/frame.html", kFrame);
    testsupport::writeFile(root + "/site/pics/logo.png", pngBytes(4, 3));
    testsupport::writeFile(root + "/site/pics/narrow.png", pngBytes(6, 2));
    testsupport::writeFile(root + "/site/pics/added.png", pngBytes(2, 2));
    for (const char *name : {"hero.png", "r1.png", "r2.png", "border.png", "svg-image.png",
                             "fe.png", "inline.png", "hidden.png", "btn.png", "touch.png"})
        testsupport::writeFile(root + "/site/pics/" + name, pngBytes(3, 3));
    for (const char *name : {"overlay.gif", "bullet.gif", "quote.gif", "go.gif", "map.gif"})
        testsupport::writeFile(root + "/site/pics/" + name, gifBytes());
    testsupport::writeFile(root + "/other/f.png", pngBytes(5, 5));
    testsupport::writeFile(root + "/other/fbg.gif", gifBytes());
    testsupport::writeFile(root + "/favicon.ico", gifBytes());
    testsupport::writeFile(m_otherRoot.path() + "/cross.html", kCross);
    testsupport::writeFile(m_otherRoot.path() + "/cross-only.png", pngBytes(7, 7));
    m_server = std::make_unique<testsupport::HttpServer>(root);
    m_other = std::make_unique<testsupport::HttpServer>(m_otherRoot.path());
}

bool InventorySite::start()
{
    if (!m_server->start() || !m_other->start())
        return false;
    return testsupport::writeFile(m_root.path() + "/page.html", pageBytes());
}

QByteArray InventorySite::pageBytes() const
{
    QByteArray page(kPage);
    page.replace("DATA_GIF", gifDataAddress().toUtf8());
    page.replace("CROSS_FRAME", m_other->urlText(QStringLiteral("/cross.html")).toUtf8());
    return page;
}

QByteArray InventorySite::gifBytes()
{
    return TestSite::gifBytes();
}

QByteArray InventorySite::pngBytes(int width, int height)
{
    return TestSite::pngBytes(width, height);
}

QString InventorySite::gifDataAddress()
{
    return QStringLiteral("data:image/gif;base64,") + QString::fromLatin1(gifBytes().toBase64());
}
