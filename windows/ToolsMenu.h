#pragma once

#include "platform/Registry.h"

#include <QList>
#include <QPair>
#include <QString>

// The Tools menu's "Add program" and "Remove Program" commands. On Windows
// they put the program into Internet Explorer's Tools menu and toolbar: the
// program adds itself as an extension that starts it, and removes itself
// again. The extension is one registry key of the machine-wide hive holding
// eight string values; Internet Explorer reads them, the program never does.
// Elsewhere the same commands install and remove the program's desktop entry
// (platform/DesktopEntry.h), which puts it into the desktop's application
// menu and among the programs that open web pages.

// The extension key below HKEY_LOCAL_MACHINE.
extern const QString ExtensionKeyPath;
// Internet Explorer's class for extensions that run an executable.
extern const QString ExtensionExecClsid;

// The eight values of the extension key, names and data, in the order they
// are written: "ButtonText", "CLSID", "Default Visible", "Exec", "HotIcon",
// "Icon", "MenuStatusBar", "MenuText".
QList<QPair<QString, QString>> ExtensionValues();

// Creates or opens the key and writes one string value; true when every
// registry call made succeeded.
bool WriteRegistryString(Registry::Root root, const QString &keyPath, const QString &valueName,
                         const QString &text);
// Deletes one key (which must have no subkeys); true on success.
bool DeleteRegistryKey(Registry::Root root, const QString &keyPath);
// Removes one leading "\" and then one trailing "\" if present.
QString TrimKeyPath(const QString &keyPath);

// Writes the eight values, each on its own, in order; a failed write does not
// stop the following ones. True only when every value was written.
bool AddExtensionEntries();
// Deletes the extension key. True when the key is gone afterwards: deleted
// now, or not there to begin with.
bool RemoveExtensionEntries();

// The commands as this system has them: the extension entries above on
// Windows, the desktop entry elsewhere. True when the change was made (for a
// removal: when nothing is left).
bool AddProgramToToolsMenu();
bool RemoveProgramFromToolsMenu();

// What the main window's status bar says when adding (or removing) failed.
QString ToolsMenuFailureText(bool adding);
