#pragma once

#include "platform/PageInventory.h"
#include "platform/PictureAudit.h"
#include "platform/PictureSource.h"
#include "platform/PictureState.h"
#include "windows/PictureAnswer.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QDeadlineTimer>
#include <QHash>
#include <QIcon>
#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QSortFilterProxyModel>

class PictureEstimator;
class PictureFetcher;

// The pictures of a page inventory, one row a picture, for the Media tab's
// table and grid. The srcset candidates of one img are folded into the row of
// that img (its `variants`); a candidate that some other element uses as well
// keeps a row of its own.
//
// A new inventory leaves the model empty; fillSome() adds its rows a slice at a
// time, so that a page of hundreds of thousands of pictures never holds up the
// window's events for long. A row comes with its folded variants.
//
// What the fetcher learns of an address (PictureAnswer) goes into its entry as
// it comes: the type its bytes are (checked against the server's), its
// dimensions, its size, and whether it is broken. An address that only might
// be a picture (a lazy attribute, a link) and answers with something else is
// "not a picture": a row, but not one of the page's pictures.
//
// Each row also tells where its picture came from (compared with the served
// markup's inventory, once given), whether the page loaded it, and what is
// wrong with it. The findings that need the picture's bytes encoded again come
// from an estimator on threads of its own, as the fetcher brings the bytes.
class MediaModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Preview,
        Address,
        Kind,
        Type,
        Dimensions,
        Size,
        Alt,
        Uses,
        Source,
        State,
        Issues,
        ColumnCount
    };
    enum Role {
        SortRole = Qt::UserRole + 1, // numbers for the numeric columns
        AddressRole,                 // the full address
        FileNameRole,                // the last part of the address, for the grid
        EntryRole,                   // the index of the row's entry in the inventory
        ThumbnailRole,               // the decoded thumbnail (QImage), null until it is
    };

    explicit MediaModel(QObject *parent = nullptr);

    // Thumbnails and sizes come from here; none without it.
    void setFetcher(PictureFetcher *fetcher);
    void setInventory(const Inventory &inventory);
    const Inventory &inventory() const { return m_inventory; }
    // Goes on filling the rows until `deadline`; true once every row is in.
    bool fillSome(const QDeadlineTimer &deadline);
    bool filled() const { return m_phase == Phase::Done; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The entry a row shows, and its index in the inventory.
    const InventoryEntry &entry(int row) const;
    int entryIndex(int row) const { return m_rows.at(row); }
    // The entries a row stands for: its own and its folded variants'.
    QList<int> entriesOfRow(int row) const;
    // Every distinct type shown in the Type column, sorted (of the rows in so
    // far that are pictures).
    QStringList types() const;
    // The rows that are pictures: every row but those found not to be.
    int pictureCount() const { return int(m_rows.size()) - m_notPictureRows; }
    // What the fetcher learned of the row's picture so far.
    PictureAnswer answer(int row) const { return m_answers.value(m_rows.at(row)); }
    bool broken(int row) const { return entry(row).failed; }
    bool notPicture(int row) const { return notPictureEntry(m_rows.at(row)); }
    // Why a broken row or a row that is no picture is one ("404 Not Found",
    // "not an image: text/html", "not a picture"); empty for others.
    QString problem(int row) const;
    // True when the address is one of the pictures (of any row or variant).
    bool hasPicture(const QString &address) const { return m_entryOf.contains(address); }
    // True when the address's answer showed it is not a picture.
    bool isNotPicture(const QString &address) const
    {
        const int entryIndex = m_entryOf.value(address, -1);
        return entryIndex >= 0 && notPictureEntry(entryIndex);
    }
    // The answers of the entries, as the exports write them.
    PictureAnswer answerOfEntry(int entryIndex) const { return m_answers.value(entryIndex); }
    // Where the entry's picture came from on the page ("markup", "script",
    // "style", "placeholder") and whether it loaded ("shown", "loaded",
    // "waiting", "failed", "not-loaded"), as the saved pictures' manifest
    // writes them; empty while not known.
    QString sourceOfEntry(int entryIndex) const;
    QString stateOfEntry(int entryIndex) const;
    // True for an entry that only might be a picture: lazy attributes and links.
    static bool candidateOnly(const InventoryEntry &entry);
    // The Type column's word for a MIME type: "PNG", "JPEG", "SVG"; "unknown".
    static QString typeName(const QString &mimeType);
    // "640 × 480"; empty for an invalid size.
    static QString dimensionsText(const QSize &size);
    // The Size column's text: the size, "…" while it is being asked, "unknown".
    QString sizeText(const InventoryEntry &entry) const;

    // Sizes from the server are on their way for these addresses.
    void markSizesAsked(const QStringList &addresses);

    // The inventory of the served markup of the same page: each row's source
    // follows from it. One that is not valid leaves the sources unknown, and
    // says why.
    void setServed(const Inventory &served);
    bool sourcesKnown() const { return m_sourcesKnown; }
    QString servedError() const { return m_servedError; }
    PictureSource::Kind source(int row) const;
    PictureState state(int row) const;
    // The facts the audit reads of a row's picture, and its findings.
    PictureAudit::Facts auditFacts(int row) const;
    QList<PictureAudit::Issue> issues(int row) const;
    // Of the rows that are pictures: how many come from each source (by
    // PictureSource::Kind).
    QList<int> sourceCounts() const;
    // Of the rows that are pictures: the findings, and the pictures with any.
    QPair<int, int> problemCounts() const;
    PictureEstimator *estimator() const { return m_estimator; }

signals:
    // The types of the rows changed (one came, or went): the type filter follows.
    void typesChanged();
    // The sources came, or the findings of some row changed.
    void sourcesChanged();
    void issuesChanged();

private:
    void thumbnailReady(const QString &address);
    void sizeKnown(const QString &address, qint64 bytes);
    void answerKnown(const QString &address);
    void bytesReceived(const QString &address, const QByteArray &bytes);
    void estimated(const QString &address, const PictureAudit::Estimate &estimate);
    // The entry whose row stands for `entryIndex` (its own, or the one it is folded into).
    int mainEntry(int entryIndex) const;
    // Why the entry failed, as its answer says.
    QString failureOf(int entryIndex) const;
    // The row's findings are to be made again.
    void forgetIssues(int entryIndex);
    // Puts what is known of the entry's address into the entry.
    void applyAnswer(int entryIndex, const PictureAnswer &answer);
    bool notPictureEntry(int entryIndex) const;
    // Counts an own row in (+1) or out (-1) of the types and pictures.
    void countRow(int entryIndex, int sign);

    // The steps of filling, each over every entry in document order.
    enum class Phase { Index, Candidates, Fold, Rows, Done };
    // The row of an entry that has one of its own; -1 for a folded one or one not in yet.
    int ownRow(int entryIndex) const;

    Inventory m_inventory;
    Phase m_phase = Phase::Done;
    qsizetype m_next = 0;            // the next entry of the phase
    QList<int> m_rows;               // entry of each row
    QHash<int, QList<int>> m_folded; // entry -> its folded variants' entries
    QHash<QString, int> m_entryOf;   // address -> entry
    QList<int> m_mainOf;             // entry -> the entry it is folded into, or -1
    QList<int> m_rowOf;              // entry -> its own row, or -1
    QHash<QString, int> m_typeRows;  // type name -> rows of that type that are pictures
    int m_notPictureRows = 0;
    QHash<int, PictureAnswer> m_answers; // entry -> what its address answered
    QSet<QString> m_sizeAsked;
    mutable QCache<QString, QIcon> m_icons{600}; // the rows in sight, ready to paint
    QPointer<PictureFetcher> m_fetcher;
    QList<PictureSource::Kind> m_sources; // entry -> its source, once the served markup is in
    bool m_sourcesKnown = false;
    QString m_servedError;
    PictureEstimator *m_estimator = nullptr;
    QHash<QString, PictureAudit::Estimate> m_estimates;      // address -> its estimate
    mutable QHash<int, QList<PictureAudit::Issue>> m_issues; // main entry -> its findings
};

