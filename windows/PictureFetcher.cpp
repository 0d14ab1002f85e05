#include "windows/PictureFetcher.h"

#include "platform/PageInventory.h"
#include "windows/FileUtils.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImageReader>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThreadPool>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <atomic>
#include <memory>

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

// The bytes of a picture for a reader that stops reading once its time is up:
// a decoder that reads as it goes (PNG, JPEG, GIF) ends there with an error.
class DeadlineBuffer : public QBuffer {
public:
    explicit DeadlineBuffer(int ms) : m_deadline(ms) {}
    bool expired() const { return m_expired; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_deadline.hasExpired()) {
            m_expired = true;
            setErrorString(QObject::tr("out of time"));
            return -1;
        }
        return QBuffer::readData(data, std::min<qint64>(maxSize, 64 * 1024));
    }

private:
    QDeadlineTimer m_deadline;
    bool m_expired = false;
};

bool isExternalReference(const QXmlStreamAttribute &attribute)
{
    return attribute.name() == QLatin1String("href") &&
           !attribute.value().trimmed().startsWith(QLatin1Char('#'));
}

} // namespace

QByteArray PictureFetcher::selfContainedSvg(const QByteArray &bytes)
{
    QXmlStreamReader reader(bytes);
    QByteArray out;
    QXmlStreamWriter writer(&out);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            writer.writeStartDocument();
            break;
        case QXmlStreamReader::StartElement:
            writer.writeStartElement(reader.qualifiedName().toString());
            for (const QXmlStreamNamespaceDeclaration &ns : reader.namespaceDeclarations())
                writer.writeAttribute(ns.prefix().isEmpty()
                                          ? QStringLiteral("xmlns")
                                          : QStringLiteral("xmlns:") + ns.prefix().toString(),
                                      ns.namespaceUri().toString());
            for (const QXmlStreamAttribute &attribute : reader.attributes()) {
                if (!isExternalReference(attribute))
                    writer.writeAttribute(attribute.qualifiedName().toString(),
                                          attribute.value().toString());
            }
            break;
        case QXmlStreamReader::EndElement:
            writer.writeEndElement();
            break;
        case QXmlStreamReader::Characters:
            if (reader.isCDATA())
                writer.writeCDATA(reader.text().toString());
            else
                writer.writeCharacters(reader.text().toString());
            break;
        case QXmlStreamReader::EndDocument:
            writer.writeEndDocument();
            break;
        default:
            // Document types and their entities, entity references, processing
            // instructions (style sheets) and comments stay out.
            break;
        }
    }
    if (reader.hasError())
        return {};
    return out;
}

