#include "tests/shell/MainWindowFixture.h"

#include "harvest/WorkingFiles.h"
#include "platform/ProgramFolder.h"

#include "platform/ProgressBar.h"
#include "platform/StatusBar.h"
#include "platform/TabStrip.h"
#include "platform/Twips.h"
#include "platform/VersionInfo.h"
#include "platform/WebBrowser.h"
#include "shell/Application.h"
#include "shell/frmSplash.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"
#include "windows/Branding.h"
#include <QAbstractButton>
#include <QFile>
#include <QScreen>
#include <QTest>

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QToolButton>

namespace {

const QStringList WorkingNames = {"browser.txt",     "source.htm",           "images.htm",
                                  "checkImages.txt", "checkImagesClean.txt", "imagepage.html"};

using Startup = MainWindowFixture;

TEST_F(Startup, CreatesEveryMissingWorkingFileWithOneLineBreak)
{
    loadWindow();
    for (const QString &name : WorkingNames)
        EXPECT_EQ(testsupport::readFile(programFile(name)), QByteArray("\r\n"))
            << name.toStdString();
}

TEST_F(Startup, LeavesExistingWorkingFilesByteForByte)
{
    QHash<QString, QByteArray> before;
    for (const QString &name : WorkingNames) {
        const QByteArray content = "kept " + name.toUtf8() + "\nno CR here";
        ASSERT_TRUE(testsupport::writeFile(programFile(name), content));
        before.insert(name, content);
    }
    // Only the missing one is created.
    QFile::remove(programFile("images.htm"));
    before.remove("images.htm");

    loadWindow();
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(testsupport::readFile(programFile(it.key())), it.value())
            << it.key().toStdString();
    EXPECT_EQ(testsupport::readFile(programFile("images.htm")), QByteArray("\r\n"));
}

TEST_F(Startup, ExistingFileFoundInAnotherLetterCaseIsNotCreatedAgain)
{
    ASSERT_TRUE(testsupport::writeFile(programFile("SOURCE.HTM"), "upper"));
    loadWindow();
    EXPECT_FALSE(QFileInfo::exists(programFile("source.htm")));
    EXPECT_EQ(testsupport::readFile(programFile("SOURCE.HTM")), QByteArray("upper"));
}

TEST_F(Startup, CaptionsToolTipsAndMenus)
{
    loadWindow();
    struct ButtonCase {
        QAbstractButton *button;
        const char *caption;
        const char *toolTip;
    };
    const ButtonCase buttons[] = {
        {button("cmdBack"), "Back", "Back"},
        {button("cmdForward"), "Forward", "Forward"},
        {button("cmdStop"), "Stop", "Stop"},
        {button("cmdRefresh"), "Refresh", "Refresh"},
        {button("cmdBackDir"), "Back Directory", "back 1 directory level"},
        {button("cmdSendToBrowser"), "Send to Browser", "Send Page to Browser Tab"},
        {button("cmdGo"), "Go", "Go!"},
    };
    for (const ButtonCase &b : buttons) {
        EXPECT_EQ(b.button->text(), QString::fromUtf8(b.caption));
        EXPECT_EQ(b.button->toolTip(), QString::fromUtf8(b.toolTip));
        EXPECT_FALSE(b.button->icon().isNull()) << b.caption << " has no picture";
    }
    EXPECT_EQ(button("cmdWebsite")->text(), "Visit " + VersionInfo::current().Comments);
    EXPECT_EQ(form->findChild<QLineEdit *>("lblUrl")->text(), "URL:");
    EXPECT_TRUE(addressBox()->text().isEmpty() || addressBox()->text().startsWith("file:"));

    ASSERT_EQ(tabStrip()->tabCount(), 3);
    const char *tabs[][2] = {
        {"Browser", "Browser Identical to Internet Explorer"},
        {"Source Code", "View the Source Code of the Current Page"},
        {"Images", "Displays All Images and Links to Images on the Current Page"},
    };
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(tabStrip()->tabCaption(i + 1), tabs[i][0]);
        EXPECT_EQ(tabStrip()->tabToolTip(i + 1), tabs[i][1]);
    }

