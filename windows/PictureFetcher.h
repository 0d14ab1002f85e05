#pragma once

#include "windows/PictureAnswer.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <deque>

class QNetworkAccessManager;
class QThreadPool;
class QNetworkReply;
class QWebEngineProfile;

// Fetches the pictures of a page for the Page Info window: their sizes in
// bytes (a HEAD request) and small decoded images for thumbnails and the
// preview. Requests carry the profile's cookies and user agent and the page as
// referrer, as the page's own requests do; a few run at once, the newest
// asked first, so that the rows in sight come before the rest.
//
// Only http, https and data: addresses are fetched, and file: addresses when
// the page itself is a local file: a web page cannot make the window read the
// user's files. A local picture is read only from a regular file, never from a
// FIFO, a device or the kernel's files. A picture over `maxBytes` is not
// fetched whole.
//
// Pictures are decoded as pictures and nothing else: by the type their bytes
// begin with, never by what a server or an address says, and an SVG without
// any reference outside itself (no file, no address, no nested picture).
// What each address answered (its status, the server's type, the type of its
// bytes, its size) is kept as its PictureAnswer: answerKnown tells when it
// comes or changes.
// Every decode is bounded: at most maxBytes of input, maxPixels, the
// allocation limit of the image readers (allocationLimitMb), a time
// (decodeTimeoutMs, after which the picture counts as failed) and at most
// decodeThreads at once, on threads of the fetcher's own, never on the
// window's.
class PictureFetcher : public QObject {
    Q_OBJECT
public:
    PictureFetcher(QWebEngineProfile *profile, QObject *parent = nullptr);
    ~PictureFetcher() override;

    // The page the pictures belong to. A new page drops the queued requests.
    void setPage(const QUrl &pageAddress);
    QUrl page() const { return m_page; }

    // True when the window may fetch this address for the current page.
    bool mayFetch(const QString &address) const;
    static bool mayFetch(const QString &address, const QUrl &pageAddress);

    // The thumbnail (no side longer than thumbnailSide) when it is decoded;
    // otherwise a null image, and it is fetched and decoded: thumbnailReady
    // follows. Asking again while it is on its way costs nothing.
    QImage thumbnail(const QString &address);
    // The picture scaled to fit `box`, by previewReady.
    void requestPreview(const QString &address, const QSize &box);
    // Fetches and decodes these pictures after every thumbnail and preview
    // asked for, as a thumbnail would be: their answers and sizes follow. An
    // address asked for as a thumbnail meanwhile goes first.
    void check(const QStringList &addresses);
    // Asks the server for the size of each address (HEAD): sizeKnown follows
    // for each, with -1 when the server does not say; the head of the answer
    // tells its status and type as well.
    void requestSizes(const QStringList &addresses);
    // True while a picture could not be fetched or decoded.
    bool failed(const QString &address) const { return m_failed.contains(address); }
    // What the address answered so far.
    PictureAnswer answer(const QString &address) const { return m_answers.value(address); }
    // True when no request is waiting or under way.
    bool idle() const { return m_running == 0 && m_queue.empty() && m_checks.isEmpty(); }

    static constexpr int thumbnailSide = 160;
    static constexpr qint64 maxBytes = 64 * 1024 * 1024;
    static constexpr qint64 maxPixels = 64 * 1000 * 1000;
    static constexpr int allocationLimitMb = 128;
    static constexpr int decodeThreads = 2;
    static constexpr int defaultDecodeTimeoutMs = 10000;
    static constexpr int parallel = 6;

    // How long a decode may take before its picture counts as failed.
    int decodeTimeout() const { return m_decodeTimeoutMs; }
    void setDecodeTimeout(int ms) { m_decodeTimeoutMs = ms; }

