// Every key does one thing: no two commands of a window share a key, nor does
// one command list a key twice, with the standard keys of the desktop that Qt
// runs on. (Two actions that answer to the same key make Qt fire neither.)
#include "tests/browser/TestSite.h"
#include "tests/shell/MainWindowFixture.h"
#include "tests/support/WindowKeys.h"

#include <QAction>
#include <QGuiApplication>
#include <gmock/gmock.h>

namespace {

using ::testing::IsEmpty;
using testsupport::KeyUse;

QString nameOf(const QWidget *window)
{
    return window->objectName().isEmpty() ? QString::fromLatin1(window->metaObject()->className())
                                          : window->objectName();
}

// Under X, the run takes the platform theme of the desktop it was asked for
// (see the X test main), and with it that desktop's standard keys: one key
// that only that desktop binds so shows that it did.
TEST(StandardKeys, AreThoseOfTheDesktopThisRunAsksFor)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "only under X";
    const QString theme = qEnvironmentVariable("QUARROW_TEST_THEME", QStringLiteral("generic"));
    const auto bindings = QKeySequence::keyBindings;
    const QKeySequence ctrlR(Qt::CTRL | Qt::Key_R);
    const QKeySequence ctrlShiftN(Qt::CTRL | Qt::SHIFT | Qt::Key_N);
    if (theme == QLatin1String("kde")) {
        EXPECT_TRUE(bindings(QKeySequence::AddTab).contains(ctrlShiftN));
    } else if (theme == QLatin1String("gnome")) {
        EXPECT_TRUE(bindings(QKeySequence::Refresh).contains(ctrlR));
    } else {
        EXPECT_FALSE(bindings(QKeySequence::Refresh).contains(ctrlR));
        EXPECT_FALSE(bindings(QKeySequence::AddTab).contains(ctrlShiftN));
    }
    // X binds Back to Alt+Left on every desktop.
    EXPECT_TRUE(bindings(QKeySequence::Back).contains(QKeySequence(Qt::ALT | Qt::Key_Left)));
}

using KeyClash = MainWindowFixture;

TEST_F(KeyClash, EveryKeyOfEveryWindowDoesOneThing)
{
    TestSite site;
    ASSERT_TRUE(site.start());
    loadWindow();
    ASSERT_TRUE(waitForHarvests(1));
    ASSERT_TRUE(view(0)->Navigate(site.url("/index.html")));
    ASSERT_TRUE(waitForHarvests(2));
    // The side windows that have keys of their own.
    for (Command command : {Command::Help, Command::About, Command::PageSource, Command::PageInfo})
        form->action(command)->trigger();

    const QList<QWidget *> windows =
        QList<QWidget *>{form.get()} + testsupport::otherWindows(form.get());
    EXPECT_GE(windows.size(), 5);
    for (const QWidget *window : windows) {
        SCOPED_TRACE(nameOf(window).toStdString());
        const QList<KeyUse> uses = testsupport::windowKeys(window);
        EXPECT_FALSE(uses.isEmpty());
        EXPECT_THAT(testsupport::keyClashes(uses), IsEmpty());
        EXPECT_THAT(testsupport::menuLetterClashes(window), IsEmpty());
    }

    // What was looked at is what a user presses: the commands' keys, the
    // menus' letters.
    const QList<KeyUse> mainKeys = testsupport::windowKeys(form.get());
    const QList<QKeySequence> actionKeys = keysOfKind(mainKeys, KeyUse::Kind::Action);
    for (Command command : {Command::Back, Command::Forward, Command::Stop, Command::Help})
        for (const QKeySequence &keys : form->action(command)->shortcuts())
            EXPECT_TRUE(actionKeys.contains(keys)) << keys.toString().toStdString();
    EXPECT_TRUE(
        keysOfKind(mainKeys, KeyUse::Kind::Mnemonic).contains(QKeySequence(Qt::ALT | Qt::Key_F)));
}

} // namespace
