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
#include <utility>

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
    bool root = true;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            writer.writeStartDocument();
            break;
        case QXmlStreamReader::StartElement: {
            writer.writeStartElement(reader.qualifiedName().toString());
            for (const QXmlStreamNamespaceDeclaration &ns : reader.namespaceDeclarations())
                writer.writeAttribute(ns.prefix().isEmpty()
                                          ? QStringLiteral("xmlns")
                                          : QStringLiteral("xmlns:") + ns.prefix().toString(),
                                      ns.namespaceUri().toString());
            const QXmlStreamAttributes attributes = reader.attributes();
            // A browser draws a picture of no size of its own and no viewBox
            // at 300 × 150, its content unscaled from the top left.
            const bool browserSized = root && !attributes.hasAttribute(QLatin1String("viewBox"));
            const auto sized = [&attributes](QLatin1String name) {
                const QString value = attributes.value(name).trimmed().toString();
                return !value.isEmpty() && !value.endsWith(QLatin1Char('%'));
            };
            const bool defaultWidth = browserSized && !sized(QLatin1String("width"));
            const bool defaultHeight = browserSized && !sized(QLatin1String("height"));
            for (const QXmlStreamAttribute &attribute : attributes) {
                const bool replaced =
                    attribute.namespaceUri().isEmpty() &&
                    ((defaultWidth && attribute.name() == QLatin1String("width")) ||
                     (defaultHeight && attribute.name() == QLatin1String("height")));
                if (!replaced && !isExternalReference(attribute))
                    writer.writeAttribute(attribute.qualifiedName().toString(),
                                          attribute.value().toString());
            }
            if (defaultWidth)
                writer.writeAttribute(QStringLiteral("width"), QStringLiteral("300"));
            if (defaultHeight)
                writer.writeAttribute(QStringLiteral("height"), QStringLiteral("150"));
            root = false;
            break;
        }
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
    const Decoded decoded = decodeBytes(bytes, box, limits);
    *naturalSize = decoded.naturalSize;
    *problem = decoded.problem;
    return decoded.image;
}

PictureFetcher::Decoded PictureFetcher::decodeBytes(const QByteArray &bytes, const QSize &box,
                                                    const Limits &limits)
{
    using Failure = Decoded::Failure;
    Decoded out;
    const auto fail = [&out](Failure failure, const QString &problem) {
        out.failure = failure;
        out.problem = problem;
        return out;
    };
    out.type = SniffPictureType(bytes.left(4096));
    const QByteArray format = PictureReaderFormat(out.type);
    if (format.isEmpty()) {
        out.type.clear();
        return fail(Failure::NotPicture, tr("not a picture"));
    }
    if (bytes.size() > limits.maxBytes)
        return fail(Failure::TooLarge,
                    tr("larger than %1")
                        .arg(QLocale().formattedDataSize(limits.maxBytes, 0,
                                                         QLocale::DataSizeTraditionalFormat)));
    if (!QImageReader::supportedImageFormats().contains(format))
        return fail(Failure::TooLarge,
                    tr("no reader for pictures of type %1").arg(QString::fromLatin1(format)));
    const bool svg = format == "svg";
    DeadlineBuffer buffer(limits.timeoutMs);
    if (svg) {
        buffer.setData(selfContainedSvg(bytes));
        if (buffer.data().isEmpty())
            return fail(Failure::Damaged, tr("not a well-formed SVG"));
    } else {
        buffer.setData(bytes);
    }
    buffer.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    // The type the bytes say, and no other reader.
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(true);
    const QSize natural = reader.size();
    out.naturalSize = natural;
    const qint64 pixels = qint64(natural.width()) * natural.height();
    const bool decodesSmaller = svg || format == "jpeg";
    if (!svg && natural.isValid() &&
        (pixels > limits.maxPixels || (!decodesSmaller && pixels * 4 > limits.maxDecodedBytes)))
        return fail(
            Failure::TooLarge,
            tr("too large to show (%1 \u00d7 %2)").arg(natural.width()).arg(natural.height()));
    if (natural.isValid() && (natural.width() > box.width() || natural.height() > box.height())) {
        const QSize fitted = natural.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        if (reader.supportsOption(QImageIOHandler::ScaledSize))
            reader.setScaledSize(fitted);
    } else if (svg && !natural.isValid()) {
        reader.setScaledSize(box);
    }
    QImage image = reader.read();
    if (image.isNull()) {
        if (buffer.expired())
            return fail(Failure::OutOfTime,
                        tr("took longer than %1 s to decode").arg(limits.timeoutMs / 1000.0));
        return fail(Failure::Damaged, reader.errorString());
    }
    if (!out.naturalSize.isValid())
        out.naturalSize = image.size();
    if (image.width() > box.width() || image.height() > box.height())
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    out.image = image;
    return out;
}

