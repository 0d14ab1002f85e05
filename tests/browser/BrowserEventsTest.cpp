#include "tests/shell/MainWindowFixture.h"
#include "tests/support/Eventually.h"

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
        progressBar()->setMax(100);
        progressBar()->setValueSingle(42);
        emit view(c.index)->ProgressChange(c.index, c.progress, c.progressMax);
        EXPECT_FLOAT_EQ(progressBar()->Max(), c.max)
            << c.index << " " << c.progress << " " << c.progressMax;
        EXPECT_FLOAT_EQ(progressBar()->Value(), c.value)
            << c.index << " " << c.progress << " " << c.progressMax;
    }
    EXPECT_FALSE(progressBar()->isVisible());
}

TEST_F(BrowserEvents, StatusTextComesFromEveryViewUnchanged)
{
    for (int view : {0, 1, 2}) {
        const QString text =
            QString("status from view %1 \u2014 %2").arg(view).arg(QString(300, 'x'));
        emit this->view(view)->StatusTextChange(view, text);
        EXPECT_EQ(statusBar()->panelText(1), text);
    }
}

TEST_F(BrowserEvents, StatusTextOfAGeneratedViewReachesThePanel)
{
    // Loading the Images page in its own view reports its own status.
    // Let the Images view finish what the start page's harvest gave it.
    EXPECT_EVENTUALLY(!view(2)->Busy(), 10000);
    statusBar()->setPanelText(1, "before");
    QStringList seen;
    QObject::connect(view(2), &WebBrowser::StatusTextChange,
                     [&seen](int index, const QString &text) {
                         if (index == 2)
                             seen << text;
                     });
    view(2)->Navigate2(programFile("imagepage.html"));
    ASSERT_TRUE(waitForLoad(2));
    const bool opening = std::any_of(seen.cbegin(), seen.cend(), [](const QString &text) {
        return text.startsWith("Opening ") && text.contains("imagepage.html");
    });
    EXPECT_TRUE(opening) << seen.join(" | ").toStdString();
    // The last word is the Images view's own, whatever the live view said before.
    EXPECT_EQ(statusBar()->panelText(1), seen.last());
    EXPECT_EQ(seen.last(), "Done");
}

TEST_F(BrowserEvents, TitleChangeOfTheLiveViewOnly)
{
    addressBox()->setText("typed by the user");
    emit view(1)->TitleChange(1, "ignored");
    emit view(2)->TitleChange(2, "ignored");
    EXPECT_EQ(addressBox()->text(), "typed by the user");

    emit view(0)->TitleChange(0, "the new title is not used");
    EXPECT_EQ(addressBox()->text(), view(0)->LocationURL());
    EXPECT_EQ(form->windowTitle(), Branding::fromVersionInfo().productName + " by " +
                                       Branding::fromVersionInfo().companyName + " - " +
                                       view(0)->LocationName());
}

TEST_F(BrowserEvents, OnlyTheLiveViewsLoadsHarvest)
{
    const int before = form->harvestsDone();
    emit view(1)->DownloadComplete(1);
    emit view(2)->DownloadComplete(2);
    QTest::qWait(300);
    EXPECT_EQ(form->harvestsDone(), before);
    emit view(0)->DownloadComplete(0);
    EXPECT_TRUE(waitForHarvests(before + 1));
}

} // namespace
