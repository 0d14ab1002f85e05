#include "windows/MediaModels.h"

#include "platform/PictureEstimator.h"
#include "windows/PictureFetcher.h"

#include <QFont>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QUrl>

#include <algorithm>

namespace {

// The address part of a variant's "address descriptor".
QString variantAddress(const QString &variant)
{
    const qsizetype space = variant.lastIndexOf(QLatin1Char(' '));
    return space < 0 ? variant : variant.left(space);
}

bool onlyCandidate(const InventoryEntry &entry)
{
    static const QStringList candidateKinds = {QStringLiteral("srcset"), QStringLiteral("source"),
                                               QStringLiteral("lazy")};
    return std::all_of(entry.kinds.begin(), entry.kinds.end(),
                       [](const QString &kind) { return candidateKinds.contains(kind); });
}

} // namespace

MediaModel::MediaModel(QObject *parent)
    : QAbstractTableModel(parent), m_estimator(new PictureEstimator(this))
{
    connect(m_estimator, &PictureEstimator::estimated, this, &MediaModel::estimated);
}

void MediaModel::setFetcher(PictureFetcher *fetcher)
{
    if (m_fetcher)
        m_fetcher->disconnect(this);
    m_fetcher = fetcher;
    if (!fetcher)
        return;
    connect(fetcher, &PictureFetcher::thumbnailReady, this, &MediaModel::thumbnailReady);
    connect(fetcher, &PictureFetcher::sizeKnown, this, &MediaModel::sizeKnown);
    connect(fetcher, &PictureFetcher::answerKnown, this, &MediaModel::answerKnown);
    connect(fetcher, &PictureFetcher::bytesReceived, this, &MediaModel::bytesReceived);
}

bool MediaModel::candidateOnly(const InventoryEntry &entry)
{
    static const QStringList maybe = {QStringLiteral("lazy"), QStringLiteral("link")};
    return !entry.kinds.isEmpty() &&
           std::all_of(entry.kinds.begin(), entry.kinds.end(),
                       [](const QString &kind) { return maybe.contains(kind); });
}

void MediaModel::setInventory(const Inventory &inventory)
{
    // Estimates are of addresses: those under way for the same page hold for
    // its next inventory (its bytes do not come again).
    if (inventory.pageAddress != m_inventory.pageAddress)
        m_estimator->clear();
    beginResetModel();
    m_inventory = inventory;
    m_rows.clear();
    m_folded.clear();
    m_entryOf.clear();
    m_typeRows.clear();
    m_notPictureRows = 0;
    m_answers.clear();
    m_sizeAsked.clear();
    m_icons.clear();
    m_sources.clear();
    m_sourcesKnown = false;
    m_servedError.clear();
    m_issues.clear();
    const qsizetype count = m_inventory.pictures.size();
    m_mainOf = QList<int>(count, -1);
    m_rowOf = QList<int>(count, -1);
    m_entryOf.reserve(count);
    m_phase = Phase::Index;
    m_next = 0;
    endResetModel();
}

bool MediaModel::fillSome(const QDeadlineTimer &deadline)
{
    const QList<InventoryEntry> &pictures = m_inventory.pictures;
    const qsizetype count = pictures.size();
    // Steps are cheap: the clock is read every few hundred of them.
    constexpr qsizetype stride = 256;
    constexpr qsizetype rowsAtOnce = 1024;
    while (m_phase != Phase::Done) {
        if (deadline.hasExpired())
            return false;
        const qsizetype end = std::min(count, m_next + stride);
        switch (m_phase) {
        case Phase::Index:
            for (; m_next < end; ++m_next)
                m_entryOf.insert(pictures.at(m_next).address, int(m_next));
            break;
        case Phase::Candidates:
            // A candidate that only its img uses goes under that img's row.
            for (; m_next < end; ++m_next) {
                const int i = int(m_next);
                for (const QString &variant : pictures.at(i).variants) {
                    const int other = m_entryOf.value(variantAddress(variant), -1);
                    if (other >= 0 && other != i && m_mainOf[other] < 0 &&
                        onlyCandidate(pictures.at(other)))
                        m_mainOf[other] = i;
                }
            }
            break;
        case Phase::Fold:
            // A main entry that is itself folded keeps its row. An entry's main
            // is settled once the entry's own turn is over.
            for (; m_next < end; ++m_next) {
                const int i = int(m_next);
                if (m_mainOf[i] >= 0 && m_mainOf[m_mainOf[i]] >= 0)
                    m_mainOf[i] = -1;
                if (m_mainOf[i] >= 0)
                    m_folded[m_mainOf[i]].append(i);
            }
            break;
        case Phase::Rows: {
            const qsizetype last = std::min(count, m_next + rowsAtOnce);
            QList<int> added;
            for (; m_next < last; ++m_next) {
                if (m_mainOf[m_next] < 0)
                    added.append(int(m_next));
            }
            if (added.isEmpty())
                break;
            // What the fetcher already knows of them (the page asked about
            // before) comes in with them.
            if (m_fetcher) {
                for (const int entryIndex : added) {
                    for (const int i : QList<int>{entryIndex} + m_folded.value(entryIndex)) {
                        const PictureAnswer known = m_fetcher->answer(pictures.at(i).address);
                        if (known.answered() || known.bytes >= 0)
                            applyAnswer(i, known);
                    }
                }
            }
            const int first = int(m_rows.size());
            const qsizetype typesBefore = m_typeRows.size();
            beginInsertRows(QModelIndex(), first, first + int(added.size()) - 1);
            for (const int entryIndex : added) {
                m_rowOf[entryIndex] = int(m_rows.size());
                m_rows.append(entryIndex);
                countRow(entryIndex, +1);
            }
            endInsertRows();
            if (m_typeRows.size() != typesBefore)
                emit typesChanged();
            break;
        }
        case Phase::Done:
            break;
        }
        if (m_next >= count) {
            m_next = 0;
            m_phase = Phase(int(m_phase) + 1);
        }
    }
    return true;
}

