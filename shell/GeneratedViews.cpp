#include "shell/GeneratedViews.h"

#include "platform/QuarrowScheme.h"
#include "platform/WebBrowser.h"

#include <QFile>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineSettings>

namespace {

const QString SourceKind = QStringLiteral("source");
const QString ImagesKind = QStringLiteral("images");

QString resourceText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// What a page of ours may load: its own style, and pictures from where the
// harvested page could have loaded them. It runs no script and loads no frame.
QByteArray policyFor(const QUrl &page)
{
    QByteArray pictures = "http: https: data:";
    if (page.isLocalFile())
        pictures += " file:";
    return "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
           "style-src 'unsafe-inline'; img-src " +
           pictures + "\">";
}

// What a view's page holds in its head besides its style: its policy and title.
QByteArray headFor(const QUrl &page, const QString &title)
{
    return policyFor(page) + "<title>" + title.toHtmlEscaped().toUtf8() + "</title>";
}

// The line that says the Browser tab's new page could not be opened.
const QString FailureStyle = QStringLiteral(
    "position:sticky;top:0;z-index:2147483647;margin:0 0 6px;padding:6px 10px;"
    "background:#fde2e1;color:#5c0a0a;border-bottom:1px solid #e0a09e;"
    "font:13px \"DejaVu Sans\",sans-serif;white-space:normal;overflow-wrap:anywhere");

// The same line in a page as it is served.
QByteArray withFailureLine(const QByteArray &page, const QString &text)
{
    const QByteArray body = QByteArrayLiteral("<body>");
    const qsizetype at = page.indexOf(body);
    if (at < 0 || text.isEmpty())
        return page;
    const QByteArray line = "<div id=\"quarrow-failed\" style=\"" +
                            FailureStyle.toHtmlEscaped().toUtf8() + "\">" +
                            text.toHtmlEscaped().toUtf8() + "</div>";
    QByteArray marked = page;
    marked.insert(at + body.size(), line);
    return marked;
}

// How the Source Code view's page starts, with long lines wrapped and without.
const QByteArray WrappedStart = QByteArrayLiteral("<!DOCTYPE html><html class=wrap>");
const QByteArray UnwrappedStart = QByteArrayLiteral("<!DOCTYPE html><html>");

} // namespace

GeneratedViews::GeneratedViews(QWebEngineProfile *profile, WebBrowser *source, WebBrowser *images,
                               QObject *parent)
    : QObject(parent), m_source(source), m_images(images)
{
    m_scheme = new QuarrowScheme(
        profile, [this](const QString &path) { return pageAt(path); }, this);
    // The views show pages of our own: no scripts run there, their pictures
    // may come from the web, and they are UTF-8.
    for (WebBrowser *view : {m_source, m_images}) {
        QWebEngineSettings *settings = view->page()->settings();
        settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        settings->setDefaultTextEncoding(QStringLiteral("UTF-8"));
    }
    // Each load by the address it is for: when Back starts one, the page's
    // requested address may still be the one it leaves.
    for (WebBrowser *view : {m_source, m_images}) {
        connect(view->page(), &QWebEnginePage::loadingChanged, this,
                [this, view](const QWebEngineLoadingInfo &info) {
                    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
                        loadStarted(view, info.url());
                    else
                        loadEnded(view, info.url());
                });
    }
}

GeneratedViews::~GeneratedViews() = default;

HarvestViews GeneratedViews::headsFor(const QUrl &page)
{
    const QString address = page.toDisplayString();
    HarvestViews views;
    views.sourceHead = headFor(page, QStringLiteral("Source Code of ") + address);
    views.imageHead = headFor(page, QStringLiteral("Images of ") + address);
    return views;
}

ViewPages GeneratedViews::pagesFor(HarvestResult &result, const QUrl &page)
{
    ViewPages pages;
    pages.page = page;
    pages.source = std::move(result.sourceView);
    pages.images = std::move(result.imageView);
    return pages;
}

