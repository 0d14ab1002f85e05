#include "windows/MediaSaver.h"

#include "platform/PageInventory.h"
#include "windows/FileUtils.h"
#include "windows/PictureFetcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

} // namespace

QString SaveSummary::text() const
{
    QString out;
    const QString size = QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
    if (savedFiles.isEmpty())
        out = QObject::tr("No pictures were saved.");
    else
        out = savedFiles.size() == 1 ? QObject::tr("Saved 1 picture to %1 (%2).")
                                           .arg(QDir::toNativeSeparators(folder), size)
                                     : QObject::tr("Saved %1 pictures to %2 (%3).")
                                           .arg(savedFiles.size())
                                           .arg(QDir::toNativeSeparators(folder), size);
    if (cancelled)
        out += QLatin1Char(' ') + QObject::tr("Cancelled.");
    if (!skipped.isEmpty())
        out += QLatin1Char(' ') + QObject::tr("Skipped %1.").arg(skipped.size());
    if (!failed.isEmpty())
        out += QLatin1Char(' ') + QObject::tr("%1 failed.").arg(failed.size());
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
    m_total = int(items.size());
    m_summary = SaveSummary();
    m_summary.folder = folder;
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
        m_summary.skipped.append({m_items.at(m_next).address, tr("cancelled")});
        ++m_next;
        ++m_done;
    }
    for (Slot &slot : m_slots) {
        if (slot.download)
            slot.download->cancel();
        else if (slot.item >= 0) {
            // Asked of the engine, not started yet: it is dropped when it comes.
            m_summary.skipped.append({m_items.at(slot.item).address, tr("cancelled")});
            slot.item = -1;
            slot.startTimer->stop();
            ++m_done;
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
                m_summary.failed.append(
                    {m_items.at(s.item).address, tr("the download did not start")});
                s.item = -1;
                ++m_done;
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
        place(partName, item);
        return;
    }
    QFile::remove(partPath);
    if (tooLargeNow)
        m_summary.failed.append({m_items.at(item).address, tooLarge(m_byteLimit)});
    else if (download->state() == QWebEngineDownloadRequest::DownloadCancelled)
        m_summary.skipped.append({m_items.at(item).address, tr("cancelled")});
    else
        m_summary.failed.append({m_items.at(item).address, download->interruptReasonString()});
    ++m_done;
    if (!m_summary.cancelled)
        pump();
    else
        itemDone();
}

void MediaSaver::place(const QString &partName, int item)
{
    const QString folder = m_folder;
    const QString name = m_items.at(item).fileName;
    const bool replace = m_replace;
    const qint64 limit = m_byteLimit;
    QPointer<MediaSaver> guard(this);
    m_pool->start([guard, folder, partName, name, replace, limit, item] {
        Outcome result;
        qint64 size = -1;
        const QByteArray head = FileHead(folder, partName, 64, &size, &result.why);
        if (head.isNull()) {
            QFile::remove(QDir(folder).filePath(partName));
        } else if (size > limit) {
            result.why = tooLarge(limit);
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
        m_summary.skipped.append({address, tr("an address of this kind cannot be saved")});
        ++m_done;
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
        }
        if (!bytes.isNull()) {
            const QString named = WithPictureExtension(name, SniffPictureType(bytes.left(64)));
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
    const QString &address = m_items.at(item).address;
    switch (outcome.kind) {
    case Outcome::Saved:
        m_summary.savedFiles.append(outcome.fileName);
        m_summary.bytes += outcome.bytes;
        emit bytesSaved(m_summary.bytes);
        break;
    case Outcome::Skipped:
        m_summary.skipped.append({address, outcome.why});
        break;
    case Outcome::Failed:
        m_summary.failed.append({address, outcome.why});
        break;
    }
    ++m_done;
    if (!m_summary.cancelled)
        pump();
    else
        itemDone();
}

void MediaSaver::itemDone()
{
    if (m_total == 0)
        return;
    emit progress(m_done, m_total);
    if (m_done >= m_total)
        finish();
}

void MediaSaver::finish()
{
    m_total = 0;
    const SaveSummary summary = m_summary;
    emit finished(summary);
}
