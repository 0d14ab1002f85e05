#include "harvest/Harvest.h"
#include "harvest/NameLinker.h"
#include "harvest/UrlHelpers.h"

#include <cstring>

namespace {

// Appends text to out as UTF-8, as QString::toUtf8() would write it (a lone
// surrogate becomes "?"), escaping it for the Source Code page on the way:
// "&" and "<" become references, CR and LF become "<BR>", and the other C0 control
// characters but tab become their visible symbols.
void appendEscaped(QByteArray &out, QStringView text)
{
    const char16_t *data = text.utf16();
    const qsizetype n = text.size();
    constexpr qsizetype kChunk = 8192;
    qsizetype i = 0;
    while (i < n) {
        const qsizetype chunkStart = i;
        const qsizetype chunkEnd = qMin(n, chunkStart + kChunk);
        // Room for the worst case of this chunk ("&amp;" for every character), then
        // written through a plain pointer and cut back to what was written.
        const qsizetype used = out.size();
        out.resize(used + (chunkEnd - chunkStart) * 5 + 4);
        char *const begin = out.data() + used;
        char *w = begin;
        for (; i < chunkEnd; ++i) {
            const char16_t c = data[i];
            if (c < 0x80) {
                switch (c) {
                case u'&':
                    std::memcpy(w, "&amp;", 5);
                    w += 5;
                    break;
                case u'<':
                    std::memcpy(w, "&lt;", 4);
                    w += 4;
                    break;
                case u'\r':
                case u'\n':
                    std::memcpy(w, "<BR>", 4);
                    w += 4;
                    break;
                case u'\t':
                    *w++ = '\t';
                    break;
                default:
                    if (c < 0x20) {
                        // The control character's own symbol, U+2400 + c.
                        *w++ = char(0xE2);
                        *w++ = char(0x90);
                        *w++ = char(0x80 | c);
                    } else {
                        *w++ = char(c);
                    }
                }
            } else if (c < 0x800) {
                *w++ = char(0xC0 | (c >> 6));
                *w++ = char(0x80 | (c & 0x3F));
            } else if (QChar::isHighSurrogate(c) && i + 1 < n &&
                       QChar::isLowSurrogate(data[i + 1])) {
                const char32_t u = QChar::surrogateToUcs4(c, data[i + 1]);
                ++i;
                *w++ = char(0xF0 | (u >> 18));
                *w++ = char(0x80 | ((u >> 12) & 0x3F));
                *w++ = char(0x80 | ((u >> 6) & 0x3F));
                *w++ = char(0x80 | (u & 0x3F));
            } else if (QChar::isSurrogate(c)) {
                *w++ = '?';
            } else {
                *w++ = char(0xE0 | (c >> 12));
                *w++ = char(0x80 | ((c >> 6) & 0x3F));
                *w++ = char(0x80 | (c & 0x3F));
            }
        }
        // A surrogate pair across the chunk's end was written whole; i is past it.
        out.resize(used + (w - begin));
    }
}

} // namespace

namespace harvest {

QString AttributeSafe(const QString &address)
{
    QString out;
    out.reserve(address.size());
    for (const QChar c : address) {
        switch (c.unicode()) {
        case u'<':
            out.append(QLatin1StringView("&lt;"));
            break;
        case u'>':
            out.append(QLatin1StringView("&gt;"));
            break;
        case u'"':
            out.append(QLatin1StringView("&quot;"));
            break;
        case u'\'':
            out.append(QLatin1StringView("&#39;"));
            break;
        default:
            if (c.unicode() < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') {
                // As the engine's address parser would write it, so that no control
                // character reaches the page.
                out.append(u'%');
                out.append(QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper());
            } else {
                out.append(c);
            }
        }
    }
    return out;
}

Limits Limits::forPage(const QString &pageText)
{
    Limits limits;
    limits.pageBytes = Utf8Length(pageText);
    const qsizetype n = limits.pageBytes;
    limits.listChars = 3 * n + (qsizetype(1) << 20);
    limits.nameNodes = n / 16 + (qsizetype(64) << 10);
    limits.anchorBytes = 2 * n + (qsizetype(512) << 10);
    limits.imagePageBytes = 4 * n + (qsizetype(512) << 10);
    return limits;
}

qsizetype Utf8Length(QStringView text)
{
    qsizetype bytes = 0;
    const char16_t *data = text.utf16();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = data[i];
        if (c < 0x80) {
            bytes += 1;
        } else if (c < 0x800) {
            bytes += 2;
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(data[i + 1])) {
            bytes += 4;
            ++i;
        } else {
            bytes += QChar::isSurrogate(c) ? 1 : 3;
        }
    }
    return bytes;
}

