#include "windows/SecurityMark.h"

#include "windows/CertificateWindow.h"

#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>

namespace {

QPixmap canvas(int size)
{
    QPixmap pixmap(size * 2, size * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void drawLock(QPainter &painter, int size, const QColor &colour, bool open)
{
    const double s = size;
    painter.setRenderHint(QPainter::Antialiasing);
    QPen shackle(colour, s * 0.13);
    painter.setPen(shackle);
    painter.setBrush(Qt::NoBrush);
    QPainterPath arc;
    const double left = s * 0.32, right = s * 0.68, top = s * 0.12, bottom = s * 0.48;
    arc.moveTo(left, bottom);
    arc.lineTo(left, s * 0.3);
    arc.arcTo(QRectF(left, top, right - left, (right - left)), 180, -180);
    arc.lineTo(right, open ? s * 0.3 : bottom);
    painter.drawPath(open ? arc.translated(s * 0.16, -s * 0.06) : arc);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(s * 0.2, s * 0.45, s * 0.6, s * 0.45), s * 0.08, s * 0.08);
}

} // namespace

QIcon SecurityMark::padlock(int size)
{
    QPixmap pixmap = canvas(size);
    QPainter painter(&pixmap);
    drawLock(painter, size, QColor(0x3d, 0x3d, 0x3d), false);
    return QIcon(pixmap);
}

QIcon SecurityMark::openLock(int size, const QColor &colour)
{
    QPixmap pixmap = canvas(size);
    QPainter painter(&pixmap);
    drawLock(painter, size, colour, true);
    return QIcon(pixmap);
}

QIcon SecurityMark::warning(int size)
{
    QPixmap pixmap = canvas(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    QPainterPath triangle;
    triangle.moveTo(s * 0.5, s * 0.06);
    triangle.lineTo(s * 0.96, s * 0.9);
    triangle.lineTo(s * 0.04, s * 0.9);
    triangle.closeSubpath();
    painter.setPen(
        QPen(QColor(0x9c, 0x1c, 0x1c), s * 0.06, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(0xe0, 0x1b, 0x24));
    painter.drawPath(triangle);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(s * 0.44, s * 0.32, s * 0.12, s * 0.32), s * 0.05, s * 0.05);
    painter.drawEllipse(QRectF(s * 0.43, s * 0.7, s * 0.14, s * 0.12));
    return QIcon(pixmap);
}

SecurityMark::SecurityMark(QLineEdit *addressBox) : QToolButton(addressBox), m_box(addressBox)
{
    setObjectName(QStringLiteral("securityMark"));
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(this, &QToolButton::clicked, this, &SecurityMark::showCertificate);
    addressBox->installEventFilter(this);
    setSecurity(PageSecurity());
}

void SecurityMark::setSecurity(const PageSecurity &security)
{
    m_security = security;
    const int size = 14;
    setIconSize(QSize(size, size));
    const QString host = security.url.host();
    QPalette colours = palette();
    colours.setColor(QPalette::ButtonText, m_box->palette().color(QPalette::Text));
    switch (security.level) {
    case PageSecurity::Neutral:
        setIcon(QIcon());
        setText(QString());
        setToolTip(QString());
        break;
    case PageSecurity::Secure:
        setIcon(padlock(size));
        setText(QString());
        setToolButtonStyle(Qt::ToolButtonIconOnly);
        setToolTip(tr("Secure connection to %1").arg(host));
        break;
    case PageSecurity::Overridden:
        setIcon(warning(size));
        setText(QString());
        setToolButtonStyle(Qt::ToolButtonIconOnly);
        setToolTip(tr("The certificate of %1 is not trusted: you chose to continue").arg(host));
        break;
    case PageSecurity::NotSecure: {
        const bool warning = !security.problem.isNull();
        const QColor colour = warning ? QColor(0xa5, 0x1d, 0x2d) : QColor(0x5e, 0x5c, 0x64);
        setIcon(openLock(size, colour));
        setText(tr("Not secure"));
        setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        colours.setColor(QPalette::ButtonText, colour);
        setToolTip(warning ? tr("The certificate of %1 cannot be trusted").arg(host)
                           : tr("The connection to %1 is not encrypted").arg(host));
        break;
    }
    }
    setPalette(colours);
    setVisible(security.level != PageSecurity::Neutral);
    if (m_window)
        m_window->setSecurity(security);
    place();
}

void SecurityMark::place()
{
    if (isHidden()) {
        m_box->setTextMargins(0, 0, 0, 0);
        return;
    }
    // As wide as its picture and words, and a little room: the style's own
    // size leaves a gap before the address.
    const int words = text().isEmpty() ? 0 : 4 + fontMetrics().horizontalAdvance(text());
    const int width = std::min(sizeHint().width(), iconSize().width() + words + 10);
    const int height = std::min(sizeHint().height(), std::max(0, m_box->height() - 4));
    setGeometry(2, (m_box->height() - height) / 2, width, height);
    m_box->setTextMargins(width + 2, 0, 0, 0);
}

bool SecurityMark::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_box && event->type() == QEvent::Resize)
        place();
    return QToolButton::eventFilter(watched, event);
}

void SecurityMark::showCertificate()
{
    if (!m_window)
        m_window = new CertificateWindow(window());
    m_window->setSecurity(m_security);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
