#include "windows/MediaSaver.h"

#include "platform/PageInventory.h"
#include "windows/FileUtils.h"
#include "windows/PageSnapshot.h"
#include "windows/PictureFetcher.h"
#include "windows/StagingFolder.h"
#include "windows/ZipArchive.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>

namespace {

// Marks the engine pages a saver downloads through.
const char kSaverPage[] = "quarrowMediaSaverPage";

bool isData(const QString &address)
{
    return address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
}

bool isBlob(const QString &address)
{
    return address.startsWith(QLatin1String("blob:"), Qt::CaseInsensitive);
}

// The snapshots saver pages are asked for, by path: their downloads are ours.
QSet<QString> &snapshotPaths()
{
    static QSet<QString> paths;
    return paths;
}

// How much of a file is read to tell its type and dimensions.
constexpr int headBytes = 512 * 1024;

// The dimensions a raster picture's header says; invalid for others (an SVG
// is not read here: its size is what the page knew).
QSize dimensionsOf(const QByteArray &head, const QString &type)
{
    static const QStringList readable = {"image/png", "image/jpeg", "image/gif", "image/webp",
                                         "image/bmp"};
    if (!readable.contains(type))
        return {};
    QByteArray copy = head;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, PictureReaderFormat(type));
    return reader.size();
}

// A JavaScript string literal of `text`.
QString scriptString(const QString &text)
{
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

QString megabytes(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 0, QLocale::DataSizeTraditionalFormat);
}

QString tooLarge(qint64 limit)
{
    return QObject::tr("larger than %1").arg(megabytes(limit));
}

// Why bytes that are no picture we know, sent as `mimeType`, are not saved as
// one; empty when they may be (an image type we cannot read, a type not said).
QString notAnImage(const QByteArray &head, const QString &mimeType)
{
    const QString type = mimeType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
    if (type.isEmpty() || type.startsWith(QLatin1String("image/")) ||
        type.endsWith(QLatin1String("octet-stream")) || !SniffPictureType(head).isEmpty())
        return {};
    return QObject::tr("not an image: %1").arg(type);
}

} // namespace

QString SaveSummary::text() const
{
    QString out;
    // Written as Page Info's columns write sizes.
    const QString size = PageInventory::byteText(bytes);
    const QString where = QDir::toNativeSeparators(intoArchive ? archive : folder);
    const QString variants = variantFiles.isEmpty() ? QString()
                             : variantFiles.size() == 1
                                 ? QObject::tr(" (and 1 variant)")
                                 : QObject::tr(" (and %1 variants)").arg(variantFiles.size());
    if (intoArchive && archive.isEmpty())
        out = archiveError.isEmpty()
                  ? QObject::tr("No ZIP file was written.")
                  : QObject::tr("No ZIP file was written: %1.").arg(archiveError);
    else if (savedFiles.isEmpty() && variantFiles.isEmpty())
        out = QObject::tr("No pictures were saved.");
    else
        out = savedFiles.size() == 1
                  ? QObject::tr("Saved 1 picture%1 to %2 (%3).").arg(variants, where, size)
                  : QObject::tr("Saved %1 pictures%2 to %3 (%4).")
                        .arg(savedFiles.size())
                        .arg(variants, where, size);
    if (cancelled)
        out += QLatin1Char(' ') + QObject::tr("Cancelled.");
    if (!skipped.isEmpty())
        out += QLatin1Char(' ') + QObject::tr("Skipped %1.").arg(skipped.size());
    if (!failed.isEmpty())
        out += QLatin1Char(' ') + QObject::tr("%1 failed.").arg(failed.size());
    const qsizetype lostVariants = variantsSkipped.size() + variantsFailed.size();
    if (lostVariants > 0)
        out +=
            QLatin1Char(' ') +
            (lostVariants == 1 ? QObject::tr("1 variant could not be saved.")
                               : QObject::tr("%1 variants could not be saved.").arg(lostVariants));
    if (fromPage == 1)
        out += QLatin1Char(' ') + QObject::tr("1 came from the page itself.");
    else if (fromPage > 1)
        out += QLatin1Char(' ') + QObject::tr("%1 came from the page itself.").arg(fromPage);
    if (!manifestError.isEmpty())
        out += QLatin1Char(' ') +
               QObject::tr("The manifest could not be written: %1.").arg(manifestError);
    if (byteLimit > 0)
        out += QLatin1Char(' ') +
               QObject::tr("A picture may have at most %1.").arg(megabytes(byteLimit));
    return out;
}

QString SaveSummary::details() const
{
    QStringList lines;
    for (const auto &[address, why] : failed)
        lines.append(QObject::tr("Failed: %1 (%2)").arg(address.left(300), why));
    for (const auto &[address, why] : skipped)
        lines.append(QObject::tr("Skipped: %1 (%2)").arg(address.left(300), why));
    for (const auto &[address, why] : variantsFailed)
        lines.append(QObject::tr("Variant failed: %1 (%2)").arg(address.left(300), why));
    for (const auto &[address, why] : variantsSkipped)
        lines.append(QObject::tr("Variant skipped: %1 (%2)").arg(address.left(300), why));
    return lines.join(QLatin1Char('\n'));
}

