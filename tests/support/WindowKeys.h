#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace testsupport {

// One key that a window answers to, and what answers it.
struct KeyUse {
    enum class Kind {
        Action,   // a shortcut of an action (a menu item, a button's command)
        Shortcut, // a QShortcut of the window
        Mnemonic, // Alt and the underlined letter of a menu, button, label or tab
    };
    QKeySequence keys;
    Kind kind = Kind::Action;
    // Who answers: "action Back", "menu File", "button Grid"...
    QString owner;
    // Where the widget that answers lies among parts of the window that
    // show one at a time (the pages of a stacked or tab widget, the views of
    // the main window): each container with the part that holds the widget.
    // Empty for what answers in the whole window.
    QList<QPair<const QObject *, const QObject *>> places;
};

// Every key the window answers to, as Qt holds them once the platform's
// standard keys are expanded: each shortcut of each of its actions (each
// time an action lists it), its QShortcuts, and the mnemonics of its menu
// bar's menus, its buttons, its labels' buddies and its tabs. Other windows
// (the side windows a window owns) are left out: each window is one of its own.
QList<KeyUse> windowKeys(const QWidget *window);

// One line for each key that more than one use has: "Alt+Left: action Back,
// action Back". Uses in parts of the window that never show together (two
// pages of a tab widget, two views) do not clash. Empty when every key does
// one thing.
QStringList keyClashes(const QList<KeyUse> &uses);

// One line for each menu of the window whose items share an underlined
// letter: "menu View: X for Find Next, Exit".
QStringList menuLetterClashes(const QWidget *window);

// The windows that show besides `main` (its side windows), popup menus left out.
QList<QWidget *> otherWindows(const QWidget *main);

// The keys of the uses of one kind, each once.
QList<QKeySequence> keysOfKind(const QList<KeyUse> &uses, KeyUse::Kind kind);

} // namespace testsupport
