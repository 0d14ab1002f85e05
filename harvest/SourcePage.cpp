#include "harvest/Harvest.h"
#include "harvest/NameLinker.h"
#include "harvest/UrlHelpers.h"

#include <cstring>
#include <utility>
#include <vector>

namespace {

// What each byte of the page becomes in the Source Code page: 0 for itself, else
// the escape kind.
enum Escape : unsigned char { Keep, Amp, Less, Break, Control };

struct EscapeTable {
    Escape kind[256];
    constexpr EscapeTable() : kind()
    {
        for (int c = 0; c < 256; ++c)
            kind[c] = Keep;
        for (int c = 0; c < 0x20; ++c)
            kind[c] = Control;
        kind[int('\t')] = Keep;
        kind[int('\r')] = Break;
        kind[int('\n')] = Break;
        kind[int('&')] = Amp;
        kind[int('<')] = Less;
    }
};

constexpr EscapeTable kEscapes;

// Appends UTF-8 text to out escaped for the Source Code page: "&" and "<" become
// references, CR and LF become "<BR>", and the other C0 control characters but tab
// become their visible symbols. Runs of plain bytes are copied whole.
void appendEscaped(QByteArray &out, QByteArrayView text)
{
    const char *data = text.data();
    const qsizetype n = text.size();
    qsizetype done = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const Escape kind = kEscapes.kind[uchar(data[i])];
        if (kind == Keep)
            continue;
        out.append(data + done, i - done);
        done = i + 1;
        switch (kind) {
        case Amp:
            out.append("&amp;", 5);
            break;
        case Less:
            out.append("&lt;", 4);
            break;
        case Break:
            out.append("<BR>", 4);
            break;
        default: {
            // The control character's own symbol, U+2400 + c.
            const char symbol[3] = {char(0xE2), char(0x90), char(0x80 | data[i])};
            out.append(symbol, 3);
        }
        }
    }
    out.append(data + done, n - done);
}

