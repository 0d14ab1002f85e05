// One Quarrow per user: a second start hands its address to the running one.
#include "tests/support/Eventually.h"
#include "tests/support/HttpServer.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SingleInstance : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.isValid());
        server = std::make_unique<testsupport::HttpServer>(site.path());
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

} // namespace
