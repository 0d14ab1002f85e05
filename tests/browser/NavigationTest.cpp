#include "tests/browser/SiteWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/CommonDialog.h"
#include "platform/StatusBar.h"
#include "platform/TabStrip.h"
#include "platform/WebBrowser.h"
#include "tests/support/TestSupport.h"
#include "windows/Branding.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

class Navigation : public SiteWindowFixture {
protected:
    // Types an address and presses Enter; waits for the page and its harvest.
    void typeAndEnter(const QString &address)
    {
        const int before = form->harvestsDone();
        addressBox()->setFocus();
        addressBox()->setText(address);
        QTest::keyClick(addressBox(), Qt::Key_Return);
        ASSERT_TRUE(waitForHarvests(before + 1)) << address.toStdString();
    }
};

TEST_F(Navigation, GoAndEnterLoadThePageAndFollowItsTitle)
{
    typeAndEnter(site.url("/index.html"));
    EXPECT_EQ(view(0)->LocationURL(), site.url("/index.html"));
    EXPECT_EQ(addressBox()->text(), site.url("/index.html"));
    EXPECT_EQ(form->windowTitle(), Branding::fromVersionInfo().productName + " by " +
                                       Branding::fromVersionInfo().companyName + " - Home");

    const int before = form->harvestsDone();
    addressBox()->setText(site.url("/dir1/page2.html"));
    QTest::mouseClick(button("cmdGo"), Qt::LeftButton);
    ASSERT_TRUE(waitForHarvests(before + 1));
    EXPECT_EQ(view(0)->LocationURL(), site.url("/dir1/page2.html"));
    EXPECT_EQ(form->windowTitle(), Branding::fromVersionInfo().productName + " by " +
                                       Branding::fromVersionInfo().companyName + " - Page Two");
}

TEST_F(Navigation, GoWithAnotherViewShowingLoadsBehindIt)
{
    showView(1);
    typeAndEnter(site.url("/index.html"));
    EXPECT_EQ(visible(), 1);
    EXPECT_EQ(tabStrip()->SelectedItem(), 2);
    EXPECT_EQ(view(0)->LocationURL(), site.url("/index.html"));
}

TEST_F(Navigation, BackAndForwardMoveInTheLiveViewsHistory)
{
    typeAndEnter(site.url("/index.html"));
    typeAndEnter(site.url("/dir1/page2.html"));
    const int before = form->harvestsDone();
    form->action(Command::Back)->trigger();
    ASSERT_TRUE(waitForUrl(0, site.url("/index.html")));
    EXPECT_TRUE(waitForHarvests(before + 1));
    form->action(Command::Forward)->trigger();
    ASSERT_TRUE(waitForUrl(0, site.url("/dir1/page2.html")));
}

TEST_F(Navigation, BackInTheImagesViewMovesOnlyThatView)
{
    typeAndEnter(site.url("/index.html"));
    ASSERT_TRUE(waitForGeneratedViews());
    const QString images = generatedAddress(2);
    // Follow a picture's link inside the Images view.
    showView(2);
    view(2)->Navigate(site.url("/pics/a.gif"));
    ASSERT_TRUE(waitForUrl(2, site.url("/pics/a.gif")));
    const QString address = addressBox()->text();

    form->action(Command::Back)->trigger();
    ASSERT_TRUE(waitForUrl(2, images));
    EXPECT_EQ(view(0)->LocationURL(), site.url("/index.html"));
    EXPECT_EQ(addressBox()->text(), address);
    EXPECT_EQ(visible(), 2);
}

TEST_F(Navigation, BackWithNoHistoryChangesNothing)
{
    const QString before = view(0)->LocationURL();
    const int harvests = form->harvestsDone();
    QSignalSpy started(view(0), &QWebEngineView::loadStarted);
    form->action(Command::Back)->trigger();
    form->action(Command::Forward)->trigger();
    // A load asked for before it would have started by the time the page
    // answers a script asked for after.
    evaluate(0, "1");
    EXPECT_EQ(started.count(), 0);
    EXPECT_EQ(view(0)->LocationURL(), before);
    EXPECT_EQ(visible(), 0);
    EXPECT_EQ(form->harvestsDone(), harvests);
}

TEST_F(Navigation, BackDirectoryGoesToThePagesFolderOnTheBrowserView)
{
    typeAndEnter(site.url("/dir1/sub/page3.html"));
    showView(2);
    form->action(Command::BackDirectory)->trigger();
    EXPECT_EQ(addressBox()->text(), site.url("/dir1/sub/"));
    EXPECT_EQ(visible(), 0);
    EXPECT_EQ(tabStrip()->SelectedItem(), 1);
    ASSERT_TRUE(waitForUrl(0, site.url("/dir1/sub/")));
}

