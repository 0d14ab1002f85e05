#include "windows/FindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineView>

FindBar::FindBar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("findBar"));
    setAutoFillBackground(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(4);

    auto *label = new QLabel(tr("Find:"), this);
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("findText"));
    m_text->setClearButtonEnabled(true);
    m_text->setMinimumWidth(180);
    m_text->installEventFilter(this);
    label->setBuddy(m_text);
    m_previous = new QToolButton(this);
    m_previous->setText(tr("Previous"));
    m_previous->setToolTip(tr("Previous match (Shift+F3)"));
    m_next = new QToolButton(this);
    m_next->setText(tr("Next"));
    m_next->setToolTip(tr("Next match (F3)"));
    m_matchCase = new QCheckBox(tr("Match &case"), this);
    m_matchCase->setObjectName(QStringLiteral("findMatchCase"));
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("findResult"));
    m_result->setMinimumWidth(90);
    m_close = new QToolButton(this);
    m_close->setText(QStringLiteral("\u2715"));
    m_close->setToolTip(tr("Close the find bar (Esc)"));
    m_close->setAutoRaise(true);

    layout->addWidget(label);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_previous);
    layout->addWidget(m_next);
    layout->addWidget(m_matchCase);
    layout->addWidget(m_result);
    layout->addStretch(0);
    layout->addWidget(m_close);

    // Find as the user types, from the start of the page.
    connect(m_text, &QLineEdit::textChanged, this, [this] { find(false); });
    connect(m_matchCase, &QCheckBox::toggled, this, [this] { find(false); });
    connect(m_next, &QToolButton::clicked, this, &FindBar::findNext);
    connect(m_previous, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(m_close, &QToolButton::clicked, this, &FindBar::close);
    hide();
}

void FindBar::setView(QWebEngineView *view)
{
    if (view == m_view)
        return;
    if (m_view)
        m_view->page()->findText(QString());
    m_view = view;
    m_searched.clear();
    if (isVisible() && !text().isEmpty())
        find(false);
    else
        showResult(0, -1);
}

void FindBar::open()
{
    const bool wasHidden = isHidden();
    show();
    m_text->setFocus(Qt::ShortcutFocusReason);
    m_text->selectAll();
    if (wasHidden) {
        emit visibilityChanged(true);
        if (!text().isEmpty())
            find(false);
    }
}

void FindBar::close()
{
    if (isHidden())
        return;
    hide();
    m_searched.clear();
    if (m_view) {
        m_view->page()->findText(QString());
        m_view->setFocus(Qt::OtherFocusReason);
    }
    emit visibilityChanged(false);
}

void FindBar::findNext()
{
    if (isHidden())
        open();
    find(false);
}

void FindBar::findPrevious()
{
    if (isHidden())
        open();
    find(true);
}

QString FindBar::text() const
{
    return m_text->text();
}

QString FindBar::resultText() const
{
    return m_result->text();
}

void FindBar::find(bool backward)
{
    if (!m_view)
        return;
    QWebEnginePage::FindFlags flags;
    if (backward)
        flags |= QWebEnginePage::FindBackward;
    if (m_matchCase->isChecked())
        flags |= QWebEnginePage::FindCaseSensitively;
    const QString wanted = text();
    if (wanted.isEmpty()) {
        m_view->page()->findText(QString());
        m_searched.clear();
        showResult(0, -1);
        return;
    }
    const bool matchCase = m_matchCase->isChecked();
    if (wanted != m_searched || matchCase != m_searchedCase) {
        m_view->page()->findText(QString());
        m_searched = wanted;
        m_searchedCase = matchCase;
    }
    QPointer<FindBar> self(this);
    QPointer<QWebEngineView> searched(m_view);
    m_view->page()->findText(wanted, flags,
                             [self, searched, wanted](const QWebEngineFindTextResult &result) {
                                 // Only the answer to the latest search counts.
                                 if (!self || self->m_view != searched || self->text() != wanted)
                                     return;
                                 self->showResult(result.activeMatch(), result.numberOfMatches());
                             });
}

void FindBar::showResult(int active, int count)
{
    if (count < 0)
        m_result->clear();
    else if (count == 0)
        m_result->setText(tr("No matches"));
    else
        m_result->setText(tr("%1 of %2").arg(active).arg(count));
    // A search that finds nothing tints the box, as other browsers do.
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::Base,
                     count == 0 ? QColor(255, 221, 221) : QWidget::palette().color(QPalette::Base));
    m_text->setPalette(palette);
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_text && event->type() == QEvent::ShortcutOverride) {
        // Esc and F3 belong to the bar while its box has the focus.
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape || key->key() == Qt::Key_F3) {
            event->accept();
            return true;
        }
    }
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool shift = key->modifiers() & Qt::ShiftModifier;
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_F3:
            find(shift);
            return true;
        case Qt::Key_Escape:
            close();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
