#include "harvest/Harvest.h"
#include "harvest/TextRules.h"
#include "harvest/UrlHelpers.h"

#include <QSet>

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

// Step 6.2: does the line name an image (tags) or a link to a picture file (links)?
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

// Turns the values of one scan into addresses. Everything that depends only on the
// page address is worked out once.
class Resolver {
public:
    explicit Resolver(const QString &originalPageUrl, const QString &base)
    {
        m_pageScheme = SchemeOf(originalPageUrl);
        m_filePage = m_pageScheme == u"file";

        // The folder that relative values are joined to.
        QString folder = base;
        const bool hadScheme = replaceEveryIgnoringCase(folder, kHttp) > 0;
        if (!folder.endsWith(u'/'))
            folder = BaseDirectoryOf(folder);
        if (hadScheme)
            folder.prepend(kHttp);
        m_folders.append(folder);

        m_relativeBase = base;
        replaceEveryIgnoringCase(m_relativeBase, kHttp);
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
            *address = folderUp(ups) + rest;
        } else if (value.startsWith(u'/')) {
            *address = m_rootBase + value.mid(1);
        } else {
            *address = m_relativeBase + value;
        }
        return IsAllowedAddress(*address, m_filePage);
    }

private:
    // The page folder climbed up by levels, never above the site root.
    const QString &folderUp(qsizetype levels)
    {
        while (m_folders.size() <= levels && !m_topReached) {
            const QString &current = m_folders.last();
            const QString up = BaseDirectoryOf(current);
            if (current == SiteRootOf(current) || up.size() >= current.size()) {
                m_topReached = true;
                break;
            }
            m_folders.append(up);
        }
        return m_folders.at(qMin(levels, m_folders.size() - 1));
    }

    QString m_pageScheme;
    bool m_filePage = false;
    QString m_relativeBase;
    QString m_rootBase;
    QStringList m_folders;
    bool m_topReached = false;
};

void scan(const ScanKind &kind, QString &pageUrl, const WorkingFiles &files, ResultLists &lists)
{
    const QString originalUrl = pageUrl;
    // Step 1: the page's folder, unless the address ends in "/" or in a top-level
    // domain of the old web.
    if (!pageUrl.endsWith(u'/') && !pageUrl.endsWith(QLatin1StringView(".com")) &&
        !pageUrl.endsWith(QLatin1StringView(".net")) &&
        !pageUrl.endsWith(QLatin1StringView(".edu")) &&
        !pageUrl.endsWith(QLatin1StringView(".gov")))
        pageUrl = BaseDirectoryOf(pageUrl);

    QStringList lines;
    {
        QString fileText;
        if (!files.read(WorkingFiles::CheckImages, &fileText))
            return;
        ScanLines split = SplitScanLines(fileText, kind.links);
        fileText = QString();
        if (!files.writeReplace(WorkingFiles::CheckImagesClean, split.oneTagPerLine))
            return;
        split.oneTagPerLine = QString();
        QString second;
        qsizetype total = 0;
        for (const QString &line : std::as_const(split.lines))
            total += line.size() + 2;
        second.reserve(total);
        for (const QString &line : std::as_const(split.lines)) {
            second.append(line);
            second.append(kCrLf);
        }
        if (!files.writeReplace(WorkingFiles::CheckImagesClean, second))
            return;
        lines = std::move(split.lines);
    }

    Resolver resolver(originalUrl, pageUrl);
    QStringList &addresses = lists.Links[kind.k];
    QStringList &keys = lists.frmList[kind.k];
    QSet<QString> known(keys.cbegin(), keys.cend());
    for (const QString &line : std::as_const(lines)) {
        if (!lineCounts(line, kind))
            continue;
        const QString value = extractValue(line, kind.search);
        const QString key = ImageFileName(value);
        if (known.contains(key))
            continue;
        QString address;
        if (!resolver.resolve(value, &address))
            continue;
        addresses.append(address);
        keys.append(key);
        known.insert(key);
    }
}

} // namespace

namespace harvest {

ScanLines SplitScanLines(const QString &fileText, bool links)
{
    const QLatin1StringView marker = links ? kImageLinks.marker : kImageTags.marker;
    ScanLines out;
    const qsizetype n = fileText.size();
    qsizetype start = 0;
    bool firstKept = true;
    while (start < n) {
        qsizetype end = fileText.indexOf(u'\r', start);
        qsizetype next;
        if (end < 0) {
            end = n;
            next = n;
        } else {
            next = (end + 1 < n && fileText.at(end + 1) == u'\n') ? end + 2 : end + 1;
        }
        QStringView line = QStringView(fileText).mid(start, end - start);
        QString cleaned;
        if (links && containsIgnoringCase(line, QLatin1StringView("cgi-bin/i/"))) {
            cleaned = line.toString();
            replaceEveryIgnoringCase(cleaned, QLatin1StringView("cgi-bin/i/"));
            line = cleaned;
        }
        qsizetype at = indexOfIgnoringCase(line, marker);
        if (at >= 0) {
            // The text before the first tag keeps a line of its own; each tag starts a
            // new line that runs to the next tag or to the end of the text line.
            if (at > 0) {
                out.oneTagPerLine.append(line.first(at));
                out.oneTagPerLine.append(kCrLf);
            } else if (firstKept) {
                out.oneTagPerLine.append(kCrLf);
            }
            firstKept = false;
            while (at >= 0) {
                const qsizetype following = indexOfIgnoringCase(line, marker, at + marker.size());
                const qsizetype stop = following < 0 ? line.size() : following;
                QString segment;
                segment.reserve(stop - at);
                segment.append(marker);
                segment.append(line.mid(at + marker.size(), stop - at - marker.size()));
                out.oneTagPerLine.append(segment);
                out.oneTagPerLine.append(kCrLf);
                out.lines.append(std::move(segment));
                at = following;
            }
        }
        start = next;
    }
    return out;
}

} // namespace harvest

void ScanImageTags(QString &pageUrl, const WorkingFiles &files, ResultLists &lists)
{
    scan(kImageTags, pageUrl, files, lists);
}

void ScanImageLinks(QString &pageUrl, const WorkingFiles &files, ResultLists &lists)
{
    scan(kImageLinks, pageUrl, files, lists);
}
