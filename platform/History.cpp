#include "platform/History.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStringMatcher>
#include <QVariant>

#include <vector>

namespace {

// At most this many words of what is typed are looked for.
constexpr int maxWords = 8;

QAtomicInt connections;

// The address as the history keeps it: without a user name or password.
QUrl keptAddress(const QUrl &url)
{
    return url.adjusted(QUrl::RemoveUserInfo);
}

// The text a page is found by: its title and address, in one letter case.
QString wordsOf(const QString &title, const QUrl &url)
{
    return (title + QLatin1Char('\n') + url.toString()).toCaseFolded();
}

// The words of a search, in the letter case of wordsOf.
QStringList searchWords(const QString &text)
{
    QStringList words = text.left(History::maxAddressLength)
                            .toCaseFolded()
                            .simplified()
                            .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() > maxWords)
        words.resize(maxWords);
    return words;
}

// A word of a search, ready to be looked for in many texts: a long word by
// its skip table, which passes over most of a text; a short one by the places
// of its first letter, which the vector search of one character finds.
class WordFinder {
public:
    explicit WordFinder(const QString &word) : m_word(word)
    {
        if (word.size() >= longWord)
            m_matcher.setPattern(word);
    }
    bool in(QStringView text) const
    {
        if (m_word.size() >= longWord)
            return m_matcher.indexIn(text) >= 0;
        const QChar first = m_word.front();
        const qsizetype lastStart = text.size() - m_word.size();
        for (qsizetype at = text.indexOf(first); at >= 0 && at <= lastStart;
             at = text.indexOf(first, at + 1)) {
            if (text.sliced(at, m_word.size()) == m_word)
                return true;
        }
        return false;
    }

private:
    static constexpr qsizetype longWord = 5;
    QString m_word;
    QStringMatcher m_matcher;
};

bool holdsAll(QStringView text, const std::vector<WordFinder> &words)
{
    for (const WordFinder &word : words) {
        if (!word.in(text))
            return false;
    }
    return true;
}

// Whether an address as the file holds it is of a kind the history keeps.
bool hasKeptScheme(const QString &address)
{
    return address.size() <= History::maxAddressLength &&
           (address.startsWith(QLatin1String("http://")) ||
            address.startsWith(QLatin1String("https://")) ||
            address.startsWith(QLatin1String("file:")));
}

// "instr(column, ?) > 0 AND ..." for each word.
QString matchClause(const QStringList &words, const QString &column)
{
    QStringList terms;
    for (qsizetype i = 0; i < words.size(); ++i)
        terms << QStringLiteral("instr(%1, ?) > 0").arg(column);
    return terms.join(QStringLiteral(" AND "));
}

QDateTime fromMs(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

} // namespace

History::History(const QString &file, QObject *parent)
    : QObject(parent),
      m_connection(QStringLiteral("quarrow-history-%1").arg(connections.fetchAndAddRelaxed(1))),
      m_file(file)
{
    m_open = openStore();
}

History::~History()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

QString History::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/history.sqlite");
}

namespace {
// The pages the user visits are nobody else's business: the file is the
// owner's alone from its first byte, and the store's log files take its
// permissions.
void createOwnerOnly(const QString &file)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (QFileInfo::exists(file))
        return;
    QFile create(file);
    if (create.open(QIODevice::WriteOnly)) {
        create.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        create.close();
    }
}
} // namespace

bool History::openStore()
{
    if (!m_file.isEmpty())
        createOwnerOnly(m_file);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(m_file.isEmpty() ? QStringLiteral(":memory:") : m_file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (db.open() && prepareSchema())
            return true;
        db.close();
    }
    if (m_file.isEmpty())
        return false;
    // Not a store we can read: kept aside for whoever wants to look, and the
    // history begins again.
    const QString aside = m_file + QStringLiteral(".broken");
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        QFile::remove(aside + suffix);
        QFile::rename(m_file + suffix, aside + suffix);
    }
    createOwnerOnly(m_file);
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    return db.open() && prepareSchema();
}

