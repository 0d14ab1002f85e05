#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

// A page of the history, or one visit of it.
struct HistoryEntry {
    QUrl url;
    // The page's title as text (empty when it had none).
    QString title;
    // How often the page was visited, of the visits still kept.
    int visits = 0;
    // When the page was last visited, or when this visit was.
    QDateTime visited;
};

// The pages the user visited, kept in an SQLite file of the user's data folder
// (or only in memory, for a window that keeps nothing on disk). Each visit is
// written in a transaction of its own into a write-ahead log, so a program
// that dies at any moment leaves the file whole, with every visit before the
// last one. At most visitLimit() visits are kept; the oldest go first, and a
// page goes with its last visit. The pages are also held in memory in the
// order suggestions come in, so that a search reads no file.
//
// Addresses and titles come from web pages and are kept as data only. Only
// http, https and file addresses are kept, without their user name and
// password; an address longer than maxAddressLength is not kept at all, a
// title is cut to maxTitleLength.
class History : public QObject {
    Q_OBJECT
public:
    static constexpr int maxVisits = 10000;
    static constexpr int maxTitleLength = 512;
    static constexpr int maxAddressLength = 8192;

    // Opens (or creates) the store in `file`; an empty name keeps it in
    // memory. A file that is not a whole store is set aside (its name and
    // ".broken") and a new one begins.
    explicit History(const QString &file, QObject *parent = nullptr);
    ~History() override;

    // history.sqlite in the user's data folder.
    static QString defaultFile();
    QString file() const { return m_file; }
    // False when the store could not be opened: nothing is kept then.
    bool isOpen() const { return m_open; }

    // Whether a visit of this address would be kept.
    static bool isKept(const QUrl &url);
    // A page's title as the history keeps it: one line, without control and
    // direction-changing characters, cut to maxTitleLength.
    static QString cleanTitle(const QString &title);

    // Records a visit of `url` with its title (an empty title keeps the one
    // known). False when the address is not kept or the store failed.
    bool addVisit(const QUrl &url, const QString &title,
                  const QDateTime &when = QDateTime::currentDateTimeUtc());
    // The title of a page that is kept arrived or changed.
    void setTitle(const QUrl &url, const QString &title);

    // Pages whose address or title holds every word of `text` (in any letter
    // case), the most visited first, then the most recently visited; at most
    // `limit`. Nothing for empty text.
    QList<HistoryEntry> suggestions(const QString &text, int limit) const;
    // The newest visits first, of the pages that match every word of
    // `filter` (all when it is empty); at most `limit`.
    QList<HistoryEntry> recentVisits(const QString &filter, int limit) const;

    int visitCount() const;
    int pageCount() const;
    // Forgets every visit; the file keeps none of their text.
    bool clear();

    int visitLimit() const { return m_limit; }
    void setVisitLimit(int limit);

signals:
    // A visit was added, a title changed, or the history was cleared.
    void changed();
    // Every visit was forgotten (changed follows).
    void cleared();

private:
    // A page as the searches read it.
    struct Page {
        qint64 id = 0;
        // The address, fully encoded.
        QString address;
        QString title;
        // Title and address in one letter case.
        QString words;
        int visits = 0;
        qint64 last = 0;
    };
    static bool ranksBefore(const Page &a, const Page &b);

    bool openStore();
    bool prepareSchema();
    // Reads the pages into memory.
    bool loadPages();
    // Drops the oldest visits over the limit; the pages they touched are
    // added to `touched`.
    bool trim(QList<qint64> &touched);
    // Takes these pages again from the file, after a change was committed.
    void reloadPages(const QList<qint64> &ids);

    // Every page, the most visited first, then the most recent.
    QList<Page> m_pages;
    // The visits and last visit of each page by its id: where it stands.
    QHash<qint64, std::pair<int, qint64>> m_ranks;

    QString m_connection;
    QString m_file;
    int m_limit = maxVisits;
    bool m_open = false;
};
