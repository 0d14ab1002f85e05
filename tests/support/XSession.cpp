#include "tests/support/XSession.h"

#include <QProcessEnvironment>
#include <QStandardPaths>

namespace testsupport {

namespace {
QProcessEnvironment environmentFor(const QString &display)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    return environment;
}
} // namespace

XSession::~XSession()
{
    for (QProcess *process : {&m_manager, &m_server}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }
}

bool XSession::available()
{
    for (const char *program : {"Xvfb", "openbox", "xdotool", "xprop"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            return false;
    }
    return true;
}

bool XSession::start(QString *why)
{
    const auto fail = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    // The server picks a free display and writes its number on the given
    // descriptor once it accepts connections.
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1280x860x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp")});
    if (!m_server.waitForStarted(10000))
        return fail(QStringLiteral("Xvfb does not start"));
    while (!m_server.canReadLine()) {
        if (!m_server.waitForReadyRead(30000))
            return fail(QStringLiteral("Xvfb names no display: ") +
                        QString::fromLocal8Bit(m_server.readAllStandardError()));
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(m_server.readLine().trimmed());

    m_manager.setProcessEnvironment(environmentFor(m_display));
    m_manager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_manager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!m_manager.waitForStarted(10000))
        return fail(QStringLiteral("openbox does not start"));
    // The window manager is there once it names itself on the root window.
    for (int tries = 0; tries < 300; ++tries) {
        QProcess check;
        check.setProcessEnvironment(environmentFor(m_display));
        check.start(QStringLiteral("xprop"),
                    {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
        if (!check.waitForFinished(5000))
            continue;
        if (check.readAllStandardOutput().contains("window id"))
            return true;
        if (m_manager.state() == QProcess::NotRunning)
            break;
        // Each try is a round trip to the server: openbox starts meanwhile.
        m_manager.waitForFinished(50);
    }
    return fail(QStringLiteral("openbox does not take the display"));
}

QString XSession::xdotool(const QStringList &arguments) const
{
    QProcess tool;
    tool.setProcessEnvironment(environmentFor(m_display));
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0)
        return {};
    const QString output = QString::fromLocal8Bit(tool.readAllStandardOutput());
    return output.isNull() ? QStringLiteral("") : output;
}

QStringList XSession::windowsNamed(const QString &pattern) const
{
    return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--name"), pattern})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace testsupport
