#include "tests/harvest/ReferenceHarvest.h"

#include "harvest/Harvest.h"
#include "harvest/UrlHelpers.h"

#include <QFile>
#include <QRegularExpression>

namespace reference {
namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kHttp = QStringLiteral("http://");

QChar lowerAscii(QChar c)
{
    return (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + 32) : c;
}

bool matchesAt(const QString &text, qsizetype at, const QString &what, bool ignoringCase)
{
    if (at + what.size() > text.size())
        return false;
    for (qsizetype i = 0; i < what.size(); ++i) {
        QChar a = text.at(at + i);
        QChar b = what.at(i);
        if (ignoringCase) {
            a = lowerAscii(a);
            b = lowerAscii(b);
        }
        if (a != b)
            return false;
    }
    return true;
}

// Position of the first occurrence at or after from, or -1.
qsizetype find(const QString &text, const QString &what, bool ignoringCase, qsizetype from = 0)
{
    for (qsizetype i = from; i + what.size() <= text.size(); ++i) {
        if (matchesAt(text, i, what, ignoringCase))
            return i;
    }
    return -1;
}

bool has(const QString &text, const QString &what, bool ignoringCase = true)
{
    return find(text, what, ignoringCase) >= 0;
}

// Replaces each non-overlapping occurrence, left to right.
QString replaceEvery(const QString &text, const QString &what, const QString &with,
                     bool ignoringCase, int *count = nullptr)
{
    QString out;
    qsizetype i = 0;
    int n = 0;
    while (i < text.size()) {
        if (matchesAt(text, i, what, ignoringCase)) {
            out += with;
            i += what.size();
            ++n;
        } else {
            out += text.at(i);
            ++i;
        }
    }
    if (count)
        *count = n;
    return out;
}

bool writeFile(const QString &folder, const QString &name, const QString &value)
{
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write((value + kCrLf).toUtf8());
    return true;
}

bool readFile(const QString &folder, const QString &name, QString *text)
{
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *text = QString::fromUtf8(file.readAll());
    return true;
}

QString pageSchemeOf(const QString &url)
{
    return harvest::SchemeOf(url);
}

// Where the value of the tag's attribute `name` begins (after "=" and blanks), the
// tag read attribute by attribute; -1 without one, or without a value.
qsizetype valueStart(const QString &tag, const QString &name)
{
    static const QRegularExpression tagName(QStringLiteral("^<[^\\s/>]*"));
    // Blanks and slashes, a name (which may start with "="), and maybe a value.
    static const QRegularExpression attribute(
        QStringLiteral("[\\s/]*([^\\s/>][^\\s/>=]*)(?:\\s*=\\s*(\"[^\"]*\"?|'[^']*'?|[^\\s>]*))?"));
    qsizetype at = tagName.match(tag).capturedEnd();
    while (at < tag.size()) {
        const QRegularExpressionMatch m =
            attribute.match(tag, at, QRegularExpression::NormalMatch,
                            QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch() || m.capturedLength() == 0)
            return -1;
        if (m.captured(1).compare(name, Qt::CaseInsensitive) == 0)
            return m.capturedStart(2) < 0 ? -1 : m.capturedStart(2);
        at = m.capturedEnd();
    }
    return -1;
}

// Extraction of the value of the attribute from one tag. A value in quotes that the
// tag closes is all that lies between them; any other is read up to the first ">"
// after the attribute, with single quotes read as double ones.
QString extract(const QString &lineIn, qsizetype from)
{
    QString line = lineIn;
    const QString quoted = replaceEvery(line.mid(from), QStringLiteral("href="), QString(), true);
    if (quoted.startsWith(QLatin1Char('"')) || quoted.startsWith(QLatin1Char('\''))) {
        const qsizetype quote = quoted.indexOf(quoted.at(0), 1);
        if (quote >= 0)
            return quoted.mid(1, quote - 1);
    }
    const qsizetype close = line.indexOf(QLatin1Char('>'), from);
    if (close >= 0)
        line = line.mid(from, close - from + 1);
    else
        line = line.mid(from);
    line.replace(QLatin1Char('\''), QLatin1Char('"'));
    if (has(line, QStringLiteral("href=")))
        line = replaceEvery(line, QStringLiteral("href="), QString(), true);
    if (line.startsWith(QLatin1Char('"'))) {
        line = line.mid(1);
        const qsizetype quote = line.indexOf(QLatin1Char('"'));
        if (quote >= 0)
            line = line.left(quote);
    } else {
        qsizetype end = 0;
        while (end < line.size()) {
            const QChar c = line.at(end);
            if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r' || c == u'>')
                break;
            ++end;
        }
        line = line.left(end);
    }
    line.remove(QLatin1Char('"'));
    return line;
}

// pageBase: the folder the scan resolves against; originalBase: the base address it
// came from (without query and fragment), whose scheme counts; filePage: whether
// the page itself is a file.
bool resolve(const QString &value, const QString &pageBase, const QString &originalBase,
             bool filePage, QString *address)
{
    const QString pageScheme = pageSchemeOf(originalBase);
    QString base = pageBase;
    if (!harvest::SchemeOf(value).isEmpty()) {
        if (!harvest::IsAllowedAddress(value, filePage))
            return false;
        *address = value;
    } else if (value.startsWith(QLatin1String("//"))) {
        *address =
            (pageScheme.isEmpty() ? QStringLiteral("http") : pageScheme) + QLatin1Char(':') + value;
    } else if (value.contains(QLatin1String("../"))) {
        int ups = 0;
        const QString rest = replaceEvery(value, QStringLiteral("../"), QString(), false, &ups);
        bool hadScheme = false;
        if (has(base, kHttp)) {
            base = replaceEvery(base, kHttp, QString(), true);
            hadScheme = true;
        }
        if (!base.endsWith(QLatin1Char('/')))
            base = BaseDirectoryOf(base);
        if (hadScheme)
            base = kHttp + base;
        for (int i = 0; i < ups; ++i) {
            if (base == harvest::SiteRootOf(base))
                break;
            const QString up = BaseDirectoryOf(base);
            if (up.size() >= base.size())
                break;
            base = up;
        }
        *address = base + rest;
    } else if (value.startsWith(QLatin1Char('/'))) {
        const QString rest = value.mid(1);
        if (pageScheme == QLatin1String("https") || pageScheme == QLatin1String("file")) {
            *address = harvest::SiteRootOf(base) + rest;
        } else if (has(base, kHttp)) {
            base = replaceEvery(base, kHttp, QString(), true);
            const qsizetype slash = base.indexOf(QLatin1Char('/'));
            base = slash < 0 ? QString() : base.left(slash + 1);
            *address = kHttp + base + rest;
        } else {
            *address = base + rest;
        }
    } else {
        bool hadScheme = false;
        if (has(base, kHttp)) {
            base = replaceEvery(base, kHttp, QString(), true);
            hadScheme = true;
        }
        if (!base.endsWith(QLatin1Char('/')))
            base = BaseDirectoryOf(base);
        if (has(base, QStringLiteral("hometown.aol")))
            base = replaceEvery(base, QStringLiteral("hometown.aol"), QStringLiteral("members.aol"),
                                true);
        if (hadScheme)
            base = kHttp + base;
        *address = base + value;
    }
    return harvest::IsAllowedAddress(*address, filePage);
}

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r';
}

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// A tag as the tokenizer below reads it: from its "<" to just past its ">".
struct Token {
    qsizetype start;
    qsizetype end;
    QString name; // lower case
    bool endTag;
};

