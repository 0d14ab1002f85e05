#include "platform/SkinControl.h"
#include "platform/VersionInfo.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UrlCatcher.h"
#include "tests/windows/WindowTestSupport.h"
#include "windows/Branding.h"
#include "windows/frmAbout.h"
#include "windows/frmWebsite.h"

#include <QAction>
#include <QDesktopServices>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocumentFragment>

#include <QPointer>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

class AboutWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved = VersionInfo::current();
        VersionInfo info;
        info.ProductName = QStringLiteral("Quarrow");
        info.CompanyName = QStringLiteral("Quarrow Labs");
        info.Comments = QStringLiteral("www.quarrow.example");
        info.LegalCopyright = QStringLiteral("Copyright (C) 2026 Quarrow Labs.");
        info.Major = 2;
        info.Minor = 15;
        info.Revision = 7;
        VersionInfo::setCurrent(info);
        branding = Branding::fromVersionInfo();
    }
    void TearDown() override { VersionInfo::setCurrent(m_saved); }
    VersionInfo m_saved;
    Branding branding;
    SkinControl skin;
};

TEST_F(AboutWindowTest, ShowsTheVersionInformation)
{
    frmAbout window(branding, &skin);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("About Quarrow"));
    EXPECT_EQ(window.Label1->text(), QStringLiteral("Quarrow"));
    EXPECT_EQ(window.Label2->text(), QStringLiteral("Version:"));
    EXPECT_EQ(window.lblVersion->text(), QStringLiteral("2.15.7"));
    EXPECT_EQ(window.Label3->text(), QStringLiteral("Owned By:"));
    EXPECT_EQ(window.lblCompany->text(), QStringLiteral("Quarrow Labs"));
    EXPECT_EQ(window.Label4->text(), QStringLiteral("Website:"));
    EXPECT_EQ(window.lblWebsite->text(),
              QStringLiteral("<a href=\"http://www.quarrow.example\">www.quarrow.example</a>"));
    EXPECT_TRUE(
        window.Label5->text().startsWith(QStringLiteral("Copyright (C) 2026 Quarrow Labs.")));
    EXPECT_TRUE(window.testAttribute(Qt::WA_DeleteOnClose));
}

// The window names the version as `quarrow --version` does.
TEST_F(AboutWindowTest, TheVersionIsTheOneTheCommandLineGives)
{
    VersionInfo info = VersionInfo::current();
    info.Major = 1;
    info.Minor = 0;
    info.Revision = 0;
    VersionInfo::setCurrent(info);
    frmAbout window(branding, &skin);
    EXPECT_EQ(window.lblVersion->text(), QStringLiteral("1.0.0"));
    EXPECT_EQ(VersionInfo::build().versionText(), QStringLiteral(QUARROW_VERSION));
}

TEST_F(AboutWindowTest, OkIsTheDefaultButtonAndClosesIt)
{
    QWidget owner;
    ASSERT_TRUE(windowtests::showOwner(owner));
    for (const bool byEnter : {false, true}) {
        QPointer<frmAbout> window;
        ShowAboutWindow(window, branding, &skin, &owner);
        ASSERT_TRUE(window);
        ASSERT_NE(window->cmdOK, nullptr);
        EXPECT_EQ(window->cmdOK->text(), QStringLiteral("OK"));
        EXPECT_TRUE(window->cmdOK->isDefault());
        EXPECT_TRUE(window->rect().contains(window->cmdOK->geometry()));
        if (byEnter)
            ASSERT_TRUE(windowtests::pressIn(window, Qt::Key_Return));
        else
            window->cmdOK->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000)) << byEnter;
    }
}

// The website is a link: a click on it hands the site to the desktop's web
// browser, as the Website command does; from the main window it is that
// command.
TEST_F(AboutWindowTest, TheWebsiteIsALinkToTheDesktopsBrowser)
{
    testsupport::UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    frmWebsite::setUnloadDelay(50);
    QWidget owner;
    ASSERT_TRUE(windowtests::showOwner(owner));
    QPointer<frmAbout> window;
    ShowAboutWindow(window, branding, &skin, &owner);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const auto clickLink = [&window] {
        QLabel *link = window->lblWebsite;
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(4, link->height() / 2));
    };
    clickLink();
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls.first(), QUrl("http://www.quarrow.example"));

    QAction website;
    QSignalSpy triggered(&website, &QAction::triggered);
    window->setWebsiteAction(&website);
    clickLink();
    EXPECT_EQ(triggered.count(), 1);
    EXPECT_EQ(catcher.urls.size(), 1);

    window->close();
    QUARROW_WAIT_UNTIL(!frmWebsite::loaded(), 5000);
    frmWebsite::setUnloadDelay(frmWebsite::defaultUnloadDelayMs);
    QDesktopServices::unsetUrlHandler("http");
}

