#include "tests/browser/SiteWindowFixture.h"
#include "tests/support/Eventually.h"

#include "platform/CertificateExceptions.h"
#include "platform/CrashPanel.h"
#include "platform/PageGuard.h"
#include "platform/ProgressBar.h"
#include "platform/QuarrowScheme.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "shell/GeneratedViews.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TlsServer.h"
#include "windows/PageInfoWindow.h"
#include "windows/SecurityMark.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTreeWidget>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <csignal>

namespace {

class TroublePages : public SiteWindowFixture {
protected:
    PageGuard *guard(int index = 0) const { return view(index)->guard(); }

    // Opens an address as the address box and Go do.
    void go(const QString &address)
    {
        addressBox()->setText(address);
        form->action(Command::Go)->trigger();
    }

    // Opens an address and waits for its harvest and both generated views.
    void open(const QString &address)
    {
        const int before = form->harvestsDone();
        go(address);
        ASSERT_TRUE(waitForHarvests(before + 1)) << address.toStdString();
        ASSERT_TRUE(waitForGeneratedViews()) << address.toStdString();
    }

    // Opens an address that fails and waits for our page in its place.
    void openFailing(const QString &address, int index = 0)
    {
        QSignalSpy shown(guard(index), &PageGuard::ownPageShown);
        if (index == 0)
            go(address);
        else
            view(index)->Navigate(address);
        ASSERT_TRUE(shown.wait(20000)) << address.toStdString();
        ASSERT_TRUE(guard(index)->ownPageShows());
    }

    QString pageText(int index = 0)
    {
        return evaluate(index, "document.body ? document.body.innerText : ''").toString();
    }

    // Clicks an element of the page that shows, as a user's click does.
    void click(int index, const QString &id)
    {
        ASSERT_TRUE(
            evaluate(index, QStringLiteral("(function(){var e=document.getElementById('%1');"
                                           "if(!e)return false;e.click();return true;})()")
                                .arg(id))
                .toBool())
            << "no element #" << id.toStdString();
    }

    // The working files as they are now.
    QList<QByteArray> workingFiles() const
    {
        QList<QByteArray> files;
        for (const QString &name : WorkingFiles::startupOrder())
            files << testsupport::readFile(programFile(name));
        return files;
    }

