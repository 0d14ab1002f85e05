#include "platform/RichText.h"

#include <QColor>
#include <QFile>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace {

// Deeper nesting than this is counted but shares the innermost state, so a
// file of nothing but opening braces cannot exhaust memory.
constexpr int MaxGroupDepth = 4096;
// Twips per pixel at 96 dots per inch: paragraph indents and spacing are
// given in twips.
constexpr double TwipsPerPixel = 15.0;

// Windows-1252 in the range 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decodeCp1252(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(b >= 0x80 && b <= 0x9F ? QChar(Cp1252High[b - 0x80]) : QChar(b));
    }
    return text;
}

// The name under which the codec library knows a Windows code page.
QByteArray codecNameOf(int codePage)
{
    switch (codePage) {
    case 437:
        return "IBM437";
    case 850:
        return "IBM850";
    case 932:
        return "Shift_JIS";
    case 936:
        return "GBK";
    case 949:
        return "windows-949";
    case 950:
        return "Big5";
    case 10000:
        return "macintosh";
    case 65001:
        return "UTF-8";
    default:
        break;
    }
    if (codePage == 874 || (codePage >= 1250 && codePage <= 1258))
        return "windows-" + QByteArray::number(codePage);
    return "cp" + QByteArray::number(codePage);
}

// The code page of a font's character set (\fcharset); 0 when the font
// follows the document's code page.
int codePageOfCharset(int charset)
{
    switch (charset) {
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 255:
        return 437;
    default:
        return 0;
    }
}

constexpr int SymbolCharset = 2;

// Symbol fonts carry pictures, not letters; the two that word processors use
// for list bullets are shown as the matching Unicode bullets.
QString decodeSymbol(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0xB7)
            text.append(QChar(0x2022));
        else if (b == 0xA7)
            text.append(QChar(0x25AA));
        else
            text.append(QChar(b));
    }
    return text;
}

enum class Destination { Text, Skip, FontTable, ColorTable };

struct CharState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int vertical = 0; // 1 superscript, -1 subscript
    int halfPoints = 24;
    int font = -1; // -1: the document's default font
    int colour = 0;
    int background = 0;
};

struct ParaState {
    Qt::Alignment alignment = Qt::AlignLeft;
    int leftIndent = 0;
    int rightIndent = 0;
    int firstIndent = 0;
    int spaceBefore = 0;
    int spaceAfter = 0;
    QList<QTextOption::Tab> tabs;
    QTextOption::TabType nextTabType = QTextOption::LeftTab;
};

struct GroupState {
    CharState chars;
    ParaState para;
    Destination destination = Destination::Text;
    int unicodeSkip = 1;
};

struct FontEntry {
    QString name;
    int charset = -1;
    int codePage = 0;
};

// Words that open a destination whose content is not part of the text.
const QSet<QByteArray> &skippedDestinations()
{
    static const QSet<QByteArray> words = {"pict",
                                           "info",
                                           "stylesheet",
                                           "header",
                                           "headerl",
                                           "headerr",
                                           "headerf",
                                           "footer",
                                           "footerl",
                                           "footerr",
                                           "footerf",
                                           "footnote",
                                           "annotation",
                                           "atnid",
                                           "atnauthor",
                                           "object",
                                           "objdata",
                                           "objclass",
                                           "fldinst",
                                           "themedata",
                                           "colorschememapping",
                                           "latentstyles",
                                           "listtable",
                                           "listoverridetable",
                                           "rsidtbl",
                                           "generator",
                                           "xmlnstbl",
                                           "datastore",
                                           "filetbl",
                                           "revtbl",
                                           "bkmkstart",
                                           "bkmkend",
                                           "pnseclvl",
                                           "template",
                                           "userprops",
                                           "docvar",
                                           "xe",
                                           "tc",
                                           "txe",
                                           "nonshppict",
                                           "shpinst",
                                           "sp",
                                           "sn",
                                           "sv",
                                           "private",
                                           "listpicture",
                                           "mmathPr",
                                           "pgdsctbl",
                                           "protusertbl",
                                           "wgrffmtfilter",
                                           "ftnsep",
                                           "ftnsepc",
                                           "ftncn",
                                           "aftnsep",
                                           "aftnsepc",
                                           "aftncn",
                                           "passwordhash",
                                           "blipuid",
                                           "factoidname",
                                           "keywords",
                                           "title",
                                           "subject",
                                           "author",
                                           "operator",
                                           "comment",
                                           "doccomm",
                                           "company",
                                           "manager",
                                           "category",
                                           "hlinkbase",
                                           "printim",
                                           "buptim",
                                           "creatim",
                                           "revtim",
                                           "fchars",
                                           "lchars",
                                           "pgptbl",
                                           "oldcprops",
                                           "oldpprops",
                                           "oldsprops",
                                           "oldtprops"};
    return words;
}