    // The bounds of one decode.
    struct Limits {
        qint64 maxBytes = PictureFetcher::maxBytes;
        qint64 maxPixels = PictureFetcher::maxPixels;
        // A reader that cannot decode a picture smaller (all but JPEG and
        // SVG) decodes it whole first, at up to four bytes a pixel.
        qint64 maxDecodedBytes = qint64(allocationLimitMb) * 1024 * 1024;
        int timeoutMs = defaultDecodeTimeoutMs;
    };
    // One decode: the picture, or why there is none.
    struct Decoded {
        enum class Failure {
            None,
            NotPicture, // its bytes are no picture of a type we know
            Damaged,    // a picture's type, but its bytes cannot be read as one
            Unreadable, // the bytes could not be had (a local file that may not be read)
            TooLarge,   // a picture, too large to decode
            OutOfTime,  // a picture, not decoded within its time
        };
        QImage image;
        QSize naturalSize; // its own size, when its header says
        QString type;      // the picture type its bytes begin with; empty for none
        QString problem;
        Failure failure = Failure::None;
    };
    // The picture in `bytes` scaled down (never up) to fit `box`, within `limits`.
    static Decoded decodeBytes(const QByteArray &bytes, const QSize &box, const Limits &limits);
    // The same: null and *problem when it cannot or may not be.
    static QImage decodePicture(const QByteArray &bytes, const QSize &box, const Limits &limits,
                                QSize *naturalSize, QString *problem);
    // The SVG in `bytes` without anything that refers outside it: every
    // href but "#id" goes, with document types, entities and processing
    // instructions. Null when it is not well-formed. A root without a
    // viewBox whose width or height is missing or in percent gets the size a
    // browser gives such a picture, 300 × 150.
    static QByteArray selfContainedSvg(const QByteArray &bytes);
    // How `answer` stands once its bytes are decoded as `decoded`.
    static void judge(PictureAnswer &answer, const Decoded &decoded);

signals:
    void thumbnailReady(const QString &address);
    void previewReady(const QString &address, const QImage &image);
    void sizeKnown(const QString &address, qint64 bytes);
    // The picture's own width and height, read while decoding it.
    void naturalSizeKnown(const QString &address, const QSize &size);
    // What the address answered is known, or more of it.
    void answerKnown(const QString &address);
    // The bytes of a picture came (a fetch of it whole, or a data: address
    // read), for those who look at them further.
    void bytesReceived(const QString &address, const QByteArray &bytes);

private:
    enum class Job { Thumbnail, Preview, Size };
    struct Request {
        Job job;
        QString address;
        QSize box;
    };
    void pump();
    void start(const Request &request);
    void received(QNetworkReply *reply, const Request &request, quint64 generation);
    // Decodes `bytes`, or the local file `path` read within maxBytes; `answer`
    // holds what the server said of them.
    void decode(const QString &address, const QByteArray &bytes, const QSize &box, bool preview,
                const PictureAnswer &answer, const QString &path = QString());
    void decoded(const QString &address, const Decoded &result, bool preview, PictureAnswer answer);
    // Keeps an answer; one judged from the bytes is not replaced by a head's.
    void record(const QString &address, const PictureAnswer &answer);
    QNetworkAccessManager *network();

    QPointer<QWebEngineProfile> m_profile;
    QNetworkAccessManager *m_network = nullptr;
    QUrl m_page;
    quint64 m_generation = 0;
    std::deque<Request> m_queue;
    // Checks waiting behind the queue, in order; an address that left the set
    // went first as a thumbnail.
    std::deque<QString> m_checkOrder;
    QSet<QString> m_checks;
    int m_running = 0;
    QSet<QString> m_asked; // thumbnails on their way
    QSet<QString> m_failed;
    QHash<QString, PictureAnswer> m_answers;
    QCache<QString, QImage> m_thumbnails;
    QCache<QString, QByteArray> m_bytes; // the last pictures fetched, for a preview
    QThreadPool *m_decoders = nullptr;
    int m_decodeTimeoutMs = defaultDecodeTimeoutMs;
};
