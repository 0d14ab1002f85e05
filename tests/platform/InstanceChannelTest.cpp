// The instance channel is the user's own: its socket lies only in a folder
// that no one else can enter, a socket that is not the user's is never
// spoken to, and a caller that is not the user is never listened to.
#include "platform/InstanceChannel.h"

#include "tests/support/Eventually.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cstring>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

class InstanceChannelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        savedCache = qgetenv("XDG_CACHE_HOME");
        runtime = root.path() + "/runtime";
        cache = root.path() + "/cache";
        ASSERT_TRUE(QDir().mkpath(runtime));
        ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
    }
    void TearDown() override
    {
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        qputenv("XDG_CACHE_HOME", savedCache);
    }

    static mode_t modeOf(const QString &path)
    {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777
                                                                      : mode_t(-1);
    }
    static uid_t nobody()
    {
        const passwd *user = ::getpwnam("nobody");
        return user ? user->pw_uid : uid_t(65534);
    }

    QTemporaryDir root;
    QByteArray savedRuntime, savedCache;
    QString runtime, cache;
};

TEST_F(InstanceChannelTest, ThePrivateRuntimeFolderHoldsTheSocket)
{
    EXPECT_EQ(InstanceChannel::socketFolder(), runtime);
    EXPECT_EQ(InstanceChannel::socketPath(), runtime + "/quarrow-instance");
}

TEST_F(InstanceChannelTest, AnUnsafeRuntimeFolderGivesWayToAPrivateCacheFolder)
{
    const QString own = cache + "/quarrow";
    // Open to others, missing, relative, or a link to somewhere else: none
    // of them holds the socket.
    ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0777), 0);
    EXPECT_EQ(InstanceChannel::socketFolder(), own);
    EXPECT_EQ(modeOf(own), mode_t(0700));

    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root.path() + "/missing"));
    EXPECT_EQ(InstanceChannel::socketFolder(), own);
    qputenv("XDG_RUNTIME_DIR", "relative/runtime");
    EXPECT_EQ(InstanceChannel::socketFolder(), own);
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(InstanceChannel::socketFolder(), own);

    const QString privateTarget = root.path() + "/target";
    ASSERT_TRUE(QDir().mkpath(privateTarget));
    ASSERT_EQ(::chmod(QFile::encodeName(privateTarget).constData(), 0700), 0);
    ASSERT_TRUE(QFile::link(privateTarget, root.path() + "/linked"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root.path() + "/linked"));
    EXPECT_EQ(InstanceChannel::socketFolder(), own);
}

TEST_F(InstanceChannelTest, AFolderLeftOpenIsClosedAndAnOpenParentIsRefused)
{
    qunsetenv("XDG_RUNTIME_DIR");
    const QString own = cache + "/quarrow";
    ASSERT_TRUE(QDir().mkpath(own));
    ASSERT_EQ(::chmod(QFile::encodeName(own).constData(), 0755), 0);
    EXPECT_EQ(InstanceChannel::socketFolder(), own);
    EXPECT_EQ(modeOf(own), mode_t(0700));

    // A cache folder that others may write: they could swap ours for theirs.
    ASSERT_EQ(::chmod(QFile::encodeName(cache).constData(), 0777), 0);
    EXPECT_TRUE(InstanceChannel::socketFolder().isEmpty());
    EXPECT_TRUE(InstanceChannel::socketPath().isEmpty());
    InstanceChannel channel;
    EXPECT_FALSE(channel.listen());
    EXPECT_FALSE(channel.handOver("https://example.com/"));
}

TEST_F(InstanceChannelTest, AFolderOfSomeoneElseIsNotTheUsers)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    ASSERT_EQ(::chown(QFile::encodeName(runtime).constData(), nobody(), 0), 0);
    EXPECT_EQ(InstanceChannel::socketFolder(), cache + "/quarrow");
}