int MediaModel::ownRow(int entryIndex) const
{
    return entryIndex >= 0 && entryIndex < m_rowOf.size() ? m_rowOf.at(entryIndex) : -1;
}

int MediaModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int MediaModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const InventoryEntry &MediaModel::entry(int row) const
{
    return m_inventory.pictures.at(m_rows.at(row));
}

QList<int> MediaModel::entriesOfRow(int row) const
{
    QList<int> out{m_rows.at(row)};
    out.append(m_folded.value(m_rows.at(row)));
    return out;
}

QString MediaModel::sourceOfEntry(int entryIndex) const
{
    // Empty while the served markup is not in (or was not to be had).
    if (entryIndex < 0 || entryIndex >= m_sources.size())
        return QString();
    return PictureSource::name(m_sources.at(entryIndex));
}

QString MediaModel::stateOfEntry(int entryIndex) const
{
    if (entryIndex < 0 || entryIndex >= m_inventory.pictures.size())
        return QString();
    return PictureState::of(m_inventory.pictures.at(entryIndex), failureOf(entryIndex)).name();
}

QString MediaModel::typeName(const QString &mimeType)
{
    if (mimeType.isEmpty())
        return QStringLiteral("unknown");
    QString sub = mimeType.section(QLatin1Char('/'), 1).toLower();
    if (sub == QLatin1String("svg+xml"))
        return QStringLiteral("SVG");
    if (sub == QLatin1String("vnd.microsoft.icon") || sub == QLatin1String("x-icon"))
        return QStringLiteral("ICO");
    if (sub.isEmpty())
        sub = mimeType;
    return sub.toUpper();
}

QString MediaModel::dimensionsText(const QSize &size)
{
    if (!size.isValid() || size.isEmpty())
        return {};
    return QStringLiteral("%1 \u00d7 %2").arg(size.width()).arg(size.height());
}

QString MediaModel::sizeText(const InventoryEntry &entry) const
{
    if (entry.bytes >= 0)
        return PageInventory::byteText(entry.bytes);
    return m_sizeAsked.contains(entry.address) ? QStringLiteral("\u2026")
                                               : QStringLiteral("unknown");
}

QStringList MediaModel::types() const
{
    QStringList out = m_typeRows.keys();
    std::sort(out.begin(), out.end());
    return out;
}

void MediaModel::countRow(int entryIndex, int sign)
{
    if (notPictureEntry(entryIndex)) {
        m_notPictureRows += sign;
        return;
    }
    const QString type = typeName(m_inventory.pictures.at(entryIndex).mimeType);
    const int rows = m_typeRows.value(type) + sign;
    if (rows > 0)
        m_typeRows.insert(type, rows);
    else
        m_typeRows.remove(type);
}

bool MediaModel::notPictureEntry(int entryIndex) const
{
    const auto found = m_answers.constFind(entryIndex);
    return found != m_answers.cend() && found->verdict == PictureAnswer::Verdict::NotPicture &&
           candidateOnly(m_inventory.pictures.at(entryIndex));
}

