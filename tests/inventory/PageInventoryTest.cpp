#include "platform/PageInventory.h"
#include "tests/inventory/InventorySite.h"
#include "tests/inventory/OffscreenViewTest.h"

#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Strings as text in failure messages.
void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Pages loaded in the test's own view, and their inventory.
class InventoryTest : public OffscreenViewTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.start());
        openView();
    }

    bool load(const QString &url)
    {
        QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
        page->load(QUrl(url));
        return loaded.wait(20000) && loaded.first().first().toBool();
    }

    Inventory collect()
    {
        Inventory result;
        bool done = false;
        PageInventory::collect(page, [&](const Inventory &inventory) {
            result = inventory;
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 20000));
        return result;
    }

    QVariant mainWorld(const QString &script)
    {
        QVariant result;
        bool done = false;
        page->runJavaScript(script, 0, [&](const QVariant &value) {
            result = value;
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
        return result;
    }

    // One line an entry: the address (the site's origin left off), its kinds, its uses.
    QStringList lines(const Inventory &inventory) const
    {
        QStringList out;
        for (const InventoryEntry &entry : inventory.pictures) {
            QString address = entry.address;
            if (address.startsWith(site.origin()))
                address = address.mid(site.origin().size());
            out.append(QStringLiteral("%1 %2 %3")
                           .arg(address, entry.kinds.join(QLatin1Char(',')))
                           .arg(entry.uses));
        }
        return out;
    }

    const InventoryEntry *find(const Inventory &inventory, const QString &path) const
    {
        for (const InventoryEntry &entry : inventory.pictures) {
            if (entry.address == site.url(path))
                return &entry;
        }
        return nullptr;
    }

    InventorySite site;
};

// Everything the page uses before its script adds a picture.
QStringList staticLines()
{
    return {
        QStringLiteral("/favicon.ico icon 1"),
        QStringLiteral("/site/pics/touch.png icon 1"),
        QStringLiteral("/site/pics/mask.svg icon 1"),
        QStringLiteral("/site/pics/share.jpg meta 2"),
        // main.css: its import first, then its rules, nested ones too.
        QStringLiteral("/site/css/sprite.png css 1"),
        QStringLiteral("/site/pics/btn.png css 2"),
        QStringLiteral("/site/pics/btn-hover.png css 1"),
        QStringLiteral("/site/pics/btn-small.png css 1"),
        QStringLiteral("/site/pics/grid.png css 1"),
        // The page's own style element: each rule, and later the element it styles.
        QStringLiteral("/site/pics/hero.png css 2"),
        QStringLiteral("/site/pics/overlay.gif css 2"),
        QStringLiteral("/site/pics/r1.png css 2"),
        QStringLiteral("/site/pics/r2.png css 2"),
        QStringLiteral("/site/pics/bullet.gif css 2"),
        QStringLiteral("/site/pics/quote.gif css 2"),
        QStringLiteral("/site/pics/border.png css 2"),
        // src, srcset, a link, and the frame's img.
        QStringLiteral("/site/pics/logo.png img,srcset,link 4"),
        QStringLiteral("/site/pics/logo-2x.png srcset 1"),
        QStringLiteral("/site/pics/wide.webp source 1"),
        QStringLiteral("/site/pics/narrow.png img 1"),
        InventorySite::gifDataAddress() + QStringLiteral(" img 1"),
        QStringLiteral("/site/pics/lazy.jpg lazy 1"),
        QStringLiteral("/site/pics/lazy-s.jpg lazy 1"),
        QStringLiteral("/site/pics/lazy-l.jpg lazy 1"),
        QStringLiteral("/site/pics/missing.png img 1"),
        QStringLiteral("/site/pics/lazy-bg.jpg lazy 1"),
        QStringLiteral("/site/pics/poster.jpg poster 1"),
        QStringLiteral("/site/pics/go.gif input 1"),
        QStringLiteral("/site/pics/svg-image.png svg 1"),
        QStringLiteral("/site/pics/fe.png svg 1"),
        QStringLiteral("/site/pics/drawing.svg object 1"),
        QStringLiteral("/site/pics/embedded.png object 1"),
        QStringLiteral("/site/pics/big.jpg?size=large#top link 1"),
        QStringLiteral("/site/pics/map.gif img 1"),
        QStringLiteral("/site/pics/area.tif link 1"),
        QStringLiteral("/site/pics/inline.png css 1"),
        QStringLiteral("/site/pics/hidden.png css 1"),
        // The same-origin frame, with its own base; the cross-origin one is skipped.
        QStringLiteral("/other/fbg.gif css 2"),
        QStringLiteral("/other/f.png img 1"),
    };
}

TEST_F(InventoryTest, ListsEveryPictureOfTheLivePageOnceInDocumentOrder)
{
    ASSERT_TRUE(load(site.url(QStringLiteral("/page.html"))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->title() == QLatin1String("ready"); }, 20000));
    const Inventory inventory = collect();
    ASSERT_TRUE(inventory.valid) << inventory.error.toStdString();
    QStringList expected = staticLines();
    expected.append(QStringLiteral("/site/pics/added.png img 1"));
    EXPECT_EQ(lines(inventory), expected) << lines(inventory).join(QLatin1Char('\n')).toStdString();
    // The page's overridden built-ins were never called.
    EXPECT_EQ(mainWorld(QStringLiteral("calls")).toInt(), 0);
}

