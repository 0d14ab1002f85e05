#include "harvest/Harvest.h"
#include "harvest/TextRules.h"
#include "harvest/UrlHelpers.h"

#include <QSet>

#include <utility>
#include <vector>

using namespace harvest;

namespace {

const QLatin1StringView kHttp("http://");
const QLatin1StringView kCrLf("\r\n");

struct ScanKind {
    QLatin1StringView marker; // lower case, as written in front of each line
    QLatin1StringView search; // the attribute whose value is taken
    int k;                    // the pair of lists that receives the entries
    bool links;
};

const ScanKind kImageTags{QLatin1StringView("<img"), QLatin1StringView("src="), 1, false};
const ScanKind kImageLinks{QLatin1StringView("<a "), QLatin1StringView("href="), 0, true};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f';
}

// Does the line name an image (tags) or a link to a picture file (links)?
bool lineCounts(QStringView line, const ScanKind &kind)
{
    if (!kind.links)
        return containsIgnoringCase(line, QLatin1StringView("src="));
    if (!containsIgnoringCase(line, QLatin1StringView("href=")) || !line.contains(u'>'))
        return false;
    return containsIgnoringCase(line, QLatin1StringView(".bmp")) ||
           containsIgnoringCase(line, QLatin1StringView(".gif")) ||
           containsIgnoringCase(line, QLatin1StringView(".jpeg")) ||
           containsIgnoringCase(line, QLatin1StringView(".jpg"));
}

// The value of the search attribute of a line that holds it.
QString extractValue(QStringView line, QLatin1StringView search)
{
    const qsizetype at = indexOfIgnoringCase(line, search);
    if (at < 0)
        return {};
    // From the attribute to the first ">" after it, or to the end of the line when
    // the tag goes on on the next line.
    const qsizetype close = line.indexOf(u'>', at + search.size());
    QString text = (close < 0 ? line.mid(at) : line.mid(at, close - at + 1)).toString();
    text.replace(u'\'', u'"');
    text.remove(0, search.size());
    replaceEveryIgnoringCase(text, QLatin1StringView("href="));
    if (text.startsWith(u'"')) {
        // Quoted: up to the closing quote, or to the end when it has none.
        const qsizetype end = text.indexOf(u'"', 1);
        return end < 0 ? text.mid(1) : text.mid(1, end - 1);
    }
    // Unquoted: up to the first blank or ">".
    qsizetype end = 0;
    while (end < text.size() && !isBlank(text.at(end)) && text.at(end) != u'>')
        ++end;
    text.truncate(end);
    text.remove(u'"');
    return text;
}

// The page folder and the folders above it, up to the site root. Climbing a level
// normally cuts the folder after its next "/" from the end, so the whole chain is
// kept as cut positions in one text: memory and time stay linear in the folder's
// length however deep it is. Only a folder with "http://" inside it (in a query,
// say) changes on its way up; those few steps are taken one by one.
class FolderClimber {
public:
    explicit FolderClimber(const QString &folder) : m_top(folder) {}

    // The folder `levels` above the page folder, never above the site root.
    QString up(qsizetype levels)
    {
        if (!m_built)
            build();
        if (levels < qsizetype(m_changed.size()))
            return m_changed[size_t(levels)];
        levels -= qsizetype(m_changed.size());
        if (m_cuts.empty() || levels == 0)
            return m_top;
        return m_top.left(m_cuts[size_t(qMin(levels, qsizetype(m_cuts.size()))) - 1]);
    }

private:
    static bool changesOnTheWayUp(const QString &folder)
    {
        const qsizetype from = folder.startsWith(kHttp) ? kHttp.size() : 0;
        return indexOfIgnoringCase(folder, kHttp, from) >= 0;
    }

    void build()
    {
        m_built = true;
        // A folder with "http://" inside loses it on the first step up; a crafted
        // one may need a few more. Beyond that the climb ends where it is.
        constexpr int kMostChangingSteps = 16;
        while (changesOnTheWayUp(m_top)) {
            if (m_top == SiteRootOf(m_top) || int(m_changed.size()) >= kMostChangingSteps)
                return;
            QString up = BaseDirectoryOf(m_top);
            if (up.size() >= m_top.size())
                return;
            m_changed.push_back(std::exchange(m_top, std::move(up)));
        }
        const qsizetype root = SiteRootOf(m_top).size();
        qsizetype length = m_top.size();
        while (length > root) {
            const qsizetype slash = m_top.lastIndexOf(u'/', length - 2);
            if (slash < 0)
                break;
            length = slash + 1;
            m_cuts.push_back(length);
        }
    }

