#include "platform/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace Twips {
namespace {
double dpi(bool horizontal)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double value =
        screen ? (horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY())
               : 96.0;
    return value > 0 ? value : 96.0;
}
} // namespace

double perPixelX()
{
    return 1440.0 / dpi(true);
}

double perPixelY()
{
    return 1440.0 / dpi(false);
}

int toPixelsX(double twips)
{
    return static_cast<int>(std::lround(twips / perPixelX()));
}

int toPixelsY(double twips)
{
    return static_cast<int>(std::lround(twips / perPixelY()));
}

float fromPixelsX(int pixels)
{
    return static_cast<float>(pixels * perPixelX());
}

float fromPixelsY(int pixels)
{
    return static_cast<float>(pixels * perPixelY());
}

void place(QWidget *widget, double left, double top, double width, double height)
{
    widget->setGeometry(toPixelsX(left), toPixelsY(top), toPixelsX(width), toPixelsY(height));
}

} // namespace Twips
