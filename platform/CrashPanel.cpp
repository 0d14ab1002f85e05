#include "platform/CrashPanel.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

CrashPanel::CrashPanel(QWidget *view) : QWidget(view)
{
    setObjectName(QStringLiteral("crashPanel"));
    setAttribute(Qt::WA_StyledBackground, true);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0xf4, 0xf4, 0xf2));
    colours.setColor(QPalette::WindowText, QColor(0x22, 0x22, 0x22));
    setPalette(colours);
    QFont text = font();
    text.setPointSizeF(10.5);
    setFont(text);

    auto *title = new QLabel(tr("This page stopped working"), this);
    title->setObjectName(QStringLiteral("crashTitle"));
    QFont big = title->font();
    big.setPointSizeF(16);
    big.setBold(true);
    title->setFont(big);
    m_reason = new QLabel(this);
    m_reason->setObjectName(QStringLiteral("crashReason"));
    m_reason->setWordWrap(true);
    auto *advice =
        new QLabel(tr("The rest of the program goes on. Reload to open the page again."), this);
    advice->setWordWrap(true);
    m_reload = new QPushButton(tr("&Reload"), this);
    m_reload->setObjectName(QStringLiteral("crashReload"));
    m_reload->setDefault(true);
    connect(m_reload, &QPushButton::clicked, this, &CrashPanel::reloadRequested);

    auto *column = new QVBoxLayout;
    column->addWidget(title);
    column->addSpacing(8);
    column->addWidget(m_reason);
    column->addWidget(advice);
    column->addSpacing(12);
    column->addWidget(m_reload, 0, Qt::AlignLeft);
    auto *outer = new QVBoxLayout(this);
    outer->addStretch(1);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addLayout(column, 4);
    row->addStretch(1);
    outer->addLayout(row);
    outer->addStretch(2);

    hide();
    // The panel covers the view whatever its size, and stays above the
    // widget that a new process of the page brings.
    view->installEventFilter(this);
}

void CrashPanel::showReason(const QString &reason)
{
    m_reason->setText(reason);
    setGeometry(parentWidget()->rect());
    show();
    raise();
}

QString CrashPanel::reason() const
{
    return m_reason->text();
}

bool CrashPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && !isHidden()) {
        if (event->type() == QEvent::Resize)
            setGeometry(parentWidget()->rect());
        else if (event->type() == QEvent::ChildAdded)
            QTimer::singleShot(0, this, [this] { raise(); });
    }
    return QWidget::eventFilter(watched, event);
}
