// The Page Info command: the live page's inventory in a window of its own,
// taken again each time the live page finishes loading, but for a picture
// opened from the window itself.
#include "shell/Form1.h"

#include "platform/PageInventory.h"
#include "platform/WebBrowser.h"
#include "shell/PictureLinks.h"
#include "windows/PageInfoWindow.h"
#include "windows/WindowPlacement.h"

#include <QPointer>
#include <QWebEnginePage>

#include <memory>

namespace {

// Runs `shown` once, when the window has shown every row of the next inventory.
void onceShown(PageInfoWindow *window, const std::function<void()> &shown)
{
    if (!shown)
        return;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection =
        QObject::connect(window, &PageInfoWindow::inventoryShown, window, [connection, shown] {
            QObject::disconnect(*connection);
            shown();
        });
}

// The live page's inventory into the window; when the live view shows no page of
// its own (`notOpened` says why), the window keeps what it has, and says why.
// `shown` runs once the window shows the inventory.
void takeInventory(PageInfoWindow *pageInfo, QWebEnginePage *page, const QString &notOpened,
                   const std::function<void()> &shown)
{
    if (!notOpened.isEmpty()) {
        if (!pageInfo->inventory().valid) {
            Inventory none;
            none.error = notOpened;
            pageInfo->setInventory(none);
        }
        pageInfo->setNotice(notOpened);
        if (shown)
            shown();
        return;
    }
    // The served markup is read while the live document's inventory is taken.
    pageInfo->setLivePage(page);
    pageInfo->readServedMarkup(page->url());
    QPointer<PageInfoWindow> window = pageInfo;
    PageInventory::collect(page, [window, shown](const Inventory &inventory) {
        if (!window)
            return;
        onceShown(window, shown);
        window->setInventory(inventory);
    });
}

} // namespace

PageInfoWindow *Form1::pageInfoWindow() const
{
    return m_pageInfo;
}

void Form1::showPageInfo(const std::function<void()> &shown)
{
    if (!m_pageInfo) {
        m_pageInfo = new PageInfoWindow(m_profile, m_branding.productName, this);
        // Saving takes what the live page has from the page itself.
        m_pageInfo->setLivePage(wb[0]->page());
        connect(m_pageInfo, &PageInfoWindow::openRequested, this, [this](const QUrl &address) {
            openForPage(address, m_pageInfo ? m_pageInfo->inventory().pageAddress : QUrl());
        });
        connect(m_pageInfo, &PageInfoWindow::showInPageRequested, this,
                [this](const QStringList &addresses) {
                    m_pictureLinks->showInPage(addresses, m_pageInfo->inventory());
                });
        connect(m_pageInfo, &PageInfoWindow::showInSourceRequested, this,
                [this](const QStringList &addresses) {
                    m_pictureLinks->showInSource(addresses, m_pageInfo->inventory());
                });
        CentreOverOwner(m_pageInfo, this);
    }
    m_pageInfo->show();
    m_pageInfo->raise();
    m_pageInfo->activateWindow();
    takeInventory(m_pageInfo, wb[0]->page(), m_notOpened, shown);
}

void Form1::refreshPageInfo()
{
    // A picture opened from the window shows in the Browser view; the window
    // keeps the page it came from.
    if (m_pageInfo && m_pageInfo->follows(wb[0]->url()))
        takeInventory(m_pageInfo, wb[0]->page(), m_notOpened, {});
}