QString MediaModel::problem(int row) const
{
    const int entryIndex = m_rows.at(row);
    if (notPictureEntry(entryIndex))
        return tr("not a picture");
    const InventoryEntry &e = m_inventory.pictures.at(entryIndex);
    if (!e.failed)
        return {};
    const QString problem = m_answers.value(entryIndex).problem;
    return problem.isEmpty() ? tr("the page could not load it") : problem;
}

void MediaModel::applyAnswer(int entryIndex, const PictureAnswer &answer)
{
    InventoryEntry &e = m_inventory.pictures[entryIndex];
    if (!answer.type().isEmpty())
        e.mimeType = answer.type();
    if (answer.bytes >= 0 && e.bytes < 0)
        e.bytes = answer.bytes;
    // An img's own size stays: the engine drew it so.
    if (answer.naturalSize.isValid() && !e.naturalSize.isValid())
        e.naturalSize = answer.naturalSize;
    if (answer.answered())
        e.failed = answer.verdict == PictureAnswer::Verdict::Broken ||
                   (answer.verdict == PictureAnswer::Verdict::NotPicture && !candidateOnly(e));
    m_answers.insert(entryIndex, answer);
    forgetIssues(entryIndex);
}

void MediaModel::answerKnown(const QString &address)
{
    const int entryIndex = m_entryOf.value(address, -1);
    if (entryIndex < 0 || !m_fetcher)
        return;
    m_sizeAsked.remove(address);
    const int row = ownRow(entryIndex);
    const auto typeSet = [this] {
        const QStringList keys = m_typeRows.keys();
        return QSet<QString>(keys.begin(), keys.end());
    };
    const QSet<QString> typesBefore = row >= 0 ? typeSet() : QSet<QString>();
    if (row >= 0)
        countRow(entryIndex, -1);
    applyAnswer(entryIndex, m_fetcher->answer(address));
    if (row < 0)
        return;
    countRow(entryIndex, +1);
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    if (typeSet() != typesBefore)
        emit typesChanged();
}

void MediaModel::markSizesAsked(const QStringList &addresses)
{
    for (const QString &address : addresses)
        m_sizeAsked.insert(address);
}

QVariant MediaModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const int entryIndex = m_rows.at(index.row());
    const InventoryEntry &e = m_inventory.pictures.at(entryIndex);
    switch (role) {
    case AddressRole:
        return e.address;
    case EntryRole:
        return entryIndex;
    case FileNameRole: {
        if (e.address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
            return QStringLiteral("data: ") + typeName(e.mimeType);
        const QString name = QUrl(e.address).fileName();
        return name.isEmpty() ? QUrl(e.address).host() : name;
    }
    case Qt::ToolTipRole:
        if (index.column() == Issues || index.column() == State || index.column() == Source) {
            QString text = index.column() == State ? state(index.row()).text()
                                                   : data(index, Qt::DisplayRole).toString();
            if (index.column() == Issues)
                return text.isEmpty()
                           ? QVariant()
                           : PlainToolTip(text.replace(QStringLiteral("; "), QStringLiteral("\n")));
            return text.isEmpty() ? QVariant() : PlainToolTip(text);
        }
        if (index.column() == Dimensions && (e.failed || notPictureEntry(entryIndex))) {
            const QString why = m_answers.value(entryIndex).problem;
            return PlainToolTip(why.isEmpty() ? problem(index.row()) : why);
        }
        return PlainToolTip(e.address.size() > 2000 ? e.displayAddress : e.address);
    case ThumbnailRole:
        return m_fetcher ? m_fetcher->thumbnail(e.address) : QImage();
    case Qt::DecorationRole: {
        // An icon keeps the picture's shape in the table's square.
        if (index.column() != Preview || !m_fetcher)
            return {};
        if (const QIcon *icon = m_icons.object(e.address))
            return *icon;
        const QImage image = m_fetcher->thumbnail(e.address);
        if (image.isNull())
            return {};
        auto *icon = new QIcon(QPixmap::fromImage(image));
        const QIcon out = *icon;
        m_icons.insert(e.address, icon);
        return out;
    }
    case Qt::DisplayRole:
        switch (index.column()) {
        case Address:
            return ShownAddress(e.displayAddress);
        case Kind: {
            QString kinds = e.kinds.join(QStringLiteral(", "));
            const int variants = int(m_folded.value(entryIndex).size());
            if (variants > 0)
                kinds += variants == 1 ? tr(" (+1 variant)") : tr(" (+%1 variants)").arg(variants);
            return kinds;
        }
        case Type:
            return typeName(e.mimeType);
        case Dimensions:
            // A picture that has none says why.
            if (e.failed || notPictureEntry(entryIndex))
                return problem(index.row());
            return dimensionsText(e.naturalSize);
        case Size:
            return sizeText(e);
        case Alt:
            return e.altText;
        case Uses:
            return e.uses;
        case Source:
            return m_sourcesKnown ? PictureSource::name(source(index.row())) : QString();
        case State:
            return state(index.row()).text(true);
        case Issues: {
            QStringList words;
            for (const PictureAudit::Issue &issue : issues(index.row()))
                words.append(issue.words);
            return words.join(QStringLiteral("; "));
        }
        default:
            return {};
        }
    case SortRole:
        switch (index.column()) {
        case Preview:
            return entryIndex; // document order
        case Dimensions:
            return qint64(e.naturalSize.isValid() ? e.naturalSize.width() : 0) *
                   (e.naturalSize.isValid() ? e.naturalSize.height() : 0);
        case Size:
            return e.bytes;
        case Uses:
            return e.uses;
        case State:
            return int(state(index.row()).kind);
        case Issues:
            return int(issues(index.row()).size());
        default:
            return data(index, Qt::DisplayRole).toString().toLower();
        }
    case Qt::TextAlignmentRole:
        if (index.column() == Size || index.column() == Uses || index.column() == Dimensions)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::ForegroundRole:
        if (e.failed)
            return QColor(Qt::darkRed);
        if (notPictureEntry(entryIndex))
            return QColor(Qt::gray);
        return {};
    default:
        return {};
    }
}