MediaSaver::MediaSaver(QWebEngineProfile *profile, QObject *parent)
    : QObject(parent), m_profile(profile), m_pool(new QThreadPool(this)),
      m_stop(std::make_shared<std::atomic_bool>(false))
{
    // Two files at a time: a disk gains nothing from more.
    m_pool->setMaxThreadCount(2);
    m_snapshotTimer = new QTimer(this);
    m_snapshotTimer->setSingleShot(true);
    connect(m_snapshotTimer, &QTimer::timeout, this, [this] { snapshotEnded(false); });
    if (profile)
        connect(profile, &QWebEngineProfile::downloadRequested, this, &MediaSaver::offered);
}

MediaSaver::~MediaSaver()
{
    // Work not begun yet is dropped; what is under way ends within its limit.
    *m_stop = true;
    m_pool->clear();
    m_pool->waitForDone();
    for (Slot &slot : m_slots) {
        if (slot.download) {
            slot.download->disconnect(this);
            slot.download->cancel();
        }
        delete slot.page;
    }
    qDeleteAll(m_retired);
    if (!m_snapshotPath.isEmpty())
        snapshotPaths().remove(m_snapshotPath);
    if (m_snapshot) {
        m_snapshot->disconnect(this);
        m_snapshot->cancel();
    }
    m_staging.reset();
}

bool MediaSaver::ownsDownload(const QWebEngineDownloadRequest *download)
{
    if (download && download->isSavePageDownload())
        return snapshotPaths().contains(
            QDir(download->downloadDirectory()).filePath(download->downloadFileName()));
    return download && download->page() && download->page()->property(kSaverPage).toBool();
}

QString MediaSaver::fileNameFor(const QString &address, const QString &mimeType)
{
    QString name;
    if (!isData(address))
        name = QUrl(address).fileName(QUrl::FullyDecoded);
    return SafeFileName(name, mimeType);
}

QStringList MediaSaver::existing(const QStringList &names, const QString &folder)
{
    QStringList out;
    const QDir dir(folder);
    for (const QString &name : names) {
        if (EntryExists(dir.filePath(name)) && !out.contains(name))
            out.append(name);
    }
    return out;
}

QStringList MediaSaver::uniqueNames(const QStringList &names, const QString &folder, bool replace)
{
    const QDir dir(folder);
    QSet<QString> taken; // lower case: some file systems ignore case
    QStringList out;
    for (const QString &name : names) {
        QString candidate = name;
        const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
        for (int n = 2;; ++n) {
            const bool usedHere = taken.contains(candidate.toLower());
            const bool onDisk =
                !replace && !folder.isEmpty() && EntryExists(dir.filePath(candidate));
            if (!usedHere && !onDisk)
                break;
            candidate = name.left(slash + 1) + NumberedFileName(name.mid(slash + 1), n);
        }
        taken.insert(candidate.toLower());
        out.append(candidate);
    }
    return out;
}

void MediaSaver::start(const QList<Item> &items, const QString &folder, const QUrl &page,
                       bool replace)
{
    Target target;
    target.folder = folder;
    start(items, target, page, replace);
}

void MediaSaver::start(const QList<Item> &items, const Target &target, const QUrl &page,
                       bool replace)
{
    if (busy())
        return;
    ++m_run;
    m_items = items;
    m_target = target;
    m_folder = target.folder;
    m_page = page;
    m_replace = replace;
    m_next = 0;
    m_done = 0;
    m_concluding = false;
    m_extracting = false;
    m_blobItems.clear();
    m_fromSnapshot.clear();
    m_records = QList<Record>(items.size());
    // The pictures, numbered in the order they come.
    m_pictureOf.clear();
    m_left.clear();
    QHash<int, int> numbers;
    for (const Item &item : items) {
        int picture = -1;
        if (item.picture >= 0)
            picture = numbers.value(item.picture, -1);
        if (picture < 0) {
            picture = int(m_left.size());
            m_left.append(0);
            if (item.picture >= 0)
                numbers.insert(item.picture, picture);
        }
        m_pictureOf.append(picture);
        ++m_left[picture];
    }
    m_total = int(m_left.size());
    m_itemsLeft = int(items.size());
    m_summary = SaveSummary();
    m_summary.folder = m_folder;
    m_summary.pictures = m_total;
    m_summary.byteLimit = m_byteLimit;
    m_summary.intoArchive = intoArchive();
    *m_stop = false;
    if (m_total == 0) {
        emit finished(m_summary);
        return;
    }
    emit progress(0, m_total);
    if (!intoArchive() && !(m_target.fromPage && pageShowsTheSave())) {
        // Start from the event loop, so that the caller has connected to
        // finished even when everything is saved at once.
        QTimer::singleShot(0, this, &MediaSaver::pump);
        return;
    }
    // A private folder for the parts, made off the window's thread.
    const QString folder = m_folder;
    const quint64 run = m_run;
    QPointer<MediaSaver> guard(this);
    m_pool->start([guard, folder, run] {
        StagingFolder::removeLeftovers(folder);
        QString error;
        std::shared_ptr<StagingFolder> staging = StagingFolder::make(folder, &error);
        QMetaObject::invokeMethod(
            guard,
            [guard, staging, error, run] {
                if (guard && guard->m_run == run)
                    guard->prepared(staging, error);
            },
            Qt::QueuedConnection);
    });
}

