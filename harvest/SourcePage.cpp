#include "harvest/Harvest.h"
#include "harvest/NameLinker.h"
#include "harvest/UrlHelpers.h"

#include <cstring>

namespace {

// Appends text to out as UTF-8, as QString::toUtf8() would write it (a lone
// surrogate becomes "?"), escaping it for the Source Code page on the way:
// "&" and "<" become references, CR and LF become "<BR>".
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
                default:
                    *w++ = char(c);
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
            out.append(c);
        }
    }
    return out;
}

QByteArray BuildSourcePage(const QString &pageText, const ResultLists &lists)
{
    // Links to images first, then images; within a kind in recorded order. The
    // first name added wins between equal names.
    NameLinker linker;
    std::vector<const QString *> targets;
    for (int k = 0; k < 2; ++k) {
        const qsizetype count = qMin(lists.Links[k].size(), lists.frmList[k].size());
        for (qsizetype i = 0; i < count; ++i) {
            linker.addName(lists.frmList[k].at(i), int(targets.size()));
            targets.push_back(&lists.Links[k].at(i));
        }
    }
    const std::vector<NameLinker::Match> matches = linker.findAll(pageText);

    QByteArray out;
    out.reserve(pageText.size() + pageText.size() / 4 + 64);
    std::vector<QByteArray> openTags(targets.size());
    qsizetype done = 0;
    for (const NameLinker::Match &match : matches) {
        appendEscaped(out, QStringView(pageText).mid(done, match.position - done));
        QByteArray &open = openTags[size_t(match.id)];
        if (open.isEmpty())
            open = "<a href='" + AttributeSafe(*targets[size_t(match.id)]).toUtf8() + "'>";
        out.append(open);
        appendEscaped(out, QStringView(pageText).mid(match.position, match.length));
        out.append("</a>", 4);
        done = match.position + match.length;
    }
    appendEscaped(out, QStringView(pageText).mid(done));
    return out;
}

QString BuildImagePage(const ResultLists &lists)
{
    QString page;
    const QStringList &addresses = lists.Links[1];
    for (qsizetype i = 0; i < lists.frmList[1].size() && i < addresses.size(); ++i) {
        const QString &stored = addresses.at(i);
        // Only an address without any scheme gets "http://" in front.
        const QString target =
            AttributeSafe(SchemeOf(stored).isEmpty() ? QStringLiteral("http://") + stored : stored);
        page += QLatin1StringView("<a href='") + target + QLatin1StringView("'><img src='") +
                target + QLatin1StringView("'></a><BR>") + AttributeSafe(stored) +
                QLatin1StringView("<BR><BR><BR>");
    }
    return page;
}

} // namespace harvest
