// From a picture's row of Page Info to its element in the Browser view and its
// line in the Source Code view, and from the Browser view's context menu back
// to the row: on the real engine, with pages served on 127.0.0.1.
#include "tests/shell/PictureLinksSite.h"
#include "tests/support/Eventually.h"

#include "platform/PageOutline.h"
#include "platform/PicturePlaces.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "shell/GeneratedViews.h"
#include "shell/PictureLinks.h"
#include "windows/MediaModels.h"
#include "windows/PageInfoWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QWebEnginePage>

namespace {

using PictureLinksTest = PictureLinksFixture;

// The view's CSS box of an element, read in the program's own world.
QRectF boxOf(PictureLinksFixture *test, int view, const QString &id)
{
    const QJsonObject box =
        QJsonDocument::fromJson(
            test->evaluateIn(view, QStringLiteral("JSON.stringify(document.getElementById('%1')"
                                                  ".getBoundingClientRect())")
                                       .arg(id))
                .toString()
                .toUtf8())
            .object();
    return QRectF(box.value("x").toDouble(), box.value("y").toDouble(),
                  box.value("width").toDouble(), box.value("height").toDouble());
}

TEST_F(PictureLinksTest, ShowInPageScrollsToTheElementAndOutlinesItForAMoment)
{
    openPage("/page.html");
    PictureLinks *links = form->pictureLinks();
    EXPECT_EQ(links->outlineDuration(), 2000);
    links->setOutlineDuration(300);
    const struct {
        const char *picture;
        const char *element; // the element outlined
    } cases[] = {
        {"/pics/far.png", "far"},       // an img far down the page
        {"/pics/narrow.png", "pic"},    // a picture's img, its source's variant first
        {"/pics/hero.png", "hero"},     // a background from a style sheet
        {"/pics/framed.png", "framed"}, // an img in a frame of the same site
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.picture);
        showView(2);
        QSignalSpy outlined(links, &PictureLinks::outlined);
        QSignalSpy ended(links, &PictureLinks::outlineEnded);
        ASSERT_TRUE(selectRow(c.picture));
        pageInfoButton("mediaShowInPage")->click();
        ASSERT_TRUE(outlined.count() > 0 || outlined.wait(20000));
        EXPECT_EQ(form->currentView(), View::Live);
        // The outline surrounds the element, which lies in the view.
        const QRect ring = outlined.first().first().toRect();
        const QString frame = QString::fromLatin1(c.element) == QLatin1String("framed")
                                  ? QStringLiteral("frame")
                                  : QString();
        QRectF box = boxOf(this, 0, frame.isEmpty() ? QString::fromLatin1(c.element) : frame);
        if (!frame.isEmpty()) {
            const QJsonObject inner =
                QJsonDocument::fromJson(
                    evaluateIn(0, "JSON.stringify(document.getElementById('frame')."
                                  "contentDocument.getElementById('framed')"
                                  ".getBoundingClientRect())")
                        .toString()
                        .toUtf8())
                    .object();
            box = QRectF(box.x() + 2 + inner.value("x").toDouble(),
                         box.y() + 2 + inner.value("y").toDouble(), inner.value("width").toDouble(),
                         inner.value("height").toDouble());
        }
        EXPECT_GT(box.width(), 0);
        EXPECT_NEAR(ring.x(), box.x(), 2);
        EXPECT_NEAR(ring.y(), box.y(), 2);
        EXPECT_NEAR(ring.width(), box.width(), 2);
        EXPECT_NEAR(ring.height(), box.height(), 2);
        const double height = evaluateIn(0, "innerHeight").toDouble();
        EXPECT_GE(box.top(), 0);
        EXPECT_LE(box.bottom(), height);
        EXPECT_TRUE(links->outline()->isVisible() || ended.count() > 0);
        // It goes by itself.
        ASSERT_TRUE(ended.count() > 0 || ended.wait(20000));
        EXPECT_FALSE(links->outline()->isVisible());
    }
    // Nothing of it reached the page's own scripts: no mutation, no attribute,
    // and none of the built-ins it replaced was called.
    EXPECT_EQ(evaluateIn(0, "JSON.stringify(window.seen)", QWebEngineScript::MainWorld)
                  .toString()
                  .toStdString(),
              "[]");
}

TEST_F(PictureLinksTest, TheOutlineFollowsItsElementAndGoesWithThePage)
{
    openPage("/page.html");
    PictureLinks *links = form->pictureLinks();
    links->setOutlineDuration(60000);
    QSignalSpy outlined(links, &PictureLinks::outlined);
    QSignalSpy ended(links, &PictureLinks::outlineEnded);
    ASSERT_TRUE(selectRow("/pics/far.png"));
    pageInfoButton("mediaShowInPage")->click();
    ASSERT_TRUE(outlined.count() > 0 || outlined.wait(20000));
    // The page scrolls by 100 pixels: the outline goes up with the element.
    const int before = links->outline()->surrounded().y();
    evaluateIn(0, "scrollBy(0, 100)", QWebEngineScript::MainWorld);
    EXPECT_EVENTUALLY(links->outline()->surrounded().y() == before - 100, 20000);
    // Another page: it goes.
    ASSERT_TRUE(view(0)->Navigate(server->urlText("/lines.html")));
    ASSERT_TRUE(ended.count() > 0 || ended.wait(20000));
    EXPECT_FALSE(links->outline()->isVisible());
}