TEST_F(InventoryTest, WorksWithThePageScriptsOff)
{
    page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    ASSERT_TRUE(load(site.url(QStringLiteral("/page.html"))));
    const Inventory inventory = collect();
    ASSERT_TRUE(inventory.valid) << inventory.error.toStdString();
    EXPECT_EQ(lines(inventory), staticLines())
        << lines(inventory).join(QLatin1Char('\n')).toStdString();
}

TEST_F(InventoryTest, TellsSizesTypesTextsAndVariants)
{
    ASSERT_TRUE(load(site.url(QStringLiteral("/page.html"))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->title() == QLatin1String("ready"); }, 20000));
    const Inventory inventory = collect();
    ASSERT_TRUE(inventory.valid);

    EXPECT_EQ(inventory.pageAddress, site.url(QStringLiteral("/page.html")));
    EXPECT_EQ(inventory.baseUri, site.url(QStringLiteral("/site/")));
    EXPECT_EQ(inventory.title, QStringLiteral("ready"));
    EXPECT_EQ(inventory.characterSet, QStringLiteral("UTF-8"));
    EXPECT_EQ(inventory.documentType, QStringLiteral("<!DOCTYPE html>"));
    EXPECT_EQ(inventory.renderMode, QStringLiteral("standards"));
    EXPECT_GT(inventory.markupBytes, 3000);
    // javascript: is no link; the frame's links are its own document's.
    EXPECT_EQ(inventory.linkCount, 4);
    ASSERT_EQ(inventory.links.size(), 4);
    EXPECT_EQ(inventory.links.at(0).address,
              site.url(QStringLiteral("/site/pics/big.jpg?size=large#top")));
    EXPECT_TRUE(inventory.links.at(0).isPicture);
    EXPECT_EQ(inventory.links.at(2).address, site.url(QStringLiteral("/site/other.html")));
    EXPECT_EQ(inventory.links.at(2).target, QStringLiteral("_blank"));
    EXPECT_EQ(inventory.links.at(2).text, QStringLiteral("another page"));
    EXPECT_FALSE(inventory.links.at(2).isPicture);
    EXPECT_TRUE(inventory.links.at(3).isPicture); // the area
    EXPECT_TRUE(inventory.metaTags.contains(
        qMakePair(QStringLiteral("og:image"), QStringLiteral("pics/share.jpg"))));

    const InventoryEntry *logo = find(inventory, QStringLiteral("/site/pics/logo.png"));
    ASSERT_TRUE(logo);
    EXPECT_EQ(logo->altText, QStringLiteral("Logo"));
    EXPECT_EQ(logo->element, QStringLiteral("img#logo.header.main"));
    EXPECT_EQ(logo->naturalSize, QSize(4, 3));
    EXPECT_EQ(logo->displayedSize, QSize(4, 3));
    EXPECT_EQ(logo->mimeType, QStringLiteral("image/png"));
    EXPECT_EQ(logo->bytes, InventorySite::pngBytes(4, 3).size());
    EXPECT_FALSE(logo->failed);
    EXPECT_EQ(
        logo->variants,
        QStringList({site.url(QStringLiteral("/site/pics/logo.png")) + QStringLiteral(" 1x"),
                     site.url(QStringLiteral("/site/pics/logo-2x.png")) + QStringLiteral(" 2x")}));

    const InventoryEntry *narrow = find(inventory, QStringLiteral("/site/pics/narrow.png"));
    ASSERT_TRUE(narrow);
    EXPECT_EQ(narrow->variants, QStringList({site.url(QStringLiteral("/site/pics/wide.webp")) +
                                             QStringLiteral(" 800w")}));
    EXPECT_EQ(narrow->naturalSize, QSize(6, 2));
    const InventoryEntry *wide = find(inventory, QStringLiteral("/site/pics/wide.webp"));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->mimeType, QStringLiteral("image/webp"));
    EXPECT_EQ(wide->element, QStringLiteral("source"));
    EXPECT_EQ(wide->bytes, -1);

    const InventoryEntry *missing = find(inventory, QStringLiteral("/site/pics/missing.png"));
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->failed);
    EXPECT_EQ(missing->bytes, -1);
    EXPECT_FALSE(missing->naturalSize.isValid());
    EXPECT_EQ(missing->altText, QStringLiteral("Gone"));

    const InventoryEntry *hero = find(inventory, QStringLiteral("/site/pics/hero.png"));
    ASSERT_TRUE(hero);
    EXPECT_EQ(hero->displayedSize, QSize(40, 30));
    EXPECT_EQ(hero->element, QStringLiteral("style .hero"));

    const InventoryEntry *quote = find(inventory, QStringLiteral("/site/pics/quote.gif"));
    ASSERT_TRUE(quote);
    EXPECT_EQ(quote->mimeType, QStringLiteral("image/gif"));

    const InventoryEntry *area = find(inventory, QStringLiteral("/site/pics/area.tif"));
    ASSERT_TRUE(area);
    EXPECT_EQ(area->altText, QStringLiteral("Area"));
    EXPECT_EQ(area->mimeType, QStringLiteral("image/tiff"));

    const InventoryEntry &data = inventory.pictures.at(20);
    EXPECT_EQ(data.address, InventorySite::gifDataAddress());
    EXPECT_EQ(data.displayAddress, QStringLiteral("data:image/gif;base64,R0lGO") + QChar(0x2026) +
                                       QStringLiteral(" (35 bytes)"));
    EXPECT_EQ(data.bytes, 35);
    EXPECT_EQ(data.mimeType, QStringLiteral("image/gif"));
    EXPECT_EQ(data.naturalSize, QSize(1, 1));
    EXPECT_EQ(
        data.variants,
        QStringList({site.url(QStringLiteral("/site/pics/lazy-s.jpg")) + QStringLiteral(" 300w"),
                     site.url(QStringLiteral("/site/pics/lazy-l.jpg")) + QStringLiteral(" 600w")}));

    // Nothing of the cross-origin frame.
    for (const InventoryEntry &entry : inventory.pictures)
        EXPECT_FALSE(entry.address.startsWith(site.otherServer().urlText(QString())))
            << entry.address.toStdString();

    // The later step asks the server about these.
    const QList<int> unknown = inventory.picturesOfUnknownSize();
    EXPECT_TRUE(unknown.contains(int(wide - inventory.pictures.constData())));
    EXPECT_FALSE(unknown.contains(int(logo - inventory.pictures.constData())));
}

