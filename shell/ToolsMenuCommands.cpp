// The Tools menu's two commands on the main window.
#include "shell/Form1.h"

#include "platform/StatusBar.h"
#include "windows/ToolsMenu.h"

#include <QAction>

void Form1::AddToIEToolsMenu()
{
    // The entries switch only when the registry really took the change.
    if (AddExtensionEntries()) {
        mnuToolsItem[0]->setEnabled(false);
        mnuToolsItem[1]->setEnabled(true);
    } else {
        sb1->setPanelText(1, ToolsMenuFailureText(true));
    }
}

void Form1::RemoveFromIEToolsMenu()
{
    if (RemoveExtensionEntries()) {
        mnuToolsItem[1]->setEnabled(false);
        mnuToolsItem[0]->setEnabled(true);
    } else {
        sb1->setPanelText(1, ToolsMenuFailureText(false));
    }
}