class Reader {
public:
    Reader(const QByteArray &data, QTextDocument *document) : m_data(data), m_cursor(document)
    {
        m_stack.emplace_back();
    }

    void run()
    {
        const qsizetype size = m_data.size();
        while (m_pos < size) {
            const char c = m_data.at(m_pos++);
            switch (c) {
            case '{':
                flushBytes();
                pushGroup();
                break;
            case '}':
                flushBytes();
                popGroup();
                break;
            case '\\':
                controlSequence();
                break;
            case '\r':
            case '\n':
            case '\0':
                break;
            default:
                literalByte(c);
                break;
            }
        }
        finish();
    }

private:
    GroupState &state() { return m_stack.back(); }

    // --- groups ---------------------------------------------------------

    void pushGroup()
    {
        m_skipCount = 0;
        m_ignorableNext = false;
        if (static_cast<int>(m_stack.size()) >= MaxGroupDepth) {
            ++m_overflow;
            return;
        }
        m_stack.push_back(m_stack.back());
    }

    void popGroup()
    {
        m_skipCount = 0;
        m_ignorableNext = false;
        if (m_overflow > 0) {
            --m_overflow;
            return;
        }
        // A closing brace too many is ignored: the text after it is kept.
        if (m_stack.size() <= 1)
            return;
        const Destination closing = state().destination;
        m_stack.pop_back();
        if (closing == Destination::FontTable)
            commitFont();
    }

    // --- control words and symbols --------------------------------------

    void controlSequence()
    {
        const qsizetype size = m_data.size();
        if (m_pos >= size)
            return; // a lone backslash at the end of a truncated file
        const char c = m_data.at(m_pos);
        if (!isLetter(c)) {
            ++m_pos;
            controlSymbol(c);
            return;
        }
        QByteArray word;
        while (m_pos < size && isLetter(m_data.at(m_pos))) {
            if (word.size() < 32)
                word.append(m_data.at(m_pos));
            ++m_pos;
        }
        bool hasParameter = false;
        bool negative = false;
        if (m_pos + 1 < size && m_data.at(m_pos) == '-' && isDigit(m_data.at(m_pos + 1))) {
            negative = true;
            ++m_pos;
        }
        long long value = 0;
        while (m_pos < size && isDigit(m_data.at(m_pos))) {
            hasParameter = true;
            if (value < 100000000000LL)
                value = value * 10 + (m_data.at(m_pos) - '0');
            ++m_pos;
        }
        if (m_pos < size && m_data.at(m_pos) == ' ')
            ++m_pos;
        value = std::clamp(value, 0LL, 2147483647LL);
        const int parameter = static_cast<int>(negative ? -value : value);
        controlWord(word, hasParameter, parameter);
    }

    void controlSymbol(char c)
    {
        if (c == '\'') {
            hexByte();
            return;
        }
        if (c == '\\' || c == '{' || c == '}') {
            literalByte(c);
            return;
        }
        flushBytes();
        if (c == '*') {
            m_ignorableNext = true;
            return;
        }
        if (state().destination != Destination::Text)
            return;
        switch (c) {
        case '~':
            if (!skipOne())
                unicodeCharacter(0x00A0);
            break;
        case '-':
            if (!skipOne())
                unicodeCharacter(0x00AD);
            break;
        case '_':
            if (!skipOne())
                unicodeCharacter(0x2011);
            break;
        case '\r':
        case '\n':
            paragraph();
            break;
        case '\t':
            unicodeCharacter('\t');
            break;
        default:
            break; // \| \: and unknown symbols carry no text
        }
    }