TEST_F(InventoryTest, ThePageCannotSeeOrChangeTheCollector)
{
    const QByteArray markup =
        "<!DOCTYPE html><html><head><script>\n"
        "var seen = [];\n"
        "new MutationObserver(function (m) { seen.push(m.length); })"
        ".observe(document, {subtree: true, attributes: true, childList: true});\n"
        "var names = Object.getOwnPropertyNames(window).length;\n"
        "</script></head><body>"
        "<img src=\"a.png\"><div style=\"background:url(b.png)\"></div>"
        "<a href=\"c.jpg\">c</a></body></html>";
    const QByteArray hostile =
        "<script>\n"
        "Array.prototype.push = function () { throw new Error('push'); };\n"
        "Array.prototype.map = function () { throw new Error('map'); };\n"
        "Set.prototype.add = function () { throw new Error('add'); };\n"
        "Map.prototype.get = function () { throw new Error('get'); };\n"
        "JSON.stringify = function () { return '{\"pictures\":[]}'; };\n"
        "Document.prototype.getElementsByTagName = function () { return []; };\n"
        "Element.prototype.getAttribute = function () { return 'javascript:void 0'; };\n"
        "document.querySelectorAll = function () { return []; };\n"
        "String.prototype.indexOf = function () { return -1; };\n"
        "</script>";
    site.server().setRoute(QStringLiteral("/plain.html"), markup);
    QByteArray tampered = markup;
    tampered.replace("<body>", hostile + "<body>");
    site.server().setRoute(QStringLiteral("/tampered.html"), tampered);

    ASSERT_TRUE(load(site.url(QStringLiteral("/plain.html"))));
    const int mutationsBefore = mainWorld(QStringLiteral("seen.length")).toInt();
    const QStringList plain = lines(collect());
    EXPECT_EQ(plain, QStringList({QStringLiteral("/a.png img 1"), QStringLiteral("/b.png css 1"),
                                  QStringLiteral("/c.jpg link 1")}));
    // Nothing of the collector left in the page's world, and the document untouched.
    EXPECT_EQ(
        mainWorld(QStringLiteral("Object.getOwnPropertyNames(window).length - names")).toInt(), 0);
    EXPECT_EQ(mainWorld(QStringLiteral("seen.length")).toInt(), mutationsBefore);

    ASSERT_TRUE(load(site.url(QStringLiteral("/tampered.html"))));
    EXPECT_EQ(lines(collect()), plain);
}