    QString m_top;                  // the folder where the cutting starts
    std::vector<QString> m_changed; // folders above the page folder that are no cut
    std::vector<qsizetype> m_cuts;  // lengths of m_top one, two... levels up
    bool m_built = false;
};

// Turns the values of one scan into addresses. Everything that depends only on the
// page address is worked out once.
class Resolver {
public:
    explicit Resolver(const QString &originalPageUrl, const QString &base)
        : m_climber(folderOf(base))
    {
        m_pageScheme = SchemeOf(originalPageUrl);
        m_filePage = m_pageScheme == u"file";

        m_relativeBase = base;
        const bool hadScheme = replaceEveryIgnoringCase(m_relativeBase, kHttp) > 0;
        if (!m_relativeBase.endsWith(u'/'))
            m_relativeBase = BaseDirectoryOf(m_relativeBase);
        replaceEveryIgnoringCase(m_relativeBase, QLatin1StringView("hometown.aol"),
                                 QLatin1StringView("members.aol"));
        if (hadScheme)
            m_relativeBase.prepend(kHttp);

        if (m_pageScheme == u"https" || m_filePage) {
            m_rootBase = SiteRootOf(base);
        } else if (containsIgnoringCase(base, kHttp)) {
            QString host = base;
            replaceEveryIgnoringCase(host, kHttp);
            const qsizetype slash = host.indexOf(u'/');
            m_rootBase = kHttp + (slash < 0 ? QString() : host.left(slash + 1));
        } else {
            m_rootBase = base;
        }
    }

    bool filePage() const { return m_filePage; }

    // The address of a value; false when the value may not be recorded.
    bool resolve(const QString &value, QString *address)
    {
        const QString scheme = SchemeOf(value);
        if (!scheme.isEmpty()) {
            if (!IsAllowedAddress(value, m_filePage))
                return false;
            *address = value;
        } else if (value.startsWith(QLatin1StringView("//"))) {
            *address =
                (m_pageScheme.isEmpty() ? QStringLiteral("http") : m_pageScheme) + u':' + value;
        } else if (value.contains(QLatin1StringView("../"))) {
            QString rest = value;
            const qsizetype ups = removeEvery(rest, QLatin1StringView("../"));
            *address = m_climber.up(ups) + rest;
        } else if (value.startsWith(u'/')) {
            *address = m_rootBase + value.mid(1);
        } else {
            *address = m_relativeBase + value;
        }
        return IsAllowedAddress(*address, m_filePage);
    }

private:
    // The folder that relative values are joined to.
    static QString folderOf(const QString &base)
    {
        QString folder = base;
        const bool hadScheme = replaceEveryIgnoringCase(folder, kHttp) > 0;
        if (!folder.endsWith(u'/'))
            folder = BaseDirectoryOf(folder);
        if (hadScheme)
            folder.prepend(kHttp);
        return folder;
    }

    QString m_pageScheme;
    bool m_filePage = false;
    QString m_relativeBase;
    QString m_rootBase;
    FolderClimber m_climber;
};

void scan(const ScanKind &kind, const QString &pageText, QString &pageUrl, ResultLists &lists,
          ScanBudget *budget, const std::function<void(const QByteArray &)> &writeClean)
{
    const QString originalUrl = pageUrl;
    // The page's folder, unless the address ends in "/" or in a top-level domain of
    // the old web.
    if (!pageUrl.endsWith(u'/') && !pageUrl.endsWith(QLatin1StringView(".com")) &&
        !pageUrl.endsWith(QLatin1StringView(".net")) &&
        !pageUrl.endsWith(QLatin1StringView(".edu")) &&
        !pageUrl.endsWith(QLatin1StringView(".gov")))
        pageUrl = BaseDirectoryOf(pageUrl);

    // The scan reads spans of the page text in place; only a link scan of a page
    // that holds "cgi-bin/i/" works on a copy without it.
    const harvest::ScanSpans spans = harvest::FindScanSpans(pageText, kind.links);
    if (writeClean) {
        // The clean file is written twice, as the scan makes it; it is not read back.
        writeClean(spans.cleanText(false));
        writeClean(spans.cleanText(true));
    }

    Resolver resolver(originalUrl, pageUrl);
    QStringList &addresses = lists.Links[kind.k];
    QStringList &keys = lists.Keys[kind.k];
    QSet<QString> known(keys.cbegin(), keys.cend());
    for (const harvest::ScanSpans::Piece &piece : spans.pieces) {
        if (!piece.tag)
            continue;
        const QStringView line = spans.view(piece);
        if (!lineCounts(line, kind))
            continue;
        const QString value = extractValue(line, kind.search);
        if (value.size() > kLongestRecordedValue) {
            // No browser opens an address this long; it would cost megabytes in
            // every list and view.
            if (budget)
                ++budget->refused;
            continue;
        }
        const QString key = ImageFileName(value);
        if (known.contains(key))
            continue;
        QString address;
        if (!resolver.resolve(value, &address))
            continue;
        if (budget && budget->charsLeft >= 0) {
            // Once the lists are full, nothing more is recorded.
            const qsizetype cost = address.size() + key.size();
            if (budget->refused > 0 || cost > budget->charsLeft) {
                ++budget->refused;
                continue;
            }
            budget->charsLeft -= cost;
        }
        addresses.append(address);
        keys.append(key);
        known.insert(key);
    }
}

