// The Page Info command: the live page's inventory in a window of its own,
// taken again each time the live page finishes loading.
#include "shell/Form1.h"

#include "platform/PageInventory.h"
#include "platform/WebBrowser.h"
#include "windows/PageInfoWindow.h"
#include "windows/WindowPlacement.h"

#include <QPointer>

PageInfoWindow *Form1::pageInfoWindow() const
{
    return m_pageInfo;
}

void Form1::showPageInfo()
{
    if (!m_pageInfo) {
        m_pageInfo = new PageInfoWindow(m_profile, m_branding.productName, this);
        connect(m_pageInfo, &PageInfoWindow::openRequested, this, [this](const QUrl &address) {
            openForPage(address, m_pageInfo ? m_pageInfo->inventory().pageAddress : QUrl());
        });
        CentreOverOwner(m_pageInfo, this);
    }
    m_pageInfo->show();
    m_pageInfo->raise();
    m_pageInfo->activateWindow();
    refreshPageInfo();
}

void Form1::refreshPageInfo()
{
    if (!m_notOpened.isEmpty()) {
        // The live view shows no page of its own: the window keeps what it
        // has, and says why.
        if (!m_pageInfo->inventory().valid) {
            Inventory none;
            none.error = m_notOpened;
            m_pageInfo->setInventory(none);
        }
        m_pageInfo->setNotice(m_notOpened);
        return;
    }
    QPointer<PageInfoWindow> window = m_pageInfo;
    PageInventory::collect(wb[0]->page(), [window](const Inventory &inventory) {
        if (window)
            window->setInventory(inventory);
    });
}