void PictureFetcher::judge(PictureAnswer &answer, const Decoded &decoded)
{
    using Failure = Decoded::Failure;
    using Verdict = PictureAnswer::Verdict;
    answer.fromBytes = true;
    answer.decodedType = decoded.type;
    if (decoded.naturalSize.isValid())
        answer.naturalSize = decoded.naturalSize;
    if (decoded.failure == Failure::Unreadable) {
        answer.verdict = Verdict::Broken;
        answer.problem = decoded.problem;
    } else if (decoded.type.isEmpty()) {
        // No picture: a page, a script, an error the server answered 200 with.
        const QString said = answer.contentType;
        if (said.startsWith(QLatin1String("image/"))) {
            answer.verdict = Verdict::Broken;
            answer.problem = tr("no picture, though the server says %1").arg(said);
        } else {
            answer.verdict = Verdict::NotPicture;
            answer.problem =
                tr("not an image: %1").arg(said.isEmpty() ? tr("no type given") : said);
        }
    } else if (decoded.failure == Failure::Damaged) {
        answer.verdict = Verdict::Broken;
        answer.problem = tr("damaged: %1").arg(decoded.problem);
    } else {
        // A picture, even when too large or too slow to show.
        answer.verdict = Verdict::Picture;
        answer.problem = decoded.failure == Failure::None ? QString() : decoded.problem;
    }
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
    // The queue is of the last inventory asked about: a new one, even of the
    // same page, asks again. What is under way comes back to it.
    for (const Request &request : m_queue) {
        if (request.job == Job::Thumbnail)
            m_asked.remove(request.address);
    }
    for (const QString &address : std::as_const(m_checks))
        m_asked.remove(address);
    m_queue.clear();
    m_checkOrder.clear();
    m_checks.clear();
    if (pageAddress == m_page)
        return;
    m_page = pageAddress;
    ++m_generation;
    m_asked.clear();
    // What failed may answer otherwise for another page (a referrer, a
    // cookie), and a head's answer is asked again with the bytes.
    for (const QString &address : std::as_const(m_failed))
        m_answers.remove(address);
    m_failed.clear();
    for (auto it = m_answers.begin(); it != m_answers.end();) {
        if (!it->fromBytes)
            it = m_answers.erase(it);
        else
            ++it;
    }
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
    if (m_checks.remove(address)) {
        // Waiting as a check: it goes first now.
        m_queue.push_front({Job::Thumbnail, address, {}});
        pump();
    } else if (!m_asked.contains(address) && !m_failed.contains(address) && mayFetch(address)) {
        m_asked.insert(address);
        m_queue.push_front({Job::Thumbnail, address, {}});
        pump();
    }
    return {};
}

void PictureFetcher::check(const QStringList &addresses)
{
    for (const QString &address : addresses) {
        if (m_thumbnails.contains(address) || m_asked.contains(address) ||
            m_failed.contains(address) || !mayFetch(address))
            continue;
        m_asked.insert(address);
        m_checks.insert(address);
        m_checkOrder.push_back(address);
    }
    pump();
}

