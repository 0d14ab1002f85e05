// The Tools menu's two commands on the main window.
#include "shell/Form1.h"

#include "platform/StatusBar.h"
#include "windows/ToolsMenu.h"

#include <QAction>

void Form1::AddToIEToolsMenu()
{
    // The entries switch only when the change really was made: the registry
    // entries on Windows, the desktop entry elsewhere.
    if (AddProgramToToolsMenu()) {
        action(Command::AddToToolsMenu)->setEnabled(false);
        action(Command::RemoveFromToolsMenu)->setEnabled(true);
    } else {
        sb1->setPanelText(1, ToolsMenuFailureText(true));
    }
}

void Form1::RemoveFromIEToolsMenu()
{
    if (RemoveProgramFromToolsMenu()) {
        action(Command::RemoveFromToolsMenu)->setEnabled(false);
        action(Command::AddToToolsMenu)->setEnabled(true);
    } else {
        sb1->setPanelText(1, ToolsMenuFailureText(false));
    }
}
