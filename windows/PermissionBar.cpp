#include "windows/PermissionBar.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

PermissionBar::PermissionBar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("permissionBar"));
    setAutoFillBackground(true);
    // A pale yellow band, as browsers mark a site's question.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(255, 246, 204));
    palette.setColor(QPalette::WindowText, QColor(32, 32, 32));
    setPalette(palette);

    auto *icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(16, 16));
    m_question = new QLabel(this);
    m_question->setObjectName(QStringLiteral("permissionQuestion"));
    // The host is the page's to choose: shown as text, never as markup.
    m_question->setTextFormat(Qt::PlainText);
    QFont bold = m_question->font();
    bold.setBold(true);
    m_question->setFont(bold);
    // Alt+L: Alt+A opens the main window's About menu.
    m_allow = new QPushButton(tr("A&llow"), this);
    m_allow->setObjectName(QStringLiteral("permissionAllow"));
    m_deny = new QPushButton(tr("&Deny"), this);
    m_deny->setObjectName(QStringLiteral("permissionDeny"));
    m_waiting = new QLabel(this);
    m_waiting->setObjectName(QStringLiteral("permissionWaiting"));
    m_close = new QToolButton(this);
    m_close->setObjectName(QStringLiteral("permissionClose"));
    m_close->setText(QStringLiteral("\u2715"));
    m_close->setToolTip(tr("Deny and close (Esc)"));
    m_close->setAutoRaise(true);
    for (QWidget *button : {static_cast<QWidget *>(m_allow), static_cast<QWidget *>(m_deny),
                            static_cast<QWidget *>(m_close)})
        button->setFocusPolicy(Qt::StrongFocus);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 4, 3);
    layout->setSpacing(6);
    layout->addWidget(icon);
    layout->addWidget(m_question, 1);
    layout->addWidget(m_allow);
    layout->addWidget(m_deny);
    layout->addWidget(m_waiting);
    layout->addWidget(m_close);

    connect(m_allow, &QPushButton::clicked, this, [this] { answer(true); });
    connect(m_deny, &QPushButton::clicked, this, [this] { answer(false); });
    connect(m_close, &QToolButton::clicked, this, [this] { answer(false); });
    hide();
}

void PermissionBar::ask(const QString &question, int waiting)
{
    m_question->setText(question);
    m_waiting->setText(waiting > 0 ? tr("%n more waiting", nullptr, waiting) : QString());
    m_waiting->setVisible(waiting > 0);
    if (isHidden()) {
        show();
        emit visibilityChanged(true);
    }
}

bool PermissionBar::dismiss()
{
    if (isHidden())
        return false;
    const QWidget *focus = QApplication::focusWidget();
    const bool hadFocus = focus && isAncestorOf(focus);
    hide();
    emit visibilityChanged(false);
    return hadFocus;
}

QString PermissionBar::question() const
{
    return m_question->text();
}

QString PermissionBar::waitingText() const
{
    return m_waiting->text();
}

void PermissionBar::answer(bool allow)
{
    emit answered(allow);
}

bool PermissionBar::event(QEvent *event)
{
    // Esc in the bar is the bar's, not the window's (Stop).
    if (event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void PermissionBar::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        answer(false);
        return;
    }
    QWidget::keyPressEvent(event);
}
