// The history of the Browser view in the real window: what it keeps, what the
// address box offers of it, the History window, and Clear History.
#include "tests/browser/SiteWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/History.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "shell/AddressCompleter.h"
#include "shell/HistoryWindow.h"
#include "tests/support/TestSupport.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTreeView>

namespace {

class BrowsingHistory : public SiteWindowFixture {
protected:
    void SetUp() override
    {
        SiteWindowFixture::SetUp();
        history = form->history();
        ASSERT_NE(history, nullptr);
    }

    // Opens a page of the site in the Browser view and waits for its load.
    void open(const QString &path)
    {
        QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
        ASSERT_TRUE(view(0)->Navigate(site.url(path)));
        ASSERT_TRUE(loaded.wait(20000)) << path.toStdString();
    }

    QStringList kept() const
    {
        QStringList addresses;
        for (const HistoryEntry &entry : history->recentVisits(QString(), 100))
            addresses << entry.url.toString();
        return addresses;
    }
    QString titleOf(const QString &path) const
    {
        for (const HistoryEntry &entry : history->recentVisits(QString(), 100)) {
            if (entry.url.toString() == site.url(path))
                return entry.title;
        }
        return QStringLiteral("(not kept)");
    }

    // A key as the user presses it: to the list that is open, or else to the
    // widget with the focus.
    static void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = QApplication::activePopupWidget();
        if (!target)
            target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }
    // Types on, letter by letter, wherever the keys go.
    void type(const QString &text)
    {
        for (const QChar c : text) {
            QWidget *target = QApplication::activePopupWidget();
            if (!target)
                target = QApplication::focusWidget();
            if (!target)
                target = addressBox();
            QTest::keyClicks(target, QString(c));
        }
    }
    void typeIntoAddressBox(const QString &text)
    {
        // The offscreen platform may leave a closed list the active window.
        form->activateWindow();
        QUARROW_WAIT_UNTIL(QApplication::activeWindow() == form.get(), 5000);
        addressBox()->setFocus();
        addressBox()->selectAll();
        type(text);
    }
    bool pageHasKeys() const
    {
        QWidget *focus = QApplication::focusWidget();
        return focus && (focus == view(0) || view(0)->isAncestorOf(focus));
    }
    QAbstractItemView *suggestionList() const
    {
        return form->addressCompleter()->completer()->popup();
    }

    History *history = nullptr;
};

TEST_F(BrowsingHistory, PagesVisitedAreKeptWithTheirTitlesNewestFirst)
{
    open("/index.html");
    open("/dir1/page2.html");
    open("/dir1/sub/page3.html");
    // The start page is not a visit of the user's.
    EXPECT_EQ(kept(), QStringList({site.url("/dir1/sub/page3.html"), site.url("/dir1/page2.html"),
                                   site.url("/index.html")}));
    EXPECT_EQ(titleOf("/dir1/page2.html"), "Page Two");
    EXPECT_EQ(titleOf("/index.html"), "Home");

    // A title that comes after the load is the page's; one without a title
    // keeps none rather than its address.
    evaluate(0, "document.title = 'Page Three, renamed'");
    EXPECT_EVENTUALLY_EQ(titleOf("/dir1/sub/page3.html"), QString("Page Three, renamed"), 10000);
    site.server().setRoute("/untitled.html", "<html><body>No title</body></html>");
    open("/untitled.html");
    EXPECT_EQ(titleOf("/untitled.html"), "");
    // The window keeps nothing on disk: neither does its history.
    EXPECT_TRUE(history->file().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(History::defaultFile()));
}

TEST_F(BrowsingHistory, FailedLoadsDownloadsAndTheProgramsOwnPagesAreNoVisits)
{
    open("/index.html");
    ASSERT_TRUE(waitForGeneratedViews());

    // A server that is not there.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString nowhere =
        QStringLiteral("http://127.0.0.1:%1/gone.html").arg(closed.serverPort());
    closed.close();
    {
        QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
        view(0)->Navigate(nowhere);
        ASSERT_TRUE(loaded.wait(20000));
    }
    // A file it downloads.
    site.server().setRoute("/files/data.zip", QByteArray(4096, 'z'), "application/zip");
    answerWhenShown<QFileDialog>([](QFileDialog *dialog) { dialog->reject(); });
    view(0)->Navigate(site.url("/files/data.zip"));
    EXPECT_EVENTUALLY_EQ(statusBar()->panelText(2), QString("Download cancelled"), 15000);
    // A page typed as data.
    {
        QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
        view(0)->Navigate("data:text/html,<title>data page</title>hello");
        ASSERT_TRUE(loaded.wait(20000));
    }
    // The Source Code view's page sent to the Browser view.
    showView(1);
    {
        QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
        form->action(Command::SendToBrowser)->trigger();
        ASSERT_TRUE(loaded.wait(20000));
        ASSERT_TRUE(Form1::isGeneratedPage(view(0)->url()));
    }
    // A page the server does not have.
    open("/missing.html");
    open("/dir1/page2.html");
    EXPECT_EQ(kept(), QStringList({site.url("/dir1/page2.html"), site.url("/index.html")}));
}

