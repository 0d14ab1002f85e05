#pragma once

// Runs Quarrow in the application object that main() made: the splash, then
// the main window, until the main window is closed.
int RunQuarrow();
