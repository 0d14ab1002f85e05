// Views, the tab strip, the menus and shut-down of the main window.
#include "shell/Form1.h"
#include "shell/PageHarvester.h"

#include "platform/BestEffort.h"
#include "platform/CommonDialog.h"
#include "platform/SettingsStore.h"
#include "platform/StatusBar.h"
#include "platform/TabStrip.h"
#include "platform/WebBrowser.h"
#include "shell/Downloads.h"
#include "shell/FullScreen.h"
#include "shell/SideWindows.h"
#include "windows/Branding.h"
#include "windows/FindBar.h"
#include "windows/Form8.h"
#include "windows/Skinning.h"
#include "windows/frmAbout.h"

#include <QApplication>
#include <QCloseEvent>
#include <QWebEnginePage>

void Form1::ShowView(View which)
{
    keysOffTheView(which);
    m_switcher->show(which);
    viewShown();
}

void Form1::SelectView(View which)
{
    keysOffTheView(which);
    TabStrip1->select(int(which) + 1);
    m_switcher->show(which);
    viewShown();
}

void Form1::keysOffTheView(View coming)
{
    if (coming == currentView())
        return;
    // Hiding the view that has the keys would make Qt pass them on along the
    // tab chain, as a Tab does, and the next view's page would give them to
    // its first link; they go straight to the page of the view that comes.
    QWidget *focus = focusWidget();
    if (focus && shownView()->isAncestorOf(focus))
        focus->clearFocus();
}

void Form1::viewShown()
{
    m_findBar->setView(shownView());
    // The keys go to the view that shows: Page Down and Space scroll it at once.
    giveKeysToView();
    showZoom();
}

void Form1::giveKeysToView()
{
    shownView()->setFocus(Qt::OtherFocusReason);
}

void Form1::keepKeysInView(WebBrowser *view)
{
    if (m_unloaded || view != shownView())
        return;
    // The keys were in the view (or went with its page's widget): they go to
    // the widget that shows its page now.
    QWidget *focus = focusWidget();
    if (!focus || focus == view)
        view->setFocus(Qt::OtherFocusReason);
}

void Form1::TabStrip1_Click()
{
    const int tab = TabStrip1->SelectedItem();
    if (tab >= 1 && tab <= 3)
        ShowView(View(tab - 1));
}

void Form1::openFile()
{
    // The file loads into the live view, even when another view shows; its
    // completion rebuilds the other two.
    if (cd1->ShowOpen(this) && !cd1->FileName.isEmpty())
        wb[0]->Navigate2(cd1->FileName);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // A close is never refused.
    event->accept();
    Form_Unload();
}

void Form1::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    if (m_harvester)
        m_harvester->stop();
    // The window's size and place are kept for the next run, as they were
    // before the page filled the screen.
    BestEffort([this] { m_fullScreen->leave(); });
    BestEffort([this] { Settings(m_branding.productName).setWindowGeometry(saveGeometry()); });
    // Every step runs, whatever the one before it did; nothing is saved.
    BestEffort([this] {
        if (m_help)
            m_help->close();
    });
    BestEffort([] { UnloadSplash(); });
    for (WebBrowser *view : wb)
        BestEffort([view] { view->Stop(); });
    if (m_skin)
        BestEffort([] {
            if (SkinHelper *helper = SkinHelperObject())
                StopSkinHelper(helper);
        });
    // End at once: other windows close without their own handling.
    BestEffort([] {
        for (QWidget *window : QApplication::topLevelWidgets())
            window->hide();
    });
    programEnd()();
}

const QList<double> &Form1::zoomLevels()
{
    static const QList<double> levels = {0.25, 0.33, 0.5,  0.67, 0.75, 0.8, 0.9, 1.0, 1.1,
                                         1.25, 1.5,  1.75, 2.0,  2.5,  3.0, 4.0, 5.0};
    return levels;
}

void Form1::zoom(int step)
{
    WebBrowser *view = shownView();
    const QList<double> &levels = zoomLevels();
    const double now = view->zoomFactor();
    double next = 1.0;
    if (step > 0) {
        next = levels.last();
        for (double level : levels) {
            if (level > now + 0.001) {
                next = level;
                break;
            }
        }
    } else if (step < 0) {
        next = levels.first();
        for (auto it = levels.crbegin(); it != levels.crend(); ++it) {
            if (*it < now - 0.001) {
                next = *it;
                break;
            }
        }
    }
    view->setZoomFactor(next);
    showZoom();
}

void Form1::showZoom()
{
    if (m_downloads->busy())
        return;
    // The second panel names the level while it is not the page's own size.
    const int percent = qRound(shownView()->zoomFactor() * 100);
    sb1->setPanelText(2, percent == 100 ? QString() : tr("Zoom %1%").arg(percent));
}