    // Each button is its command's action, and so is the command's menu item.
    const struct {
        const char *button;
        Command command;
        const char *item;
    } served[] = {
        {"cmdBack", Command::Back, "Back"},
        {"cmdForward", Command::Forward, "Forward"},
        {"cmdStop", Command::Stop, "Stop"},
        {"cmdRefresh", Command::Refresh, "Refresh"},
        {"cmdBackDir", Command::BackDirectory, "Back a Directory"},
        {"cmdSendToBrowser", Command::SendToBrowser, "Send Page to Browser Tab"},
    };
    for (const auto &item : served) {
        auto *toolButton = qobject_cast<QToolButton *>(button(item.button));
        ASSERT_NE(toolButton, nullptr) << item.button;
        EXPECT_EQ(toolButton->defaultAction(), form->action(item.command));
        EXPECT_EQ(menuItem("Go", item.item), form->action(item.command));
    }
    // Alt and a letter open each menu and pick each item: no letter is taken twice.
    const auto mnemonicOf = [](const QString &text) {
        const qsizetype at = text.indexOf(u'&');
        return at < 0 || at + 1 >= text.size() ? QChar() : text.at(at + 1).toLower();
    };
    QSet<QChar> titles;
    for (QAction *menu : form->menuBar()->actions()) {
        const QChar letter = mnemonicOf(menu->text());
        EXPECT_FALSE(letter.isNull()) << menu->text().toStdString();
        EXPECT_FALSE(titles.contains(letter)) << menu->text().toStdString();
        titles.insert(letter);
        QSet<QChar> items;
        for (QAction *item : menu->menu()->actions()) {
            const QChar itemLetter = mnemonicOf(item->text());
            if (itemLetter.isNull())
                continue;
            EXPECT_FALSE(items.contains(itemLetter)) << item->text().toStdString();
            items.insert(itemLetter);
        }
    }
    EXPECT_TRUE(form->action(Command::AddToToolsMenu)->isEnabled());
    EXPECT_TRUE(form->action(Command::RemoveFromToolsMenu)->isEnabled());
}

TEST_F(Startup, StatusBarViewsAndProgressBar)
{
    loadWindow();
    EXPECT_GE(statusBar()->panelCount(), 2);
    EXPECT_EQ(tabStrip()->SelectedItem(), 1);
    EXPECT_TRUE(view(0)->Visible());
    EXPECT_FALSE(view(1)->Visible());
    EXPECT_FALSE(view(2)->Visible());
    EXPECT_FALSE(progressBar()->isVisible());
    EXPECT_TRUE(view(0)->Silent() && view(1)->Silent() && view(2)->Silent());
}

TEST_F(Startup, HomePageLoadsInTheLiveView)
{
    loadWindow();
    ASSERT_TRUE(waitForLoad(0) || view(0)->LocationURL().endsWith("start.html"));
    EXPECT_TRUE(view(0)->LocationURL().endsWith("/start.html"))
        << view(0)->LocationURL().toStdString();
    EXPECT_EQ(evaluate(0, "document.title").toString(), "Start");
}

TEST_F(Startup, TheSplashShowsThenGivesWayToTheMaximisedMainWindow)
{
    QuarrowApplication quarrow;
    QSignalSpy shown(&quarrow, &QuarrowApplication::mainWindowShown);
    quarrow.start();
    ASSERT_NE(quarrow.splash(), nullptr);
    EXPECT_TRUE(quarrow.splash()->isVisible());
    EXPECT_EQ(quarrow.mainWindow(), nullptr);
    ASSERT_TRUE(shown.wait(10000));
    ASSERT_NE(quarrow.mainWindow(), nullptr);
    EXPECT_TRUE(quarrow.mainWindow()->isVisible());
    EXPECT_TRUE(quarrow.mainWindow()->windowState() & Qt::WindowMaximized);
    // The splash hides and stays loaded.
    EXPECT_FALSE(quarrow.splash()->isVisible());
    // The main window wears the application's branding.
    EXPECT_TRUE(quarrow.mainWindow()
                    ->findChild<QPushButton *>("cmdWebsite")
                    ->text()
                    .endsWith(quarrow.branding().website));
}