TEST_F(Navigation, SendToBrowserOpensTheGeneratedPageInTheLiveView)
{
    typeAndEnter(site.url("/index.html"));
    ASSERT_TRUE(waitForGeneratedViews());
    const QString source = generatedAddress(1);
    showView(1);
    const int before = form->harvestsDone();
    form->action(Command::SendToBrowser)->trigger();
    EXPECT_EQ(addressBox()->text(), source);
    EXPECT_EQ(visible(), 0);
    ASSERT_TRUE(waitForUrl(0, source));
    // The page's own harvest gives the views the source of the source; the
    // live view keeps the page sent, and Refresh shows that page again, not
    // the harvest of itself.
    ASSERT_TRUE(waitForHarvests(before + 1));
    ASSERT_TRUE(waitForGeneratedViews());
    EXPECT_TRUE(evaluate(1, "document.body.textContent").toString().contains("&lt;h1"));
    const int refreshed = form->harvestsDone();
    QSignalSpy reloaded(view(0), &QWebEngineView::loadFinished);
    form->action(Command::Refresh)->trigger();
    // The page is read only once its reload has ended: a harvest may end
    // before that (the one Refresh starts at once), and a script sent to a
    // document that is being replaced gets no answer.
    ASSERT_TRUE(reloaded.count() > 0 || reloaded.wait(15000));
    ASSERT_TRUE(waitForHarvests(refreshed + 2));
    EXPECT_EQ(view(0)->LocationURL(), source);
    // The text content, not innerText: the source's blocks are laid out only
    // once they come into sight, and innerText leaves out one not laid out yet.
    const QString shown = evaluate(0, "document.body.textContent").toString();
    EXPECT_TRUE(shown.contains("<h1>Home</h1>")) << shown.left(400).toStdString();
}

TEST_F(Navigation, RefreshHarvestsAtOnceAndAgainWhenTheReloadEnds)
{
    typeAndEnter(site.url("/index.html"));
    showView(2);
    const int before = form->harvestsDone();
    form->action(Command::Refresh)->trigger();
    EXPECT_EQ(visible(), 0);
    EXPECT_EQ(tabStrip()->SelectedItem(), 1);
    EXPECT_TRUE(waitForHarvests(before + 2));
}

TEST_F(Navigation, StopCancelsALoadThatHangs)
{
    site.server().holdRoute("/hangs.html");
    addressBox()->setText(site.url("/hangs.html"));
    form->action(Command::Go)->trigger();
    QUARROW_WAIT_UNTIL(site.server().requests().contains("/hangs.html"), 10000);
    ASSERT_TRUE(site.server().requests().contains("/hangs.html"));
    ASSERT_TRUE(view(0)->Busy());
    const int before = form->harvestsDone();
    QSignalSpy complete(view(0), &WebBrowser::DownloadComplete);
    QTest::mouseClick(button("cmdStop"), Qt::LeftButton);
    ASSERT_TRUE(complete.count() > 0 || complete.wait(5000));
    EXPECT_FALSE(view(0)->Busy());
    // A stopped load still rebuilds the other views from what the view holds.
    EXPECT_TRUE(waitForHarvests(before + 1));
}

TEST_F(Navigation, RefusedAddressesDoNoHarm)
{
    typeAndEnter(site.url("/index.html"));
    for (const QString &address :
         {QString(), QString("http://"), QString("http:"), QString("   "), QString("https://")}) {
        addressBox()->setText(address);
        form->action(Command::Go)->trigger();
        addressBox()->setText(address);
        QTest::keyClick(addressBox(), Qt::Key_Return);
        addressBox()->setText(address);
        form->action(Command::BackDirectory)->trigger();
    }
    evaluate(0, "1");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(visible(), 0);
}