TEST_F(BrowsingHistory, TheAddressBoxOffersMatchingPagesAndEnterOpensTheChosenOne)
{
    open("/index.html");
    open("/dir1/page2.html");
    open("/dir1/sub/page3.html");
    open("/index.html");

    // Words anywhere in the title or the address; what is typed stays.
    typeIntoAddressBox("page");
    EXPECT_EVENTUALLY(suggestionList()->isVisible(), 5000);
    EXPECT_EQ(addressBox()->text(), "page");
    EXPECT_EQ(form->addressCompleter()->suggestions(),
              QStringList({site.url("/dir1/sub/page3.html"), site.url("/dir1/page2.html")}));
    type(" TWO");
    EXPECT_EQ(addressBox()->text(), "page TWO");
    EXPECT_EQ(form->addressCompleter()->suggestions(), QStringList{site.url("/dir1/page2.html")});

    // Down chooses it and shows its address; Esc closes the list and gives
    // back what was typed.
    press(Qt::Key_Down);
    EXPECT_EQ(addressBox()->text(), site.url("/dir1/page2.html"));
    press(Qt::Key_Escape);
    EXPECT_FALSE(suggestionList()->isVisible());
    EXPECT_EQ(addressBox()->text(), "page TWO");
    EXPECT_EQ(view(0)->LocationURL(), site.url("/index.html"));

    // Down opens the list again; Enter opens the chosen page.
    press(Qt::Key_Down);
    ASSERT_TRUE(suggestionList()->isVisible());
    press(Qt::Key_Down);
    QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
    press(Qt::Key_Return);
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_EQ(view(0)->LocationURL(), site.url("/dir1/page2.html"));
    EXPECT_FALSE(suggestionList()->isVisible());
    // The page has the keys, as after Enter without the list.
    EXPECT_EVENTUALLY(pageHasKeys(), 5000);
    EXPECT_EQ(history->suggestions("page2", 1).value(0).visits, 2);
}

TEST_F(BrowsingHistory, EnterWithNothingChosenOpensWhatWasTyped)
{
    open("/dir1/page2.html");
    site.server().setRoute("/dir1/page2", "<title>Short</title>");
    site.server().setRoute("/dir1/page", "<title>Shorter</title>");
    // The typed address begins a kept one: the list offers it, and Enter goes
    // where the user typed.
    typeIntoAddressBox(site.url("/dir1/page2"));
    EXPECT_EVENTUALLY(suggestionList()->isVisible(), 5000);
    EXPECT_EQ(form->addressCompleter()->suggestions(), QStringList{site.url("/dir1/page2.html")});
    {
        QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
        press(Qt::Key_Return);
        ASSERT_TRUE(loaded.wait(20000));
    }
    EXPECT_EQ(view(0)->LocationURL(), site.url("/dir1/page2"));

    // After Esc, an Enter that the window system still hands to the closing
    // list goes where the box says.
    typeIntoAddressBox(site.url("/dir1/page"));
    EXPECT_EVENTUALLY(suggestionList()->isVisible(), 5000);
    press(Qt::Key_Down);
    press(Qt::Key_Escape);
    ASSERT_FALSE(suggestionList()->isVisible());
    QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
    QTest::keyClick(suggestionList(), Qt::Key_Return);
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_EQ(view(0)->LocationURL(), site.url("/dir1/page"));
}

TEST_F(BrowsingHistory, AClickOnASuggestionOpensIt)
{
    open("/dir1/sub/page3.html");
    open("/index.html");
    typeIntoAddressBox("three");
    EXPECT_EVENTUALLY(suggestionList()->isVisible(), 5000);
    QAbstractItemView *list = suggestionList();
    const QRect first = list->visualRect(list->model()->index(0, 0));
    QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_EQ(view(0)->LocationURL(), site.url("/dir1/sub/page3.html"));
}

