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

void Form1::ShowView(int index)
{
    for (WebBrowser *view : wb)
        view->setVisible(false);
    wb[index]->setVisible(true);
}

void Form1::SelectView(int index)
{
    for (WebBrowser *view : wb)
        view->setVisible(false);
    TabStrip1->select(index + 1);
    wb[index]->setVisible(true);
}

void Form1::TabStrip1_Click()
{
    ShowView(TabStrip1->SelectedItem() - 1);
}

void Form1::mnuFileItem_Click(int index)
{
    switch (index) {
    case 0:
        // The file loads into the live view, even when another view shows;
        // its completion rebuilds the other two.
        if (cd1->ShowOpen(this) && !cd1->FileName.isEmpty())
            wb[0]->Navigate2(cd1->FileName);
        break;
    case 1:
        close();
        break;
    default:
        break;
    }
}

void Form1::mnuGoItem_Click(int index)
{
    switch (index) {
    case 0:
        cmbBack_Click();
        break;
    case 1:
        cmdForward_Click();
        break;
    case 2:
        cmdStop_Click();
        break;
    case 3:
        cmdRefresh_Click(0);
        break;
    case 4:
        cmdBackDir_Click();
        break;
    case 5:
        Command1_Click();
        break;
    default:
        break;
    }
}

void Form1::mnuViewItem_Click(int index)
{
    if (index >= 0 && index <= 2)
        SelectView(index);
    else if (index > 2)
        cmdWebsite_Click();
}

void Form1::mnuToolsItem_Click(int index)
{
    if (index == 0)
        AddToIEToolsMenu();
    else if (index == 1)
        RemoveFromIEToolsMenu();
}

void Form1::mnuHelpItem_Click(int)
{
    ShowHelpWindow(m_help);
}

void Form1::mnuAboutItem_Click(int)
{
    ShowAboutWindow(m_about);
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
    m_harvester->stop();
    // Every step runs, whatever the one before it did; nothing is saved.
    BestEffort([this] {
        if (m_help)
            m_help->close();
    });
    BestEffort([] { UnloadSplash(); });
    for (WebBrowser *view : wb)
        BestEffort([view] { view->Stop(); });
    if (SkinsEnabled)
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
