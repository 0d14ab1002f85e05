#include "harvest/SourceView.h"

#include "harvest/SourceLinks.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <vector>

namespace harvest {

namespace {

// The lines of a block, at most; a block is also cut at the first line end once it
// holds this many bytes of the page.
constexpr qsizetype kBlockLines = 400;
constexpr qsizetype kBlockBytes = qsizetype(64) << 10;

// One block of lines: the number of lines before it and in it, and its bytes.
struct Block {
    qsizetype firstLine;
    qsizetype lines;
    qsizetype bytes;
};

// The page's blocks, found before any is written: a block's opening tag says how
// tall it will be, and the style sheet how wide the numbers get.
std::vector<Block> planBlocks(QByteArrayView text)
{
    std::vector<Block> blocks;
    const char *const data = text.data();
    const qsizetype n = text.size();
    qsizetype line = 0;
    Block block{0, 0, 0};
    qsizetype blockStart = 0;
    qsizetype i = 0;
    const auto lineEnd = [&](qsizetype next) {
        ++line;
        ++block.lines;
        if (block.lines == kBlockLines || next - blockStart >= kBlockBytes) {
            block.bytes = next - blockStart;
            blocks.push_back(block);
            block = Block{line, 0, 0};
            blockStart = next;
        }
    };
    while (i < n) {
#ifdef __SSE2__
        if (n - i >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
            const unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(
                _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')))));
            if (mask == 0) {
                i += 16;
                continue;
            }
            i += __builtin_ctz(mask);
        }
#endif
        const char c = data[i++];
        if (c != '\n' && c != '\r')
            continue;
        if (c == '\r' && i < n && data[i] == '\n')
            ++i;
        lineEnd(i);
    }
    // The last line, empty when the text ends in a line break, is a line too.
    block.lines += 1;
    block.bytes = n - blockStart;
    blocks.push_back(block);
    return blocks;
}

// The style of the page's markup: what each part of the text is coloured as. A
// coloured block's lines take the colour of tags, names and all, so that the spans,
// each an element for the engine to read, are needed only for what is not a tag:
// text, values, comments and declarations. White space needs none at all.
enum Colour : unsigned char { Markup, TextColour, ValueColour, CommentColour, DeclColour };
constexpr const char *kSpanOpen[] = {"", "<span class=x>", "<span class=v>", "<span class=c>",
                                     "<span class=d>"};
// For a byte that keeps whatever colour is open (white space between attributes).
constexpr unsigned char kKeep = 0xFF;

// Where the text stands as markup.
enum State : unsigned char {
    Text,        // between tags
    RawText,     // in a script or style element, until its end tag
    EndTagSlash, // the "/" of "</"
    TagName,
    InTag, // between a tag's attributes
    AttrName,
    BeforeValue, // after "="
    ValueDouble,
    ValueSingle,
    ValueBare,
    Comment,
    Declaration, // <!DOCTYPE ...>, <?...>
    kStates
};

// The colour of the bytes a state copies without a look at each.
constexpr unsigned char kStateColour[kStates] = {
    TextColour, TextColour,  Markup,      Markup,      kKeep,         Markup,
    kKeep,      ValueColour, ValueColour, ValueColour, CommentColour, DeclColour};

// Which bytes each state must look at one by one: those that change the state, and
// those that are not written as themselves ("&", "<", the C0 controls but tab).
struct StopTable {
    bool stop[kStates][256];
    constexpr StopTable() : stop()
    {
        for (int s = 0; s < kStates; ++s) {
            for (int c = 0; c < 0x20; ++c)
                stop[s][c] = c != '\t';
            stop[s][int('&')] = true;
            stop[s][int('<')] = true;
        }
        const auto add = [this](State s, const char *bytes) {
            for (; *bytes; ++bytes)
                stop[s][uchar(*bytes)] = true;
        };
        add(TagName, " \t/>");
        add(AttrName, " \t/>=");
        add(ValueDouble, "\"");
        add(ValueSingle, "'");
        add(ValueBare, " \t>");
        add(Comment, ">");
        add(Declaration, ">");
        // Every byte but white space changes these.
        for (const State s : {EndTagSlash, InTag, BeforeValue}) {
            for (int c = 0x21; c < 256; ++c)
                stop[s][c] = true;
        }
    }
};
constexpr StopTable kStops;

// The one byte besides "&", "<" and the controls that ends a state's run, for the
// states that are read sixteen bytes at a time.
constexpr char kRunEnd[kStates] = {'<', '<', 0, 0, 0, 0, 0, '"', '\'', 0, '>', '>'};

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isTagSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The elements whose text is not markup, as the engine writes a page out.
bool isRawTextElement(QByteArrayView name)
{
    if (name.size() < 3 || name.size() > 8)
        return false;
    char lower[8];
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char c = name[i];
        lower[i] = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    }
    const QByteArrayView l(lower, name.size());
    return l == "script" || l == "style" || l == "xmp" || l == "iframe" || l == "noembed" ||
           l == "noframes" || l == "noscript" || l == "plaintext";
}

// Bytes written straight into the sink's room.
class Out {
public:
    explicit Out(ByteSink &sink) : m_sink(sink) { fill(); }
    ~Out() { m_sink.commit(w); }

