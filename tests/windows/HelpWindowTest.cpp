#include "platform/ProgramFolder.h"
#include "platform/RichTextBox.h"
#include "platform/SettingsStore.h"
#include "platform/Twips.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowTestSupport.h"
#include "windows/Form8.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class HelpWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ProgramFolder::setPathForTesting(m_dir.path());
        // A product name of its own keeps each test's setting apart.
        static int run = 0;
        m_product = QStringLiteral("QuarrowHelpTest%1").arg(++run);
    }
    void TearDown() override { ProgramFolder::setPathForTesting(QString()); }
    void installHelp()
    {
        ASSERT_TRUE(QFile::copy(QStringLiteral(QUARROW_HELP_RTF),
                                m_dir.filePath(QStringLiteral("Help.rtf"))));
    }
    QString stored() const
    {
        return GetSetting(m_product, QStringLiteral("Settings"), QStringLiteral("showHelp"),
                          QStringLiteral("absent"));
    }
    void store(const QString &value)
    {
        SaveSetting(m_product, QStringLiteral("Settings"), QStringLiteral("showHelp"), value);
    }

    QTemporaryDir m_dir;
    QString m_product;
};

TEST_F(HelpWindowTest, ShowsTheHelpFileAboveOtherWindows)
{
    installHelp();
    Form8 window(m_product, nullptr);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Readme/Help"));
    EXPECT_TRUE(window.rtf1->toPlainText().startsWith(QStringLiteral("Quarrow Help")));
    EXPECT_EQ(window.rtf1->FileName(), m_dir.filePath(QStringLiteral("Help.rtf")));
    EXPECT_TRUE(window.rtf1->isReadOnly());
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(window.testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(window.Check1->text(), QStringLiteral("Show at Startup"));
    EXPECT_EQ(window.size(), QSize(Twips::toPixelsX(10290), Twips::toPixelsY(7920)));
    EXPECT_EQ(window.rtf1->geometry(),
              QRect(0, 0, Twips::toPixelsX(10275), Twips::toPixelsY(7515)));
    EXPECT_EQ(window.Check1->pos(), QPoint(Twips::toPixelsX(60), Twips::toPixelsY(7620)));
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(window.windowIcon().pixmap(24, 24).size(), QSize(24, 24));
}

TEST_F(HelpWindowTest, WithNoStoredSettingTheBoxIsTicked)
{
    installHelp();
    Form8 window(m_product, nullptr);
    EXPECT_EQ(window.Check1->checkState(), Qt::Checked);
    // The load's change of the box stores the value back.
    EXPECT_EQ(stored(), QStringLiteral("1"));
}

TEST_F(HelpWindowTest, ClearingTheBoxIsRememberedForTheNextLoad)
{
    installHelp();
    {
        Form8 window(m_product, nullptr);
        window.show();
        QTest::mouseClick(window.Check1, Qt::LeftButton, {},
                          QPoint(8, window.Check1->height() / 2));
        EXPECT_EQ(window.Check1->checkState(), Qt::Unchecked);
        EXPECT_EQ(stored(), QStringLiteral("0"));
    }
    Form8 again(m_product, nullptr);
    EXPECT_EQ(again.Check1->checkState(), Qt::Unchecked);
    again.Check1->click();
    EXPECT_EQ(stored(), QStringLiteral("1"));
}

TEST_F(HelpWindowTest, StoredTwoShowsTheGreyThirdState)
{
    installHelp();
    store(QStringLiteral("2"));
    Form8 window(m_product, nullptr);
    EXPECT_EQ(window.Check1->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(stored(), QStringLiteral("2"));
    // A click leaves the grey state for a plain value.
    window.Check1->click();
    EXPECT_NE(window.Check1->checkState(), Qt::PartiallyChecked);
    window.Check1->click();
    EXPECT_NE(window.Check1->checkState(), Qt::PartiallyChecked);
}

TEST_F(HelpWindowTest, StoredTextThatIsNoNumberLeavesTheBoxAsItWas)
{
    installHelp();
    store(QStringLiteral("x"));
    Form8 window(m_product, nullptr);
    EXPECT_EQ(window.Check1->checkState(), Qt::Unchecked);
    EXPECT_EQ(stored(), QStringLiteral("x"));
}

TEST(HelpWindowSetting, ValuesTheBoxTakes)
{
    const struct {
        const char *text;
        int value; // -1: none
    } cases[] = {{"0", 0},   {"1", 1},   {"2", 2},      {" 1 ", 1},  {"1.0", 1}, {"0.5", 0},
                 {"1.5", 2}, {"2.5", 2}, {"-0.4", 0},   {"3", -1},   {"-1", -1}, {"x", -1},
                 {"", -1},   {"1x", -1}, {"99999", -1}, {"nan", -1}, {"inf", -1}};
    for (const auto &c : cases) {
        const std::optional<int> value = Form8::checkValueOfSetting(QString::fromLatin1(c.text));
        EXPECT_EQ(value.value_or(-1), c.value) << c.text;
    }
}

TEST_F(HelpWindowTest, AMissingHelpFileIsReportedInTheWindow)
{
    QPointer<Form8> window;
    ShowHelpWindow(window, m_product, nullptr);
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    const QString path = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("Help.rtf")));
    EXPECT_EQ(window->rtf1->toPlainText(),
              QStringLiteral("The help file is missing: it was looked for at ") + path);
    EXPECT_FALSE(window->rtf1->toPlainText().contains(QLatin1Char('\n')));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    window->close();
}

