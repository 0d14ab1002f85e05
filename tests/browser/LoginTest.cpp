// Sites that ask for a user name and password.
#include "tests/shell/MainWindowFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

#include "platform/WebBrowser.h"
#include "shell/Logins.h"
#include "windows/LoginDialog.h"

#include <QApplication>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWebEngineProfile>

#include <memory>
#include <optional>

namespace {

const QByteArray User = "alice";
const QByteArray Password = "pear-7Gx-tree";
// The realm is the server's to choose: markup in it must stay text.
const QByteArray Realm = "Staff <b>area</b>";
const QByteArray Inside = "<html><head><title>Inside</title></head><body>Welcome in</body></html>";
const QByteArray Refusal =
    "<html><head><title>Refused</title></head><body>You need to log in</body></html>";

// What a login dialog showed, as the user saw it.
struct Seen {
    QString caption;
    QString question;
    QString realm;
    QString user;
    bool again = false;
    bool masked = false;
    bool logInIsDefault = false;
};

// Answers each login dialog that opens, in turn: a user name and password,
// or (no answer left, or an empty one) Esc.
class LoginAnswers : public QObject {
public:
    explicit LoginAnswers(QList<std::optional<QByteArray>> passwords)
        : m_passwords(std::move(passwords))
    {
        // The dialog runs its own loop: the answer comes from a timer inside it.
        connect(&m_timer, &QTimer::timeout, this, &LoginAnswers::look);
        m_timer.start(50);
    }
    QList<Seen> seen;

private:
    void look()
    {
        auto *dialog = qobject_cast<LoginDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog == m_last || !dialog->isVisible())
            return;
        m_last = dialog;
        Seen what;
        what.caption = dialog->windowTitle();
        what.question = dialog->findChild<QLabel *>("loginQuestion")->text();
        auto *realm = dialog->findChild<QLabel *>("loginRealm");
        what.realm = realm && realm->textFormat() == Qt::PlainText ? realm->text() : QString();
        auto *user = dialog->findChild<QLineEdit *>("loginUser");
        auto *password = dialog->findChild<QLineEdit *>("loginPassword");
        what.user = user->text();
        what.again = dialog->findChild<QLabel *>("loginAgain") != nullptr;
        what.masked = password->echoMode() == QLineEdit::Password;
        what.logInIsDefault = dialog->findChild<QPushButton *>("loginOk")->isDefault();
        seen.append(what);

        const std::optional<QByteArray> answer =
            m_passwords.isEmpty() ? std::nullopt : m_passwords.takeFirst();
        if (!answer) {
            QTest::keyClick(dialog, Qt::Key_Escape);
            return;
        }
        user->setText(QString::fromLatin1(User));
        password->setText(QString::fromLatin1(*answer));
        // Enter: the default button.
        QTest::keyClick(password, Qt::Key_Return);
    }

    QTimer m_timer;
    QList<std::optional<QByteArray>> m_passwords;
    QPointer<LoginDialog> m_last;
};

class Login : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        server = std::make_unique<testsupport::HttpServer>(folder.path());
        server->setRoute("/private.html", Inside);
        server->requireLogin("/private.html", Realm, User, Password, Refusal);
        ASSERT_TRUE(server->start());
    }

    void TearDown() override
    {
        MainWindowFixture::TearDown();
        Form1::setOffTheRecord(true);
    }

    // Opens the private page and waits until the live view shows `title`.
    void openPrivate(const QString &title)
    {
        loadWindow();
        ASSERT_TRUE(waitForLoad(0));
        view(0)->Navigate(server->urlText("/private.html"));
        EXPECT_EVENTUALLY_EQ(view(0)->title(), title, 30000);
    }

    QString site() const { return QStringLiteral("127.0.0.1:%1").arg(server->port()); }

    std::unique_ptr<testsupport::HttpServer> server;
};