TEST_F(PictureLinksTest, ShowInPageSaysWhyWhenThePageShowsNoBoxForThePicture)
{
    openPage("/page.html");
    const struct {
        const char *picture;
        const char *words;
    } cases[] = {
        {"/pics/og.png", "meta tag"},
        {"/pics/hidden.png", "img#hidden"},
        {"/pics/icon.png", "icon"},
        {"/pics/ruled.png", "No element"}, // only a rule that matches nothing
    };
    showView(2);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.picture);
        QSignalSpy said(form->pictureLinks(), &PictureLinks::said);
        QSignalSpy outlined(form->pictureLinks(), &PictureLinks::outlined);
        ASSERT_TRUE(selectRow(c.picture));
        pageInfoButton("mediaShowInPage")->click();
        ASSERT_TRUE(said.count() > 0 || said.wait(20000));
        EXPECT_TRUE(said.first().first().toString().contains(QLatin1String(c.words)))
            << said.first().first().toString().toStdString();
        EXPECT_EQ(statusBar()->panelText(1), said.first().first().toString());
        EXPECT_EQ(outlined.count(), 0);
        EXPECT_EQ(form->currentView(), View::Images);
    }
}

TEST_F(PictureLinksTest, ShowInSourceCodeMarksTheLineOfTheElement)
{
    openPage("/page.html");
    const struct {
        const char *picture;
        const char *line; // what the marked line holds
    } cases[] = {
        {"/pics/far.png", "<img id=\"far\""},
        {"/pics/narrow.png", "<img id=\"pic\""},
        {"/pics/hero.png", "<div class=\"hero\" id=\"hero\""},
        {"/pics/lazy.png", "<img id=\"lazy\""},
        {"/pics/framed.png", "<iframe id=\"frame\""}, // the frame that holds it
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.picture);
        showView(0);
        QSignalSpy marked(form->pictureLinks(), &PictureLinks::lineMarked);
        ASSERT_TRUE(selectRow(c.picture));
        pageInfoButton("mediaShowInSource")->click();
        ASSERT_TRUE(marked.count() > 0 || marked.wait(20000));
        EXPECT_EQ(form->currentView(), View::Source);
        const int line = marked.first().first().toInt();
        EXPECT_EQ(markedLine(), line);
        EXPECT_TRUE(markedText().contains(QLatin1String(c.line))) << markedText().toStdString();
        // The line is that of the harvest's own text.
        const QStringList lines = harvestedLines();
        ASSERT_GE(lines.size(), line);
        EXPECT_TRUE(lines.at(line - 1).contains(QLatin1String(c.line)));
        EXPECT_EVENTUALLY(markedLineInSight(), 20000);
    }
    // One line is marked at a time.
    EXPECT_EQ(evaluateIn(1, "document.querySelectorAll('.m').length").toInt(), 1);
}

TEST_F(PictureLinksTest, ALineFarDownALongSourceIsLaidOutAndStaysInTheMiddle)
{
    openPage("/lines.html");
    QSignalSpy marked(form->pictureLinks(), &PictureLinks::lineMarked);
    ASSERT_TRUE(selectRow("/pics/far.png"));
    pageInfoButton("mediaShowInSource")->click();
    ASSERT_TRUE(marked.count() > 0 || marked.wait(20000));
    // Many blocks before it: it lies deep in the page.
    const int line = marked.first().first().toInt();
    EXPECT_GT(line, 3000);
    EXPECT_TRUE(harvestedLines().value(line - 1).contains(QLatin1String("<img id=\"far\"")));
    EXPECT_GE(evaluateIn(1, "document.querySelectorAll('body>.b').length").toInt(), 8);
    EXPECT_TRUE(markedText().contains(QLatin1String("<img id=\"far\"")));
    // In the middle of the view once the blocks around it are laid out, and
    // still there after they have been drawn.
    EXPECT_EVENTUALLY(markedLineInMiddle(), 20000);
    for (int frame = 0; frame < 5; ++frame) {
        waitForFrame(1);
        EXPECT_TRUE(markedLineInMiddle());
    }
}

