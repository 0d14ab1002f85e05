#include "platform/WebBrowser.h"

#include "platform/ProgramFolder.h"

#include <QFileInfo>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>

// The page behind a WebBrowser: keeps quiet when the control is silent, and
// opens pages meant for a new window in the same view.
class WebBrowserPage : public QWebEnginePage {
public:
    WebBrowserPage(WebBrowser *owner, QWebEngineProfile *profile)
        : QWebEnginePage(profile, owner), m_owner(owner)
    {
    }

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

    QWebEnginePage *createWindow(WebWindowType) override
    {
        // A link meant for a new window opens here instead: a throw-away page
        // catches the address and hands it over.
        auto *catcher = new QWebEnginePage(profile(), this);
        connect(catcher, &QWebEnginePage::urlChanged, this, [this, catcher](const QUrl &url) {
            if (url.isValid() && !url.isEmpty())
                setUrl(url);
            catcher->deleteLater();
        });
        return catcher;
    }

private:
    WebBrowser *m_owner;
};

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
    m_page = new WebBrowserPage(this, profile);
    setPage(m_page);

    connect(m_page, &QWebEnginePage::loadStarted, this, [this] {
        m_busy = true;
        emit StatusTextChange(m_index, tr("Opening %1...").arg(m_page->requestedUrl().toString()));
    });
    connect(m_page, &QWebEnginePage::loadProgress, this,
            [this](int progress) { emit ProgressChange(m_index, progress, 100); });
    connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        m_busy = false;
        emit StatusTextChange(m_index, ok ? tr("Done") : tr("Could not open the page"));
        emit DownloadComplete(m_index);
    });
    connect(m_page, &QWebEnginePage::linkHovered, this,
            [this](const QString &url) { emit StatusTextChange(m_index, url); });
    connect(m_page, &QWebEnginePage::titleChanged, this,
            [this](const QString &title) { emit TitleChange(m_index, title); });
}

WebBrowser::~WebBrowser()
{
    // The page must go before the profile it was made with.
    setPage(nullptr);
    delete m_page;
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
    m_page->load(url);
    return true;
}

bool WebBrowser::Navigate2(const QString &pathOrAddress)
{
    if (QFileInfo::exists(pathOrAddress)) {
        m_page->load(QUrl::fromLocalFile(QFileInfo(pathOrAddress).absoluteFilePath()));
        return true;
    }
    return Navigate(pathOrAddress);
}

bool WebBrowser::GoBack()
{
    if (!m_page->history()->canGoBack())
        return false;
    m_page->history()->back();
    return true;
}

bool WebBrowser::GoForward()
{
    if (!m_page->history()->canGoForward())
        return false;
    m_page->history()->forward();
    return true;
}

QString WebBrowser::homePagePath()
{
    return ProgramFolder::path() + QStringLiteral("/start.html");
}

void WebBrowser::GoHome()
{
    m_page->load(QUrl::fromLocalFile(homePagePath()));
}

void WebBrowser::Refresh()
{
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
    static const QString script =
        QStringLiteral("(function(){var b=document.body;"
                       "return [String(location.href), b ? b.outerHTML : ''];})()");
    m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                          [callback](const QVariant &result) {
                              // A page that goes away answers with nothing at all.
                              BodyText body;
                              const QVariantList parts = result.toList();
                              if (parts.size() == 2) {
                                  body.valid = true;
                                  body.address = parts.at(0).toString();
                                  body.text = parts.at(1).toString();
                              }
                              callback(body);
                          });
}