// The Media tab's filters: a text in the address or the alt text, a type (or
// the broken rows), and a smallest width and height (pictures of unknown size
// are hidden by a minimum). Rows that are not pictures show only with
// everything. Sorts by each column's SortRole.
class MediaFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit MediaFilter(QObject *parent = nullptr);

    // The type that stands for the broken rows.
    static QString brokenType() { return QStringLiteral("*broken"); }

    void setText(const QString &text);
    void setType(const QString &type); // a MediaModel::typeName or brokenType(); empty: every type
    void setMinimumSide(int pixels);   // 0: no minimum
    void setShowEverything(bool everything);
    bool showsEverything() const { return m_everything; }
    // A PictureSource name: only the rows of that source; empty: every source.
    void setSource(const QString &source);
    // Only the rows with some finding.
    void setProblemsOnly(bool only);
    // True while some filter but the one of everything leaves rows out.
    bool narrowed() const
    {
        return !m_text.isEmpty() || !m_type.isEmpty() || m_minimumSide > 0 || !m_source.isEmpty() ||
               m_problemsOnly;
    }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    // The numeric columns and document order straight from the entries: a sort
    // of many thousands of rows asks this millions of times.
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    QString m_text;
    QString m_type;
    int m_minimumSide = 0;
    bool m_everything = false;
    QString m_source;
    bool m_problemsOnly = false;
};