TEST_F(BrowsingHistory, TheHistoryWindowListsNewestFirstFiltersAndOpens)
{
    open("/index.html");
    open("/dir1/page2.html");
    open("/dir1/sub/page3.html");
    showView(2);
    menuItem("Go", "History")->trigger();
    HistoryWindow *window = form->historyWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->isVisible());
    EXPECT_EQ(window->listed(),
              QList<QUrl>({QUrl(site.url("/dir1/sub/page3.html")),
                           QUrl(site.url("/dir1/page2.html")), QUrl(site.url("/index.html"))}));
    EXPECT_EQ(window->list()->model()->index(1, 0).data().toString(), "Page Two");
    EXPECT_EVENTUALLY(window->filter()->hasFocus(), 5000);

    // The filter narrows the list; Down goes into it, Enter opens the visit in
    // the Browser view and closes the window.
    QTest::keyClicks(window->filter(), "home");
    EXPECT_EQ(window->listed(), QList<QUrl>{QUrl(site.url("/index.html"))});
    QTest::keyClick(window->filter(), Qt::Key_Down);
    EXPECT_TRUE(window->list()->hasFocus());
    QSignalSpy loaded(view(0), &QWebEngineView::loadFinished);
    QTest::keyClick(window->list(), Qt::Key_Return);
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_EQ(view(0)->LocationURL(), site.url("/index.html"));
    EXPECT_EQ(visible(), 0);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EVENTUALLY(pageHasKeys(), 5000);

    // It opens again over the newest visits; Esc closes it.
    form->action(Command::ShowHistory)->trigger();
    ASSERT_TRUE(window->isVisible());
    EXPECT_EQ(window->filter()->text(), "home");
    window->filter()->clear();
    EXPECT_EQ(window->listed().value(0), QUrl(site.url("/index.html")));
    EXPECT_EQ(window->listed().size(), 4);
    QTest::keyClick(window->filter(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(BrowsingHistory, ClearHistoryAsksThenEmptiesTheStoreTheListAndTheSuggestions)
{
    open("/index.html");
    open("/dir1/page2.html");
    form->action(Command::ShowHistory)->trigger();
    HistoryWindow *window = form->historyWindow();
    ASSERT_EQ(window->listed().size(), 2);

    // No keeps it all.
    answerWhenShown<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::No)->click(); });
    menuItem("Go", "Clear History...")->trigger();
    EXPECT_EQ(history->visitCount(), 2);

    answerWhenShown<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    menuItem("Go", "Clear History...")->trigger();
    EXPECT_EQ(history->visitCount(), 0);
    EXPECT_TRUE(window->listed().isEmpty());
    EXPECT_FALSE(window->openButton()->isEnabled());
    EXPECT_EQ(statusBar()->panelText(1), "History cleared");
    window->close();
    typeIntoAddressBox("page");
    EXPECT_FALSE(suggestionList()->isVisible());
    EXPECT_TRUE(form->addressCompleter()->suggestions().isEmpty());
}

TEST_F(BrowsingHistory, HostileTitlesAreTextAndNeverRunNorBound)
{
    site.server().setRoute(
        "/hostile.html",
        "<html><head><title>&lt;img src=x onerror=alert(1)&gt;&lt;b&gt;bold&lt;/b&gt; "
        "\u202Egnp.exe</title></head><body>hi</body></html>");
    open("/hostile.html");
    const QString title = titleOf("/hostile.html");
    EXPECT_EQ(title, "<img src=x onerror=alert(1)><b>bold</b> gnp.exe");
    evaluate(0, "document.title = 'x'.repeat(1000000)");
    EXPECT_EVENTUALLY_EQ(titleOf("/hostile.html").size(), History::maxTitleLength, 10000);
    evaluate(0, "document.title = '<i>Markup</i>'");
    EXPECT_EVENTUALLY_EQ(titleOf("/hostile.html"), QString("<i>Markup</i>"), 10000);

    // The list and the window show it as the text it is.
    typeIntoAddressBox("markup");
    EXPECT_EVENTUALLY(suggestionList()->isVisible(), 5000);
    EXPECT_EQ(suggestionList()->model()->index(0, 0).data().toString(),
              "<i>Markup</i> \u2013 " + site.url("/hostile.html"));
    press(Qt::Key_Escape);
    form->action(Command::ShowHistory)->trigger();
    EXPECT_EQ(form->historyWindow()->list()->model()->index(0, 0).data().toString(),
              "<i>Markup</i>");
    form->historyWindow()->close();

    // A page that moves the view to a script or data address leaves nothing
    // of it in the history, nor on offer.
    typeIntoAddressBox("javascript:void(document.title='scripted')");
    EXPECT_FALSE(suggestionList()->isVisible());
    press(Qt::Key_Return);
    EXPECT_EVENTUALLY_EQ(view(0)->title(), QString("scripted"), 10000);
    EXPECT_EVENTUALLY_EQ(titleOf("/hostile.html"), QString("scripted"), 10000);
    for (const QString &visit : kept())
        EXPECT_TRUE(visit.startsWith("http://127.0.0.1:")) << visit.toStdString();
    EXPECT_TRUE(history->suggestions("javascript", 10).isEmpty());
}

TEST_F(BrowsingHistory, APageThatKeepsRenamingItselfLeavesTheTypingAlone)
{
    site.server().setRoute("/ticker.html",
                           "<html><head><title>0</title><script>var n = 0;"
                           "setInterval(function(){ document.title = String(++n); }, 20);"
                           "</script></head><body>tick</body></html>");
    open("/ticker.html");
    typeIntoAddressBox("half typ");
    QSignalSpy titles(view(0), &QWebEngineView::titleChanged);
    EXPECT_EVENTUALLY(titles.count() >= 5, 10000);
    EXPECT_EQ(addressBox()->text(), "half typ");
}

} // namespace
