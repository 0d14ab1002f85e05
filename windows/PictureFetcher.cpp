#include "windows/PictureFetcher.h"

#include "platform/PageInventory.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThreadPool>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

namespace {

// The profile's cookies, kept up to date as the engine adds and removes them,
// so that the window's requests are those of a signed-in user as the page's are.
class ProfileCookies : public QNetworkCookieJar {
public:
    ProfileCookies(QWebEngineCookieStore *store, QObject *parent) : QNetworkCookieJar(parent)
    {
        if (!store)
            return;
        connect(store, &QWebEngineCookieStore::cookieAdded, this,
                [this](const QNetworkCookie &cookie) { insertCookie(cookie); });
        connect(store, &QWebEngineCookieStore::cookieRemoved, this,
                [this](const QNetworkCookie &cookie) { deleteCookie(cookie); });
        store->loadAllCookies();
    }
    // The engine's cookies are the only ones: a picture's answer sets none of its own.
    bool setCookiesFromUrl(const QList<QNetworkCookie> &, const QUrl &) override { return false; }
};

// The picture in `bytes` scaled down (never up) to fit `box`; null when it
// cannot be read.
QImage decodeToFit(const QByteArray &bytes, const QSize &box, QSize *naturalSize)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize natural = reader.size();
    *naturalSize = natural;
    if (natural.isValid() && (natural.width() > box.width() || natural.height() > box.height())) {
        const QSize fitted = natural.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        if (reader.supportsOption(QImageIOHandler::ScaledSize))
            reader.setScaledSize(fitted);
    }
    QImage image = reader.read();
    if (image.isNull())
        return image;
    if (!naturalSize->isValid())
        *naturalSize = image.size();
    if (image.width() > box.width() || image.height() > box.height())
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

PictureFetcher::PictureFetcher(QWebEngineProfile *profile, QObject *parent)
    : QObject(parent), m_profile(profile), m_thumbnails(4000), m_bytes(64 * 1024)
{
}

PictureFetcher::~PictureFetcher() = default;

QNetworkAccessManager *PictureFetcher::network()
{
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
        m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
        m_network->setCookieJar(
            new ProfileCookies(m_profile ? m_profile->cookieStore() : nullptr, m_network));
    }
    return m_network;
}

void PictureFetcher::setPage(const QUrl &pageAddress)
{
    if (pageAddress == m_page)
        return;
    m_page = pageAddress;
    ++m_generation;
    m_queue.clear();
    m_asked.clear();
    m_failed.clear();
}

bool PictureFetcher::mayFetch(const QString &address) const
{
    return mayFetch(address, m_page);
}

bool PictureFetcher::mayFetch(const QString &address, const QUrl &pageAddress)
{
    if (address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return true;
    const QUrl url(address);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return url.isValid() && !url.host().isEmpty();
    if (scheme == QLatin1String("file"))
        return pageAddress.isLocalFile();
    return false;
}

QImage PictureFetcher::thumbnail(const QString &address)
{
    if (const QImage *image = m_thumbnails.object(address))
        return *image;
    if (!m_asked.contains(address) && !m_failed.contains(address) && mayFetch(address)) {
        m_asked.insert(address);
        m_queue.push_front({Job::Thumbnail, address, {}});
        pump();
    }
    return {};
}

void PictureFetcher::requestPreview(const QString &address, const QSize &box)
{
    if (!mayFetch(address))
        return;
    if (const QByteArray *bytes = m_bytes.object(address)) {
        decode(address, *bytes, box, true);
        return;
    }
    m_queue.push_front({Job::Preview, address, box});
    pump();
}

void PictureFetcher::requestSizes(const QStringList &addresses)
{
    for (const QString &address : addresses) {
        const QString scheme = QUrl(address).scheme().toLower();
        if (mayFetch(address) &&
            (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
            m_queue.push_back({Job::Size, address, {}});
        else
            emit sizeKnown(address, -1);
    }
    pump();
}

void PictureFetcher::pump()
{
    while (m_running < parallel && !m_queue.empty()) {
        const Request request = m_queue.front();
        m_queue.pop_front();
        start(request);
    }
}

void PictureFetcher::start(const Request &request)
{
    if (request.address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        const QByteArray bytes = PageInventory::dataContent(request.address);
        if (request.job == Job::Size)
            emit sizeKnown(request.address, bytes.size());
        else
            decode(request.address, bytes,
                   request.job == Job::Preview ? request.box : QSize(thumbnailSide, thumbnailSide),
                   request.job == Job::Preview);
        return;
    }
    QNetworkRequest networkRequest{QUrl(request.address)};
    if (m_profile)
        networkRequest.setHeader(QNetworkRequest::UserAgentHeader, m_profile->httpUserAgent());
    if (!m_page.isLocalFile())
        networkRequest.setRawHeader("Referer", m_page.toString(QUrl::FullyEncoded).toUtf8());
    networkRequest.setRawHeader("Accept", "image/avif,image/webp,image/*,*/*;q=0.8");
    networkRequest.setTransferTimeout(30000);
    QNetworkReply *reply =
        request.job == Job::Size ? network()->head(networkRequest) : network()->get(networkRequest);
    ++m_running;
    const quint64 generation = m_generation;
    if (request.job != Job::Size) {
        // A picture larger than anyone would preview is not fetched whole.
        connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
            if (received > maxBytes)
                reply->abort();
        });
    }
    connect(reply, &QNetworkReply::finished, this, [this, reply, request, generation] {
        --m_running;
        received(reply, request, generation);
        reply->deleteLater();
        pump();
    });
}

void PictureFetcher::received(QNetworkReply *reply, const Request &request, quint64 generation)
{
    if (generation != m_generation)
        return;
    const bool ok = reply->error() == QNetworkReply::NoError;
    if (request.job == Job::Size) {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        emit sizeKnown(request.address, ok && length.isValid() ? length.toLongLong() : -1);
        return;
    }
    if (!ok) {
        m_failed.insert(request.address);
        m_asked.remove(request.address);
        if (request.job == Job::Thumbnail)
            emit thumbnailReady(request.address);
        else
            emit previewReady(request.address, QImage());
        return;
    }
    const QByteArray bytes = reply->readAll();
    m_bytes.insert(request.address, new QByteArray(bytes),
                   int(qMin<qint64>(bytes.size() / 1024 + 1, 64 * 1024)));
    emit sizeKnown(request.address, bytes.size());
    decode(request.address, bytes,
           request.job == Job::Preview ? request.box : QSize(thumbnailSide, thumbnailSide),
           request.job == Job::Preview);
}

void PictureFetcher::decode(const QString &address, const QByteArray &bytes, const QSize &box,
                            bool preview)
{
    QPointer<PictureFetcher> guard(this);
    const quint64 generation = m_generation;
    QThreadPool::globalInstance()->start([guard, generation, address, bytes, box, preview] {
        QSize natural;
        const QImage image = decodeToFit(bytes, box, &natural);
        // Back on the window's thread, if the fetcher is still there.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, generation, address, image, natural, preview] {
                if (!guard || guard->m_generation != generation)
                    return;
                if (!image.isNull() && natural.isValid())
                    emit guard->naturalSizeKnown(address, natural);
                if (preview) {
                    emit guard->previewReady(address, image);
                    return;
                }
                guard->m_asked.remove(address);
                if (image.isNull())
                    guard->m_failed.insert(address);
                else
                    guard->m_thumbnails.insert(address, new QImage(image));
                emit guard->thumbnailReady(address);
            },
            Qt::QueuedConnection);
    });
}