    // At least `bytes` (at most ByteSink::kRoom) bytes of room at w.
    void reserve(qsizetype bytes)
    {
        if (m_limit - w < bytes) {
            m_sink.commit(w);
            fill();
        }
    }
    qsizetype room() const { return m_limit - w; }
    // Short markup, its room reserved.
    void put(const char *bytes, qsizetype size)
    {
        std::memcpy(w, bytes, size_t(size));
        w += size;
    }
    template <qsizetype N> void put(const char (&bytes)[N]) { put(bytes, N - 1); }
    // Bytes of any length.
    void write(QByteArrayView bytes)
    {
        if (bytes.size() <= 256) {
            reserve(bytes.size());
            put(bytes.data(), bytes.size());
            return;
        }
        m_sink.commit(w);
        m_sink.write(bytes);
        fill();
    }
    // Gives the sink back for a while.
    template <class Writer> void throughSink(Writer &&writer)
    {
        m_sink.commit(w);
        writer(m_sink);
        fill();
    }
    void writeNumber(qsizetype number)
    {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = char('0' + number % 10);
            number /= 10;
        } while (number > 0);
        while (count > 0)
            *w++ = digits[--count];
    }

    char *w = nullptr;

private:
    void fill()
    {
        w = m_sink.room(ByteSink::kRoom);
        m_limit = w + ByteSink::kRoom;
    }

    ByteSink &m_sink;
    char *m_limit = nullptr;
};

int digitCount(qsizetype number)
{
    int digits = 1;
    while (number >= 10) {
        number /= 10;
        ++digits;
    }
    return digits;
}

// A block's height before the engine has laid it out: a row per line, and another
// for each 128 bytes, which is about where a line wraps in a view of usual width.
qsizetype estimatedHeight(const Block &block)
{
    const qsizetype rows = block.lines + block.bytes / 128;
    return (rows * 1755 + 99) / 100; // 13px at a line height of 1.35
}

// The page text of the Source Code view, between the head and the end.
class ViewWriter {
public:
    ViewWriter(QByteArrayView text, const std::vector<Block> &blocks, Out &out)
        : m_text(text), m_blocks(blocks), m_out(out),
          m_spanBytesLeft(4 * text.size() + (qsizetype(1) << 20))
    {
    }

