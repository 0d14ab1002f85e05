// The Source Code and Images views take a long page in pieces: its first
// blocks as the view's document, the others added a block at a time. A view
// must end up showing exactly its file, whatever the user or a newer page does
// meanwhile.
#include "tests/browser/SiteWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/WebBrowser.h"
#include "shell/PieceLoader.h"
#include "tests/support/TestSupport.h"

#include <QAbstractButton>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

TEST(PieceCut, EndsAfterABlockEndWithinTheLimitOrTheFirstBeyond)
{
    const QByteArray end = "|";
    const struct {
        const char *text;
        qsizetype from;
        qsizetype limit;
        qsizetype expected;
    } cases[] = {
        {"aaaa", 0, 10, 4},        // all of it fits
        {"ab|cd|ef|gh", 0, 7, 6},  // the last block end within the limit
        {"ab|cd|ef|gh", 3, 5, 6},  // counted from where the piece begins
        {"abcdefgh|ij", 0, 4, 9},  // a block longer than the limit is whole
        {"abcdefghij", 0, 4, 10},  // no block end at all: the rest
        {"ab|cdefghij", 3, 4, 11}, // no block end after `from`
        {"ab|", 0, 2, 3},          // the end itself may reach past the limit
    };
    for (const auto &c : cases) {
        EXPECT_EQ(PieceLoader::cut(QByteArray(c.text), end, c.from, c.limit), c.expected)
            << c.text << " from " << c.from << " limit " << c.limit;
    }
}

class ViewsInPieces : public SiteWindowFixture {
protected:
    // A page of `count` pictures named with `prefix`, long enough for pieces.
    QByteArray manyPictures(const QByteArray &prefix, int count)
    {
        QByteArray page = "<html><body>";
        for (int i = 0; i < count; ++i)
            page += "<img src=\"pics/" + prefix + QByteArray::number(i) + ".gif\">\n";
        return page + "</body></html>";
    }

    void open(const QString &path)
    {
        const int before = form->harvestsDone();
        ASSERT_TRUE(view(0)->Navigate(site.url(path)));
        ASSERT_TRUE(waitForHarvests(before + 1)) << path.toStdString();
    }

    // The addresses the Images view links to, in order.
    QStringList shownAddresses()
    {
        return evaluate(2, "Array.from(document.querySelectorAll('a[href]'), a => a.href)")
            .toStringList();
    }

    bool wholePageShown(int pictures)
    {
        return !form->generatedPagesGrowing() &&
               evaluate(2, "document.images.length").toInt() == pictures;
    }
};

TEST_F(ViewsInPieces, ALongPageEndsUpWholeInOrderUnderTheFilesAddress)
{
    QStringList said;
    QObject::connect(view(2), &WebBrowser::StatusTextChange,
                     [&said](int, const QString &text) { said << text; });
    site.server().setRoute("/many.html", manyPictures("p", 800));
    open("/many.html");
    const QString file = QUrl::fromLocalFile(programFile("imagepage.html")).toString();
    ASSERT_GT(QFileInfo(programFile("imagepage.html")).size(), PieceLoader::firstPieceBytes * 2);
    EXPECT_TRUE(waitForUrl(2, file));
    EXPECT_EVENTUALLY(wholePageShown(800), 15000);
    EXPECT_EQ(shownAddresses(), form->results().Links[1]);
    EXPECT_EQ(evaluate(2, "location.href").toString(), file);
    EXPECT_EQ(evaluate(2, "document.querySelectorAll('.quarrow-piece').length > 2").toBool(), true);
    // The status bar names the file, never the content's data: address.
    for (const QString &text : said)
        EXPECT_FALSE(text.contains("data:")) << text.toStdString();
}

