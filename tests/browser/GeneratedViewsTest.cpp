// The Source Code and Images views show each harvest's pages from memory, whole
// once their load has finished, under addresses that only the program opens.
#include "tests/browser/SiteWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/QuarrowScheme.h"
#include "platform/WebBrowser.h"
#include "shell/GeneratedViews.h"
#include "tests/support/TestSupport.h"

#include <QAbstractButton>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineHistory>
#include <QWebEnginePage>

namespace {

class GeneratedViewsTest : public SiteWindowFixture {
protected:
    // A page of `count` pictures named with `prefix`.
    static QByteArray manyPictures(const QByteArray &prefix, int count, const QByteArray &more = {})
    {
        QByteArray page = "<html><body>";
        for (int i = 0; i < count; ++i)
            page += "<img src=\"pics/" + prefix + QByteArray::number(i) + ".gif\">\n";
        return page + more + "</body></html>";
    }

    void open(const QString &path)
    {
        const int before = form->harvestsDone();
        ASSERT_TRUE(view(0)->Navigate(site.url(path)));
        ASSERT_TRUE(waitForHarvests(before + 1)) << path.toStdString();
        ASSERT_TRUE(waitForGeneratedViews());
    }

    // Opens `first`, and `next` as soon as the first one's harvest is in,
    // while the views still load it; returns once both are harvested and
    // the views show the second.
    void openWhileTheViewsLoad(const QString &first, const QString &next)
    {
        QObject::connect(form.get(), &Form1::harvestFinished, form.get(),
                         [this, first, next, asked = false]() mutable {
                             if (!asked && view(0)->url().path() == first) {
                                 asked = true;
                                 view(0)->Navigate(site.url(next));
                             }
                         });
        const int before = form->harvestsDone();
        ASSERT_TRUE(view(0)->Navigate(site.url(first)));
        ASSERT_TRUE(waitForHarvests(before + 2));
        ASSERT_TRUE(waitForGeneratedViews());
    }