TEST_F(Startup, TheCaptionNamesTheProgramFromTheFirstFrame)
{
    form = std::make_unique<Form1>();
    const Branding branding = Branding::fromVersionInfo();
    EXPECT_EQ(form->windowTitle(), branding.productName + " by " + branding.companyName);
}

TEST_F(Startup, AtItsSmallestTheWindowShowsEveryButtonWhole)
{
    loadWindow();
    form->resize(1, 1);
    // The window takes its new size, and lays its controls out, when the
    // platform says it has it.
    EXPECT_EVENTUALLY_EQ(form->size(), form->minimumSize(), 5000);
    EXPECT_GT(form->minimumWidth(), 400);
    const QRect client = form->centralWidget()->rect();
    const auto buttons = form->centralWidget()->findChildren<QAbstractButton *>();
    ASSERT_GE(buttons.size(), 8);
    for (QAbstractButton *button : buttons) {
        if (!button->isVisibleTo(form.get()) || button->parentWidget() != form->centralWidget())
            continue;
        EXPECT_TRUE(client.contains(button->geometry())) << button->objectName().toStdString();
    }
    // The Visit button keeps at least the width it was drawn with.
    EXPECT_GE(form->findChild<QPushButton *>("cmdWebsite")->width(), Twips::toPixelsX(2235) - 1);
    EXPECT_GT(addressBox()->width(), 50);
}

TEST_F(Startup, TheWindowComesBackWhereTheUserLeftIt)
{
    Form1::setProgramEnd([] {});
    QRect left;
    {
        QuarrowApplication quarrow;
        QSignalSpy shown(&quarrow, &QuarrowApplication::mainWindowShown);
        quarrow.start();
        ASSERT_TRUE(shown.wait(10000));
        Form1 *window = quarrow.mainWindow();
        // First run: maximised, and un-maximised it fits the screen's work area.
        EXPECT_TRUE(window->windowState() & Qt::WindowMaximized);
        window->showNormal();
        EXPECT_EVENTUALLY(!(window->windowState() & Qt::WindowMaximized) &&
                              window->geometry() != window->screen()->availableGeometry(),
                          5000);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_TRUE(area.contains(window->frameGeometry())) << window->frameGeometry().y();
        window->setGeometry(120, 90, 900, 640);
        EXPECT_EVENTUALLY_EQ(window->geometry(), QRect(120, 90, 900, 640), 5000);
        left = window->geometry();
        window->close();
    }
    QuarrowApplication again;
    QSignalSpy shown(&again, &QuarrowApplication::mainWindowShown);
    again.start();
    ASSERT_TRUE(shown.wait(10000));
    // A maximised window would have the whole work area instead.
    EXPECT_EVENTUALLY_EQ(again.mainWindow()->geometry(), left, 5000);
    EXPECT_FALSE(again.mainWindow()->windowState() & Qt::WindowMaximized);
    Form1::setProgramEnd([] { QCoreApplication::exit(0); });
}

TEST_F(Startup, UnwritableProgramFolderKeepsWorkingFilesPerUser)
{
    // Not even root can create files here, as with an installed copy.
    ProgramFolder::setPathForTesting("/proc");
    loadWindow();
    const QString working = form->workingFiles().folder();
    EXPECT_NE(working, QString("/proc"));
    EXPECT_TRUE(working.startsWith(testsupport::homeFolder())) << working.toStdString();
    for (const QString &name : WorkingNames) {
        EXPECT_EQ(testsupport::readFile(working + "/" + name), QByteArray("\r\n"));
        // The pages a user visits are nobody else's to read.
        EXPECT_EQ(QFile::permissions(working + "/" + name) &
                      (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                  QFile::Permissions())
            << name.toStdString();
    }
    EXPECT_EQ(QFile::permissions(working), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
}

} // namespace