QVariant MediaModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Preview:
        return tr("Preview");
    case Address:
        return tr("Address");
    case Kind:
        return tr("Kind");
    case Type:
        return tr("Type");
    case Dimensions:
        return tr("Dimensions");
    case Size:
        return tr("Size");
    case Alt:
        return tr("Alt Text");
    case Uses:
        return tr("Uses");
    case Source:
        return tr("Source");
    case State:
        return tr("State");
    case Issues:
        return tr("Issues");
    default:
        return {};
    }
}

void MediaModel::thumbnailReady(const QString &address)
{
    const int row = ownRow(m_entryOf.value(address, -1));
    if (row < 0)
        return;
    emit dataChanged(index(row, Preview), index(row, Preview),
                     {Qt::DecorationRole, Qt::ForegroundRole});
}

void MediaModel::sizeKnown(const QString &address, qint64 bytes)
{
    const int entryIndex = m_entryOf.value(address, -1);
    if (entryIndex < 0)
        return;
    m_sizeAsked.remove(address);
    InventoryEntry &e = m_inventory.pictures[entryIndex];
    if (bytes >= 0 && e.bytes < 0) {
        e.bytes = bytes;
        forgetIssues(entryIndex);
    }
    const int row = ownRow(entryIndex);
    if (row >= 0)
        emit dataChanged(index(row, Size), index(row, Size));
}

int MediaModel::mainEntry(int entryIndex) const
{
    if (entryIndex < 0 || entryIndex >= m_mainOf.size())
        return entryIndex;
    const int main = m_mainOf.at(entryIndex);
    return main >= 0 ? main : entryIndex;
}

QString MediaModel::failureOf(int entryIndex) const
{
    const auto found = m_answers.constFind(entryIndex);
    return found == m_answers.cend() ? QString() : found->problem;
}

void MediaModel::forgetIssues(int entryIndex)
{
    if (m_issues.remove(mainEntry(entryIndex)))
        emit issuesChanged();
}

void MediaModel::setServed(const Inventory &served)
{
    m_servedError = served.valid ? QString() : served.error;
    m_sources =
        served.valid ? PictureSource::compare(m_inventory, served) : QList<PictureSource::Kind>();
    m_sourcesKnown = served.valid;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, Source), index(int(m_rows.size()) - 1, Source));
    emit sourcesChanged();
}

PictureSource::Kind MediaModel::source(int row) const
{
    const int entryIndex = m_rows.at(row);
    return entryIndex < m_sources.size() ? m_sources.at(entryIndex) : PictureSource::Unknown;
}

PictureState MediaModel::state(int row) const
{
    const int main = m_rows.at(row);
    PictureState state = PictureState::of(m_inventory.pictures.at(main), failureOf(main));
    for (const int other : m_folded.value(main))
        state = PictureState::combined(
            state, PictureState::of(m_inventory.pictures.at(other), failureOf(other)));
    return state;
}

