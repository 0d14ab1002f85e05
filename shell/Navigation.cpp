// The navigation commands of the main window.
#include "shell/Form1.h"

#include "harvest/UrlHelpers.h"
#include "platform/AddressRules.h"
#include "platform/BestEffort.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "windows/Branding.h"
#include "windows/frmWebsite.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

#include <memory>

namespace {
void stopAll(const std::array<WebBrowser *, 3> &wb)
{
    for (WebBrowser *view : wb)
        BestEffort([view] { view->Stop(); });
}
} // namespace

int Form1::visibleBrowserIndex() const
{
    // The last visible view wins; with none visible the index stays past the end.
    int index = 3;
    for (int i = 0; i < 3; ++i) {
        if (wb[i]->Visible())
            index = i;
    }
    return index;
}

View Form1::currentView() const
{
    const int index = visibleBrowserIndex();
    return index < 3 ? View(index) : View::Live;
}

void Form1::cmdBack_Click()
{
    stopAll(wb);
    const int index = visibleBrowserIndex();
    if (index < 3)
        BestEffort([this, index] { wb[index]->GoBack(); });
}

void Form1::cmdForward_Click()
{
    stopAll(wb);
    const int index = visibleBrowserIndex();
    if (index < 3)
        BestEffort([this, index] { wb[index]->GoForward(); });
}

void Form1::cmdStop_Click()
{
    stopAll(wb);
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
        // Nothing the engine can open: the live view keeps its page.
        if (QUrl::fromUserInput(address).scheme() == QLatin1String("javascript"))
            sb1->setPanelText(1, tr("Not run: this page runs no scripts"));
        else
            sb1->setPanelText(1, tr("Cannot open \"%1\": not a web address or file").arg(address));
    }
}

void Form1::txtUrl_KeyPress(int keyAscii)
{
    if (keyAscii != 13)
        return;
    cmdGo_Click();
    // The page takes the keys from here on (Page Down scrolls it).
    const int index = visibleBrowserIndex();
    if (index < 3)
        wb[size_t(index)]->setFocus(Qt::OtherFocusReason);
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

QUrl Form1::sendableAddress(const QUrl &url)
{
    // A generated page goes to the Browser tab as a copy: the next harvest
    // overwrites the page itself, and Refresh would then show the harvest of
    // itself. The copy leads where the harvested page could.
    const QString file = url.isLocalFile() ? QFileInfo(url.toLocalFile()).fileName() : QString();
    const bool source = file.compare(WorkingFiles::SourcePage, Qt::CaseInsensitive) == 0;
    const bool images = file.compare(WorkingFiles::ImagePage, Qt::CaseInsensitive) == 0;
    if (!isGeneratedPage(url) || !(source || images))
        return url;
    QFile page(url.toLocalFile());
    const QString copy = source ? SentSourceCopy : SentImagesCopy;
    if (!page.open(QIODevice::ReadOnly) || !m_files->writeReplaceBytes(copy, page.readAll()))
        return url;
    m_sentFrom = m_harvestedPage;
    return QUrl::fromLocalFile(m_files->path(copy));
}

void Form1::cmdSendToBrowser_Click()
{
    stopAll(wb);
    const int index = visibleBrowserIndex();
    if (index == 0) {
        // The Browser view's own page opens again.
        BestEffort([this] { wb[0]->open(wb[0]->url()); });
        return;
    }
    if (index >= 3)
        return;
    const QUrl shown = wb[index]->url();
    if (isGeneratedPage(shown)) {
        BestEffort([this, shown] {
            const QUrl copy = sendableAddress(shown);
            txtUrl->setText(copy.toString());
            SelectView(View::Live);
            wb[0]->open(copy);
        });
        return;
    }
    // A picture or page that a generated view went to: the harvested page's
    // rules hold for it.
    BestEffort([this, shown] { openForPage(shown, m_harvestedPage); });
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
    if (!target.isLocalFile() || isGeneratedPage(target))
        return {};
    QUrl page;
    if (index == 0) {
        // Only a copy of a generated page needs a word: the engine keeps
        // every other page from leading to a local file by itself.
        const QUrl shown = wb[0]->url();
        const QString file = shown.isLocalFile() ? shown.toLocalFile() : QString();
        if (file != m_files->path(SentSourceCopy) && file != m_files->path(SentImagesCopy))
            return {};
        page = m_sentFrom;
    } else {
        page = m_harvestedPage;
    }
    return PageMayLeadTo(page, target) ? QString() : LocalFileRefusal(target);
}

void Form1::cmdWebsite_Click()
{
    bool handedOver = true;
    if (!ShowWebsiteWindow(m_branding.website, &handedOver) || handedOver)
        return;
    // No browser of the desktop took the site: it opens here, and the status
    // bar says why, again over the words of the views that the page's harvest
    // reloads.
    const QString address = frmWebsite::WebsiteAddress(m_branding.website);
    const QString text =
        tr("No web browser of the desktop opened %1: it is shown in the Browser tab").arg(address);
    SelectView(View::Live);
    wb[0]->Navigate(address);
    sb1->setPanelText(1, text);
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(this, &Form1::harvestFinished, this, [this, text, once] {
        disconnect(*once);
        sayOverTheViews(text);
    });
}