// The tags of a text, read one character at a time through the states of a
// browser's tokenizer: text, tag open, tag name, attribute names and values (quoted
// or not), comments, declarations, and the text of elements that holds no markup.
QList<Token> tokens(const QString &t)
{
    enum State {
        Text,
        TagOpen,
        EndTagOpen,
        TagName,
        BeforeName,
        Name,
        AfterName,
        BeforeValue,
        DoubleQuoted,
        SingleQuoted,
        Unquoted,
        AfterQuoted,
        SelfClosing,
        Bogus,
        Comment,
        Raw
    };
    const QStringList rawText = {"script", "style",   "textarea", "title",   "xmp",
                                 "iframe", "noembed", "noframes", "noscript"};
    QList<Token> out;
    State state = Text;
    Token current{0, 0, QString(), false};
    QString rawEnd;
    bool emitted = false;
    const auto emitTag = [&](qsizetype end) {
        current.end = end;
        out.append(current);
        emitted = true;
    };
    qsizetype i = 0;
    while (i < t.size()) {
        const QChar c = t.at(i);
        emitted = false;
        switch (state) {
        case Text:
            if (c == u'<') {
                current = Token{i, 0, QString(), false};
                state = TagOpen;
            }
            ++i;
            break;
        case TagOpen:
            if (t.mid(i).startsWith(QLatin1String("!--"))) {
                if (t.mid(i + 3).startsWith(QLatin1String(">"))) {
                    i += 4;
                    state = Text;
                } else if (t.mid(i + 3).startsWith(QLatin1String("->"))) {
                    i += 5;
                    state = Text;
                } else {
                    i += 3;
                    state = Comment;
                }
            } else if (c == u'!' || c == u'?') {
                state = Bogus;
                ++i;
            } else if (c == u'/') {
                state = EndTagOpen;
                ++i;
            } else if (isAsciiLetter(c)) {
                state = TagName;
            } else {
                state = Text;
            }
            break;
        case EndTagOpen:
            if (isAsciiLetter(c)) {
                current.endTag = true;
                state = TagName;
            } else if (c == u'>') {
                state = Text;
                ++i;
            } else {
                state = Bogus;
            }
            break;
        case TagName:
            if (isSpace(c)) {
                state = BeforeName;
            } else if (c == u'/') {
                state = SelfClosing;
            } else if (c == u'>') {
                emitTag(i + 1);
                state = Text;
            } else {
                current.name += lowerAscii(c);
            }
            ++i;
            break;
        case BeforeName:
            if (isSpace(c)) {
                ++i;
            } else if (c == u'/' || c == u'>') {
                state = AfterName;
            } else {
                state = Name;
                ++i; // the first character belongs to the name, even "="
            }
            break;
        case Name:
            if (isSpace(c) || c == u'/' || c == u'>') {
                state = AfterName;
            } else if (c == u'=') {
                state = BeforeValue;
                ++i;
            } else {
                ++i;
            }
            break;
        case AfterName:
            if (isSpace(c)) {
                ++i;
            } else if (c == u'/') {
                state = SelfClosing;
                ++i;
            } else if (c == u'=') {
                state = BeforeValue;
                ++i;
            } else if (c == u'>') {
                emitTag(i + 1);
                state = Text;
                ++i;
            } else {
                state = Name;
            }
            break;
        case BeforeValue:
            if (isSpace(c)) {
                ++i;
            } else if (c == u'"') {
                state = DoubleQuoted;
                ++i;
            } else if (c == u'\'') {
                state = SingleQuoted;
                ++i;
            } else if (c == u'>') {
                emitTag(i + 1);
                state = Text;
                ++i;
            } else {
                state = Unquoted;
            }
            break;
        case DoubleQuoted:
        case SingleQuoted:
            if (c == (state == DoubleQuoted ? u'"' : u'\''))
                state = AfterQuoted;
            ++i;
            break;
        case Unquoted:
            if (isSpace(c)) {
                state = BeforeName;
            } else if (c == u'>') {
                emitTag(i + 1);
                state = Text;
            }
            ++i;
            break;
        case AfterQuoted:
            if (isSpace(c)) {
                state = BeforeName;
                ++i;
            } else if (c == u'/') {
                state = SelfClosing;
                ++i;
            } else if (c == u'>') {
                emitTag(i + 1);
                state = Text;
                ++i;
            } else {
                state = BeforeName;
            }
            break;
        case SelfClosing:
            if (c == u'>') {
                emitTag(i + 1);
                state = Text;
                ++i;
            } else {
                state = BeforeName;
            }
            break;
        case Bogus:
            if (c == u'>')
                state = Text;
            ++i;
            break;
        case Comment:
            if (t.mid(i).startsWith(QLatin1String("-->"))) {
                i += 3;
                state = Text;
            } else if (t.mid(i).startsWith(QLatin1String("--!>"))) {
                i += 4;
                state = Text;
            } else {
                ++i;
            }
            break;
        case Raw: {
            const QString closing = QStringLiteral("</") + rawEnd;
            const QChar after = i + closing.size() < t.size() ? t.at(i + closing.size()) : u'>';
            if (matchesAt(t, i, closing, true) &&
                (isSpace(after) || after == u'/' || after == u'>')) {
                state = Text;
            } else {
                ++i;
            }
            break;
        }
        }
        // A start tag just read may turn what follows into text.
        if (emitted && !out.last().endTag) {
            if (out.last().name == QLatin1String("plaintext"))
                break;
            if (rawText.contains(out.last().name)) {
                rawEnd = out.last().name;
                state = Raw;
            }
        }
    }
    return out;
}