TEST_F(Navigation, MenuEntriesRunTheirCommands)
{
    typeAndEnter(site.url("/index.html"));
    typeAndEnter(site.url("/dir1/page2.html"));

    for (int view : {2, 1, 0}) {
        showView(view);
        EXPECT_EQ(visible(), view);
        EXPECT_EQ(tabStrip()->SelectedItem(), view + 1);
    }
    menuItem("Go", "Back")->trigger(); // Back
    ASSERT_TRUE(waitForUrl(0, site.url("/index.html")));
    menuItem("Go", "Forward")->trigger(); // Forward
    ASSERT_TRUE(waitForUrl(0, site.url("/dir1/page2.html")));
    menuItem("Go", "Stop")->trigger(); // Stop
    showView(2);
    int before = form->harvestsDone();
    menuItem("Go", "Refresh")->trigger(); // Refresh
    EXPECT_EQ(visible(), 0);
    EXPECT_TRUE(waitForHarvests(before + 1));
    menuItem("Go", "Back a Directory")->trigger(); // Back a Directory
    EXPECT_EQ(addressBox()->text(), site.url("/dir1/"));
    ASSERT_TRUE(waitForUrl(0, site.url("/dir1/")));
    showView(1);
    menuItem("Go", "Send Page to Browser Tab")->trigger(); // Send Page to Browser Tab
    EXPECT_EQ(visible(), 0);

    EXPECT_TRUE(form->isVisible());
}

TEST_F(Navigation, BackForwardAndStopFollowTheShowingViewsHistoryAndLoading)
{
    QAction *back = form->action(Command::Back);
    QAction *forward = form->action(Command::Forward);
    QAction *stop = form->action(Command::Stop);
    EXPECT_FALSE(back->isEnabled());
    EXPECT_FALSE(forward->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    typeAndEnter(site.url("/index.html"));
    EXPECT_TRUE(back->isEnabled());
    EXPECT_TRUE(button("cmdBack")->isEnabled());
    EXPECT_FALSE(forward->isEnabled());
    back->trigger();
    EXPECT_EVENTUALLY(forward->isEnabled(), 10000);
    EXPECT_FALSE(back->isEnabled());
    // The Images view has a history of its own.
    showView(2);
    EXPECT_FALSE(forward->isEnabled());

    // Stop is there while the showing view loads.
    showView(0);
    site.server().holdRoute("/slow.html");
    addressBox()->setText(site.url("/slow.html"));
    form->action(Command::Go)->trigger();
    EXPECT_EVENTUALLY(stop->isEnabled(), 10000);
    EXPECT_TRUE(button("cmdStop")->isEnabled());
    stop->trigger();
    EXPECT_EVENTUALLY(!stop->isEnabled(), 10000);
}

TEST_F(Navigation, WindowShortcuts)
{
    typeAndEnter(site.url("/index.html"));
    QTest::keyClick(form.get(), Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(visible(), 2);
    QTest::keyClick(form.get(), Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(visible(), 1);
    QTest::keyClick(form.get(), Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(visible(), 0);
    QTest::keyClick(form.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(addressBox()->hasFocus());
    EXPECT_EQ(addressBox()->selectedText(), addressBox()->text());
}

TEST_F(Navigation, FileOpenKeepsTheViewAndLoadsTheFileInTheLiveView)
{
    const QString page = folder.path() + "/local page.html";
    testsupport::writeFile(page, "<html><head><title>Local</title></head><body>"
                                 "<img src=\"x.png\"></body></html>");
    showView(2);

    // Cancelled: nothing happens.
    bool cancelled = false;
    answerWhenShown<QFileDialog>([&cancelled](QFileDialog *dialog) {
        dialog->reject();
        cancelled = true;
    });
    const int before = form->harvestsDone();
    menuItem("File", "Open...")->trigger();
    EXPECT_EVENTUALLY(cancelled, 15000);
    evaluate(0, "1");
    EXPECT_EQ(form->harvestsDone(), before);
    EXPECT_EQ(visible(), 2);

    answerWhenShown<QFileDialog>([this](QFileDialog *dialog) {
        // As a user would: the folder, the name typed, Enter.
        dialog->setDirectory(folder.path());
        auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText("local page.html");
        QTest::keyClick(name, Qt::Key_Return);
    });
    menuItem("File", "Open...")->trigger();
    ASSERT_TRUE(waitForHarvests(before + 1));
    EXPECT_EQ(view(0)->LocationURL(), QUrl::fromLocalFile(page).toString());
    EXPECT_EQ(visible(), 2);
    EXPECT_EQ(tabStrip()->SelectedItem(), 3);
}

TEST_F(Navigation, ClosingWhileAPageLoadsEndsCleanly)
{
    int ends = 0;
    Form1::setProgramEnd([&ends] { ++ends; });
    addressBox()->setText(site.url("/index.html"));
    form->action(Command::Go)->trigger();
    menuItem("File", "Exit")->trigger(); // Exit
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(form->isVisible());
    // A second close request does not run the unload again.
    form->close();
    EXPECT_EQ(ends, 1);
    Form1::setProgramEnd([] { QCoreApplication::exit(0); });
    form.reset();
}

} // namespace
