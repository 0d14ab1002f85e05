// The navigation commands of the main window.
#include "shell/Form1.h"

#include "harvest/UrlHelpers.h"
#include "platform/AddressRules.h"
#include "platform/BestEffort.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "shell/GeneratedViews.h"
#include "windows/Branding.h"
#include "windows/frmWebsite.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

namespace {
void stopAll(const std::array<WebBrowser *, 3> &wb)
{
    for (WebBrowser *view : wb)
        BestEffort([view] { view->Stop(); });
}
} // namespace

WebBrowser *Form1::shownView() const
{
    return m_switcher->currentView();
}

View Form1::currentView() const
{
    return m_switcher->current();
}

void Form1::cmdBack_Click()
{
    stopAll(wb);
    BestEffort([this] { shownView()->GoBack(); });
    giveKeysToView();
}

void Form1::cmdForward_Click()
{
    stopAll(wb);
    BestEffort([this] { shownView()->GoForward(); });
    giveKeysToView();
}

void Form1::cmdStop_Click()
{
    stopAll(wb);
    giveKeysToView();
}

void Form1::cmdRefresh_Click()
{
    stopAll(wb);
    SelectView(View::Live);
    wb[0]->Refresh();
    // Rebuild the other views from what the live view holds now; the reload's
    // completion rebuilds them again.
    startHarvest();
}

void Form1::cmdGo_Click()
{
    const QString address = txtUrl->text();
    if (!wb[0]->Navigate(address)) {
        // Nothing the engine can open: the live view keeps its page, and the
        // address box its keys, for the address to be put right.
        if (QUrl::fromUserInput(address).scheme() == QLatin1String("javascript"))
            sb1->setPanelText(1, tr("Not run: this page runs no scripts"));
        else
            sb1->setPanelText(1, tr("Cannot open \"%1\": not a web address or file").arg(address));
        return;
    }
    // The page takes the keys from here on (Page Down scrolls it).
    giveKeysToView();
}

void Form1::txtUrl_KeyPress(int keyAscii)
{
    if (keyAscii != 13)
        return;
    cmdGo_Click();
}

void Form1::followAddress()
{
    // Every change of the live page's address shows (a fragment, pushState, a
    // redirect), except over what the user is typing.
    if (txtUrl->hasFocus() && txtUrl->isModified())
        return;
    txtUrl->setText(wb[0]->LocationURL());
}

void Form1::openFromDesktop(const QString &address)
{
    // An address from outside opens as a new page, never inside the one that
    // is open, and never as a script.
    const AddressVerdict verdict = AddressFromOutside(address);
    if (verdict.allowed()) {
        SelectView(View::Live);
        wb[0]->open(verdict.url);
    } else if (!verdict.refusal.isEmpty()) {
        sb1->setPanelText(1, verdict.refusal);
    }
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void Form1::goHome()
{
    SelectView(View::Live);
    wb[0]->GoHome();
}

void Form1::cmdBackDir_Click()
{
    txtUrl->setText(BaseDirectoryOf(txtUrl->text()));
    cmdGo_Click();
    SelectView(View::Live);
}

void Form1::cmdSendToBrowser_Click()
{
    stopAll(wb);
    const View shown = currentView();
    if (shown == View::Live) {
        // The Browser view's own page opens again.
        BestEffort([this] { wb[0]->open(wb[0]->url()); });
        giveKeysToView();
        return;
    }
    const QUrl address = shownView()->url();
    if (isGeneratedPage(address)) {
        // The view's own page, under its own address: it stays served while
        // the Browser view shows it, and runs no script there either.
        BestEffort([this, address] {
            txtUrl->setText(address.toString());
            SelectView(View::Live);
            wb[0]->open(address);
        });
        return;
    }
    // A picture or page that a generated view went to: the harvested page's
    // rules hold for it.
    BestEffort([this, address] { openForPage(address, m_generated->harvestedPage()); });
    giveKeysToView();
}

void Form1::openForPage(const QUrl &address, const QUrl &page)
{
    const AddressVerdict verdict = AddressForPage(address, page);
    if (!verdict.allowed()) {
        if (!verdict.refusal.isEmpty())
            sb1->setPanelText(1, verdict.refusal);
        return;
    }
    txtUrl->setText(verdict.url.toString());
    SelectView(View::Live);
    wb[0]->open(verdict.url);
}

QString Form1::viewLinkRefusal(int index, const QUrl &target) const
{
    if (!target.isLocalFile())
        return {};
    // Only the generated pages need a word: the engine keeps every other page
    // from leading to a local file by itself.
    const QUrl shown = wb[size_t(index)]->url();
    if (!isGeneratedPage(shown))
        return {};
    const QUrl page = m_generated->harvestedPageOf(shown);
    return PageMayLeadTo(page, target) ? QString() : LocalFileRefusal(target);
}

void Form1::cmdWebsite_Click()
{
    bool handedOver = true;
    if (!ShowWebsiteWindow(m_branding.website, &handedOver) || handedOver)
        return;
    // No browser of the desktop took the site: it opens here, and the status
    // bar says why, again over the words of the load.
    const QString address = frmWebsite::WebsiteAddress(m_branding.website);
    SelectView(View::Live);
    wb[0]->Navigate(address);
    sayOverTheLoad(
        tr("No web browser of the desktop opened %1: it is shown in the Browser tab").arg(address));
}