TEST_F(HelpWindowTest, ClosingUnloadsAndViewHelpLoadsAfresh)
{
    installHelp();
    QPointer<Form8> window;
    Form8 *first = ShowHelpWindow(window, m_product, nullptr);
    EXPECT_EQ(ShowHelpWindow(window, m_product, nullptr), first);
    first->Check1->click();
    EXPECT_EQ(stored(), QStringLiteral("0"));
    first->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000))
        << "the closed window stays loaded";

    Form8 *second = ShowHelpWindow(window, m_product, nullptr);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->Check1->checkState(), Qt::Unchecked);
    second->close();
}

TEST_F(HelpWindowTest, OpensCentredOverItsOwnerAndStaysAboveIt)
{
    installHelp();
    QWidget owner;
    ASSERT_TRUE(windowtests::showOwner(owner));
    QPointer<Form8> window;
    ShowHelpWindow(window, m_product, nullptr, &owner);
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(window->parentWidget(), &owner);
    EXPECT_TRUE(window->isWindow());
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    const QPoint offset = windowtests::centreOffset(window, &owner);
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
    EXPECT_NE(window->frameGeometry().topLeft(), QPoint(0, 0));
    window->close();
}

TEST_F(HelpWindowTest, EscAndCtrlWCloseIt)
{
    installHelp();
    QWidget owner;
    ASSERT_TRUE(windowtests::showOwner(owner));
    for (const auto &keys : {std::pair(Qt::Key_Escape, Qt::KeyboardModifiers()),
                             std::pair(Qt::Key_W, Qt::KeyboardModifiers(Qt::ControlModifier))}) {
        QPointer<Form8> window;
        ShowHelpWindow(window, m_product, nullptr, &owner);
        ASSERT_TRUE(window);
        ASSERT_TRUE(windowtests::pressIn(window, keys.first, keys.second));
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000))
            << "key " << keys.first << " left the window open";
        EXPECT_TRUE(owner.isVisible());
    }
}

TEST_F(HelpWindowTest, ShowAtStartupFollowsTheStoredTick)
{
    // Nothing stored reads as the ticked box the window starts with.
    EXPECT_TRUE(Form8::showAtStartup(m_product));
    store(QStringLiteral("0"));
    EXPECT_FALSE(Form8::showAtStartup(m_product));
    store(QStringLiteral("1"));
    EXPECT_TRUE(Form8::showAtStartup(m_product));
    store(QStringLiteral("2"));
    EXPECT_FALSE(Form8::showAtStartup(m_product));
    store(QStringLiteral("x"));
    EXPECT_FALSE(Form8::showAtStartup(m_product));

    // Clearing the box in the window is what the next start reads.
    store(QStringLiteral("1"));
    installHelp();
    Form8 window(m_product, nullptr);
    window.Check1->click();
    EXPECT_FALSE(Form8::showAtStartup(m_product));
}

} // namespace
