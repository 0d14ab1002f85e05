#include "windows/MediaSaver.h"

#include "platform/PageInventory.h"
#include "windows/FileUtils.h"
#include "windows/PictureFetcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
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
    const QString size = QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
    const QString where = QDir::toNativeSeparators(folder);
    const QString variants = variantFiles.isEmpty() ? QString()
                             : variantFiles.size() == 1
                                 ? QObject::tr(" (and 1 variant)")
                                 : QObject::tr(" (and %1 variants)").arg(variantFiles.size());
    if (savedFiles.isEmpty() && variantFiles.isEmpty())
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
}

bool MediaSaver::ownsDownload(const QWebEngineDownloadRequest *download)
{
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
        for (int n = 2;; ++n) {
            const bool usedHere = taken.contains(candidate.toLower());
            const bool onDisk = !replace && EntryExists(dir.filePath(candidate));
            if (!usedHere && !onDisk)
                break;
            candidate = NumberedFileName(name, n);
        }
        taken.insert(candidate.toLower());
        out.append(candidate);
    }
    return out;
}

void MediaSaver::start(const QList<Item> &items, const QString &folder, const QUrl &page,
                       bool replace)
{
    if (busy())
        return;
    m_items = items;
    m_folder = folder;
    m_page = page;
    m_replace = replace;
    m_next = 0;
    m_done = 0;
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
    m_summary.folder = folder;
    m_summary.pictures = m_total;
    m_summary.byteLimit = m_byteLimit;
    *m_stop = false;
    if (m_total == 0) {
        emit finished(m_summary);
        return;
    }
    emit progress(0, m_total);
    // Start from the event loop, so that the caller has connected to finished
    // even when everything is saved at once.
    QTimer::singleShot(0, this, &MediaSaver::pump);
}

void MediaSaver::cancel()
{
    if (!busy())
        return;
    m_summary.cancelled = true;
    *m_stop = true;
    while (m_next < m_items.size()) {
        settle(m_next, Outcome::Skipped, QString(), tr("cancelled"));
        ++m_next;
    }
    for (Slot &slot : m_slots) {
        if (slot.download)
            slot.download->cancel();
        else if (slot.item >= 0) {
            // Asked of the engine, not started yet: it is dropped when it comes.
            const int item = slot.item;
            slot.item = -1;
            slot.startTimer->stop();
            settle(item, Outcome::Skipped, QString(), tr("cancelled"));
        }
    }
    itemDone();
}

void MediaSaver::pump()
{
    while (m_next < m_items.size()) {
        const int item = m_next;
        const QString &address = m_items.at(item).address;
        const QString scheme = QUrl(address).scheme().toLower();
        if (isData(address) || !PictureFetcher::mayFetch(address, m_page) ||
            scheme == QLatin1String("file")) {
            ++m_next;
            saveNow(item);
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
    const QString partPath = QDir(m_folder).filePath(partName);
    slot.download = nullptr;
    slot.item = -1;
    slot.tooLarge = false;
    download->disconnect(this);
    download->deleteLater();
    if (item < 0)
        return;
    if (download->state() == QWebEngineDownloadRequest::DownloadCompleted && !tooLargeNow) {
        // Checked, named and renamed into place off the window's thread.
        place(partName, item, download->mimeType());
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

void MediaSaver::place(const QString &partName, int item, const QString &mimeType)
{
    const QString folder = m_folder;
    const QString name = m_items.at(item).fileName;
    const bool replace = m_replace;
    const qint64 limit = m_byteLimit;
    QPointer<MediaSaver> guard(this);
    m_pool->start([guard, folder, partName, name, replace, limit, item, mimeType] {
        Outcome result;
        qint64 size = -1;
        // The first few kilobytes: an SVG may begin with a long comment.
        const QByteArray head = FileHead(folder, partName, 4096, &size, &result.why);
        if (head.isNull()) {
            QFile::remove(QDir(folder).filePath(partName));
        } else if (size > limit) {
            result.why = tooLarge(limit);
            QFile::remove(QDir(folder).filePath(partName));
        } else if (!(result.why = notAnImage(head, mimeType)).isEmpty()) {
            // A page or a script under a picture's name is not saved as one.
            QFile::remove(QDir(folder).filePath(partName));
        } else {
            const QString named = WithPictureExtension(name, SniffPictureType(head));
            const PlaceResult placed =
                PlaceFile(folder, partName, named, replace, &result.fileName, &result.why);
            result.kind = placed == PlaceResult::Placed    ? Outcome::Saved
                          : placed == PlaceResult::Refused ? Outcome::Skipped
                                                           : Outcome::Failed;
            result.bytes = size;
        }
        QMetaObject::invokeMethod(
            guard, [guard, item, result] { guard->outcome(item, result); }, Qt::QueuedConnection);
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
    const QString name = m_items.at(item).fileName;
    const bool replace = m_replace;
    const qint64 limit = m_byteLimit;
    const std::shared_ptr<std::atomic_bool> stop = m_stop;
    QPointer<MediaSaver> guard(this);
    m_pool->start([guard, stop, address, local, folder, name, replace, limit, item] {
        Outcome result;
        QByteArray bytes;
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
            if (!ok) {
                bytes.clear();
                result.why = tr("the data: address cannot be decoded");
            } else if (bytes.size() > limit) {
                bytes.clear();
                result.why = tooLarge(limit);
            } else if (bytes.isNull()) {
                bytes = QByteArray("", 0);
            }
            if (!bytes.isNull()) {
                result.why = notAnImage(bytes.left(4096), PageInventory::mimeTypeFor(address));
                if (!result.why.isEmpty())
                    bytes = QByteArray();
            }
        }
        if (!bytes.isNull()) {
            const QString named = WithPictureExtension(name, SniffPictureType(bytes.left(4096)));
            const PlaceResult placed =
                WriteFileSafely(folder, named, bytes, replace, &result.fileName, &result.why);
            result.kind = placed == PlaceResult::Placed    ? Outcome::Saved
                          : placed == PlaceResult::Refused ? Outcome::Skipped
                                                           : Outcome::Failed;
            result.bytes = bytes.size();
        }
        QMetaObject::invokeMethod(
            guard, [guard, item, result] { guard->outcome(item, result); }, Qt::QueuedConnection);
    });
}

void MediaSaver::outcome(int item, const Outcome &outcome)
{
    if (m_total == 0 || item >= m_items.size())
        return;
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
    if (m_total == 0)
        return;
    emit progress(m_done, m_total);
    if (m_itemsLeft <= 0)
        finish();
}

void MediaSaver::finish()
{
    m_total = 0;
    const SaveSummary summary = m_summary;
    emit finished(summary);
}
