// Load Lazy Pictures on a bare page of the engine, against pages that do not
// want to be scrolled through: endless ones, ones that scroll back, ones that
// add pictures for ever, and one that stops answering.

#include "platform/LazyLoader.h"
#include "tests/inventory/OffscreenViewTest.h"

#include "tests/support/Eventually.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Ten screens of lazy pictures, each swapped in as it comes into sight.
const char kGallery[] = R"html(<!DOCTYPE html><html><body style="margin:0">
<script>
for (let i = 0; i < 10; ++i) {
    const img = document.createElement('img');
    img.dataset.src = '/pic.png?' + i;
    img.width = 100;
    img.height = 700;
    img.style.display = 'block';
    document.body.appendChild(img);
}
const seen = new IntersectionObserver(function (entries) {
    for (const e of entries) {
        if (e.isIntersecting) {
            e.target.src = e.target.dataset.src;
            seen.unobserve(e.target);
        }
    }
});
document.querySelectorAll('img').forEach(function (img) { seen.observe(img); });
window.seenLoader = [];
window.addEventListener('scroll', function () { seenLoader.push(typeof window.__quarrowLazy); });
</script></body></html>)html";

// Grows by a screen each time the reader comes near its end.
const char kEndless[] = R"html(<!DOCTYPE html><html><body style="margin:0">
<div id="feed"></div><script>
function more() {
    const d = document.createElement('div');
    d.style.height = '900px';
    d.innerHTML = '<img src="/pic.png?' + Math.random() + '" width="50" height="50">';
    document.getElementById('feed').appendChild(d);
}
for (let i = 0; i < 3; ++i) more();
window.addEventListener('scroll', function () {
    if (window.scrollY + window.innerHeight > document.body.scrollHeight - 300) more();
});
</script></body></html>)html";

// Scrolls back to its top whenever the reader leaves it.
const char kScrollsBack[] = R"html(<!DOCTYPE html><html><body style="margin:0">
<div style="height: 20000px">long</div><script>
window.addEventListener('scroll', function () {
    if (window.scrollY > 50) window.scrollTo(0, 0);
});
</script></body></html>)html";

// Adds a picture every few milliseconds, for ever, in a box that does not grow.
const char kForever[] = R"html(<!DOCTYPE html><html><body style="margin:0">
<div id="box" style="height: 100px; overflow: hidden"></div>
<div style="height: 20000px">long</div><script>
let n = 0;
setInterval(function () {
    const img = new Image(10, 10);
    img.src = '/pic.png?' + (n++);
    document.getElementById('box').appendChild(img);
}, 20);
</script></body></html>)html";

// Stops answering once it is scrolled: its script never ends.
const char kHangs[] = R"html(<!DOCTYPE html><html><body style="margin:0">
<div style="height: 20000px">long</div><script>
window.addEventListener('scroll', function () { for (;;) {} });
</script></body></html>)html";

class LazyLoaderTest : public OffscreenViewTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        server = std::make_unique<testsupport::HttpServer>(root.path());
        ASSERT_TRUE(server->start());
        server->setRoute(QStringLiteral("/gallery.html"), kGallery);
        server->setRoute(QStringLiteral("/endless.html"), kEndless);
        server->setRoute(QStringLiteral("/back.html"), kScrollsBack);
        server->setRoute(QStringLiteral("/forever.html"), kForever);
        server->setRoute(QStringLiteral("/hangs.html"), kHangs);
        QImage pixel(1, 1, QImage::Format_RGB32);
        pixel.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        pixel.save(&buffer, "PNG");
        server->setRoute(QStringLiteral("/pic.png"), png, "image/png");
        openView();
    }
    void load(const char *path)
    {
        QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
        page->load(server->url(QString::fromUtf8(path)));
        ASSERT_TRUE(loaded.wait(30000));
    }
    QVariant evaluate(const QString &script)
    {
        QVariant out;
        bool done = false;
        page->runJavaScript(script, 0, [&](const QVariant &v) {
            out = v;
            done = true;
        });
        QUARROW_WAIT_UNTIL(done, 10000);
        return out;
    }
    int picturesRequested() const
    {
        return int(server->requests().count(QStringLiteral("/pic.png")));
    }
    // Runs the loader; the longest the test's own thread went without an event.
    LazyLoader::Result run(const LazyLoader::Bounds &bounds, qint64 *longestGapMs = nullptr)
    {
        LazyLoader loader(page);
        loader.setBounds(bounds);
        QSignalSpy finished(&loader, &LazyLoader::finished);
        QElapsedTimer gap;
        qint64 longest = 0;
        QTimer tick;
        tick.setInterval(20);
        QObject::connect(&tick, &QTimer::timeout,
                         [&] { longest = std::max(longest, gap.restart()); });
        gap.start();
        tick.start();
        loader.start();
        EXPECT_TRUE(finished.wait(bounds.timeMs + bounds.returnWaitMs + 30000));
        if (longestGapMs)
            *longestGapMs = longest;
        EXPECT_FALSE(loader.running());
        return finished.isEmpty() ? LazyLoader::Result()
                                  : finished.first().first().value<LazyLoader::Result>();
    }

    QTemporaryDir root;
    std::unique_ptr<testsupport::HttpServer> server;
};

