#pragma once

class QWidget;

// Where the program's secondary windows appear and how they close: over the
// window that opened them, and with the keys desktop users reach for.

// Moves `window` so that its frame is centred over the window of `owner`,
// kept on the owner's screen. Without an owner the window is centred on the
// primary screen. Call before the window is shown (or again afterwards).
void CentreOverOwner(QWidget *window, const QWidget *owner);

// Esc and Ctrl+W close `window` while it is the active window.
void CloseWithKeys(QWidget *window);