// Every part of the document a browser shows: the open shadow tree of a custom
// element (its style sheet and what it slots in), frames of the same origin
// three deep, and the SVG documents of an object and an embed, each where it
// stands. A closed shadow tree cannot be read, nor the two frames of the other
// origin, which are counted instead.
TEST_F(InventoryTest, ReachesShadowTreesNestedFramesAndTheDocumentsOfObjects)
{
    const QString other = site.otherServer().urlText(QStringLiteral("/cross.html"));
    site.server().setRoute(
        QStringLiteral("/reach/page.html"),
        "<!DOCTYPE html><html><head><title>reach</title><script>\n"
        "customElements.define('photo-card', class extends HTMLElement {\n"
        "  constructor() { super(); this.attachShadow({mode: 'open'}).innerHTML =\n"
        "    '<style>.f { background-image: url(/reach/shadow-bg.png); width: 4px; height: 4px "
        "}</style>' +\n"
        "    '<div class=\"f\"></div><img src=\"/reach/shadow.png\"><slot></slot>'; }\n"
        "});\n"
        "customElements.define('closed-card', class extends HTMLElement {\n"
        "  constructor() { super(); this.attachShadow({mode: 'closed'}).innerHTML =\n"
        "    '<img src=\"/reach/closed.png\">'; }\n"
        "});\n"
        "</script></head><body>\n"
        "<img src=\"/reach/before.png\">\n"
        "<photo-card><img src=\"/reach/slotted.png\"></photo-card>\n"
        "<closed-card></closed-card>\n"
        "<iframe src=\"/reach/frame1.html\"></iframe>\n"
        "<object data=\"/reach/drawing.svg\" type=\"image/svg+xml\" width=\"20\" "
        "height=\"20\"></object>\n"
        "<embed src=\"/reach/embedded.svg\" type=\"image/svg+xml\" width=\"20\" height=\"20\">\n"
        "<iframe src=\"" +
            other.toUtf8() +
            "\"></iframe>\n"
            "<img src=\"/reach/after.png\">\n"
            "</body></html>");
    site.server().setRoute(QStringLiteral("/reach/frame1.html"),
                           "<img src=\"/reach/depth1.png\"><iframe "
                           "src=\"/reach/frame2.html\"></iframe>");
    site.server().setRoute(QStringLiteral("/reach/frame2.html"),
                           "<img src=\"/reach/depth2.png\"><iframe src=\"/reach/frame3.html\">"
                           "</iframe><iframe src=\"" +
                               other.toUtf8() + "\"></iframe>");
    site.server().setRoute(QStringLiteral("/reach/frame3.html"), "<img src=\"/reach/depth3.png\">");
    site.server().setRoute(QStringLiteral("/reach/drawing.svg"),
                           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"20\" height=\"20\">"
                           "<image href=\"/reach/in-object.png\" width=\"5\" height=\"5\"/></svg>",
                           "image/svg+xml");
    site.server().setRoute(
        QStringLiteral("/reach/embedded.svg"),
        "<svg xmlns=\"http://www.w3.org/2000/svg\" "
        "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"20\" height=\"20\">"
        "<image xlink:href=\"in-embed.png\" width=\"5\" height=\"5\"/></svg>",
        "image/svg+xml");
    ASSERT_TRUE(load(site.url(QStringLiteral("/reach/page.html"))));
    // The load waits for the frames; the objects' documents may come later.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return mainWorld(
                       QStringLiteral("(function () { const o = document.querySelector('object');"
                                      "const e = document.querySelector('embed');"
                                      "const od = o.contentDocument, ed = e.getSVGDocument();"
                                      "return !!od && !!ed && od.readyState === 'complete' && "
                                      "ed.readyState === 'complete'; })()"))
                .toBool();
        },
        20000));
    const Inventory inventory = collect();
    ASSERT_TRUE(inventory.valid) << inventory.error.toStdString();
    EXPECT_EQ(lines(inventory), QStringList({
                                    QStringLiteral("/reach/before.png img 1"),
                                    QStringLiteral("/reach/shadow-bg.png css 2"),
                                    QStringLiteral("/reach/shadow.png img 1"),
                                    QStringLiteral("/reach/slotted.png img 1"),
                                    QStringLiteral("/reach/depth1.png img 1"),
                                    QStringLiteral("/reach/depth2.png img 1"),
                                    QStringLiteral("/reach/depth3.png img 1"),
                                    QStringLiteral("/reach/drawing.svg object 1"),
                                    QStringLiteral("/reach/in-object.png svg 1"),
                                    QStringLiteral("/reach/embedded.svg object 1"),
                                    QStringLiteral("/reach/in-embed.png svg 1"),
                                    QStringLiteral("/reach/after.png img 1"),
                                }))
        << lines(inventory).join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(inventory.unreachableFrames, 2);
}