// Appends an address to out in UTF-8 (a lone surrogate as "?", as toUtf8() writes
// it), as AttributeSafe() writes it; controls: with the C0 control characters other
// than tab, CR and LF shown as VisibleControls() shows them instead.
void appendAttributeSafe(QByteArray &out, QStringView address, bool controls = false)
{
    const char16_t *data = address.utf16();
    const qsizetype n = address.size();
    // Room for the longest form of every character ("&quot;"), written through a
    // plain pointer and cut back to what was written.
    const qsizetype used = out.size();
    out.resize(used + n * 6);
    char *const begin = out.data() + used;
    char *w = begin;
    const auto put = [&w](const char *text, int length) {
        std::memcpy(w, text, size_t(length));
        w += length;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = data[i];
        // Most characters of an address stand for themselves.
        if (c > 0x27 && c < 0x7F && c != u'<' && c != u'>') {
            *w++ = char(c);
            continue;
        }
        if (c >= 0x80) {
            if (c < 0x800) {
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
            continue;
        }
        switch (c) {
        case u'<':
            put("&lt;", 4);
            break;
        case u'>':
            put("&gt;", 4);
            break;
        case u'"':
            put("&quot;", 6);
            break;
        case u'\'':
            put("&#39;", 5);
            break;
        default:
            if (c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') {
                if (controls) {
                    // U+2400 + c, the control character's own symbol.
                    *w++ = char(0xE2);
                    *w++ = char(0x90);
                    *w++ = char(0x80 | c);
                } else {
                    // As the engine's address parser would write it.
                    static const char hex[] = "0123456789ABCDEF";
                    *w++ = '%';
                    *w++ = hex[c >> 4];
                    *w++ = hex[c & 0xF];
                }
            } else {
                *w++ = char(c);
            }
        }
    }
    out.resize(used + (w - begin));
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
    return forBytes(Utf8Length(pageText));
}

Limits Limits::forBytes(qsizetype pageBytes)
{
    Limits limits;
    limits.pageBytes = pageBytes;
    const qsizetype n = pageBytes;
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
    const QByteArray text = pageText.toUtf8();
    QByteArray out;
    out.reserve(text.size() + text.size() / 4 + 64);
    WriteSourcePage(
        text, lists, [&out](QByteArrayView piece) { out.append(piece); }, [&out] { out.clear(); },
        cuts);
    return out;
}

void WriteSourcePage(QByteArrayView pageText, const ResultLists &lists,
                     const std::function<void(QByteArrayView)> &sink,
                     const std::function<void()> &restart, SourcePageCuts *cuts)
{
    const Limits limits = Limits::forBytes(pageText.size());
    SourcePageCuts counts;
    // Links to images first, then images; within a kind in recorded order. The
    // first name added wins between equal names. Names too long, or beyond what the
    // page's limits allow, are left as text.
    NameLinker linker;
    std::vector<const QString *> targets;
    // When all names together fit in the tables, no name needs to be weighed alone.
    qsizetype allNames = 1;
    for (int k = 0; k < 2; ++k) {
        const qsizetype count = qMin(lists.Links[k].size(), lists.Keys[k].size());
        for (qsizetype i = 0; i < count; ++i) {
            const QString &name = lists.Keys[k].at(i);
            if (name.size() <= kLongestLinkedName)
                allNames += Utf8Length(name);
        }
    }
    const bool allFit = allNames <= limits.nameNodes;
    linker.reserve(qMin(allNames, limits.nameNodes));
    targets.reserve(size_t(lists.Links[0].size() + lists.Links[1].size()));
    for (int k = 0; k < 2; ++k) {
        const qsizetype count = qMin(lists.Links[k].size(), lists.Keys[k].size());
        for (qsizetype i = 0; i < count; ++i) {
            const QString &name = lists.Keys[k].at(i);
            if (name.isEmpty())
                continue;
            if (name.size() > kLongestLinkedName) {
                ++counts.namesLeftOut;
                continue;
            }
            const QByteArray bytes = name.toUtf8();
            if (!allFit && linker.nodeCount() + linker.nodesNeeded(bytes) > limits.nameNodes) {
                ++counts.namesLeftOut;
                continue;
            }
            linker.addName(bytes, int(targets.size()));
            targets.push_back(&lists.Links[k].at(i));
        }
    }

    // The page is made in pieces of about this many bytes.
    constexpr qsizetype kPiece = qsizetype(256) << 10;
    // The length of each target's opening anchor once its name is first linked, or
    // -1; the anchor itself is written afresh each time, which costs less than
    // keeping them all.
    std::vector<qsizetype> openLength;
    QByteArray scratch;
    QByteArray out;
    const auto appendOpen = [&targets](QByteArray &to, int id) {
        to.append("<a href='");
        appendAttributeSafe(to, *targets[size_t(id)]);
        to.append("'>");
    };
    const auto make = [&](const QByteArray &notice) {
        counts.occurrences = 0;
        counts.linked = 0;
        openLength.assign(targets.size(), -1);
        out.reserve(kPiece + kPiece / 2);
        out.append(kByteOrderMark);
        out.append(notice);
        qsizetype anchorBytesLeft = limits.anchorBytes;
        qsizetype done = 0;
        const auto flush = [&] {
            if (out.size() >= kPiece) {
                sink(out);
                out.resize(0);
            }
        };
        const auto text = [&](QByteArrayView run) {
            while (!run.isEmpty()) {
                const qsizetype piece = qMin(kPiece, run.size());
                appendEscaped(out, run.first(piece));
                run = run.sliced(piece);
                flush();
            }
        };
        linker.findAll(pageText, [&](const NameLinker::Match &match) {
            ++counts.occurrences;
            qsizetype &open = openLength[size_t(match.id)];
            if (open < 0 && anchorBytesLeft > 0) {
                scratch.resize(0);
                appendOpen(scratch, match.id);
                open = scratch.size();
            }
            // Once one anchor does not fit, none after it is made.
            const qsizetype cost = open + 4;
            if (counts.linked < counts.occurrences - 1 || open < 0 || cost > anchorBytesLeft)
                return;
            anchorBytesLeft -= cost;
            ++counts.linked;
            text(pageText.sliced(done, match.position - done));
            appendOpen(out, match.id);
            appendEscaped(out, pageText.sliced(match.position, match.length));
            out.append("</a>", 4);
            done = match.position + match.length;
            flush();
        });
        text(pageText.sliced(done));
        if (!out.isEmpty())
            sink(out);
        out.resize(0);
    };
    make(QByteArray());
    const QString notice = SourceCutNotice(counts);
    if (!notice.isEmpty()) {
        // The first line says what was left out: the page is made again behind it.
        restart();
        make(notice.toUtf8() + "<BR>");
    }
    if (cuts)
        *cuts = counts;
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

void WriteImagePage(const ResultLists &lists, qsizetype byteLimit,
                    const std::function<void(QByteArrayView)> &sink,
                    const std::function<void()> &restart, qsizetype *shown)
{
    const QStringList &addresses = lists.Links[1];
    const qsizetype recorded = qMin(lists.Keys[1].size(), addresses.size());
    // The page is made in pieces of about this many bytes.
    constexpr qsizetype kPiece = qsizetype(256) << 10;
    QByteArray out;
    QByteArray target;
    qsizetype blocks = 0;
    const auto make = [&](const QByteArray &notice) {
        out.reserve(kPiece + kPiece / 2);
        out.append(kByteOrderMark);
        out.append(notice);
        // What the limit counts: the page without the notice.
        qsizetype total = qsizetype(sizeof(kByteOrderMark) - 1);
        for (blocks = 0; blocks < recorded; ++blocks) {
            const QString &stored = addresses.at(blocks);
            // Only an address without any scheme gets "http://" in front.
            target.resize(0);
            if (SchemeOf(stored).isEmpty())
                target.append("http://");
            appendAttributeSafe(target, stored);
            const qsizetype mark = out.size();
            out.append("<a href='");
            out.append(target);
            out.append("'><img src='");
            out.append(target);
            out.append("'></a><BR>");
            appendAttributeSafe(out, stored, true);
            out.append("<BR><BR><BR>");
            // The block's size as the limit counts it: the caption's bytes, the
            // address twice and 48 for the markup around them (which takes 43).
            const qsizetype written = out.size() - mark;
            if (byteLimit >= 0 && total + written - 43 + 48 > byteLimit) {
                out.truncate(mark);
                break;
            }
            total += written;
            if (out.size() >= kPiece) {
                sink(out);
                out.resize(0);
            }
        }
        if (!out.isEmpty())
            sink(out);
        out.resize(0);
    };
    make(QByteArray());
    const QString notice = ImageCutNotice(blocks, recorded);
    if (!notice.isEmpty()) {
        // The first line says how many are shown: the page is made again behind it.
        restart();
        make(notice.toUtf8() + "<BR><BR>");
    }
    if (shown)
        *shown = blocks;
}

QByteArray BuildImagePageBytes(const ResultLists &lists, qsizetype byteLimit, qsizetype *shown)
{
    QByteArray page;
    WriteImagePage(
        lists, byteLimit, [&page](QByteArrayView piece) { page.append(piece); },
        [&page] { page.clear(); }, shown);
    return page;
}

} // namespace harvest