void scanFile(const ScanKind &kind, QString &pageUrl, const WorkingFiles &files, ResultLists &lists)
{
    QString fileText;
    if (!files.read(WorkingFiles::CheckImages, &fileText))
        return;
    // The file holds the page text and the CR LF its write added.
    if (fileText.endsWith(kCrLf))
        fileText.chop(2);
    scan(kind, fileText, pageUrl, lists, nullptr, [&files](const QByteArray &text) {
        files.writeReplaceBytes(WorkingFiles::CheckImagesClean, text);
    });
}

} // namespace

namespace harvest {

ScanSpans FindScanSpans(const QString &fileText, bool links)
{
    const QLatin1StringView marker = links ? kImageLinks.marker : kImageTags.marker;
    ScanSpans out;
    out.marker = marker;
    out.text = &fileText;
    if (links && containsIgnoringCase(fileText, QLatin1StringView("cgi-bin/i/"))) {
        // The removal never crosses a line break, so it can be made on the whole text.
        out.cleaned = fileText;
        replaceEveryIgnoringCase(out.cleaned, QLatin1StringView("cgi-bin/i/"));
        out.usesCleaned = true;
    }
    const QString &text = out.source();
    const qsizetype n = text.size();
    qsizetype start = 0;
    bool firstKept = true;
    while (start < n) {
        qsizetype end = text.indexOf(u'\r', start);
        qsizetype next;
        if (end < 0) {
            end = n;
            next = n;
        } else {
            next = (end + 1 < n && text.at(end + 1) == u'\n') ? end + 2 : end + 1;
        }
        const QStringView line = QStringView(text).mid(start, end - start);
        qsizetype at = indexOfIgnoringCase(line, marker);
        if (at >= 0) {
            // The text before the first tag keeps a line of its own; each tag starts a
            // new line that runs to the next tag or to the end of the text line.
            if (at > 0 || firstKept)
                out.pieces.push_back({start, at, false});
            firstKept = false;
            while (at >= 0) {
                const qsizetype following = indexOfIgnoringCase(line, marker, at + marker.size());
                const qsizetype stop = following < 0 ? line.size() : following;
                out.pieces.push_back({start + at, stop - at, true});
                at = following;
            }
        }
        start = next;
    }
    return out;
}

QByteArray ScanSpans::cleanText(bool tagsOnly) const
{
    QByteArray out;
    qsizetype size = 0;
    for (const Piece &piece : pieces)
        size += piece.length + 2;
    out.reserve(size + size / 8);
    for (const Piece &piece : pieces) {
        if (tagsOnly && !piece.tag)
            continue;
        if (piece.tag) {
            // Each tag begins with its marker written in lower case.
            out.append(marker.data(), marker.size());
            out.append(view(piece).mid(marker.size()).toUtf8());
        } else {
            out.append(view(piece).toUtf8());
        }
        out.append("\r\n", 2);
    }
    return out;
}

ScanLines SplitScanLines(const QString &fileText, bool links)
{
    const ScanSpans spans = FindScanSpans(fileText, links);
    ScanLines out;
    out.oneTagPerLine = QString::fromUtf8(spans.cleanText(false));
    for (const ScanSpans::Piece &piece : spans.pieces) {
        if (piece.tag)
            out.lines.append(QString(spans.marker) +
                             spans.view(piece).mid(spans.marker.size()).toString());
    }
    return out;
}

} // namespace harvest

void ScanImageTags(QString &pageUrl, const WorkingFiles &files, ResultLists &lists)
{
    scanFile(kImageTags, pageUrl, files, lists);
}

void ScanImageLinks(QString &pageUrl, const WorkingFiles &files, ResultLists &lists)
{
    scanFile(kImageLinks, pageUrl, files, lists);
}

namespace harvest {

void ScanText(bool links, const QString &pageText, QString &pageUrl, ResultLists &lists,
              ScanBudget *budget, const std::function<void(const QByteArray &)> &writeClean)
{
    scan(links ? kImageLinks : kImageTags, pageText, pageUrl, lists, budget, writeClean);
}

} // namespace harvest
