#include "platform/TabStrip.h"

#include <QFrame>
#include <QTabBar>

TabStrip::TabStrip(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabStrip1"));
    m_frame = new QFrame(this);
    m_frame->setObjectName(QStringLiteral("TabStripFrame"));
    m_frame->setFrameShape(QFrame::StyledPanel);
    m_frame->setFrameShadow(QFrame::Raised);
    m_bar = new QTabBar(this);
    m_bar->setDrawBase(false);
    m_bar->setExpanding(false);
    m_bar->setFocusPolicy(Qt::TabFocus);
    connect(m_bar, &QTabBar::currentChanged, this, [this] {
        if (!m_selecting)
            emit Click();
    });
}

int TabStrip::addTab(const QString &caption, const QString &toolTip)
{
    m_selecting = true;
    const int i = m_bar->addTab(caption);
    m_selecting = false;
    m_bar->setTabToolTip(i, toolTip);
    return i + 1;
}

int TabStrip::tabCount() const
{
    return m_bar->count();
}

QString TabStrip::tabCaption(int tab) const
{
    return m_bar->tabText(tab - 1);
}

QString TabStrip::tabToolTip(int tab) const
{
    return m_bar->tabToolTip(tab - 1);
}

int TabStrip::SelectedItem() const
{
    return m_bar->currentIndex() + 1;
}

void TabStrip::select(int tab)
{
    m_selecting = true;
    m_bar->setCurrentIndex(tab - 1);
    m_selecting = false;
}

int TabStrip::tabRowHeight() const
{
    return m_bar->sizeHint().height();
}

void TabStrip::resizeEvent(QResizeEvent *)
{
    const int row = tabRowHeight();
    m_bar->setGeometry(2, 0, std::max(0, width() - 4), row);
    m_frame->setGeometry(0, row - 1, width(), std::max(0, height() - row + 1));
}
