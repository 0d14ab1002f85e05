#include "tests/shell/MainWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/DesktopEntry.h"
#include "platform/ProgressBar.h"
#include "platform/Registry.h"
#include "platform/RichText.h"
#include "platform/RichTextBox.h"
#include "platform/StatusBar.h"
#include "platform/TabStrip.h"
#include "platform/WebBrowser.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UrlCatcher.h"
#include "tests/support/WindowKeys.h"
#include "windows/Branding.h"
#include "windows/ToolsMenu.h"
#include "windows/frmWebsite.h"

#include <QAbstractButton>
#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <gmock/gmock.h>

namespace {

using testsupport::UrlCatcher;

// The Tools menu's two entries: Internet Explorer's Tools menu on Windows,
// the desktop's application menu elsewhere.
#ifdef Q_OS_WIN
const QString AddEntry = "Add program to IE Tools Menu";
const QString RemoveEntry = "Remove Program from IE Tools Menu";
#else
const QString AddEntry = "Add Quarrow to the Applications Menu";
const QString RemoveEntry = "Remove Quarrow from the Applications Menu";
#endif

class MainWindowCommands : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        Registry::setHiveFolder(folder.path() + "/registry");
        // The desktop entry the Tools menu writes off Windows lands here.
        savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(folder.path() + "/data"));
        // A website window left by a test before is gone, and the next one
        // need not be waited out for a second.
        QUARROW_WAIT_UNTIL(!frmWebsite::loaded(), 5000);
        ASSERT_FALSE(frmWebsite::loaded());
        frmWebsite::setUnloadDelay(100);
        loadWindow();
    }
    void TearDown() override
    {
        frmWebsite::setUnloadDelay(frmWebsite::defaultUnloadDelayMs);
        Registry::setHiveFolder(QString());
        qputenv("XDG_DATA_HOME", savedDataHome);
        MainWindowFixture::TearDown();
    }
    // The window has the size asked for, as far as its smallest size lets it,
    // and has laid its controls out for it: that happens when the platform
    // says the window has its new size.
    void waitForSize(const QSize &asked)
    {
        const QSize size = asked.expandedTo(form->minimumSize());
        EXPECT_EVENTUALLY(form->size() == size && form->centralWidget()->width() == size.width(),
                          5000);
    }
    QByteArray savedDataHome;
};

TEST_F(MainWindowCommands, ToolsMenuSwitchesItsEntriesWhenTheChangeIsMade)
{
    QAction *add = menuItem("Tools", AddEntry);
    QAction *remove = menuItem("Tools", RemoveEntry);
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
    menuItem("Tools", AddEntry)->trigger();
    EXPECT_TRUE(menuItem("Tools", AddEntry)->isEnabled());
    EXPECT_TRUE(menuItem("Tools", RemoveEntry)->isEnabled());
    EXPECT_EQ(statusBar()->panelText(1), ToolsMenuFailureText(true));
}

TEST_F(MainWindowCommands, ViewHelpShowsTheHelpFile)
{
    ASSERT_TRUE(QFile::copy(QUARROW_HELP_RTF, programFile("Help.rtf")));
    menuItem("Help", "View Help")->trigger();
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
    menuItem("Help", "View Help")->trigger();
    ASSERT_NE(form->helpWindow(), nullptr);
    EXPECT_TRUE(form->helpWindow()->isVisible());
    const QString text = form->helpWindow()->rtf1->toPlainText();
    EXPECT_TRUE(text.contains(programFile("Help.rtf"))) << text.toStdString();
}

TEST_F(MainWindowCommands, AboutShowsOneWindow)
{
    menuItem("About", "About this software")->trigger();
    ASSERT_NE(form->aboutWindow(), nullptr);
    EXPECT_TRUE(form->aboutWindow()->isVisible());
    EXPECT_EQ(form->aboutWindow()->windowTitle(),
              "About " + Branding::fromVersionInfo().productName);
    frmAbout *first = form->aboutWindow();
    form->action(Command::About)->trigger();
    EXPECT_EQ(form->aboutWindow(), first);
    // Its website's link is the Website command.
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    QSignalSpy website(form->action(Command::Website), &QAction::triggered);
    emit first->lblWebsite->linkActivated(first->lblWebsite->text());
    EXPECT_EQ(website.count(), 1);
    EXPECT_EQ(catcher.urls.size(), 1);
    QDesktopServices::unsetUrlHandler("http");
}