TEST_F(ViewsInPieces, ANewerPageReplacesTheOneStillComingIn)
{
    site.server().setRoute("/first.html", manyPictures("old", 3000));
    site.server().setRoute("/second.html", manyPictures("new", 900));
    open("/first.html");
    // The second page arrives while the first is still being added.
    open("/second.html");
    EXPECT_EVENTUALLY(wholePageShown(900), 20000);
    EXPECT_EQ(shownAddresses(), form->results().Links[1]);
    QTest::qWait(300);
    EXPECT_FALSE(evaluate(2, "document.body.innerHTML.indexOf('old') >= 0").toBool());
    EXPECT_EQ(evaluate(2, "document.images.length").toInt(), 900);
}

TEST_F(ViewsInPieces, GoingBackToTheImagesPageShowsItWholeAgain)
{
    site.server().setRoute("/many.html", manyPictures("p", 700));
    open("/many.html");
    EXPECT_EVENTUALLY(wholePageShown(700), 15000);
    // The user follows a picture's link in the view, then comes back.
    view(2)->Navigate(site.url("/pics/p1.gif"));
    ASSERT_TRUE(waitForUrl(2, site.url("/pics/p1.gif")));
    ASSERT_TRUE(view(2)->GoBack());
    EXPECT_TRUE(waitForUrl(2, QUrl::fromLocalFile(programFile("imagepage.html")).toString()));
    EXPECT_EVENTUALLY(wholePageShown(700), 15000);
    EXPECT_EQ(shownAddresses(), form->results().Links[1]);
}

// Picture addresses that try to leave their attribute or the block they are
// in, on a page long enough that they arrive in the later pieces of both views.
TEST_F(ViewsInPieces, HostileAddressesInLaterPiecesStayText)
{
    QByteArray page = manyPictures("p", 500);
    page.chop(int(qstrlen("</body></html>")));
    page += "<img src=\"x'><img src=/ran1 onerror=document.title='ran'>.gif\">"
            "<img src=\"y</div><script>document.title='ran'</script>.gif\">"
            "<img src=\"z<BR><BR><BR></div><img src=/ran2>.gif\"></body></html>";
    site.server().setRoute("/hostile.html", page);
    open("/hostile.html");
    const int pictures = form->results().Links[1].size();
    ASSERT_GE(pictures, 500);
    EXPECT_EVENTUALLY(wholePageShown(pictures), 15000);
    QTest::qWait(500);
    // Both views take these addresses in their later pieces.
    for (int index : {1, 2}) {
        EXPECT_NE(evaluate(index, "document.title").toString(), "ran") << index;
        EXPECT_EQ(evaluate(index, "document.querySelectorAll('script').length").toInt(), 0)
            << index;
    }
    EXPECT_TRUE(
        evaluate(1, "document.body.textContent.indexOf(\"<script>document.title='ran'\") >= 0")
            .toBool());
    for (const QString &request : site.server().requests())
        EXPECT_FALSE(request.startsWith("/ran")) << request.toStdString();
}

// A first block too large to hand to the engine as content (one picture with a
// huge address) is shown by opening the file, as a short page is.
TEST_F(ViewsInPieces, AHugeFirstBlockOpensTheFileItself)
{
    const QByteArray name = QByteArray(600 * 1024, 'n');
    site.server().setRoute("/huge.html",
                           "<html><body><img src=\"pics/" + name + ".gif\"></body></html>");
    open("/huge.html");
    ASSERT_EQ(form->results().Links[1].size(), 1);
    ASSERT_GT(QFileInfo(programFile("imagepage.html")).size(), PieceLoader::largestFirstPiece);
    const QString file = QUrl::fromLocalFile(programFile("imagepage.html")).toString();
    EXPECT_TRUE(waitForUrl(2, file));
    // The page before had one picture too: this one is told by its address.
    EXPECT_EVENTUALLY(!view(2)->Busy() && evaluate(2, "document.images.length === 1 && "
                                                      "document.images[0].src.length > 600000")
                                              .toBool(),
                      15000);
    EXPECT_EQ(view(2)->page()->history()->currentItem().url().toString(), file);
}

