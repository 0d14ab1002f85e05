// The harvest's pages never run script, in whichever view they show.
#include "tests/browser/SiteWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/WebBrowser.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

class GeneratedPages : public SiteWindowFixture {
protected:
    // A working file that would give itself away if its script ran.
    void writeScriptedWorkingFile(const QString &name)
    {
        testsupport::writeFile(
            programFile(name),
            "<html><head><title>generated</title></head><body><p id=marker>working file</p>"
            "<script>document.body.setAttribute('data-ran', 'yes');"
            "document.title = 'script ran';</script>"
            "<img src=\"missing.png\" onerror=\"document.body.setAttribute('data-ran', 'yes')\">"
            "</body></html>\r\n");
    }

    bool waitForUrl(int index, const QString &url, int timeoutMs = 15000)
    {
        QElapsedTimer timer;
        timer.start();
        while ((view(index)->LocationURL() != url || view(index)->Busy()) &&
               timer.elapsed() < timeoutMs)
            QTest::qWait(20);
        return view(index)->LocationURL() == url;
    }

    // What the live view's document says about itself, read from the
    // application's own world: "marker" when it is the scripted working file,
    // then whether its script ran.
    QString liveState()
    {
        return evaluate(0, "(document.getElementById('marker') ? 'marker' : 'other') + ' ' + "
                           "(document.body.getAttribute('data-ran') || 'quiet') + ' ' + "
                           "document.title")
            .toString();
    }

    QString url(const QString &name) const
    {
        return QUrl::fromLocalFile(programFile(name)).toString();
    }
};

TEST_F(GeneratedPages, SendToBrowserNeverRunsTheirScripts)
{
    for (const auto &[index, name] :
         {std::pair{1, QString("source.htm")}, std::pair{2, QString("imagepage.html")}}) {
        SCOPED_TRACE(name.toStdString());
        writeScriptedWorkingFile(name);
        view(index)->Navigate2(programFile(name));
        ASSERT_TRUE(waitForUrl(index, url(name)));
        showView(index);
        form->action(Command::SendToBrowser)->trigger();
        // The Browser tab shows a copy, which no harvest overwrites.
        ASSERT_TRUE(waitForUrl(0, url("sent-" + name)));
        QTest::qWait(300);
        EXPECT_EQ(liveState().toStdString(), "marker quiet generated");
    }
}

TEST_F(GeneratedPages, RefreshBackAndForwardNeverRunTheirScripts)
{
    const QString source = url("source.htm");
    writeScriptedWorkingFile("source.htm");
    const int loaded = form->harvestsDone();
    ASSERT_TRUE(view(0)->Navigate2(programFile("source.htm")));
    ASSERT_TRUE(waitForUrl(0, source));
    EXPECT_EQ(liveState().toStdString(), "marker quiet generated");

    // Refresh of the view, once the load's own harvest has written its files.
    ASSERT_TRUE(waitForHarvests(loaded + 1));
    writeScriptedWorkingFile("source.htm");
    view(0)->Refresh();
    QTest::qWait(200);
    ASSERT_TRUE(waitForUrl(0, source));
    QTest::qWait(300);
    EXPECT_EQ(liveState().toStdString(), "marker quiet generated");

    // Away to a page with scripts, then Back onto the working file.
    int before = form->harvestsDone();
    site.server().setRoute("/scripted.html",
                           "<html><head><title>Scripted</title></head><body>"
                           "<script>document.body.setAttribute('data-ran', 'yes');</script>"
                           "</body></html>");
    before = form->harvestsDone();
    ASSERT_TRUE(view(0)->Navigate(site.url("/scripted.html")));
    ASSERT_TRUE(waitForUrl(0, site.url("/scripted.html")));
    ASSERT_TRUE(waitForHarvests(before + 1));
    QTest::qWait(300);
    EXPECT_EQ(liveState().toStdString(), "other yes Scripted");

    writeScriptedWorkingFile("source.htm");
    form->action(Command::Back)->trigger();
    ASSERT_TRUE(waitForUrl(0, source));
    QTest::qWait(300);
    EXPECT_EQ(liveState().toStdString(), "marker quiet generated");

    // Forward runs the scripted page's script again; Back once more.
    before = form->harvestsDone();
    form->action(Command::Forward)->trigger();
    ASSERT_TRUE(waitForUrl(0, site.url("/scripted.html")));
    EXPECT_EVENTUALLY_EQ(liveState(), QString("other yes Scripted"), 10000);
    ASSERT_TRUE(waitForHarvests(before + 1));
    QTest::qWait(300);
    writeScriptedWorkingFile("source.htm");
    form->action(Command::Back)->trigger();
    ASSERT_TRUE(waitForUrl(0, source));
    QTest::qWait(300);
    EXPECT_EQ(liveState().toStdString(), "marker quiet generated");

    // Back to the start page, then Forward onto the working file.
    before = form->harvestsDone();
    form->action(Command::Back)->trigger();
    ASSERT_TRUE(waitForUrl(0, QUrl::fromLocalFile(WebBrowser::homePagePath()).toString()));
    // The start page's own harvest rewrites the working files first.
    ASSERT_TRUE(waitForHarvests(before + 1));
    QTest::qWait(300);
    writeScriptedWorkingFile("source.htm");
    form->action(Command::Forward)->trigger();
    ASSERT_TRUE(waitForUrl(0, source));
    QTest::qWait(300);
    EXPECT_EQ(liveState().toStdString(), "marker quiet generated");

    // The Go menu's Refresh as well.
    writeScriptedWorkingFile("source.htm");
    form->action(Command::Refresh)->trigger();
    QTest::qWait(200);
    ASSERT_TRUE(waitForUrl(0, source));
    QTest::qWait(300);
    EXPECT_NE(liveState().section(' ', 1, 1).toStdString(), "yes");
}