TEST_F(MainWindowCommands, WebsiteOpensOnceAWhileItsWindowIsLoaded)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    button("cmdWebsite")->click();
    menuItem("View", Branding::fromVersionInfo().website)->trigger();
    form->action(Command::Website)->trigger();
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls.first(), QUrl("http://" + Branding::fromVersionInfo().website));
    // Once the window has gone, the command opens the site again.
    EXPECT_EVENTUALLY(!frmWebsite::loaded(), 5000);
    menuItem("View", Branding::fromVersionInfo().website)->trigger();
    EXPECT_EQ(catcher.urls.size(), 2);
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("https");
}

TEST_F(MainWindowCommands, WithoutADesktopBrowserTheWebsiteOpensInTheBrowserTab)
{
    QTemporaryDir root;
    testsupport::HttpServer server(root.path());
    server.setRoute("/site.html",
                    "<html><head><title>Our site</title></head><body>hi</body></html>");
    ASSERT_TRUE(server.start());
    Branding branding = Branding::fromVersionInfo();
    branding.website = server.urlText("/site.html");
    form = std::make_unique<Form1>(branding);
    form->show();
    ASSERT_TRUE(waitForHarvests(1));
    showView(2);

    // A desktop where nothing opens web addresses.
    const QByteArray path = qgetenv("PATH");
    const QByteArray browser = qgetenv("BROWSER");
    qputenv("PATH", "");
    qunsetenv("BROWSER");
    form->action(Command::Website)->trigger();
    qputenv("PATH", path);
    if (!browser.isEmpty())
        qputenv("BROWSER", browser);

    EXPECT_EQ(visible(), 0);
    ASSERT_TRUE(waitForUrl(0, server.urlText("/site.html")));
    EXPECT_EVENTUALLY(statusBar()->panelText(1).startsWith("No web browser of the desktop opened"),
                      10000);
    EXPECT_TRUE(server.requests().contains("/site.html"));
}

TEST_F(MainWindowCommands, ClosingEndsQuietlyAndClosesTheSideWindows)
{
    int ends = 0;
    Form1::setProgramEnd([&ends] { ++ends; });
    menuItem("Help", "View Help")->trigger();
    menuItem("About", "About this software")->trigger();
    QPointer<Form8> help = form->helpWindow();
    QPointer<frmAbout> about = form->aboutWindow();
    ASSERT_TRUE(help && about);

    const QByteArray settingsBefore =
        testsupport::readFile(testsupport::homeFolder() + "/config/Quarrow/Quarrow.conf");
    form->close();
    EXPECT_EQ(ends, 1);
    EXPECT_EVENTUALLY(help.isNull() || !help->isVisible(), 5000);
    EXPECT_EVENTUALLY(about.isNull() || !about->isVisible(), 5000);
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

    // Refresh starts a harvest at once: its page text is still on the way.
    form->action(Command::Refresh)->trigger();
    // The window waits for a harvest that is writing its files as it goes.
    form.reset();
    EXPECT_FALSE(finished);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(testsupport::readFile(programFile(it.key())), it.value())
            << it.key().toStdString();
}