void PictureFetcher::requestPreview(const QString &address, const QSize &box)
{
    if (!mayFetch(address))
        return;
    if (const QByteArray *bytes = m_bytes.object(address)) {
        decode(address, *bytes, box, true, m_answers.value(address));
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
    while (m_running < parallel) {
        if (!m_queue.empty()) {
            const Request request = m_queue.front();
            m_queue.pop_front();
            start(request);
            continue;
        }
        if (m_checkOrder.empty())
            return;
        const QString address = m_checkOrder.front();
        m_checkOrder.pop_front();
        // Gone from the set: it went first as a thumbnail.
        if (m_checks.remove(address))
            start({Job::Thumbnail, address, {}});
    }
}

namespace {

// What the head of a reply says, and why it failed when it did.
PictureAnswer answerOf(QNetworkReply *reply, bool tooLarge)
{
    PictureAnswer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    answer.contentType = reply->header(QNetworkRequest::ContentTypeHeader)
                             .toString()
                             .section(QLatin1Char(';'), 0, 0)
                             .trimmed()
                             .toLower();
    if (reply->error() == QNetworkReply::NoError)
        return answer;
    if (tooLarge) {
        answer.problem = QObject::tr("larger than %1")
                             .arg(QLocale().formattedDataSize(PictureFetcher::maxBytes, 0,
                                                              QLocale::DataSizeTraditionalFormat));
        if (answer.contentType.startsWith(QLatin1String("image/")))
            answer.verdict = PictureAnswer::Verdict::Picture;
        return answer;
    }
    answer.verdict = PictureAnswer::Verdict::Broken;
    if (answer.status >= 300) {
        answer.problem = answer.statusText();
        return answer;
    }
    switch (reply->error()) {
    case QNetworkReply::ConnectionRefusedError:
        answer.problem = QObject::tr("connection refused");
        break;
    case QNetworkReply::RemoteHostClosedError:
        answer.problem = QObject::tr("the server closed the connection");
        break;
    case QNetworkReply::HostNotFoundError:
        answer.problem = QObject::tr("server not found");
        break;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        answer.problem = QObject::tr("no answer in time");
        break;
    case QNetworkReply::SslHandshakeFailedError:
        answer.problem = QObject::tr("no secure connection");
        break;
    default:
        answer.problem = reply->errorString();
        break;
    }
    return answer;
}

} // namespace

void PictureFetcher::start(const Request &request)
{
    const QSize box =
        request.job == Job::Preview ? request.box : QSize(thumbnailSide, thumbnailSide);
    const bool preview = request.job == Job::Preview;
    if (request.address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        const QByteArray bytes = PageInventory::dataContent(request.address);
        if (request.job == Job::Size) {
            emit sizeKnown(request.address, bytes.size());
            return;
        }
        PictureAnswer answer;
        answer.contentType = PageInventory::mimeTypeFor(request.address);
        answer.bytes = bytes.size();
        if (!preview)
            emit bytesReceived(request.address, bytes);
        decode(request.address, bytes, box, preview, answer);
        return;
    }
    const QUrl url(request.address);
    if (url.isLocalFile()) {
        // Read on a decoding thread, from a regular file only.
        if (request.job == Job::Size)
            emit sizeKnown(request.address, -1);
        else
            decode(request.address, QByteArray(), box, preview, PictureAnswer(), url.toLocalFile());
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
            if (received > maxBytes) {
                reply->setProperty("quarrowTooLarge", true);
                reply->abort();
            }
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
    PictureAnswer answer = answerOf(reply, reply->property("quarrowTooLarge").toBool());
    if (request.job == Job::Size) {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        answer.bytes = ok && length.isValid() ? length.toLongLong() : -1;
        emit sizeKnown(request.address, answer.bytes);
        // Servers that take no HEAD say nothing of the picture.
        if (answer.status == 405 || answer.status == 501 || (!ok && answer.status == 0))
            return;
        const QString type = answer.contentType;
        if (ok && !type.isEmpty() && !type.startsWith(QLatin1String("image/")) &&
            !type.endsWith(QLatin1String("octet-stream"))) {
            answer.verdict = PictureAnswer::Verdict::NotPicture;
            answer.problem = tr("not an image: %1").arg(type);
        }
        record(request.address, answer);
        return;
    }
    if (!ok) {
        m_failed.insert(request.address);
        m_asked.remove(request.address);
        answer.fromBytes = true;
        record(request.address, answer);
        if (request.job == Job::Thumbnail)
            emit thumbnailReady(request.address);
        else
            emit previewReady(request.address, QImage());
        return;
    }
    const QByteArray bytes = reply->readAll();
    answer.bytes = bytes.size();
    m_bytes.insert(request.address, new QByteArray(bytes),
                   int(qMin<qint64>(bytes.size() / 1024 + 1, 64 * 1024)));
    emit sizeKnown(request.address, bytes.size());
    emit bytesReceived(request.address, bytes);
    decode(request.address, bytes,
           request.job == Job::Preview ? request.box : QSize(thumbnailSide, thumbnailSide),
           request.job == Job::Preview, answer);
}

void PictureFetcher::decode(const QString &address, const QByteArray &bytes, const QSize &box,
                            bool preview, const PictureAnswer &answer, const QString &path)
{
    QPointer<PictureFetcher> guard(this);
    const quint64 generation = m_generation;
    Limits limits;
    limits.timeoutMs = m_decodeTimeoutMs;
    // Answered once: by the decode, or by its time running out.
    auto answered = std::make_shared<std::atomic_bool>(false);
    auto reply = [guard, generation, address, preview, answered, answer](const Decoded &result) {
        if (answered->exchange(true) || !guard || guard->m_generation != generation)
            return;
        guard->decoded(address, result, preview, answer);
    };
    m_decoders->start([guard, reply, answered, bytes, path, box, limits, address, preview] {
        if (*answered)
            return;
        // The time counts from here, not from the queue.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, reply, limits] {
                if (!guard)
                    return;
                QTimer::singleShot(limits.timeoutMs, guard, [reply, limits] {
                    Decoded late;
                    late.failure = Decoded::Failure::OutOfTime;
                    late.problem =
                        tr("took longer than %1 s to decode").arg(limits.timeoutMs / 1000.0);
                    reply(late);
                });
            },
            Qt::QueuedConnection);
        Decoded result;
        QString problem;
        const QByteArray input =
            path.isEmpty() ? bytes : ReadRegularFile(path, limits.maxBytes, &problem);
        if (input.isNull() && !path.isEmpty()) {
            result.failure = Decoded::Failure::Unreadable;
            result.problem = problem;
        } else {
            result = decodeBytes(input, box, limits);
        }
        // Back on the window's thread, if the fetcher is still there, with
        // the bytes of a local file for those who look at them further.
        const QByteArray read = path.isEmpty() ? QByteArray() : input;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, address, preview, read, reply, result] {
                if (guard && !read.isNull() && !preview)
                    emit guard->bytesReceived(address, read);
                reply(result);
            },
            Qt::QueuedConnection);
    });
}