// Loads that follow each other faster than the view can finish them leave the
// view with the last file, whole.
TEST_F(ViewsInPieces, TheLastOfLoadsInQuickSuccessionEndsUpWhole)
{
    const auto blocks = [](char letter, int count) {
        QByteArray text;
        for (int i = 0; i < count; ++i)
            text += "<p>" + QByteArray(40, letter) + QByteArray::number(i) + "</p><BR><BR><BR>";
        return text;
    };
    const QString first = folder.path() + "/first.html", second = folder.path() + "/second.html";
    ASSERT_TRUE(testsupport::writeFile(first, blocks('a', 2000)));
    ASSERT_TRUE(testsupport::writeFile(second, blocks('b', 1500)));
    WebBrowser browser(9, view(0)->page()->profile());
    PieceLoader loader(&browser, "<BR><BR><BR>");
    const auto shows = [&](const QString &path, int paragraphs, char letter) {
        if (loader.adding() || browser.url() != QUrl::fromLocalFile(path))
            return false;
        const QVariant answer = [&] {
            QVariant value;
            bool done = false;
            browser.page()->runJavaScript(
                QStringLiteral("[document.querySelectorAll('p').length,"
                               " document.body.innerHTML.indexOf('%1') >= 0]")
                    .arg(QString(40, QLatin1Char(letter == 'a' ? 'b' : 'a'))),
                QWebEngineScript::ApplicationWorld, [&](const QVariant &v) {
                    value = v;
                    done = true;
                });
            QUARROW_WAIT_UNTIL(done, 5000);
            return value;
        }();
        const QVariantList list = answer.toList();
        return list.size() == 2 && list[0].toInt() == paragraphs && !list[1].toBool();
    };
    // At once, and with the first load just begun.
    for (int gapMs : {0, 10, 60}) {
        SCOPED_TRACE(gapMs);
        ASSERT_TRUE(loader.load(first));
        if (gapMs)
            QTest::qWait(gapMs);
        ASSERT_TRUE(loader.load(second));
        EXPECT_EVENTUALLY(shows(second, 1500, 'b'), 15000);
        ASSERT_TRUE(loader.load(first));
        EXPECT_EVENTUALLY(shows(first, 2000, 'a'), 15000);
    }
}

// A first block just under the limit, of text that takes three bytes in an
// address for each of its own, still reaches the view as content.
TEST_F(ViewsInPieces, AFirstBlockOfNonAsciiTextNearTheLimitShows)
{
    QByteArray page = "<html><body><img src=\"pics/";
    for (int i = 0; i < 90000; ++i)
        page += "\xc3\xa9"; // é
    page += ".gif\">";
    for (int i = 0; i < 100; ++i)
        page += "<img src=\"pics/p" + QByteArray::number(i) + ".gif\">\n";
    site.server().setRoute("/accents.html", page + "</body></html>");
    open("/accents.html");
    const qsizetype size = QFileInfo(programFile("imagepage.html")).size();
    ASSERT_GT(size, PieceLoader::largestFirstPiece / 2);
    const QString file = QUrl::fromLocalFile(programFile("imagepage.html")).toString();
    EXPECT_EVENTUALLY(!form->generatedPagesGrowing() && view(2)->url().toString() == file &&
                          evaluate(2, "document.images.length === 101 && "
                                      "decodeURI(document.images[0].src).length > 90000")
                              .toBool(),
                      15000);
}

