#include "tests/shell/PictureLinksSite.h"

#include "platform/WebBrowser.h"
#include "shell/GeneratedViews.h"
#include "tests/support/Eventually.h"
#include "windows/MediaModels.h"
#include "windows/PageInfoWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QBuffer>
#include <QEventLoop>
#include <QImage>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QWebEnginePage>

namespace {

QByteArray png(int width, int height, const QColor &colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

const QByteArray Page = R"(<!DOCTYPE html>
<html><head><title>loading</title>
<meta property="og:image" content="/pics/og.png">
<link rel="icon" href="/pics/icon.png">
<style>
body { margin: 8px; font: 14px sans-serif }
.tall { height: 2200px; background: #f4f4f4 }
.hero { background-image: url(/pics/hero.png); width: 300px; height: 80px }
.nothing-has-this-class { background-image: url(/pics/ruled.png) }
</style></head>
<body class="main" data-note='a "quoted" &amp; escaped value'>
<p id="top">Top of the page</p>
<div class="tall"></div>
<section id="s" title="a &amp; &quot;b&quot; &lt;c&gt;">
<p>na&iuml;ve caf&eacute; &#x1F600; &amp; &lt;tag&gt; nbsp:&nbsp;end</p>
<!-- a comment before it -->
<img id="far" src="/pics/far.png" width="120" height="60" alt="far">
</section>
<div class="tall"></div>
<picture><source srcset="/pics/wide.png 2x"><img id="pic" src="/pics/narrow.png" width="50" height="20" alt=""></picture>
<div class="hero" id="hero">hero text</div>
<img id="lazy" src="data:image/gif;base64,R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==" data-src="/pics/lazy.png" width="30" height="30" alt="">
<img id="hidden" src="/pics/hidden.png" style="display:none" alt="">
<iframe id="frame" src="/frame.html" width="300" height="150" style="border:2px solid #888;padding:0"></iframe>
<div class="tall"></div>
<script>
// A lone surrogate, as a script may leave one.
document.getElementById('top').append('\uD800');
window.seen = [];
window.keys = '';
addEventListener('keydown', function (event) { keys += event.key + ' '; });
// Once the document is whole, every change to it is seen.
addEventListener('load', function () {
    document.title = 'ready';
    new MutationObserver(function (list) {
        for (const m of list)
            seen.push(m.type + ' ' + (m.attributeName || '') + ' ' + (m.target.id || m.target.nodeName));
    }).observe(document, {subtree: true, childList: true, attributes: true, characterData: true});
});
// The page takes over what measures, scrolls and styles: what calls them from
// the page's world is seen.
for (const name of ['getBoundingClientRect', 'getClientRects', 'scrollIntoView', 'setAttribute',
                    'appendChild', 'insertBefore', 'attachShadow']) {
    const own = Element.prototype[name] || Node.prototype[name];
    Element.prototype[name] = function () {
        seen.push('called ' + name);
        return own.apply(this, arguments);
    };
}
const ownStyle = window.getComputedStyle;
window.getComputedStyle = function () {
    seen.push('called getComputedStyle');
    return ownStyle.apply(this, arguments);
};
</script>
</body></html>
)";

const QByteArray Frame = R"(<!DOCTYPE html><html><body style="margin:0">
<p>In a frame</p><img id="framed" src="/pics/framed.png" width="40" height="40" alt="framed">
</body></html>)";

QByteArray lines()
{
    QByteArray page = "<!DOCTYPE html><html><head><title>loading</title></head><body>\n";
    for (int i = 1; i <= 3000; ++i)
        page += "<p>line " + QByteArray::number(i) + "</p>\n";
    page += "<img id=\"far\" src=\"/pics/far.png\" width=\"120\" height=\"60\" alt=\"far\">\n";
    for (int i = 1; i <= 200; ++i)
        page += "<p>after " + QByteArray::number(i) + "</p>\n";
    page += "<script>document.title = 'ready';</script></body></html>";
    return page;
}

} // namespace

void PictureLinksFixture::SetUp()
{
    MainWindowFixture::SetUp();
    server = std::make_unique<testsupport::HttpServer>(folder.path());
    server->setRoute("/page.html", Page);
    server->setRoute("/frame.html", Frame);
    server->setRoute("/lines.html", lines());
    const struct {
        const char *name;
        QColor colour;
    } pictures[] = {{"far", Qt::red},       {"narrow", Qt::green}, {"wide", Qt::darkGreen},
                    {"hero", Qt::blue},     {"lazy", Qt::cyan},    {"hidden", Qt::gray},
                    {"framed", Qt::yellow}, {"og", Qt::magenta},   {"icon", Qt::black},
                    {"ruled", Qt::white}};
    for (const auto &picture : pictures)
        server->setRoute(QStringLiteral("/pics/%1.png").arg(QLatin1String(picture.name)),
                         png(60, 30, picture.colour), "image/png");
    ASSERT_TRUE(server->start());
}

