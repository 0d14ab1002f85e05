#pragma once

#include <QString>

#include <optional>

// What must hold before Quarrow can start its web engine.

// Why the web engine would refuse to start in this process, as a user reads
// it: run by root with the engine's sandbox left on, which the engine does
// not allow. Nothing when it can start (not root, or the sandbox is turned
// off knowingly with QTWEBENGINE_DISABLE_SANDBOX or --no-sandbox in
// QTWEBENGINE_CHROMIUM_FLAGS).
std::optional<QString> WebEngineStartProblem();

// Says why Quarrow does not start: on standard error always, and in a
// message box when the window system is one a user sees (not offscreen or
// minimal). Needs the application object. Returns the exit status.
int RefuseToStart(const QString &why);