bool History::prepareSchema()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    // A torn or foreign file fails here.
    if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next() ||
        query.value(0).toString() != QLatin1String("ok"))
        return false;
    const QStringList statements = {
        // Each transaction is whole in the file or not there at all, also
        // when the program dies while writing.
        QStringLiteral("PRAGMA journal_mode=WAL"),
        QStringLiteral("PRAGMA synchronous=NORMAL"),
        // What is deleted is overwritten, not left in free pages.
        QStringLiteral("PRAGMA secure_delete=ON"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS pages("
                       "id INTEGER PRIMARY KEY, address TEXT NOT NULL UNIQUE, "
                       "title TEXT NOT NULL DEFAULT '', words TEXT NOT NULL, "
                       "visits INTEGER NOT NULL DEFAULT 0, last INTEGER NOT NULL DEFAULT 0)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS visits("
                       "id INTEGER PRIMARY KEY AUTOINCREMENT, page INTEGER NOT NULL, "
                       "time INTEGER NOT NULL)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS visits_page ON visits(page)"),
    };
    for (const QString &statement : statements) {
        if (!query.exec(statement))
            return false;
    }
    return loadPages();
}

bool History::ranksBefore(const Page &a, const Page &b)
{
    if (a.visits != b.visits)
        return a.visits > b.visits;
    if (a.last != b.last)
        return a.last > b.last;
    return a.id > b.id;
}

bool History::loadPages()
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id, address, title, words, visits, last FROM pages")))
        return false;
    m_pages.clear();
    m_ranks.clear();
    while (query.next()) {
        Page page;
        page.id = query.value(0).toLongLong();
        page.address = query.value(1).toString();
        // Whatever the file holds, nothing but a kept kind of address is
        // offered (each suggestion is checked again as it goes out).
        if (!hasKeptScheme(page.address))
            continue;
        page.title = query.value(2).toString();
        page.words = query.value(3).toString();
        page.visits = query.value(4).toInt();
        page.last = query.value(5).toLongLong();
        m_ranks.insert(page.id, {page.visits, page.last});
        m_pages.append(std::move(page));
    }
    std::sort(m_pages.begin(), m_pages.end(), ranksBefore);
    return true;
}

void History::reloadPages(const QList<qint64> &ids)
{
    for (const qint64 id : ids) {
        // The page's place, found by the rank it had.
        if (const auto known = m_ranks.constFind(id); known != m_ranks.cend()) {
            Page old;
            old.id = id;
            old.visits = known->first;
            old.last = known->second;
            const auto at = std::lower_bound(m_pages.begin(), m_pages.end(), old, ranksBefore);
            if (at != m_pages.end() && at->id == id)
                m_pages.erase(at);
            m_ranks.erase(known);
        }
        QSqlQuery query(QSqlDatabase::database(m_connection, false));
        query.prepare(
            QStringLiteral("SELECT address, title, visits, last FROM pages WHERE id = ?"));
        query.addBindValue(id);
        if (!query.exec() || !query.next())
            continue;
        const QUrl url(query.value(0).toString(), QUrl::StrictMode);
        if (!isKept(url))
            continue;
        Page page;
        page.id = id;
        page.address = url.toString(QUrl::FullyEncoded);
        page.title = query.value(1).toString();
        page.words = wordsOf(page.title, url);
        page.visits = query.value(2).toInt();
        page.last = query.value(3).toLongLong();
        m_ranks.insert(id, {page.visits, page.last});
        const auto place = std::upper_bound(m_pages.begin(), m_pages.end(), page, ranksBefore);
        m_pages.insert(place, std::move(page));
    }
}

bool History::isKept(const QUrl &url)
{
    if (!url.isValid() || url.isEmpty())
        return false;
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        if (url.host().isEmpty())
            return false;
    } else if (scheme != QLatin1String("file")) {
        return false;
    }
    return keptAddress(url).toString(QUrl::FullyEncoded).size() <= maxAddressLength;
}