    // The addresses the Images view links to, in order.
    QStringList shownAddresses()
    {
        return evaluate(2, "Array.from(document.querySelectorAll('a[href]'), a => a.href)")
            .toStringList();
    }
};

TEST_F(GeneratedViewsTest, ALongPageIsWholeOnceItsLoadHasFinished)
{
    QStringList said;
    QObject::connect(view(2), &WebBrowser::StatusTextChange,
                     [&said](int, const QString &text) { said << text; });
    site.server().setRoute("/many.html", manyPictures("p", 1200, "<p>the very end</p>"));
    open("/many.html");
    // No waiting beyond the load: the whole page is there.
    EXPECT_EQ(evaluate(2, "document.images.length").toInt(), 1200);
    EXPECT_EQ(shownAddresses(), form->results().Links[1]);
    EXPECT_TRUE(evaluate(1, "document.body.textContent.indexOf('the very end') > 0").toBool());
    EXPECT_EQ(evaluate(1, "location.href").toString(), generatedAddress(1));
    // The views' own loads come from memory and are not worth a word.
    for (const QString &text : said)
        EXPECT_FALSE(text.contains("quarrow:")) << text.toStdString();
}

TEST_F(GeneratedViewsTest, ANewerPageReplacesTheOneStillComingIn)
{
    site.server().setRoute("/first.html", manyPictures("old", 1000));
    site.server().setRoute("/second.html", manyPictures("new", 300));
    ASSERT_NO_FATAL_FAILURE(openWhileTheViewsLoad("/first.html", "/second.html"));
    EXPECT_EQ(view(0)->url().path(), "/second.html");
    EXPECT_EQ(evaluate(2, "document.images.length").toInt(), 300);
    EXPECT_EQ(shownAddresses(), form->results().Links[1]);
    EXPECT_FALSE(evaluate(2, "document.body.innerHTML.indexOf('old') >= 0").toBool());
}

// The Images view's page for a harvest replaced while it still came in: its
// own pictures wait for its load, so that one that never comes does not hold
// it (nor the Stop button, nor the progress bar).
TEST_F(GeneratedViewsTest, APageReplacedWhileComingInLeavesTheNextOnesPicturesForLater)
{
    site.server().setRoute("/first.html", manyPictures("old", 1500));
    site.server().holdRoute("/pics/never.gif");
    site.server().setRoute("/held.html", "<html><body><div style=\"height:20000px\"></div>"
                                         "<img loading=\"lazy\" src=\"pics/never.gif\">"
                                         "</body></html>");
    ASSERT_NO_FATAL_FAILURE(openWhileTheViewsLoad("/first.html", "/held.html"));
    EXPECT_EVENTUALLY(site.server().requests().contains("/pics/never.gif"), 10000);
    EXPECT_FALSE(view(2)->Busy());
}

// The user follows a picture's link in the Source Code view, then presses Back.
TEST_F(GeneratedViewsTest, BackFromALinkFollowedInTheSourceViewShowsThePageWhole)
{
    site.server().setRoute("/many.html", manyPictures("p", 700));
    open("/many.html");
    const QString address = generatedAddress(1);
    const int links = evaluate(1, "document.querySelectorAll('a').length").toInt();
    ASSERT_GT(links, 600);
    showView(1);
    // A real click, as the user makes it, on the first link in sight, once
    // the view has been laid out where it shows.
    EXPECT_EVENTUALLY(
        evaluate(1, "document.querySelector('a').getBoundingClientRect().height").toDouble() > 0,
        10000);
    // A busy machine may take the first click before the view takes input:
    // clicked again until the view goes.
    const auto click = [this] {
        const QVariantList box =
            evaluate(1, "var r = document.querySelector('a').getBoundingClientRect();"
                        "[r.left + r.width / 2, r.top + r.height / 2]")
                .toList();
        if (box.size() != 2)
            return;
        const QPoint at(qRound(box[0].toDouble() * view(1)->zoomFactor()),
                        qRound(box[1].toDouble() * view(1)->zoomFactor()));
        QWidget *surface = view(1)->focusProxy() ? view(1)->focusProxy() : view(1);
        QTest::mouseClick(surface, Qt::LeftButton, {}, at);
    };
    QUARROW_WAIT_UNTIL((view(1)->LocationURL() == site.url("/pics/p0.gif") ||
                        (click(), waitForUrl(1, site.url("/pics/p0.gif"), 2000))),
                       30000);
    ASSERT_TRUE(waitForUrl(1, site.url("/pics/p0.gif")));
    // The picture's own load ends before Back is pressed.
    EXPECT_EVENTUALLY(!view(1)->Busy(), 15000);
    ASSERT_TRUE(button("cmdBack")->isEnabled());
    button("cmdBack")->click();
    EXPECT_EVENTUALLY(view(1)->LocationURL() == address && !view(1)->Busy(), 15000);
    EXPECT_EQ(evaluate(1, "document.querySelectorAll('a').length").toInt(), links);
}

// Back in a generated view to a harvest that is no longer kept says so,
// instead of showing a page that no longer belongs to the Browser tab.
TEST_F(GeneratedViewsTest, BackToAnEarlierHarvestSaysThatItIsOutOfDate)
{
    site.server().setRoute("/one.html", manyPictures("one", 3));
    site.server().setRoute("/two.html", manyPictures("two", 2));
    open("/one.html");
    const QString earlier = generatedAddress(2);
    open("/two.html");
    ASSERT_TRUE(view(2)->history()->canGoBack());
    QSignalSpy loaded(view(2), &QWebEngineView::loadFinished);
    ASSERT_TRUE(view(2)->GoBack());
    ASSERT_TRUE(loaded.wait(15000));
    EXPECT_EQ(view(2)->LocationURL(), earlier);
    // A busy machine may still deliver the last harvest's own load first.
    EXPECT_EVENTUALLY(evaluate(2, "document.body.textContent.indexOf('out of date') >= 0").toBool(),
                      15000);
    EXPECT_EQ(evaluate(2, "document.images.length").toInt(), 0);
    // And it stays there: Back is not undone by the view going on to the
    // current harvest's page, which it was sent to before.
    EXPECT_FALSE(view(2)->Busy());
    EXPECT_EQ(view(2)->LocationURL(), earlier);
}

// Picture addresses that try to leave their attribute or the block they are
// in stay text in both views.
TEST_F(GeneratedViewsTest, HostileAddressesStayText)
{
    const QByteArray hostile = "<img src=\"x'><img src=/ran1 onerror=document.title='ran'>.gif\">"
                               "<img src=\"y</div><script>document.title='ran'</script>.gif\">"
                               "<img src=\"z<BR><BR><BR></div><img src=/ran2>.gif\">"
                               "<img src=\"/sentinel.gif\">";
    site.server().setRoute("/hostile.html", manyPictures("p", 500, hostile));
    open("/hostile.html");
    const int pictures = form->results().Links[1].size();
    ASSERT_GE(pictures, 500);
    EXPECT_EQ(evaluate(2, "document.images.length").toInt(), pictures);
    // The last picture is asked for once the Images view fetches its pictures.
    EXPECT_EVENTUALLY(site.server().requests().contains("/sentinel.gif"), 15000);
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

// A web page cannot reach the program's own pages: not as a frame, a picture,
// a fetch or the page it goes to.
TEST_F(GeneratedViewsTest, OnlyTheProgramOpensItsOwnPages)
{
    site.server().setRoute("/secret.html", "<html><body><p>secret words</p></body></html>");
    open("/secret.html");
    const QString source = generatedAddress(1);
    QSignalSpy refused(form->generatedViews()->scheme(), &QuarrowScheme::refused);
    site.server().setRoute(
        "/reach.html", ("<html><body><iframe id=f src='" + source + "'></iframe><img id=i src='" +
                        source + "'><a id=go href='" + source +
                        "'>go</a><script>"
                        "fetch('" +
                        source +
                        "').then(r => r.text()).then(t => fetch('/leak?' + encodeURIComponent(t)),"
                        " () => fetch('/fetch-failed'));"
                        "</script></body></html>")
                           .toUtf8());
    const int before = form->harvestsDone();
    ASSERT_TRUE(view(0)->Navigate(site.url("/reach.html")));
    ASSERT_TRUE(waitForHarvests(before + 1));
    EXPECT_EVENTUALLY(site.server().requests().contains("/fetch-failed"), 15000);
    // The page's own link, followed as a click would follow it.
    QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
    evaluate(0, "document.getElementById('go').click()");
    ASSERT_TRUE(loaded.wait(15000));
    EXPECT_FALSE(evaluate(0, "document.body ? document.body.textContent : ''")
                     .toString()
                     .contains("secret words"));
    EXPECT_FALSE(refused.isEmpty());
    for (const QString &request : site.server().requests())
        EXPECT_FALSE(request.startsWith("/leak")) << request.toStdString();
}

} // namespace