TEST_F(InstanceChannelTest, AnAddressFromAnotherProcessOfTheUserArrives)
{
    InstanceChannel listener;
    ASSERT_TRUE(listener.listen());
    QSignalSpy received(&listener, &InstanceChannel::addressReceived);
    // The caller is another process, as a second start is.
    const pid_t pid = ::fork();
    if (pid == 0) {
        InstanceChannel caller;
        ::_exit(caller.handOver("https://example.com/page?x=1") ? 0 : 1);
    }
    EXPECT_EVENTUALLY(received.count() == 1, 10000);
    int status = -1;
    QUARROW_WAIT_UNTIL(::waitpid(pid, &status, WNOHANG) == pid, 10000);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the caller got no answer";
    ASSERT_EQ(received.count(), 1);
    EXPECT_EQ(received.constFirst().constFirst().toString(), "https://example.com/page?x=1");
}

TEST_F(InstanceChannelTest, ASocketThatIsNotTheUsersIsNeverSpokenTo)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a socket to another user";
    InstanceChannel listener;
    ASSERT_TRUE(listener.listen());
    QSignalSpy received(&listener, &InstanceChannel::addressReceived);
    QSignalSpy dropped(&listener, &InstanceChannel::callerDropped);
    // Someone else's socket in the place of ours.
    ASSERT_EQ(::chown(QFile::encodeName(InstanceChannel::socketPath()).constData(), nobody(), 0),
              0);
    InstanceChannel caller;
    EXPECT_FALSE(caller.handOver("https://example.com/x.html?private=1", 2000));
    // It was not even connected to: a connection would have been dropped or
    // answered by now, once the listener's events have run.
    QLocalSocket probe;
    probe.connectToServer(InstanceChannel::socketPath());
    ASSERT_TRUE(probe.waitForConnected(2000));
    probe.write("\n");
    probe.flush();
    EXPECT_EVENTUALLY(received.count() == 1, 5000);
    EXPECT_EQ(received.constFirst().constFirst().toString(), QString());
    EXPECT_EQ(dropped.count(), 0);
}

TEST_F(InstanceChannelTest, ACallerThatIsNotTheUserIsDropped)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to call as another user";
    InstanceChannel listener;
    ASSERT_TRUE(listener.listen());
    QSignalSpy received(&listener, &InstanceChannel::addressReceived);
    QSignalSpy dropped(&listener, &InstanceChannel::callerDropped);
    // Let the other user reach the socket at all, as a careless folder would.
    const QByteArray path = QFile::encodeName(InstanceChannel::socketPath());
    ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(root.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(path.constData(), 0777), 0);
    const uid_t other = nobody();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(other) != 0 || ::setuid(other) != 0)
            ::_exit(3);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            ::_exit(4);
        const char line[] = "https://attacker.example/\n";
        if (::write(fd, line, sizeof line - 1) < 0)
            ::_exit(5);
        char answer[8] = {};
        const ssize_t got = ::read(fd, answer, sizeof answer);
        ::_exit(got > 0 ? 6 : 0);
    }
    EXPECT_EVENTUALLY(dropped.count() == 1, 10000);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the other user was answered";
    EXPECT_EQ(received.count(), 0);
}

TEST_F(InstanceChannelTest, ACallerThatSaysNothingIsDroppedWhenItsTimeIsUp)
{
    InstanceChannel listener;
    listener.setCallerPatience(50);
    ASSERT_TRUE(listener.listen());
    QSignalSpy received(&listener, &InstanceChannel::addressReceived);
    QSignalSpy dropped(&listener, &InstanceChannel::callerDropped);
    QLocalSocket silent;
    silent.connectToServer(InstanceChannel::socketPath());
    ASSERT_TRUE(silent.waitForConnected(2000));
    EXPECT_EVENTUALLY(dropped.count() == 1, 10000);
    EXPECT_EVENTUALLY(silent.state() == QLocalSocket::UnconnectedState, 10000);
    EXPECT_EQ(received.count(), 0);
}

} // namespace