void GeneratedViews::setWrapLongLines(bool wrap)
{
    m_wrap = wrap;
    // The page that shows follows at once, in whichever view shows it.
    const QString script = QStringLiteral("document.documentElement.classList.toggle('wrap', %1)")
                               .arg(wrap ? QStringLiteral("true") : QStringLiteral("false"));
    for (WebBrowser *view : {m_live, m_source}) {
        if (view && QuarrowScheme::owns(view->url()) &&
            QuarrowScheme::pathOf(view->url()).startsWith(SourceKind + QLatin1Char('/')))
            view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld);
    }
}

QByteArray GeneratedViews::outOfDatePage(bool source)
{
    const QByteArray view = source ? "Source Code" : "Images";
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><meta "
           "http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
           "'unsafe-inline'\"><title>Out of date</title><style>body{font-family:\"DejaVu "
           "Sans\",sans-serif;font-size:13px;margin:24px;color:#333}h1{font-size:18px}</style>"
           "</head><body><h1>This view is out of date</h1><p>It showed an earlier page, which "
           "is no longer kept. The " +
           view + " view shows the Browser tab's page again after its next load.</p></body></html>";
}

bool GeneratedViews::isGenerated(const QUrl &url)
{
    return QuarrowScheme::owns(url);
}

quint64 GeneratedViews::numberAt(const QString &path, QString *kind)
{
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    const QString named = path.left(slash);
    if (slash < 0 || (named != SourceKind && named != ImagesKind))
        return 0;
    bool ok = false;
    const quint64 number = path.mid(slash + 1).toULongLong(&ok);
    if (kind)
        *kind = named;
    return ok ? number : 0;
}

quint64 GeneratedViews::generationOf(const QUrl &url)
{
    return isGenerated(url) ? numberAt(QuarrowScheme::pathOf(url)) : 0;
}

QByteArray GeneratedViews::pageAt(const QString &path) const
{
    QString kind;
    const quint64 number = numberAt(path, &kind);
    if (number == 0)
        return {};
    const auto kept = m_kept.find(number);
    if (kept == m_kept.end())
        return outOfDatePage(kind == SourceKind);
    // A page served again after the Browser tab's page failed says so too.
    const QString failure = number == m_generation ? m_failure : QString();
    if (kind != SourceKind)
        return withFailureLine(kept->second.pages.images, failure);
    const QByteArray &source = kept->second.pages.source;
    // Pages are made with long lines wrapped; the switch is read as the page
    // is served.
    if (m_wrap || !source.startsWith(WrappedStart))
        return withFailureLine(source, failure);
    QByteArray unwrapped;
    unwrapped.reserve(source.size());
    unwrapped.append(UnwrappedStart).append(QByteArrayView(source).sliced(WrappedStart.size()));
    return withFailureLine(unwrapped, failure);
}

QUrl GeneratedViews::harvestedPageOf(const QUrl &url) const
{
    const auto kept = m_kept.find(generationOf(url));
    return kept == m_kept.end() ? QUrl() : kept->second.pages.page;
}

QString GeneratedViews::markupOf(quint64 generation) const
{
    const auto kept = m_kept.find(generation);
    return kept == m_kept.end() ? QString() : kept->second.pages.markup;
}

QUrl GeneratedViews::sourceAddress(quint64 generation)
{
    return QuarrowScheme::address(SourceKind + QLatin1Char('/') + QString::number(generation));
}

QUrl GeneratedViews::harvestedPage() const
{
    const auto kept = m_kept.find(m_generation);
    return kept == m_kept.end() ? QUrl() : kept->second.pages.page;
}

void GeneratedViews::show(ViewPages pages)
{
    const quint64 number = ++m_generation;
    m_kept[number] = Kept{std::move(pages)};
    m_failure.clear();
    forget();
    // The view that shows has the engine to itself; the other one follows
    // once it has loaded. With neither showing, both load at once.
    WebBrowser *first = m_shown ? m_shown : m_source;
    WebBrowser *second = first == m_source ? m_images : m_source;
    openCurrent(first);
    m_behind = second;
    if (!m_shown)
        catchUp();
    emit pagesOpened(number);
}

void GeneratedViews::setShownView(WebBrowser *view)
{
    m_shown = view == m_source || view == m_images ? view : nullptr;
    // A view that was to follow is wanted now.
    if (m_behind && m_behind == m_shown)
        catchUp();
}

void GeneratedViews::catchUp()
{
    WebBrowser *view = m_behind;
    m_behind = nullptr;
    if (view)
        openCurrent(view);
}

