#include "platform/QuarrowScheme.h"

#include <QBuffer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

const QByteArray QuarrowScheme::Name = QByteArrayLiteral("quarrow");

void QuarrowScheme::registerScheme()
{
    QWebEngineUrlScheme scheme(Name);
    // The kind of page is the host: every page of a kind is of one site, so that
    // the engine keeps a view's page process from one harvest to the next
    // instead of starting a new one for each (an address without a host is a
    // site of its own every time).
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Not a secure scheme: the pages show pictures from plain http sites,
    // which a secure page would block as mixed content. A local page's
    // harvest shows its local pictures, so the pages may load local files;
    // what each page may load is said by its own content security policy.
    scheme.setFlags(QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QUrl QuarrowScheme::address(const QString &path)
{
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    QUrl url;
    url.setScheme(QString::fromLatin1(Name));
    url.setHost(slash < 0 ? path : path.left(slash));
    url.setPath(slash < 0 ? QStringLiteral("/") : path.mid(slash));
    return url;
}

QString QuarrowScheme::pathOf(const QUrl &url)
{
    if (!owns(url))
        return {};
    const QString path = url.path();
    return path == QLatin1String("/") ? url.host() : url.host() + path;
}

bool QuarrowScheme::owns(const QUrl &url)
{
    return url.scheme() == QLatin1String(Name);
}

QuarrowScheme::QuarrowScheme(QWebEngineProfile *profile, Provider provider, QObject *parent)
    : QWebEngineUrlSchemeHandler(parent), m_profile(profile), m_provider(std::move(provider))
{
    m_profile->installUrlSchemeHandler(Name, this);
}

QuarrowScheme::~QuarrowScheme()
{
    // A profile that went first took its handlers with it.
    if (m_profile)
        m_profile->removeUrlSchemeHandler(this);
}

void QuarrowScheme::requestStarted(QWebEngineUrlRequestJob *job)
{
    // What the program opens has no initiator; whatever a page asks for has
    // the page's origin as its initiator.
    const QUrl initiator = job->initiator();
    if (!initiator.isEmpty() || job->requestMethod() != QByteArrayLiteral("GET")) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        emit refused(job->requestUrl(), initiator);
        return;
    }
    const QByteArray page = m_provider ? m_provider(pathOf(job->requestUrl())) : QByteArray();
    if (page.isNull()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The buffer shares the page's bytes and goes with the request.
    auto *buffer = new QBuffer(job);
    buffer->setData(page);
    buffer->open(QIODevice::ReadOnly);
    job->reply(QByteArrayLiteral("text/html"), buffer);
}
