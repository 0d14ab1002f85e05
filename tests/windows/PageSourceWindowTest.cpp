#include "windows/PageSourceWindow.h"

#include "tests/support/HttpServer.h"
#include "tests/windows/WindowTestSupport.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A head that no engine would write by itself.
const QByteArray Head = "<head><title>Source sample</title>"
                        "<meta name=\"quarrow-marker\" content=\"head-7f3a &amp; more\">"
                        "<style>p { color: #1d2e3f; }</style></head>";
const QByteArray Page = "<!DOCTYPE html>\n<html>" + Head + "<body><p>Body text</p></body></html>\n";

// A page served over HTTP and a profile that keeps nothing on disk; the
// windows go before their profile.
class PageSourceWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        server = std::make_unique<testsupport::HttpServer>(root.path());
        server->setRoute(QStringLiteral("/page.html"), Page);
        ASSERT_TRUE(server->start());
        profile = std::make_unique<QWebEngineProfile>();
        ASSERT_TRUE(windowtests::showOwner(owner));
    }
    void TearDown() override
    {
        delete window.data();
        profile.reset();
    }

    // Opens the window on the served page and waits for the source to load.
    bool openAndLoad()
    {
        window = ShowPageSource(server->url(QStringLiteral("/page.html")), profile.get(), &owner);
        if (!window)
            return false;
        QSignalSpy loaded(window->view(), &QWebEngineView::loadFinished);
        return loaded.wait(20000) && loaded.first().first().toBool();
    }

    QString plainText()
    {
        QString text;
        bool done = false;
        window->view()->page()->toPlainText([&](const QString &result) {
            text = result;
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
        return text;
    }

    QTemporaryDir root;
    std::unique_ptr<testsupport::HttpServer> server;
    std::unique_ptr<QWebEngineProfile> profile;
    QWidget owner;
    QPointer<PageSourceWindow> window;
};

TEST_F(PageSourceWindowTest, ShowsThePageSourceAsTheServerSentIt)
{
    ASSERT_TRUE(openAndLoad());
    EXPECT_EQ(window->view()->url(),
              QUrl("view-source:" + server->urlText(QStringLiteral("/page.html"))));
    const QString text = plainText();
    // The head's bytes as sent, entities and all: the source, not the document.
    EXPECT_TRUE(text.contains(QString::fromUtf8(Head))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("<!DOCTYPE html>"))) << text.toStdString();
}

TEST_F(PageSourceWindowTest, TheCaptionNamesTheAddressAndTheViewUsesTheProfile)
{
    ASSERT_TRUE(openAndLoad());
    EXPECT_EQ(window->windowTitle(),
              QStringLiteral("Source of ") + server->urlText(QStringLiteral("/page.html")));
    EXPECT_EQ(window->address(), server->url(QStringLiteral("/page.html")));
    EXPECT_EQ(window->view()->page()->profile(), profile.get());
    EXPECT_TRUE(window->testAttribute(Qt::WA_DeleteOnClose));
}

TEST_F(PageSourceWindowTest, OpensCentredOverItsOwner)
{
    ASSERT_TRUE(openAndLoad());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(window->parentWidget(), &owner);
    EXPECT_TRUE(window->isWindow());
    const QPoint offset = windowtests::centreOffset(window, &owner);
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
}

TEST_F(PageSourceWindowTest, EscAndCtrlWCloseIt)
{
    for (const auto &keys : {std::pair(Qt::Key_Escape, Qt::KeyboardModifiers()),
                             std::pair(Qt::Key_W, Qt::KeyboardModifiers(Qt::ControlModifier))}) {
        ASSERT_TRUE(openAndLoad());
        ASSERT_TRUE(windowtests::pressIn(window, keys.first, keys.second));
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000))
            << "key " << keys.first << " left the window open";
        EXPECT_TRUE(owner.isVisible());
    }
}

TEST_F(PageSourceWindowTest, NothingOpensWithoutAnAddress)
{
    EXPECT_EQ(ShowPageSource(QUrl(), profile.get(), &owner), nullptr);
    EXPECT_EQ(ShowPageSource(QUrl(QStringLiteral("relative/page.html")), profile.get(), &owner),
              nullptr);
    EXPECT_EQ(ShowPageSource(PageSourceWindow::sourceAddress(server->url()), profile.get(), &owner),
              nullptr);
    EXPECT_EQ(ShowPageSource(server->url(), nullptr, &owner), nullptr);
}

} // namespace