QString History::cleanTitle(const QString &title)
{
    QString clean;
    clean.reserve(std::min<qsizetype>(title.size(), maxTitleLength + 1));
    for (qsizetype i = 0; i < title.size() && clean.size() <= maxTitleLength; ++i) {
        const QChar c = title.at(i);
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            clean += QLatin1Char(' ');
            break;
        case QChar::Other_Format:
            // Direction overrides and invisible characters make a title show
            // what it is not; the joiner of emoji sequences stays.
            if (c.unicode() == 0x200D)
                clean += c;
            break;
        default:
            clean += c;
        }
    }
    clean = clean.simplified();
    if (clean.size() > maxTitleLength) {
        clean.truncate(maxTitleLength);
        // Never half a character.
        if (clean.back().isHighSurrogate())
            clean.chop(1);
    }
    return clean;
}

bool History::addVisit(const QUrl &url, const QString &title, const QDateTime &when)
{
    if (!m_open || !isKept(url))
        return false;
    const QUrl address = keptAddress(url);
    const QString key = address.toString(QUrl::FullyEncoded);
    const QString cleaned = cleanTitle(title);
    const qint64 time = when.toMSecsSinceEpoch();

    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return false;
    bool ok = true;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT id, title FROM pages WHERE address = ?"));
    query.addBindValue(key);
    ok = query.exec();
    qint64 page = -1;
    QString known;
    if (ok && query.next()) {
        page = query.value(0).toLongLong();
        known = query.value(1).toString();
    }
    query.finish();
    const QString kept = cleaned.isEmpty() ? known : cleaned;
    if (ok && page >= 0) {
        query.prepare(QStringLiteral("UPDATE pages SET title = coalesce(?, ''), words = ?, "
                                     "visits = visits + 1, last = max(last, ?) WHERE id = ?"));
        query.addBindValue(kept);
        query.addBindValue(wordsOf(kept, address));
        query.addBindValue(time);
        query.addBindValue(page);
        ok = query.exec();
    } else if (ok) {
        query.prepare(QStringLiteral("INSERT INTO pages(address, title, words, visits, last) "
                                     "VALUES(?, coalesce(?, ''), ?, 1, ?)"));
        query.addBindValue(key);
        query.addBindValue(kept);
        query.addBindValue(wordsOf(kept, address));
        query.addBindValue(time);
        ok = query.exec();
        page = query.lastInsertId().toLongLong();
    }
    if (ok) {
        query.prepare(QStringLiteral("INSERT INTO visits(page, time) VALUES(?, ?)"));
        query.addBindValue(page);
        query.addBindValue(time);
        ok = query.exec();
    }
    query.finish();
    QList<qint64> touched{page};
    ok = ok && trim(touched);
    if (!ok || !db.commit()) {
        db.rollback();
        return false;
    }
    reloadPages(touched);
    emit changed();
    return true;
}

bool History::trim(QList<qint64> &touched)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM visits")) || !query.next())
        return false;
    const qint64 excess = query.value(0).toLongLong() - m_limit;
    query.finish();
    if (excess <= 0)
        return true;
    // The newest visit that goes.
    query.prepare(QStringLiteral("SELECT id FROM visits ORDER BY id LIMIT 1 OFFSET ?"));
    query.addBindValue(excess - 1);
    if (!query.exec() || !query.next())
        return false;
    const qint64 cut = query.value(0).toLongLong();
    query.finish();
    query.prepare(QStringLiteral("SELECT DISTINCT page FROM visits WHERE id <= ?"));
    query.addBindValue(cut);
    if (!query.exec())
        return false;
    while (query.next())
        touched << query.value(0).toLongLong();
    query.prepare(QStringLiteral("UPDATE pages SET visits = visits - (SELECT count(*) FROM visits "
                                 "WHERE visits.page = pages.id AND visits.id <= ?) "
                                 "WHERE id IN (SELECT page FROM visits WHERE id <= ?)"));
    query.addBindValue(cut);
    query.addBindValue(cut);
    if (!query.exec())
        return false;
    query.prepare(QStringLiteral("DELETE FROM visits WHERE id <= ?"));
    query.addBindValue(cut);
    if (!query.exec())
        return false;
    return query.exec(QStringLiteral("DELETE FROM pages WHERE visits <= 0"));
}