bool MediaSaver::pageShowsTheSave() const
{
    return m_target.page && m_target.page->url().adjusted(QUrl::RemoveFragment) ==
                                m_page.adjusted(QUrl::RemoveFragment);
}

void MediaSaver::prepared(const std::shared_ptr<StagingFolder> &staging, const QString &error)
{
    if (!busy() || m_concluding)
        return;
    m_staging = staging;
    if (!staging && intoArchive()) {
        // No ZIP file can be written there: nothing is fetched.
        m_summary.archiveError = error;
        while (m_next < m_items.size()) {
            settle(m_next, Outcome::Failed, QString(), error);
            ++m_next;
        }
        itemDone();
        return;
    }
    if (m_summary.cancelled) {
        itemDone();
        return;
    }
    if (staging && m_target.fromPage && pageShowsTheSave())
        takeSnapshot();
    else
        pump();
}

void MediaSaver::takeSnapshot()
{
    // In the folder itself, as downloads are: the engine makes the folders of
    // the paths it writes, and would make the staging folder again after it went.
    m_snapshotPath = QDir(m_folder).filePath(NewPartFileName());
    snapshotPaths().insert(m_snapshotPath);
    m_snapshotTimer->start(m_pageTimeoutMs);
    // The engine writes what its renderer holds, and fetches nothing.
    m_target.page->save(m_snapshotPath, QWebEngineDownloadRequest::MimeHtmlSaveFormat);
}

void MediaSaver::snapshotEnded(bool completed)
{
    if (m_snapshotPath.isEmpty())
        return;
    m_snapshotTimer->stop();
    const QString path = m_snapshotPath;
    snapshotPaths().remove(path);
    m_snapshotPath.clear();
    if (m_snapshot) {
        m_snapshot->disconnect(this);
        if (!m_snapshot->isFinished())
            m_snapshot->cancel();
        m_snapshot = nullptr;
    }
    if (!completed || m_summary.cancelled || !m_staging) {
        pump();
        return;
    }
    // The web pictures of the save, as the snapshot may hold them.
    QSet<QString> wanted;
    for (const Item &item : m_items) {
        const QString scheme = QUrl(item.address).scheme().toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
            wanted.insert(item.address);
    }
    const QString folder = m_staging->path();
    const qint64 limit = m_byteLimit;
    const std::shared_ptr<std::atomic_bool> stop = m_stop;
    const quint64 run = m_run;
    m_extracting = true;
    QPointer<MediaSaver> guard(this);
    m_pool->start([guard, path, wanted, folder, limit, stop, run] {
        const QHash<QString, PageSnapshot::Part> parts =
            PageSnapshot::extract(path, wanted, folder, limit, stop.get());
        QFile::remove(path);
        QMetaObject::invokeMethod(
            guard,
            [guard, parts, run] {
                if (!guard || guard->m_run != run)
                    return;
                guard->m_extracting = false;
                for (auto it = parts.cbegin(); it != parts.cend(); ++it)
                    guard->m_fromSnapshot.insert(it.key(), {it->file, it->type});
                if (guard->m_summary.cancelled)
                    guard->itemDone();
                else
                    guard->pump();
            },
            Qt::QueuedConnection);
    });
}

void MediaSaver::cancel()
{
    if (!busy())
        return;
    m_summary.cancelled = true;
    *m_stop = true;
    if (!m_snapshotPath.isEmpty()) {
        m_snapshotTimer->stop();
        snapshotPaths().remove(m_snapshotPath);
        m_snapshotPath.clear();
        if (m_snapshot) {
            m_snapshot->disconnect(this);
            m_snapshot->cancel();
            m_snapshot = nullptr;
        }
    }
    while (m_next < m_items.size()) {
        settle(m_next, Outcome::Skipped, QString(), tr("cancelled"));
        ++m_next;
    }
    // Pictures asked of the page: their answers are dropped when they come.
    const QList<int> asked(m_blobItems.cbegin(), m_blobItems.cend());
    m_blobItems.clear();
    for (const int item : asked)
        settle(item, Outcome::Skipped, QString(), tr("cancelled"));
    for (Slot &slot : m_slots) {
        if (slot.download)
            slot.download->cancel();
        else if (slot.item >= 0) {
            // Asked of the engine, not started yet: it is dropped when it comes.
            const int item = slot.item;
            slot.item = -1;
            slot.startTimer->stop();
            retire(slot);
            settle(item, Outcome::Skipped, QString(), tr("cancelled"));
        }
    }
    itemDone();
}

