// One Quarrow per user: a second start hands its address to the running one.
#include "tests/support/Eventually.h"
#include "tests/support/HttpServer.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

namespace {

class SingleInstance : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.isValid());
        server = std::make_unique<testsupport::HttpServer>(site.path());
        server->setRoute("/after.html", "<html><head><title>After</title></head><body>"
                                        "<img src=\"/after.png\"></body></html>");
        server->setRoute("/handed.html", "<html><head><title>Handed</title></head><body>"
                                         "<p>handed over</p></body></html>");
        ASSERT_TRUE(server->start());
        first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        first.start(QStringLiteral(QUARROW_PROGRAM), {});
        ASSERT_TRUE(first.waitForStarted(10000));
        // The first Quarrow listens once its start-up has reached the splash.
        QUARROW_WAIT_UNTIL(QFileInfo::exists(socketPath()) || first.state() == QProcess::NotRunning,
                           30000);
        ASSERT_TRUE(QFileInfo::exists(socketPath()));
    }

    void TearDown() override
    {
        first.kill();
        first.waitForFinished(10000);
    }

    static QString socketPath()
    {
        return QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")) + "/quarrow-instance";
    }

    // Runs a second Quarrow to its end, serving the test site meanwhile.
    int runSecond(const QStringList &arguments)
    {
        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        second.start(QStringLiteral(QUARROW_PROGRAM), arguments);
        if (!second.waitForStarted(10000))
            return -1;
        QUARROW_WAIT_UNTIL(second.state() == QProcess::NotRunning, 30000);
        if (second.state() != QProcess::NotRunning) {
            second.kill();
            second.waitForFinished();
            return -1;
        }
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    }

    QTemporaryDir site;
    std::unique_ptr<testsupport::HttpServer> server;
    QProcess first;
};

TEST_F(SingleInstance, ASecondStartHandsItsAddressToTheRunningOneAndEnds)
{
    EXPECT_EQ(runSecond({server->urlText("/handed.html")}), 0);
    // The running Quarrow opens it.
    EXPECT_EVENTUALLY(server->requests().contains("/handed.html"), 30000);
    EXPECT_EQ(first.state(), QProcess::Running);
    // A start without an address only brings the running one forward.
    EXPECT_EQ(runSecond({}), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(SingleInstance, CallersThatSayTooMuchOrNothingAreDroppedAndHarmNothing)
{
    {
        // A line far longer than any address, never ended.
        QLocalSocket flood;
        flood.connectToServer(socketPath());
        ASSERT_TRUE(flood.waitForConnected(5000));
        flood.write(QByteArray(1 << 20, 'x'));
        flood.waitForBytesWritten(5000);
        EXPECT_EVENTUALLY(flood.state() == QLocalSocket::UnconnectedState, 10000);
    }
    {
        // A caller that connects and stays silent.
        QLocalSocket silent;
        silent.connectToServer(socketPath());
        ASSERT_TRUE(silent.waitForConnected(5000));
        EXPECT_EVENTUALLY(silent.state() == QLocalSocket::UnconnectedState, 10000);
    }
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(runSecond({server->urlText("/handed.html")}), 0);
    EXPECT_EVENTUALLY(server->requests().contains("/handed.html"), 30000);
}

bool anyLeak(const testsupport::HttpServer &server)
{
    for (const QString &path : server.requests()) {
        if (path.startsWith("/leak"))
            return true;
    }
    return false;
}

TEST_F(SingleInstance, AHandedOverScriptNeverRunsInTheOpenPage)
{
    // The running Quarrow shows its start page, a local file that runs no
    // script. Another program hands it scripts and script-carrying pages.
    const QString beacon = server->urlText("/leak");
    EXPECT_EQ(runSecond({"javascript:new Image().src='" + beacon + "?js=1';void 0"}), 0);
    EXPECT_EQ(runSecond({"JAVASCRIPT:fetch('" + beacon + "?js=2')"}), 0);
    EXPECT_EQ(runSecond({"data:text/html,<img src='" + beacon + "?data=1'>"}), 0);
    EXPECT_EQ(runSecond({"view-source:" + beacon + "?source=1"}), 0);
    // Handed over after them, one channel, in order: once this page and its
    // picture are fetched, the ones before it were dealt with.
    EXPECT_EQ(runSecond({server->urlText("/after.html")}), 0);
    EXPECT_EVENTUALLY(server->requests().contains("/after.png"), 30000);
    EXPECT_FALSE(anyLeak(*server)) << server->requests().join(' ').toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);
}

// Without a private runtime folder, the channel goes to a private folder of
// the user's own, never to a shared place that someone else holds.
class SingleInstanceBesideAStranger : public ::testing::Test {
protected:
    void TearDown() override
    {
        quarrow.kill();
        quarrow.waitForFinished(10000);
    }
    QTemporaryDir folder;
    QProcess quarrow;
};

TEST_F(SingleInstanceBesideAStranger, ASocketOfSomeoneElseIsNeverGivenTheAddress)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    const passwd *nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ASSERT_TRUE(folder.isValid());
    testsupport::HttpServer site(folder.path());
    site.setRoute("/x.html", "<html><head><title>Private</title></head><body>"
                             "<img src=\"/x.png\"></body></html>");
    ASSERT_TRUE(site.start());

    // Another user's runtime folder, with a socket of theirs in it, waiting.
    const QString strangers = folder.path() + "/runtime-stranger";
    ASSERT_TRUE(QDir().mkpath(strangers));
    QLocalServer squatter;
    squatter.setSocketOptions(QLocalServer::WorldAccessOption);
    ASSERT_TRUE(squatter.listen(strangers + "/quarrow-instance"));
    QSignalSpy called(&squatter, &QLocalServer::newConnection);
    ASSERT_EQ(::chown(QFile::encodeName(strangers + "/quarrow-instance").constData(),
                      nobody->pw_uid, nobody->pw_gid),
              0);
    ASSERT_EQ(::chown(QFile::encodeName(strangers).constData(), nobody->pw_uid, nobody->pw_gid), 0);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", strangers);
    environment.insert("XDG_CACHE_HOME", folder.path() + "/cache");
    quarrow.setProcessEnvironment(environment);
    quarrow.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    quarrow.start(QStringLiteral(QUARROW_PROGRAM), {site.urlText("/x.html?private=1")});
    ASSERT_TRUE(quarrow.waitForStarted(10000));
    // It opens the page in a window of its own and listens in its own folder.
    EXPECT_EVENTUALLY(site.requests().contains("/x.png"), 30000);
    EXPECT_TRUE(QFileInfo::exists(folder.path() + "/cache/quarrow/quarrow-instance"));
    EXPECT_EQ(quarrow.state(), QProcess::Running);
    EXPECT_EQ(called.count(), 0);
    EXPECT_FALSE(squatter.hasPendingConnections());
}

} // namespace
