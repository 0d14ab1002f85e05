#include "platform/SkinHelper.h"

#include "platform/SkinControl.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

SkinHelper::SkinHelper(QObject *parent) : QObject(parent) {}

void SkinHelper::attach(SkinControl *skin)
{
    m_skin = skin;
}

void SkinHelper::start()
{
    if (m_running || !QCoreApplication::instance())
        return;
    QCoreApplication::instance()->installEventFilter(this);
    m_running = true;
}

void SkinHelper::stop()
{
    if (!m_running)
        return;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
    m_running = false;
}

bool SkinHelper::eventFilter(QObject *watched, QEvent *event)
{
    // Polish comes before a window's first show, Show on every later one.
    if ((event->type() == QEvent::Polish || event->type() == QEvent::Show) && m_skin &&
        watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        const Qt::WindowType type = widget->windowType();
        if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog) &&
            !SkinControl::isSkinned(widget))
            m_skin->skinWindow(widget);
    }
    return QObject::eventFilter(watched, event);
}