void MediaSaver::pump()
{
    if (m_concluding)
        return;
    while (m_next < m_items.size()) {
        const int item = m_next;
        const QString &address = m_items.at(item).address;
        const QString scheme = QUrl(address).scheme().toLower();
        if (isBlob(address)) {
            ++m_next;
            readBlob(item);
            continue;
        }
        if (isData(address) || !PictureFetcher::mayFetch(address, m_page) ||
            scheme == QLatin1String("file")) {
            ++m_next;
            saveNow(item);
            continue;
        }
        if (m_fromSnapshot.contains(address)) {
            ++m_next;
            const QPair<QString, QString> part = m_fromSnapshot.take(address);
            place(m_staging->path(), part.first, item,
                  {address, part.second, QStringLiteral("page")});
            continue;
        }
        Slot *free = nullptr;
        for (Slot &slot : m_slots) {
            if (slot.item < 0 && !slot.download) {
                free = &slot;
                break;
            }
        }
        if (!free && m_slots.size() < parallel) {
            m_slots.append(Slot());
            Slot &slot = m_slots.last();
            slot.page = new QWebEnginePage(m_profile.data());
            slot.page->setProperty(kSaverPage, true);
            slot.startTimer = new QTimer(this);
            slot.startTimer->setSingleShot(true);
            free = &slot;
        }
        if (!free)
            break;
        ++m_next;
        startWebItem(*free, item);
    }
    itemDone();
}

void MediaSaver::readBlob(int item)
{
    if (!pageShowsTheSave()) {
        settle(item, Outcome::Failed, QString(), tr("the page that made it is not shown any more"));
        return;
    }
    m_blobItems.insert(item);
    const QString id = QStringLiteral("%1-%2").arg(m_run).arg(item);
    const qint64 limit = std::min(blobByteLimit, m_byteLimit);
    // The page's own blob, read as the page would, by a script of a world of
    // ours: the page neither sees the script nor what it keeps.
    const QString start =
        QStringLiteral(
            "(function (u, id, limit) {"
            "  var box = window.quarrowBlobs || (window.quarrowBlobs = {});"
            "  box[id] = null;"
            "  fetch(u).then(function (r) {"
            "    if (!r.ok) throw new Error('status ' + r.status);"
            "    return r.blob();"
            "  }).then(function (b) {"
            "    if (b.size > limit) { box[id] = {error: 'large'}; return; }"
            "    var reader = new FileReader();"
            "    reader.onload = function () { box[id] = {type: b.type, data: "
            "String(reader.result)}; };"
            "    reader.onerror = function () { box[id] = {error: 'it cannot be read'}; };"
            "    reader.readAsDataURL(b);"
            "  }).catch(function (e) { box[id] = {error: String((e && e.message) || e)}; });"
            "  return true;"
            "})(%1, %2, %3)")
            .arg(scriptString(m_items.at(item).address), scriptString(id))
            .arg(limit);
    const QString poll = QStringLiteral("(function (id) {"
                                        "  var box = window.quarrowBlobs, r = box && box[id];"
                                        "  if (!r) return null;"
                                        "  delete box[id];"
                                        "  return r;"
                                        "})(%1)")
                             .arg(scriptString(id));
    QWebEnginePage *page = m_target.page;
    page->runJavaScript(start, blobWorldId);
    auto *timer = new QTimer(this);
    timer->setInterval(40);
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    const quint64 run = m_run;
    const QString address = m_items.at(item).address;
    QPointer<QWebEnginePage> live = page;
    auto asking = std::make_shared<bool>(false);
    connect(timer, &QTimer::timeout, this,
            [this, timer, waited, run, item, live, poll, limit, address, asking] {
                auto done = [this, timer, item](Outcome::Kind kind, const QString &why) {
                    timer->stop();
                    timer->deleteLater();
                    if (!m_blobItems.remove(item))
                        return;
                    settle(item, kind, QString(), why);
                    if (!m_summary.cancelled)
                        pump();
                    else
                        itemDone();
                };
                if (m_run != run || !m_blobItems.contains(item)) {
                    timer->stop();
                    timer->deleteLater();
                    return;
                }
                if (!live) {
                    done(Outcome::Failed, tr("the page that made it is not shown any more"));
                    return;
                }
                if (waited->elapsed() > m_pageTimeoutMs) {
                    done(Outcome::Failed, tr("the page did not give it in time"));
                    return;
                }
                if (*asking)
                    return;
                *asking = true;
                live->runJavaScript(
                    poll, blobWorldId,
                    [this, timer, run, item, limit, address, asking, done](const QVariant &value) {
                        *asking = false;
                        if (m_run != run || !m_blobItems.contains(item) || value.isNull())
                            return;
                        const QVariantMap answer = value.toMap();
                        if (answer.contains(QStringLiteral("error"))) {
                            const QString error = answer.value(QStringLiteral("error")).toString();
                            done(Outcome::Failed,
                                 error == QLatin1String("large")
                                     ? tooLarge(limit)
                                     : tr("the page cannot read it: %1").arg(error.left(200)));
                            return;
                        }
                        timer->stop();
                        timer->deleteLater();
                        m_blobItems.remove(item);
                        bool ok = false;
                        const QByteArray bytes = PageInventory::dataContent(
                            answer.value(QStringLiteral("data")).toString(), &ok);
                        if (!ok || bytes.size() > limit) {
                            settle(item, Outcome::Failed, QString(),
                                   ok ? tooLarge(limit) : tr("the page gave no picture"));
                            pump();
                            return;
                        }
                        saveBytes(item, bytes.isNull() ? QByteArray("", 0) : bytes,
                                  {address, answer.value(QStringLiteral("type")).toString(),
                                   QStringLiteral("page")});
                    });
            });
    timer->start();
}