    QString failureLine(int index)
    {
        return evaluate(index, "(function(){var e=document.getElementById('quarrow-failed');"
                               "return e?e.textContent:''})()")
            .toString();
    }
};

TEST_F(TroublePages, AFailedLoadShowsOurPageAndHarvestsNothing)
{
    const quint16 refusing = testsupport::refusingPort();
    ASSERT_NE(refusing, 0);
    const struct {
        QString address;
        QString reason;
        QString engineName;
    } cases[] = {
        {QStringLiteral("http://127.0.0.1:%1/nothing.html").arg(refusing),
         "The server refused the connection", "ERR_CONNECTION_REFUSED"},
        {"http://no-such-host.invalid/page.html", "No such host", "ERR_NAME_NOT_RESOLVED"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        open(site.url("/index.html"));
        form->action(Command::PageInfo)->trigger();
        QPointer<PageInfoWindow> info = form->pageInfoWindow();
        ASSERT_TRUE(info);
        EXPECT_EVENTUALLY(info->inventory().valid &&
                              info->inventory().pageAddress == site.url("/index.html"),
                          20000);
        const int harvests = form->harvestsDone();
        const quint64 generation = form->generatedViews()->generation();
        const QList<QByteArray> files = workingFiles();
        const int entries = view(0)->history()->count();

        openFailing(c.address);
        const QString sentence = "Could not open " + c.address + ": " + c.reason;
        // The Browser view: our page, the address, the reason, Try Again.
        const QString text = pageText();
        EXPECT_TRUE(text.contains(c.address)) << text.toStdString();
        EXPECT_TRUE(text.contains(c.reason + ".")) << text.toStdString();
        EXPECT_TRUE(text.contains(c.engineName)) << text.toStdString();
        EXPECT_EQ(evaluate(0, "document.getElementById('try-again').textContent").toString(),
                  "Try Again");
        EXPECT_EQ(view(0)->LocationURL(), c.address);
        EXPECT_EQ(addressBox()->text(), c.address);
        // Nothing of the engine's own error page is left.
        EXPECT_EQ(evaluate(0, "document.images.length + document.scripts.length").toInt(), 0);
        // The status bar, the views and Page Info say the same.
        EXPECT_EQ(statusBar()->panelText(1), sentence);
        EXPECT_FALSE(progressBar()->isVisible());
        EXPECT_EVENTUALLY_EQ(failureLine(1), sentence, 10000);
        EXPECT_EVENTUALLY_EQ(failureLine(2), sentence, 10000);
        EXPECT_EQ(info->notice(), sentence);
        EXPECT_TRUE(info->isVisible());
        EXPECT_EQ(info->inventory().pageAddress, site.url("/index.html"));
        // The last page's harvest stays in the views and the files.
        EXPECT_EQ(view(1)->LocationURL(), generatedAddress(1));
        EXPECT_EQ(view(2)->LocationURL(), generatedAddress(2));
        EXPECT_TRUE(evaluate(1, "document.body.textContent").toString().contains("<h1>Home</h1>"));
        EXPECT_EQ(form->generatedViews()->generation(), generation);
        EXPECT_EQ(form->results().Links[1], QStringList{site.url("/pics/a.gif")});
        // Refresh tries the address again; what shows meanwhile is not harvested.
        {
            QSignalSpy again(guard(), &PageGuard::ownPageShown);
            form->action(Command::Refresh)->trigger();
            ASSERT_TRUE(again.wait(20000));
            EXPECT_EQ(statusBar()->panelText(1), sentence);
        }
        // A Source Code view served again says it too.
        view(1)->Refresh();
        ASSERT_TRUE(waitForLoad(1));
        EXPECT_EQ(failureLine(1), sentence);

        // The failed address is one entry, and Back leaves it.
        EXPECT_EQ(view(0)->history()->count(), entries + 1);
        ASSERT_TRUE(form->action(Command::Back)->isEnabled());
        form->action(Command::Back)->trigger();
        // The page before loads again: one more harvest, not two.
        ASSERT_TRUE(waitForHarvests(harvests + 1));
        ASSERT_TRUE(waitForGeneratedViews());
        EXPECT_EQ(view(0)->LocationURL(), site.url("/index.html"));
        EXPECT_EQ(form->harvestsDone(), harvests + 1);
        EXPECT_EQ(form->generatedViews()->generation(), generation + 1);
        EXPECT_EQ(workingFiles(), files);
        EXPECT_EQ(failureLine(1), QString());
        EXPECT_EVENTUALLY(info && info->notice().isEmpty(), 10000);
        EXPECT_EQ(statusBar()->panelText(1), "Done");
        // Forward tries the failed address again and shows our page again.
        QSignalSpy again(guard(), &PageGuard::ownPageShown);
        form->action(Command::Forward)->trigger();
        ASSERT_TRUE(again.wait(20000));
        EXPECT_EQ(view(0)->LocationURL(), c.address);
        EXPECT_EQ(view(0)->history()->count(), entries + 1);
        if (info)
            info->close();
    }
}

TEST_F(TroublePages, TryAgainOpensThePageOnceTheServerAnswers)
{
    open(site.url("/index.html"));
    const quint16 port = testsupport::refusingPort();
    ASSERT_NE(port, 0);
    const QString address = QStringLiteral("http://127.0.0.1:%1/").arg(port);
    openFailing(address);
    const int entries = view(0)->history()->count();
    const int harvests = form->harvestsDone();

    // A server comes up on the port that refused.
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, port));
    QObject::connect(&listener, &QTcpServer::newConnection, [&listener] {
        while (QTcpSocket *socket = listener.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                if (!socket->readAll().contains("\r\n\r\n"))
                    return;
                const QByteArray body = "<html><head><title>Back up</title></head><body>"
                                        "<p>Up again</p></body></html>";
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                              QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
                              body);
                socket->disconnectFromHost();
            });
        }
    });

    click(0, "try-again");
    ASSERT_TRUE(waitForHarvests(harvests + 1));
    EXPECT_EQ(view(0)->LocationURL(), address);
    EXPECT_TRUE(pageText().contains("Up again"));
    EXPECT_FALSE(guard()->ownPageShows());
    // The page took the failed entry's place.
    EXPECT_EQ(view(0)->history()->count(), entries);
    EXPECT_EQ(statusBar()->panelText(1), "Done");
    form->action(Command::Back)->trigger();
    EXPECT_TRUE(waitForUrl(0, site.url("/index.html")));
}