    void begin()
    {
        m_out.reserve(256);
        openBlock(0);
    }
    // The text up to `to`, in the anchor now open if there is one.
    void text(qsizetype to);
    // An anchor around the text up to `to`.
    void anchor(const detail::PageLinks::Target &target, qsizetype to)
    {
        m_anchor = &target;
        text(to);
        m_out.reserve(64);
        closeAnchor();
        m_anchor = nullptr;
    }
    void end()
    {
        m_out.reserve(64);
        closeAnchor();
        closeSpan();
        endLine();
        m_out.put("</div>");
    }

private:
    // A block and its first line. The count starts again in the first line: the
    // block's containment keeps the lines from seeing a count the block itself sets.
    void openBlock(qsizetype index)
    {
        const Block &block = m_blocks[size_t(index)];
        // Each span costs the engine an element to read: a long page is coloured
        // in its first blocks, as far as a budget goes, and plain after them.
        m_colourBlock = m_blockColourLeft > 0 && m_spanBytesLeft > 0;
        if (m_colourBlock)
            m_out.put("<div class=b style=\"contain-intrinsic-size:auto 1px auto ");
        else
            m_out.put("<div class=\"b p\" style=\"contain-intrinsic-size:auto 1px auto ");
        m_out.writeNumber(estimatedHeight(block));
        m_out.put("px\"><div style=\"counter-reset:l ");
        m_out.writeNumber(block.firstLine);
        m_out.put("\">");
        m_lineEmpty = true;
    }
    // An empty line holds a break, so that it takes its height and is copied as
    // a line of its own.
    void endLine()
    {
        if (m_lineEmpty)
            m_out.put("<br>");
        m_out.put("</div>");
    }
    // Spans are written while the block is coloured and the page's budget lasts.
    bool colouring() const { return m_colourBlock && m_spanBytesLeft > 0; }
    void closeSpan()
    {
        if (m_written != Markup)
            m_out.put("</span>");
        m_written = Markup;
    }
    // The anchor is always the innermost element: it opens inside the span that is
    // open, and a change of colour inside it ends it and opens it again.
    void closeAnchor()
    {
        if (m_anchorOpen)
            m_out.put("</a>");
        m_anchorOpen = false;
    }
    // The anchor, when one is due and not yet written in this line.
    void openAnchor()
    {
        m_out.write("<a href='");
        if (m_anchor->plain()) {
            m_out.write(m_anchor->addressBytes());
        } else {
            m_out.throughSink([this](ByteSink &sink) {
                detail::writeAttributeSafe(sink, m_anchor->addressBytes());
            });
        }
        m_out.write("'>");
        m_out.reserve(kStepRoom);
        m_anchorOpen = true;
    }
    // Ready to write a byte of this colour (kKeep: any colour).
    void prepare(unsigned char colour)
    {
        m_lineEmpty = false;
        if (colour != kKeep) {
            // Text made to change colour at every byte would take many times its
            // size in spans: once they have taken four times the page, the rest
            // is plain.
            const unsigned char wanted = colouring() ? colour : static_cast<unsigned char>(Markup);
            if (wanted != m_written) {
                closeAnchor();
                closeSpan();
                if (wanted != Markup) {
                    m_out.put(kSpanOpen[wanted], 14);
                    m_spanBytesLeft -= 14 + 7;
                    m_blockColourLeft -= 14 + 7;
                    m_written = wanted;
                }
            }
        }
        if (m_anchor && !m_anchorOpen)
            openAnchor();
    }
    void lineBreak()
    {
        closeAnchor();
        closeSpan();
        endLine();
        ++m_line;
        if (m_block + 1 < qsizetype(m_blocks.size()) &&
            m_line == m_blocks[size_t(m_block + 1)].firstLine) {
            m_out.put("</div>");
            openBlock(++m_block);
            return;
        }
        // A coloured block whose page ran out of spans shows its later lines plain.
        if (m_colourBlock && !colouring())
            m_out.put("<div class=p>");
        else
            m_out.put("<div>");
        m_lineEmpty = true;
    }
    // Where a tag ends: after a script's or a style's start tag, its text is not markup.
    State afterTag() const { return m_rawName.isEmpty() ? Text : RawText; }
    // Does the text at `at` end the raw text element, "</name" and a space, "/" or ">"?
    bool endsRawText(qsizetype at) const;
    // The colour of the byte at `at`, its state changed for the next byte.
    unsigned char step(qsizetype at);
    // The bytes from `at` that the state copies as they are, up to `limit`.
    qsizetype run(qsizetype at, qsizetype limit);

    // Markup one byte may need: a line break between blocks, a span, the byte.
    static constexpr qsizetype kStepRoom = 256;
    static constexpr qsizetype kColourBudget = qsizetype(1) << 20;

