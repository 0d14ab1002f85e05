// What anyone expects of a browser window: find in page, zoom, an address box
// that tells the truth, downloads that ask where to go.
#include "tests/browser/SiteWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/StatusBar.h"
#include "platform/TabStrip.h"
#include "platform/WebBrowser.h"
#include "shell/Downloads.h"
#include "tests/support/TestSupport.h"
#include "windows/FindBar.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

namespace {

class BrowserWindow : public SiteWindowFixture {
protected:
    void SetUp() override
    {
        SiteWindowFixture::SetUp();
        site.server().setRoute("/words.html",
                               "<html><head><title>Words</title></head><body>"
                               "<p>apple pear apple</p><p>Apple plum apple</p>"
                               "<div style=\"height:3000px\"></div><p id=\"bottom\">end</p>"
                               "</body></html>");
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    void open(const QString &path)
    {
        const int before = form->harvestsDone();
        ASSERT_TRUE(view(0)->Navigate(site.url(path)));
        ASSERT_TRUE(waitForHarvests(before + 1)) << path.toStdString();
    }

    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }

    // Waits (bounded) for the find bar to say `expected`.
    void findResult(const QString &expected)
    {
        EXPECT_EVENTUALLY_EQ(form->findBar()->resultText(), expected, 15000);
    }
};

TEST_F(BrowserWindow, FindCountsStepsBothWaysAndClosesWithEsc)
{
    open("/words.html");
    const QRect pageBefore = view(0)->geometry();
    press(Qt::Key_F, Qt::ControlModifier);
    FindBar *bar = form->findBar();
    ASSERT_TRUE(bar->isVisible());
    auto *box = bar->findChild<QLineEdit *>("findText");
    ASSERT_TRUE(box->hasFocus());
    // The view gives the bar room instead of lying under it.
    EXPECT_GE(view(0)->geometry().top(), bar->geometry().bottom());
    EXPECT_LT(view(0)->height(), pageBefore.height());

    QTest::keyClicks(box, "apple");
    findResult("1 of 4");
    // Match case: three of the four, counted from where the search stood.
    bar->findChild<QCheckBox *>("findMatchCase")->setChecked(true);
    EXPECT_EVENTUALLY(bar->resultText().endsWith(" of 3"), 5000);
    const int first = bar->resultText().section(' ', 0, 0).toInt();
    ASSERT_TRUE(first >= 1 && first <= 3) << bar->resultText().toStdString();
    const auto nth = [first](int step) {
        return QString("%1 of 3").arg((first - 1 + step + 3) % 3 + 1);
    };
    QTest::keyClick(box, Qt::Key_Return);
    findResult(nth(1));
    QTest::keyClick(box, Qt::Key_F3);
    findResult(nth(2));
    QTest::keyClick(box, Qt::Key_Return, Qt::ShiftModifier);
    findResult(nth(1));
    QTest::keyClick(box, Qt::Key_F3, Qt::ShiftModifier);
    findResult(nth(0));
    box->setText("cherry");
    findResult("No matches");

    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(view(0)->geometry(), pageBefore);
    // Esc was the bar's: the page did not stop being what it was.
    EXPECT_EQ(view(0)->LocationURL(), site.url("/words.html"));
}

TEST_F(BrowserWindow, FindSearchesTheViewThatShows)
{
    open("/words.html");
    // The whole page of this harvest, not a page before it, before anything
    // is counted.
    ASSERT_TRUE(waitForGeneratedViews());
    ASSERT_TRUE(evaluate(1, "document.body.textContent.includes('pear')").toBool());
    showView(1);
    press(Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(form->findBar()->view(), view(1));
    // The Source Code view shows the page's markup: the word "apple" four
    // times, whatever the letter case.
    QTest::keyClicks(form->findBar()->findChild<QLineEdit *>("findText"), "apple");
    findResult("1 of 4");
}

TEST_F(BrowserWindow, ZoomKeysAndWheelStepTheShowingViewAndTheStatusSaysSo)
{
    open("/words.html");
    view(0)->setFocus();
    press(Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(view(0)->zoomFactor(), 1.1);
    EXPECT_EQ(statusBar()->panelText(2), "Zoom 110%");
    press(Qt::Key_Minus, Qt::ControlModifier);
    press(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(view(0)->zoomFactor(), 0.9);
    EXPECT_EQ(statusBar()->panelText(2), "Zoom 90%");
    // Each view keeps its own level; the panel follows the one that shows.
    showView(2);
    EXPECT_DOUBLE_EQ(view(2)->zoomFactor(), 1.0);
    EXPECT_EQ(statusBar()->panelText(2), "");
    showView(0);
    EXPECT_EQ(statusBar()->panelText(2), "Zoom 90%");
    press(Qt::Key_0, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(view(0)->zoomFactor(), 1.0);
    EXPECT_EQ(statusBar()->panelText(2), "");

    // Ctrl and the wheel, over the page.
    QWidget *page = view(0)->focusProxy();
    ASSERT_NE(page, nullptr);
    const QPointF at(20, 20);
    QWheelEvent up(at, page->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(page, &up);
    EXPECT_DOUBLE_EQ(view(0)->zoomFactor(), 1.1);
    // The smallest and largest levels hold.
    for (int i = 0; i < 30; ++i)
        form->action(Command::ZoomOut)->trigger();
    EXPECT_DOUBLE_EQ(view(0)->zoomFactor(), Form1::zoomLevels().first());
    for (int i = 0; i < 30; ++i)
        form->action(Command::ZoomIn)->trigger();
    EXPECT_DOUBLE_EQ(view(0)->zoomFactor(), Form1::zoomLevels().last());
}

TEST_F(BrowserWindow, TheAddressBoxFollowsFragmentsAndPushState)
{
    open("/words.html");
    view(0)->page()->runJavaScript("location.hash = 'bottom';");
    EXPECT_EVENTUALLY_EQ(addressBox()->text(), site.url("/words.html#bottom"), 5000);
    view(0)->page()->runJavaScript("history.pushState({}, '', '/dir1/pushed.html');");
    EXPECT_EVENTUALLY_EQ(addressBox()->text(), site.url("/dir1/pushed.html"), 5000);
    // Refresh loads the page that shows, not the one before it.
    EXPECT_EQ(view(0)->LocationURL(), site.url("/dir1/pushed.html"));
}

TEST_F(BrowserWindow, EscRestoresTheAddressAndEnterGivesThePageTheKeys)
{
    open("/words.html");
    press(Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(addressBox()->hasFocus());
    QTest::keyClicks(addressBox(), "half typed");
    // The page changing its own address leaves what the user types alone.
    view(0)->page()->runJavaScript("location.hash = 'bottom';");
    // The box hears of every change of the address as it happens.
    EXPECT_EVENTUALLY(view(0)->url().fragment() == "bottom", 10000);
    EXPECT_EQ(addressBox()->text(), "half typed");
    QTest::keyClick(addressBox(), Qt::Key_Escape);
    EXPECT_EQ(addressBox()->text(), view(0)->LocationURL());
    EXPECT_EQ(view(0)->LocationURL(), site.url("/words.html#bottom"));

    addressBox()->selectAll();
    QTest::keyClicks(addressBox(), site.url("/index.html"));
    const int before = form->harvestsDone();
    QTest::keyClick(addressBox(), Qt::Key_Return);
    ASSERT_TRUE(waitForHarvests(before + 1));
    EXPECT_FALSE(addressBox()->hasFocus());
    QWidget *focus = QApplication::focusWidget();
    EXPECT_TRUE(focus == view(0) || view(0)->isAncestorOf(focus));
}

TEST_F(BrowserWindow, AltHomeGoesToTheStartPage)
{
    open("/index.html");
    showView(2);
    press(Qt::Key_Home, Qt::AltModifier);
    ASSERT_TRUE(waitForUrl(0, QUrl::fromLocalFile(programFile("start.html")).toString()));
    EXPECT_EQ(visible(), 0);
}

TEST_F(BrowserWindow, TabGoesRoundTheBarTheTabsAndThePageAndBackAgain)
{
    open("/words.html");
    const auto where = [this]() -> QString {
        QWidget *focus = QApplication::focusWidget();
        if (!focus)
            return "nothing";
        if (focus == view(0) || view(0)->isAncestorOf(focus))
            return "page";
        if (focus == tabStrip()->tabBar())
            return "tabs";
        return focus->objectName();
    };
    addressBox()->setFocus(Qt::TabFocusReason);
    QStringList forward;
    for (int i = 0; i < 12 && (forward.isEmpty() || forward.last() != "txtUrl"); ++i) {
        const QString from = where();
        press(Qt::Key_Tab);
        // The page gives the keys back in its own time.
        QUARROW_WAIT_UNTIL(where() != from, 5000);
        forward << where();
    }
    const QString path = forward.join(" > ").toUtf8();
    // From the address box: Go, the tabs, the page, then round through the
    // bar's buttons to the address box again.
    ASSERT_GE(forward.size(), 5) << path.toStdString();
    EXPECT_EQ(forward.mid(0, 3), QStringList({"cmdGo", "tabs", "page"})) << path.toStdString();
    EXPECT_TRUE(forward.contains("cmdRefresh")) << path.toStdString();
    EXPECT_TRUE(forward.contains("cmdWebsite")) << path.toStdString();
    EXPECT_EQ(forward.last(), "txtUrl") << path.toStdString();

    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(where(), "cmdWebsite");
}

TEST_F(BrowserWindow, ThePageKeepsTheKeysWhenAnotherViewIsShown)
{
    open("/words.html");
    const auto inView = [](WebBrowser *view) {
        QWidget *focus = QApplication::focusWidget();
        return focus && (focus == view || view->isAncestorOf(focus));
    };
    // Enter in the address box hands the keys to the page.
    press(Qt::Key_L, Qt::ControlModifier);
    const int before = form->harvestsDone();
    QTest::keyClick(addressBox(), Qt::Key_Return);
    ASSERT_TRUE(waitForHarvests(before + 1));
    QUARROW_WAIT_UNTIL(inView(view(0)), 3000);
    ASSERT_TRUE(inView(view(0)));
    press(Qt::Key_2, Qt::ControlModifier);
    QUARROW_WAIT_UNTIL(inView(view(1)), 3000);
    QWidget *focus = QApplication::focusWidget();
    EXPECT_TRUE(focus == view(1) || view(1)->isAncestorOf(focus))
        << (focus ? focus->metaObject()->className() : "nothing");
}

class ReadableViews : public BrowserWindow {
protected:
    // Opens a page in the live view and waits until both generated views
    // have loaded the harvest's pages.
    void openAndWaitForViews(const QString &path)
    {
        open(path);
        ASSERT_TRUE(waitForGeneratedViews()) << path.toStdString();
    }
    QString text(int index, const QString &script) { return evaluate(index, script).toString(); }
};

TEST_F(ReadableViews, TheSourceIsMonospacedOneElementALineAndKeepsItsIndentation)
{
    site.server().setRoute("/lines.html", "<html>\r\n<body>\r\n    <p>deep</p>\r\n"
                                          "<img src=\"pics/a.gif\">\r\n</body>\r\n</html>\r\n");
    openAndWaitForViews("/lines.html");
    showView(1);
    const QString line = "document.querySelector('.b>div')";
    EXPECT_EQ(text(1, "getComputedStyle(" + line + ").whiteSpace"), "pre-wrap");
    EXPECT_TRUE(text(1, "getComputedStyle(" + line + ").fontFamily").contains("monospace"));
    // One line of the view for each line of the body's markup as the engine
    // writes it.
    const int lines = evaluate(0, "document.body.outerHTML.split('\\n').length").toInt();
    EXPECT_EQ(evaluate(1, "document.querySelectorAll('.b>div').length").toInt(), lines);
    // Line by line from the text content: innerText leaves out a block of
    // lines that has not been laid out yet.
    EXPECT_TRUE(text(1, "Array.from(document.querySelectorAll('.b>div'), d => d.textContent)"
                        ".join('\\n')")
                    .contains("\n    <p>deep</p>\n"));
    EXPECT_EQ(text(1, "document.querySelector('.intro').textContent"),
              "Live document: the body as the page's scripts left it. The served source: View > "
              "Page Source (Ctrl+U)");
    // Tags (the lines' own colour), values and text each have a colour of their own.
    EXPECT_EQ(evaluate(1, "new Set(['.b>div','.v','.x'].map(c => "
                          "getComputedStyle(document.querySelector(c)).color)).size")
                  .toInt(),
              3);
}

// A long page is shown in blocks that are laid out only in sight; the reader
// sees and copies the same lines as from one block.
TEST_F(ReadableViews, ALongPageReadsAndCopiesAsOneText)
{
    QByteArray page = "<html><body>\r\n";
    for (int i = 0; i < 1200; ++i)
        page += "<p>line " + QByteArray::number(i) + " <img src=\"p/" + QByteArray::number(i) +
                ".gif\"></p>\r\n";
    site.server().setRoute("/long.html", page + "</body></html>\r\n");
    openAndWaitForViews("/long.html");
    showView(1);
    EXPECT_GT(evaluate(1, "document.querySelectorAll('.b').length").toInt(), 2);
    EXPECT_EQ(evaluate(2, "document.images.length").toInt(), 1200);
    // Every line once, in order, with no blank line where one block meets the
    // next: only those of the markup itself.
    const QString copied = text(1, "getSelection().selectAllChildren(document.body);"
                                   "String(getSelection())");
    const int blanks =
        evaluate(0, "(document.body.outerHTML.match(/\\n\\n/g) || []).length").toInt();
    EXPECT_EQ(copied.count("\n\n"), blanks);
    int lines = 0, from = 0;
    for (int i = 0; i < 1200; ++i) {
        const int at = copied.indexOf(QStringLiteral("<p>line %1 ").arg(i), from);
        if (at < 0)
            break;
        from = at;
        ++lines;
    }
    EXPECT_EQ(lines, 1200);
    // The end of the page is reached as it would be in one block, and its
    // lines are numbered on from the blocks above it.
    evaluate(1, "window.scrollTo(0, document.documentElement.scrollHeight); 0");
    EXPECT_EVENTUALLY(evaluate(1, "var r = document.querySelector('.b:last-child>div:last-child')"
                                  ".getBoundingClientRect(); r.height > 0 && r.top < innerHeight")
                          .toBool(),
                      5000);
}

TEST_F(ReadableViews, WrapLongLinesIsASwitchThatIsKept)
{
    site.server().setRoute("/wide.html",
                           "<html><body><p>" + QByteArray(3000, 'w') + "</p></body></html>");
    openAndWaitForViews("/wide.html");
    showView(1);
    const QString wide = "document.documentElement.scrollWidth > innerWidth + 100";
    ASSERT_TRUE(form->action(Command::WrapLongLines)->isChecked());
    EXPECT_FALSE(evaluate(1, wide).toBool());
    form->action(Command::WrapLongLines)->trigger();
    EXPECT_EVENTUALLY(evaluate(1, wide).toBool(), 5000);
    // The next page's view comes without wrapping too, and so does the next run.
    openAndWaitForViews("/wide.html");
    EXPECT_TRUE(evaluate(1, wide).toBool());
    form.reset();
    loadWindow();
    EXPECT_FALSE(form->action(Command::WrapLongLines)->isChecked());
    form->action(Command::WrapLongLines)->trigger();
}

TEST_F(ReadableViews, WidePicturesFitTheViewAndAPageWithoutPicturesSaysSo)
{
    site.server().setRoute("/wide.png", TestSite::pngBytes(3000, 40), "image/png");
    site.server().setRoute("/wide.html", "<html><body><img src=\"wide.png\"><img "
                                         "src=\"dir1/b.png\"></body></html>");
    openAndWaitForViews("/wide.html");
    EXPECT_EVENTUALLY(evaluate(2, "Array.from(document.images).every(i => i.complete && "
                                  "i.naturalWidth > 0)")
                          .toBool(),
                      10000);
    const int room = evaluate(2, "document.documentElement.clientWidth").toInt();
    EXPECT_LE(evaluate(2, "document.images[0].getBoundingClientRect().width").toInt(), room);
    EXPECT_EQ(evaluate(2, "document.images[1].getBoundingClientRect().width").toInt(), 4);
    EXPECT_FALSE(text(2, "document.body.innerText").contains("No pictures on this page"));

    site.server().setRoute("/bare.html", "<html><body><p>words only</p></body></html>");
    openAndWaitForViews("/bare.html");
    EXPECT_TRUE(text(2, "document.body.innerText").contains("No pictures on this page"));
}

TEST_F(ReadableViews, EachNewPageOpensAtTheTop)
{
    QByteArray tall = "<html><body>";
    for (int i = 0; i < 400; ++i)
        tall += "<p>line " + QByteArray::number(i) + "</p>\n";
    site.server().setRoute("/tall.html", tall + "</body></html>");
    openAndWaitForViews("/tall.html");
    evaluate(1, "window.scrollTo(0, 3000); window.scrollY");
    EXPECT_GT(evaluate(1, "window.scrollY").toInt(), 1000);
    site.server().setRoute("/tall2.html", tall + "<p>more</p></body></html>");
    openAndWaitForViews("/tall2.html");
    EXPECT_EQ(evaluate(1, "window.scrollY").toInt(), 0);
}

TEST_F(ReadableViews, WhileANewPageLoadsTheViewsSayTheyAreOutOfDate)
{
    openAndWaitForViews("/index.html");
    site.server().holdRoute("/slow.html");
    view(0)->Navigate(site.url("/slow.html"));
    for (int index : {1, 2}) {
        EXPECT_EVENTUALLY(evaluate(index, "!!document.getElementById('quarrow-updating')").toBool(),
                          10000);
    }
    EXPECT_TRUE(text(1, "document.getElementById('quarrow-updating').textContent")
                    .startsWith("Being updated"));
}

TEST_F(ReadableViews, TheImagesViewShowsItsTextBeforeItsPicturesArrive)
{
    site.server().holdRoute("/pics/never.gif");
    // The live page never fetches its picture (it is lazy and far below);
    // the Images view asks for it and finishes loading although it never comes.
    site.server().setRoute("/held.html", "<html><body><div style=\"height:20000px\"></div>"
                                         "<img loading=\"lazy\" src=\"pics/never.gif\">"
                                         "</body></html>");
    openAndWaitForViews("/held.html");
    EXPECT_TRUE(form->isGeneratedPage(view(2)->url()));
    EXPECT_EVENTUALLY(site.server().requests().contains("/pics/never.gif"), 10000);
    EXPECT_FALSE(view(2)->Busy());
}

class Downloading : public BrowserWindow {
protected:
    void SetUp() override
    {
        BrowserWindow::SetUp();
        site.server().setRoute("/files/data.zip", payload, "application/zip");
        ASSERT_TRUE(QDir().mkpath(Downloads::startFolder()));
    }

    // Answers the Save As dialog with a name, as a user would type it.
    void saveAs(const QString &path, QString *offeredFolder = nullptr,
                QString *offeredName = nullptr)
    {
        answerWhenShown<QFileDialog>([=](QFileDialog *dialog) {
            if (offeredFolder)
                *offeredFolder = dialog->directory().absolutePath();
            auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            if (offeredName)
                *offeredName = name->text();
            name->setText(path);
            QTest::keyClick(name, Qt::Key_Return);
        });
    }

    QByteArray payload = QByteArray("PK\x03\x04 quarrow test payload ", 26).repeated(1000);
};

TEST_F(Downloading, ALinkToAFileIsSavedWhereTheUserSays)
{
    const QString target = folder.path() + "/saved.zip";
    QString offeredFolder, offeredName;
    saveAs(target, &offeredFolder, &offeredName);
    view(0)->Navigate(site.url("/files/data.zip"));
    EXPECT_EVENTUALLY(testsupport::readFile(target) == payload, 15000);
    EXPECT_EQ(offeredFolder, QDir(Downloads::startFolder()).absolutePath());
    EXPECT_EQ(offeredName, "data.zip");
    EXPECT_EVENTUALLY(statusBar()->panelText(2).startsWith("Downloaded saved.zip"), 5000);
    EXPECT_FALSE(form->action(Command::CancelDownload)->isEnabled());
}

TEST_F(Downloading, CancellingTheDialogSavesNothing)
{
    answerWhenShown<QFileDialog>([](QFileDialog *dialog) { dialog->reject(); });
    view(0)->Navigate(site.url("/files/data.zip"));
    EXPECT_EVENTUALLY_EQ(statusBar()->panelText(2), QString("Download cancelled"), 15000);
    EXPECT_TRUE(QDir(Downloads::startFolder()).entryList(QDir::Files).isEmpty());
}

TEST_F(Downloading, AnExistingFileIsNotOverwrittenWithoutAYes)
{
    const QString target = folder.path() + "/keep.zip";
    ASSERT_TRUE(testsupport::writeFile(target, "mine"));
    bool asked = false;
    answerWhenShown<QFileDialog>([&asked, target](QFileDialog *dialog) {
        // The dialog asks first; the user says No, then gives up.
        answerWhenShown<QMessageBox>([&asked, dialog](QMessageBox *question) {
            asked = true;
            question->button(QMessageBox::No)->click();
            QTimer::singleShot(100, dialog, &QDialog::reject);
        });
        auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
        name->setText(target);
        QTest::keyClick(name, Qt::Key_Return);
    });
    view(0)->Navigate(site.url("/files/data.zip"));
    EXPECT_EVENTUALLY_EQ(statusBar()->panelText(2), QString("Download cancelled"), 15000);
    EXPECT_TRUE(asked);
    EXPECT_EQ(testsupport::readFile(target), QByteArray("mine"));
}

TEST_F(Downloading, ADownloadUnderWayCanBeCancelled)
{
    site.server().stallRoute("/files/slow.zip");
    site.server().setRoute("/files/slow.zip", payload, "application/zip");
    const QString target = folder.path() + "/slow.zip";
    saveAs(target);
    view(0)->Navigate(site.url("/files/slow.zip"));
    EXPECT_EVENTUALLY(form->action(Command::CancelDownload)->isEnabled(), 15000);
    form->action(Command::CancelDownload)->trigger();
    EXPECT_EVENTUALLY_EQ(statusBar()->panelText(2), QString("Download of slow.zip cancelled"),
                         10000);
    EXPECT_FALSE(form->action(Command::CancelDownload)->isEnabled());
    EXPECT_FALSE(QFile::exists(target));
}

} // namespace

namespace {
TEST_F(Downloading, ADownloadLeavesTheAddressBoxOnThePagesOwnAddress)
{
    site.server().setRoute("/links.html", "<html><head><title>Links</title></head><body>"
                                          "<a id=\"zip\" href=\"/files/data.zip\">zip</a>"
                                          "</body></html>");
    const struct {
        const char *name;
        std::function<void()> start;
    } ways[] = {
        {"a link",
         [this] { view(0)->page()->runJavaScript("document.getElementById('zip').click();"); }},
        {"the address box",
         [this] {
             addressBox()->setText(site.url("/files/data.zip"));
             QTest::keyClick(addressBox(), Qt::Key_Return);
         }},
    };
    int n = 0;
    for (const auto &way : ways) {
        SCOPED_TRACE(way.name);
        open("/links.html");
        const QString target = folder.path() + QString("/got%1.zip").arg(++n);
        saveAs(target);
        way.start();
        EXPECT_EVENTUALLY(testsupport::readFile(target) == payload, 15000);
        EXPECT_EVENTUALLY(statusBar()->panelText(2).startsWith("Downloaded"), 5000);
        EXPECT_EQ(view(0)->LocationURL(), site.url("/links.html"));
        EXPECT_EQ(addressBox()->text(), site.url("/links.html"));
    }
}
} // namespace