void MediaSaver::retire(Slot &slot)
{
    // A download asked of this page may still be offered: it must find no
    // slot waiting there, or it would take the place of the slot's next one.
    m_retired.append(slot.page);
    slot.page = new QWebEnginePage(m_profile.data());
    slot.page->setProperty(kSaverPage, true);
}

void MediaSaver::startWebItem(Slot &slot, int item)
{
    slot.item = item;
    slot.partName = NewPartFileName();
    slot.tooLarge = false;
    QWebEnginePage *page = slot.page;
    slot.startTimer->disconnect();
    connect(slot.startTimer, &QTimer::timeout, this, [this, page] {
        for (Slot &s : m_slots) {
            if (s.page == page && s.item >= 0 && !s.download) {
                const int item = s.item;
                s.item = -1;
                retire(s);
                settle(item, Outcome::Failed, QString(), tr("the download did not start"));
                pump();
                return;
            }
        }
    });
    slot.startTimer->start(startTimeoutMs);
    page->download(QUrl(m_items.at(item).address), slot.partName);
}

void MediaSaver::offered(QWebEngineDownloadRequest *download)
{
    if (download->isSavePageDownload()) {
        if (m_snapshotPath.isEmpty() ||
            QDir(download->downloadDirectory()).filePath(download->downloadFileName()) !=
                m_snapshotPath)
            return;
        m_snapshot = download;
        auto ended = [this] {
            if (m_snapshot && m_snapshot->isFinished())
                snapshotEnded(m_snapshot->state() == QWebEngineDownloadRequest::DownloadCompleted);
        };
        connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, ended);
        connect(download, &QWebEngineDownloadRequest::stateChanged, this, ended);
        if (download->state() == QWebEngineDownloadRequest::DownloadRequested)
            download->accept();
        ended();
        return;
    }
    if (!ownsDownload(download))
        return;
    for (Slot &slot : m_slots) {
        if (slot.page != download->page())
            continue;
        if (slot.item < 0 || slot.download) {
            // Cancelled, or timed out, before the engine offered it.
            download->cancel();
            return;
        }
        slot.startTimer->stop();
        slot.download = download;
        // Into the folder itself, never the staging folder (see takeSnapshot).
        download->setDownloadDirectory(m_folder);
        download->setDownloadFileName(slot.partName);
        QWebEnginePage *page = slot.page;
        auto ended = [this, page] {
            for (Slot &s : m_slots) {
                if (s.page == page && s.download && s.download->isFinished()) {
                    downloadEnded(s);
                    return;
                }
            }
        };
        connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, ended);
        connect(download, &QWebEngineDownloadRequest::stateChanged, this, ended);
        // A picture over the limit is not downloaded to its end.
        auto watch = [this, page] {
            for (Slot &s : m_slots) {
                if (s.page != page || !s.download || s.tooLarge)
                    continue;
                if (s.download->receivedBytes() > m_byteLimit ||
                    s.download->totalBytes() > m_byteLimit) {
                    s.tooLarge = true;
                    s.download->cancel();
                }
                return;
            }
        };
        connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this, watch);
        connect(download, &QWebEngineDownloadRequest::totalBytesChanged, this, watch);
        download->accept();
        watch();
        return;
    }
    download->cancel();
}

void MediaSaver::downloadEnded(Slot &slot)
{
    QWebEngineDownloadRequest *download = slot.download;
    const int item = slot.item;
    const bool tooLargeNow = slot.tooLarge;
    const QString partName = download->downloadFileName();
    const QString folder = download->downloadDirectory();
    const QString partPath = QDir(folder).filePath(partName);
    slot.download = nullptr;
    slot.item = -1;
    slot.tooLarge = false;
    download->disconnect(this);
    download->deleteLater();
    if (item < 0)
        return;
    if (download->state() == QWebEngineDownloadRequest::DownloadCompleted && !tooLargeNow) {
        // Checked, named and renamed into place off the window's thread. The
        // engine's address is the last one its redirects led to.
        place(folder, partName, item,
              {download->url().toString(), download->mimeType(), QStringLiteral("download")});
        return;
    }
    QFile::remove(partPath);
    if (tooLargeNow)
        settle(item, Outcome::Failed, QString(), tooLarge(m_byteLimit));
    else if (download->state() == QWebEngineDownloadRequest::DownloadCancelled)
        settle(item, Outcome::Skipped, QString(), tr("cancelled"));
    else
        settle(item, Outcome::Failed, QString(), download->interruptReasonString());
    if (!m_summary.cancelled)
        pump();
    else
        itemDone();
}

