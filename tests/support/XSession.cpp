#include "tests/support/XSession.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QHash>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace testsupport {
namespace {

constexpr int StartMs = 20000;

// Starts a program whose standard output comes into `output` (a pipe's read
// end); it dies with this process. -1 when it could not be started.
pid_t spawn(const std::vector<QByteArray> &command, const QByteArray &display, int *output)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return -1;
    std::vector<char *> argv;
    for (const QByteArray &part : command)
        argv.push_back(const_cast<char *>(part.constData()));
    argv.push_back(nullptr);
    // The child's environment: this one's, with the display.
    std::vector<QByteArray> variables;
    for (char **variable = environ; *variable; ++variable) {
        if (!display.isEmpty() && qstrncmp(*variable, "DISPLAY=", 8) == 0)
            continue;
        variables.emplace_back(*variable);
    }
    if (!display.isEmpty())
        variables.push_back("DISPLAY=" + display);
    std::vector<char *> envp;
    for (const QByteArray &variable : variables)
        envp.push_back(const_cast<char *>(variable.constData()));
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // The child: nothing here may allocate.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(pipeEnds[1], STDOUT_FILENO);
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0)
            dup2(quiet, STDERR_FILENO);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    if (pid < 0) {
        close(pipeEnds[0]);
        return -1;
    }
    *output = pipeEnds[0];
    return pid;
}

// Waits for a line that the program writes; true once it has come, false
// when the program ends or says nothing of the kind in time.
bool waitForLine(int fd, const QByteArray &expected, QDeadlineTimer deadline)
{
    QByteArray line;
    while (!deadline.hasExpired()) {
        pollfd ready{fd, POLLIN, 0};
        const int waited = poll(&ready, 1, int(std::max<qint64>(1, deadline.remainingTime())));
        if (waited < 0 && errno == EINTR)
            continue;
        if (waited <= 0)
            break;
        char byte = 0;
        const ssize_t got = read(fd, &byte, 1);
        if (got <= 0)
            break;
        if (byte != '\n') {
            line.append(byte);
            continue;
        }
        if (line.trimmed() == expected)
            return true;
        line.clear();
    }
    return false;
}

void end(pid_t &pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    QDeadlineTimer deadline(5000);
    while (waitpid(pid, nullptr, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            break;
        }
        pollfd none{-1, 0, 0};
        poll(&none, 0, 10);
    }
    pid = -1;
}

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

XSession::~XSession()
{
    stop();
}

bool XSession::start(QString *error)
{
    stop();
    // A display number of its own, far from those people pick by hand.
    const int first = 100 + int(getpid() % 800);
    for (int attempt = 0; attempt < 20 && m_server < 0; ++attempt) {
        const int number = 100 + (first - 100 + attempt * 37) % 800;
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) ||
            QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
            continue;
        const QByteArray display = ':' + QByteArray::number(number);
        int output = -1;
        // The server writes its display number once it accepts clients.
        const pid_t server = spawn({"Xvfb", display, "-screen", "0", "1280x860x24", "-nolisten",
                                    "tcp", "-noreset", "-displayfd", "1"},
                                   {}, &output);
        if (server < 0)
            return fail(error, QStringLiteral("Xvfb could not be started"));
        const bool ready = waitForLine(output, QByteArray::number(number), QDeadlineTimer(StartMs));
        close(output);
        m_server = server;
        if (!ready) {
            // Taken meanwhile, or no server at all: the next number.
            end(m_server);
            continue;
        }
        m_display = QString::fromLatin1(display);
    }
    if (m_server < 0)
        return fail(error, QStringLiteral("Xvfb did not start on any display"));

    // Openbox runs its start-up command once it manages the screen.
    int output = -1;
    m_windowManager =
        spawn({"openbox", "--sm-disable", "--startup", "sh -c 'echo quarrow-window-manager-ready'"},
              m_display.toLatin1(), &output);
    if (m_windowManager < 0) {
        stop();
        return fail(error, QStringLiteral("openbox could not be started"));
    }
    const bool ready = waitForLine(output, "quarrow-window-manager-ready", QDeadlineTimer(StartMs));
    close(output);
    if (!ready) {
        stop();
        return fail(error, QStringLiteral("openbox did not start on the display"));
    }
    return true;
}

