#include "windows/MediaSaver.h"

#include "platform/PageInventory.h"
#include "windows/PictureFetcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>

namespace {

// Marks the engine pages a saver downloads through.
const char kSaverPage[] = "quarrowMediaSaverPage";

QString extensionFor(const QString &mimeType)
{
    static const QHash<QString, QString> extensions = {
        {QStringLiteral("image/jpeg"), QStringLiteral("jpg")},
        {QStringLiteral("image/png"), QStringLiteral("png")},
        {QStringLiteral("image/apng"), QStringLiteral("png")},
        {QStringLiteral("image/gif"), QStringLiteral("gif")},
        {QStringLiteral("image/webp"), QStringLiteral("webp")},
        {QStringLiteral("image/svg+xml"), QStringLiteral("svg")},
        {QStringLiteral("image/avif"), QStringLiteral("avif")},
        {QStringLiteral("image/bmp"), QStringLiteral("bmp")},
        {QStringLiteral("image/vnd.microsoft.icon"), QStringLiteral("ico")},
        {QStringLiteral("image/x-icon"), QStringLiteral("ico")},
        {QStringLiteral("image/tiff"), QStringLiteral("tif")},
        {QStringLiteral("image/jxl"), QStringLiteral("jxl")},
    };
    return extensions.value(mimeType.toLower());
}

bool isData(const QString &address)
{
    return address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
}

// "name (2).jpg" for "name.jpg" and 2.
QString numbered(const QString &name, int n)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return QStringLiteral("%1 (%2)").arg(name).arg(n);
    return QStringLiteral("%1 (%2)%3").arg(name.left(dot)).arg(n).arg(name.mid(dot));
}

} // namespace

QString SaveSummary::text() const
{
    QString out;
    if (savedFiles.isEmpty())
        out = QObject::tr("No pictures were saved.");
    else
        out = savedFiles.size() == 1
                  ? QObject::tr("Saved 1 picture to %1.").arg(QDir::toNativeSeparators(folder))
                  : QObject::tr("Saved %1 pictures to %2.")
                        .arg(savedFiles.size())
                        .arg(QDir::toNativeSeparators(folder));
    if (cancelled)
        out += QLatin1Char(' ') + QObject::tr("Cancelled.");
    if (!skipped.isEmpty())
        out += QLatin1Char(' ') + QObject::tr("Skipped %1.").arg(skipped.size());
    if (!failed.isEmpty())
        out += QLatin1Char(' ') + QObject::tr("%1 failed.").arg(failed.size());
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
    : QObject(parent), m_profile(profile)
{
    if (profile)
        connect(profile, &QWebEngineProfile::downloadRequested, this, &MediaSaver::offered);
}

MediaSaver::~MediaSaver()
{
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
    // Nothing that a file system or a shell could read as more than a name.
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : std::as_const(name)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("/\\:*?\"<>|").contains(c))
            safe += QLatin1Char('_');
        else
            safe += c;
    }
    safe = safe.trimmed();
    while (safe.endsWith(QLatin1Char('.')))
        safe.chop(1);
    while (safe.startsWith(QLatin1Char('.')))
        safe.remove(0, 1);
    QString extension;
    const qsizetype dot = safe.lastIndexOf(QLatin1Char('.'));
    if (dot > 0) {
        extension = safe.mid(dot + 1).toLower();
        if (extension.size() > 5 || extension.isEmpty())
            extension.clear();
    }
    const QString typed = extensionFor(mimeType);
    if (safe.isEmpty())
        safe = QStringLiteral("picture");
    if (extension.isEmpty() && !typed.isEmpty())
        safe += QLatin1Char('.') + typed;
    // Long enough to tell pictures apart, short enough for every file system.
    if (safe.size() > 120) {
        const qsizetype keep = safe.lastIndexOf(QLatin1Char('.'));
        const QString tail = keep > 0 && safe.size() - keep <= 6 ? safe.mid(keep) : QString();
        safe = safe.left(120 - tail.size()) + tail;
    }
    return safe;
}

QStringList MediaSaver::existing(const QStringList &names, const QString &folder)
{
    QStringList out;
    const QDir dir(folder);
    for (const QString &name : names) {
        if (QFileInfo::exists(dir.filePath(name)) && !out.contains(name))
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
            const bool onDisk = !replace && QFileInfo::exists(dir.filePath(candidate));
            if (!usedHere && !onDisk)
                break;
            candidate = numbered(name, n);
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
    slot.partName = QStringLiteral(".quarrow-%1-%2.part")
                        .arg(QCoreApplication::applicationPid())
                        .arg(++m_partCounter);
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
        download->accept();
        return;
    }
    download->cancel();
}

void MediaSaver::downloadEnded(Slot &slot)
{
    QWebEngineDownloadRequest *download = slot.download;
    const int item = slot.item;
    const QString partPath =
        QDir(download->downloadDirectory()).filePath(download->downloadFileName());
    slot.download = nullptr;
    slot.item = -1;
    download->disconnect(this);
    download->deleteLater();
    if (item < 0)
        return;
    switch (download->state()) {
    case QWebEngineDownloadRequest::DownloadCompleted:
        place(partPath, item);
        break;
    case QWebEngineDownloadRequest::DownloadCancelled:
        QFile::remove(partPath);
        m_summary.skipped.append({m_items.at(item).address, tr("cancelled")});
        break;
    default:
        QFile::remove(partPath);
        m_summary.failed.append({m_items.at(item).address, download->interruptReasonString()});
        break;
    }
    ++m_done;
    if (!m_summary.cancelled)
        pump();
    else
        itemDone();
}

void MediaSaver::place(const QString &partPath, int item)
{
    const QDir dir(m_folder);
    QString name = m_items.at(item).fileName;
    if (QFileInfo::exists(dir.filePath(name))) {
        if (m_replace) {
            QFile::remove(dir.filePath(name));
        } else {
            // Made since the names were planned: keep both.
            name = uniqueNames({name}, m_folder, false).constFirst();
        }
    }
    if (QFile::rename(partPath, dir.filePath(name))) {
        m_summary.savedFiles.append(name);
    } else {
        QFile::remove(partPath);
        m_summary.failed.append({m_items.at(item).address, tr("cannot write %1").arg(name)});
    }
}

void MediaSaver::saveNow(int item)
{
    const QString &address = m_items.at(item).address;
    QByteArray bytes;
    QString problem;
    if (isData(address)) {
        bool ok = false;
        bytes = PageInventory::dataContent(address, &ok);
        if (!ok)
            problem = tr("the data: address cannot be decoded");
    } else if (QUrl(address).isLocalFile() && PictureFetcher::mayFetch(address, m_page)) {
        QFile file(QUrl(address).toLocalFile());
        if (file.size() > PictureFetcher::maxBytes * 8)
            problem = tr("the file is too large");
        else if (!file.open(QIODevice::ReadOnly))
            problem = file.errorString();
        else
            bytes = file.readAll();
    } else {
        m_summary.skipped.append({address, tr("an address of this kind cannot be saved")});
        ++m_done;
        return;
    }
    if (problem.isEmpty()) {
        const QDir dir(m_folder);
        QString name = m_items.at(item).fileName;
        if (!m_replace && QFileInfo::exists(dir.filePath(name)))
            name = uniqueNames({name}, m_folder, false).constFirst();
        QSaveFile file(dir.filePath(name));
        file.setDirectWriteFallback(false);
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
            m_summary.savedFiles.append(name);
        else
            problem = file.errorString();
    }
    if (!problem.isEmpty())
        m_summary.failed.append({address, problem});
    ++m_done;
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
