#include "tests/shell/MainWindowFixture.h"

#include "platform/ProgressBar.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "tests/support/TestSupport.h"
#include "windows/Branding.h"

#include <QLineEdit>
#include <QTest>

namespace {

class BrowserEvents : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        loadWindow();
        ASSERT_TRUE(waitForHarvests(1));
    }
};

TEST_F(BrowserEvents, ProgressFollowsOnlyTheLiveView)
{
    struct Case {
        int index, progress, progressMax;
        float max, value; // expected afterwards
    };
    // Each case starts from Max 100, Value 42.
    const Case cases[] = {
        {0, 250, 1000, 1000, 250}, {0, 1000, 1000, 1000, 1000}, {0, 1001, 1000, 1000, 0.01f},
        {0, 0, 1000, 1000, 0.01f}, {0, -1, 1000, 1000, 0.01f},  {0, 1, 1000, 1000, 1},
        {0, 50, 0, 100, 42},       {0, 0, 0, 100, 42},          {1, 250, 1000, 100, 42},
        {2, 250, 1000, 100, 42},   {0, 7, -5, -5, 0.01f},
    };
    for (const Case &c : cases) {
        form->pb1->setMax(100);
        form->pb1->setValueSingle(42);
        form->wb_ProgressChange(c.index, c.progress, c.progressMax);
        EXPECT_FLOAT_EQ(form->pb1->Max(), c.max)
            << c.index << " " << c.progress << " " << c.progressMax;
        EXPECT_FLOAT_EQ(form->pb1->Value(), c.value)
            << c.index << " " << c.progress << " " << c.progressMax;
    }
    EXPECT_FALSE(form->pb1->isVisible());
}

TEST_F(BrowserEvents, StatusTextComesFromEveryViewUnchanged)
{
    for (int view : {0, 1, 2}) {
        const QString text =
            QString("status from view %1 \u2014 %2").arg(view).arg(QString(300, 'x'));
        form->wb_StatusTextChange(view, text);
        EXPECT_EQ(form->sb1->panelText(1), text);
    }
}

TEST_F(BrowserEvents, StatusTextOfAGeneratedViewReachesThePanel)
{
    // Loading the Images page in its own view reports its own status.
    // Let the Images view finish what the start page's harvest gave it.
    QTRY_VERIFY_WITH_TIMEOUT(!form->wb[2]->Busy(), 10000);
    form->sb1->setPanelText(1, "before");
    QStringList seen;
    QObject::connect(form->wb[2], &WebBrowser::StatusTextChange,
                     [&seen](int index, const QString &text) {
                         if (index == 2)
                             seen << text;
                     });
    form->wb[2]->Navigate2(programFile("imagepage.html"));
    ASSERT_TRUE(waitForLoad(2));
    const bool opening = std::any_of(seen.cbegin(), seen.cend(), [](const QString &text) {
        return text.startsWith("Opening ") && text.contains("imagepage.html");
    });
    EXPECT_TRUE(opening) << seen.join(" | ").toStdString();
    // The last word is the Images view's own, whatever the live view said before.
    EXPECT_EQ(form->sb1->panelText(1), seen.last());
    EXPECT_EQ(seen.last(), "Done");
}

TEST_F(BrowserEvents, TitleChangeOfTheLiveViewOnly)
{
    form->txtUrl->setText("typed by the user");
    form->wb_TitleChange(1, "ignored");
    form->wb_TitleChange(2, "ignored");
    EXPECT_EQ(form->txtUrl->text(), "typed by the user");

    form->wb_TitleChange(0, "the new title is not used");
    EXPECT_EQ(form->txtUrl->text(), form->wb[0]->LocationURL());
    EXPECT_EQ(form->windowTitle(), Branding::fromVersionInfo().productName + " by " +
                                       Branding::fromVersionInfo().companyName + " - " +
                                       form->wb[0]->LocationName());
}

TEST_F(BrowserEvents, OnlyTheLiveViewsLoadsHarvest)
{
    const int before = form->harvestsDone();
    form->wb_DownloadComplete(1);
    form->wb_DownloadComplete(2);
    QTest::qWait(300);
    EXPECT_EQ(form->harvestsDone(), before);
    form->wb_DownloadComplete(0);
    EXPECT_TRUE(waitForHarvests(before + 1));
}

} // namespace