    QByteArrayView m_text;
    const std::vector<Block> &m_blocks;
    Out &m_out;
    qsizetype m_at = 0;
    qsizetype m_line = 0;
    qsizetype m_block = 0;
    State m_state = Text;
    unsigned char m_written = Markup;
    const detail::PageLinks::Target *m_anchor = nullptr;
    bool m_anchorOpen = false;
    // Nothing of the line that is open has been written yet.
    bool m_lineEmpty = true;
    qsizetype m_spanBytesLeft;
    // The bytes of spans that blocks may still start with, and whether the open
    // block is coloured.
    qsizetype m_blockColourLeft = kColourBudget;
    bool m_colourBlock = true;
    bool m_swallowLf = false;
    bool m_closingTag = false;
    qsizetype m_nameStart = 0;
    qsizetype m_commentStart = 0;
    QByteArrayView m_rawName;
};

bool ViewWriter::endsRawText(qsizetype at) const
{
    const qsizetype n = m_text.size();
    const qsizetype name = at + 2;
    if (name + m_rawName.size() > n || m_text[at + 1] != '/')
        return false;
    for (qsizetype i = 0; i < m_rawName.size(); ++i) {
        char c = m_text[name + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
        char wanted = m_rawName[i];
        if (wanted >= 'A' && wanted <= 'Z')
            wanted = char(wanted + 32);
        if (c != wanted)
            return false;
    }
    const qsizetype after = name + m_rawName.size();
    return after == n || isTagSpace(m_text[after]) || m_text[after] == '/' || m_text[after] == '>';
}

unsigned char ViewWriter::step(qsizetype at)
{
    const char c = m_text[at];
    const qsizetype n = m_text.size();
    const auto next = [&](qsizetype k) { return at + k < n ? m_text[at + k] : '\0'; };
    switch (m_state) {
    case Text:
        if (c != '<')
            return TextColour;
        if (isAsciiLetter(next(1))) {
            m_state = TagName;
            m_closingTag = false;
            m_nameStart = at + 1;
            return Markup;
        }
        if (next(1) == '/' && isAsciiLetter(next(2))) {
            m_state = EndTagSlash;
            return Markup;
        }
        if (next(1) == '!' && next(2) == '-' && next(3) == '-') {
            m_state = Comment;
            m_commentStart = at;
            return CommentColour;
        }
        if (next(1) == '!' || next(1) == '?') {
            m_state = Declaration;
            return DeclColour;
        }
        return TextColour;
    case RawText:
        if (c == '<' && endsRawText(at)) {
            m_rawName = {};
            m_state = EndTagSlash;
            return Markup;
        }
        return TextColour;
    case EndTagSlash:
        m_state = TagName;
        m_closingTag = true;
        m_nameStart = at + 1;
        return Markup;
    case TagName:
        if (isTagSpace(c) || c == '/' || c == '>') {
            const QByteArrayView name = m_text.sliced(m_nameStart, at - m_nameStart);
            if (!m_closingTag && isRawTextElement(name))
                m_rawName = name;
            if (c == '>') {
                m_state = afterTag();
                return Markup;
            }
            m_state = InTag;
            return isTagSpace(c) ? kKeep : static_cast<unsigned char>(Markup);
        }
        return Markup;
    case InTag:
        if (isTagSpace(c))
            return kKeep;
        if (c == '>') {
            m_state = afterTag();
            return Markup;
        }
        if (c == '/')
            return Markup;
        if (c == '=') {
            m_state = BeforeValue;
            return Markup;
        }
        m_state = AttrName;
        return Markup;
    case AttrName:
        if (isTagSpace(c)) {
            m_state = InTag;
            return kKeep;
        }
        if (c == '>') {
            m_state = afterTag();
            return Markup;
        }
        if (c == '/') {
            m_state = InTag;
            return Markup;
        }
        if (c == '=')
            m_state = BeforeValue;
        return Markup;
    case BeforeValue:
        if (isTagSpace(c))
            return kKeep;
        if (c == '>') {
            m_state = afterTag();
            return Markup;
        }
        m_state = c == '"' ? ValueDouble : c == '\'' ? ValueSingle : ValueBare;
        return ValueColour;
    case ValueDouble:
    case ValueSingle:
        if (c == (m_state == ValueDouble ? '"' : '\''))
            m_state = InTag;
        return ValueColour;
    case ValueBare:
        if (isTagSpace(c)) {
            m_state = InTag;
            return kKeep;
        }
        if (c == '>') {
            m_state = afterTag();
            return Markup;
        }
        return ValueColour;
    case Comment:
        // "<!-->" and "<!--->" end where they begin, as the engine reads them.
        if (c == '>' && at >= m_commentStart + 4 && m_text[at - 1] == '-' && m_text[at - 2] == '-')
            m_state = Text;
        return CommentColour;
    case Declaration:
        if (c == '>')
            m_state = Text;
        return DeclColour;
    case kStates:
        break;
    }
    return Markup;
}

qsizetype ViewWriter::run(qsizetype at, qsizetype limit)
{
    const char *const data = m_text.data();
    const bool *const stop = kStops.stop[m_state];
    qsizetype i = at;
    char *w = m_out.w;
#ifdef __SSE2__
    if (const char end = kRunEnd[m_state]) {
        const __m128i lastControl = _mm_set1_epi8(0x1F);
        const __m128i tab = _mm_set1_epi8('\t');
        const __m128i amp = _mm_set1_epi8('&');
        const __m128i less = _mm_set1_epi8('<');
        const __m128i other = _mm_set1_epi8(end);
        while (limit - i >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
            const __m128i control = _mm_andnot_si128(
                _mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(_mm_min_epu8(v, lastControl), v));
            const __m128i special =
                _mm_or_si128(_mm_or_si128(control, _mm_cmpeq_epi8(v, other)),
                             _mm_or_si128(_mm_cmpeq_epi8(v, amp), _mm_cmpeq_epi8(v, less)));
            const unsigned mask = unsigned(_mm_movemask_epi8(special));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(w), v);
            if (mask != 0) {
                const int plain = __builtin_ctz(mask);
                m_out.w = w + plain;
                return i + plain;
            }
            i += 16;
            w += 16;
        }
    }
#endif
    for (; i < limit && !stop[uchar(data[i])]; ++i)
        *w++ = data[i];
    m_out.w = w;
    return i;
}

void ViewWriter::text(qsizetype to)
{
    const char *const data = m_text.data();
    while (m_at < to) {
        m_out.reserve(ByteSink::kRoom);
        // Each pass writes at most as much as the room holds: the plain bytes,
        // then one byte looked at, with its markup.
        const qsizetype limit = qMin(to, m_at + m_out.room() - kStepRoom - 16);
        while (m_at < limit && m_out.room() > kStepRoom + 16) {
            const uchar c = uchar(data[m_at]);
            if (!kStops.stop[m_state][c]) {
                const unsigned char colour = kStateColour[m_state];
                if ((c == ' ' || c == '\t') && colour == TextColour && m_written != TextColour) {
                    // White space before text takes no span.
                    prepare(kKeep);
                    *m_out.w++ = char(c);
                    ++m_at;
                    continue;
                }
                prepare(colour);
                m_at = run(m_at, qMin(limit, m_at + m_out.room() - 16));
                continue;
            }
            if (c == '\n' || c == '\r') {
                // A line break ends every span and anchor; CR LF is one.
                if (c == '\n' && m_swallowLf) {
                    m_swallowLf = false;
                } else {
                    m_swallowLf = c == '\r' && m_at + 1 < m_text.size() && data[m_at + 1] == '\n';
                    step(m_at); // for the state only: white space in a tag
                    lineBreak();
                }
                ++m_at;
                continue;
            }
            prepare(step(m_at));
            if (c == '&') {
                m_out.put("&amp;");
            } else if (c == '<') {
                m_out.put("&lt;");
            } else if (c < 0x20 && c != '\t') {
                // The control character's own symbol, U+2400 + c.
                *m_out.w++ = char(0xE2);
                *m_out.w++ = char(0x90);
                *m_out.w++ = char(0x80 | c);
            } else {
                *m_out.w++ = char(c);
            }
            ++m_at;
        }
    }
}

constexpr char kSourceStyle1[] =
    "<style>"
    "html{background:#fff;color:#1f1f1f}"
    "body{margin:0;padding:8px 8px 8px 0;"
    "font:13px/1.35 \"DejaVu Sans Mono\",\"Liberation Mono\",monospace}"
    ".intro{font-family:\"DejaVu Sans\",sans-serif;color:#555;margin:0 0 6px 8px}"
    ".b{content-visibility:auto;background:linear-gradient(to right,#f3f3f3 var(--g),"
    "transparent var(--g))}"
    "html:not(.wrap) .b{width:max-content;min-width:100%}"
    ".b>div{padding-left:calc(var(--g) + 1ch);white-space:pre;counter-increment:l;"
    "color:#881280}"
    ".b.p>div,.b>div.p{color:inherit}"
    "html.wrap .b>div{white-space:pre-wrap;overflow-wrap:anywhere}"
    ".b>div::before{content:counter(l);display:inline-block;box-sizing:border-box;width:var(--g);"
    "margin-left:calc(-1ch - var(--g));margin-right:1ch;padding-right:.6ch;text-align:right;"
    "color:#8c8c8c;white-space:pre}"
    "a{color:inherit}"
    ".b>div.m{background:#fff0a0;box-shadow:inset 0 1px #e8b400,inset 0 -1px #e8b400}"
    ".b>div.m::before{color:#1f1f1f;font-weight:bold}"
    ".x{color:#1f1f1f}.v{color:#1a1aa6}.c{color:#236e25}.d{color:#6f6f6f}"
    ":root{--g:calc(";
// The gutter's width in digits, then:
constexpr char kSourceStyle2[] = "ch + 1.2ch)}</style>";

constexpr char kIntro[] = "<div class=intro>Live document: the body as the page's scripts left "
                          "it. The served source: View &gt; Page Source (Ctrl+U)</div>";

} // namespace

