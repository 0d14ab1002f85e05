// The quarrow program's command line, run as a user runs it.
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct ProgramRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs quarrow with no display at all: what is asked here needs none.
ProgramRun runQuarrow(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUARROW_PROGRAM), arguments);
    ProgramRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

TEST(CommandLine, HelpPrintsTheUsageAndOpensNothing)
{
    for (const char *option : {"--help", "-h"}) {
        const ProgramRun run = runQuarrow({QString::fromLatin1(option)});
        EXPECT_EQ(run.status, 0) << option << run.err.constData();
        EXPECT_TRUE(run.out.startsWith("Usage: ")) << run.out.constData();
        EXPECT_TRUE(run.out.contains("[address]"));
        EXPECT_TRUE(run.out.contains("--version"));
    }
}

TEST(CommandLine, VersionPrintsTheProductAndVersion)
{
    const ProgramRun run = runQuarrow({QStringLiteral("--version")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, QByteArray("Quarrow " QUARROW_VERSION "\n"));
}

TEST(CommandLine, AnUnknownOptionIsRefusedWithAReason)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUARROW_PROGRAM), {QStringLiteral("--bogus")});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardError().contains("quarrow: Unknown option 'bogus'."));
}

} // namespace
