// The main window and its page source window on a real X server with a window
// manager: what stays above what, keys as the desktop sends them, and full
// screen and back.
#include "tests/shell/MainWindowFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/HttpServer.h"
#include "tests/support/XDisplay.h"

#include "platform/WebBrowser.h"
#include "shell/FullScreen.h"
#include "windows/FindBar.h"
#include "windows/PageSourceWindow.h"

#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

#include <memory>

namespace {

using testsupport::runOnDisplay;

const QByteArray Page = "<html><head><title>Plain</title></head><body>"
                        "<p>Some text with a needle-42 in it.</p></body></html>";

// A button over the whole page that asks for full screen.
const QByteArray Player = R"(<html><head><title>normal</title></head>
<body style="margin:0"><button id="full" style="width:100%;height:100vh">Full screen</button>
<script>
document.getElementById('full').onclick = function() { document.documentElement.requestFullscreen(); };
document.addEventListener('fullscreenchange', function() {
  document.title = document.fullscreenElement ? 'full' : 'normal';
});
</script></body></html>)";

class DesktopWindows : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        server = std::make_unique<testsupport::HttpServer>(folder.path());
        server->setRoute("/page.html", Page);
        server->setRoute("/player.html", Player);
        ASSERT_TRUE(server->start());
        loadWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_TRUE(waitForLoad(0));
    }

    void open(const QString &path)
    {
        view(0)->Navigate(server->urlText(path));
        ASSERT_TRUE(waitForUrl(0, server->urlText(path)));
        EXPECT_EVENTUALLY(!view(0)->Busy(), 20000);
    }

    // Keys as the X server sends them to the window that has the focus.
    static bool keys(const QString &keys)
    {
        return QProcess::execute("xdotool", {"key", "--delay", "30", keys}) == 0;
    }

    // Waits until the window manager has made `window` the active window.
    static bool becomesActive(QWidget *window)
    {
        return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, 15000);
    }

    // True when `upper` lies above `lower` in the window manager's stacking.
    static bool stackedAbove(QWidget *upper, QWidget *lower)
    {
        const QList<quint64> order = testsupport::stackingOrder();
        const qsizetype up = order.indexOf(upper->winId());
        const qsizetype low = order.indexOf(lower->winId());
        return up >= 0 && low >= 0 && up > low;
    }

    std::unique_ptr<testsupport::HttpServer> server;
};

TEST_F(DesktopWindows, ThePageSourceWindowStaysAboveTheMainWindow)
{
    open("/page.html");
    ASSERT_TRUE(becomesActive(form.get()));
    ASSERT_TRUE(keys("ctrl+u"));
    PageSourceWindow *source = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto windows = form->findChildren<PageSourceWindow *>();
            source = windows.isEmpty() ? nullptr : windows.first();
            return source != nullptr;
        },
        15000));
    ASSERT_TRUE(becomesActive(source));
    // It belongs to the main window in the window manager's eyes.
    EXPECT_EQ(testsupport::transientFor(source->winId()), form->winId());
    EXPECT_EVENTUALLY(stackedAbove(source, form.get()), 10000);

    // A click on the main window's title bar: the main window is active, and
    // the source window is still over it.
    const QRect frame = form->frameGeometry();
    const int titleY = frame.top() + (form->geometry().top() - frame.top()) / 2;
    ASSERT_FALSE(source->frameGeometry().contains(frame.left() + 60, titleY));
    runOnDisplay("xdotool", {"mousemove", QString::number(frame.left() + 60),
                             QString::number(titleY), "click", "1"});
    ASSERT_TRUE(becomesActive(form.get()));
    EXPECT_TRUE(source->isVisible());
    EXPECT_TRUE(stackedAbove(source, form.get()));
}

TEST_F(DesktopWindows, ThePageSourceWindowFindsWithTheDesktopsKeys)
{
    open("/page.html");
    ASSERT_TRUE(becomesActive(form.get()));
    PageSourceWindow *source =
        ShowPageSource(view(0)->url(), view(0)->page()->profile(), form.get());
    ASSERT_NE(source, nullptr);
    QPointer<PageSourceWindow> alive(source);
    QSignalSpy loaded(source->view(), &QWebEngineView::loadFinished);
    ASSERT_TRUE(loaded.wait(20000));
    ASSERT_TRUE(becomesActive(source));

    ASSERT_TRUE(keys("ctrl+f"));
    FindBar *bar = source->findBar();
    EXPECT_EVENTUALLY(bar->isVisible(), 10000);
    auto *box = bar->findChild<QLineEdit *>("findText");
    EXPECT_EVENTUALLY(box->hasFocus(), 10000);
    runOnDisplay("xdotool", {"type", "--delay", "30", "needle-42"});
    EXPECT_EVENTUALLY_EQ(bar->resultText(), QString("1 of 1"), 15000);
    ASSERT_TRUE(keys("Escape"));
    EXPECT_EVENTUALLY(!bar->isVisible(), 10000);
    EXPECT_FALSE(alive.isNull());
    ASSERT_TRUE(keys("Escape"));
    EXPECT_EVENTUALLY(alive.isNull(), 10000);
}

TEST_F(DesktopWindows, FullScreenAndBackUnderAWindowManager)
{
    open("/player.html");
    for (const bool maximised : {false, true}) {
        SCOPED_TRACE(maximised ? "maximised" : "normal");
        if (maximised) {
            form->showMaximized();
            // Maximised once the window manager has taken the borders off too: a
            // frame read before that is one the window never goes back to.
            EXPECT_EVENTUALLY(form->isMaximized() &&
                                  form->frameGeometry() == form->screen()->availableGeometry(),
                              10000);
        }
        ASSERT_TRUE(becomesActive(form.get()));
        const QRect frameBefore = form->frameGeometry();
        // The window is laid out by its outer size, and X says nothing when only
        // the window manager's borders change: the view is compared as laid out
        // for the frame of the moment.
        const auto layOut = [this] {
            QResizeEvent resize(form->size(), form->size());
            QApplication::sendEvent(form.get(), &resize);
            return view(0)->geometry();
        };
        const QRect viewBefore = layOut();
        for (int tries = 0; tries < 10 && view(0)->title() != "full"; ++tries) {
            const QPoint centre = view(0)->mapToGlobal(view(0)->rect().center());
            runOnDisplay("xdotool", {"mousemove", QString::number(centre.x()),
                                     QString::number(centre.y()), "click", "1"});
            QUARROW_WAIT_UNTIL(view(0)->title() == "full", 3000);
        }
        ASSERT_EQ(view(0)->title(), "full");
        EXPECT_EVENTUALLY(
            form->isFullScreen() && form->frameGeometry() == form->screen()->geometry(), 10000);
        EXPECT_EQ(view(0)->size(), form->screen()->geometry().size());
        EXPECT_FALSE(form->menuBar()->isVisible());

        ASSERT_TRUE(keys("Escape"));
        EXPECT_EVENTUALLY_EQ(view(0)->title(), QString("normal"), 15000);
        EXPECT_EVENTUALLY(!form->isFullScreen() && form->frameGeometry() == frameBefore, 10000);
        EXPECT_EQ(form->isMaximized(), maximised);
        EXPECT_TRUE(form->menuBar()->isVisible());
        EXPECT_EVENTUALLY_EQ(layOut(), viewBefore, 10000);
    }
}

} // namespace
