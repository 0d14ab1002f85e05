#include "windows/PageSourceWindow.h"

#include "platform/SettingsStore.h"
#include "tests/support/Eventually.h"
#include "windows/FindBar.h"

#include <QLineEdit>

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
    bool openAndLoad(const QString &productName = QString())
    {
        window = ShowPageSource(server->url(QStringLiteral("/page.html")), profile.get(), &owner,
                                productName);
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

TEST_F(PageSourceWindowTest, FindsInTheSourceWithTheMainWindowsKeys)
{
    ASSERT_TRUE(openAndLoad());
    FindBar *bar = window->findBar();
    ASSERT_FALSE(bar->isVisible());
    ASSERT_TRUE(windowtests::pressIn(window, Qt::Key_F, Qt::ControlModifier));
    ASSERT_TRUE(bar->isVisible());
    auto *box = bar->findChild<QLineEdit *>(QStringLiteral("findText"));
    ASSERT_TRUE(box->hasFocus());
    // The bar lies over the source, not on it.
    EXPECT_LE(bar->geometry().bottom(), window->view()->geometry().top());

    // The head's marker is in the source once; "p" many times.
    QTest::keyClicks(box, QStringLiteral("marker"));
    EXPECT_EVENTUALLY_EQ(bar->resultText(), QStringLiteral("1 of 1"), 15000);
    box->clear();
    QTest::keyClicks(box, QStringLiteral("p"));
    // "N of M": where the search stands, and how many there are.
    const auto standing = [bar] {
        const QStringList words = bar->resultText().split(QLatin1Char(' '));
        return words.size() == 3 ? std::pair(words[0].toInt(), words[2].toInt()) : std::pair(0, 0);
    };
    EXPECT_EVENTUALLY(standing().second > 2, 15000);
    const auto [first, count] = standing();
    QTest::keyClick(box, Qt::Key_F3);
    EXPECT_EVENTUALLY_EQ(standing().first, first % count + 1, 15000);
    QTest::keyClick(box, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EVENTUALLY_EQ(standing().first, first, 15000);

    // Esc closes the bar first, and the window only then.
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    ASSERT_FALSE(window.isNull());
    ASSERT_TRUE(windowtests::pressIn(window, Qt::Key_Escape));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
}

TEST_F(PageSourceWindowTest, KeepsItsSizeForTheNextOpeningAndRun)
{
    const QString product = QStringLiteral("QuarrowSourceSize");
    ASSERT_TRUE(openAndLoad(product));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QSize chosen(640, 430);
    EXPECT_NE(window->size(), chosen);
    window->resize(chosen);
    EXPECT_EVENTUALLY_EQ(window->size(), chosen, 5000);
    window->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    EXPECT_EQ(Settings(product).pageSourceSize(), chosen);

    // The next opening, as the next run's, reads it back.
    ASSERT_TRUE(openAndLoad(product));
    EXPECT_EQ(window->size(), chosen);
    // Still centred over the owner.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_LE(windowtests::centreOffset(window, &owner).manhattanLength(), 2);

    // A stored value that is no size is not one.
    Settings(product).setPageSourceSize(QSize());
    EXPECT_FALSE(Settings(product).pageSourceSize().isValid());
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