void MediaSaver::place(const QString &fromFolder, const QString &partName, int item,
                       const Origin &origin)
{
    const QString folder = m_folder;
    const bool archive = intoArchive();
    const QString staging = archive && m_staging ? m_staging->path() : QString();
    const QString name = m_items.at(item).fileName;
    const QSize known = m_items.at(item).size;
    const bool replace = m_replace;
    const qint64 limit = m_byteLimit;
    const quint64 run = m_run;
    QPointer<MediaSaver> guard(this);
    m_pool->start([guard, fromFolder, folder, archive, staging, partName, name, known, replace,
                   limit, item, origin, run] {
        Outcome result;
        qint64 size = -1;
        QByteArray head;
        const QByteArray hash =
            HashFile(fromFolder, partName, &size, &head, headBytes, &result.why);
        const QString partPath = QDir(fromFolder).filePath(partName);
        if (hash.isNull()) {
            QFile::remove(partPath);
        } else if (size > limit) {
            result.why = tooLarge(limit);
            QFile::remove(partPath);
        } else if (!(result.why = notAnImage(head.left(4096), origin.mimeType)).isEmpty()) {
            // A page or a script under a picture's name is not saved as one.
            QFile::remove(partPath);
        } else {
            const QString sniffed = SniffPictureType(head.left(4096));
            const QString named = WithPictureExtension(name, sniffed);
            Record &record = result.record;
            record.finalAddress = origin.finalAddress;
            record.type = sniffed.isEmpty()
                              ? origin.mimeType.section(QLatin1Char(';'), 0, 0).trimmed()
                              : sniffed;
            record.bytes = size;
            record.sha256 = hash;
            record.size = dimensionsOf(head, sniffed);
            if (!record.size.isValid())
                record.size = known;
            record.obtained = origin.obtained;
            result.bytes = size;
            if (archive) {
                // Waits in the staging folder for the archive.
                QString staged = partName;
                const PlaceResult moved =
                    fromFolder == staging
                        ? PlaceResult::Placed
                        : PlaceFileAt(fromFolder, partName, staging, NewPartFileName(), false,
                                      &staged, &result.why);
                record.staged = staged;
                result.fileName = named;
                result.kind = moved == PlaceResult::Placed ? Outcome::Saved : Outcome::Failed;
            } else {
                const PlaceResult placed = PlaceFileAt(fromFolder, partName, folder, named, replace,
                                                       &result.fileName, &result.why);
                result.kind = placed == PlaceResult::Placed    ? Outcome::Saved
                              : placed == PlaceResult::Refused ? Outcome::Skipped
                                                               : Outcome::Failed;
            }
            record.file = result.fileName;
            record.saved = result.kind == Outcome::Saved;
        }
        QMetaObject::invokeMethod(
            guard,
            [guard, item, result, run] {
                if (guard && guard->m_run == run)
                    guard->outcome(item, result);
            },
            Qt::QueuedConnection);
    });
}

namespace {

// What a thread of the pool does with bytes the saver has: checked, then
// written into the folder (or the staging folder of an archive).
struct Stored {
    int kind = 2; // 0 saved, 1 skipped, 2 failed
    QString fileName;
    QString why;
    QString staged;
    QString type;
    QByteArray sha256;
    QSize size;
};

Stored storeBytes(const QByteArray &bytes, const QString &mimeType, const QString &folder,
                  const QString &staging, const QString &name, bool replace, const QSize &known)
{
    Stored out;
    out.why = notAnImage(bytes.left(4096), mimeType);
    if (!out.why.isEmpty())
        return out;
    const QString sniffed = SniffPictureType(bytes.left(4096));
    const QString named = WithPictureExtension(name, sniffed);
    out.type = sniffed.isEmpty() ? mimeType.section(QLatin1Char(';'), 0, 0).trimmed() : sniffed;
    out.sha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    out.size = dimensionsOf(bytes.left(headBytes), sniffed);
    if (!out.size.isValid())
        out.size = known;
    PlaceResult placed;
    if (!staging.isEmpty()) {
        placed = WriteFileSafely(staging, NewPartFileName(), bytes, false, &out.staged, &out.why);
        out.fileName = named;
    } else {
        placed = WriteFileSafely(folder, named, bytes, replace, &out.fileName, &out.why);
    }
    out.kind = placed == PlaceResult::Placed ? 0 : placed == PlaceResult::Refused ? 1 : 2;
    return out;
}

} // namespace

void MediaSaver::saveBytes(int item, const QByteArray &bytes, const Origin &origin)
{
    const QString folder = m_folder;
    const QString staging = intoArchive() && m_staging ? m_staging->path() : QString();
    const QString name = m_items.at(item).fileName;
    const QSize known = m_items.at(item).size;
    const bool replace = m_replace;
    const quint64 run = m_run;
    const std::shared_ptr<std::atomic_bool> stop = m_stop;
    QPointer<MediaSaver> guard(this);
    m_pool->start([guard, stop, bytes, origin, folder, staging, name, replace, known, item, run] {
        Outcome result;
        if (*stop) {
            result.kind = Outcome::Skipped;
            result.why = tr("cancelled");
        } else {
            const Stored stored =
                storeBytes(bytes, origin.mimeType, folder, staging, name, replace, known);
            result.kind = Outcome::Kind(stored.kind);
            result.fileName = stored.fileName;
            result.why = stored.why;
            result.bytes = bytes.size();
            Record &record = result.record;
            record.saved = stored.kind == 0;
            record.file = stored.fileName;
            record.staged = stored.staged;
            record.finalAddress = origin.finalAddress;
            record.type = stored.type;
            record.bytes = bytes.size();
            record.sha256 = stored.sha256;
            record.size = stored.size;
            record.obtained = origin.obtained;
        }
        QMetaObject::invokeMethod(
            guard,
            [guard, item, result, run] {
                if (guard && guard->m_run == run)
                    guard->outcome(item, result);
            },
            Qt::QueuedConnection);
    });
}

