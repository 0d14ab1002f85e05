#include "platform/WebBrowser.h"

#include "platform/OwnPages.h"
#include "platform/PageGuard.h"
#include "platform/ProgramFolder.h"
#include "platform/QuarrowScheme.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QVariantList>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>

// The page behind a WebBrowser: keeps quiet when the control is silent, and
// tells its view about navigations and requests for new windows.
class WebBrowserPage : public QWebEnginePage {
public:
    WebBrowserPage(WebBrowser *owner, QWebEngineProfile *profile)
        : QWebEnginePage(profile, owner), m_owner(owner)
    {
        connect(this, &QWebEnginePage::loadStarted, this, [this] { m_loading = true; });
        connect(this, &QWebEnginePage::loadFinished, this, [this] { m_loading = false; });
        PageGuard::prepare(this);
    }

    // True between the start and the end of a load.
    bool loading() const { return m_loading; }

protected:
    void javaScriptAlert(const QUrl &origin, const QString &msg) override
    {
        if (!m_owner->Silent())
            QWebEnginePage::javaScriptAlert(origin, msg);
    }
    bool javaScriptConfirm(const QUrl &origin, const QString &msg) override
    {
        return m_owner->Silent() ? false : QWebEnginePage::javaScriptConfirm(origin, msg);
    }
    bool javaScriptPrompt(const QUrl &origin, const QString &msg, const QString &defaultValue,
                          QString *result) override
    {
        return m_owner->Silent()
                   ? false
                   : QWebEnginePage::javaScriptPrompt(origin, msg, defaultValue, result);
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int,
                                  const QString &) override
    {
        // Pages' console chatter is not the user's business.
    }

    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        // What the program itself opens (typed, Back, Forward, Reload) was
        // vetted by whoever asked; the rule is for what the page starts.
        const bool pageStarted = type != NavigationTypeTyped && type != NavigationTypeBackForward &&
                                 type != NavigationTypeReload;
        if (!m_owner->navigationStarting(this, url, isMainFrame, pageStarted))
            return false;
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

    QWebEnginePage *createWindow(WebWindowType) override
    {
        // The engine opens the new window's contents in the page returned
        // here, with the origin of the page that asked for it: its address is
        // never re-issued as one of ours.
        return m_owner->openPopup(this);
    }

private:
    WebBrowser *m_owner;
    bool m_loading = false;
};

namespace {
// A popup behaves like the view that opened it: same scripts, same access
// rules, same text encoding.
void copySettings(const QWebEngineSettings *from, QWebEngineSettings *to)
{
    for (int attribute = QWebEngineSettings::AutoLoadImages;
         attribute <= QWebEngineSettings::NavigateOnDropEnabled; ++attribute) {
        const auto which = static_cast<QWebEngineSettings::WebAttribute>(attribute);
        to->setAttribute(which, from->testAttribute(which));
    }
    to->setDefaultTextEncoding(from->defaultTextEncoding());
    to->setUnknownUrlSchemePolicy(from->unknownUrlSchemePolicy());
}

// An address a popup has really gone to, not the blank page it starts with.
bool isRealAddress(const QUrl &url)
{
    return url.isValid() && !url.isEmpty() && url != QUrl(QStringLiteral("about:blank"));
}

} // namespace

QString WebBrowser::scriptString(const QString &text)
{
    // A JSON string is a JavaScript string literal.
    const QByteArray json =
        QJsonDocument::fromVariant(QVariantList{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.sliced(1, json.size() - 2));
}

QString WebBrowser::withCrLf(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

WebBrowser::WebBrowser(int index, QWebEngineProfile *profile, QWidget *parent)
    : QWebEngineView(parent), m_index(index)
{
    m_guard = new PageGuard(this);
    connect(m_guard, &PageGuard::stoppedWorking, this, [this](const QString &words) {
        m_busy = false;
        emit StatusTextChange(m_index, words);
    });
    auto *page = new WebBrowserPage(this, profile);
    // No script of a local page may read another file: a page that came from
    // disk (a download, a mail attachment) must not be able to send the
    // user's files anywhere. Each navigation sets this again (see
    // applyPageRules).
    page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    attachPage(page);
    setPage(page);

    m_popupTimer.setSingleShot(true);
    connect(&m_popupTimer, &QTimer::timeout, this, &WebBrowser::closePopup);
}

WebBrowser::~WebBrowser()
{
    // The pages must go before the profile they were made with.
    setPage(nullptr);
    delete m_popup.data();
    delete m_page;
}

void WebBrowser::attachPage(WebBrowserPage *page)
{
    m_page = page;
    m_guard->attach(page);
    connect(page, &QWebEnginePage::loadStarted, this, [this] { m_busy = true; });
    connect(page, &QWebEnginePage::loadFinished, this, [this] { m_busy = false; });
    // The guard has its say first: the words of the status bar, and what the
    // load came to, which the view's handlers then read.
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        if (!m_guard->loadingChanged(info))
            return;
        const QString &words = m_guard->outcome().words;
        if (!words.isEmpty())
            emit StatusTextChange(m_index, words);
        if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus)
            emit DownloadComplete(m_index);
    });
    connect(page, &QWebEnginePage::loadProgress, this,
            [this](int progress) { emit ProgressChange(m_index, progress, 100); });
    connect(page, &QWebEnginePage::linkHovered, this, [this](const QString &url) {
        // Off a link, or over a button of our own pages, the words of the
        // load come back.
        const bool address = !url.isEmpty() && !OwnPages::isButtonAddress(QUrl(url));
        emit StatusTextChange(m_index, address ? url : m_guard->outcome().words);
    });
    connect(page, &QWebEnginePage::titleChanged, this,
            [this](const QString &title) { emit TitleChange(m_index, title); });
}

