// Pages that ask to use the location, notifications and the like.
#include "tests/shell/MainWindowFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/HttpServer.h"

#include "platform/WebBrowser.h"
#include "shell/Permissions.h"
#include "windows/PermissionBar.h"

#include <QAbstractButton>
#include <QApplication>

#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

// Asks for what its query names ("location", "notifications", or both with
// "+"), and writes the answers into its title, in the order of their names.
const QByteArray AskPage = R"(<html><head><title>asking</title></head><body><p>Asking</p><script>
var answers = [];
function said(what, answer) {
  answers.push(what + ':' + answer);
  document.title = answers.slice().sort().join(' ');
}
var asks = {
  location: function() {
    navigator.geolocation.getCurrentPosition(
      function() { said('location', 'granted'); },
      function(e) { said('location', e.code == e.PERMISSION_DENIED ? 'denied' : 'granted'); },
      {timeout: 1000});
  },
  notifications: function() {
    Notification.requestPermission().then(function(r) { said('notifications', r); });
  }
};
location.search.substring(1).split('+').forEach(function(what) { if (asks[what]) asks[what](); });
</script></body></html>)";

class PagePermissions : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        server = std::make_unique<testsupport::HttpServer>(folder.path());
        server->setRoute("/ask.html", AskPage);
        server->setRoute("/other.html",
                         "<html><head><title>other</title></head><body>Other</body></html>");
        ASSERT_TRUE(server->start());
        loadWindow();
        ASSERT_TRUE(waitForLoad(0));
        bar = form->permissionBar();
    }

    void ask(const QString &what) { view(0)->Navigate(server->urlText("/ask.html?" + what)); }
    // Waits until the bar asks `question`.
    void barAsks(const QString &question)
    {
        EXPECT_EVENTUALLY(bar->isVisible() && bar->question() == question, 20000);
        EXPECT_EQ(bar->question(), question);
    }
    // Waits for the bar and answers the question it shows: Allow for the
    // location, `notifications` for notifications. Returns what it asked.
    QString answerBar(bool location, bool notifications)
    {
        EXPECT_EVENTUALLY(bar->isVisible(), 20000);
        const QString question = bar->question();
        const bool allow = question.endsWith("location") ? location : notifications;
        click(allow ? "permissionAllow" : "permissionDeny");
        return question;
    }
    QString site() const { return QStringLiteral("127.0.0.1:%1").arg(server->port()); }
    void click(const char *name)
    {
        QTest::mouseClick(bar->findChild<QAbstractButton *>(name), Qt::LeftButton);
    }

    std::unique_ptr<testsupport::HttpServer> server;
    PermissionBar *bar = nullptr;
};

TEST_F(PagePermissions, TheBarAsksInWordsAndTheAnswerReachesThePage)
{
    const struct {
        const char *what;
        const char *words;
        const char *button;
        const char *answer;
    } cases[] = {
        {"location", " wants to use your location", "permissionAllow", "location:granted"},
        {"notifications", " wants to send notifications", "permissionDeny", "notifications:denied"},
    };
    for (const auto &one : cases) {
        SCOPED_TRACE(one.what);
        const QRect pageBefore = view(0)->geometry();
        ask(one.what);
        barAsks(site() + one.words);
        // The page makes room for the bar rather than lying under it.
        EXPECT_GE(view(0)->geometry().top(), bar->geometry().bottom());
        EXPECT_LT(view(0)->height(), pageBefore.height());
        EXPECT_EQ(view(0)->title(), "asking");
        click(one.button);
        EXPECT_EVENTUALLY_EQ(view(0)->title(), QString(one.answer), 20000);
        EXPECT_FALSE(bar->isVisible());
        EXPECT_EQ(view(0)->geometry(), pageBefore);
    }
}

TEST_F(PagePermissions, AnAnswerHoldsForTheSite)
{
    ask("location+notifications");
    barAsks(site() + " wants to use your location");
    click("permissionAllow");
    barAsks(site() + " wants to send notifications");
    click("permissionDeny");
    EXPECT_EVENTUALLY_EQ(view(0)->title(), QString("location:granted notifications:denied"), 20000);

    // The same questions again: answered at once, without the bar.
    QSignalSpy shown(bar, &PermissionBar::visibilityChanged);
    view(0)->Navigate(server->urlText("/ask.html?notifications+location"));
    EXPECT_EVENTUALLY(view(0)->title().split(' ').size() == 2 && view(0)->title() != "asking",
                      20000);
    EXPECT_EQ(view(0)->title().split(' ').size(), 2);
    EXPECT_TRUE(view(0)->title().contains("location:granted"));
    EXPECT_TRUE(view(0)->title().contains("notifications:denied"));
    EXPECT_EQ(shown.count(), 0);
    EXPECT_FALSE(bar->isVisible());
}

