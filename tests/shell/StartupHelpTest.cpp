// The help window at start-up, as the "Show at Startup" box asks.
#include "tests/shell/MainWindowFixture.h"

#include "platform/SettingsStore.h"
#include "shell/Application.h"

#include <QSignalSpy>

namespace {

class StartupHelp : public MainWindowFixture {
protected:
    // Starts Quarrow with the box stored as `tick` and waits for the main window.
    void startWithTick(QuarrowApplication &quarrow, int tick)
    {
        Settings(quarrow.branding().productName).setShowHelp(tick);
        QSignalSpy shown(&quarrow, &QuarrowApplication::mainWindowShown);
        quarrow.start();
        ASSERT_TRUE(shown.wait(10000));
        ASSERT_NE(quarrow.mainWindow(), nullptr);
    }
};

TEST_F(StartupHelp, ATickedBoxOpensTheHelpWindowOverTheMainWindow)
{
    QuarrowApplication quarrow;
    startWithTick(quarrow, 1);
    Form1 *main = quarrow.mainWindow();
    EXPECT_TRUE(main->isVisible());
    Form8 *help = main->helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->parentWidget(), main);
    const QPoint offset = help->frameGeometry().center() - main->frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
}

TEST_F(StartupHelp, AClearedBoxOpensNoHelpWindow)
{
    QuarrowApplication quarrow;
    startWithTick(quarrow, 0);
    EXPECT_TRUE(quarrow.mainWindow()->isVisible());
    EXPECT_EQ(quarrow.mainWindow()->helpWindow(), nullptr);
}

} // namespace