PictureAudit::Facts MediaModel::auditFacts(int row) const
{
    const int main = m_rows.at(row);
    QList<const InventoryEntry *> others;
    for (const int other : m_folded.value(main))
        others.append(&m_inventory.pictures.at(other));
    QString failure = failureOf(main);
    if (failure.isEmpty() && m_inventory.pictures.at(main).failed)
        failure = problem(row);
    return PictureAudit::factsOf(m_inventory.pictures.at(main), others,
                                 m_inventory.devicePixelRatio, failure);
}

QList<PictureAudit::Issue> MediaModel::issues(int row) const
{
    const int main = m_rows.at(row);
    const auto cached = m_issues.constFind(main);
    if (cached != m_issues.cend())
        return *cached;
    QList<PictureAudit::Issue> found;
    // A row that is no picture has nothing wrong as a picture.
    if (!notPictureEntry(main)) {
        const PictureAudit::Facts facts = auditFacts(row);
        const auto estimate = m_estimates.constFind(facts.address);
        found = PictureAudit::audit(facts,
                                    estimate == m_estimates.cend() ? nullptr : &estimate.value());
    }
    m_issues.insert(main, found);
    return found;
}

QList<int> MediaModel::sourceCounts() const
{
    QList<int> counts(int(PictureSource::Placeholder) + 1, 0);
    for (int row = 0; row < m_rows.size(); ++row) {
        if (!notPictureEntry(m_rows.at(row)))
            ++counts[int(source(row))];
    }
    return counts;
}

QPair<int, int> MediaModel::problemCounts() const
{
    int problems = 0;
    int pictures = 0;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (notPictureEntry(m_rows.at(row)))
            continue;
        const qsizetype found = issues(row).size();
        problems += int(found);
        pictures += found > 0 ? 1 : 0;
    }
    return {problems, pictures};
}

void MediaModel::bytesReceived(const QString &address, const QByteArray &bytes)
{
    const int entryIndex = m_entryOf.value(address, -1);
    if (entryIndex < 0)
        return;
    // Its size is known now (a local file's, which no server told).
    if (m_inventory.pictures.at(entryIndex).bytes < 0)
        sizeKnown(address, bytes.size());
    if (m_estimates.contains(address) || m_estimator->pending(address))
        return;
    const int row = ownRow(mainEntry(entryIndex));
    if (row < 0)
        return;
    PictureAudit::Facts facts = auditFacts(row);
    if (facts.address != address)
        return;
    if (facts.bytes < 0)
        facts.bytes = bytes.size();
    if (PictureAudit::wantsEstimate(facts))
        m_estimator->request(address, bytes, facts.shownSize);
}

void MediaModel::estimated(const QString &address, const PictureAudit::Estimate &estimate)
{
    const int entryIndex = m_entryOf.value(address, -1);
    if (entryIndex < 0)
        return;
    m_estimates.insert(address, estimate);
    const int main = mainEntry(entryIndex);
    m_issues.remove(main);
    const int row = ownRow(main);
    if (row >= 0)
        emit dataChanged(index(row, Issues), index(row, Issues));
    emit issuesChanged();
}

MediaFilter::MediaFilter(QObject *parent) : QSortFilterProxyModel(parent)
{
    setSortRole(MediaModel::SortRole);
}

void MediaFilter::setText(const QString &text)
{
    m_text = text.trimmed();
    invalidateFilter();
}

void MediaFilter::setType(const QString &type)
{
    if (type == m_type)
        return;
    m_type = type;
    invalidateFilter();
}

void MediaFilter::setMinimumSide(int pixels)
{
    m_minimumSide = std::max(0, pixels);
    invalidateFilter();
}

void MediaFilter::setSource(const QString &source)
{
    if (source == m_source)
        return;
    m_source = source;
    invalidateFilter();
}

void MediaFilter::setProblemsOnly(bool only)
{
    if (only == m_problemsOnly)
        return;
    m_problemsOnly = only;
    invalidateFilter();
}

void MediaFilter::setShowEverything(bool everything)
{
    if (everything == m_everything)
        return;
    m_everything = everything;
    invalidateFilter();
}