// The start tags of one name that the page shows: not inside <template>.
QList<Token> shownTags(const QString &text, const QString &name)
{
    QList<Token> shown;
    int templates = 0;
    for (const Token &token : tokens(text)) {
        if (token.name == QLatin1String("template")) {
            if (!token.endTag)
                ++templates;
            else if (templates > 0)
                --templates;
        } else if (!token.endTag && token.name == name && templates == 0) {
            shown.append(token);
        }
    }
    return shown;
}

// The value leads to a picture: its path, before "?" or "#" and without trailing
// blanks, ends in .bmp, .gif, .jpeg or .jpg.
bool leadsToPicture(const QString &value)
{
    QString path = value;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path.at(i) == u'?' || path.at(i) == u'#') {
            path.truncate(i);
            break;
        }
    }
    while (!path.isEmpty() && isSpace(path.back()))
        path.chop(1);
    static const QRegularExpression picture(QStringLiteral("\\.(bmp|gif|jpeg|jpg)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return picture.match(path).hasMatch();
}

QString withoutQueryAndFragment(const QString &url)
{
    QString out;
    for (const QChar c : url) {
        if (c == u'?' || c == u'#')
            break;
        out += c;
    }
    return out;
}

void scan(bool links, QString &pageUrl, const QString &baseUrl, const QString &folder,
          ResultLists &lists)
{
    const bool filePage = pageSchemeOf(pageUrl) == QLatin1String("file");
    const QString marker = links ? QStringLiteral("a") : QStringLiteral("img");
    const QString attribute = links ? QStringLiteral("href") : QStringLiteral("src");
    const int k = links ? 0 : 1;
    const QString originalBase = withoutQueryAndFragment(baseUrl.isEmpty() ? pageUrl : baseUrl);
    QString base = originalBase;
    const QString last4 = base.right(4);
    if (!base.endsWith(QLatin1Char('/')) && last4 != QLatin1String(".com") &&
        last4 != QLatin1String(".net") && last4 != QLatin1String(".edu") &&
        last4 != QLatin1String(".gov"))
        base = BaseDirectoryOf(base);
    pageUrl = base;

    QString fileText;
    if (!readFile(folder, QStringLiteral("checkImages.txt"), &fileText))
        return;
    // The clean file, written twice as before; the entries come from the page's tags.
    QString text = oneTagPerLine(fileText, links);
    if (!writeFile(folder, QStringLiteral("checkImagesClean.txt"), text))
        return;
    QString clean;
    readFile(folder, QStringLiteral("checkImagesClean.txt"), &clean);
    text.clear();
    for (const QString &line : readLines(clean)) {
        if (has(line, links ? QStringLiteral("<a ") : QStringLiteral("<img")))
            text += line + kCrLf;
    }
    if (!writeFile(folder, QStringLiteral("checkImagesClean.txt"), text))
        return;

    const QString page = fileText.endsWith(kCrLf) ? fileText.chopped(2) : fileText;
    for (const Token &tag : shownTags(page, marker)) {
        QString tagText = page.mid(tag.start, tag.end - tag.start);
        if (links)
            tagText = replaceEvery(tagText, QStringLiteral("cgi-bin/i/"), QString(), true);
        const qsizetype from = valueStart(tagText, attribute);
        if (from < 0)
            continue;
        const QString value = extract(tagText, from);
        if (value.trimmed().isEmpty() || (links && !leadsToPicture(value)))
            continue;
        const QString key = ImageFileName(value);
        QString address;
        if (!resolve(value, base, originalBase, filePage, &address))
            continue;
        bool seen = false;
        for (qsizetype i = 0; i < lists.Keys[k].size(); ++i) {
            if (lists.Keys[k].at(i) == key)
                seen = true;
        }
        if (seen)
            continue;
        lists.Links[k].append(address);
        lists.Keys[k].append(key);
    }
}

QString escapeChar(QChar c)
{
    if (c == u'&')
        return QStringLiteral("&amp;");
    if (c == u'<')
        return QStringLiteral("&lt;");
    if (c == u'\r' || c == u'\n')
        return QStringLiteral("<BR>");
    if (c.unicode() < 0x20 && c != u'\t')
        return QString(QChar(0x2400 + c.unicode()));
    return QString(c);
}

QString attributeSafe(const QString &text)
{
    QString out = text;
    out.replace(QLatin1String("<"), QLatin1String("&lt;"));
    out.replace(QLatin1String(">"), QLatin1String("&gt;"));
    out.replace(QLatin1String("\""), QLatin1String("&quot;"));
    out.replace(QLatin1String("'"), QLatin1String("&#39;"));
    for (char16_t c = 0; c < 0x20; ++c) {
        if (c != u'\t' && c != u'\r' && c != u'\n')
            out.replace(QChar(c), QStringLiteral("%") +
                                      QString::number(c, 16).rightJustified(2, u'0').toUpper());
    }
    return out;
}

// CR and LF both become "<BR>", so a name matches either.
bool sameUnit(QChar a, QChar b)
{
    if (a == u'\r')
        a = u'\n';
    if (b == u'\r')
        b = u'\n';
    return a == b;
}

} // namespace

