#include "tests/browser/SiteWindowFixture.h"
#include "tests/support/Eventually.h"

#include "harvest/Harvest.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QLineEdit>
#include <QTest>

namespace {

class HarvestEndToEnd : public SiteWindowFixture {
protected:
    // Opens an address and waits for its harvest and for both generated views.
    void open(const QString &address)
    {
        const int before = form->harvestsDone();
        addressBox()->setText(address);
        form->action(Command::Go)->trigger();
        ASSERT_TRUE(waitForHarvests(before + 1)) << address.toStdString();
        ASSERT_TRUE(waitForGeneratedViews()) << address.toStdString();
    }

    // True once every picture of the Images view has loaded with a real size
    // (pictures load after the document itself).
    bool allPicturesLoaded(int expected)
    {
        const QString script =
            QStringLiteral("(function(){var a=Array.from(document.images);"
                           "return a.length + ':' + a.filter(function(i){return i.complete && "
                           "i.naturalWidth>0;}).length;})()");
        QString answer;
        const QString wanted = QStringLiteral("%1:%1").arg(expected);
        QUARROW_WAIT_UNTIL((answer = evaluate(2, script).toString()) == wanted, 15000);
        if (answer == wanted)
            return true;
        ADD_FAILURE() << "pictures loaded (all:good): " << answer.toStdString();
        return false;
    }

    QString file(const QString &name)
    {
        return QString::fromUtf8(testsupport::readFile(programFile(name)));
    }
};

TEST_F(HarvestEndToEnd, ALoadFillsTheListsFilesAndViews)
{
    open(site.url("/index.html"));

    EXPECT_EQ(form->results().Links[1], QStringList{site.url("/pics/a.gif")});
    EXPECT_EQ(form->results().Keys[1], QStringList{"a.gif"});
    EXPECT_EQ(form->results().Links[0], QStringList{site.url("/pics/big.jpg")});
    EXPECT_EQ(form->results().Keys[0], QStringList{"big.jpg"});

    const QString a = site.url("/pics/a.gif");
    EXPECT_EQ(file("imagepage.html"),
              "<a href='" + a + "'><img src='" + a + "'></a><BR>" + a + "<BR><BR><BR>\r\n");
    const QString source = file("source.htm");
    EXPECT_TRUE(source.contains("&lt;img src=\"pics/<a href='" + a + "'>a.gif</a>\""))
        << source.toStdString();
    EXPECT_TRUE(source.contains("pics/<a href='" + site.url("/pics/big.jpg") + "'>big.jpg</a>"));
    EXPECT_TRUE(source.endsWith("\r\n"));
    for (const char *scratch :
         {"checkImages.txt", "checkImagesClean.txt", "browser.txt", "images.htm"})
        EXPECT_EQ(testsupport::readFile(programFile(scratch)), QByteArray("\r\n")) << scratch;

    // The Source Code view reads as the markup, with the two names as links.
    ASSERT_TRUE(waitForGeneratedViews());
    EXPECT_EQ(view(1)->LocationURL(), generatedAddress(1));
    const QString text = evaluate(1, "document.body.textContent").toString();
    EXPECT_TRUE(text.contains("<img src=\"pics/a.gif\" alt=\"a\">")) << text.toStdString();
    EXPECT_TRUE(text.contains("<a href=\"pics/big.jpg\">the big picture</a>"));
    EXPECT_EQ(evaluate(1, "Array.from(document.links).map(function(l){return l.href}).join(' ')")
                  .toString(),
              a + " " + site.url("/pics/big.jpg"));
    EXPECT_EQ(evaluate(1, "document.images.length").toInt(), 0);

    // The Images view shows each picture, loaded, linking to itself.
    EXPECT_EQ(view(2)->LocationURL(), generatedAddress(2));
    EXPECT_TRUE(allPicturesLoaded(1));
    EXPECT_EQ(evaluate(2, "document.links[0].href").toString(), a);
}

TEST_F(HarvestEndToEnd, EveryPictureOfAPageInFoldersLoads)
{
    open(site.url("/dir1/page2.html"));
    EXPECT_EQ(form->results().Links[1],
              QStringList({site.url("/pics/a.gif"), site.url("/dir1/b.png")}));
    EXPECT_TRUE(allPicturesLoaded(2));
}

TEST_F(HarvestEndToEnd, ReferencesResolveAgainstTheBaseAddressAndHiddenMarkupIsNoTag)
{
    // The page lies in dir1/, its <base href> names pics/: the engine's base address
    // is what the references resolve against, not the page's folder.
    testsupport::writeFile(
        site.folder() + "/dir1/based.html",
        QByteArray("<html><head><base href=\"/pics/\"><title>Based</title></head><body>\n"
                   "<img alt=\"a picture\nover two lines\"\n     src=\"a.gif\">\n"
                   "<a\n href=\"big.jpg\">the big picture</a>\n"
                   "<!-- <img src=\"old.gif\"> -->\n"
                   "<script>var s = '<img src=\"s.gif\">';</script>\n"
                   "<noscript><img src=\"n.gif\"></noscript>\n"
                   "</body></html>\n"));
    open(site.url("/dir1/based.html?from=a/b#c/d"));

    EXPECT_EQ(form->results().Links[1], QStringList{site.url("/pics/a.gif")});
    EXPECT_EQ(form->results().Links[0], QStringList{site.url("/pics/big.jpg")});
    // The hidden markup still shows in the Source Code view.
    const QString text = evaluate(1, "document.body.textContent").toString();
    EXPECT_TRUE(text.contains("<!-- <img src=\"old.gif\"> -->")) << text.toStdString();
    EXPECT_TRUE(allPicturesLoaded(1));
}

TEST_F(HarvestEndToEnd, AJapanesePageKeepsItsCharacters)
{
    const QString name = QString::fromUtf8("写真.png");
    testsupport::writeFile(site.folder() + "/" + name, TestSite::pngBytes(5, 5));
    testsupport::writeFile(
        site.folder() + "/ja.html",
        QString::fromUtf8("<html><head><meta charset=\"utf-8\"><title>日本語</title>"
                          "</head><body>\n<p>こんにちは、世界。「引用」</p>\n"
                          "<img src=\"写真.png\" alt=\"写真\">\n</body></html>\n")
            .toUtf8());
    open(site.url("/ja.html"));

    EXPECT_EQ(form->results().Keys[1], QStringList{name});
    const QString text = evaluate(1, "document.body.textContent").toString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("こんにちは、世界。「引用」")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("alt=\"写真\"")));
    EXPECT_TRUE(file("source.htm").contains(QString::fromUtf8("こんにちは")));
    EXPECT_TRUE(allPicturesLoaded(1));
}

