#pragma once

#include <QString>

#include <optional>

class QCommandLineParser;

// The command line Quarrow reads: --help, --version and one address or file to
// open instead of the start page.
void ConfigureCommandLine(QCommandLineParser &parser);

// Answers --help and --version (printing to standard output, status 0) and a
// command line that cannot be read (a line on standard error, status 2); no
// answer when Quarrow should start. Needs no application object.
std::optional<int> AnswerCommandLine(int argc, char **argv);

// Runs Quarrow in the application object that main() made: the splash, then
// the main window, until the main window is closed.
int RunQuarrow();