    void hexByte()
    {
        int value = 0;
        int digits = 0;
        while (digits < 2 && m_pos < m_data.size()) {
            const int digit = hexValue(m_data.at(m_pos));
            if (digit < 0)
                break;
            value = value * 16 + digit;
            ++digits;
            ++m_pos;
        }
        if (digits == 0)
            return;
        literalByte(static_cast<char>(value));
    }

    void controlWord(const QByteArray &word, bool hasParameter, int parameter)
    {
        flushBytes();
        if (word == "bin") {
            // Binary data follows: skip it whatever the destination.
            const qsizetype skip = std::max(0, parameter);
            m_pos = std::min(m_data.size(), m_pos + skip);
            return;
        }
        if (m_ignorableNext) {
            m_ignorableNext = false;
            state().destination = Destination::Skip;
            return;
        }
        if (state().destination == Destination::Skip)
            return;
        if (word == "fonttbl") {
            state().destination = Destination::FontTable;
            return;
        }
        if (word == "colortbl") {
            state().destination = Destination::ColorTable;
            m_red = m_green = m_blue = 0;
            m_colourSet = false;
            return;
        }
        if (skippedDestinations().contains(word)) {
            state().destination = Destination::Skip;
            return;
        }
        switch (state().destination) {
        case Destination::FontTable:
            fontTableWord(word, parameter);
            return;
        case Destination::ColorTable:
            colourTableWord(word, parameter);
            return;
        default:
            break;
        }
        documentWord(word, hasParameter, parameter);
    }

    void documentWord(const QByteArray &word, bool hasParameter, int parameter)
    {
        if (word == "ansicpg") {
            if (parameter > 0)
                m_codePage = parameter;
            return;
        }
        if (word == "ansi") {
            m_codePage = 1252;
            return;
        }
        if (word == "mac") {
            m_codePage = 10000;
            return;
        }
        if (word == "pc") {
            m_codePage = 437;
            return;
        }
        if (word == "pca") {
            m_codePage = 850;
            return;
        }
        if (word == "deftab") {
            if (parameter > 0)
                m_cursor.document()->setDefaultTextOption([&] {
                    QTextOption option = m_cursor.document()->defaultTextOption();
                    option.setTabStopDistance(parameter / TwipsPerPixel);
                    return option;
                }());
            return;
        }
        if (word == "deff") {
            m_defaultFont = parameter;
            return;
        }
        if (word == "uc") {
            state().unicodeSkip = std::clamp(parameter, 0, 16);
            return;
        }
        if (word == "u") {
            const int unit = parameter < 0 ? parameter + 65536 : parameter;
            unicodeCharacter(static_cast<char16_t>(unit & 0xFFFF));
            m_skipCount = state().unicodeSkip;
            return;
        }
        if (characterWord(word, hasParameter, parameter) || paragraphWord(word, parameter))
            return;
        textWord(word);
    }

    // Words that put characters into the text.
    void textWord(const QByteArray &word)
    {
        static const QHash<QByteArray, char16_t> characters = {
            {"tab", '\t'},         {"cell", '\t'},      {"emdash", 0x2014},  {"endash", 0x2013},
            {"bullet", 0x2022},    {"lquote", 0x2018},  {"rquote", 0x2019},  {"ldblquote", 0x201C},
            {"rdblquote", 0x201D}, {"emspace", 0x2003}, {"enspace", 0x2002}, {"qmspace", 0x2005},
            {"zwj", 0x200D},       {"zwnj", 0x200C},    {"line", 0x2028}};
        const auto found = characters.constFind(word);
        if (found != characters.constEnd()) {
            unicodeCharacter(found.value());
            return;
        }
        if (word == "par" || word == "sect" || word == "page" || word == "row")
            paragraph();
    }

