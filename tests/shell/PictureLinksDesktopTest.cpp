// From Page Info to the page and its source and back, on a real X server with
// a window manager: the view that shows the picture has the keys, and the
// Browser view's context menu answers a real right click.
#include "tests/shell/PictureLinksSite.h"
#include "tests/support/Eventually.h"
#include "tests/support/XDisplay.h"

#include "platform/PageOutline.h"
#include "platform/WebBrowser.h"
#include "shell/PictureLinks.h"
#include "windows/PageInfoWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

using testsupport::runOnDisplay;

class PictureLinksDesktop : public PictureLinksFixture {
protected:
    static bool keys(const QString &keys)
    {
        return QProcess::execute("xdotool", {"key", "--delay", "30", keys}) == 0;
    }
    static bool becomesActive(QWidget *window)
    {
        return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, 15000);
    }
    // A real click of the pointer at a point of a widget.
    static void click(QWidget *widget, const QPoint &at, int button)
    {
        const QPoint screen = widget->mapToGlobal(at);
        runOnDisplay("xdotool", {"mousemove", QString::number(screen.x()),
                                 QString::number(screen.y()), "click", QString::number(button)});
    }
    bool pageHasKeys(int which) const
    {
        QWidget *focus = QApplication::focusWidget();
        return focus && (focus == view(which) || view(which)->isAncestorOf(focus));
    }
};

TEST_F(PictureLinksDesktop, ShowInPageAndShowInSourceCodeGiveTheirViewTheKeys)
{
    openPage("/page.html");
    ASSERT_TRUE(becomesActive(pageInfo()));
    PictureLinks *links = form->pictureLinks();
    links->setOutlineDuration(60000);

    QSignalSpy outlined(links, &PictureLinks::outlined);
    ASSERT_TRUE(selectRow("/pics/far.png"));
    click(pageInfoButton("mediaShowInPage"), QPoint(10, 10), 1);
    ASSERT_TRUE(outlined.count() > 0 || outlined.wait(20000));
    EXPECT_TRUE(becomesActive(form.get()));
    EXPECT_EVENTUALLY(pageHasKeys(0), 10000);
    EXPECT_TRUE(links->outline()->isVisible());
    // Keys as the desktop sends them reach the page.
    ASSERT_TRUE(keys("a"));
    EXPECT_EVENTUALLY(evaluateIn(0, "keys", QWebEngineScript::MainWorld).toString().contains("a"),
                      10000);

    // Back in Page Info: the Source Code view shows the line, and has the keys.
    pageInfo()->activateWindow();
    ASSERT_TRUE(becomesActive(pageInfo()));
    QSignalSpy marked(links, &PictureLinks::lineMarked);
    click(pageInfoButton("mediaShowInSource"), QPoint(10, 10), 1);
    ASSERT_TRUE(marked.count() > 0 || marked.wait(20000));
    EXPECT_TRUE(becomesActive(form.get()));
    EXPECT_EVENTUALLY(pageHasKeys(1), 10000);
    EXPECT_EVENTUALLY(markedLineInSight(), 20000);
    const double before = evaluateIn(1, "scrollY").toDouble();
    ASSERT_TRUE(keys("Next"));
    EXPECT_EVENTUALLY(evaluateIn(1, "scrollY").toDouble() > before, 10000);
}

TEST_F(PictureLinksDesktop, ARightClickOnAPictureLeadsToItsRowOfPageInfo)
{
    qRegisterMetaType<QMenu *>();
    openPage("/page.html");
    PictureLinks *links = form->pictureLinks();
    const struct {
        const char *element;
        const char *picture;
    } cases[] = {{"far", "/pics/far.png"}, {"hero", "/pics/hero.png"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.element);
        // Page Info, a window of the main window, would stay above it: it is
        // closed, and the entry opens it again.
        pageInfo()->close();
        EXPECT_EVENTUALLY(form->pageInfoWindow() == nullptr, 10000);
        form->activateWindow();
        ASSERT_TRUE(becomesActive(form.get()));
        const QString box = evaluateIn(0, QStringLiteral("(function () {"
                                                         "const el = document.getElementById('%1');"
                                                         "el.scrollIntoView({block: 'center'});"
                                                         "const r = el.getBoundingClientRect();"
                                                         "return Math.round(r.x + 10) + ' ' + "
                                                         "Math.round(r.y + 10); })()")
                                              .arg(QLatin1String(c.element)))
                                .toString();
        const QStringList xy = box.split(' ');
        ASSERT_EQ(xy.size(), 2);
        QSignalSpy shown(links, &PictureLinks::contextMenuShown);
        click(view(0), QPoint(xy.at(0).toInt(), xy.at(1).toInt()), 3);
        ASSERT_TRUE(shown.count() > 0 || shown.wait(20000));
        auto *menu = shown.first().first().value<QMenu *>();
        ASSERT_NE(menu, nullptr);
        EXPECT_EVENTUALLY(menu->isVisible(), 10000);
        // The entry is the menu's last: Up from the top comes to it.
        ASSERT_TRUE(keys("Up"));
        ASSERT_TRUE(keys("Return"));
        EXPECT_EVENTUALLY(pageInfo() &&
                              pageInfo()->selectedAddresses() ==
                                  QStringList{server->urlText(QString::fromLatin1(c.picture))},
                          20000);
        ASSERT_NE(pageInfo(), nullptr);
        EXPECT_TRUE(becomesActive(pageInfo()));
    }
}

} // namespace
