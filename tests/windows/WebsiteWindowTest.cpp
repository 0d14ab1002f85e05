#include "platform/VersionInfo.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UrlCatcher.h"
#include "windows/Branding.h"
#include "windows/frmWebsite.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

// Takes the addresses the program asks the system to open.
using testsupport::UrlCatcher;

namespace {

class WebsiteWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved = VersionInfo::current();
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_catcher, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_catcher, "open");
        setWebsite(QStringLiteral("www.quarrow.example"));
        // The windows need not be waited out for a second each.
        frmWebsite::setUnloadDelay(shortDelayMs);
    }
    void TearDown() override
    {
        // Let any window still loaded unload itself before the next test.
        EXPECT_TRUE(QTest::qWaitFor([] { return frmWebsite::loaded() == nullptr; }, 3000));
        frmWebsite::setUnloadDelay(frmWebsite::defaultUnloadDelayMs);
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        VersionInfo::setCurrent(m_saved);
    }
    void setWebsite(const QString &website)
    {
        VersionInfo info = m_saved;
        info.Comments = website;
        VersionInfo::setCurrent(info);
    }
    // The Website command, with the website of the version information.
    bool websiteCommand() { return ShowWebsiteWindow(Branding::fromVersionInfo().website); }

    static constexpr int shortDelayMs = 50;
    UrlCatcher m_catcher;
    VersionInfo m_saved;
};

TEST(WebsiteAddress, PutsHttpInFrontOnlyWhenNeitherSchemeIsThere)
{
    const struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"www.quarrow.example", "http://www.quarrow.example"},
        {"host/page.html", "http://host/page.html"},
        {"http://host/page.html", "http://host/page.html"},
        {"https://host/page.html", "https://host/page.html"},
        {"HTTP://HOST/", "HTTP://HOST/"},
        {"Https://Host/", "Https://Host/"},
        {"see http://host/", "see http://host/"},
        {"ftp://host/", "http://ftp://host/"},
        {"", "http://"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(frmWebsite::WebsiteAddress(QString::fromLatin1(c.in)), QString::fromLatin1(c.out))
            << c.in;
}

TEST_F(WebsiteWindowTest, OpensTheWebsiteAndUnloadsAfterASecond)
{
    setWebsite(QStringLiteral("host/page.html"));
    frmWebsite::setUnloadDelay(frmWebsite::defaultUnloadDelayMs);
    QElapsedTimer clock;
    clock.start();
    websiteCommand();
    QPointer<frmWebsite> window = frmWebsite::loaded();
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->Timer1->interval(), 1000);
    EXPECT_TRUE(window->Timer1->isActive());
    ASSERT_EQ(m_catcher.urls.size(), 1);
    EXPECT_EQ(m_catcher.urls[0], QUrl(QStringLiteral("http://host/page.html")));

    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_EQ(frmWebsite::loaded(), nullptr);
}

TEST_F(WebsiteWindowTest, AnAddressWithItsSchemeIsOpenedUnchanged)
{
    setWebsite(QStringLiteral("HTTPS://secure.example/start"));
    websiteCommand();
    ASSERT_EQ(m_catcher.urls.size(), 1);
    EXPECT_EQ(m_catcher.urls[0], QUrl(QStringLiteral("HTTPS://secure.example/start")));
}

TEST_F(WebsiteWindowTest, TwiceWithinASecondOpensOnce)
{
    EXPECT_TRUE(websiteCommand());
    EXPECT_FALSE(websiteCommand());
    EXPECT_EQ(m_catcher.urls.size(), 1);

    ASSERT_TRUE(QTest::qWaitFor([] { return frmWebsite::loaded() == nullptr; }, 5000));
    websiteCommand();
    EXPECT_EQ(m_catcher.urls.size(), 2);
}

TEST_F(WebsiteWindowTest, AnEmptyWebsiteOpensTheBareScheme)
{
    // No website in the version information: the address is "http://" alone,
    // which no browser opens; nothing else is asked of the system.
    ShowWebsiteWindow(QString());
    EXPECT_TRUE(frmWebsite::loaded());
    ASSERT_LE(m_catcher.urls.size(), 1);
}

} // namespace