void PictureLinksFixture::openPage(const QString &path)
{
    loadWindow();
    ASSERT_TRUE(waitForHarvests(1));
    ASSERT_TRUE(view(0)->Navigate(server->urlText(path)));
    ASSERT_TRUE(waitForUrl(0, server->urlText(path)));
    QUARROW_WAIT_UNTIL(view(0)->title() == QLatin1String("ready") && !view(0)->Busy(), 20000);
    ASSERT_EQ(view(0)->title(), QStringLiteral("ready"));
    QUARROW_WAIT_UNTIL(form->generatedViews()->harvestedPage() == server->url(path), 20000);
    ASSERT_EQ(form->generatedViews()->harvestedPage(), server->url(path));
    form->action(Command::PageInfo)->trigger();
    PageInfoWindow *window = pageInfo();
    ASSERT_NE(window, nullptr);
    QUARROW_WAIT_UNTIL(
        !window->filling() && window->inventory().pageAddress == server->urlText(path), 20000);
    ASSERT_EQ(window->inventory().pageAddress, server->urlText(path));
}

PageInfoWindow *PictureLinksFixture::pageInfo() const
{
    return form->pageInfoWindow();
}

QAbstractButton *PictureLinksFixture::pageInfoButton(const char *name) const
{
    return pageInfo()->findChild<QAbstractButton *>(QString::fromLatin1(name));
}

bool PictureLinksFixture::selectRow(const QString &path)
{
    const QString address = server->urlText(path);
    pageInfo()->tabs()->setCurrentIndex(1); // Media
    QAbstractItemModel *rows = pageInfo()->mediaFilter();
    for (int row = 0; row < rows->rowCount(); ++row) {
        const QModelIndex index = rows->index(row, MediaModel::Address);
        if (index.data(MediaModel::AddressRole).toString() == address) {
            pageInfo()->mediaTable()->selectionModel()->setCurrentIndex(
                index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            return true;
        }
    }
    ADD_FAILURE() << "no row for " << address.toStdString();
    return false;
}

QVariant PictureLinksFixture::evaluateIn(int view, const QString &script, quint32 world)
{
    QVariant value;
    bool done = false;
    QEventLoop loop;
    this->view(view)->page()->runJavaScript(script, world, [&](const QVariant &answer) {
        value = answer;
        done = true;
        loop.quit();
    });
    if (!done) {
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return value;
}

int PictureLinksFixture::markedLine()
{
    return evaluateIn(1, QStringLiteral(R"((function () {
        let line = 0;
        for (const block of document.querySelectorAll('body>.b')) {
            for (const div of block.children) {
                ++line;
                if (div.classList.contains('m'))
                    return line;
            }
        }
        return 0;
    })())"))
        .toInt();
}

QString PictureLinksFixture::markedText()
{
    return evaluateIn(1, QStringLiteral("(document.querySelector('.b>div.m') || {}).textContent"))
        .toString();
}

bool PictureLinksFixture::markedLineInSight()
{
    return evaluateIn(1, QStringLiteral(R"((function () {
        const line = document.querySelector('.b>div.m');
        if (!line)
            return false;
        const box = line.getBoundingClientRect();
        return box.height > 0 && box.top >= 0 && box.bottom <= innerHeight;
    })())"))
        .toBool();
}

bool PictureLinksFixture::markedLineInMiddle()
{
    return evaluateIn(1, QStringLiteral(R"((function () {
        const line = document.querySelector('.b>div.m');
        if (!line)
            return false;
        const box = line.getBoundingClientRect();
        const middle = (box.top + box.bottom) / 2;
        return box.height > 0 && middle > innerHeight / 3 && middle < innerHeight * 2 / 3;
    })())"))
        .toBool();
}

QStringList PictureLinksFixture::harvestedLines() const
{
    const GeneratedViews *views = form->generatedViews();
    return views->markupOf(views->generation())
        .split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
}

void PictureLinksFixture::waitForFrame(int view)
{
    evaluateIn(view, QStringLiteral("window.quarrowFrames = 0; requestAnimationFrame(() => "
                                    "requestAnimationFrame(() => { window.quarrowFrames = 2; }))"));
    QUARROW_WAIT_UNTIL(evaluateIn(view, QStringLiteral("window.quarrowFrames")).toInt() == 2,
                       20000);
}