// The user follows a picture's link in the Source Code view, then goes back.
TEST_F(ViewsInPieces, BackFromALinkFollowedInTheSourceViewShowsItWhole)
{
    site.server().setRoute("/many.html", manyPictures("p", 700));
    open("/many.html");
    EXPECT_EVENTUALLY(wholePageShown(700), 15000);
    const QString file = QUrl::fromLocalFile(programFile("source.htm")).toString();
    const int links = evaluate(1, "document.querySelectorAll('a').length").toInt();
    ASSERT_GT(links, 600);
    // A real click, as the user makes it, on the first link in sight.
    showView(1);
    QTest::qWait(300);
    const QVariantList box =
        evaluate(1, "var r = document.querySelector('a').getBoundingClientRect();"
                    "[r.left + r.width / 2, r.top + r.height / 2]")
            .toList();
    ASSERT_EQ(box.size(), 2);
    const QPoint at(qRound(box[0].toDouble() * view(1)->zoomFactor()),
                    qRound(box[1].toDouble() * view(1)->zoomFactor()));
    QWidget *surface = view(1)->focusProxy() ? view(1)->focusProxy() : view(1);
    QTest::mouseClick(surface, Qt::LeftButton, {}, at);
    ASSERT_TRUE(waitForUrl(1, site.url("/pics/p0.gif")));
    // The window's Back button, as the user presses it.
    ASSERT_TRUE(button("cmdBack")->isEnabled());
    button("cmdBack")->click();
    EXPECT_TRUE(waitForUrl(1, file));
    EXPECT_EVENTUALLY(!form->generatedPagesGrowing() &&
                          evaluate(1, "document.querySelectorAll('a').length").toInt() == links,
                      15000);
}

// The same in a view whose first page was a file in pieces.
TEST_F(ViewsInPieces, BackToAFirstPageInPiecesShowsItWhole)
{
    QByteArray text;
    for (int i = 0; i < 1500; ++i)
        text += "<a href='" + site.url(QStringLiteral("/pics/p%1.gif").arg(i)).toUtf8() + "'>p" +
                QByteArray::number(i) + "</a><BR><BR><BR>";
    const QString path = folder.path() + "/pieces.html";
    ASSERT_TRUE(testsupport::writeFile(path, text));
    WebBrowser browser(9, view(0)->page()->profile());
    browser.resize(800, 600);
    browser.show();
    PieceLoader loader(&browser, "<BR><BR><BR>");
    const auto count = [&browser] {
        QVariant value;
        bool done = false;
        browser.page()->runJavaScript("document.querySelectorAll('a').length",
                                      QWebEngineScript::ApplicationWorld, [&](const QVariant &v) {
                                          value = v;
                                          done = true;
                                      });
        QUARROW_WAIT_UNTIL(done, 5000);
        return value.toInt();
    };
    ASSERT_TRUE(loader.load(path));
    EXPECT_EVENTUALLY(!loader.adding() && count() == 1500, 15000);
    QTest::qWait(300);
    QWidget *surface = browser.focusProxy() ? browser.focusProxy() : &browser;
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(12, 8));
    EXPECT_EVENTUALLY(browser.url() == site.url("/pics/p0.gif"), 10000);
    ASSERT_TRUE(browser.GoBack());
    EXPECT_EVENTUALLY(
        browser.url() == QUrl::fromLocalFile(path) && !loader.adding() && count() == 1500, 15000);
}

// Back, past a later short page, to a long page's first piece: the view shows
// the file as it is now, whole, never an old page's first piece alone.
TEST_F(ViewsInPieces, BackPastAShortPageToAFirstPieceShowsTheFileWhole)
{
    site.server().setRoute("/many.html", manyPictures("p", 700));
    site.server().setRoute("/short.html", manyPictures("s", 2));
    open("/many.html");
    EXPECT_EVENTUALLY(wholePageShown(700), 15000);
    view(2)->Navigate(site.url("/pics/p1.gif"));
    ASSERT_TRUE(waitForUrl(2, site.url("/pics/p1.gif")));
    open("/short.html");
    const QString file = QUrl::fromLocalFile(programFile("imagepage.html")).toString();
    ASSERT_TRUE(waitForUrl(2, file));
    EXPECT_EVENTUALLY(wholePageShown(2), 15000);
    ASSERT_TRUE(view(2)->GoBack());
    ASSERT_TRUE(waitForUrl(2, site.url("/pics/p1.gif")));
    ASSERT_TRUE(view(2)->GoBack());
    EXPECT_TRUE(waitForUrl(2, file));
    // The file now holds the short page's two pictures.
    QTest::qWait(500);
    EXPECT_EVENTUALLY(wholePageShown(2), 15000);
    EXPECT_EQ(shownAddresses(), form->results().Links[1]);
}

} // namespace
