// Pages meant for a new window open in the view that asked for them, under
// the origin rules of the page that asked.
#include "tests/browser/SiteWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/WebBrowser.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QHash>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QUuid>
#include <QWebEnginePage>

namespace {

class NewWindow : public SiteWindowFixture {
protected:
    QTemporaryDir attack;
};

TEST_F(NewWindow, PopupsOfLocalPagesCarryNoLocalContentOut)
{
    const QByteArray secret =
        "QUARROW-OWN-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    struct Case {
        const char *name;
        const char *open;
    };
    const Case cases[] = {
        {"script", "window.open(target);"},
        {"click", "var a = document.createElement('a'); a.href = target;"
                  "a.target = '_blank'; a.textContent = 'go'; document.body.appendChild(a);"
                  "a.click();"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString page = attack.path() + QString("/popup-%1.html").arg(c.name);
        testsupport::writeFile(
            page, "<html><head><title>hostile</title></head><body><p id=s>" + secret +
                      "</p><script>\nvar target = '" + site.url("/leak").toUtf8() +
                      "?d=' + encodeURIComponent(document.getElementById('s').textContent);\n" +
                      c.open + "\ndocument.title = 'opened';\n</script><img src='" +
                      site.url("/sentinel").toUtf8() + "'></body></html>");
        const int sentinels = site.server().requests().count("/sentinel");
        ASSERT_TRUE(view(0)->Navigate2(page));
        // A local page runs no script, so nothing opens; were it to, the popup
        // would keep the local page's rules.
        EXPECT_EVENTUALLY(view(0)->page()->title() == "opened" ||
                              view(0)->page()->title() == "hostile" ||
                              !view(0)->LocationURL().startsWith("file:"),
                          15000);
        // The picture after the script is asked for once the script has had
        // its turn; a popup it opened has then gone wherever it goes: taken in
        // by the view once its address has come (its request served), or closed.
        EXPECT_EVENTUALLY(site.server().requests().count("/sentinel") > sentinels &&
                              view(0)->pendingPopup() == nullptr && !view(0)->Busy(),
                          15000);
        EXPECT_FALSE(site.server().anyRequestContains(secret))
            << site.server().rawRequests().join("\n---\n").toStdString();
    }
}

TEST_F(NewWindow, BlankPopupsCloseSoonAndNeverMoveTheView)
{
    site.server().setRoute(
        "/opener.html",
        "<html><head><title>Opener</title></head><body><script>\n"
        "function openOne(n) {\n"
        "  var w = window.open('');\n"
        "  if (!w) return;\n"
        "  w.document.write('<p>popup ' + n + '</p><script>fetch(\"/go?n=' + n + '\")'"
        "    + '.then(function(){'"
        "    + 'try { opener.location = \"/moved-opener?n=' + n + '\"; } catch (e) {}'"
        "    + 'location.replace(\"/moved-popup?n=' + n + '\");'"
        "    + '});<' + '/script>');\n"
        "  w.document.close();\n"
        "}\n"
        "</script></body></html>");
    const QString opener = site.url("/opener.html");
    const int before = form->harvestsDone();
    ASSERT_TRUE(view(0)->Navigate(opener));
    ASSERT_TRUE(waitForHarvests(before + 1));

    WebBrowser *live = view(0);
    // Each popup moves the view and itself once the server lets it go on, which
    // it does only when every popup has gone.
    site.server().holdRoute("/go");
    live->setPopupPatience(300);
    // Each popup is timed from when it is first seen to its end.
    QHash<QWebEnginePage *, QElapsedTimer> born;
    QList<QPointer<QWebEnginePage>> seen;
    int mostPending = 0;
    qint64 longestLife = 0;
    // Goes before the counts above: no page that outlives the test reaches them.
    QObject watcher;
    const auto pending = [&] {
        int count = 0;
        for (QWebEnginePage *page : live->findChildren<QWebEnginePage *>())
            count += page != live->page();
        return count;
    };
    auto watch = [&] {
        for (QWebEnginePage *page : live->findChildren<QWebEnginePage *>()) {
            if (page == live->page() || born.contains(page))
                continue;
            born[page].start();
            seen.append(page);
            QObject::connect(page, &QObject::destroyed, &watcher, [&, page] {
                longestLife = std::max(longestLife, born[page].elapsed());
            });
        }
        mostPending = std::max(mostPending, pending());
    };
    for (int n = 0; n < 40; ++n) {
        live->page()->runJavaScript(QString("openOne(%1)").arg(n));
        // The popup asked for exists once the page answers a script asked for after.
        evaluate(0, "1");
        watch();
        // Now and then a popup is left to run out its patience; the others are
        // replaced by the next.
        if (n % 8 == 7)
            QUARROW_WAIT_UNTIL(live->pendingPopup() == nullptr, 5000);
        watch();
    }
    EXPECT_GE(seen.size(), 1);
    // Every popup goes by itself, each within its patience of a busy machine.
    QUARROW_WAIT_UNTIL(live->pendingPopup() == nullptr && pending() == 0, 20000);
    watch();
    EXPECT_LE(mostPending, 1);
    EXPECT_LE(longestLife, live->popupPatience() + 10000);
    for (const QPointer<QWebEnginePage> &page : seen)
        EXPECT_TRUE(page.isNull());
    // Had one lived on, it would move the view now; the opener's sentinel asked
    // for after it comes once the popups' answers are in.
    site.server().releaseRoute("/go");
    evaluate(0, "fetch('/go?n=last').then(function(){ new Image().src = '/sentinel'; }); 1");
    QUARROW_WAIT_UNTIL(site.server().requests().contains("/sentinel"), 15000);
    ASSERT_TRUE(site.server().requests().contains("/sentinel"));
    EXPECT_EQ(live->pendingPopup(), nullptr);
    EXPECT_EQ(live->LocationURL(), opener);
    for (const QString &path : site.server().requests())
        EXPECT_FALSE(path.startsWith("/moved")) << path.toStdString();
}

TEST_F(NewWindow, LinksForANewWindowOpenInTheBrowserViewAndAreHarvested)
{
    struct Case {
        const char *name;
        const char *open;
    };
    const Case cases[] = {
        {"link", "document.getElementById('l').click();"},
        {"script", "window.open('/dir1/page2.html');"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        site.server().setRoute("/blank.html",
                               "<html><head><title>Links</title></head><body>"
                               "<a id=l href=\"/dir1/page2.html\" target=\"_blank\">two</a>"
                               "</body></html>");
        int before = form->harvestsDone();
        ASSERT_TRUE(view(0)->Navigate(site.url("/blank.html")));
        ASSERT_TRUE(waitForHarvests(before + 1));
        ASSERT_TRUE(waitForUrl(0, site.url("/blank.html")));

        before = form->harvestsDone();
        view(0)->page()->runJavaScript(c.open);
        ASSERT_TRUE(waitForUrl(0, site.url("/dir1/page2.html")));
        EXPECT_TRUE(waitForHarvests(before + 1));
        EXPECT_EVENTUALLY(form->windowTitle().endsWith(" - Page Two"), 10000);
        EXPECT_EQ(addressBox()->text(), site.url("/dir1/page2.html"));
        // The harvest wrote the new page's source.
        EXPECT_EVENTUALLY(testsupport::readFile(programFile("source.htm")).contains("page three"),
                          10000);
        EXPECT_EQ(view(0)->pendingPopup(), nullptr);
        // The page that asked is gone, not kept hidden.
        EXPECT_EVENTUALLY_EQ(view(0)->findChildren<QWebEnginePage *>().size(), 1, 5000);
    }
}

} // namespace