TEST_F(AboutWindowTest, FontsAreVerdanaOrItsStandIn)
{
    frmAbout window(branding, &skin);
    for (const QLabel *label : {static_cast<QLabel *>(window.Label1), window.Label2,
                                static_cast<QLabel *>(window.lblVersion), window.Label5}) {
        EXPECT_EQ(label->font().families().value(0), QStringLiteral("Verdana"));
        EXPECT_TRUE(label->font().families().contains(QStringLiteral("DejaVu Sans")));
    }
}

TEST_F(AboutWindowTest, EveryTextFitsItsLabel)
{
    frmAbout window(branding, &skin);
    for (const QLabel *label : window.findChildren<QLabel *>()) {
        if (label->text().isEmpty())
            continue;
        // A link's words, not its markup.
        const QString words = label->textFormat() == Qt::RichText
                                  ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
                                  : label->text();
        const QSize needed = label->fontMetrics().size(0, words);
        EXPECT_LE(needed.width(), label->width()) << label->objectName().toStdString();
        EXPECT_LE(needed.height(), label->height()) << label->objectName().toStdString();
        EXPECT_TRUE(window.rect().contains(label->geometry())) << label->objectName().toStdString();
    }
}

TEST_F(AboutWindowTest, PlainLabelsAreMirroredIntoSkinLabels)
{
    frmAbout window(branding, &skin);
    ASSERT_FALSE(window.SkinLabel1.empty());
    EXPECT_FALSE(window.SkinLabel1[0]->isVisibleTo(&window));
    // Label2 to Label5 each gain a skin label at their place with their text.
    ASSERT_EQ(window.SkinLabel1.size(), 5u);
    const QLabel *plain[] = {window.Label2, window.Label3, window.Label4, window.Label5};
    for (int i = 0; i < 4; ++i) {
        const SkinLabel *mirror = window.SkinLabel1[static_cast<size_t>(i) + 1];
        EXPECT_EQ(mirror->text(), plain[i]->text());
        EXPECT_EQ(mirror->geometry(), plain[i]->geometry());
    }
}

TEST_F(AboutWindowTest, WithoutSkinsNothingIsMirrored)
{
    frmAbout window(branding, nullptr);
    EXPECT_EQ(window.SkinLabel1.size(), 1u);
}

TEST_F(AboutWindowTest, ASecondAboutShowsTheSameWindow)
{
    QPointer<frmAbout> window;
    frmAbout *first = ShowAboutWindow(window, branding, &skin);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(ShowAboutWindow(window, branding, &skin), first);
    first->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    frmAbout *second = ShowAboutWindow(window, branding, &skin);
    EXPECT_TRUE(second->isVisible());
    second->close();
}

TEST_F(AboutWindowTest, OpensAsTheDialogOfItsOwnerCentredOverIt)
{
    QWidget owner;
    ASSERT_TRUE(windowtests::showOwner(owner));
    QPointer<frmAbout> window;
    ShowAboutWindow(window, branding, &skin, &owner);
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    // A dialog of the owner: the window system keeps it above the owner.
    EXPECT_EQ(window->parentWidget(), &owner);
    EXPECT_EQ(window->windowType(), Qt::Dialog);
    ASSERT_NE(window->windowHandle(), nullptr);
    EXPECT_EQ(window->windowHandle()->transientParent(), owner.windowHandle());
    EXPECT_FALSE(window->isModal());
    const QPoint offset = windowtests::centreOffset(window, &owner);
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
    window->close();
}

TEST_F(AboutWindowTest, EscAndCtrlWCloseIt)
{
    QWidget owner;
    ASSERT_TRUE(windowtests::showOwner(owner));
    for (const auto &keys : {std::pair(Qt::Key_Escape, Qt::KeyboardModifiers()),
                             std::pair(Qt::Key_W, Qt::KeyboardModifiers(Qt::ControlModifier))}) {
        QPointer<frmAbout> window;
        ShowAboutWindow(window, branding, &skin, &owner);
        ASSERT_TRUE(window);
        ASSERT_TRUE(windowtests::pressIn(window, keys.first, keys.second));
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000))
            << "key " << keys.first << " left the window open";
    }
}

} // namespace
