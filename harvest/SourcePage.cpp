#include "harvest/Harvest.h"
#include "harvest/NameLinker.h"
#include "harvest/SourceLinks.h"
#include "harvest/UrlHelpers.h"
#include "harvest/Utf8Lists.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <utility>
#include <vector>

using harvest::ByteSink;

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

// The escape for each kind, and its length.
constexpr const char *kEscapeText[] = {"", "&amp;", "&lt;", "<BR>", ""};
constexpr int kEscapeLength[] = {0, 5, 4, 4, 3};
constexpr qsizetype kLongestEscape = 5;

// Writes one byte that is not Keep, escaped.
inline char *writeEscape(char *w, uchar c)
{
    const Escape kind = kEscapes.kind[c];
    if (kind == Control) {
        // The control character's own symbol, U+2400 + c.
        w[0] = char(0xE2);
        w[1] = char(0x90);
        w[2] = char(0x80 | c);
        return w + 3;
    }
    if (kind == Keep) {
        *w = char(c);
        return w + 1;
    }
    std::memcpy(w, kEscapeText[kind], size_t(kEscapeLength[kind]));
    return w + kEscapeLength[kind];
}

// Writes UTF-8 text escaped for the Source Code page: "&" and "<" become
// references, CR and LF become "<BR>", and the other C0 control characters but tab
// become their visible symbols. Runs of plain bytes are copied 16 at a time.
void writeEscaped(ByteSink &out, QByteArrayView text)
{
    const char *p = text.data();
    const char *const end = p + text.size();
    constexpr qsizetype kChunk = (ByteSink::kRoom - 16) / kLongestEscape;
    while (p < end) {
        const char *const stop = p + qMin<qsizetype>(kChunk, end - p);
        // Room for every byte escaped, and for one whole block copied past the end.
        char *w = out.room((stop - p) * kLongestEscape + 16);
#ifdef __SSE2__
        const __m128i lastControl = _mm_set1_epi8(0x1F);
        const __m128i amp = _mm_set1_epi8('&');
        const __m128i less = _mm_set1_epi8('<');
        while (stop - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, lastControl), v);
            const __m128i special = _mm_or_si128(
                control, _mm_or_si128(_mm_cmpeq_epi8(v, amp), _mm_cmpeq_epi8(v, less)));
            const unsigned mask = unsigned(_mm_movemask_epi8(special));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(w), v);
            if (mask == 0) {
                p += 16;
                w += 16;
                continue;
            }
            const int plain = __builtin_ctz(mask);
            p += plain;
            w = writeEscape(w + plain, uchar(*p));
            ++p;
        }
#endif
        for (; p < stop; ++p) {
            const uchar c = uchar(*p);
            if (kEscapes.kind[c] == Keep)
                *w++ = char(c);
            else
                w = writeEscape(w, c);
        }
        out.commit(w);
    }
}

} // namespace

