#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <memory>

class QThreadPool;
class QTimer;
class StagingFolder;
class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineProfile;

// What one Save Selected / Save All came to. Pictures are counted as the list
// counts them: a picture's variants are saved with it and counted apart, so
// that savedFiles, skipped and failed together hold each picture once.
struct SaveSummary {
    QString folder;
    int pictures = 0;                       // in the save
    QStringList savedFiles;                 // the pictures' file names, in the order saved
    QList<QPair<QString, QString>> skipped; // address, why
    QList<QPair<QString, QString>> failed;  // address, why
    QStringList variantFiles;               // the variants' file names
    QList<QPair<QString, QString>> variantsSkipped;
    QList<QPair<QString, QString>> variantsFailed;
    bool cancelled = false;
    qint64 bytes = 0;     // of the files saved, in all
    qint64 byteLimit = 0; // the most a picture may have
    // Into one ZIP file: its path once written (then `folder` is that path too),
    // or why none was written. The pictures' names are then its entries'.
    bool intoArchive = false;
    QString archive;
    QString archiveError;
    // The manifest's file name (in the folder or the ZIP file), or why none was written.
    QString manifest;
    QString manifestError;
    // Pictures and variants taken from what the page had, without a new download.
    int fromPage = 0;

    // "Saved 3 pictures (and 2 variants) to /x (12 KB). Skipped 1. 2 failed.
    // 1 variant could not be saved. A picture may have at most 256 MB." for
    // the message box.
    QString text() const;
    // One line for each picture or variant skipped or failed, with its reason.
    QString details() const;
};

// Saves pictures into a folder, or into one ZIP file there. Web addresses are
// downloaded by the engine through the given profile (its cookies apply), a
// few at once, each into a hidden part file of a name hard to guess that is
// renamed into place when it is complete, so that a failure or Cancel leaves
// no half picture behind. data: pictures are decoded to files. Local files are
// copied, but only for a page that is itself a local file, and only regular
// files.
//
// What the page has is taken from the page: blob: pictures are read in the
// live page by a script of a world of our own (at most blobByteLimit), and,
// when asked (fromPage), the pictures the page has shown come out of its MHTML
// snapshot (PageSnapshot) without a new request; the rest is downloaded.
//
// Names are relative paths ("host/a/name.jpg"): the folders on the way are
// made as the pictures come, never through a link. Into a ZIP file, every
// picture, once whole, waits in a private StagingFolder of the chosen folder
// (the engine writes its downloads and the snapshot into hidden part files of
// the folder itself, as it makes the folders of the paths it writes); the archive is
// written there (libzip, on a thread of the saver's) and renamed into the
// folder only when it is whole: a save cancelled or failed leaves no ZIP file.
// The manifest (manifest.json: per file, the page, the picture's address and
// where it ended after redirects, type, bytes, SHA-256, dimensions, alt
// text, kinds, source and state) is written in one piece at the end, beside
// the pictures or into the archive.
//
// Every picture has at most byteLimit() bytes. Reading, writing and renaming
// run on threads of the saver's own, never on the window's: a file is written
// into a fresh temporary file of the folder and renamed into place, and a
// name that a link, a folder or anything but a regular file holds is skipped
// and reported, never followed nor replaced. A picture whose bytes say it is
// a picture of a type gets that type's extension; bytes that are no picture
// and come as another type than an image (a page, a script) are not saved.
//
// Progress counts pictures: a picture is done when its own file and its
// variants' files are.
class MediaSaver : public QObject {
    Q_OBJECT
public:
    struct Item {
        QString address;
        QString fileName; // in the folder, as planned by uniqueNames
        // The picture it belongs to (items of one number are one picture and
        // its variants); -1: a picture of its own.
        int picture = -1;
        bool variant = false;
        // What the manifest says of it beyond what saving learns.
        QString alt = {};
        QStringList kinds = {};
        QString source = {}; // where the picture came from on the page; empty when not known
        QString state = {};  // whether it loaded; empty when not known
        QSize size = {};     // its dimensions as known, for bytes that do not say
    };
    // Where and how a save goes.
    struct Target {
        QString folder;
        QString zipName; // empty: the files go into the folder
        bool manifest = false;
        bool fromPage = false;
        // The live page that shows the pictures' page: blob: pictures are
        // read from it, and so are the others with fromPage.
        QPointer<QWebEnginePage> page;
    };
    // What the manifest holds of a file saved.
    struct Record {
        bool saved = false;
        QString file; // in the folder or the archive
        QString finalAddress;
        QString type;
        qint64 bytes = 0;
        QByteArray sha256;
        QSize size;
        QString obtained; // "download", "page", "data", "file"
        QString staged;   // into a ZIP file: its part in the staging folder
    };

    MediaSaver(QWebEngineProfile *profile, QObject *parent = nullptr);
    ~MediaSaver() override;

    // Starts saving; progress and finished follow. Existing files of the same
    // names are replaced only when `replace` (after the user agreed).
    void start(const QList<Item> &items, const QString &folder, const QUrl &page, bool replace);
    void start(const QList<Item> &items, const Target &target, const QUrl &page, bool replace);
    void cancel();
    bool busy() const { return m_total > 0; }

