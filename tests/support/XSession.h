#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

// A desktop of the test's own: an X server (Xvfb) on a display number of its
// choosing, with a window manager (openbox), for what depends on real keys,
// focus and windows. Keys are typed with xdotool, through the X server as a
// user's are. Both programs end with the session.
class XSession {
public:
    XSession() = default;
    ~XSession();
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;

    // Whether Xvfb, openbox, xdotool and xprop are installed.
    static bool available();
    // Starts the server and the window manager; false and why when it cannot.
    bool start(QString *why = nullptr);
    // ":N".
    QString display() const { return m_display; }

    // Runs xdotool on this display; its standard output, or a null string
    // when it failed.
    QString xdotool(const QStringList &arguments) const;
    // The visible windows whose title matches the regular expression.
    QStringList windowsNamed(const QString &pattern) const;

private:
    QProcess m_server;
    QProcess m_manager;
    QString m_display;
};

} // namespace testsupport
