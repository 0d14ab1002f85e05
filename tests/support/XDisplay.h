#pragma once

#include <QByteArray>
#include <QKeyCombination>
#include <QPoint>
#include <QString>
#include <QStringList>

namespace testsupport {

// A real X server for tests of stacking, focus and keys: Xvfb on a display
// of its own with the openbox window manager running, so that windows are
// framed, stacked and focused as on a desktop.
//
// startXDisplay() starts both (waiting until the window manager has taken
// the screen) and points this process at them (DISPLAY, QT_QPA_PLATFORM=xcb);
// call it before the application object exists. False, with the reason in
// `why`, when either cannot start.
bool startXDisplay(QString *why);
// Ends both; the process exits soon after.
void stopXDisplay();

// Makes the coming application object take the platform theme of a desktop,
// and with it that desktop's standard keys: "generic", "kde" or "gnome".
// Call before the application object exists.
void useDesktopTheme(const QString &theme);

// Presses and releases keys as the keyboard does, into the window that has
// the focus ("alt+Left", "ctrl+1", "Next"); true once xdotool has sent them.
bool pressKeys(const QString &keys);
// Clicks the left mouse button at a point of the screen.
bool clickAt(const QPoint &screenPoint);
// The name xdotool gives a key with its modifiers ("ctrl+shift+F3"); empty
// for a key it is not taught here.
QString xdotoolKeyName(QKeyCombination keys);

// Runs an X client (xprop, xdotool) on that display and returns what it
// printed; empty when it failed.
QByteArray runOnDisplay(const QString &program, const QStringList &arguments);

// The windows the window manager stacks, bottom first (their X ids).
QList<quint64> stackingOrder();
// The window that `window` is a transient of (WM_TRANSIENT_FOR), or 0.
quint64 transientFor(quint64 window);

} // namespace testsupport