void WriteSourceView(QByteArrayView pageText, const Utf8Lists &lists, ByteSink &sink,
                     const SourceViewOptions &options, SourcePageCuts *cuts)
{
    detail::PageLinks links(pageText, lists);
    const std::vector<Block> blocks = planBlocks(pageText);
    const qsizetype lines = blocks.back().firstLine + blocks.back().lines;
    const auto make = [&](const QString &notice) {
        Out out(sink);
        out.write(options.wrapLongLines ? "<!DOCTYPE html><html class=wrap>"
                                        : "<!DOCTYPE html><html>");
        out.write("<head><meta charset=utf-8>");
        out.write(options.headExtra);
        out.write(kSourceStyle1);
        out.reserve(32);
        out.writeNumber(qMax(3, digitCount(lines)));
        out.write(kSourceStyle2);
        out.write("</head><body>");
        out.write(kIntro);
        if (!notice.isEmpty()) {
            // The notice is the program's own text, with nothing to escape.
            out.write("<div class=intro>");
            out.write(notice.toUtf8());
            out.write("</div>");
        }
        ViewWriter writer(pageText, blocks, out);
        writer.begin();
        links.find([&](const NameLinker::Match &match, const detail::PageLinks::Target &target) {
            writer.text(match.position);
            writer.anchor(target, match.position + match.length);
        });
        writer.text(pageText.size());
        writer.end();
        out.write("</body></html>");
    };
    make({});
    const QString notice = SourceCutNotice(links.counts());
    if (!notice.isEmpty()) {
        sink.restart();
        make(notice);
    }
    sink.flush();
    if (cuts)
        *cuts = links.counts();
}

