// Keys and focus as a user meets them: the main window on a real X server,
// keys typed on its keyboard and buttons clicked with its mouse (xdotool).
#include "tests/browser/TestSite.h"
#include "tests/shell/MainWindowFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XDisplay.h"

#include "platform/TabStrip.h"
#include "platform/WebBrowser.h"

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QShortcutEvent>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

#include <functional>

namespace {

using testsupport::clickAt;
using testsupport::pressKeys;

// A long page: it scrolls in every view (many lines of markup, many pictures).
QByteArray longPage()
{
    QByteArray page = "<html><head><title>Long</title></head><body>\n";
    for (int i = 0; i < 40; ++i) {
        page += "<p>Line " + QByteArray::number(i) + " of a page that runs on and on.</p>\n";
        page +=
            "<img src=\"many/p" + QByteArray::number(i) + ".gif\" width=\"60\" height=\"60\">\n";
    }
    return page + "</body></html>\n";
}

class RealKeys : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        // The start page is long too: it shows with the keys in it.
        ASSERT_TRUE(testsupport::writeFile(programFile("start.html"), longPage()));
        ASSERT_TRUE(QDir(folder.path()).mkpath("many"));
        ASSERT_TRUE(QDir(site.folder()).mkpath("many"));
        for (int i = 0; i < 40; ++i) {
            const QString name = QString("/many/p%1.gif").arg(i);
            ASSERT_TRUE(testsupport::writeFile(folder.path() + name, TestSite::gifBytes()));
            ASSERT_TRUE(testsupport::writeFile(site.folder() + name, TestSite::gifBytes()));
        }
        site.server().setRoute("/long.html", longPage());
        ASSERT_TRUE(site.start());
        loadWindow();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        ASSERT_TRUE(waitForHarvests(1));
    }

    void open(const QString &path)
    {
        const int before = form->harvestsDone();
        ASSERT_TRUE(view(0)->Navigate(site.url(path)));
        ASSERT_TRUE(waitForHarvests(before + 1)) << path.toStdString();
    }

    // True when the keys go to the view's page: to the widget that shows it,
    // not to the view around it.
    bool hasKeys(int index) const
    {
        QWidget *focus = QApplication::focusWidget();
        return focus && view(index)->isAncestorOf(focus);
    }
    QString whoHasKeys() const
    {
        QWidget *focus = QApplication::focusWidget();
        return focus ? QString("%1 %2").arg(focus->metaObject()->className(), focus->objectName())
                     : QString("nothing");
    }

    int scrolled(int index) { return evaluate(index, "window.scrollY").toInt(); }

    QPoint centreOf(QWidget *widget, const QRect &part = {})
    {
        const QRect area = part.isNull() ? widget->rect() : part;
        return widget->mapToGlobal(area.center());
    }

    TestSite site;
};

TEST_F(RealKeys, AltLeftAndAltRightGoBackAndForward)
{
    const struct {
        const char *where;
        std::function<QWidget *()> keys;
    } places[] = {
        {"in the page", [this] { return static_cast<QWidget *>(view(0)); }},
        {"in the address box", [this] { return static_cast<QWidget *>(addressBox()); }},
    };
    for (const auto &place : places) {
        SCOPED_TRACE(place.where);
        open("/index.html");
        open("/dir1/page2.html");
        place.keys()->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(pressKeys("alt+Left"));
        EXPECT_TRUE(waitForUrl(0, site.url("/index.html")));
        EXPECT_EVENTUALLY(!view(0)->Busy(), 20000);
        ASSERT_TRUE(pressKeys("alt+Right"));
        EXPECT_TRUE(waitForUrl(0, site.url("/dir1/page2.html")));
    }
}

