#include "platform/PageOutline.h"

#include <QPainter>
#include <QRegion>

PageOutline::PageOutline(QWidget *view) : QWidget(view)
{
    setObjectName(QStringLiteral("pageOutline"));
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
    setAttribute(Qt::WA_NoSystemBackground, true);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void PageOutline::surround(const QRect &box)
{
    m_box = box;
    const QRect outer = box.adjusted(-ringWidth, -ringWidth, ringWidth, ringWidth);
    setGeometry(outer);
    // Only the ring belongs to the widget: the part inside shows the page as it is.
    const QRect inside(ringWidth, ringWidth, qMax(0, box.width()), qMax(0, box.height()));
    setMask(QRegion(rect()).subtracted(QRegion(inside)));
    raise();
    show();
    update();
}

void PageOutline::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // A dark ring with a light edge inside it stands out on light pages and dark ones.
    painter.fillRect(rect(), QColor(0xe8, 0x59, 0x0c));
    painter.setPen(QColor(255, 255, 255));
    painter.drawRect(rect().adjusted(ringWidth - 1, ringWidth - 1, -ringWidth, -ringWidth));
}