TEST_F(HarvestEndToEnd, MarkupAndScriptsInThePageStayText)
{
    testsupport::writeFile(
        site.folder() + "/tricky.html",
        "<html><body>\n"
        "<p>5 &lt; 6 &amp;&amp; 7 &gt; 3</p>\n"
        "<img src=\"pics/a.gif\" title=\"x&quot;><script>document.title='owned'</script>\">\n"
        "<a href=\"javascript:alert(1)//x.gif\">js</a>\n"
        "<a href=\"pics/big.jpg\" onclick=\"x()\">ok</a>\n"
        "</body></html>\n");
    open(site.url("/tricky.html"));

    // Entities read as they were written.
    const QString text = evaluate(1, "document.body.textContent").toString();
    EXPECT_TRUE(text.contains("5 &lt; 6 &amp;&amp; 7 &gt; 3")) << text.toStdString();
    // No address with another scheme is recorded; nothing runs.
    for (const QString &address : form->results().Links[0] + form->results().Links[1])
        EXPECT_FALSE(address.startsWith("javascript:", Qt::CaseInsensitive));
    EXPECT_EQ(evaluate(1, "document.scripts.length").toInt(), 0);
    EXPECT_EQ(evaluate(2, "document.scripts.length").toInt(), 0);
    EXPECT_NE(evaluate(1, "document.title").toString(), "owned");
}

TEST_F(HarvestEndToEnd, AFileThatCannotBeWrittenIsNamedAndTheViewsShowThePageAllTheSame)
{
    open(site.url("/index.html"));
    const QString before = evaluate(1, "document.body.textContent").toString();
    ASSERT_TRUE(before.contains("the big picture"));
    // A folder stands where the Images page must go.
    QFile::remove(programFile("imagepage.html"));
    ASSERT_TRUE(QDir(folder.path()).mkdir("imagepage.html"));

    const int harvests = form->harvestsDone();
    addressBox()->setText(site.url("/dir1/page2.html"));
    form->action(Command::Go)->trigger();
    ASSERT_TRUE(waitForHarvests(harvests + 1));
    const QString status = statusBar()->panelText(1);
    EXPECT_TRUE(status.contains("imagepage.html: is a folder")) << status.toStdString();
    EXPECT_TRUE(status.startsWith("Could not write " + folder.path())) << status.toStdString();
    // The views show the new page from memory; source.htm, written only as a
    // pair with the Images page, is the old one.
    ASSERT_TRUE(waitForGeneratedViews());
    EXPECT_NE(evaluate(1, "document.body.textContent").toString(), before);
    EXPECT_TRUE(evaluate(1, "document.body.textContent").toString().contains("page three"));
    EXPECT_TRUE(file("source.htm").contains("the big picture"));
}

TEST_F(HarvestEndToEnd, TheNewestPageWinsWhenPagesFollowQuickly)
{
    open(site.url("/index.html"));
    for (const char *path : {"/dir1/sub/page3.html", "/index.html", "/dir1/page2.html"}) {
        addressBox()->setText(site.url(path));
        form->action(Command::Go)->trigger();
        // Each page's load has begun, once the page answers, before the next is asked for.
        evaluate(0, "1");
    }
    EXPECT_EVENTUALLY_EQ(form->results().Links[1],
                         QStringList({site.url("/pics/a.gif"), site.url("/dir1/b.png")}), 15000);
    // A harvest's files are written before its lists reach the window: they
    // are those of the last page.
    EXPECT_TRUE(file("imagepage.html").contains(site.url("/dir1/b.png")));
}

} // namespace
