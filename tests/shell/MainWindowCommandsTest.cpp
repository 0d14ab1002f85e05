#include "tests/shell/MainWindowFixture.h"

#include "platform/DesktopEntry.h"
#include "platform/Registry.h"
#include "platform/RichTextBox.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UrlCatcher.h"
#include "windows/Branding.h"
#include "windows/ToolsMenu.h"
#include "windows/frmWebsite.h"

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QPushButton>
#include <QTest>

namespace {

using testsupport::UrlCatcher;

class MainWindowCommands : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        Registry::setHiveFolder(folder.path() + "/registry");
        // The desktop entry the Tools menu writes off Windows lands here.
        savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(folder.path() + "/data"));
        loadWindow();
    }
    void TearDown() override
    {
        Registry::setHiveFolder(QString());
        qputenv("XDG_DATA_HOME", savedDataHome);
        MainWindowFixture::TearDown();
    }
    QByteArray savedDataHome;
};

TEST_F(MainWindowCommands, ToolsMenuSwitchesItsEntriesWhenTheChangeIsMade)
{
    QAction *add = form->mnuToolsItem[0];
    QAction *remove = form->mnuToolsItem[1];
    add->trigger();
    EXPECT_FALSE(add->isEnabled());
    EXPECT_TRUE(remove->isEnabled());
#ifdef Q_OS_WIN
    EXPECT_EQ(Registry::stringValues(Registry::Root::LocalMachine, ExtensionKeyPath).size(), 8);
#else
    EXPECT_TRUE(QFile::exists(folder.path() + "/data/applications/quarrow.desktop"));
#endif
    remove->trigger();
    EXPECT_TRUE(add->isEnabled());
    EXPECT_FALSE(remove->isEnabled());
#ifdef Q_OS_WIN
    EXPECT_FALSE(Registry::keyExists(Registry::Root::LocalMachine, ExtensionKeyPath));
#else
    EXPECT_FALSE(DesktopEntry::installed());
#endif
}

TEST_F(MainWindowCommands, ToolsMenuFailureLeavesTheEntriesAndSaysSo)
{
    // The hive's folder, or the applications folder, cannot exist: a plain
    // file stands in its way.
    ASSERT_TRUE(testsupport::writeFile(folder.path() + "/plain", "x"));
    Registry::setHiveFolder(folder.path() + "/plain/registry");
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder.path() + "/plain/data"));
    form->mnuToolsItem[0]->trigger();
    EXPECT_TRUE(form->mnuToolsItem[0]->isEnabled());
    EXPECT_TRUE(form->mnuToolsItem[1]->isEnabled());
    EXPECT_EQ(form->sb1->panelText(1), ToolsMenuFailureText(true));
}

TEST_F(MainWindowCommands, ViewHelpShowsTheHelpFile)
{
    ASSERT_TRUE(QFile::copy(QUARROW_HELP_RTF, programFile("Help.rtf")));
    form->mnuHelpItem[0]->trigger();
    ASSERT_NE(form->helpWindow(), nullptr);
    EXPECT_TRUE(form->helpWindow()->isVisible());
    EXPECT_EQ(form->helpWindow()->windowTitle(), "Readme/Help");
    EXPECT_TRUE(form->helpWindow()->rtf1->toPlainText().contains("Source Code"));
    // A second View Help shows the same window.
    Form8 *first = form->helpWindow();
    form->action(Command::Help)->trigger();
    EXPECT_EQ(form->helpWindow(), first);
}

TEST_F(MainWindowCommands, ViewHelpWithoutTheHelpFileSaysWhereItLooked)
{
    form->mnuHelpItem[0]->trigger();
    ASSERT_NE(form->helpWindow(), nullptr);
    EXPECT_TRUE(form->helpWindow()->isVisible());
    const QString text = form->helpWindow()->rtf1->toPlainText();
    EXPECT_TRUE(text.contains(programFile("Help.rtf"))) << text.toStdString();
}

TEST_F(MainWindowCommands, AboutShowsOneWindow)
{
    form->mnuAboutItem[0]->trigger();
    ASSERT_NE(form->aboutWindow(), nullptr);
    EXPECT_TRUE(form->aboutWindow()->isVisible());
    EXPECT_EQ(form->aboutWindow()->windowTitle(),
              "About " + Branding::fromVersionInfo().productName);
    frmAbout *first = form->aboutWindow();
    form->action(Command::About)->trigger();
    EXPECT_EQ(form->aboutWindow(), first);
}

TEST_F(MainWindowCommands, WebsiteOpensOnceAWhileItsWindowIsLoaded)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    form->cmdWebsite->click();
    form->mnuViewItem[3]->trigger();
    form->action(Command::Website)->trigger();
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls.first(), QUrl("http://" + Branding::fromVersionInfo().website));
    // Once the window has gone, the command opens the site again.
    QTRY_VERIFY_WITH_TIMEOUT(!frmWebsite::loaded(), 5000);
    form->mnuViewItem[3]->trigger();
    EXPECT_EQ(catcher.urls.size(), 2);
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("https");
}

TEST_F(MainWindowCommands, ClosingEndsQuietlyAndClosesTheSideWindows)
{
    int ends = 0;
    Form1::setProgramEnd([&ends] { ++ends; });
    form->mnuHelpItem[0]->trigger();
    form->mnuAboutItem[0]->trigger();
    QPointer<Form8> help = form->helpWindow();
    QPointer<frmAbout> about = form->aboutWindow();
    ASSERT_TRUE(help && about);

    const QByteArray settingsBefore =
        testsupport::readFile(testsupport::homeFolder() + "/config/Quarrow/Quarrow.conf");
    form->close();
    EXPECT_EQ(ends, 1);
    QTest::qWait(50);
    EXPECT_TRUE(help.isNull() || !help->isVisible());
    EXPECT_TRUE(about.isNull() || !about->isVisible());
    // Nothing is written at shut-down.
    EXPECT_EQ(testsupport::readFile(testsupport::homeFolder() + "/config/Quarrow/Quarrow.conf"),
              settingsBefore);
    for (const char *name : {"source.htm", "imagepage.html", "checkImages.txt"})
        EXPECT_TRUE(QFile::exists(programFile(name)));
    Form1::setProgramEnd([] { QCoreApplication::exit(0); });
}

TEST_F(MainWindowCommands, AHarvestStillUnderWayWhenTheWindowGoesWritesNothing)
{
    ASSERT_TRUE(waitForHarvests(1));
    QHash<QString, QByteArray> before;
    for (const char *name : {"source.htm", "imagepage.html", "checkImages.txt"})
        before.insert(name, testsupport::readFile(programFile(name)));
    bool finished = false;
    QObject::connect(form.get(), &Form1::harvestFinished, [&finished] { finished = true; });

    form->startHarvest(); // its page text is still on the way
    form.reset();
    QTest::qWait(200);
    EXPECT_FALSE(finished);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(testsupport::readFile(programFile(it.key())), it.value())
            << it.key().toStdString();
}

} // namespace