QImage PictureFetcher::decodePicture(const QByteArray &bytes, const QSize &box,
                                     const Limits &limits, QSize *naturalSize, QString *problem)
{
    *naturalSize = QSize();
    if (bytes.size() > limits.maxBytes) {
        *problem = tr("larger than %1")
                       .arg(QLocale().formattedDataSize(limits.maxBytes, 0,
                                                        QLocale::DataSizeTraditionalFormat));
        return {};
    }
    const QByteArray format = PictureReaderFormat(SniffPictureType(bytes.left(4096)));
    if (format.isEmpty()) {
        *problem = tr("not a picture");
        return {};
    }
    const bool svg = format == "svg";
    DeadlineBuffer buffer(limits.timeoutMs);
    if (svg) {
        buffer.setData(selfContainedSvg(bytes));
        if (buffer.data().isEmpty()) {
            *problem = tr("not a well-formed SVG");
            return {};
        }
    } else {
        buffer.setData(bytes);
    }
    buffer.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    // The type the bytes say, and no other reader.
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(true);
    const QSize natural = reader.size();
    *naturalSize = natural;
    const qint64 pixels = qint64(natural.width()) * natural.height();
    const bool decodesSmaller = svg || format == "jpeg";
    if (!svg && natural.isValid() &&
        (pixels > limits.maxPixels || (!decodesSmaller && pixels * 4 > limits.maxDecodedBytes))) {
        *problem =
            tr("too large to show (%1 \u00d7 %2)").arg(natural.width()).arg(natural.height());
        return {};
    }
    if (natural.isValid() && (natural.width() > box.width() || natural.height() > box.height())) {
        const QSize fitted = natural.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        if (reader.supportsOption(QImageIOHandler::ScaledSize))
            reader.setScaledSize(fitted);
    } else if (svg && !natural.isValid()) {
        reader.setScaledSize(box);
    }
    QImage image = reader.read();
    if (image.isNull()) {
        *problem = buffer.expired()
                       ? tr("took longer than %1 s to decode").arg(limits.timeoutMs / 1000.0)
                       : reader.errorString();
        return image;
    }
    if (!naturalSize->isValid())
        *naturalSize = image.size();
    if (image.width() > box.width() || image.height() > box.height())
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

PictureFetcher::PictureFetcher(QWebEngineProfile *profile, QObject *parent)
    : QObject(parent), m_profile(profile), m_thumbnails(4000), m_bytes(64 * 1024),
      m_decoders(new QThreadPool(this))
{
    m_decoders->setMaxThreadCount(decodeThreads);
    // Every image reader of the process stops at this size of a decoded
    // picture, the pictures inside an icon or an SVG included.
    QImageReader::setAllocationLimit(allocationLimitMb);
}

PictureFetcher::~PictureFetcher()
{
    // Decodes not begun are dropped; those under way end within their time.
    m_decoders->clear();
    m_decoders->waitForDone();
}

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
    const QUrl url(request.address);
    if (url.isLocalFile()) {
        // Read on a decoding thread, from a regular file only.
        if (request.job == Job::Size)
            emit sizeKnown(request.address, -1);
        else
            decode(request.address, QByteArray(),
                   request.job == Job::Preview ? request.box : QSize(thumbnailSide, thumbnailSide),
                   request.job == Job::Preview, url.toLocalFile());
        return;
    }
    QNetworkRequest networkRequest{url};
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
                            bool preview, const QString &path)
{
    QPointer<PictureFetcher> guard(this);
    const quint64 generation = m_generation;
    Limits limits;
    limits.timeoutMs = m_decodeTimeoutMs;
    // Answered once: by the decode, or by its time running out.
    auto answered = std::make_shared<std::atomic_bool>(false);
    auto answer = [guard, generation, address, preview, answered](const QImage &image,
                                                                  const QSize &natural) {
        if (answered->exchange(true) || !guard || guard->m_generation != generation)
            return;
        guard->decoded(address, image, natural, preview);
    };
    m_decoders->start([guard, answer, answered, bytes, path, box, limits] {
        if (*answered)
            return;
        // The time counts from here, not from the queue.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, answer, limits] {
                if (guard)
                    QTimer::singleShot(limits.timeoutMs, guard,
                                       [answer] { answer(QImage(), QSize()); });
            },
            Qt::QueuedConnection);
        QString problem;
        const QByteArray input =
            path.isEmpty() ? bytes : ReadRegularFile(path, limits.maxBytes, &problem);
        QSize natural;
        const QImage image =
            input.isNull() ? QImage() : decodePicture(input, box, limits, &natural, &problem);
        // Back on the window's thread, if the fetcher is still there.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [answer, image, natural] { answer(image, natural); },
            Qt::QueuedConnection);
    });
}

void PictureFetcher::decoded(const QString &address, const QImage &image, const QSize &natural,
                             bool preview)
{
    if (!image.isNull() && natural.isValid())
        emit naturalSizeKnown(address, natural);
    if (preview) {
        emit previewReady(address, image);
        return;
    }
    m_asked.remove(address);
    if (image.isNull())
        m_failed.insert(address);
    else
        m_thumbnails.insert(address, new QImage(image));
    emit thumbnailReady(address);
}