void PictureFetcher::decoded(const QString &address, const Decoded &result, bool preview,
                             PictureAnswer answer)
{
    judge(answer, result);
    record(address, answer);
    if (!result.image.isNull() && result.naturalSize.isValid())
        emit naturalSizeKnown(address, result.naturalSize);
    if (preview) {
        emit previewReady(address, result.image);
        return;
    }
    m_asked.remove(address);
    if (result.image.isNull())
        m_failed.insert(address);
    else
        m_thumbnails.insert(address, new QImage(result.image));
    emit thumbnailReady(address);
}

void PictureFetcher::record(const QString &address, const PictureAnswer &answer)
{
    auto known = m_answers.find(address);
    if (known != m_answers.end() && known->fromBytes && !answer.fromBytes) {
        // A head's answer adds nothing to what the bytes told.
        return;
    }
    PictureAnswer kept = answer;
    if (known != m_answers.end()) {
        if (kept.bytes < 0)
            kept.bytes = known->bytes;
        if (!kept.naturalSize.isValid())
            kept.naturalSize = known->naturalSize;
        // A decode of cached bytes knows no status: the fetch's stays.
        if (kept.status == 0 && known->status != 0) {
            kept.status = known->status;
            kept.reason = known->reason;
            kept.contentType = known->contentType;
        }
    }
    m_answers.insert(address, kept);
    emit answerKnown(address);
}
