#include "platform/History.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

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
                            .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    // Tabs and line breaks part words as spaces do.
    words = words.join(QLatin1Char(' ')).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() > maxWords)
        words.resize(maxWords);
    return words;
}

// "instr(words, ?) > 0 AND ..." for each word.
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
        // Suggestions walk the pages in their order and stop at the last one
        // wanted.
        QStringLiteral("CREATE INDEX IF NOT EXISTS pages_rank ON pages(visits DESC, last DESC)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS visits("
                       "id INTEGER PRIMARY KEY AUTOINCREMENT, page INTEGER NOT NULL, "
                       "time INTEGER NOT NULL)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS visits_page ON visits(page)"),
    };
    for (const QString &statement : statements) {
        if (!query.exec(statement))
            return false;
    }
    return true;
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
    ok = ok && trim();
    if (!ok || !db.commit()) {
        db.rollback();
        return false;
    }
    emit changed();
    return true;
}

bool History::trim()
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
    if (query.exec() && query.numRowsAffected() > 0)
        emit changed();
}

QList<HistoryEntry> History::suggestions(const QString &text, int limit) const
{
    const QStringList words = searchWords(text);
    if (!m_open || words.isEmpty() || limit <= 0)
        return {};
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT address, title, visits, last FROM pages WHERE %1 "
                                 "ORDER BY visits DESC, last DESC LIMIT ?")
                      .arg(matchClause(words, QStringLiteral("words"))));
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
        // Whatever the file holds, nothing but a kept kind of address is offered.
        if (isKept(entry.url))
            found << entry;
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
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!m_open || !query.exec(QStringLiteral("SELECT count(*) FROM pages")) || !query.next())
        return 0;
    return query.value(0).toInt();
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
    emit changed();
    return true;
}

void History::setVisitLimit(int limit)
{
    m_limit = std::max(1, limit);
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (m_open && db.transaction()) {
        if (trim() && db.commit())
            emit changed();
        else
            db.rollback();
    }
}
