#include "tests/support/XDisplay.h"

#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace testsupport {
namespace {

pid_t xServer = 0;
pid_t windowManager = 0;

pid_t spawn(const QList<QByteArray> &command)
{
    std::vector<char *> argv;
    for (const QByteArray &word : command)
        argv.push_back(const_cast<char *>(word.constData()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return 0;
    return pid;
}

// The display number Xvfb writes to the pipe once it listens.
int readDisplayNumber(int fd, int timeoutMs)
{
    QByteArray text;
    QElapsedTimer waited;
    waited.start();
    while (!text.contains('\n') && waited.elapsed() < timeoutMs) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, int(timeoutMs - waited.elapsed())) <= 0)
            break;
        char buffer[32];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, got);
    }
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    return ok ? number : -1;
}

void end(pid_t &pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = 0;
}

} // namespace

bool startXDisplay(QString *why)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        *why = QStringLiteral("no pipe");
        return false;
    }
    // Xvfb picks a free display itself and says which.
    xServer = spawn({"Xvfb", "-displayfd", QByteArray::number(pipeEnds[1]), "-screen", "0",
                     "1280x860x24", "-nolisten", "tcp", "-noreset"});
    close(pipeEnds[1]);
    const int display = xServer ? readDisplayNumber(pipeEnds[0], 30000) : -1;
    close(pipeEnds[0]);
    if (display < 0) {
        *why = QStringLiteral("Xvfb did not start");
        stopXDisplay();
        return false;
    }
    qputenv("DISPLAY", ":" + QByteArray::number(display));
    qputenv("QT_QPA_PLATFORM", "xcb");
    windowManager = spawn({"openbox", "--sm-disable"});
    if (!windowManager) {
        *why = QStringLiteral("openbox did not start");
        stopXDisplay();
        return false;
    }
    // The window manager has taken the screen once it names itself on the root.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 30000) {
        if (runOnDisplay(QStringLiteral("xprop"),
                         {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                .contains("window id"))
            return true;
        QThread::msleep(50);
    }
    *why = QStringLiteral("openbox did not take the screen");
    stopXDisplay();
    return false;
}

void stopXDisplay()
{
    end(windowManager);
    end(xServer);
}

void useDesktopTheme(const QString &theme)
{
    // Qt picks its platform theme from the desktop it runs on.
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

bool pressKeys(const QString &keys)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"),
                  {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
    return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool clickAt(const QPoint &screenPoint)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"),
                  {QStringLiteral("mousemove"), QStringLiteral("--sync"),
                   QString::number(screenPoint.x()), QString::number(screenPoint.y()),
                   QStringLiteral("click"), QStringLiteral("1")});
    return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QString xdotoolKeyName(QKeyCombination keys)
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

QByteArray runOnDisplay(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

QList<quint64> stackingOrder()
{
    const QByteArray text =
        runOnDisplay(QStringLiteral("xprop"),
                     {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    QList<quint64> windows;
    static const QRegularExpression id(QStringLiteral("0x[0-9a-fA-F]+"));
    auto match = id.globalMatch(QString::fromLatin1(text));
    while (match.hasNext())
        windows.append(match.next().captured().toULongLong(nullptr, 16));
    return windows;
}

quint64 transientFor(quint64 window)
{
    const QByteArray text =
        runOnDisplay(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window),
                                               QStringLiteral("WM_TRANSIENT_FOR")});
    static const QRegularExpression id(QStringLiteral("window id # (0x[0-9a-fA-F]+)"));
    const auto match = id.match(QString::fromLatin1(text));
    return match.hasMatch() ? match.captured(1).toULongLong(nullptr, 16) : 0;
}

} // namespace testsupport
