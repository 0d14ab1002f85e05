#include "platform/StatusBar.h"

#include "platform/Twips.h"

#include <QPainter>
#include <QStyleOption>

StatusBar::StatusBar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("sb1"));
    setAttribute(Qt::WA_StyledBackground, true);
    m_panels.append(Panel{});
}

void StatusBar::addPanel()
{
    m_panels.append(Panel{});
    update();
}

QString StatusBar::panelText(int panel) const
{
    return m_panels.value(panel - 1).text;
}

void StatusBar::setPanelText(int panel, const QString &text)
{
    if (panel < 1 || panel > panelCount())
        return;
    m_panels[panel - 1].text = text;
    update();
}

float StatusBar::panelWidth(int panel) const
{
    return m_panels.value(panel - 1).width;
}

void StatusBar::setPanelWidth(int panel, float twips)
{
    if (panel < 1 || panel > panelCount())
        return;
    m_panels[panel - 1].width = twips < 0 ? 0 : twips;
    update();
}

float StatusBar::panelLeft(int panel) const
{
    float left = 0;
    for (int i = 1; i < panel && i <= panelCount(); ++i)
        left += m_panels[i - 1].width;
    return left;
}

QSize StatusBar::sizeHint() const
{
    return QSize(200, Twips::toPixelsY(315));
}

void StatusBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);

    const QColor line = palette().color(QPalette::Mid);
    const QColor light = palette().color(QPalette::Light);
    int x = 0;
    for (int i = 1; i <= panelCount(); ++i) {
        const int w = Twips::toPixelsX(panelWidth(i));
        const QRect box(x + 1, 2, w - 3, height() - 4);
        if (box.width() > 2) {
            painter.setPen(line);
            painter.drawLine(box.topLeft(), box.topRight());
            painter.drawLine(box.topLeft(), box.bottomLeft());
            painter.setPen(light);
            painter.drawLine(box.bottomLeft(), box.bottomRight());
            painter.drawLine(box.topRight(), box.bottomRight());
            painter.setPen(palette().color(QPalette::WindowText));
            const QRect textBox = box.adjusted(4, 0, -4, 0);
            painter.drawText(
                textBox, Qt::AlignVCenter | Qt::AlignLeft,
                fontMetrics().elidedText(panelText(i), Qt::ElideMiddle, textBox.width()));
        }
        x += w;
        if (x >= width())
            break;
    }
}
