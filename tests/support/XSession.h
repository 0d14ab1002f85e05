#pragma once

#include <QKeyCombination>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace testsupport {

// An X server of the test's own (Xvfb) with a window manager on it (openbox),
// for what only a real window system shows: keys as the keyboard sends them,
// focus, window activation. Both run until the session goes (or the test
// process dies); nothing else is touched, so sessions of several tests may
// run side by side.
class XSession {
public:
    XSession() = default;
    ~XSession();
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;

    // Starts the server on a free display and the window manager on it, and
    // returns once both are ready (bounded). Needs no application object.
    bool start(QString *error = nullptr);
    void stop();
    // ":N", once started.
    QString display() const { return m_display; }

    // Points this process's coming application object at the session: the
    // xcb platform on its display. `theme` picks the desktop whose platform
    // theme (and so whose standard keys) Qt uses: "generic", "kde" or
    // "gnome".
    void useForThisProcess(const QString &theme = QStringLiteral("generic")) const;

    // Runs xdotool on the display with the arguments and waits for it.
    static bool xdotool(const QStringList &arguments);
    // Presses and releases keys as the keyboard would, into the window that
    // has the focus ("alt+Left", "ctrl+1", "Next").
    static bool pressKeys(const QString &keys);
    // Clicks the left mouse button at a point of the screen.
    static bool click(const QPoint &screenPoint);
    // The name xdotool gives a key with its modifiers ("ctrl+shift+F3");
    // empty for a key it is not taught here.
    static QString keyName(QKeyCombination keys);

private:
    pid_t m_server = -1;
    pid_t m_windowManager = -1;
    QString m_display;
};

} // namespace testsupport