void WebBrowser::setScriptlessPages(std::function<bool(const QUrl &)> rule)
{
    m_scriptless = std::move(rule);
    applyPageRules(m_page, m_page->url());
}

void WebBrowser::applyPageRules(QWebEnginePage *page, const QUrl &url)
{
    QWebEngineSettings *settings = page->settings();
    // The engine lets a local page load other local files (its pictures,
    // styles, script files) only together with letting its scripts read any
    // of them. So a page that came from disk (a download, a saved page, a mail
    // attachment) is shown with its pictures and styles but runs no script,
    // and the harvest's pages never run one; a page that runs scripts reads
    // no local file.
    if (m_scriptless)
        settings->setAttribute(QWebEngineSettings::JavascriptEnabled,
                               !m_scriptless(url) && !url.isLocalFile());
    const bool canRead = settings->testAttribute(QWebEngineSettings::JavascriptEnabled);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, !canRead);
}

void WebBrowser::setNavigationRule(std::function<QString(const QUrl &)> rule)
{
    m_navigationRule = std::move(rule);
}

bool WebBrowser::navigationStarting(WebBrowserPage *page, const QUrl &url, bool isMainFrame,
                                    bool pageStarted)
{
    if (!isMainFrame)
        return true;
    // The buttons of our own pages are never followed; the guard acts on them.
    if (m_guard->pressButton(url, pageStarted && page == m_page))
        return false;
    if (m_navigationRule && pageStarted) {
        const QString refusal = m_navigationRule(url);
        if (!refusal.isEmpty()) {
            // Said after the engine has had its answer.
            QMetaObject::invokeMethod(
                this, [this, refusal] { emit navigationRefused(m_index, refusal); },
                Qt::QueuedConnection);
            return false;
        }
    }
    if (pageStarted && QuarrowScheme::owns(url) && !QuarrowScheme::owns(page->url())) {
        // Only the program opens its own pages; no web page leads to one.
        return false;
    }
    if (pageStarted && url.isLocalFile() && QuarrowScheme::owns(page->url())) {
        // The engine lets no page of another scheme go to a local file by
        // itself; a page of ours that the rule lets lead there is followed by
        // the view opening the file.
        QMetaObject::invokeMethod(
            this, [this, url] { open(url); }, Qt::QueuedConnection);
        return false;
    }
    // The engine takes the setting before the new document commits.
    applyPageRules(page, url);
    // The view moves on: a popup still waiting for an address is not wanted.
    if (page == m_page)
        closePopup();
    return true;
}

QWebEnginePage *WebBrowser::pendingPopup() const
{
    return m_popup.data();
}

QWebEnginePage *WebBrowser::openPopup(WebBrowserPage *opener)
{
    // A page on its way out opens nothing.
    if (opener != m_page && opener != m_popup)
        return nullptr;
    // One popup waits at a time: a newer request replaces the older one.
    closePopup();
    auto *popup = new WebBrowserPage(this, m_page->profile());
    copySettings(m_page->settings(), popup->settings());
    m_popup = popup;
    connect(popup, &QWebEnginePage::urlChanged, this, [this, popup](const QUrl &url) {
        if (popup == m_popup && isRealAddress(url))
            adoptPopup();
    });
    // A popup that goes nowhere (about:blank written to by script) is not
    // kept running in the background.
    m_popupTimer.start(m_popupPatienceMs);
    emit pageCreated(popup);
    return popup;
}