void MediaSaver::saveNow(int item)
{
    const QString address = m_items.at(item).address;
    const bool local = !isData(address) && QUrl(address).isLocalFile() &&
                       PictureFetcher::mayFetch(address, m_page);
    if (!isData(address) && !local) {
        settle(item, Outcome::Skipped, QString(), tr("an address of this kind cannot be saved"));
        return;
    }
    const QString folder = m_folder;
    const QString staging = intoArchive() && m_staging ? m_staging->path() : QString();
    const QString name = m_items.at(item).fileName;
    const QSize known = m_items.at(item).size;
    const bool replace = m_replace;
    const qint64 limit = m_byteLimit;
    const quint64 run = m_run;
    const std::shared_ptr<std::atomic_bool> stop = m_stop;
    QPointer<MediaSaver> guard(this);
    m_pool->start(
        [guard, stop, address, local, folder, staging, name, replace, limit, known, item, run] {
            Outcome result;
            QByteArray bytes;
            QString mimeType;
            if (*stop) {
                result.kind = Outcome::Skipped;
                result.why = tr("cancelled");
            } else if (local) {
                bytes = ReadRegularFile(QUrl(address).toLocalFile(), limit, &result.why);
            } else if (PageInventory::dataBytes(address) > limit) {
                result.why = tooLarge(limit);
            } else {
                bool ok = false;
                bytes = PageInventory::dataContent(address, &ok);
                mimeType = PageInventory::mimeTypeFor(address);
                if (!ok) {
                    bytes.clear();
                    result.why = tr("the data: address cannot be decoded");
                } else if (bytes.size() > limit) {
                    bytes.clear();
                    result.why = tooLarge(limit);
                } else if (bytes.isNull()) {
                    bytes = QByteArray("", 0);
                }
            }
            if (!bytes.isNull()) {
                const Stored stored =
                    storeBytes(bytes, mimeType, folder, staging, name, replace, known);
                result.kind = Outcome::Kind(stored.kind);
                result.fileName = stored.fileName;
                result.why = stored.why;
                result.bytes = bytes.size();
                Record &record = result.record;
                record.saved = stored.kind == 0;
                record.file = stored.fileName;
                record.staged = stored.staged;
                record.finalAddress = address;
                record.type = stored.type;
                record.bytes = bytes.size();
                record.sha256 = stored.sha256;
                record.size = stored.size;
                record.obtained = local ? QStringLiteral("file") : QStringLiteral("data");
            }
            QMetaObject::invokeMethod(
                guard,
                [guard, item, result, run] {
                    if (guard && guard->m_run == run)
                        guard->outcome(item, result);
                },
                Qt::QueuedConnection);
        });
}

void MediaSaver::outcome(int item, const Outcome &outcome)
{
    if (m_total == 0 || item >= m_items.size())
        return;
    if (outcome.kind == Outcome::Saved) {
        m_records[item] = outcome.record;
        if (outcome.record.obtained == QLatin1String("page"))
            ++m_summary.fromPage;
    } else if (!outcome.record.staged.isEmpty() && m_staging) {
        QFile::remove(QDir(m_staging->path()).filePath(outcome.record.staged));
    }
    settle(item, outcome.kind, outcome.fileName, outcome.why, outcome.bytes);
    if (!m_summary.cancelled)
        pump();
    else
        itemDone();
}

void MediaSaver::settle(int item, Outcome::Kind kind, const QString &fileName, const QString &why,
                        qint64 bytes)
{
    const Item &it = m_items.at(item);
    switch (kind) {
    case Outcome::Saved:
        (it.variant ? m_summary.variantFiles : m_summary.savedFiles).append(fileName);
        m_summary.bytes += bytes;
        emit bytesSaved(m_summary.bytes);
        break;
    case Outcome::Skipped:
        (it.variant ? m_summary.variantsSkipped : m_summary.skipped).append({it.address, why});
        break;
    case Outcome::Failed:
        (it.variant ? m_summary.variantsFailed : m_summary.failed).append({it.address, why});
        break;
    }
    --m_itemsLeft;
    if (--m_left[m_pictureOf.at(item)] == 0)
        ++m_done;
}

void MediaSaver::itemDone()
{
    if (m_total == 0 || m_concluding)
        return;
    emit progress(m_done, m_total);
    if (m_itemsLeft <= 0 && !m_extracting)
        finish();
}

void MediaSaver::finish()
{
    if (m_concluding)
        return;
    m_concluding = true;
    conclude();
}