// The pictures as a CSV table (RFC 4180, a header line, one line a picture)
// and as JSON (the page's address and title, and an array of pictures), each
// with what its address answered (answers.at(i) for pictures.at(i), when
// given): whether it failed, its HTTP status and the problem. A text field
// that a spreadsheet would take for a formula is written with a leading
// apostrophe. In the CSV, control characters but tab and line ends are
// written as \xHH (ESC as \x1B) and format characters as \uHHHH (a
// right-to-left override as \u202E).
// With reports (reports.at(i) for pictures.at(i)), each picture's source,
// state and findings too: by name and, for findings, in words.
struct PictureReport {
    QString source; // a PictureSource name; empty while unknown
    PictureState state;
    QList<PictureAudit::Issue> issues;
};
QByteArray MediaCsv(const QList<InventoryEntry> &pictures, const QList<PictureAnswer> &answers = {},
                    const QList<PictureReport> &reports = {});
QByteArray MediaJson(const Inventory &inventory, const QList<InventoryEntry> &pictures,
                     const QList<PictureAnswer> &answers = {},
                     const QList<PictureReport> &reports = {});
// One picture as the JSON export writes it; without a report, no source,
// state or findings.
QJsonObject MediaJsonObject(const InventoryEntry &entry, const PictureAnswer &answer,
                            const PictureReport *report);
// The links as a CSV table and as JSON, written as the pictures are.
QByteArray LinksCsv(const QList<InventoryLink> &links);
QByteArray LinksJson(const Inventory &inventory, const QList<InventoryLink> &links);

// The links of the page: text, address, target, and whether it leads to a
// picture: by its name, until the media model learns from its answer that it
// does not.
class LinksModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Text, Address, Target, Picture, ColumnCount };
    explicit LinksModel(QObject *parent = nullptr);
    // The pictures' answers come from here.
    void setMedia(const MediaModel *media);
    // Whether the link leads to a picture, as far as is known.
    bool leadsToPicture(const InventoryLink &link) const;
    // Leaves the model empty; fillSome() adds the rows a slice at a time.
    void setLinks(const QList<InventoryLink> &links);
    bool fillSome(const QDeadlineTimer &deadline);
    bool filled() const { return m_links.size() == m_all.size(); }
    // The links in the rows so far.
    const QList<InventoryLink> &links() const { return m_links; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<InventoryLink> m_all;
    QList<InventoryLink> m_links;
    QPointer<const MediaModel> m_media;
};

// The Links tab's filter: a text in the link's text, address or target.
// Sorts by each column's SortRole.
class LinksFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit LinksFilter(QObject *parent = nullptr);
    void setText(const QString &text);
    bool narrowed() const { return !m_text.isEmpty(); }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    QString m_text;
};

// A page's text (an address, an alt text) as a tool tip: escaped, so that Qt
// shows it as written and never reads it as markup, which would load the
// pictures and files it names; cut to a few thousand characters.
QString PlainToolTip(const QString &text);
// An address as a row shows it: data: addresses shortened, and any address
// cut to a few thousand characters.
QString ShownAddress(const QString &address);