TEST_F(InventoryTest, ComesBackInvalidForAPageThatGoesAway)
{
    ASSERT_TRUE(load(site.url(QStringLiteral("/page.html"))));
    Inventory result;
    bool done = false;
    PageInventory::collect(page, [&](const Inventory &inventory) {
        result = inventory;
        done = true;
    });
    view.reset();
    delete page;
    page = nullptr;
    // Either no call at all, or one that tells the page went away.
    if (QTest::qWaitFor([&] { return done; }, 5000)) {
        EXPECT_FALSE(result.valid);
    }
}

TEST(InventoryText, ShortensDataAddressesAndTellsTypes)
{
    EXPECT_EQ(PageInventory::displayAddress(QStringLiteral("http://a/b.png")),
              QStringLiteral("http://a/b.png"));
    const QString big = QStringLiteral("data:image/png;base64,") + QString(1640, QLatin1Char('A'));
    EXPECT_EQ(PageInventory::displayAddress(big), QStringLiteral("data:image/png;base64,AAAAA") +
                                                      QChar(0x2026) + QStringLiteral(" (1.2 KB)"));
    EXPECT_EQ(PageInventory::dataBytes(QStringLiteral("data:image/svg+xml,%3Csvg%3E")), 5);
    EXPECT_EQ(PageInventory::mimeTypeFor(QStringLiteral("data:image/svg+xml;utf8,<svg>")),
              QStringLiteral("image/svg+xml"));
    EXPECT_EQ(PageInventory::mimeTypeFor(QStringLiteral("https://a/b.JPG?x=1.png")),
              QStringLiteral("image/jpeg"));
    EXPECT_EQ(PageInventory::mimeTypeFor(QStringLiteral("https://a.png/b")), QString());
    EXPECT_EQ(PageInventory::byteText(3565158), QStringLiteral("3.4 MB"));
    EXPECT_FALSE(PageInventory::fromJson("{nope").valid);
}

} // namespace