QByteArray MediaSaver::manifestJson(const QUrl &page, const QList<Item> &items,
                                    const QList<Record> &records)
{
    QJsonArray pictures;
    for (qsizetype i = 0; i < items.size() && i < records.size(); ++i) {
        const Record &r = records.at(i);
        if (!r.saved)
            continue;
        const Item &item = items.at(i);
        QJsonObject o;
        o.insert(QStringLiteral("file"), r.file);
        o.insert(QStringLiteral("page"), page.toString());
        o.insert(QStringLiteral("address"), item.address);
        o.insert(QStringLiteral("finalAddress"), r.finalAddress);
        o.insert(QStringLiteral("type"), r.type);
        o.insert(QStringLiteral("bytes"), r.bytes);
        o.insert(QStringLiteral("sha256"), QString::fromLatin1(r.sha256.toHex()));
        o.insert(QStringLiteral("width"),
                 r.size.isValid() ? QJsonValue(r.size.width()) : QJsonValue());
        o.insert(QStringLiteral("height"),
                 r.size.isValid() ? QJsonValue(r.size.height()) : QJsonValue());
        o.insert(QStringLiteral("alt"), item.alt);
        o.insert(QStringLiteral("kinds"), QJsonArray::fromStringList(item.kinds));
        o.insert(QStringLiteral("source"), item.source);
        o.insert(QStringLiteral("state"), item.state);
        o.insert(QStringLiteral("variant"), item.variant);
        o.insert(QStringLiteral("obtained"), r.obtained);
        pictures.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("page"), page.toString());
    root.insert(QStringLiteral("saved"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    root.insert(QStringLiteral("pictures"), pictures);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void MediaSaver::conclude()
{
    SaveSummary summary = m_summary;
    const bool archive = intoArchive();
    std::shared_ptr<StagingFolder> staging = std::move(m_staging);
    m_staging.reset();
    QList<ZipArchive::Entry> entries;
    QByteArray manifest;
    bool anySaved = false;
    for (const Record &record : m_records)
        anySaved = anySaved || record.saved;
    if (archive && !summary.cancelled && staging && anySaved) {
        // The entries' names once more: a picture whose bytes told another
        // type than its name may now share another's name; the manifest's is
        // kept for it.
        QStringList names = {manifestName()};
        QList<int> saved;
        for (qsizetype i = 0; i < m_records.size(); ++i) {
            if (m_records.at(i).saved) {
                names.append(m_records.at(i).file);
                saved.append(int(i));
            }
        }
        names = uniqueNames(names, QString(), true);
        summary.savedFiles.clear();
        summary.variantFiles.clear();
        for (qsizetype k = 0; k < saved.size(); ++k) {
            Record &record = m_records[saved.at(k)];
            record.file = names.at(k + 1);
            entries.append({record.staged, record.file});
            (m_items.at(saved.at(k)).variant ? summary.variantFiles : summary.savedFiles)
                .append(record.file);
        }
    }
    if (m_target.manifest && anySaved && !(archive && summary.cancelled))
        manifest = manifestJson(m_page, m_items, m_records);
    if (archive) {
        if (summary.cancelled || !staging || entries.isEmpty()) {
            // Nothing of the archive is left.
            summary.savedFiles.clear();
            summary.variantFiles.clear();
            summary.bytes = 0;
            summary.fromPage = 0;
            for (Record &record : m_records)
                record.saved = false;
            if (summary.archiveError.isEmpty() && !summary.cancelled)
                summary.archiveError = tr("no picture could be saved");
        } else {
            emit archiving();
        }
    }
    const QString folder = m_folder;
    const QString zipName = m_target.zipName;
    const bool replace = m_replace;
    const std::shared_ptr<std::atomic_bool> stop = m_stop;
    const quint64 run = m_run;
    QPointer<MediaSaver> guard(this);
    m_pool->start([guard, summary, archive, staging, entries, manifest, folder, zipName, replace,
                   stop, run]() mutable {
        if (archive && !entries.isEmpty() && !summary.cancelled && staging) {
            const QString part = NewPartFileName();
            QList<QPair<QString, QByteArray>> extras;
            if (!manifest.isEmpty())
                extras.append({manifestName(), manifest});
            QString error;
            const bool written = ZipArchive::write(
                QDir(staging->path()).filePath(part), staging->path(), entries, extras,
                [stop] { return stop->load(); }, &error);
            QString finalName;
            if (written && !*stop &&
                PlaceFileAt(staging->path(), part, folder, zipName, replace, &finalName, &error) ==
                    PlaceResult::Placed) {
                summary.archive = QDir(folder).filePath(finalName);
                summary.folder = summary.archive;
                if (!manifest.isEmpty())
                    summary.manifest = manifestName();
            } else {
                summary.cancelled = summary.cancelled || stop->load();
                summary.archiveError = stop->load() ? QString() : error;
                summary.savedFiles.clear();
                summary.variantFiles.clear();
                summary.bytes = 0;
                summary.fromPage = 0;
            }
        } else if (!archive && !manifest.isEmpty()) {
            QString finalName;
            QString error;
            if (WriteFileSafely(folder, manifestName(), manifest, replace, &finalName, &error) ==
                PlaceResult::Placed)
                summary.manifest = finalName;
            else
                summary.manifestError = error;
        }
        // The staging folder goes with everything in it, before the save ends.
        staging.reset();
        QMetaObject::invokeMethod(
            guard,
            [guard, summary, run] {
                if (guard && guard->m_run == run)
                    guard->concluded(summary);
            },
            Qt::QueuedConnection);
    });
}

void MediaSaver::concluded(const SaveSummary &summary)
{
    m_total = 0;
    m_concluding = false;
    m_summary = summary;
    if (summary.intoArchive && summary.archive.isEmpty()) {
        for (Record &record : m_records)
            record.saved = false;
    }
    emit finished(summary);
}
