// A page that fills the screen (a video's full-screen button).
#include "tests/shell/MainWindowFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/HttpServer.h"

#include "platform/StatusBar.h"
#include "platform/TabStrip.h"
#include "platform/WebBrowser.h"
#include "shell/FullScreen.h"

#include <QMenuBar>
#include <QScreen>
#include <QTest>

#include <memory>

namespace {

// A button over the whole page that asks for full screen (the engine wants a
// click for it); the title says whether the page is in full screen.
const QByteArray Player = R"(<html><head><title>normal</title></head>
<body style="margin:0"><button id="full" style="width:100%;height:100vh">Full screen</button>
<script>
document.getElementById('full').onclick = function() {
  document.documentElement.requestFullscreen().catch(function(e) { document.title = 'refused'; });
};
document.addEventListener('fullscreenchange', function() {
  document.title = document.fullscreenElement ? 'full' : 'normal';
});
</script></body></html>)";

class PageFullScreen : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        server = std::make_unique<testsupport::HttpServer>(folder.path());
        server->setRoute("/player.html", Player);
        ASSERT_TRUE(server->start());
        loadWindow();
        ASSERT_TRUE(waitForLoad(0));
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        view(0)->Navigate(server->urlText("/player.html"));
        ASSERT_TRUE(waitForUrl(0, server->urlText("/player.html")));
        EXPECT_EVENTUALLY(!view(0)->Busy(), 20000);
    }

    // Clicks the page's button, as a user does, until the page is in full
    // screen (a page that has just come into sight may not take the first
    // click yet).
    void clickFullScreen()
    {
        for (int tries = 0; tries < 10 && view(0)->title() != "full"; ++tries) {
            QWidget *surface = view(0)->focusProxy() ? view(0)->focusProxy() : view(0);
            QTest::mouseClick(surface, Qt::LeftButton, {}, surface->rect().center());
            QUARROW_WAIT_UNTIL(view(0)->title() == "full", 3000);
        }
    }

    std::unique_ptr<testsupport::HttpServer> server;
};

TEST_F(PageFullScreen, ThePageFillsTheScreenAndEscGivesTheWindowBack)
{
    for (const bool maximised : {false, true}) {
        SCOPED_TRACE(maximised ? "maximised" : "normal");
        if (maximised) {
            form->showMaximized();
            QUARROW_WAIT_UNTIL(
                form->frameGeometry().size() == form->screen()->availableGeometry().size(), 10000);
        }
        const Qt::WindowStates before = form->windowState();
        const QRect windowBefore = form->geometry();
        const QRect viewBefore = view(0)->geometry();
        clickFullScreen();
        EXPECT_EVENTUALLY_EQ(view(0)->title(), QString("full"), 20000);
        ASSERT_TRUE(form->fullScreen()->active());
        EXPECT_TRUE(form->isFullScreen());
        // The view alone: over the whole window, no menus.
        EXPECT_FALSE(form->menuBar()->isVisible());
        EXPECT_EVENTUALLY_EQ(view(0)->size(), form->size(), 10000);
        EXPECT_EQ(view(0)->mapTo(form.get(), QPoint(0, 0)), QPoint(0, 0));

        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form.get(),
                        Qt::Key_Escape);
        // The page is told, and the window is as it was.
        EXPECT_EVENTUALLY_EQ(view(0)->title(), QString("normal"), 20000);
        EXPECT_FALSE(form->fullScreen()->active());
        EXPECT_EQ(form->windowState(), before);
        EXPECT_EVENTUALLY_EQ(form->geometry(), windowBefore, 10000);
        EXPECT_TRUE(form->menuBar()->isVisible());
        EXPECT_TRUE(statusBar()->isVisible());
        // The view is back in the tab strip, above the status bar. (Its size
        // follows the window's frame, which this platform gives back late.)
        EXPECT_EQ(view(0)->geometry().topLeft(), viewBefore.topLeft());
        EXPECT_LE(std::abs(view(0)->width() - viewBefore.width()), 8);
        EXPECT_LT(view(0)->geometry().bottom(), statusBar()->geometry().top());
        // Esc was full screen's alone: the page was neither stopped nor left.
        EXPECT_EQ(view(0)->LocationURL(), server->urlText("/player.html"));
    }
}

TEST_F(PageFullScreen, ThePageLeavingFullScreenGivesTheWindowBack)
{
    const QRect windowBefore = form->geometry();
    clickFullScreen();
    EXPECT_EVENTUALLY(form->fullScreen()->active(), 20000);
    view(0)->page()->runJavaScript("document.exitFullscreen()");
    EXPECT_EVENTUALLY(!form->fullScreen()->active(), 20000);
    EXPECT_FALSE(form->isFullScreen());
    EXPECT_TRUE(form->menuBar()->isVisible());
    EXPECT_EVENTUALLY_EQ(form->geometry(), windowBefore, 10000);
}

TEST_F(PageFullScreen, AnotherViewOrAnotherPageEndsFullScreen)
{
    clickFullScreen();
    EXPECT_EVENTUALLY(form->fullScreen()->active(), 20000);
    showView(1);
    EXPECT_FALSE(form->fullScreen()->active());
    EXPECT_FALSE(form->isFullScreen());
    EXPECT_TRUE(tabStrip()->isVisible());
    // The page was told: it says so once it is in sight again (a hidden page
    // runs no frames).
    showView(0);
    EXPECT_EVENTUALLY_EQ(view(0)->title(), QString("normal"), 20000);

    clickFullScreen();
    EXPECT_EVENTUALLY(form->fullScreen()->active(), 20000);
    view(0)->Navigate(QUrl::fromLocalFile(programFile("start.html")).toString());
    EXPECT_EVENTUALLY(!form->fullScreen()->active(), 20000);
    EXPECT_FALSE(form->isFullScreen());
}

} // namespace
