#pragma once

#include <QImage>
#include <QString>

// Every picture of the program, drawn with QPainter.
namespace drawing {

// The program's mark: a rounded tile with a ring whose tail is an arrow.
// grey draws the muted variant used for the idle tools-menu button.
QImage logo(int size, bool grey = false);

// One navigation button glyph ("back", "forward", "stop", "refresh",
// "backdir", "send", "go", "website") at size x size pixels.
QImage button(const QString &name, int size);

QImage splash();           // 478 x 318
QImage helpIcon(int size); // the help window's icon
QImage checkMark(int size, bool partial);

// Pictures of the start page.
QImage startViews();
QImage startLandscape(int width, int height);
QImage startTiles();
QImage startArrow();

} // namespace drawing