TEST_F(TroublePages, AnHttpErrorPageIsARealPage)
{
    const struct {
        QByteArray status;
        QString said;
    } cases[] = {
        {"404 Not Found", "Done: 404 Not Found"},
        {"500 Internal Server Error", "Done: 500 Internal Server Error"},
        {"503 Service Unavailable", "Done: 503 Service Unavailable"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.status.toStdString());
        const QString path = "/status-" + QString::fromLatin1(c.status.left(3)) + ".html";
        site.server().setRoute(path,
                               "<html><head><title>Trouble</title></head><body><p>Server says " +
                                   c.status + "</p><img src=\"/pics/a.gif\"></body></html>",
                               "text/html; charset=utf-8", c.status);
        open(site.url(path));
        EXPECT_FALSE(guard()->ownPageShows());
        EXPECT_EQ(statusBar()->panelText(1), c.said);
        EXPECT_TRUE(pageText().contains("Server says " + c.status));
        EXPECT_TRUE(evaluate(1, "document.body.textContent")
                        .toString()
                        .contains("Server says " + QString::fromLatin1(c.status)));
        EXPECT_EQ(form->results().Links[1], QStringList{site.url("/pics/a.gif")});
        EXPECT_EQ(failureLine(1), QString());
    }
}

TEST_F(TroublePages, AnErrorStatusWithoutAPageIsAFailure)
{
    open(site.url("/index.html"));
    const int harvests = form->harvestsDone();
    site.server().setRoute("/empty.html", "", "text/html", "404 Not Found");
    openFailing(site.url("/empty.html"));
    const QString reason = "The server answered 404 Not Found and sent no page";
    EXPECT_TRUE(pageText().contains(reason + ".")) << pageText().toStdString();
    EXPECT_EQ(statusBar()->panelText(1),
              "Could not open " + site.url("/empty.html") + ": " + reason);
    open(site.url("/dir1/page2.html"));
    EXPECT_EQ(form->harvestsDone(), harvests + 1);
}

TEST_F(TroublePages, TheStatusBarSaysWhatALoadIsDoing)
{
    site.server().holdRoute("/slow.html");
    const int harvests = form->harvestsDone();
    go(site.url("/slow.html"));
    EXPECT_EVENTUALLY_EQ(statusBar()->panelText(1), QString("Opening 127.0.0.1\u2026"), 10000);
    EXPECT_TRUE(progressBar()->isVisible());
    EXPECT_TRUE(form->action(Command::Stop)->isEnabled());
    form->action(Command::Stop)->trigger();
    EXPECT_EVENTUALLY_EQ(statusBar()->panelText(1), QString("Stopped"), 10000);
    EXPECT_FALSE(progressBar()->isVisible());
    EXPECT_FALSE(form->action(Command::Stop)->isEnabled());
    // What the stopped load left is harvested, as before.
    ASSERT_TRUE(waitForHarvests(harvests + 1));
    ASSERT_TRUE(waitForGeneratedViews());

    // Only the view that shows speaks: a failure of another view's page is
    // said when that view shows.
    showView(1);
    openFailing("http://no-such-host.invalid/", 2);
    EXPECT_NE(statusBar()->panelText(1).left(14), "Could not open");
    showView(2);
    EXPECT_EQ(statusBar()->panelText(1),
              "Could not open http://no-such-host.invalid/: No such host");
    EXPECT_TRUE(pageText(2).contains("No such host"));
}

