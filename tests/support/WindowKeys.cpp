#include "tests/support/WindowKeys.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabBar>
#include <QWebEngineView>

namespace testsupport {
namespace {

QString plain(QString text)
{
    return text.remove(u'&');
}

// The widgets of the window itself: not those of other windows it owns, and
// not its popup menus, whose keys are the menu's own.
QList<QWidget *> ownWidgets(const QWidget *window)
{
    QList<QWidget *> widgets;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (widget->window() == window)
            widgets << widget;
    }
    return widgets;
}

// The parts that show one at a time which hold the widget: pages of stacked
// widgets (a tab widget's among them) and web views (the main window shows
// one of its views at a time).
QList<QPair<const QObject *, const QObject *>> placesOf(const QWidget *widget)
{
    QList<QPair<const QObject *, const QObject *>> places;
    for (const QWidget *part = widget; part && !part->isWindow(); part = part->parentWidget()) {
        const QWidget *container = part->parentWidget();
        if (qobject_cast<const QStackedWidget *>(container) ||
            qobject_cast<const QWebEngineView *>(part))
            places.append(qMakePair<const QObject *, const QObject *>(container, part));
    }
    return places;
}

bool exclusive(const KeyUse &a, const KeyUse &b)
{
    for (const auto &place : a.places) {
        for (const auto &other : b.places) {
            if (place.first == other.first && place.second != other.second)
                return true;
        }
    }
    return false;
}

void addMnemonic(QList<KeyUse> &uses, const QString &text, const QString &owner,
                 const QWidget *widget)
{
    const QKeySequence keys = QKeySequence::mnemonic(text);
    if (!keys.isEmpty())
        uses.append({keys, KeyUse::Kind::Mnemonic, owner + QLatin1Char(' ') + plain(text),
                     placesOf(widget)});
}

} // namespace

QList<KeyUse> windowKeys(const QWidget *window)
{
    QList<KeyUse> uses;
    const QList<QWidget *> widgets = ownWidgets(window);

    // Actions: those the window and its widgets carry, and those of the menus
    // of its menu bar.
    QList<QAction *> actions = window->actions();
    for (QWidget *widget : widgets) {
        actions += widget->actions();
        if (auto *bar = qobject_cast<QMenuBar *>(widget)) {
            for (QAction *title : bar->actions()) {
                if (title->menu()) {
                    actions += title->menu()->actions();
                    addMnemonic(uses, title->text(), QStringLiteral("menu"), bar);
                }
            }
        }
    }
    QSet<QAction *> seen;
    for (QAction *action : actions) {
        if (seen.contains(action) || action->menu())
            continue;
        seen.insert(action);
        for (const QKeySequence &keys : action->shortcuts())
            uses.append({keys,
                         KeyUse::Kind::Action,
                         QStringLiteral("action ") + plain(action->text()),
                         {}});
    }

    for (QShortcut *shortcut : window->findChildren<QShortcut *>()) {
        const auto *parent = qobject_cast<const QWidget *>(shortcut->parent());
        if (!parent || parent->window() != window)
            continue;
        for (const QKeySequence &keys : shortcut->keys())
            uses.append({keys, KeyUse::Kind::Shortcut,
                         QStringLiteral("shortcut of ") + parent->metaObject()->className(),
                         placesOf(parent)});
    }

    for (QWidget *widget : widgets) {
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            addMnemonic(uses, button->text(), QStringLiteral("button"), button);
        else if (auto *label = qobject_cast<QLabel *>(widget); label && label->buddy())
            addMnemonic(uses, label->text(), QStringLiteral("label"), label);
        else if (auto *box = qobject_cast<QGroupBox *>(widget))
            addMnemonic(uses, box->title(), QStringLiteral("group"), box);
        else if (auto *tabs = qobject_cast<QTabBar *>(widget)) {
            for (int i = 0; i < tabs->count(); ++i)
                addMnemonic(uses, tabs->tabText(i), QStringLiteral("tab"), tabs);
        }
    }
    return uses;
}

QStringList keyClashes(const QList<KeyUse> &uses)
{
    QMap<QString, QList<const KeyUse *>> byKey;
    for (const KeyUse &use : uses)
        byKey[use.keys.toString(QKeySequence::PortableText)] << &use;
    QStringList clashes;
    for (auto it = byKey.cbegin(); it != byKey.cend(); ++it) {
        QStringList owners;
        const QList<const KeyUse *> &same = it.value();
        for (qsizetype i = 0; i < same.size(); ++i) {
            for (qsizetype j = 0; j < same.size(); ++j) {
                if (i != j && !exclusive(*same[i], *same[j])) {
                    owners << same[i]->owner;
                    break;
                }
            }
        }
        if (!owners.isEmpty())
            clashes << it.key() + QStringLiteral(": ") + owners.join(QStringLiteral(", "));
    }
    return clashes;
}

QStringList menuLetterClashes(const QWidget *window)
{
    QStringList clashes;
    const auto *main = qobject_cast<const QMainWindow *>(window);
    if (!main || !main->menuWidget())
        return clashes;
    const auto *bar = qobject_cast<const QMenuBar *>(main->menuWidget());
    if (!bar)
        return clashes;
    for (QAction *title : bar->actions()) {
        if (!title->menu())
            continue;
        QMap<QString, QStringList> items;
        for (QAction *item : title->menu()->actions()) {
            const QKeySequence letter = QKeySequence::mnemonic(item->text());
            if (!item->isSeparator() && !letter.isEmpty())
                items[letter.toString(QKeySequence::PortableText)] << plain(item->text());
        }
        for (auto it = items.cbegin(); it != items.cend(); ++it) {
            if (it.value().size() > 1)
                clashes << QStringLiteral("menu %1: %2 for %3")
                               .arg(plain(title->text()), it.key(),
                                    it.value().join(QStringLiteral(", ")));
        }
    }
    return clashes;
}

QList<QWidget *> otherWindows(const QWidget *main)
{
    QList<QWidget *> windows;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != main && window->isVisible() && !qobject_cast<QMenu *>(window))
            windows << window;
    }
    return windows;
}

QList<QKeySequence> keysOfKind(const QList<KeyUse> &uses, KeyUse::Kind kind)
{
    QList<QKeySequence> keys;
    for (const KeyUse &use : uses) {
        if (use.kind == kind && !keys.contains(use.keys))
            keys << use.keys;
    }
    return keys;
}

} // namespace testsupport