namespace {

struct HostilePage {
    const char *name;
    QByteArray body;
    // Lines (as InventoryTest::lines() writes them) the inventory starts with,
    // and how many entries it has in all.
    QStringList first;
    qsizetype count;
};

void PrintTo(const HostilePage &page, std::ostream *out)
{
    *out << page.name;
}

QList<HostilePage> hostilePages()
{
    const QByteArray candidates = [] {
        QByteArray out;
        for (int i = 0; i < 20000; ++i)
            out += "c" + QByteArray::number(i) + ".png " + QByteArray::number(i + 1) + "w, ";
        return out;
    }();
    const QByteArray sources = [] {
        QByteArray out = "<picture>";
        for (int i = 0; i < 3000; ++i)
            out += "<source srcset=\"s" + QByteArray::number(i) + ".png\">";
        for (int i = 0; i < 3000; ++i)
            out += "<img src=\"i" + QByteArray::number(i) + ".png\">";
        return out + "</picture>";
    }();
    return {
        // One element naming thousands of pictures, with a class and an alt
        // text of hundreds of kilobytes: each entry tells the element and
        // the text in a few characters, read once.
        {"ThousandsOfCandidatesOnALongElement",
         "<img src=\"main.png\" class=\"" + QByteArray("k ").repeated(100000) + "\" alt=\"" +
             QByteArray(" ").repeated(100000) + QByteArray("word ").repeated(40000) +
             "\" srcset=\"" + candidates + "\">",
         {QStringLiteral("/h/main.png img 1"), QStringLiteral("/h/c0.png srcset 1"),
          QStringLiteral("/h/c1.png srcset 1")},
         20001},
        // A srcset address of a hundred thousand commas, ending with one.
        {"AnAddressOfCommas",
         "<img srcset=\"x" + QByteArray(",").repeated(100000) + "y,\">",
         {QStringLiteral("/h/x") + QString(100000, QLatin1Char(',')) +
          QStringLiteral("y srcset 1")},
         1},
        // Lazy attributes of url( after url( that never close, then one that does.
        {"UrlsThatNeverClose",
         "<div data-bg='" + QByteArray("url(\"").repeated(100000) +
             "'></div>"
             "<div data-bg='" +
             QByteArray("url(").repeated(100000) +
             "'></div>"
             "<div data-bg=\"" +
             QByteArray("url('x ").repeated(50000) + "url(ok.png)\"></div>",
         {QStringLiteral("/h/ok.png lazy 1")},
         1},
        // Thousands of sources and images in one picture: its sources are read once.
        {"APictureOfThousands",
         sources,
         {QStringLiteral("/h/s0.png source 1"), QStringLiteral("/h/s1.png source 1")},
         6000},
        // What a hidden element holds is not shown; what follows it is.
        {"AHiddenSubtreeEndsWhereItsElementDoes",
         "<style>.after { background-image: url(after.png) }</style>"
         "<div style=\"display: none\"><p><span class=\"after\"></span>"
         "<i style=\"background: url(inline.png)\"></i></p></div>"
         "<div class=\"after\"></div>",
         {QStringLiteral("/h/after.png css 2"), QStringLiteral("/h/inline.png css 1")},
         2},
    };
}

class HostileInventory : public InventoryTest, public ::testing::WithParamInterface<HostilePage> {};

TEST_P(HostileInventory, TakesEachElementOnceAndTellsWhatItUses)
{
    const HostilePage &hostile = GetParam();
    site.server().setRoute(QStringLiteral("/h/page.html"),
                           "<!DOCTYPE html><html><body>" + hostile.body + "</body></html>");
    ASSERT_TRUE(load(site.url(QStringLiteral("/h/page.html"))));
    const Inventory inventory = collect();
    ASSERT_TRUE(inventory.valid) << inventory.error.toStdString();
    const QStringList all = lines(inventory);
    ASSERT_EQ(all.size(), hostile.count);
    EXPECT_EQ(all.mid(0, hostile.first.size()), hostile.first);
    for (const InventoryEntry &entry : inventory.pictures) {
        EXPECT_LE(entry.element.size(), 120);
        EXPECT_LE(entry.altText.size(), 1000);
    }
    if (hostile.count == 20001) {
        const InventoryEntry &main = inventory.pictures.constFirst();
        EXPECT_EQ(main.element.left(11), QStringLiteral("img.k.k.k"));
        EXPECT_TRUE(main.altText.startsWith(QStringLiteral("word word")));
        EXPECT_EQ(main.variants.size(), 20000);
        EXPECT_EQ(inventory.pictures.at(5).altText, main.altText);
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, HostileInventory, ::testing::ValuesIn(hostilePages()),
                         [](const ::testing::TestParamInfo<HostilePage> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