TEST_F(TroublePages, TheStatusBarFitsANarrowWindow)
{
    form->resize(form->minimumWidth(), 600);
    EXPECT_EVENTUALLY(form->width() <= form->minimumWidth() + 1, 5000);
    StatusBar *bar = statusBar();
    for (int panel : {1, 2}) {
        const QRect box = bar->textRect(panel);
        EXPECT_FALSE(box.isEmpty()) << panel;
        EXPECT_LE(box.right(), bar->width()) << panel;
        EXPECT_LE(bar->mapTo(form.get(), box.topRight()).x(), form->width()) << panel;
    }
    const QRect progress = progressBar()->geometry();
    EXPECT_LE(progress.right(), bar->width());
    const QString longText =
        "Could not open http://example.invalid/" + QString(300, 'x') + ": No such host";
    bar->setPanelText(1, longText);
    const QString shown = bar->shownText(1);
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("No such host")) << shown.toStdString();
    EXPECT_EQ(bar->toolTipAt(bar->textRect(1).center()), longText);
}

class TroubleCertificates : public TroublePages {
protected:
    void SetUp() override
    {
        TroublePages::SetUp();
        ASSERT_TRUE(tls.start()) << tls.error().toStdString();
        tls.setRoute("/", "<html><head><title>Secret</title></head><body><p>Behind a "
                          "self-made certificate</p><img src=\"/pic.gif\"></body></html>");
        tls.setRoute("/other.html", "<html><head><title>Other</title></head><body>"
                                    "<p>Another page of the same host</p></body></html>");
    }
    testsupport::TlsServer tls;
};

TEST_F(TroubleCertificates, TheWarningGoesBackByDefault)
{
    open(site.url("/index.html"));
    const int harvests = form->harvestsDone();
    openFailing(tls.url().toString());
    const QString text = pageText();
    EXPECT_TRUE(text.contains("The certificate is not trusted")) << text.toStdString();
    EXPECT_TRUE(text.contains(tls.url().toString()));
    EXPECT_TRUE(tls.requests().isEmpty()) << "the page itself was never asked for";
    // Go Back is the default; the way on is behind Details.
    EXPECT_EQ(evaluate(0, "document.activeElement ? document.activeElement.id : ''").toString(),
              "go-back");
    EXPECT_EQ(evaluate(0, "document.getElementById('go-back').textContent").toString(), "Go Back");
    EXPECT_FALSE(evaluate(0, "document.querySelector('details').open").toBool());
    EXPECT_EQ(evaluate(0, "document.getElementById('continue').textContent").toString(),
              "Continue to 127.0.0.1 (unsafe)");
    EXPECT_EQ(evaluate(0, "document.getElementById('continue').offsetParent").toString(), "");
    const QString details = evaluate(0, "document.querySelector('details').textContent").toString();
    EXPECT_TRUE(details.contains("CN=127.0.0.1")) << details.toStdString();
    EXPECT_TRUE(details.contains("O=Quarrow Test Site"));
    EXPECT_TRUE(details.contains(tls.certificate().expiryDate().toUTC().toString("d MMM yyyy")))
        << details.toStdString();
    EXPECT_EQ(statusBar()->panelText(1),
              "Could not open " + tls.url().toString() + ": The certificate is not trusted");
    // The address box warns.
    EXPECT_EQ(form->securityMark()->security().level, PageSecurity::NotSecure);
    EXPECT_FALSE(form->securityMark()->security().problem.isNull());
    EXPECT_TRUE(form->securityMark()->isVisible());
    EXPECT_EQ(form->securityMark()->text(), "Not secure");
    EXPECT_EQ(form->harvestsDone(), harvests);

    // The button that has the keys goes back.
    click(0, "go-back");
    EXPECT_TRUE(waitForUrl(0, site.url("/index.html")));
    ASSERT_TRUE(waitForHarvests(harvests + 1));
    EXPECT_FALSE(CertificateExceptions::of(view(0)->page()->profile())->allows("127.0.0.1"));
    EXPECT_EQ(form->securityMark()->security().level, PageSecurity::NotSecure);
    EXPECT_TRUE(form->securityMark()->security().problem.isNull());

    // A second visit warns again.
    openFailing(tls.url("/other.html").toString());
    EXPECT_TRUE(tls.requests().isEmpty());
}

