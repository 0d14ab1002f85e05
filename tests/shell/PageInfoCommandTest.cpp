// Tools > Page Info on the main window.
#include "tests/inventory/InventorySite.h"
#include "tests/shell/MainWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/WebBrowser.h"
#include "windows/MediaModels.h"
#include "windows/PageInfoWindow.h"

#include <QAction>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

namespace {

using PageInfoCommand = MainWindowFixture;

TEST_F(PageInfoCommand, CtrlIShowsEveryPictureOfTheLivePageAndFollowsIt)
{
    InventorySite site;
    ASSERT_TRUE(site.start());
    loadWindow();
    QAction *command = form->action(Command::PageInfo);
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
    EXPECT_EQ(menuItem("Tools", "Page Info"), command);

    ASSERT_TRUE(view(0)->Navigate2(site.url(QStringLiteral("/page.html"))));
    ASSERT_TRUE(waitForUrl(0, site.url(QStringLiteral("/page.html"))));
    ASSERT_TRUE(waitForLoad(0));
    QUARROW_WAIT_UNTIL(view(0)->title() == QLatin1String("ready"), 5000);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_I, Qt::ControlModifier);

    QPointer<PageInfoWindow> window = form->pageInfoWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->parentWidget(), form.get());
    EXPECT_EVENTUALLY_EQ(window->windowTitle(), QStringLiteral("Page Info - ready"), 10000);
    // Every picture of the page, the one its script added after load among them.
    const Inventory &inventory = window->inventory();
    EXPECT_GE(inventory.pictures.size(), 35);
    QStringList addresses;
    for (const InventoryEntry &entry : inventory.pictures)
        addresses.append(entry.address);
    for (const char *path : {"/site/pics/logo.png", "/site/pics/added.png", "/favicon.ico",
                             "/site/pics/btn-hover.png", "/other/f.png", "/site/pics/area.tif"})
        EXPECT_TRUE(addresses.contains(site.url(QString::fromLatin1(path)))) << path;

    // Ctrl+I again brings the same window to the front.
    form->activateWindow();
    command->trigger();
    EXPECT_EQ(form->pageInfoWindow(), window.data());

    // A new page in the Browser view: the window follows it.
    ASSERT_TRUE(view(0)->Navigate2(programFile("start.html")));
    EXPECT_EVENTUALLY_EQ(window->windowTitle(), QStringLiteral("Page Info - Start"), 20000);
    EXPECT_EQ(QUrl(window->inventory().pageAddress),
              QUrl::fromLocalFile(programFile("start.html")));

    // Open in Browser shows the picture in the Browser view; the window keeps
    // the page it came from.
    const QString page = site.url(QStringLiteral("/page.html"));
    const QString logo = site.url(QStringLiteral("/site/pics/logo.png"));
    ASSERT_TRUE(view(0)->Navigate2(page));
    EXPECT_EVENTUALLY(window->mediaModel()->rowCount() > 30 &&
                          QUrl(window->inventory().pageAddress) == QUrl(page),
                      20000);
    QStringList shownPages;
    QObject::connect(window, &PageInfoWindow::inventoryShown,
                     [&] { shownPages.append(window->inventory().pageAddress); });
    QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
    emit window->openRequested(QUrl(logo));
    EXPECT_TRUE(waitForUrl(0, logo));
    EXPECT_TRUE(loaded.count() > 0 || loaded.wait(20000));
    EXPECT_EQ(QUrl(window->inventory().pageAddress), QUrl(page));
    // The next page the user opens is followed; the picture never was.
    ASSERT_TRUE(view(0)->Navigate2(programFile("start.html")));
    EXPECT_EVENTUALLY_EQ(window->windowTitle(), QStringLiteral("Page Info - Start"), 20000);
    EXPECT_FALSE(shownPages.contains(logo)) << shownPages.join(' ').toStdString();
    EXPECT_TRUE(shownPages.contains(QUrl::fromLocalFile(programFile("start.html")).toString()))
        << shownPages.join(' ').toStdString();

    // The main window goes with its Page Info window open.
    form.reset();
    EXPECT_TRUE(window.isNull());
}

} // namespace
