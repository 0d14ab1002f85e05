#include "platform/SkinLabel.h"

#include <QEvent>
#include <QPainter>

SkinLabel::SkinLabel(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("SkinLabel"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SkinLabel::paintEvent(QPaintEvent *event)
{
    // The parent's colour rather than our own palette's: a style sheet
    // polishing the label gives it the application's palette.
    const QWidget *ground = parentWidget() ? parentWidget() : this;
    QPainter painter(this);
    painter.fillRect(rect(), ground->palette().color(ground->backgroundRole()));
    painter.end();
    QLabel::paintEvent(event);
}

void SkinLabel::mirror(QLabel *label)
{
    if (!label)
        return;
    if (m_source)
        m_source->removeEventFilter(this);
    m_source = label;

    setGeometry(label->geometry());
    setFont(label->font());
    setAlignment(label->alignment());
    setWordWrap(label->wordWrap());
    setTextFormat(label->textFormat());
    setMargin(label->margin());
    setIndent(label->indent());
    setOpenExternalLinks(label->openExternalLinks());
    setTextInteractionFlags(label->textInteractionFlags());
    setToolTip(label->toolTip());
    setText(label->text());
    setVisible(!label->isHidden());
    raise();

    label->installEventFilter(this);
}

bool SkinLabel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_source && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        setGeometry(m_source->geometry());
    return QLabel::eventFilter(watched, event);
}