    bool characterWord(const QByteArray &word, bool hasParameter, int parameter)
    {
        CharState &chars = state().chars;
        const bool on = !hasParameter || parameter != 0;
        if (word == "b")
            chars.bold = on;
        else if (word == "i")
            chars.italic = on;
        else if (word == "ul" || word == "uld" || word == "uldb" || word == "ulw" ||
                 word == "uldash" || word == "ulth" || word == "ulwave" || word == "uldashd" ||
                 word == "uldashdd" || word == "ulhair" || word == "ulldash")
            chars.underline = on;
        else if (word == "ulnone")
            chars.underline = false;
        else if (word == "strike" || word == "striked")
            chars.strike = on;
        else if (word == "v")
            chars.hidden = on;
        else if (word == "fs")
            chars.halfPoints = parameter > 0 ? std::min(parameter, 3276) : 24;
        else if (word == "f")
            chars.font = parameter;
        else if (word == "cf")
            chars.colour = parameter;
        else if (word == "cb" || word == "highlight" || word == "chcbpat")
            chars.background = parameter;
        else if (word == "super")
            chars.vertical = 1;
        else if (word == "sub")
            chars.vertical = -1;
        else if (word == "nosupersub")
            chars.vertical = 0;
        else if (word == "plain")
            chars = CharState();
        else
            return false;
        return true;
    }

    bool paragraphWord(const QByteArray &word, int parameter)
    {
        ParaState &para = state().para;
        if (word == "pard")
            para = ParaState();
        else if (word == "ql")
            para.alignment = Qt::AlignLeft;
        else if (word == "qc")
            para.alignment = Qt::AlignHCenter;
        else if (word == "qr")
            para.alignment = Qt::AlignRight;
        else if (word == "qj")
            para.alignment = Qt::AlignJustify;
        else if (word == "li")
            para.leftIndent = parameter;
        else if (word == "ri")
            para.rightIndent = parameter;
        else if (word == "fi")
            para.firstIndent = parameter;
        else if (word == "sb")
            para.spaceBefore = parameter;
        else if (word == "sa")
            para.spaceAfter = parameter;
        else if (word == "tqr")
            para.nextTabType = QTextOption::RightTab;
        else if (word == "tqc")
            para.nextTabType = QTextOption::CenterTab;
        else if (word == "tqdec")
            para.nextTabType = QTextOption::DelimiterTab;
        else if (word == "tx" || word == "tb") {
            // Tab stops are measured from the left edge of the text.
            para.tabs.append(QTextOption::Tab(
                std::max(0, parameter) / TwipsPerPixel, para.nextTabType,
                para.nextTabType == QTextOption::DelimiterTab ? QLatin1Char('.') : QChar()));
            para.nextTabType = QTextOption::LeftTab;
        } else
            return false;
        return true;
    }

    void fontTableWord(const QByteArray &word, int parameter)
    {
        if (word == "f") {
            commitFont();
            m_fontOpen = true;
            m_fontNumber = parameter;
            m_font = FontEntry();
            m_fontName.clear();
        } else if (word == "fcharset") {
            m_font.charset = parameter;
        } else if (word == "cpg") {
            m_font.codePage = parameter;
        } else if (word == "u") {
            m_fontName +=
                QChar(static_cast<char16_t>(parameter < 0 ? parameter + 65536 : parameter));
            m_skipCount = state().unicodeSkip;
        }
    }

    void colourTableWord(const QByteArray &word, int parameter)
    {
        const int value = std::clamp(parameter, 0, 255);
        if (word == "red")
            m_red = value;
        else if (word == "green")
            m_green = value;
        else if (word == "blue")
            m_blue = value;
        else
            return;
        m_colourSet = true;
    }

    // --- characters -------------------------------------------------------

    // Consumes one fallback character after \uN; true when the character is
    // to be dropped.
    bool skipOne()
    {
        if (m_skipCount <= 0)
            return false;
        --m_skipCount;
        return true;
    }