    // A file name for a picture: the last part of its address, made safe for
    // any file system, with an extension from its type when it has none.
    static QString fileNameFor(const QString &address, const QString &mimeType);
    // The names that `names` get in `folder`: repeats within the list become
    // "name (2).jpg", "name (3).jpg"; so do names of existing files unless
    // they are to be replaced.
    // A name may be a relative path: only its last part is numbered. Without a
    // folder, only repeats count.
    static QStringList uniqueNames(const QStringList &names, const QString &folder, bool replace);
    // The names of `names` that already exist in `folder`.
    static QStringList existing(const QStringList &names, const QString &folder);
    // True for a download that a saver started: the program's other download
    // handling leaves it alone.
    static bool ownsDownload(const QWebEngineDownloadRequest *download);
    // The manifest's JSON.
    static QByteArray manifestJson(const QUrl &page, const QList<Item> &items,
                                   const QList<Record> &records);
    static QString manifestName() { return QStringLiteral("manifest.json"); }
    // The world the script that reads blob: pictures runs in, used by nothing else.
    static constexpr quint32 blobWorldId = 212;
    // The records of the last save, one an item.
    const QList<Record> &records() const { return m_records; }

    // The most a picture may have; a larger one fails and leaves nothing.
    qint64 byteLimit() const { return m_byteLimit; }
    void setByteLimit(qint64 bytes) { m_byteLimit = bytes; }

    static constexpr qint64 defaultByteLimit = qint64(256) * 1024 * 1024;
    static constexpr int parallel = 4;
    // How long a download may take to start before it counts as failed.
    static constexpr int startTimeoutMs = 30000;
    // The most a blob: picture read from the page may have.
    static constexpr qint64 blobByteLimit = qint64(64) * 1024 * 1024;
    // How long the page may take to give its snapshot, or a blob: picture.
    int pageTimeout() const { return m_pageTimeoutMs; }
    void setPageTimeout(int ms) { m_pageTimeoutMs = ms; }
    static constexpr int defaultPageTimeoutMs = 30000;

signals:
    void progress(int done, int total);
    // The bytes of the pictures saved so far, in all.
    void bytesSaved(qint64 bytes);
    void finished(const SaveSummary &summary);
    // Every picture is in; the ZIP file is being written.
    void archiving();

private:
    struct Slot {
        QWebEnginePage *page = nullptr;
        QPointer<QWebEngineDownloadRequest> download;
        QTimer *startTimer = nullptr;
        int item = -1;
        QString partName;
        bool tooLarge = false;
    };
    // What a thread of the pool did with a picture.
    struct Outcome {
        enum Kind { Saved, Skipped, Failed } kind = Failed;
        QString fileName;
        QString why;
        qint64 bytes = 0;
        Record record;
    };
    // Where a part's bytes came from, for the manifest.
    struct Origin {
        QString finalAddress;
        QString mimeType;
        QString obtained;
    };
    void prepared(const std::shared_ptr<StagingFolder> &staging, const QString &error);
    void takeSnapshot();
    void snapshotEnded(bool completed);
    void readBlob(int item);
    void pump();
    void offered(QWebEngineDownloadRequest *download);
    void downloadEnded(Slot &slot);
    void startWebItem(Slot &slot, int item);
    // Gives the slot a new page, keeping the old one for what it still offers.
    void retire(Slot &slot);
    void saveNow(int item);
    void place(const QString &fromFolder, const QString &partName, int item, const Origin &origin);
    // Writes bytes the saver has (a data: picture, a blob: one) as the item.
    void saveBytes(int item, const QByteArray &bytes, const Origin &origin);
    void outcome(int item, const Outcome &outcome);
    bool pageShowsTheSave() const;
    // Counts an item's end into the summary and its picture's progress.
    void settle(int item, Outcome::Kind kind, const QString &fileName, const QString &why,
                qint64 bytes = 0);
    void itemDone();
    void finish();
    // The manifest and the ZIP file, once every item is done.
    void conclude();
    void concluded(const SaveSummary &summary);
    bool intoArchive() const { return !m_target.zipName.isEmpty(); }

    QPointer<QWebEngineProfile> m_profile;
    QList<Item> m_items;
    QString m_folder;
    Target m_target;
    QUrl m_page;
    std::shared_ptr<StagingFolder> m_staging;
    QList<Record> m_records;
    // The pictures the page's snapshot held: address -> part in the staging folder.
    QHash<QString, QPair<QString, QString>> m_fromSnapshot;
    QPointer<QWebEngineDownloadRequest> m_snapshot;
    QString m_snapshotPath;
    QTimer *m_snapshotTimer = nullptr;
    int m_blobsPending = 0;
    bool m_concluding = false;
    bool m_extracting = false;
    QSet<int> m_blobItems; // blob: items the page is asked for
    quint64 m_run = 0;     // the save under way; what comes for an older one is dropped
    int m_pageTimeoutMs = defaultPageTimeoutMs;
    bool m_replace = false;
    int m_next = 0;
    int m_done = 0;  // pictures done
    int m_total = 0; // pictures in the save
    int m_itemsLeft = 0;
    QList<int> m_pictureOf; // item -> its picture, 0 to m_total - 1
    QList<int> m_left;      // picture -> its items not done yet
    SaveSummary m_summary;
    QList<Slot> m_slots;
    QList<QWebEnginePage *> m_retired; // pages whose download was given up before it came
    qint64 m_byteLimit = defaultByteLimit;
    QThreadPool *m_pool = nullptr;
    // Set on Cancel: the pool's work not begun yet is skipped.
    std::shared_ptr<std::atomic_bool> m_stop;
};
