#pragma once

#include <QApplication>
#include <QPoint>
#include <QRect>
#include <QTest>
#include <QWidget>

// What the side-window tests share: an owner window to open them over, and
// keys pressed in an active window as a user presses them.
namespace windowtests {

// A plain top-level window away from the screen's corner, shown and active.
inline bool showOwner(QWidget &owner)
{
    owner.setWindowTitle(QStringLiteral("Owner"));
    owner.setGeometry(50, 30, 720, 560);
    owner.show();
    owner.activateWindow();
    return QTest::qWaitForWindowExposed(&owner);
}

// The distance between the centres of two windows' frames, per axis.
inline QPoint centreOffset(const QWidget *window, const QWidget *owner)
{
    return window->frameGeometry().center() - owner->frameGeometry().center();
}

// Makes the window the active one (a window that shares its owner's
// activation reports itself active with the owner, so the application is
// asked) and presses the keys in it.
inline bool pressIn(QWidget *window, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    if (!QTest::qWaitForWindowExposed(window))
        return false;
    window->activateWindow();
    if (!QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, 5000))
        return false;
    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
    QTest::keyClick(target, key, modifiers);
    return true;
}

} // namespace windowtests
