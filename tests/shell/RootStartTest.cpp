// Quarrow started by root, the real program as a user starts it.
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// The environment of a root shell that has not turned the engine's sandbox
// off, with a home of its own and the offscreen window system.
QProcessEnvironment rootEnvironment(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
    environment.remove(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    return environment;
}

class RootStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "only root meets the engine's refusal";
        ASSERT_TRUE(home.isValid());
    }
    QTemporaryDir home;
};

TEST_F(RootStart, WithTheSandboxOnQuarrowSaysWhyAndEnds)
{
    QProcess process;
    process.setProcessEnvironment(rootEnvironment(home.path()));
    process.start(QStringLiteral(QUARROW_PROGRAM), {});
    // No dialog waits for a click on a display nobody sees.
    ASSERT_TRUE(process.waitForFinished(30000)) << "Quarrow kept running";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(process.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("running as root"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("normal user"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX=1"))) << err.toStdString();
}

TEST_F(RootStart, WithTheSandboxTurnedOffKnowinglyQuarrowStarts)
{
    QProcess process;
    QProcessEnvironment environment = rootEnvironment(home.path());
    environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                       QStringLiteral("--disable-gpu"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUARROW_PROGRAM), {});
    ASSERT_TRUE(process.waitForStarted(10000));
    // Still running a while later: the main window is up, nothing refused.
    EXPECT_FALSE(process.waitForFinished(4000)) << process.readAllStandardError().toStdString();
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(10000);
    }
    EXPECT_FALSE(process.readAllStandardError().contains("cannot start"));
}

} // namespace