bool MediaFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const auto *media = qobject_cast<const MediaModel *>(sourceModel());
    if (!media)
        return true;
    const InventoryEntry &e = media->entry(sourceRow);
    if (!m_everything && media->notPicture(sourceRow))
        return false;
    if (m_type == brokenType()) {
        if (!e.failed)
            return false;
    } else if (!m_type.isEmpty() && MediaModel::typeName(e.mimeType) != m_type) {
        return false;
    }
    if (m_minimumSide > 0 && (!e.naturalSize.isValid() || e.naturalSize.width() < m_minimumSide ||
                              e.naturalSize.height() < m_minimumSide))
        return false;
    if (!m_text.isEmpty() && !e.address.contains(m_text, Qt::CaseInsensitive) &&
        !e.altText.contains(m_text, Qt::CaseInsensitive))
        return false;
    if (!m_source.isEmpty() && PictureSource::name(media->source(sourceRow)) != m_source)
        return false;
    if (m_problemsOnly && media->issues(sourceRow).isEmpty())
        return false;
    return true;
}

bool MediaFilter::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const auto *media = qobject_cast<const MediaModel *>(sourceModel());
    if (!media || left.column() != right.column())
        return QSortFilterProxyModel::lessThan(left, right);
    const InventoryEntry &a = media->entry(left.row());
    const InventoryEntry &b = media->entry(right.row());
    const auto area = [](const QSize &size) {
        return size.isValid() ? qint64(size.width()) * size.height() : 0;
    };
    switch (left.column()) {
    case MediaModel::Preview:
        return media->entryIndex(left.row()) < media->entryIndex(right.row());
    case MediaModel::Dimensions:
        return area(a.naturalSize) < area(b.naturalSize);
    case MediaModel::Size:
        return a.bytes < b.bytes;
    case MediaModel::Uses:
        return a.uses < b.uses;
    case MediaModel::State:
        return media->state(left.row()).kind < media->state(right.row()).kind;
    case MediaModel::Issues:
        return media->issues(left.row()).size() < media->issues(right.row()).size();
    default:
        return QSortFilterProxyModel::lessThan(left, right);
    }
}

LinksModel::LinksModel(QObject *parent) : QAbstractTableModel(parent) {}

void LinksModel::setMedia(const MediaModel *media)
{
    m_media = media;
    // An answer may show that a link's picture is none.
    connect(media, &QAbstractItemModel::dataChanged, this, [this] {
        if (!m_links.isEmpty())
            emit dataChanged(index(0, Picture), index(int(m_links.size()) - 1, Picture),
                             {Qt::DisplayRole, Qt::FontRole});
    });
}

bool LinksModel::leadsToPicture(const InventoryLink &link) const
{
    return link.isPicture && !(m_media && m_media->isNotPicture(link.address));
}

void LinksModel::setLinks(const QList<InventoryLink> &links)
{
    beginResetModel();
    m_all = links;
    m_links.clear();
    m_links.reserve(links.size());
    endResetModel();
}

bool LinksModel::fillSome(const QDeadlineTimer &deadline)
{
    constexpr qsizetype rowsAtOnce = 1024;
    while (m_links.size() < m_all.size()) {
        if (deadline.hasExpired())
            return false;
        const qsizetype first = m_links.size();
        const qsizetype last = std::min(m_all.size(), first + rowsAtOnce) - 1;
        beginInsertRows(QModelIndex(), int(first), int(last));
        m_links.append(m_all.mid(first, last - first + 1));
        endInsertRows();
    }
    return true;
}

int LinksModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_links.size());
}

int LinksModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LinksModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_links.size())
        return {};
    const InventoryLink &link = m_links.at(index.row());
    if (role == Qt::DisplayRole || role == MediaModel::SortRole) {
        switch (index.column()) {
        case Text:
            return link.text.simplified();
        case Address:
            return ShownAddress(link.address);
        case Target:
            return link.target;
        case Picture:
            return leadsToPicture(link) ? tr("Picture")
                   : link.isPicture     ? tr("Not a picture")
                                        : QString();
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole)
        return PlainToolTip(ShownAddress(link.address));
    if (role == Qt::FontRole && leadsToPicture(link)) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    return {};
}

QVariant LinksModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Text:
        return tr("Text");
    case Address:
        return tr("Address");
    case Target:
        return tr("Target");
    case Picture:
        return tr("Leads To");
    default:
        return {};
    }
}

LinksFilter::LinksFilter(QObject *parent) : QSortFilterProxyModel(parent)
{
    setSortRole(MediaModel::SortRole);
    setSortCaseSensitivity(Qt::CaseInsensitive);
}

void LinksFilter::setText(const QString &text)
{
    m_text = text.trimmed();
    invalidateFilter();
}

bool LinksFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const auto *model = qobject_cast<const LinksModel *>(sourceModel());
    if (!model || m_text.isEmpty())
        return true;
    const InventoryLink &link = model->links().at(sourceRow);
    return link.text.contains(m_text, Qt::CaseInsensitive) ||
           link.address.contains(m_text, Qt::CaseInsensitive) ||
           link.target.contains(m_text, Qt::CaseInsensitive);
}

