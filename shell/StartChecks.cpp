#include "shell/StartChecks.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace {

// Window systems nobody looks at: a message box there would wait for a
// click that never comes.
bool displayIsSeen()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

} // namespace

std::optional<QString> WebEngineStartProblem()
{
#ifdef Q_OS_LINUX
    if (geteuid() != 0)
        return std::nullopt;
    // The engine itself only asks whether the variable is there.
    if (qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        return std::nullopt;
    if (qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS")
            .split(QLatin1Char(' '), Qt::SkipEmptyParts)
            .contains(QLatin1String("--no-sandbox")))
        return std::nullopt;
    return QStringLiteral(
        "Quarrow cannot start: it is running as root, and the web engine that shows its pages "
        "refuses to run as root while its sandbox is on.\n\n"
        "Start Quarrow as your normal user. Only if you must run it as root, and accept that web "
        "pages then run without the sandbox's protection, set the environment variable "
        "QTWEBENGINE_DISABLE_SANDBOX=1 before starting it.");
#else
    return std::nullopt;
#endif
}

int RefuseToStart(const QString &why)
{
    std::fprintf(stderr, "quarrow: %s\n", qPrintable(why));
    std::fflush(stderr);
    if (displayIsSeen())
        QMessageBox::critical(nullptr, QStringLiteral("Quarrow cannot start"), why);
    return 1;
}