TEST_F(LazyLoaderTest, ALazyGalleryLoadsAsItIsScrolledAndThePageGoesBack)
{
    load("/gallery.html");
    EXPECT_EVENTUALLY_EQ(picturesRequested(), 1, 10000);
    evaluate(QStringLiteral("window.scrollTo(0, 300)"));
    EXPECT_EVENTUALLY_EQ(evaluate(QStringLiteral("window.scrollY")).toInt(), 300, 10000);
    LazyLoader::Bounds bounds;
    bounds.quietMs = 200;
    const LazyLoader::Result result = run(bounds);
    EXPECT_EQ(result.outcome, LazyLoader::Outcome::End);
    EXPECT_TRUE(result.returned);
    EXPECT_GE(result.steps, 10);
    EXPECT_EQ(picturesRequested(), 10);
    EXPECT_EQ(evaluate(QStringLiteral("window.scrollY")).toInt(), 300);
    // The page's scripts saw the scrolling, never the loader.
    const QVariantList seen = evaluate(QStringLiteral("window.seenLoader")).toList();
    EXPECT_FALSE(seen.isEmpty());
    for (const QVariant &type : seen)
        EXPECT_EQ(type.toString(), QStringLiteral("undefined"));
    EXPECT_TRUE(result.words().startsWith(QStringLiteral("Scrolled to the end in ")));
}

TEST_F(LazyLoaderTest, HostilePagesAreLeftWithinTheBounds)
{
    const struct {
        const char *path;
        LazyLoader::Outcome outcome;
        const char *words;
        LazyLoader::Bounds bounds;
    } cases[] = {
        {"/endless.html", LazyLoader::Outcome::Endless, "the page keeps growing",
         [] {
             LazyLoader::Bounds b;
             b.quietMs = 150;
             b.maxGrowths = 3;
             return b;
         }()},
        {"/back.html", LazyLoader::Outcome::Fought, "the page keeps scrolling back",
         [] {
             LazyLoader::Bounds b;
             b.quietMs = 150;
             return b;
         }()},
        {"/forever.html", LazyLoader::Outcome::TimeUp, "Stopped after",
         [] {
             LazyLoader::Bounds b;
             b.timeMs = 4000;
             b.stepWaitMs = 1500;
             return b;
         }()},
        {"/back.html", LazyLoader::Outcome::StepsUsed, "before the end",
         [] {
             LazyLoader::Bounds b;
             b.quietMs = 100;
             b.maxSteps = 2;
             b.maxPushBacks = 100;
             return b;
         }()},
    };
    for (const auto &c : cases) {
        load(c.path);
        QElapsedTimer clock;
        clock.start();
        const LazyLoader::Result result = run(c.bounds);
        EXPECT_EQ(result.outcome, c.outcome) << c.path;
        EXPECT_TRUE(result.words().contains(QString::fromUtf8(c.words)))
            << c.path << ": " << result.words().toStdString();
        EXPECT_LE(result.steps, c.bounds.maxSteps);
        EXPECT_TRUE(result.returned) << c.path;
        // Within its time, give or take the machine's business.
        EXPECT_LT(clock.elapsed(), c.bounds.timeMs + c.bounds.returnWaitMs + 10000) << c.path;
        EXPECT_EVENTUALLY_EQ(evaluate(QStringLiteral("window.scrollY")).toInt(), 0, 10000);
    }
}

TEST_F(LazyLoaderTest, APageThatStopsAnsweringIsLeftWhenTheTimeIsUp)
{
    load("/hangs.html");
    LazyLoader::Bounds bounds;
    bounds.timeMs = 3000;
    bounds.returnWaitMs = 1000;
    qint64 longestGap = 0;
    QElapsedTimer clock;
    clock.start();
    const LazyLoader::Result result = run(bounds, &longestGap);
    EXPECT_EQ(result.outcome, LazyLoader::Outcome::TimeUp);
    EXPECT_FALSE(result.returned);
    EXPECT_GE(clock.elapsed(), bounds.timeMs);
    EXPECT_LT(clock.elapsed(), bounds.timeMs + bounds.returnWaitMs + 10000);
    // The caller's thread went on with its events meanwhile.
    EXPECT_LT(longestGap, 2000);
}

} // namespace