void History::setTitle(const QUrl &url, const QString &title)
{
    if (!m_open || !isKept(url))
        return;
    const QString cleaned = cleanTitle(title);
    if (cleaned.isEmpty())
        return;
    const QUrl address = keptAddress(url);
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(
        QStringLiteral("UPDATE pages SET title = ?, words = ? WHERE address = ? AND title <> ?"));
    query.addBindValue(cleaned);
    query.addBindValue(wordsOf(cleaned, address));
    query.addBindValue(address.toString(QUrl::FullyEncoded));
    query.addBindValue(cleaned);
    if (!query.exec() || query.numRowsAffected() <= 0)
        return;
    const QString key = address.toString(QUrl::FullyEncoded);
    for (Page &page : m_pages) {
        if (page.address == key) {
            page.title = cleaned;
            page.words = wordsOf(cleaned, address);
            break;
        }
    }
    emit changed();
}

QList<HistoryEntry> History::suggestions(const QString &text, int limit) const
{
    const QStringList words = searchWords(text);
    QList<HistoryEntry> found;
    if (!m_open || words.isEmpty() || limit <= 0)
        return found;
    const std::vector<WordFinder> finders(words.cbegin(), words.cend());
    // The pages are in the order of the answer: the first that match are it.
    for (const Page &page : m_pages) {
        if (!holdsAll(page.words, finders))
            continue;
        HistoryEntry entry{QUrl(page.address, QUrl::StrictMode), page.title, page.visits,
                           fromMs(page.last)};
        if (!isKept(entry.url))
            continue;
        found.append(std::move(entry));
        if (found.size() >= limit)
            break;
    }
    return found;
}

QList<HistoryEntry> History::recentVisits(const QString &filter, int limit) const
{
    const QStringList words = searchWords(filter);
    if (!m_open || limit <= 0)
        return {};
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT pages.address, pages.title, pages.visits, visits.time "
                                 "FROM visits JOIN pages ON pages.id = visits.page %1 "
                                 "ORDER BY visits.id DESC LIMIT ?")
                      .arg(words.isEmpty()
                               ? QString()
                               : QStringLiteral("WHERE ") +
                                     matchClause(words, QStringLiteral("pages.words"))));
    for (const QString &word : words)
        query.addBindValue(word);
    query.addBindValue(limit);
    QList<HistoryEntry> found;
    if (!query.exec())
        return found;
    while (query.next()) {
        HistoryEntry entry{QUrl(query.value(0).toString(), QUrl::StrictMode),
                           query.value(1).toString(), query.value(2).toInt(),
                           fromMs(query.value(3).toLongLong())};
        if (isKept(entry.url))
            found << entry;
    }
    return found;
}

int History::visitCount() const
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!m_open || !query.exec(QStringLiteral("SELECT count(*) FROM visits")) || !query.next())
        return 0;
    return query.value(0).toInt();
}

int History::pageCount() const
{
    return int(m_pages.size());
}

bool History::clear()
{
    if (!m_open)
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return false;
    QSqlQuery query(db);
    const bool ok = query.exec(QStringLiteral("DELETE FROM visits")) &&
                    query.exec(QStringLiteral("DELETE FROM pages"));
    query.finish();
    if (!ok || !db.commit()) {
        db.rollback();
        return false;
    }
    // The log's copies of the old pages go too.
    query.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    m_pages.clear();
    m_ranks.clear();
    emit cleared();
    emit changed();
    return true;
}

void History::setVisitLimit(int limit)
{
    m_limit = std::max(1, limit);
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!m_open || !db.transaction())
        return;
    QList<qint64> touched;
    if (trim(touched) && db.commit()) {
        reloadPages(touched);
        emit changed();
    } else {
        db.rollback();
    }
}