QStringList readLines(const QString &text)
{
    QStringList lines;
    QString current;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            lines.append(current);
            current.clear();
            ++i;
            if (i < text.size() && text.at(i) == u'\n')
                ++i;
        } else {
            current += c;
            ++i;
        }
    }
    if (!current.isEmpty())
        lines.append(current);
    return lines;
}

QString oneTagPerLine(const QString &fileText, bool links)
{
    const QString marker = links ? QStringLiteral("<a ") : QStringLiteral("<img");
    QString text;
    for (QString line : readLines(fileText)) {
        if (links)
            line = replaceEvery(line, QStringLiteral("cgi-bin/i/"), QString(), true);
        if (has(line, marker))
            text += line + kCrLf;
    }
    for (int round = 0; round < 100; ++round) {
        text = replaceEvery(text, marker, kCrLf + marker, true);
        text = replaceEvery(text, kCrLf + kCrLf, kCrLf, false);
    }
    return text;
}

void ScanImageTags(QString &pageUrl, const QString &folder, ResultLists &lists,
                   const QString &baseUrl)
{
    scan(false, pageUrl, baseUrl, folder, lists);
}

void ScanImageLinks(QString &pageUrl, const QString &folder, ResultLists &lists,
                    const QString &baseUrl)
{
    scan(true, pageUrl, baseUrl, folder, lists);
}

