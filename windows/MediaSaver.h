#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <memory>

class QThreadPool;
class QTimer;
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

    // "Saved 3 pictures (and 2 variants) to /x (12 KB). Skipped 1. 2 failed.
    // 1 variant could not be saved. A picture may have at most 256 MB." for
    // the message box.
    QString text() const;
    // One line for each picture or variant skipped or failed, with its reason.
    QString details() const;
};

// Saves pictures into a folder. Web addresses are downloaded by the engine
// through the given profile (its cookies and cache apply), a few at once, each
// into a hidden part file of a name hard to guess that is renamed into place
// when it is complete, so that a failure or Cancel leaves no half picture
// behind. data: pictures are decoded to files. Local files are copied, but
// only for a page that is itself a local file, and only regular files.
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
    };

    MediaSaver(QWebEngineProfile *profile, QObject *parent = nullptr);
    ~MediaSaver() override;

    // Starts saving; progress and finished follow. Existing files of the same
    // names are replaced only when `replace` (after the user agreed).
    void start(const QList<Item> &items, const QString &folder, const QUrl &page, bool replace);
    void cancel();
    bool busy() const { return m_total > 0; }

    // A file name for a picture: the last part of its address, made safe for
    // any file system, with an extension from its type when it has none.
    static QString fileNameFor(const QString &address, const QString &mimeType);
    // The names that `names` get in `folder`: repeats within the list become
    // "name (2).jpg", "name (3).jpg"; so do names of existing files unless
    // they are to be replaced.
    static QStringList uniqueNames(const QStringList &names, const QString &folder, bool replace);
    // The names of `names` that already exist in `folder`.
    static QStringList existing(const QStringList &names, const QString &folder);
    // True for a download that a saver started: the program's other download
    // handling leaves it alone.
    static bool ownsDownload(const QWebEngineDownloadRequest *download);

    // The most a picture may have; a larger one fails and leaves nothing.
    qint64 byteLimit() const { return m_byteLimit; }
    void setByteLimit(qint64 bytes) { m_byteLimit = bytes; }

    static constexpr qint64 defaultByteLimit = qint64(256) * 1024 * 1024;
    static constexpr int parallel = 4;
    // How long a download may take to start before it counts as failed.
    static constexpr int startTimeoutMs = 30000;

signals:
    void progress(int done, int total);
    // The bytes of the pictures saved so far, in all.
    void bytesSaved(qint64 bytes);
    void finished(const SaveSummary &summary);

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
    };
    void pump();
    void offered(QWebEngineDownloadRequest *download);
    void downloadEnded(Slot &slot);
    void startWebItem(Slot &slot, int item);
    void saveNow(int item);
    void place(const QString &partName, int item, const QString &mimeType);
    void outcome(int item, const Outcome &outcome);
    // Counts an item's end into the summary and its picture's progress.
    void settle(int item, Outcome::Kind kind, const QString &fileName, const QString &why,
                qint64 bytes = 0);
    void itemDone();
    void finish();

    QPointer<QWebEngineProfile> m_profile;
    QList<Item> m_items;
    QString m_folder;
    QUrl m_page;
    bool m_replace = false;
    int m_next = 0;
    int m_done = 0;  // pictures done
    int m_total = 0; // pictures in the save
    int m_itemsLeft = 0;
    QList<int> m_pictureOf; // item -> its picture, 0 to m_total - 1
    QList<int> m_left;      // picture -> its items not done yet
    SaveSummary m_summary;
    QList<Slot> m_slots;
    qint64 m_byteLimit = defaultByteLimit;
    QThreadPool *m_pool = nullptr;
    // Set on Cancel: the pool's work not begun yet is skipped.
    std::shared_ptr<std::atomic_bool> m_stop;
};
