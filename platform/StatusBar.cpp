#include "platform/StatusBar.h"

#include "platform/Twips.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyleOption>
#include <QToolTip>

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

QRect StatusBar::boxOf(int panel) const
{
    if (panel < 1 || panel > panelCount())
        return {};
    int x = 0;
    for (int i = 1; i < panel; ++i)
        x += Twips::toPixelsX(panelWidth(i));
    const int right = std::min(x + Twips::toPixelsX(panelWidth(panel)), width());
    const QRect box(x + 1, 2, right - x - 3, height() - 4);
    return box.width() > 2 ? box : QRect();
}

QRect StatusBar::textRect(int panel) const
{
    const QRect box = boxOf(panel);
    return box.isEmpty() ? QRect() : box.adjusted(4, 0, -4, 0);
}

QString StatusBar::shownText(int panel) const
{
    const QRect box = textRect(panel);
    if (box.width() <= 0)
        return {};
    return fontMetrics().elidedText(panelText(panel), Qt::ElideMiddle, box.width());
}

int StatusBar::panelAt(const QPoint &point) const
{
    for (int i = 1; i <= panelCount(); ++i) {
        const QRect box = boxOf(i);
        if (!box.isEmpty() && point.x() >= box.left() - 1 && point.x() <= box.right() + 2)
            return i;
    }
    return 0;
}

QString StatusBar::toolTipAt(const QPoint &point) const
{
    const int panel = panelAt(point);
    return panel ? panelText(panel) : QString();
}

bool StatusBar::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this, boxOf(panelAt(help->pos())));
        return true;
    }
    return QWidget::event(event);
}

void StatusBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);

    const QColor line = palette().color(QPalette::Mid);
    const QColor light = palette().color(QPalette::Light);
    for (int i = 1; i <= panelCount(); ++i) {
        const QRect box = boxOf(i);
        if (box.isEmpty())
            continue;
        painter.setPen(line);
        painter.drawLine(box.topLeft(), box.topRight());
        painter.drawLine(box.topLeft(), box.bottomLeft());
        painter.setPen(light);
        painter.drawLine(box.bottomLeft(), box.bottomRight());
        painter.drawLine(box.topRight(), box.bottomRight());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(textRect(i), Qt::AlignVCenter | Qt::AlignLeft, shownText(i));
    }
}
