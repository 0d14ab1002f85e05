#include "windows/WindowPlacement.h"

#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>
#include <QShortcut>
#include <QWidget>

#include <algorithm>

namespace {

// The window's outer size: its frame when the window system has told us the
// frame, its client size until then.
QSize outerSize(const QWidget *window)
{
    const QSize frame = window->frameGeometry().size();
    const QSize client = window->size();
    return frame.width() >= client.width() && frame.height() >= client.height() ? frame : client;
}

} // namespace

void CentreOverOwner(QWidget *window, const QWidget *owner)
{
    if (!window)
        return;
    const QWidget *ownerWindow = owner ? owner->window() : nullptr;
    QScreen *screen = ownerWindow ? ownerWindow->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    const QRect over = ownerWindow ? ownerWindow->frameGeometry() : area;
    if (!over.isValid())
        return;

    const QSize size = outerSize(window);
    QPoint topLeft(over.center().x() - size.width() / 2, over.center().y() - size.height() / 2);
    // A window larger than its owner still starts on the owner's screen.
    if (area.isValid()) {
        topLeft.setX(std::clamp(topLeft.x(), area.left(),
                                std::max(area.left(), area.right() + 1 - size.width())));
        topLeft.setY(std::clamp(topLeft.y(), area.top(),
                                std::max(area.top(), area.bottom() + 1 - size.height())));
    }
    // move() places the frame's top left corner of a top-level window.
    window->move(topLeft);
}

void CloseWithKeys(QWidget *window)
{
    if (!window)
        return;
    for (const QKeySequence &keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto *shortcut = new QShortcut(keys, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
    }
}