TEST_F(GeneratedPages, AWorkingFileOpenedByALocalPageRunsNoScript)
{
    QTemporaryDir attack;
    const QString page = attack.path() + "/go.html";
    // Local pages run no script of their own, but a refresh moves them on all the same.
    testsupport::writeFile(page, ("<html><head><meta http-equiv=refresh content='2;url=" +
                                  url("imagepage.html") + "'></head><body></body></html>")
                                     .toUtf8());
    const int before = form->harvestsDone();
    ASSERT_TRUE(view(0)->Navigate2(page));
    // The local page's own harvest writes its files first; then the working file
    // is made to give itself away, before the refresh opens it.
    ASSERT_TRUE(waitForHarvests(before + 1));
    writeScriptedWorkingFile("imagepage.html");
    ASSERT_TRUE(waitForUrl(0, url("imagepage.html")));
    QTest::qWait(300);
    EXPECT_EQ(liveState().toStdString(), "marker quiet generated");

    // An ordinary page afterwards runs its scripts again.
    site.server().setRoute("/after.html", "<html><head><title>After</title></head><body>"
                                          "<script>document.body.setAttribute('data-ran', "
                                          "'yes');</script></body></html>");
    ASSERT_TRUE(view(0)->Navigate(site.url("/after.html")));
    ASSERT_TRUE(waitForUrl(0, site.url("/after.html")));
    EXPECT_EVENTUALLY_EQ(liveState(), QString("other yes After"), 10000);
}

// A web page that tries to turn its own text into markup of the Source Code page
// (an encoding shift), which "Send to Browser" would then carry into the live view.
TEST_F(GeneratedPages, AWebPageCannotInjectIntoTheSourceCodeViewNorCarryItIntoTheLiveView)
{
    QByteArray page = "<html><body><p>x <img src=\"a.gif\" alt=\"";
    page += "\x1b$B'>\x1b(B\" onclick=\"document.body.setAttribute('data-ran','yes')\" "
            "style=\"position:fixed;top:0;left:0;width:100%;height:100%\" title=\"go";
    page += "\"></p></body></html>";
    site.server().setRoute("/shift.html", page, "text/html");
    const int before = form->harvestsDone();
    ASSERT_TRUE(view(0)->Navigate(site.url("/shift.html")));
    ASSERT_TRUE(waitForHarvests(before + 1));
    ASSERT_TRUE(waitForUrl(1, url("source.htm")));
    const QString elements =
        "Array.from(document.body.querySelectorAll('*')).map(function(e){"
        "return e.localName + '[' + Array.from(e.attributes).map(function(a){return a.name;})"
        ".join(',') + ']';}).filter(function(v){return v !== 'a[href]' && v !== 'br[]';})"
        ".join(' ')";
    // Only anchors with an address and line breaks: the page's text stayed text.
    EXPECT_EQ(evaluate(1, elements).toString().toStdString(), "");
    EXPECT_EQ(evaluate(1, "document.links.length").toInt(), 1);
    EXPECT_EQ(evaluate(1, "document.characterSet").toString().toStdString(), "UTF-8");

    showView(1);
    form->action(Command::SendToBrowser)->trigger();
    ASSERT_TRUE(waitForUrl(0, url("sent-source.htm")));
    QTest::qWait(300);
    EXPECT_EQ(evaluate(0, elements).toString().toStdString(), "");
    EXPECT_EQ(evaluate(0, "document.body.getAttribute('data-ran') || 'quiet'").toString(),
              QString("quiet"));
}

} // namespace