    void literalByte(char c)
    {
        if (skipOne())
            return;
        switch (state().destination) {
        case Destination::Text:
            m_bytes.append(c);
            break;
        case Destination::FontTable:
            if (c == ';') {
                commitFont();
            } else {
                m_fontBytes.append(c);
            }
            break;
        case Destination::ColorTable:
            if (c == ';') {
                m_colours.append(m_colourSet ? QColor(m_red, m_green, m_blue) : QColor());
                m_red = m_green = m_blue = 0;
                m_colourSet = false;
            }
            break;
        case Destination::Skip:
            break;
        }
    }

    void flushBytes()
    {
        if (!m_fontBytes.isEmpty()) {
            const int codePage =
                m_font.codePage > 0 ? m_font.codePage : codePageOfCharset(m_font.charset);
            m_fontName += decode(m_fontBytes, codePage > 0 ? codePage : m_codePage);
            m_fontBytes.clear();
        }
        if (m_bytes.isEmpty())
            return;
        const QByteArray bytes = m_bytes;
        m_bytes.clear();
        const FontEntry *font = currentFont();
        QString text;
        if (font && font->charset == SymbolCharset) {
            text = decodeSymbol(bytes);
        } else {
            int codePage = m_codePage;
            if (font && font->codePage > 0)
                codePage = font->codePage;
            else if (font && codePageOfCharset(font->charset) > 0)
                codePage = codePageOfCharset(font->charset);
            text = decode(bytes, codePage);
        }
        appendText(text);
    }

    void unicodeCharacter(char16_t unit)
    {
        flushBytes();
        if (state().destination == Destination::Text)
            appendText(QString(QChar(unit)));
    }

    void appendText(const QString &raw)
    {
        if (state().destination != Destination::Text || state().chars.hidden)
            return;
        QString text;
        text.reserve(raw.size());
        for (const QChar ch : raw) {
            // Line ends inside the text are layout of the file, not content.
            if (ch.unicode() < 0x20 && ch != QLatin1Char('\t'))
                continue;
            text.append(ch);
        }
        if (text.isEmpty())
            return;
        const QTextCharFormat format = charFormat();
        if (!m_run.isEmpty() && format != m_runFormat)
            flushRun();
        m_runFormat = format;
        m_run += text;
    }

    void flushRun()
    {
        if (m_run.isEmpty())
            return;
        m_cursor.insertText(m_run, m_runFormat);
        m_run.clear();
    }

    void paragraph()
    {
        flushBytes();
        flushRun();
        m_cursor.setBlockFormat(blockFormat());
        m_cursor.insertBlock(blockFormat(), charFormat());
    }

    void finish()
    {
        flushBytes();
        flushRun();
        m_cursor.setBlockFormat(blockFormat());
        // Word processors end every paragraph with \par, the last one too:
        // the empty block that leaves behind is not part of the document.
        if (m_cursor.block().length() <= 1 && m_cursor.document()->blockCount() > 1)
            m_cursor.deletePreviousChar();
    }

    // --- tables -----------------------------------------------------------

    void commitFont()
    {
        if (!m_fontOpen)
            return;
        if (!m_fontBytes.isEmpty())
            flushBytes();
        m_font.name = m_fontName.trimmed();
        m_fonts.insert(m_fontNumber, m_font);
        m_fontOpen = false;
        m_fontName.clear();
    }

    const FontEntry *currentFont() const
    {
        const int number =
            m_stack.back().chars.font >= 0 ? m_stack.back().chars.font : m_defaultFont;
        const auto found = m_fonts.constFind(number);
        return found == m_fonts.constEnd() ? nullptr : &found.value();
    }

