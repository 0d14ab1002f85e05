// The harvest's pages never run script, in whichever view they show.
#include "tests/browser/SiteWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/WebBrowser.h"
#include "tests/support/TestSupport.h"

#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineSettings>

#include <functional>

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

    // Runs `step` and waits for the live view's load that it starts.
    bool loadBy(const std::function<void()> &step, int timeoutMs = 15000)
    {
        QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
        step();
        return loaded.wait(timeoutMs);
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

TEST_F(GeneratedPages, SendToBrowserOpensTheViewsOwnPageWithoutScripts)
{
    ASSERT_TRUE(waitForGeneratedViews());
    for (int index : {1, 2}) {
        SCOPED_TRACE(index);
        const QString address = generatedAddress(index);
        const QString text = evaluate(index, "document.body.innerHTML").toString();
        showView(index);
        const int before = form->harvestsDone();
        ASSERT_TRUE(loadBy([this] { form->action(Command::SendToBrowser)->trigger(); }));
        EXPECT_EQ(view(0)->LocationURL(), address);
        EXPECT_FALSE(
            view(0)->page()->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled));
        EXPECT_EQ(evaluate(0, "document.body.innerHTML").toString(), text);
        // The page stays served while the Browser tab shows it, whatever
        // harvests come after: its own harvest among them.
        ASSERT_TRUE(waitForHarvests(before + 1));
        ASSERT_TRUE(loadBy([this] { view(0)->Refresh(); }));
        EXPECT_EQ(evaluate(0, "document.body.innerHTML").toString(), text);
        ASSERT_TRUE(waitForHarvests(before + 2));
        ASSERT_TRUE(waitForGeneratedViews());
    }
}

TEST_F(GeneratedPages, RefreshBackAndForwardNeverRunTheirScripts)
{
    // Each step's load and then its own harvest, which rewrites the working
    // files: the file is made to give itself away only after that.
    const auto step = [this](const std::function<void()> &go) {
        const int before = form->harvestsDone();
        const bool loaded = loadBy(go);
        return loaded && waitForHarvests(before + 1);
    };
    const QString source = url("source.htm");
    site.server().setRoute("/scripted.html",
                           "<html><head><title>Scripted</title></head><body>"
                           "<script>document.body.setAttribute('data-ran', 'yes');</script>"
                           "</body></html>");
    const QString marked = "marker quiet generated";
    const struct {
        const char *what;
        std::function<void()> go;
        QString address;
    } steps[] = {
        {"open", [this] { view(0)->Navigate2(programFile("source.htm")); }, source},
        {"refresh", [this] { view(0)->Refresh(); }, source},
        {"away", [this] { view(0)->Navigate(site.url("/scripted.html")); },
         site.url("/scripted.html")},
        {"back", [this] { form->action(Command::Back)->trigger(); }, source},
        {"forward", [this] { form->action(Command::Forward)->trigger(); },
         site.url("/scripted.html")},
        {"back again", [this] { form->action(Command::Back)->trigger(); }, source},
        {"back to the start page", [this] { form->action(Command::Back)->trigger(); },
         QUrl::fromLocalFile(WebBrowser::homePagePath()).toString()},
        {"forward onto the file", [this] { form->action(Command::Forward)->trigger(); }, source},
        {"the Go menu's Refresh", [this] { form->action(Command::Refresh)->trigger(); }, source},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.what);
        writeScriptedWorkingFile("source.htm");
        ASSERT_TRUE(step(s.go));
        ASSERT_EQ(view(0)->LocationURL(), s.address);
        // The Go menu's Refresh harvests at once too, which may rewrite the
        // file before the reload reads it: what matters is that nothing runs.
        if (s.address == source && QByteArray(s.what) == "the Go menu's Refresh")
            EXPECT_NE(liveState().section(' ', 1, 1), "yes");
        else if (s.address == source)
            EXPECT_EQ(liveState(), marked);
        else if (s.address.endsWith("/scripted.html"))
            EXPECT_EVENTUALLY_EQ(liveState(), QString("other yes Scripted"), 10000);
    }
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
    QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
    writeScriptedWorkingFile("imagepage.html");
    ASSERT_TRUE(loaded.wait(15000));
    ASSERT_EQ(view(0)->LocationURL(), url("imagepage.html"));
    EXPECT_EQ(liveState().toStdString(), "marker quiet generated");

    // An ordinary page afterwards runs its scripts again.
    site.server().setRoute("/after.html", "<html><head><title>After</title></head><body>"
                                          "<script>document.body.setAttribute('data-ran', "
                                          "'yes');</script></body></html>");
    ASSERT_TRUE(loadBy([this] { view(0)->Navigate(site.url("/after.html")); }));
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
    ASSERT_TRUE(waitForGeneratedViews());
    // No element of the page's making: no handler, no picture, no script or
    // frame, and the one anchor that links the picture.
    const QString made =
        "Array.from(document.querySelectorAll('*')).filter(function(e){"
        "return Array.from(e.attributes).some(function(a){return /^on/i.test(a.name);}) ||"
        " /^(img|script|iframe|object|embed|form|input|button)$/.test(e.localName);}).length";
    EXPECT_EQ(evaluate(1, made).toInt(), 0);
    EXPECT_EQ(evaluate(1, "document.links.length").toInt(), 1);
    EXPECT_EQ(evaluate(1, "document.characterSet").toString().toStdString(), "UTF-8");

    showView(1);
    ASSERT_TRUE(loadBy([this] { form->action(Command::SendToBrowser)->trigger(); }));
    ASSERT_EQ(view(0)->LocationURL(), view(1)->LocationURL());
    EXPECT_EQ(evaluate(0, made).toInt(), 0);
    EXPECT_EQ(evaluate(0, "document.body.getAttribute('data-ran') || 'quiet'").toString(),
              QString("quiet"));
}

} // namespace