namespace harvest::detail {

// What each byte of an address becomes in an attribute: 0 for itself, else its
// form's length.
struct AttributeTable {
    unsigned char length[256];
    constexpr AttributeTable() : length()
    {
        for (int c = 0; c < 0x20; ++c)
            length[c] = 3; // percent-encoded, or shown as its symbol: three bytes either way
        length[int('\t')] = 0;
        length[int('\r')] = 0;
        length[int('\n')] = 0;
        length[int('<')] = 4;
        length[int('>')] = 4;
        length[int('"')] = 6;
        length[int('\'')] = 5;
    }
};

constexpr AttributeTable kAttribute;

qsizetype attributeSafeSize(QByteArrayView address)
{
    qsizetype size = address.size();
    for (const char c : address) {
        const int length = kAttribute.length[uchar(c)];
        if (length != 0)
            size += length - 1;
    }
    return size;
}

void writeAttributeSafe(ByteSink &out, QByteArrayView address, bool controls)
{
    constexpr qsizetype kChunk = ByteSink::kRoom / 6;
    for (qsizetype from = 0; from < address.size(); from += kChunk) {
        const QByteArrayView piece = address.sliced(from, qMin(kChunk, address.size() - from));
        char *w = out.room(piece.size() * 6);
        for (const char ch : piece) {
            const uchar c = uchar(ch);
            if (kAttribute.length[c] == 0) {
                *w++ = ch;
                continue;
            }
            switch (c) {
            case '<':
                std::memcpy(w, "&lt;", 4);
                w += 4;
                break;
            case '>':
                std::memcpy(w, "&gt;", 4);
                w += 4;
                break;
            case '"':
                std::memcpy(w, "&quot;", 6);
                w += 6;
                break;
            case '\'':
                std::memcpy(w, "&#39;", 5);
                w += 5;
                break;
            default:
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
            }
        }
        out.commit(w);
    }
}

PageLinks::PageLinks(QByteArrayView pageText, const Utf8Lists &lists)
    : m_text(pageText), m_limits(Limits::forBytes(pageText.size()))
{
    // Links to images first, then images; within a kind in recorded order. The
    // first name added wins between equal names. Names too long, or beyond what the
    // page's limits allow, are left as text.
    //
    // When all names together fit in the tables, no name needs to be weighed alone.
    // A name's length in characters counts as the lists' text counts it.
    const auto tooLong = [](QByteArrayView name) {
        return name.size() > kLongestLinkedName && Utf16Length(name) > kLongestLinkedName;
    };
    qsizetype allNames = 1;
    for (int k = 0; k < 2; ++k) {
        const qsizetype count = qMin(lists.Links[k].size(), lists.Keys[k].size());
        for (qsizetype i = 0; i < count; ++i) {
            const QByteArrayView name = lists.Keys[k].at(i);
            if (!tooLong(name))
                allNames += name.size();
        }
    }
    const bool allFit = allNames <= m_limits.nameNodes;
    NameNodeBudget budget(allFit ? 0 : m_limits.nameNodes);
    m_linker.reserve(lists.Keys[0].size() + lists.Keys[1].size());
    m_targets.reserve(size_t(lists.Links[0].size() + lists.Links[1].size()));
    for (int k = 0; k < 2; ++k) {
        const qsizetype count = qMin(lists.Links[k].size(), lists.Keys[k].size());
        for (qsizetype i = 0; i < count; ++i) {
            const QByteArrayView name = lists.Keys[k].at(i);
            if (name.isEmpty())
                continue;
            if (tooLong(name)) {
                ++m_counts.namesLeftOut;
                continue;
            }
            if (!allFit && !budget.take(name)) {
                ++m_counts.namesLeftOut;
                continue;
            }
            m_linker.addName(name, int(m_targets.size()));
            const QByteArrayView address = lists.Links[k].at(i);
            m_targets.push_back(Target{address.data(), address.size(), -1});
        }
    }
}

} // namespace harvest::detail

namespace harvest {

using detail::attributeSafeSize;
using detail::writeAttributeSafe;

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
    {
        ByteArraySink sink(out);
        WriteSourcePage(text, Utf8Lists::fromResultLists(lists), sink, cuts);
    }
    return out;
}

