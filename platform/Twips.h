#pragma once

class QWidget;

// Window geometry is kept in twips (1/1440 inch) and shown at the screen's
// twips per pixel (15 at 96 dots per inch).
namespace Twips {

double perPixelX();
double perPixelY();
int toPixelsX(double twips);
int toPixelsY(double twips);
float fromPixelsX(int pixels);
float fromPixelsY(int pixels);

// Places a widget by a rectangle given in twips.
void place(QWidget *widget, double left, double top, double width, double height);

} // namespace Twips