TEST_F(PagePermissions, QuestionsWaitInTurnAndSayHowManyWait)
{
    ask("location+notifications");
    // Both questions come; the bar shows one and says that one waits.
    EXPECT_EVENTUALLY_EQ(bar->waitingText(), QString("1 more waiting"), 20000);
    const QString first = answerBar(false, true);
    EXPECT_EVENTUALLY(bar->isVisible() && bar->question() != first, 20000);
    EXPECT_EQ(bar->waitingText(), "");
    const QString second = answerBar(false, true);
    EXPECT_EQ(QSet<QString>({first, second}),
              QSet<QString>({site() + " wants to use your location",
                             site() + " wants to send notifications"}));
    EXPECT_EVENTUALLY_EQ(view(0)->title(), QString("location:denied notifications:granted"), 20000);
    EXPECT_FALSE(bar->isVisible());
}

TEST_F(PagePermissions, ClosingTheBarDenies)
{
    // By its close button.
    ask("location");
    barAsks(site() + " wants to use your location");
    click("permissionClose");
    EXPECT_EVENTUALLY_EQ(view(0)->title(), QString("location:denied"), 20000);
    EXPECT_FALSE(bar->isVisible());

    // By Esc in the bar; Esc is not Stop there.
    ask("notifications");
    barAsks(site() + " wants to send notifications");
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    bar->findChild<QPushButton *>("permissionAllow")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EVENTUALLY_EQ(view(0)->title(), QString("notifications:denied"), 20000);
    EXPECT_FALSE(bar->isVisible());
    // The keys are back with the page.
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_TRUE(view(0)->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == view(0));
}

TEST_F(PagePermissions, AQuestionOfAPageThatIsNotShownIsDenied)
{
    // The user turns to another view: the page there still hears its answer.
    ask("notifications");
    barAsks(site() + " wants to send notifications");
    showView(1);
    EXPECT_EVENTUALLY_EQ(view(0)->title(), QString("notifications:denied"), 20000);
    EXPECT_FALSE(bar->isVisible());
    // That refusal was not the user's: back in view, the page asks again.
    showView(0);
    view(0)->Refresh();
    barAsks(site() + " wants to send notifications");
}

TEST_F(PagePermissions, GoingElsewhereDropsTheQuestion)
{
    ask("location");
    barAsks(site() + " wants to use your location");
    view(0)->Navigate(server->urlText("/other.html"));
    EXPECT_EVENTUALLY(!bar->isVisible(), 20000);
    EXPECT_TRUE(waitForUrl(0, server->urlText("/other.html")));
    // Not the user's answer: the site asks again next time.
    ask("location");
    barAsks(site() + " wants to use your location");
}

TEST_F(PagePermissions, TheQuestionsWordsForEachFeature)
{
    const QUrl origin("https://example.org:8443");
    const struct {
        QWebEnginePage::Feature feature;
        const char *words;
    } cases[] = {
        {QWebEnginePage::Geolocation, "example.org:8443 wants to use your location"},
        {QWebEnginePage::Notifications, "example.org:8443 wants to send notifications"},
        {QWebEnginePage::MediaVideoCapture, "example.org:8443 wants to use your camera"},
        {QWebEnginePage::MediaAudioCapture, "example.org:8443 wants to use your microphone"},
        {QWebEnginePage::MediaAudioVideoCapture,
         "example.org:8443 wants to use your camera and microphone"},
        {QWebEnginePage::DesktopVideoCapture, "example.org:8443 wants to share your screen"},
        {QWebEnginePage::MouseLock, "example.org:8443 wants to lock and hide your mouse pointer"},
    };
    for (const auto &one : cases)
        EXPECT_EQ(Permissions::question(origin, one.feature), QString(one.words));
    EXPECT_EQ(Permissions::question(QUrl("https://example.org/a/b?c"), QWebEnginePage::Geolocation),
              "example.org wants to use your location");
}

} // namespace
