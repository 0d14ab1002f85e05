#include "tests/shell/MainWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/ProgressBar.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "shell/PageHarvester.h"
#include "tests/support/TestSupport.h"
#include "windows/Branding.h"

#include <QLineEdit>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

class BrowserEvents : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        loadWindow();
        ASSERT_TRUE(waitForHarvests(1));
        // The generated views' own loads would move the bar while a case runs.
        ASSERT_TRUE(waitForGeneratedViews());
    }
};

TEST_F(BrowserEvents, ProgressFollowsOnlyTheViewThatShows)
{
    struct Case {
        int shown, index, progress, progressMax;
        float max, value; // expected afterwards
    };
    // Each case starts from Max 100, Value 42.
    const Case cases[] = {
        {0, 0, 250, 1000, 1000, 250},    {0, 0, 1000, 1000, 1000, 1000},
        {0, 0, 1001, 1000, 1000, 0.01f}, {0, 0, 0, 1000, 1000, 0.01f},
        {0, 0, -1, 1000, 1000, 0.01f},   {0, 0, 1, 1000, 1000, 1},
        {0, 0, 50, 0, 100, 42},          {0, 0, 0, 0, 100, 42},
        {0, 1, 250, 1000, 100, 42},      {0, 2, 250, 1000, 100, 42},
        {0, 0, 7, -5, -5, 0.01f},        {1, 1, 250, 1000, 1000, 250},
        {1, 0, 250, 1000, 100, 42},      {2, 2, 30, 100, 100, 30},
        {2, 1, 30, 100, 100, 42},
    };
    for (const Case &c : cases) {
        showView(c.shown);
        progressBar()->setMax(100);
        progressBar()->setValueSingle(42);
        emit view(c.index)->ProgressChange(c.index, c.progress, c.progressMax);
        EXPECT_FLOAT_EQ(progressBar()->Max(), c.max)
            << c.shown << " " << c.index << " " << c.progress << " " << c.progressMax;
        EXPECT_FLOAT_EQ(progressBar()->Value(), c.value)
            << c.shown << " " << c.index << " " << c.progress << " " << c.progressMax;
    }
    EXPECT_FALSE(progressBar()->isVisible());
}

TEST_F(BrowserEvents, StatusTextComesOnlyFromTheViewThatShowsAndFollowsASwitch)
{
    const auto textOf = [](int view) {
        return QString("status from view %1 \u2014 %2").arg(view).arg(QString(300, 'x'));
    };
    for (int shown : {0, 1, 2}) {
        showView(shown);
        for (int view : {0, 1, 2})
            emit this->view(view)->StatusTextChange(view, textOf(view));
        EXPECT_EQ(statusBar()->panelText(1), textOf(shown)) << shown;
    }
    // A switch brings the last words of the view that now shows.
    emit view(0)->StatusTextChange(0, "the live view moved on");
    EXPECT_EQ(statusBar()->panelText(1), textOf(2));
    showView(0);
    EXPECT_EQ(statusBar()->panelText(1), "the live view moved on");
}

TEST_F(BrowserEvents, AGeneratedViewThatShowsSpeaksForItself)
{
    ASSERT_TRUE(waitForGeneratedViews());
    showView(2);
    statusBar()->setPanelText(1, "before");
    QStringList seen;
    QObject::connect(view(2), &WebBrowser::StatusTextChange,
                     [&seen](int, const QString &text) { seen << text; });
    view(2)->Navigate2(programFile("imagepage.html"));
    ASSERT_TRUE(waitForLoad(2));
    const bool opening = std::any_of(seen.cbegin(), seen.cend(), [](const QString &text) {
        return text.startsWith("Opening ") && text.contains("imagepage.html");
    });
    EXPECT_TRUE(opening) << seen.join(" | ").toStdString();
    EXPECT_EQ(statusBar()->panelText(1), "Done");
}

TEST_F(BrowserEvents, TheCaptionFollowsTheViewThatShowsAndTheAddressTheLiveView)
{
    addressBox()->setText("typed by the user");
    emit view(1)->TitleChange(1, "ignored");
    emit view(2)->TitleChange(2, "ignored");
    EXPECT_EQ(addressBox()->text(), "typed by the user");
    const QString caption =
        Branding::fromVersionInfo().productName + " by " + Branding::fromVersionInfo().companyName;
    EXPECT_EQ(form->windowTitle(), caption + " - " + view(0)->LocationName());

    emit view(0)->TitleChange(0, "the new title is not used");
    EXPECT_EQ(addressBox()->text(), view(0)->LocationURL());
    EXPECT_EQ(form->windowTitle(), caption + " - " + view(0)->LocationName());

    ASSERT_TRUE(waitForGeneratedViews());
    showView(1);
    EXPECT_EQ(form->windowTitle(), caption + " - " + view(1)->LocationName());
    EXPECT_TRUE(view(1)->LocationName().startsWith("Source Code of "));
    EXPECT_EQ(addressBox()->text(), view(0)->LocationURL());
}

TEST_F(BrowserEvents, OnlyTheLiveViewsLoadsHarvest)
{
    const int before = form->harvestsDone();
    emit view(1)->DownloadComplete(1);
    emit view(2)->DownloadComplete(2);
    // A harvest asks the live page for its markup: once the page has answered
    // a script asked after, any harvest started above would be under way.
    evaluate(0, "1");
    emit view(0)->DownloadComplete(0);
    ASSERT_TRUE(waitForHarvests(before + 1));
    evaluate(0, "1");
    QCoreApplication::processEvents();
    EXPECT_EQ(form->harvestsDone(), before + 1);
}

TEST(PageHarvester, LineBreaksBecomeCrLfAsTheBrowserControlMakesThem)
{
    const QString cases[] = {
        "",           "no break", "a\nb",     "a\r\nb",           "a\rb",
        "\n\n\r\r\n", "end\r",    "\r\n\r\n", "\u00e9\n\u732b\r", QString(5000, '\r') + "x\n",
    };
    for (const QString &text : cases)
        EXPECT_EQ(PageHarvester::utf8WithCrLf(text), WebBrowser::withCrLf(text).toUtf8())
            << text.toStdString();
}

} // namespace