TEST_F(Login, TheDialogNamesTheSiteAndLogsIn)
{
    LoginAnswers answers({Password});
    openPrivate("Inside");
    ASSERT_EQ(answers.seen.size(), 1);
    const Seen &dialog = answers.seen.first();
    EXPECT_EQ(dialog.caption, "Log in to " + site());
    EXPECT_EQ(dialog.question, site() + " asks for a user name and password.");
    EXPECT_EQ(dialog.realm, QString::fromUtf8("The site says: \u201cStaff <b>area</b>\u201d"));
    EXPECT_TRUE(dialog.masked);
    EXPECT_TRUE(dialog.logInIsDefault);
    EXPECT_FALSE(dialog.again);
    EXPECT_TRUE(
        server->anyRequestContains("Authorization: Basic " + (User + ':' + Password).toBase64()));
    EXPECT_EQ(evaluate(0, "document.body.innerText").toString(), "Welcome in");
}

TEST_F(Login, EscCancelsAndTheServersRefusalShows)
{
    LoginAnswers answers({std::nullopt});
    openPrivate("Refused");
    EXPECT_EQ(answers.seen.size(), 1);
    EXPECT_EQ(evaluate(0, "document.body.innerText").toString(), "You need to log in");
    EXPECT_EQ(view(0)->LocationURL(), server->urlText("/private.html"));
}

TEST_F(Login, AWrongPasswordAsksAgainWithTheNameKept)
{
    LoginAnswers answers({QByteArray("wrong"), Password});
    openPrivate("Inside");
    ASSERT_EQ(answers.seen.size(), 2);
    EXPECT_FALSE(answers.seen[0].again);
    EXPECT_TRUE(answers.seen[1].again);
    EXPECT_EQ(answers.seen[1].user, QString::fromLatin1(User));
    EXPECT_TRUE(answers.seen[1].masked);
    EXPECT_EQ(server->refusedLogins(), 2);
}

TEST_F(Login, WrongAnswersWithoutEndStopAsking)
{
    // Wrong answers for one load and then one more, then Esc.
    QList<std::optional<QByteArray>> answers;
    for (int i = 0; i <= Logins::maxAsks; ++i)
        answers.append(QByteArray("wrong"));
    answers.append(std::nullopt);
    LoginAnswers dialogs(answers);
    openPrivate("Refused");
    EXPECT_EQ(dialogs.seen.size(), Logins::maxAsks);
    // The next load asks afresh: a wrong answer, then Esc.
    view(0)->Refresh();
    EXPECT_EVENTUALLY_EQ(dialogs.seen.size(), Logins::maxAsks + 2, 30000);
    EXPECT_FALSE(dialogs.seen[Logins::maxAsks].again);
    EXPECT_TRUE(dialogs.seen[Logins::maxAsks + 1].again);
    EXPECT_EVENTUALLY(!view(0)->Busy() && view(0)->title() == "Refused", 30000);
}

TEST_F(Login, NothingOfTheLoginIsWrittenToDisk)
{
    // A profile that keeps its data on disk, as the program's does.
    Form1::setOffTheRecord(false);
    LoginAnswers answers({Password});
    openPrivate("Inside");
    // Once more, from the engine's memory of the login.
    view(0)->Navigate(server->urlText("/private.html?again"));
    ASSERT_TRUE(waitForUrl(0, server->urlText("/private.html?again")));
    EXPECT_EVENTUALLY_EQ(view(0)->title(), QString("Inside"), 30000);
    EXPECT_EQ(answers.seen.size(), 1);
    const QWebEngineProfile *profile = view(0)->page()->profile();
    ASSERT_FALSE(profile->isOffTheRecord());
    EXPECT_TRUE(profile->persistentStoragePath().startsWith(testsupport::homeFolder()));
    EXPECT_TRUE(profile->cachePath().startsWith(testsupport::homeFolder()));
    form.reset();

    const QByteArray encoded = (User + ':' + Password).toBase64();
    const QString wide = QString::fromLatin1(Password);
    const QByteArray utf16(reinterpret_cast<const char *>(wide.utf16()), wide.size() * 2);
    int files = 0;
    for (const QString &root : {testsupport::homeFolder(), folder.path()}) {
        QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            ++files;
            const QByteArray bytes = testsupport::readFile(path);
            EXPECT_FALSE(bytes.contains(Password)) << path.toStdString();
            EXPECT_FALSE(bytes.contains(encoded)) << path.toStdString();
            EXPECT_FALSE(bytes.contains(utf16)) << path.toStdString();
        }
    }
    // The profile did write its folders: the search looked at something.
    EXPECT_GT(files, 3);
}

} // namespace