QString SourceCutNotice(const SourcePageCuts &cuts)
{
    if (cuts.linked == cuts.occurrences && cuts.namesLeftOut == 0)
        return {};
    return QStringLiteral("[Quarrow linked %1 of the %2 places where a recorded file name "
                          "appears; %3 names are not linked at all. Linking everything would "
                          "make this view far larger than the page.]")
        .arg(cuts.linked)
        .arg(cuts.occurrences)
        .arg(cuts.namesLeftOut);
}

QString ImageCutNotice(qsizetype shown, qsizetype recorded)
{
    if (shown >= recorded)
        return {};
    return QStringLiteral("[Quarrow shows the first %1 of %2 pictures; showing them all would "
                          "make this view far larger than the page.]")
        .arg(shown)
        .arg(recorded);
}

QByteArray BuildSourcePage(const QString &pageText, const ResultLists &lists, SourcePageCuts *cuts)
{
    const Limits limits = Limits::forPage(pageText);
    SourcePageCuts counts;
    // Links to images first, then images; within a kind in recorded order. The
    // first name added wins between equal names. Names too long, or beyond what the
    // page's limits allow, are left as text.
    NameLinker linker;
    std::vector<const QString *> targets;
    for (int k = 0; k < 2; ++k) {
        const qsizetype count = qMin(lists.Links[k].size(), lists.Keys[k].size());
        for (qsizetype i = 0; i < count; ++i) {
            const QString &name = lists.Keys[k].at(i);
            if (name.isEmpty())
                continue;
            if (name.size() > kLongestLinkedName ||
                linker.nodeCount() + linker.nodesNeeded(name) > limits.nameNodes) {
                ++counts.namesLeftOut;
                continue;
            }
            linker.addName(name, int(targets.size()));
            targets.push_back(&lists.Links[k].at(i));
        }
    }

    QByteArray out;
    out.reserve(pageText.size() + pageText.size() / 4 + 64);
    out.append(kByteOrderMark);
    std::vector<QByteArray> openTags(targets.size());
    qsizetype anchorBytesLeft = limits.anchorBytes;
    qsizetype done = 0;
    linker.findAll(pageText, [&](const NameLinker::Match &match) {
        ++counts.occurrences;
        QByteArray &open = openTags[size_t(match.id)];
        if (open.isEmpty() && anchorBytesLeft > 0)
            open = "<a href='" + AttributeSafe(*targets[size_t(match.id)]).toUtf8() + "'>";
        // Once one anchor does not fit, none after it is made.
        const qsizetype cost = open.size() + 4;
        if (counts.linked < counts.occurrences - 1 || open.isEmpty() || cost > anchorBytesLeft)
            return;
        anchorBytesLeft -= cost;
        ++counts.linked;
        appendEscaped(out, QStringView(pageText).mid(done, match.position - done));
        out.append(open);
        appendEscaped(out, QStringView(pageText).mid(match.position, match.length));
        out.append("</a>", 4);
        done = match.position + match.length;
    });
    appendEscaped(out, QStringView(pageText).mid(done));
    const QString notice = SourceCutNotice(counts);
    if (!notice.isEmpty())
        out.insert(qsizetype(sizeof(kByteOrderMark) - 1), notice.toUtf8() + "<BR>");
    if (cuts)
        *cuts = counts;
    return out;
}

QString VisibleControls(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\r' && c != u'\n')
            c = QChar(0x2400 + c.unicode());
    }
    return out;
}

QByteArray BuildImagePageBytes(const ResultLists &lists, qsizetype byteLimit, qsizetype *shown)
{
    // Made as UTF-8 straight away: a page of long addresses is never held twice.
    QByteArray page(kByteOrderMark);
    const QStringList &addresses = lists.Links[1];
    const qsizetype recorded = qMin(lists.Keys[1].size(), addresses.size());
    qsizetype blocks = 0;
    for (; blocks < recorded; ++blocks) {
        const QString &stored = addresses.at(blocks);
        // Only an address without any scheme gets "http://" in front.
        const QByteArray target =
            AttributeSafe(SchemeOf(stored).isEmpty() ? QStringLiteral("http://") + stored : stored)
                .toUtf8();
        const QByteArray caption = AttributeSafe(VisibleControls(stored)).toUtf8();
        const qsizetype blockBytes = 2 * target.size() + caption.size() + 48;
        if (byteLimit >= 0 && page.size() + blockBytes > byteLimit)
            break;
        page += "<a href='" + target + "'><img src='" + target + "'></a><BR>" + caption +
                "<BR><BR><BR>";
    }
    const QString notice = ImageCutNotice(blocks, recorded);
    if (!notice.isEmpty())
        page.insert(qsizetype(sizeof(kByteOrderMark) - 1), notice.toUtf8() + "<BR><BR>");
    if (shown)
        *shown = blocks;
    return page;
}

QString BuildImagePage(const ResultLists &lists, qsizetype byteLimit, qsizetype *shown)
{
    return QChar(0xFEFF) + QString::fromUtf8(BuildImagePageBytes(lists, byteLimit, shown).mid(3));
}

} // namespace harvest