void WriteSourcePage(QByteArrayView pageText, const Utf8Lists &lists, ByteSink &sink,
                     SourcePageCuts *cuts)
{
    detail::PageLinks links(pageText, lists);
    using Target = detail::PageLinks::Target;
    // The whole anchors of the names linked so far, name and all, as they are written:
    // a name used again and again is written in one piece. Only short ones are kept,
    // and no more of them in all than an eighth of the page and a megabyte.
    constexpr qsizetype kLongestKeptAnchor = 512;
    QByteArray anchors;
    qsizetype keptBytesLeft = pageText.size() / 8 + (qsizetype(1) << 20);

    const auto make = [&](QByteArrayView notice) {
        sink.write(kByteOrderMark);
        sink.write(notice);
        qsizetype done = 0;
        links.find([&](const NameLinker::Match &match, Target &target) {
            writeEscaped(sink, pageText.sliced(done, match.position - done));
            done = match.position + match.length;
            if (target.anchor >= 0) {
                sink.write(
                    QByteArrayView(anchors.constData() + target.anchor, target.anchorLength));
                return;
            }
            const auto writeAnchor = [&](ByteSink &to) {
                to.write("<a href='");
                // An address whose anchor is no longer than the address and its markup
                // has nothing to escape.
                if (target.plain())
                    to.write(target.addressBytes());
                else
                    writeAttributeSafe(to, target.addressBytes());
                to.write("'>");
                // Every place of a name escapes the same: CR and LF, the only bytes a
                // name may match otherwise, both become "<BR>".
                writeEscaped(to, pageText.sliced(match.position, match.length));
                to.write("</a>");
            };
            if (!target.linkedBefore) {
                // Most names are linked once or twice: the first anchor is written
                // as it is made.
                target.linkedBefore = true;
                writeAnchor(sink);
                return;
            }
            // A name linked again: its anchor is made aside, and kept when it is short.
            const qsizetype start = anchors.size();
            {
                ByteArraySink to(anchors);
                writeAnchor(to);
            }
            const qsizetype length = anchors.size() - start;
            sink.write(QByteArrayView(anchors.constData() + start, length));
            if (length <= kLongestKeptAnchor && length <= keptBytesLeft) {
                target.anchor = start;
                target.anchorLength = length;
                keptBytesLeft -= length;
            } else {
                anchors.truncate(start);
            }
        });
        writeEscaped(sink, pageText.sliced(done));
    };
    make({});
    const QString notice = SourceCutNotice(links.counts());
    if (!notice.isEmpty()) {
        // The first line says what was left out: the page is made again behind it.
        sink.restart();
        make(notice.toUtf8() + "<BR>");
    }
    sink.flush();
    if (cuts)
        *cuts = links.counts();
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

namespace {

constexpr qsizetype kDataCaptionCharacters = 60;

// The first `count` characters of UTF-8 text (a character is cut off whole).
QByteArrayView firstCharacters(QByteArrayView text, qsizetype count)
{
    qsizetype at = 0;
    for (qsizetype characters = 0; at < text.size() && characters < count; ++characters) {
        ++at;
        while (at < text.size() && (uchar(text[at]) & 0xC0) == 0x80)
            ++at;
    }
    return text.first(at);
}

bool isLongDataAddress(QByteArrayView address)
{
    return address.size() > kDataCaptionCharacters &&
           address.first(5).compare("data:", Qt::CaseInsensitive) == 0 &&
           firstCharacters(address, kDataCaptionCharacters).size() < address.size();
}

} // namespace

void detail::writeImageBlocks(const Utf8Lists &lists, qsizetype byteLimit, ByteSink &sink,
                              ImageBlockFrame &frame, qsizetype *shown)
{
    const Utf8List &addresses = lists.Links[1];
    const qsizetype recorded = qMin(lists.Keys[1].size(), addresses.size());
    // Each block is made aside first: one that does not fit is not written.
    QByteArray target;
    QByteArray caption;
    qsizetype blocks = 0;
    const auto make = [&](QByteArrayView notice) {
        frame.begin(sink, notice);
        // What the limit counts: the page without the notice.
        qsizetype total = qsizetype(sizeof(kByteOrderMark) - 1);
        for (blocks = 0; blocks < recorded; ++blocks) {
            const QByteArrayView stored = addresses.at(blocks);
            // Only an address without any scheme gets "http://" in front.
            const QByteArrayView prefix = HasScheme(stored) ? QByteArrayView() : "http://";
            // Nearly every address has nothing to escape: it is written as it is.
            const bool plain = attributeSafeSize(stored) == stored.size();
            if (!plain) {
                target.resize(0);
                ByteArraySink to(target);
                writeAttributeSafe(to, stored);
                to.flush();
                caption.resize(0);
                ByteArraySink captionTo(caption);
                writeAttributeSafe(captionTo, stored, true);
                captionTo.flush();
            }
            const qsizetype targetSize = prefix.size() + (plain ? stored.size() : target.size());
            const qsizetype captionSize = plain ? stored.size() : caption.size();
            // The block's size as the limit counts it: the caption's bytes, the
            // address twice and 48 for the markup around them (which takes 43).
            const qsizetype written = 43 + 2 * targetSize + captionSize;
            if (byteLimit >= 0 && total + written - 43 + 48 > byteLimit)
                break;
            total += written;
            frame.beforeBlock(sink, blocks);
            for (const QByteArrayView markup :
                 {QByteArrayView("<a href='"), QByteArrayView("'><img src='")}) {
                sink.write(markup);
                sink.write(prefix);
                sink.write(plain ? stored : QByteArrayView(target));
            }
            sink.write("'></a><BR>");
            if (frame.shortDataCaptions() && isLongDataAddress(stored)) {
                writeAttributeSafe(sink, firstCharacters(stored, kDataCaptionCharacters), true);
                sink.write("\u2026");
            } else {
                sink.write(plain ? stored : QByteArrayView(caption));
            }
            sink.write("<BR><BR><BR>");
        }
        frame.end(sink, blocks);
    };
    make({});
    const QString notice = ImageCutNotice(blocks, recorded);
    if (!notice.isEmpty()) {
        // The first line says how many are shown: the page is made again behind it.
        sink.restart();
        make(notice.toUtf8() + "<BR><BR>");
    }
    sink.flush();
    if (shown)
        *shown = blocks;
}

void WriteImagePage(const Utf8Lists &lists, qsizetype byteLimit, ByteSink &sink, qsizetype *shown)
{
    struct File : detail::ImageBlockFrame {
        void begin(ByteSink &to, QByteArrayView notice) override
        {
            to.write(kByteOrderMark);
            to.write(notice);
        }
    } file;
    detail::writeImageBlocks(lists, byteLimit, sink, file, shown);
}

QByteArray BuildImagePageBytes(const ResultLists &lists, qsizetype byteLimit, qsizetype *shown)
{
    QByteArray page;
    {
        ByteArraySink sink(page);
        WriteImagePage(Utf8Lists::fromResultLists(lists), byteLimit, sink, shown);
    }
    return page;
}

} // namespace harvest