TEST_F(PictureLinksTest, ShowInSourceCodeTellsWhenThePageChangedBeforeTheElement)
{
    openPage("/page.html");
    const struct {
        const char *change;
        bool marked;
    } cases[] = {
        // Lines added after the element leave its line where it was.
        {"document.body.insertAdjacentHTML('beforeend', '<p>late</p>\\n<p>later</p>')", true},
        // Lines added before it move it: its line in the view is not known.
        {"document.getElementById('top').insertAdjacentHTML('afterend', '<p>new</p>\\n<p>new</p>')",
         false},
        // The element itself changed.
        {"document.getElementById('far').setAttribute('title', 'changed')", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.change);
        showView(0);
        evaluateIn(0, QString::fromLatin1(c.change), QWebEngineScript::MainWorld);
        QSignalSpy said(form->pictureLinks(), &PictureLinks::said);
        QSignalSpy marked(form->pictureLinks(), &PictureLinks::lineMarked);
        ASSERT_TRUE(selectRow("/pics/far.png"));
        pageInfoButton("mediaShowInSource")->click();
        ASSERT_TRUE(said.count() > 0 || said.wait(20000));
        EXPECT_EQ(marked.count(), c.marked ? 1 : 0) << said.last().first().toString().toStdString();
        if (c.marked) {
            EXPECT_TRUE(markedText().contains(QLatin1String("<img id=\"far\"")));
        } else {
            EXPECT_TRUE(said.first().first().toString().contains(QLatin1String("changed")));
            EXPECT_EQ(form->currentView(), View::Live);
        }
    }
}

TEST_F(PictureLinksTest, TheContextMenuOfAPictureSelectsItsRowOfPageInfo)
{
    qRegisterMetaType<QMenu *>();
    openPage("/page.html");
    PictureLinks *links = form->pictureLinks();
    const struct {
        const char *element;
        const char *picture;
    } cases[] = {
        {"far", "/pics/far.png"},    // an img: the engine names it
        {"hero", "/pics/hero.png"},  // a background: the page is asked
        {"pic", "/pics/narrow.png"}, // shows a variant of its row
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.element);
        // The row shown in the window is another.
        ASSERT_TRUE(selectRow("/pics/og.png"));
        showView(0);
        evaluateIn(0, QStringLiteral("document.getElementById('%1').scrollIntoView({block:"
                                     "'center'})")
                          .arg(QLatin1String(c.element)));
        const QPoint at = boxOf(this, 0, QString::fromLatin1(c.element)).center().toPoint();
        QSignalSpy filled(links, &PictureLinks::contextMenuShown);
        QTest::mouseClick(view(0)->focusProxy(), Qt::RightButton, {}, at);
        ASSERT_TRUE(filled.count() > 0 || filled.wait(20000));
        auto *menu = filled.first().first().value<QMenu *>();
        ASSERT_NE(menu, nullptr);
        QAction *entry = menu->findChild<QAction *>(QStringLiteral("showInPageInfo"));
        ASSERT_NE(entry, nullptr);
        EXPECT_TRUE(entry->isVisible());
        QSignalSpy said(links, &PictureLinks::said);
        entry->trigger();
        menu->close();
        EXPECT_EVENTUALLY(pageInfo()->selectedAddresses() ==
                              QStringList{server->urlText(QString::fromLatin1(c.picture))},
                          20000);
        // The row is in sight.
        QTableView *table = pageInfo()->mediaTable();
        EXPECT_TRUE(table->viewport()->rect().intersects(
            table->visualRect(table->selectionModel()->currentIndex())));
    }
    // Text shows no picture: the entry stays hidden.
    evaluateIn(0, "document.getElementById('top').scrollIntoView()");
    QSignalSpy filled(links, &PictureLinks::contextMenuShown);
    QTest::mouseClick(view(0)->focusProxy(), Qt::RightButton, {},
                      boxOf(this, 0, "top").topLeft().toPoint() + QPoint(4, 4));
    ASSERT_TRUE(filled.count() > 0 || filled.wait(20000));
    auto *menu = filled.first().first().value<QMenu *>();
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(menu->findChild<QAction *>(QStringLiteral("showInPageInfo"))->isVisible());
    menu->close();
}

TEST(PicturePlaces, LinesAndTheMarkupBeforeAnElement)
{
    EXPECT_EQ(PicturePlaces::lineAt(u"a\nb\r\nc\rd", 0), 1);
    EXPECT_EQ(PicturePlaces::lineAt(u"a\nb\r\nc\rd", 2), 2);
    EXPECT_EQ(PicturePlaces::lineAt(u"a\nb\r\nc\rd", 5), 3);
    EXPECT_EQ(PicturePlaces::lineAt(u"a\nb\r\nc\rd", 7), 4);

    MarkupPlace place;
    place.found = place.inBody = true;
    const QString markup = QStringLiteral("<body>\n<p>a</p>\r\n<img id=\"x\">\n</body>");
    place.before = markup.first(markup.indexOf(QLatin1String("<img")));
    place.startTag = markup.mid(place.before.size(), 256);
    EXPECT_EQ(place.lineIn(markup), 3);
    // Markup that differs before the element, or at it, tells no line.
    EXPECT_EQ(place.lineIn(QString(markup).replace(QLatin1String("<p>a"), QLatin1String("<p>b"))),
              0);
    EXPECT_EQ(place.lineIn(QString(markup).replace(QLatin1String("id="), QLatin1String("ID="))), 0);
    EXPECT_EQ(place.lineIn(place.before), 0);
    // The element in the head, or none: no line.
    place.inBody = false;
    EXPECT_EQ(place.lineIn(markup), 0);
}

} // namespace