// Each key of each command comes to that command alone, unambiguous: the
// window's shortcut map as the keyboard meets it.
TEST_F(RealKeys, EveryCommandKeyReachesItsCommandAlone)
{
    struct Arrival {
        QAction *action;
        bool ambiguous;
    };
    QList<Arrival> arrivals;
    // Catches what Qt hands the actions and keeps it from them: nothing runs.
    struct Catcher : QObject {
        QList<Arrival> *arrivals;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() != QEvent::Shortcut)
                return false;
            arrivals->append({static_cast<QAction *>(watched),
                              static_cast<QShortcutEvent *>(event)->isAmbiguous()});
            return true;
        }
    } catcher;
    catcher.arrivals = &arrivals;

    QList<QAction *> actions;
    for (int i = 0; i < int(Command::Count); ++i) {
        QAction *action = form->action(Command(i));
        // Back, Forward, Stop and the others that wait for their moment are
        // given their keys all the same.
        action->setEnabled(true);
        action->installEventFilter(&catcher);
        actions << action;
    }
    // From the page, and from the address box as in other browsers (Ctrl+U
    // there is Page Source, not the box's "empty the line"); only Esc is the
    // box's own: it puts the page's address back.
    const struct {
        const char *where;
        std::function<bool()> giveKeys;
    } places[] = {
        {"in the page",
         [this] {
             view(0)->setFocus(Qt::OtherFocusReason);
             return QTest::qWaitFor([this] { return hasKeys(0); }, 10000);
         }},
        {"in the address box",
         [this] {
             addressBox()->setFocus(Qt::OtherFocusReason);
             return QTest::qWaitFor([this] { return addressBox()->hasFocus(); }, 10000);
         }},
    };
    for (const auto &place : places) {
        SCOPED_TRACE(place.where);
        const bool inTheBox = QByteArray(place.where) == "in the address box";
        int checked = 0;
        for (QAction *action : actions) {
            for (const QKeySequence &keys : action->shortcuts()) {
                if (inTheBox && keys == QKeySequence(Qt::Key_Escape))
                    continue;
                const std::string name =
                    (action->text() + " " + keys.toString(QKeySequence::PortableText))
                        .toStdString();
                const QString typed = testsupport::xdotoolKeyName(keys[0]);
                ASSERT_FALSE(typed.isEmpty()) << name;
                // A command that moved the keys (Find, the address box) gives
                // them back first.
                ASSERT_TRUE(place.giveKeys()) << name << ": " << whoHasKeys().toStdString();
                arrivals.clear();
                ASSERT_TRUE(pressKeys(typed)) << name;
                QUARROW_WAIT_UNTIL(!arrivals.isEmpty(), 10000);
                ASSERT_EQ(arrivals.size(), 1) << name;
                EXPECT_EQ(arrivals.first().action, action)
                    << name << " went to " << arrivals.first().action->text().toStdString();
                EXPECT_FALSE(arrivals.first().ambiguous) << name;
                ++checked;
            }
        }
        EXPECT_GE(checked, 20);
    }
    for (QAction *action : actions)
        action->removeEventFilter(&catcher);
}