QString SourcePageText(const QString &pageText, const ResultLists &lists)
{
    QStringList names;
    QStringList targets;
    for (int k = 0; k < 2; ++k) {
        for (qsizetype i = 0; i < lists.Links[k].size(); ++i) {
            names.append(lists.Keys[k].at(i));
            targets.append(lists.Links[k].at(i));
        }
    }
    QString out(QChar(0xFEFF));
    qsizetype p = 0;
    while (p < pageText.size()) {
        qsizetype best = -1;
        qsizetype bestLength = 0;
        for (qsizetype j = 0; j < names.size(); ++j) {
            const QString &name = names.at(j);
            if (name.size() <= bestLength || p + name.size() > pageText.size())
                continue;
            bool match = true;
            for (qsizetype i = 0; i < name.size() && match; ++i)
                match = sameUnit(pageText.at(p + i), name.at(i));
            if (match) {
                best = j;
                bestLength = name.size();
            }
        }
        if (best < 0) {
            out += escapeChar(pageText.at(p));
            ++p;
            continue;
        }
        out += QStringLiteral("<a href='") + attributeSafe(targets.at(best)) + QStringLiteral("'>");
        for (qsizetype i = 0; i < bestLength; ++i)
            out += escapeChar(pageText.at(p + i));
        out += QStringLiteral("</a>");
        p += bestLength;
    }
    return out;
}

QString ImagePageText(const ResultLists &lists)
{
    QString page(QChar(0xFEFF));
    for (qsizetype i = 0; i < lists.Keys[1].size(); ++i) {
        QString u = lists.Links[1].at(i);
        if (harvest::SchemeOf(u).isEmpty())
            u = kHttp + u;
        page += QStringLiteral("<a href='") + attributeSafe(u) + QStringLiteral("'><img src='") +
                attributeSafe(u) + QStringLiteral("'></a><BR>") +
                attributeSafe(harvest::VisibleControls(lists.Links[1].at(i))) +
                QStringLiteral("<BR><BR><BR>");
    }
    return page;
}

void RunHarvest(const QString &pageText, const QString &pageUrl, const QString &folder,
                ResultLists &lists, const QString &baseUrl)
{
    writeFile(folder, QStringLiteral("checkImages.txt"), pageText);
    lists.Links[0].clear();
    lists.Keys[0].clear();
    lists.Links[1].clear();
    lists.Keys[1].clear();
    QString url = pageUrl;
    ScanImageTags(url, folder, lists, baseUrl);
    url = pageUrl;
    ScanImageLinks(url, folder, lists, baseUrl);
    const QString source = SourcePageText(pageText, lists);
    writeFile(folder, QStringLiteral("imagepage.html"), ImagePageText(lists));
    writeFile(folder, QStringLiteral("source.htm"), source);
    for (const char *name :
         {"checkImages.txt", "checkImagesClean.txt", "browser.txt", "images.htm"})
        writeFile(folder, QString::fromLatin1(name), QString());
}

} // namespace reference