void XSession::stop()
{
    end(m_windowManager);
    end(m_server);
    m_display.clear();
}

void XSession::useForThisProcess(const QString &theme) const
{
    qputenv("DISPLAY", m_display.toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("WAYLAND_DISPLAY");
    // Qt picks its platform theme, and with it the standard keys, from the
    // desktop it runs on.
    for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_SESSION_VERSION",
                             "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
        qunsetenv(name);
    qputenv("QT_QPA_PLATFORMTHEME", theme.toLatin1());
    if (theme == QLatin1String("kde")) {
        qputenv("XDG_CURRENT_DESKTOP", "KDE");
        qputenv("KDE_SESSION_VERSION", "5");
        qputenv("KDE_FULL_SESSION", "true");
    } else if (theme == QLatin1String("gnome")) {
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    }
}

bool XSession::xdotool(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(StartMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool XSession::pressKeys(const QString &keys)
{
    return xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

bool XSession::click(const QPoint &screenPoint)
{
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"),
                    QString::number(screenPoint.x()), QString::number(screenPoint.y()),
                    QStringLiteral("click"), QStringLiteral("1")});
}

QString XSession::keyName(QKeyCombination keys)
{
    static const QHash<int, QString> names = {
        {Qt::Key_Left, QStringLiteral("Left")},
        {Qt::Key_Right, QStringLiteral("Right")},
        {Qt::Key_Up, QStringLiteral("Up")},
        {Qt::Key_Down, QStringLiteral("Down")},
        {Qt::Key_Home, QStringLiteral("Home")},
        {Qt::Key_End, QStringLiteral("End")},
        {Qt::Key_PageUp, QStringLiteral("Prior")},
        {Qt::Key_PageDown, QStringLiteral("Next")},
        {Qt::Key_Escape, QStringLiteral("Escape")},
        {Qt::Key_Return, QStringLiteral("Return")},
        {Qt::Key_Enter, QStringLiteral("KP_Enter")},
        {Qt::Key_Tab, QStringLiteral("Tab")},
        {Qt::Key_Space, QStringLiteral("space")},
        {Qt::Key_Backspace, QStringLiteral("BackSpace")},
        {Qt::Key_Delete, QStringLiteral("Delete")},
        {Qt::Key_Insert, QStringLiteral("Insert")},
        {Qt::Key_Equal, QStringLiteral("equal")},
        {Qt::Key_Plus, QStringLiteral("plus")},
        {Qt::Key_Minus, QStringLiteral("minus")},
        {Qt::Key_Comma, QStringLiteral("comma")},
        {Qt::Key_Period, QStringLiteral("period")},
        {Qt::Key_Slash, QStringLiteral("slash")},
        {Qt::Key_BracketLeft, QStringLiteral("bracketleft")},
        {Qt::Key_BracketRight, QStringLiteral("bracketright")},
    };
    const int key = keys.key();
    QString name;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        name = QChar(u'a' + (key - Qt::Key_A));
    else if (key >= Qt::Key_0 && key <= Qt::Key_9)
        name = QChar(u'0' + (key - Qt::Key_0));
    else if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        name = QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    else
        name = names.value(key);
    if (name.isEmpty())
        return {};
    const Qt::KeyboardModifiers modifiers = keys.keyboardModifiers();
    QString prefix;
    if (modifiers & Qt::ControlModifier)
        prefix += QStringLiteral("ctrl+");
    if (modifiers & Qt::AltModifier)
        prefix += QStringLiteral("alt+");
    if (modifiers & Qt::ShiftModifier)
        prefix += QStringLiteral("shift+");
    if (modifiers & Qt::MetaModifier)
        prefix += QStringLiteral("super+");
    return prefix + name;
}

} // namespace testsupport