TEST_F(MainWindowCommands, ControlsKeepTheirPlacesWhateverTheWindowsSize)
{
    // Where each control lies within the window.
    const auto place = [this](QWidget *widget) {
        return QRect(widget->mapTo(form.get(), QPoint(0, 0)), widget->size());
    };
    for (const QSize size : {QSize(1000, 760), QSize(1600, 1000), QSize(700, 500)}) {
        SCOPED_TRACE(QString("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        form->resize(size);
        waitForSize(size);
        const QRect client = place(form->centralWidget());
        const QRect address = place(addressBox());
        const QRect go = place(button("cmdGo"));
        const QRect tabs = place(tabStrip());
        const QRect status = place(statusBar());
        const QRect progress = place(progressBar());
        // The address box runs up to the Go button, which stays inside the window.
        EXPECT_LE(address.right(), go.left());
        EXPECT_LE(go.right(), client.right());
        // The status bar spans the bottom edge.
        EXPECT_EQ(status.bottom(), client.bottom());
        EXPECT_EQ(status.width(), client.width());
        // The progress bar lies on the status bar.
        EXPECT_GE(progress.top(), status.top());
        EXPECT_LE(progress.bottom(), status.bottom() + 1);
        for (int index : {0, 1, 2}) {
            // The three views take the same place: inside the tab strip, under
            // the address row and above the status bar.
            const QRect page = place(view(index));
            EXPECT_TRUE(tabs.contains(page)) << index;
            EXPECT_GT(page.top(), address.bottom());
            EXPECT_LT(page.bottom(), status.top());
            EXPECT_GT(page.height(), 100);
        }
    }
    // Shrunk below any sensible size, no control gets a negative size.
    form->resize(150, 100);
    waitForSize(QSize(150, 100));
    for (QWidget *widget : form->centralWidget()->findChildren<QWidget *>())
        EXPECT_TRUE(widget->width() >= 0 && widget->height() >= 0)
            << widget->objectName().toStdString();
}

} // namespace

namespace {

using ::testing::IsEmpty;
using testsupport::KeyUse;

// The keys a table of Help names. The table follows its heading; each line
// is its keys (separated by commas), a tab and what they do.
QList<QKeySequence> helpTableKeys(const QTextDocument &help, const QString &heading,
                                  QStringList *unreadable)
{
    QList<QKeySequence> keys;
    QTextBlock block = help.begin();
    while (block.isValid() && block.text() != heading)
        block = block.next();
    if (!block.isValid())
        return keys;
    for (block = block.next(); block.isValid() && block.text().contains(u'\t');
         block = block.next()) {
        for (const QString &token : block.text().section(u'\t', 0, 0).split(", ")) {
            // Written as Qt writes the keys, one key each.
            const QKeySequence key = QKeySequence::fromString(token, QKeySequence::PortableText);
            if (key.count() != 1 || key.toString(QKeySequence::PortableText) != token)
                unreadable->append(token);
            else if (!keys.contains(key))
                keys.append(key);
        }
    }
    return keys;
}

QStringList names(const QList<QKeySequence> &keys)
{
    QStringList list;
    for (const QKeySequence &key : keys)
        list << key.toString(QKeySequence::PortableText);
    return list;
}

QList<QKeySequence> without(QList<QKeySequence> keys, const QList<QKeySequence> &taken)
{
    keys.removeIf([&taken](const QKeySequence &key) { return taken.contains(key); });
    return keys;
}

// Help tells every key there is and no key that is not: its table of the
// main window's keys holds exactly the keys of the window's commands, and
// its table of the other windows' keys those of the Help, About, Page Source
// and Page Info windows.
TEST_F(MainWindowCommands, HelpNamesEveryKeyThereIsAndNoOther)
{
    QTextDocument help;
    RichText::read(testsupport::readFile(QUARROW_HELP_RTF), &help);
    QStringList unreadable;
    const QList<QKeySequence> mainTable =
        helpTableKeys(help, "Keys in the main window", &unreadable);
    const QList<QKeySequence> otherTable =
        helpTableKeys(help, "Keys in the other windows", &unreadable);
    EXPECT_THAT(unreadable, IsEmpty());
    ASSERT_GE(mainTable.size(), 20);
    ASSERT_GE(otherTable.size(), 3);

    const QList<QKeySequence> commandKeys =
        keysOfKind(testsupport::windowKeys(form.get()), KeyUse::Kind::Action);
    EXPECT_THAT(names(without(commandKeys, mainTable)), IsEmpty()) << "keys Help does not name";
    EXPECT_THAT(names(without(mainTable, commandKeys)), IsEmpty()) << "keys no command has";

    ASSERT_TRUE(waitForHarvests(1));
    for (Command command : {Command::Help, Command::About, Command::PageSource, Command::PageInfo})
        form->action(command)->trigger();
    const QList<QWidget *> others = testsupport::otherWindows(form.get());
    ASSERT_EQ(others.size(), 4);
    QList<QKeySequence> required, letters;
    for (const QWidget *window : others) {
        const QList<KeyUse> uses = testsupport::windowKeys(window);
        required +=
            keysOfKind(uses, KeyUse::Kind::Action) + keysOfKind(uses, KeyUse::Kind::Shortcut);
        letters += keysOfKind(uses, KeyUse::Kind::Mnemonic);
    }
    EXPECT_THAT(names(without(required, otherTable)), IsEmpty()) << "keys Help does not name";
    EXPECT_THAT(names(without(otherTable, required + letters)), IsEmpty()) << "keys no window has";
}

} // namespace
