#pragma once

#include <QString>

// The program's desktop entry in the user's applications folder: what puts
// Quarrow in the desktop's application menu and among the programs offered
// for web pages and web addresses. The entry is written from the template
// compiled into the program, with Exec and TryExec naming the running
// executable. After every change the folder's MIME cache is rebuilt with
// update-desktop-database when that program is installed.
namespace DesktopEntry {

// The entry's file name, which is also its desktop file ID.
QString fileName();
// $XDG_DATA_HOME/applications; ~/.local/share/applications when the
// variable is unset, empty or not an absolute path.
QString applicationsFolder();
// Where the entry lives: the file in the applications folder.
QString filePath();

// The Exec value that starts `program` with the addresses the desktop hands
// over (%U): the path quoted and escaped as desktop entries require.
QString execValue(const QString &program);
// The entry's whole text for `program`.
QString entryText(const QString &program);

// Whether the entry is in the applications folder.
bool installed();
// Writes the entry for the running executable, creating the folder if
// needed. True when the whole entry is in place.
bool install();
// Deletes the entry. True when it is gone afterwards: deleted now, or not
// there to begin with.
bool remove();

} // namespace DesktopEntry