void WriteImageView(const Utf8Lists &lists, qsizetype byteLimit, ByteSink &sink, qsizetype *shown,
                    const ImageViewOptions &options)
{
    // A hundred pictures to a block.
    constexpr qsizetype kBlockPictures = 100;
    struct View : detail::ImageBlockFrame {
        QByteArrayView headExtra;
        bool none = false;
        void begin(ByteSink &to, QByteArrayView notice) override
        {
            to.write("<!DOCTYPE html><html><head><meta charset=utf-8>");
            to.write(headExtra);
            to.write("<style>"
                     "img{max-width:100%;height:auto}"
                     "body{font-family:\"DejaVu Sans\",sans-serif;font-size:13px;margin:8px;"
                     "overflow-wrap:anywhere}"
                     "#quarrow-empty{color:#555;font-size:16px;margin:24px 8px}"
                     ".b{content-visibility:auto;contain-intrinsic-size:auto 2500px}"
                     "</style></head><body>");
            to.write(notice);
        }
        void beforeBlock(ByteSink &to, qsizetype index) override
        {
            if (index % kBlockPictures != 0)
                return;
            to.write(index == 0 ? QByteArrayView("<div class=b>")
                                : QByteArrayView("</div><div class=b>"));
        }
        bool shortDataCaptions() const override { return true; }
        void end(ByteSink &to, qsizetype blocks) override
        {
            if (blocks > 0)
                to.write("</div>");
            if (none)
                to.write("<p id=\"quarrow-empty\">No pictures on this page</p>");
            to.write("</body></html>");
        }
    } view;
    view.headExtra = options.headExtra;
    view.none = qMin(lists.Keys[1].size(), lists.Links[1].size()) == 0;
    detail::writeImageBlocks(lists, byteLimit, sink, view, shown);
}

} // namespace harvest
