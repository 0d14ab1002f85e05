#pragma once

#include <QByteArray>
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

// Runs an X client (xprop, xdotool) on that display and returns what it
// printed; empty when it failed.
QByteArray runOnDisplay(const QString &program, const QStringList &arguments);

// The windows the window manager stacks, bottom first (their X ids).
QList<quint64> stackingOrder();
// The window that `window` is a transient of (WM_TRANSIENT_FOR), or 0.
quint64 transientFor(quint64 window);

} // namespace testsupport
