#pragma once

#include <QString>

// Where the program finds the files that ship beside it, and where it keeps
// its working files.
namespace ProgramFolder {

// The folder of the running executable (tests may point it elsewhere).
QString path();
void setPathForTesting(const QString &folder);

// The folder for the working files: the program's folder when it can be
// written, otherwise the per-user data folder (an installed copy).
QString workingFolder();

} // namespace ProgramFolder
