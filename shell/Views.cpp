// Views, the tab strip, the menus and shut-down of the main window.
#include "shell/Form1.h"
#include "shell/PageHarvester.h"

#include "platform/BestEffort.h"
#include "platform/CommonDialog.h"
#include "platform/TabStrip.h"
#include "platform/WebBrowser.h"
#include "shell/SideWindows.h"
#include "windows/Branding.h"
#include "windows/Form8.h"
#include "windows/Skinning.h"
#include "windows/frmAbout.h"

#include <QApplication>
#include <QCloseEvent>

#include <functional>

void Form1::ShowView(View which)
{
    for (WebBrowser *view : wb)
        view->setVisible(false);
    wb[size_t(which)]->setVisible(true);
    updateNavigationActions();
}

void Form1::SelectView(View which)
{
    for (WebBrowser *view : wb)
        view->setVisible(false);
    TabStrip1->select(int(which) + 1);
    wb[size_t(which)]->setVisible(true);
    updateNavigationActions();
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
