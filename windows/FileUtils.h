#pragma once

#include <QString>

class QWidget;

// The part of a path after its last separator. Backslashes separate, as in
// the paths the program was first written for; off Windows so do slashes.
QString FileNameOf(const QString &path);

// True when `path` names a plain, visible file. The letter case of the name
// does not matter, as on the file systems the program was first written
// for: the file is looked for in its folder ignoring case.
bool FileExists(const QString &path);

// Keeps a window above every window that is not itself kept on top.
void SetTopMost(QWidget *form);