    QTextCharFormat charFormat() const
    {
        const CharState &chars = m_stack.back().chars;
        QTextCharFormat format;
        format.setFontWeight(chars.bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(chars.italic);
        format.setFontUnderline(chars.underline);
        format.setFontStrikeOut(chars.strike);
        format.setFontPointSize(chars.halfPoints / 2.0);
        if (chars.vertical > 0)
            format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        else if (chars.vertical < 0)
            format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        if (const FontEntry *font = currentFont(); font && !font->name.isEmpty())
            format.setFontFamilies(QStringList{font->name});
        if (chars.colour > 0 && chars.colour < m_colours.size() &&
            m_colours[chars.colour].isValid())
            format.setForeground(m_colours[chars.colour]);
        if (chars.background > 0 && chars.background < m_colours.size() &&
            m_colours[chars.background].isValid())
            format.setBackground(m_colours[chars.background]);
        return format;
    }

    QTextBlockFormat blockFormat() const
    {
        const ParaState &para = m_stack.back().para;
        QTextBlockFormat format;
        format.setAlignment(para.alignment);
        format.setLeftMargin(para.leftIndent / TwipsPerPixel);
        format.setRightMargin(para.rightIndent / TwipsPerPixel);
        format.setTextIndent(para.firstIndent / TwipsPerPixel);
        format.setTopMargin(para.spaceBefore / TwipsPerPixel);
        format.setBottomMargin(para.spaceAfter / TwipsPerPixel);
        if (!para.tabs.isEmpty())
            format.setTabPositions(para.tabs);
        return format;
    }

    QString decode(const QByteArray &bytes, int codePage)
    {
        if (codePage == 1252)
            return decodeCp1252(bytes);
        auto found = m_decoders.find(codePage);
        if (found == m_decoders.end()) {
            auto decoder = std::make_unique<QStringDecoder>(codecNameOf(codePage).constData(),
                                                            QStringDecoder::Flag::Stateless);
            if (!decoder->isValid())
                decoder.reset();
            found = m_decoders.emplace(codePage, std::move(decoder)).first;
        }
        if (!found->second)
            return decodeCp1252(bytes);
        return found->second->decode(bytes);
    }

    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    static int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    const QByteArray &m_data;
    qsizetype m_pos = 0;
    QTextCursor m_cursor;
    std::vector<GroupState> m_stack;
    int m_overflow = 0;
    bool m_ignorableNext = false;
    int m_skipCount = 0;

    int m_codePage = 1252;
    int m_defaultFont = 0;
    QMap<int, FontEntry> m_fonts;
    QList<QColor> m_colours;
    std::map<int, std::unique_ptr<QStringDecoder>> m_decoders;

    bool m_fontOpen = false;
    int m_fontNumber = 0;
    FontEntry m_font;
    QString m_fontName;
    QByteArray m_fontBytes;

    int m_red = 0;
    int m_green = 0;
    int m_blue = 0;
    bool m_colourSet = false;

    QByteArray m_bytes;
    QString m_run;
    QTextCharFormat m_runFormat;
};

} // namespace

bool RichText::isRtf(const QByteArray &data)
{
    qsizetype start = 0;
    if (data.startsWith("\xEF\xBB\xBF"))
        start = 3;
    while (start < data.size() && (data.at(start) == ' ' || data.at(start) == '\t' ||
                                   data.at(start) == '\r' || data.at(start) == '\n'))
        ++start;
    return data.mid(start, 5) == "{\\rtf";
}

void RichText::read(const QByteArray &data, QTextDocument *document)
{
    if (!document)
        return;
    document->clear();
    if (!isRtf(data)) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(data);
        if (utf8.hasError())
            text = decodeCp1252(data);
        document->setPlainText(text);
        return;
    }
    // Word processors put a tab stop every half inch unless told otherwise.
    QTextOption option = document->defaultTextOption();
    option.setTabStopDistance(720 / TwipsPerPixel);
    document->setDefaultTextOption(option);
    Reader reader(data, document);
    reader.run();
}

bool RichText::readFile(const QString &path, QTextDocument *document)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    read(file.readAll(), document);
    return true;
}

QString RichText::decodeCodePage(const QByteArray &bytes, int codePage)
{
    if (codePage == 1252)
        return decodeCp1252(bytes);
    QStringDecoder decoder(codecNameOf(codePage).constData(), QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return decodeCp1252(bytes);
    return decoder.decode(bytes);
}