TEST_F(TroubleCertificates, ContinuingHoldsForTheHostForThisRun)
{
    open(site.url("/index.html"));
    openFailing(tls.url().toString());
    const int harvests = form->harvestsDone();
    const int entries = view(0)->history()->count();
    evaluate(0, "document.querySelector('details').open = true");
    click(0, "continue");
    ASSERT_TRUE(waitForHarvests(harvests + 1));
    EXPECT_EQ(view(0)->LocationURL(), tls.url().toString());
    EXPECT_TRUE(pageText().contains("Behind a self-made certificate"));
    EXPECT_EQ(view(0)->history()->count(), entries);
    EXPECT_EQ(statusBar()->panelText(1), "Done");
    EXPECT_TRUE(CertificateExceptions::of(view(0)->page()->profile())->allows("127.0.0.1"));
    // The page is harvested like any other.
    EXPECT_EQ(form->results().Links[1], QStringList{tls.url("/pic.gif").toString()});
    // The address box shows the warning mark; a click shows the chain.
    EXPECT_EVENTUALLY_EQ(form->securityMark()->security().level, PageSecurity::Overridden, 5000);
    SecurityMark *mark = form->securityMark();
    EXPECT_TRUE(mark->isVisible());
    EXPECT_TRUE(mark->text().isEmpty());
    mark->click();
    ASSERT_TRUE(mark->certificateWindow());
    QTreeWidget *chain = mark->certificateWindow()->chain();
    ASSERT_GE(chain->topLevelItemCount(), 1);
    EXPECT_EQ(chain->topLevelItem(0)->text(1), "127.0.0.1");
    EXPECT_TRUE(mark->certificateWindow()->summary().contains("The certificate is not trusted"));
    mark->certificateWindow()->close();

    // Another page of the host opens at once, in this view and in another.
    open(tls.url("/other.html").toString());
    EXPECT_FALSE(guard()->ownPageShows());
    EXPECT_TRUE(pageText().contains("Another page of the same host"));
    EXPECT_EQ(form->securityMark()->security().level, PageSecurity::Overridden);
    QSignalSpy loaded(view(2), &WebBrowser::DownloadComplete);
    view(2)->Navigate(tls.url("/other.html").toString());
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_FALSE(guard(2)->ownPageShows());
    EXPECT_TRUE(pageText(2).contains("Another page of the same host"));

    // Plain http says so; a local file has no mark.
    open(site.url("/index.html"));
    EXPECT_EQ(mark->security().level, PageSecurity::NotSecure);
    EXPECT_EQ(mark->text(), "Not secure");
    form->action(Command::Home)->trigger();
    EXPECT_TRUE(waitForUrl(0, QUrl::fromLocalFile(programFile("start.html")).toString()));
    EXPECT_EVENTUALLY(!mark->isVisible(), 5000);
    EXPECT_EQ(mark->security().level, PageSecurity::Neutral);
}