QString ShownAddress(const QString &address)
{
    constexpr qsizetype longest = 2000;
    if (address.size() <= longest)
        return address;
    const QString shown = PageInventory::displayAddress(address);
    return shown.size() <= longest ? shown : shown.left(longest) + QChar(0x2026);
}

QString PlainToolTip(const QString &text)
{
    // Escaped text is rich text that holds nothing but characters; the <p>
    // makes Qt read it so even when it has no markup-like character at all.
    constexpr qsizetype longest = 4000;
    const QString shown = text.size() <= longest ? text : text.left(longest) + QChar(0x2026);
    return QStringLiteral("<p style='white-space:pre-wrap'>") + shown.toHtmlEscaped() +
           QStringLiteral("</p>");
}

namespace {

// Control characters (but tab and line ends, which quoting keeps) written as
// \xHH, and format characters (bidirectional overrides, zero-width ones) as
// \uHHHH: a terminal or a spreadsheet shows them, never obeys them.
QString visibleControls(const QString &value)
{
    QString out;
    for (const char32_t u : value.toUcs4()) {
        const bool control = (u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0x7f ||
                             (u >= 0x80 && u < 0xa0);
        if (control)
            out += QStringLiteral("\\x") +
                   QString::number(uint(u), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else if (QChar::category(u) == QChar::Other_Format)
            out += QStringLiteral("\\u") +
                   QString::number(uint(u), 16).toUpper().rightJustified(4, QLatin1Char('0'));
        else
            out += QString::fromUcs4(&u, 1);
    }
    return out;
}

QByteArray csvField(QString value, bool text)
{
    if (text)
        value = visibleControls(value);
    // A spreadsheet runs a cell that starts like a formula.
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (text && !value.isEmpty() && formulaStarts.contains(value.at(0)))
        value.prepend(QLatin1Char('\''));
    if (value.contains(QLatin1Char(',')) || value.contains(QLatin1Char('"')) ||
        value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) ||
        value.startsWith(QLatin1Char('\''))) {
        value.replace(QLatin1String("\""), QLatin1String("\"\""));
        value = QLatin1Char('"') + value + QLatin1Char('"');
    }
    return value.toUtf8();
}

QJsonValue sizeJson(const QSize &size)
{
    if (!size.isValid())
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("width"), size.width()},
                       {QStringLiteral("height"), size.height()}};
}

} // namespace

QByteArray MediaCsv(const QList<InventoryEntry> &pictures, const QList<PictureAnswer> &answers,
                    const QList<PictureReport> &reports)
{
    QByteArray out = "address,kinds,type,width,height,displayed width,displayed height,bytes,"
                     "alt,uses,element,variants,failed,status,problem,source,state,"
                     "bytes transferred,from cache,issues,findings\r\n";
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        const InventoryEntry &e = pictures.at(i);
        const PictureAnswer answer = answers.value(i);
        const bool reported = i < reports.size();
        const PictureReport report = reports.value(i);
        QStringList names;
        QStringList words;
        for (const PictureAudit::Issue &issue : report.issues) {
            names.append(PictureAudit::name(issue.kind));
            words.append(issue.words);
        }
        const bool natural = e.naturalSize.isValid();
        const bool displayed = e.displayedSize.isValid();
        const QList<QByteArray> fields = {
            csvField(e.address, true),
            csvField(e.kinds.join(QLatin1Char(' ')), true),
            csvField(e.mimeType, true),
            natural ? QByteArray::number(e.naturalSize.width()) : QByteArray(),
            natural ? QByteArray::number(e.naturalSize.height()) : QByteArray(),
            displayed ? QByteArray::number(e.displayedSize.width()) : QByteArray(),
            displayed ? QByteArray::number(e.displayedSize.height()) : QByteArray(),
            e.bytes >= 0 ? QByteArray::number(e.bytes) : QByteArray(),
            csvField(e.altText, true),
            QByteArray::number(e.uses),
            csvField(e.element, true),
            csvField(e.variants.join(QLatin1Char(' ')), true),
            e.failed ? QByteArray("true") : QByteArray("false"),
            answer.status > 0 ? QByteArray::number(answer.status) : QByteArray(),
            csvField(answer.problem, true),
            csvField(report.source, true),
            reported ? csvField(report.state.name(), true) : QByteArray(),
            report.state.transferred > 0 ? QByteArray::number(report.state.transferred)
                                         : QByteArray(),
            reported ? QByteArray(report.state.fromCache ? "true" : "false") : QByteArray(),
            csvField(names.join(QLatin1Char(' ')), true),
            csvField(words.join(QStringLiteral("; ")), true),
        };
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i > 0)
                out += ',';
            out += fields.at(i);
        }
        out += "\r\n";
    }
    return out;
}