void WebBrowser::adoptPopup()
{
    WebBrowserPage *popup = m_popup;
    if (!popup)
        return;
    m_popup = nullptr;
    m_popupTimer.stop();
    popup->disconnect(this);

    // The view shows the popup's page from now on. The old page goes with its
    // Back history: the new page starts a history of its own.
    WebBrowserPage *old = m_page;
    old->disconnect(this);
    attachPage(popup);
    setPage(popup);
    old->triggerAction(QWebEnginePage::Stop);
    // Later: the old page may be the one whose signal brought us here.
    old->deleteLater();

    emit TitleChange(m_index, popup->title());
    m_busy = popup->loading();
    if (!m_busy) {
        // Its load ended while it waited; the view reports it as its own.
        emit DownloadComplete(m_index);
    }
}

void WebBrowser::closePopup()
{
    m_popupTimer.stop();
    WebBrowserPage *popup = m_popup;
    if (!popup)
        return;
    m_popup = nullptr;
    popup->disconnect(this);
    popup->triggerAction(QWebEnginePage::Stop);
    // Later: the popup may be the page that is asking for a new one.
    popup->deleteLater();
}

bool WebBrowser::Navigate(const QString &address)
{
    const QUrl url = QUrl::fromUserInput(address);
    if (!url.isValid() || url.isEmpty())
        return false;
    const QString scheme = url.scheme();
    const bool needsHost = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    if (needsHost && url.host().isEmpty())
        return false;
    if (scheme == QLatin1String("javascript")) {
        // A script typed into the address box runs in the page that is open,
        // as in every browser, but only where that page runs scripts at all:
        // it never turns a scriptless page's scripts on.
        if (!m_page->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled))
            return false;
        m_page->load(url);
        return true;
    }
    applyPageRules(m_page, url);
    m_page->load(url);
    return true;
}

bool WebBrowser::open(const QUrl &url)
{
    if (!url.isValid() || url.isEmpty() || url.scheme() == QLatin1String("javascript"))
        return false;
    applyPageRules(m_page, url);
    m_page->load(url);
    return true;
}

bool WebBrowser::Navigate2(const QString &pathOrAddress)
{
    if (QFileInfo::exists(pathOrAddress)) {
        const QUrl url = QUrl::fromLocalFile(QFileInfo(pathOrAddress).absoluteFilePath());
        applyPageRules(m_page, url);
        m_page->load(url);
        return true;
    }
    return Navigate(pathOrAddress);
}

bool WebBrowser::GoBack()
{
    if (!m_page->history()->canGoBack())
        return false;
    applyPageRules(m_page, m_page->history()->backItem().url());
    m_page->history()->back();
    return true;
}

bool WebBrowser::GoForward()
{
    if (!m_page->history()->canGoForward())
        return false;
    applyPageRules(m_page, m_page->history()->forwardItem().url());
    m_page->history()->forward();
    return true;
}

QString WebBrowser::homePagePath()
{
    return ProgramFolder::path() + QStringLiteral("/start.html");
}

void WebBrowser::GoHome()
{
    const QUrl url = QUrl::fromLocalFile(homePagePath());
    applyPageRules(m_page, url);
    m_page->load(url);
}

void WebBrowser::Refresh()
{
    applyPageRules(m_page, m_page->url());
    m_page->triggerAction(QWebEnginePage::Reload);
}

void WebBrowser::Stop()
{
    m_page->triggerAction(QWebEnginePage::Stop);
}

QString WebBrowser::LocationURL() const
{
    return m_page->url().toString();
}

QString WebBrowser::LocationName() const
{
    const QString title = m_page->title();
    return title.isEmpty() ? LocationURL() : title;
}

void WebBrowser::bodyOuterHtml(const std::function<void(const BodyText &)> &callback)
{
    // The application world runs even where the page's own scripts are off.
    // The page's own scripts cannot reach this world, so they cannot change what
    // it reads: location, baseURI and outerHTML are the engine's own.
    static const QString script = QStringLiteral(
        "(function(){var b=document.body;"
        "return [String(location.href), String(document.baseURI), b ? b.outerHTML : ''];})()");
    m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                          [callback](const QVariant &result) {
                              // A page that goes away answers with nothing at all.
                              BodyText body;
                              const QVariantList parts = result.toList();
                              if (parts.size() == 3) {
                                  body.valid = true;
                                  body.address = parts.at(0).toString();
                                  body.base = parts.at(1).toString();
                                  body.text = parts.at(2).toString();
                              }
                              callback(body);
                          });
}
