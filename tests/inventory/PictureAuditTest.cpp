// The findings of the audit, the sources and the states, from facts made up
// for each case; and the estimates, from pictures made here.

#include "platform/PictureAudit.h"
#include "platform/PictureSource.h"
#include "platform/PictureState.h"

#include "tests/inventory/GallerySite.h"
#include "tests/support/TestSupport.h"

#include <QSize>

#include <gtest/gtest.h>

#include <functional>

namespace {

QStringList namesOf(const QList<PictureAudit::Issue> &issues)
{
    QStringList out;
    for (const PictureAudit::Issue &issue : issues)
        out.append(PictureAudit::name(issue.kind));
    return out;
}

PictureAudit::Facts shownJpeg(qint64 bytes, QSize natural, QSize shown)
{
    PictureAudit::Facts facts;
    facts.type = QStringLiteral("image/jpeg");
    facts.bytes = bytes;
    facts.naturalSize = natural;
    facts.shownSize = shown;
    facts.usedByPage = true;
    facts.load.loaded = true;
    return facts;
}

TEST(PictureAudit, NamesStayAsTheyAre)
{
    EXPECT_EQ(PictureAudit::names(),
              (QStringList{"missing-alt", "missing-size", "oversized", "heavy", "animated-gif",
                           "webp-smaller", "offscreen-eager", "lazy-in-first-screen", "broken"}));
    for (const QString &name : PictureAudit::names()) {
        bool ok = false;
        EXPECT_EQ(PictureAudit::name(PictureAudit::named(name, &ok)), name);
        EXPECT_TRUE(ok);
    }
    bool ok = true;
    PictureAudit::named(QStringLiteral("missing_alt"), &ok);
    EXPECT_FALSE(ok);
}

TEST(PictureAudit, FindingsFollowTheFactsAtTheirThresholds)
{
    const QSize small(100, 100);
    const struct {
        const char *what;
        std::function<PictureAudit::Facts()> facts;
        QStringList issues;
    } cases[] = {
        {"fine", [&] { return shownJpeg(10 * 1024, small, small); }, {}},
        {"no alt",
         [&] {
             auto f = shownJpeg(1000, small, small);
             f.load.noAlt = true;
             return f;
         },
         {"missing-alt"}},
        {"no size",
         [&] {
             auto f = shownJpeg(1000, small, small);
             f.load.noSize = true;
             return f;
         },
         {"missing-size"}},
        {"twice the size, over 20 KB",
         [&] { return shownJpeg(20 * 1024 + 1, QSize(200, 200), small); },
         {"oversized"}},
        {"twice the size, exactly 20 KB",
         [&] { return shownJpeg(20 * 1024, QSize(200, 200), small); },
         {}},
        {"twice as wide only", [&] { return shownJpeg(50 * 1024, QSize(200, 199), small); }, {}},
        {"an SVG is drawn at any size",
         [&] {
             auto f = shownJpeg(50 * 1024, QSize(2000, 2000), small);
             f.type = QStringLiteral("image/svg+xml");
             return f;
         },
         {}},
        {"heavy", [&] { return shownJpeg(200 * 1024 + 1, small, small); }, {"heavy"}},
        {"exactly 200 KB", [&] { return shownJpeg(200 * 1024, small, small); }, {}},
        {"a link's picture is not the page's weight",
         [&] {
             auto f = shownJpeg(5 * 1024 * 1024, QSize(4000, 3000), small);
             f.usedByPage = false;
             return f;
         },
         {}},
        {"broken, and weighs nothing",
         [&] {
             auto f = shownJpeg(500 * 1024, QSize(4000, 3000), small);
             f.broken = true;
             f.failure = QStringLiteral("404 Not Found");
             return f;
         },
         {"broken"}},
        {"lazy in the first screen, and eager far down",
         [&] {
             auto f = shownJpeg(1000, small, small);
             f.load.lazyInFirstScreen = true;
             f.load.eagerOffScreen = true;
             return f;
         },
         {"offscreen-eager", "lazy-in-first-screen"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(namesOf(PictureAudit::audit(c.facts())), c.issues) << c.what;

    auto broken = shownJpeg(1000, small, small);
    broken.broken = true;
    broken.failure = QStringLiteral("404 Not Found");
    EXPECT_EQ(PictureAudit::audit(broken).first().words, QStringLiteral("broken: 404 Not Found"));
}

TEST(PictureAudit, EstimatesAddWhatOnlyTheBytesTell)
{
    const QSize shown(100, 100);
    auto facts = shownJpeg(300 * 1024, QSize(800, 800), shown);
    PictureAudit::Estimate estimate;
    estimate.made = true;
    estimate.format = QStringLiteral("jpeg");
    estimate.naturalSize = QSize(800, 800);
    estimate.frames = 1;
    estimate.resizedBytes = 20 * 1024;
    estimate.webpBytes = 225 * 1024; // exactly 25% smaller
    const QList<PictureAudit::Issue> issues = PictureAudit::audit(facts, &estimate);
    EXPECT_EQ(namesOf(issues), (QStringList{"oversized", "heavy", "webp-smaller"}));
    EXPECT_EQ(issues.first().savings, 280 * 1024);
    EXPECT_EQ(issues.first().words,
              QStringLiteral("served at 800 \u00d7 800 for 100 \u00d7 100: the right size would "
                             "save about 280.0 KB"));
    EXPECT_EQ(issues.last().words, QStringLiteral("WebP would make it 25% smaller (75.0 KB less)"));
    estimate.webpBytes = 225 * 1024 + 1;
    EXPECT_EQ(namesOf(PictureAudit::audit(facts, &estimate)), (QStringList{"oversized", "heavy"}));

    // An animated GIF over 100 KB; a still one is none.
    auto gif = shownJpeg(100 * 1024 + 1, shown, shown);
    gif.type = QStringLiteral("image/gif");
    PictureAudit::Estimate frames;
    frames.made = true;
    frames.format = QStringLiteral("gif");
    frames.frames = 4;
    EXPECT_EQ(namesOf(PictureAudit::audit(gif, &frames)), QStringList{"animated-gif"});
    frames.frames = 1;
    EXPECT_TRUE(PictureAudit::audit(gif, &frames).isEmpty());
}

TEST(PictureAudit, EstimatesComeFromThePicturesBytes)
{
    const PictureAudit::Limits limits;
    // A photo four times the size it is shown at.
    const QByteArray photo = GallerySite::photoJpeg(QSize(1600, 1200), 97);
    ASSERT_GT(photo.size(), 200 * 1024);
    const PictureAudit::Estimate large = PictureAudit::estimate(photo, QSize(400, 300), limits);
    ASSERT_TRUE(large.made) << large.problem.toStdString();
    EXPECT_EQ(large.format, QStringLiteral("jpeg"));
    EXPECT_EQ(large.naturalSize, QSize(1600, 1200));
    EXPECT_GT(large.resizedBytes, 0);
    EXPECT_LT(large.resizedBytes, photo.size() / 4);
    EXPECT_FALSE(large.resizedByArea);
    EXPECT_GT(large.webpBytes, 0);
    EXPECT_LT(large.webpBytes, photo.size() * 3 / 4);

    // Shown at its own size: nothing to scale.
    const QByteArray png = GallerySite::noisyPng(QSize(400, 300));
    const PictureAudit::Estimate asShown = PictureAudit::estimate(png, QSize(400, 300), limits);
    ASSERT_TRUE(asShown.made);
    EXPECT_EQ(asShown.resizedBytes, -1);
    EXPECT_GT(asShown.webpBytes, 0);

    const QByteArray gif = GallerySite::animatedGif(60, 4);
    const PictureAudit::Estimate animated = PictureAudit::estimate(gif, QSize(20, 20), limits);
    ASSERT_TRUE(animated.made) << animated.problem.toStdString();
    EXPECT_EQ(animated.format, QStringLiteral("gif"));
    EXPECT_EQ(animated.frames, 4);
    // No GIF encoder: by the area.
    EXPECT_TRUE(animated.resizedByArea);
    EXPECT_EQ(animated.webpBytes, -1);

    const PictureAudit::Estimate none =
        PictureAudit::estimate("<!DOCTYPE html><p>no picture", QSize(10, 10), limits);
    EXPECT_FALSE(none.made);
    EXPECT_EQ(none.problem, QStringLiteral("not a picture"));
    PictureAudit::Limits tight;
    tight.maxPixels = 1000 * 1000;
    EXPECT_EQ(PictureAudit::estimate(photo, QSize(400, 300), tight).problem,
              QStringLiteral("too large to estimate"));
}

InventoryEntry entry(const char *address, QStringList kinds)
{
    InventoryEntry e;
    e.address = QString::fromUtf8(address);
    e.kinds = std::move(kinds);
    return e;
}

TEST(PictureSources, TheLiveDocumentIsComparedWithTheServedMarkup)
{
    Inventory served;
    served.valid = true;
    served.pictures = {
        entry("https://a.test/logo.png", {"img"}), entry("https://a.test/ph.gif", {"img"}),
        entry("https://a.test/g1.jpg", {"lazy"}),  entry("https://a.test/g2.jpg", {"lazy"}),
        entry("https://a.test/rule.png", {"css"}), entry("https://a.test/inline.png", {"css"})};
    served.pictures[1].load.placeholderFor = {QStringLiteral("https://a.test/g1.jpg"),
                                              QStringLiteral("https://a.test/g2.jpg")};
    served.pictures[4].load.fromRule = true;

    Inventory live;
    live.valid = true;
    live.pictures = {
        entry("https://a.test/logo.png", {"img"}),       entry("https://a.test/ph.gif", {"img"}),
        entry("https://a.test/g1.jpg", {"img", "lazy"}), entry("https://a.test/g2.jpg", {"lazy"}),
        entry("https://a.test/rule.png", {"css"}),       entry("https://a.test/sheet.png", {"css"}),
        entry("https://a.test/inline.png", {"css"}),     entry("https://a.test/added.png", {"img"}),
        entry("https://a.test/in-frame.png", {"img"})};
    live.pictures[4].load.fromRule = true;
    live.pictures[5].load.fromRule = true;
    live.pictures[8].load.inFrame = true;
    const QList<PictureSource::Kind> sources = PictureSource::compare(live, served);
    QStringList names;
    for (const PictureSource::Kind kind : sources)
        names.append(PictureSource::name(kind));
    EXPECT_EQ(names, (QStringList{"markup", "placeholder", "script", "markup", "style", "style",
                                  "markup", "script", ""}));

    // Nothing swapped yet: the placeholder is markup like any other.
    live.pictures[2].kinds = QStringList{"lazy"};
    EXPECT_EQ(PictureSource::compare(live, served).at(1), PictureSource::Markup);
    EXPECT_EQ(PictureSource::countWords(PictureSource::Placeholder, 1),
              QStringLiteral("1 lazy placeholder"));
}

TEST(PictureStates, EachEntrySaysWhetherThePageLoadedIt)
{
    const auto make = [](std::function<void(InventoryEntry &)> change) {
        InventoryEntry e = entry("https://a.test/p.png", {"img"});
        change(e);
        return e;
    };
    const struct {
        InventoryEntry entry;
        QString failure;
        const char *text;
    } cases[] = {
        {make([](InventoryEntry &e) {
             e.load.loaded = e.load.timed = true;
             e.load.transferred = 2048;
             e.load.encoded = 1800;
             e.displayedSize = QSize(10, 10);
         }),
         {},
         "shown, 2.0 KB transferred"},
        {make([](InventoryEntry &e) {
             e.load.loaded = e.load.timed = true;
             e.load.transferred = 0;
             e.load.encoded = 1800;
             e.displayedSize = QSize(10, 10);
         }),
         {},
         "shown, from cache"},
        // Checked with the server: its headers came, the body from the cache.
        {make([](InventoryEntry &e) {
             e.load.loaded = e.load.timed = true;
             e.load.transferred = 300;
             e.load.encoded = 47000;
             e.displayedSize = QSize(10, 10);
         }),
         {},
         "shown, from cache"},
        // Another site's picture without its timing allowed: no bytes told.
        {make([](InventoryEntry &e) {
             e.load.loaded = e.load.timed = true;
             e.load.transferred = 0;
             e.load.encoded = 0;
             e.displayedSize = QSize(10, 10);
         }),
         {},
         "shown"},
        {make([](InventoryEntry &e) { e.load.timed = true; }), {}, "loaded, not shown"},
        {make([](InventoryEntry &e) {
             e.load.waiting = true;
             e.displayedSize = QSize(10, 10);
         }),
         {},
         "waiting (lazy)"},
        {entry("https://a.test/p.png", {"lazy"}), {}, "waiting (lazy)"},
        {make([](InventoryEntry &e) { e.failed = true; }), QStringLiteral("404 Not Found"),
         "failed: 404 Not Found"},
        {entry("https://a.test/p.png", {"link"}), {}, "not loaded"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PictureState::of(c.entry, c.failure).text(), QString::fromUtf8(c.text));
}

} // namespace