QUrl GeneratedViews::currentAddress(const WebBrowser *view) const
{
    return QuarrowScheme::address((view == m_source ? SourceKind : ImagesKind) + QLatin1Char('/') +
                                  QString::number(m_generation));
}

void GeneratedViews::openCurrent(WebBrowser *view)
{
    // Text first, pictures after: the Images view turns them on again when
    // its page has loaded.
    if (view == m_images)
        m_images->page()->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    Asked &asked = askedOf(view);
    asked.generation = m_generation;
    asked.retries = 0;
    openOurs(view, currentAddress(view));
}

void GeneratedViews::openOurs(WebBrowser *view, const QUrl &address)
{
    Asked &asked = askedOf(view);
    // Asked again, the page is waited for once; loads the engine dropped
    // never start, and the oldest of them are let go.
    asked.unstarted.removeOne(address);
    if (asked.unstarted.size() >= 8)
        asked.unstarted.removeFirst();
    asked.unstarted.append(address);
    view->open(address);
}

GeneratedViews::Asked &GeneratedViews::askedOf(const WebBrowser *view)
{
    return m_asked[view == m_source ? 0 : 1];
}

void GeneratedViews::loadStarted(WebBrowser *view, const QUrl &address)
{
    // Somewhere else than the program sent it (Back, a link): the view goes
    // where the user sends it.
    Asked &asked = askedOf(view);
    const qsizetype ours = asked.unstarted.indexOf(address);
    if (ours >= 0) {
        // Loads start in the order they were asked for: those asked before
        // this one will not start any more.
        asked.unstarted.remove(0, ours + 1);
        return;
    }
    if (asked.generation && address != currentAddress(view))
        asked.generation = 0;
}

void GeneratedViews::loadEnded(WebBrowser *view, const QUrl &address)
{
    if (m_behind && view != m_behind)
        catchUp();
    // The engine may drop a load asked for while the one before it commits:
    // the view is then asked again, a few times at most, so that it never
    // stays on an older harvest than the one it was sent to.
    Asked &asked = askedOf(view);
    const QUrl current = currentAddress(view);
    if (asked.generation == m_generation && view->url() != current && asked.retries++ < 3)
        openOurs(view, current);
    // The Images view shows its text first: its pictures are fetched once the
    // page itself has loaded. The end of a load it gave up for that page (an
    // earlier harvest's) does not count: pictures fetched while the page is
    // still loading would hold its load until the slowest of them came.
    if (view == m_images &&
        (!QuarrowScheme::owns(address) || address == m_images->page()->requestedUrl())) {
        QWebEngineSettings *settings = m_images->page()->settings();
        if (!settings->testAttribute(QWebEngineSettings::AutoLoadImages))
            settings->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    }
}

void GeneratedViews::setLiveView(WebBrowser *live)
{
    m_live = live;
    connect(live, &QWebEngineView::urlChanged, this, &GeneratedViews::forget);
}

void GeneratedViews::forget()
{
    // The live view's page, and the one it is on its way to.
    const quint64 shownLive = m_live ? generationOf(m_live->url()) : 0;
    const quint64 comingLive = m_live ? generationOf(m_live->page()->requestedUrl()) : 0;
    for (auto it = m_kept.begin(); it != m_kept.end();) {
        if (it->first == m_generation || it->first == shownLive || it->first == comingLive)
            ++it;
        else
            it = m_kept.erase(it);
    }
}

void GeneratedViews::markOutOfDate()
{
    static const QString script = resourceText(QStringLiteral(":/app/views/updating.js"));
    for (WebBrowser *view : {m_source, m_images}) {
        if (isGenerated(view->url()))
            view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld);
    }
}

void GeneratedViews::showFailure(const QString &text)
{
    m_failure = text;
    static const QString script = resourceText(QStringLiteral(":/app/views/failed.js"));
    const QString call =
        script.trimmed() + QStringLiteral("(%1,%2)").arg(WebBrowser::scriptString(text),
                                                         WebBrowser::scriptString(FailureStyle));
    for (WebBrowser *view : {m_source, m_images}) {
        if (isGenerated(view->url()))
            view->page()->runJavaScript(call, QWebEngineScript::ApplicationWorld);
    }
}