QJsonObject MediaJsonObject(const InventoryEntry &e, const PictureAnswer &answer,
                            const PictureReport *report)
{
    const bool notPicture =
        answer.verdict == PictureAnswer::Verdict::NotPicture && MediaModel::candidateOnly(e);
    QJsonObject object{
        {QStringLiteral("address"), e.address},
        {QStringLiteral("kinds"), QJsonArray::fromStringList(e.kinds)},
        {QStringLiteral("type"), e.mimeType},
        {QStringLiteral("natural"), sizeJson(e.naturalSize)},
        {QStringLiteral("displayed"), sizeJson(e.displayedSize)},
        {QStringLiteral("bytes"), e.bytes >= 0 ? QJsonValue(double(e.bytes)) : QJsonValue()},
        {QStringLiteral("alt"), e.altText},
        {QStringLiteral("uses"), e.uses},
        {QStringLiteral("element"), e.element},
        {QStringLiteral("failed"), e.failed},
        {QStringLiteral("notPicture"), notPicture},
        {QStringLiteral("status"), answer.status > 0 ? QJsonValue(answer.status) : QJsonValue()},
        {QStringLiteral("problem"),
         answer.problem.isEmpty() ? QJsonValue() : QJsonValue(answer.problem)},
        {QStringLiteral("variants"), QJsonArray::fromStringList(e.variants)},
    };
    if (!report)
        return object;
    object.insert(QStringLiteral("source"),
                  report->source.isEmpty() ? QJsonValue() : QJsonValue(report->source));
    const PictureState &state = report->state;
    object.insert(
        QStringLiteral("state"),
        QJsonObject{{QStringLiteral("name"), state.name()},
                    {QStringLiteral("text"), state.text()},
                    {QStringLiteral("transferred"),
                     state.transferred > 0 ? QJsonValue(double(state.transferred)) : QJsonValue()},
                    {QStringLiteral("fromCache"), state.fromCache},
                    {QStringLiteral("failure"),
                     state.failure.isEmpty() ? QJsonValue() : QJsonValue(state.failure)}});
    QJsonArray issues;
    for (const PictureAudit::Issue &issue : report->issues)
        issues.append(
            QJsonObject{{QStringLiteral("name"), PictureAudit::name(issue.kind)},
                        {QStringLiteral("words"), issue.words},
                        {QStringLiteral("savings"),
                         issue.savings >= 0 ? QJsonValue(double(issue.savings)) : QJsonValue()}});
    object.insert(QStringLiteral("issues"), issues);
    return object;
}

QByteArray MediaJson(const Inventory &inventory, const QList<InventoryEntry> &pictures,
                     const QList<PictureAnswer> &answers, const QList<PictureReport> &reports)
{
    QJsonArray list;
    for (qsizetype i = 0; i < pictures.size(); ++i)
        list.append(MediaJsonObject(pictures.at(i), answers.value(i),
                                    i < reports.size() ? &reports.at(i) : nullptr));
    const QJsonObject root{{QStringLiteral("page"), inventory.pageAddress},
                           {QStringLiteral("title"), inventory.title},
                           {QStringLiteral("pictures"), list}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray LinksCsv(const QList<InventoryLink> &links)
{
    QByteArray out = "text,address,target,picture\r\n";
    for (const InventoryLink &link : links) {
        out += csvField(link.text.simplified(), true) + ',' + csvField(link.address, true) + ',' +
               csvField(link.target, true) + ',' + (link.isPicture ? "true" : "false") + "\r\n";
    }
    return out;
}

QByteArray LinksJson(const Inventory &inventory, const QList<InventoryLink> &links)
{
    QJsonArray list;
    for (const InventoryLink &link : links) {
        list.append(QJsonObject{
            {QStringLiteral("text"), link.text.simplified()},
            {QStringLiteral("address"), link.address},
            {QStringLiteral("target"), link.target},
            {QStringLiteral("picture"), link.isPicture},
        });
    }
    const QJsonObject root{{QStringLiteral("page"), inventory.pageAddress},
                           {QStringLiteral("title"), inventory.title},
                           {QStringLiteral("links"), list}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