TEST_F(TroublePages, HostilePagesCannotPressOurButtonsNorOpenOurPages)
{
    open(site.url("/index.html"));
    const QString failing = "http://no-such-host.invalid/";
    openFailing(failing);
    // A token that a page of ours showed, handed to a hostile page later.
    const QString token =
        evaluate(0, "document.documentElement.getAttribute('data-quarrow-page')").toString();
    ASSERT_EQ(token.size(), 32);
    // Typed into the address box, a button's address does nothing either.
    QStringList loads;
    const auto watch = QObject::connect(
        view(0)->page(), &QWebEnginePage::loadingChanged,
        [&loads](const QWebEngineLoadingInfo &info) { loads << info.url().toString(); });
    {
        QSignalSpy refusedLoad(view(0)->page(), &QWebEnginePage::loadFinished);
        go("http://quarrow.invalid/try-again?" + token);
        ASSERT_TRUE(refusedLoad.count() > 0 || refusedLoad.wait(10000));
    }
    QSignalSpy backLoaded(view(0), &WebBrowser::DownloadComplete);
    form->action(Command::Back)->trigger();
    ASSERT_TRUE(waitForUrl(0, site.url("/index.html")));
    ASSERT_TRUE(backLoaded.count() > 0 || backLoaded.wait(20000));
    QObject::disconnect(watch);
    EXPECT_FALSE(loads.contains(failing)) << "the failed page was tried again";

    const quint64 generation = form->generatedViews()->generation();
    QSignalSpy refused(form->generatedViews()->scheme(), &QuarrowScheme::refused);
    const QString hostile = "<html><head><title>Hostile</title></head><body><h1>Hostile</h1>"
                            "<a id=again href=\"http://quarrow.invalid/try-again?" +
                            token +
                            "\">again</a>"
                            "<a id=back href=\"http://quarrow.invalid/go-back?" +
                            token +
                            "\">back</a>"
                            "<a id=on href=\"http://quarrow.invalid/continue?" +
                            token +
                            "\">on</a>"
                            "<a id=guess href=\"http://quarrow.invalid/go-back?\">guess</a>"
                            "<a id=source href=\"quarrow:source/" +
                            QString::number(generation) +
                            "\">source</a>"
                            "<iframe src=\"quarrow:images/" +
                            QString::number(generation) +
                            "\"></iframe>"
                            "</body></html>";
    site.server().setRoute("/hostile.html", hostile.toUtf8());
    open(site.url("/hostile.html"));
    ASSERT_TRUE(refused.count() > 0 || refused.wait(10000)) << "the frame was not refused";
    const int hostileRequests = int(site.server().requests().count("/hostile.html"));
    const int entries = view(0)->history()->count();

    for (const char *id : {"again", "back", "on", "guess", "source"}) {
        SCOPED_TRACE(id);
        QSignalSpy loads(view(0)->page(), &QWebEnginePage::loadFinished);
        click(0, id);
        // The refused navigation ends; nothing follows it.
        ASSERT_TRUE(loads.count() > 0 || loads.wait(10000));
        EXPECT_EQ(view(0)->LocationURL(), site.url("/hostile.html"));
        EXPECT_EQ(evaluate(0, "document.title").toString(), "Hostile");
    }
    // A script's navigation is refused the same way.
    {
        QSignalSpy loads(view(0)->page(), &QWebEnginePage::loadFinished);
        evaluate(0, "location.href = 'http://quarrow.invalid/try-again?" + token + "'; true");
        ASSERT_TRUE(loads.count() > 0 || loads.wait(10000));
    }
    // Open a page the test can wait for: had a button acted, its load would
    // have come first.
    open(site.url("/dir1/page2.html"));
    EXPECT_EQ(site.server().requests().count("/hostile.html"), hostileRequests);
    EXPECT_EQ(view(0)->history()->count(), entries + 1);
    EXPECT_FALSE(CertificateExceptions::of(view(0)->page()->profile())->allows(""));
    EXPECT_EQ(view(0)->history()->backItem().url().toString(), site.url("/hostile.html"));
    for (int i = 0; i < view(0)->history()->count(); ++i)
        EXPECT_FALSE(QuarrowScheme::owns(view(0)->history()->itemAt(i).url()));
}

TEST_F(TroublePages, AKilledPageSaysItStoppedWorkingAndTheRestGoesOn)
{
    open(site.url("/index.html"));
    const qint64 live = view(0)->page()->renderProcessPid();
    ASSERT_GT(live, 0);
    for (int other : {1, 2})
        ASSERT_NE(view(other)->page()->renderProcessPid(), live) << other;
    QSignalSpy ended(view(0)->page(), &QWebEnginePage::renderProcessTerminated);
    ASSERT_EQ(::kill(pid_t(live), SIGKILL), 0);
    ASSERT_TRUE(ended.wait(20000));

    CrashPanel *panel = guard()->crashPanel();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->geometry(), view(0)->rect());
    EXPECT_TRUE(panel->reason().contains("killed")) << panel->reason().toStdString();
    EXPECT_TRUE(statusBar()->panelText(1).startsWith("This page stopped working"));
    EXPECT_EQ(panel->findChild<QLabel *>("crashTitle")->text(), "This page stopped working");
    // The other views and the window go on.
    EXPECT_TRUE(evaluate(1, "document.body.textContent").toString().contains("<h1>Home</h1>"));
    showView(2);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(guard(2)->crashPanel()->isVisible());
    EXPECT_EQ(evaluate(2, "document.links.length").toInt(), 1);
    showView(0);
    EXPECT_TRUE(panel->isVisible());

    const int harvests = form->harvestsDone();
    panel->reloadButton()->click();
    ASSERT_TRUE(waitForHarvests(harvests + 1));
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(pageText().contains("Home"));
    EXPECT_EQ(statusBar()->panelText(1), "Done");
}

} // namespace