// After each of these the keys are in the view that shows: Page Down and
// Space scroll it at once, without a click into the page.
TEST_F(RealKeys, TheViewThatShowsHasTheKeys)
{
    enum From { AsItIs, TheBar, TheAddressBox };
    const struct Step {
        const char *what;
        From from;
        std::function<void()> act;
        int view;
        // The view loads a page first.
        bool loads;
        const char *scrollKey;
    } steps[] = {
        {"the start", AsItIs, [] {}, 0, false, "Next"},
        {"Ctrl+3 from the start page", AsItIs, [] { pressKeys("ctrl+3"); }, 2, false, "space"},
        {"Ctrl+1 from the Images view's page", AsItIs, [] { pressKeys("ctrl+1"); }, 0, false,
         "Next"},
        // Pages from the web, in a process of their own; the keys stay where
        // they were, as when a link opens them.
        {"two pages opened", AsItIs,
         [this] {
             open("/long.html");
             open("/long.html?again");
         },
         0, false, "Next"},
        {"Ctrl+3 from the Browser view's page", AsItIs, [] { pressKeys("ctrl+3"); }, 2, false,
         "space"},
        {"Ctrl+2 from the address box", TheAddressBox, [] { pressKeys("ctrl+2"); }, 1, false,
         "Next"},
        {"Ctrl+3 from the Source Code view's page", AsItIs, [] { pressKeys("ctrl+3"); }, 2, false,
         "Next"},
        {"Ctrl+1 from the bar", TheBar, [] { pressKeys("ctrl+1"); }, 0, false, "Next"},
        {"Ctrl+2 from the Browser view's page", AsItIs, [] { pressKeys("ctrl+2"); }, 1, false,
         "Next"},
        {"Ctrl+1 from the Source Code view's page", AsItIs, [] { pressKeys("ctrl+1"); }, 0, false,
         "Next"},
        {"the Back button", AsItIs, [this] { clickAt(centreOf(button("cmdBack"))); }, 0, true,
         "space"},
        {"the Forward button", TheAddressBox, [this] { clickAt(centreOf(button("cmdForward"))); },
         0, true, "Next"},
        {"the Refresh button", AsItIs, [this] { clickAt(centreOf(button("cmdRefresh"))); }, 0, true,
         "Next"},
        {"a click on the Source Code tab", TheBar,
         [this] {
             QTabBar *tabs = tabStrip()->tabBar();
             clickAt(centreOf(tabs, tabs->tabRect(1)));
         },
         1, false, "Next"},
        {"a click on the Images tab", AsItIs,
         [this] {
             QTabBar *tabs = tabStrip()->tabBar();
             clickAt(centreOf(tabs, tabs->tabRect(2)));
         },
         2, false, "Next"},
        {"Send to Browser", TheBar, [this] { clickAt(centreOf(button("cmdSendToBrowser"))); }, 0,
         true, "Next"},
        {"Alt+Home", TheBar, [] { pressKeys("alt+Home"); }, 0, true, "Next"},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        ASSERT_TRUE(waitForGeneratedViews());
        QWidget *from = step.from == TheBar          ? static_cast<QWidget *>(button("cmdGo"))
                        : step.from == TheAddressBox ? addressBox()
                                                     : nullptr;
        if (from) {
            from->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(QTest::qWaitFor([from] { return from->hasFocus(); }, 10000));
        }
        QSignalSpy loaded(view(step.view), &WebBrowser::DownloadComplete);
        step.act();
        EXPECT_EVENTUALLY(int(form->currentView()) == step.view, 10000);
        if (step.loads) {
            EXPECT_TRUE(loaded.count() > 0 || loaded.wait(20000));
        }
        QUARROW_WAIT_UNTIL(hasKeys(step.view), 10000);
        EXPECT_TRUE(hasKeys(step.view)) << whoHasKeys().toStdString();
        // The page itself has them, not its first link (as Tab would give them).
        EXPECT_EQ(evaluate(step.view, "document.activeElement.tagName").toString(), "BODY");
        evaluate(step.view, "window.scrollTo(0, 0)");
        EXPECT_EVENTUALLY(scrolled(step.view) == 0, 10000);
        ASSERT_TRUE(pressKeys(step.scrollKey));
        EXPECT_EVENTUALLY(scrolled(step.view) > 0, 10000);
        // Back and Forward bring a page back where it was left: at its top.
        evaluate(step.view, "window.scrollTo(0, 0)");
        EXPECT_EVENTUALLY(scrolled(step.view) == 0, 10000);
    }
}

TEST_F(RealKeys, CtrlLAndF6PutTheKeysInTheAddressBox)
{
    open("/long.html");
    for (const char *keys : {"ctrl+l", "F6"}) {
        SCOPED_TRACE(keys);
        view(0)->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(QTest::qWaitFor([this] { return hasKeys(0); }, 10000));
        ASSERT_TRUE(pressKeys(keys));
        EXPECT_EVENTUALLY(addressBox()->hasFocus(), 10000);
        EXPECT_EQ(addressBox()->selectedText(), site.url("/long.html"));
    }
}

} // namespace
