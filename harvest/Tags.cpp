#include "harvest/Tags.h"

#include "harvest/Bytes.h"

#include <QUrl>

namespace harvest {
namespace {

bool isSpace(char c)
{
    // CR counts: a browser reads it as a line break before it tokenizes.
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

// A tag name in lower case, with its length.
struct TagName {
    const char *text;
    qsizetype length;
    template <size_t N> constexpr TagName(const char (&name)[N]) : text(name), length(N - 1) {}
};

bool sameName(const char *name, qsizetype length, TagName lowerName)
{
    if (length != lowerName.length)
        return false;
    for (qsizetype i = 0; i < length; ++i) {
        if (lower(name[i]) != lowerName.text[i])
            return false;
    }
    return true;
}

// The text being read, with a count of the bytes the reading has passed over.
// Every search starts where the reading stands and goes forward, and the reading
// goes on from where the search stopped: so the count, and with it the time, stays
// a small multiple of the text's size however the text is made.
class Reader {
public:
    explicit Reader(QByteArrayView text) : data(text.data()), n(text.size()) {}

    const char *const data;
    const qsizetype n;
    qsizetype examined = 0;

    // The first c at or after from, or -1.
    qsizetype find(char c, qsizetype from)
    {
        const qsizetype hit = FindByte(data, from, n, c);
        passed(from, hit < 0 ? n : hit + 1);
        return hit;
    }

    // Past the end of a tag's name, or n.
    qsizetype nameEnd(qsizetype from)
    {
        qsizetype i = from;
        while (i < n && !isSpace(data[i]) && data[i] != '/' && data[i] != '>')
            ++i;
        passed(from, i);
        return i;
    }

    // The ">" that closes a tag whose attributes start at i, or -1 when the text
    // ends first. Attribute names and unquoted values end at a blank, "/" or ">"; a
    // quoted value runs to its own closing quote, whatever it holds.
    qsizetype tagClose(qsizetype i)
    {
        const qsizetype from = i;
        const qsizetype close = attributesEnd(i);
        passed(from, close < 0 ? n : close + 1);
        return close;
    }

    // Where the comment whose text starts at body ends: just past its "-->" or
    // "--!>", whichever comes first, or -1 when the text ends first. Each ">" is
    // looked at once, with the few bytes before it: the ">" of the first of the
    // two endings comes before the other's.
    qsizetype commentEnd(qsizetype body)
    {
        for (qsizetype close = find('>', body); close >= 0; close = find('>', close + 1)) {
            examined += 3;
            if (close - 2 >= body && data[close - 1] == '-' && data[close - 2] == '-')
                return close + 1;
            if (close - 3 >= body && data[close - 1] == '!' && data[close - 2] == '-' &&
                data[close - 3] == '-')
                return close + 1;
        }
        return -1;
    }

    // Where the end tag "</name" that closes an element of raw text starts, or -1.
    qsizetype rawTextEnd(qsizetype from, TagName lowerName)
    {
        const qsizetype length = lowerName.length;
        for (qsizetype at = find('<', from); at >= 0; at = find('<', at + 1)) {
            if (at + 2 + length > n)
                return -1;
            // A name is compared up to its first difference, which comes before
            // the next "<", as no name holds one.
            examined += 1;
            if (data[at + 1] != '/' || !sameName(data + at + 2, length, lowerName))
                continue;
            const qsizetype after = at + 2 + length;
            if (after == n || isSpace(data[after]) || data[after] == '/' || data[after] == '>')
                return at;
        }
        return -1;
    }

private:
    void passed(qsizetype from, qsizetype to)
    {
        if (to > from)
            examined += to - from;
    }

    qsizetype attributesEnd(qsizetype i)
    {
        while (true) {
            while (i < n && (isSpace(data[i]) || data[i] == '/'))
                ++i;
            if (i >= n)
                return -1;
            if (data[i] == '>')
                return i;
            // An attribute's name; its first character may be anything, "=" included.
            ++i;
            while (i < n && !isSpace(data[i]) && data[i] != '/' && data[i] != '>' && data[i] != '=')
                ++i;
            while (i < n && isSpace(data[i]))
                ++i;
            if (i >= n || data[i] != '=')
                continue;
            ++i;
            while (i < n && isSpace(data[i]))
                ++i;
            if (i >= n)
                return -1;
            if (data[i] == '"' || data[i] == '\'') {
                const qsizetype quote = FindByte(data, i + 1, n, data[i]);
                if (quote < 0)
                    return -1;
                i = quote + 1;
            } else if (data[i] != '>') {
                while (i < n && !isSpace(data[i]) && data[i] != '>')
                    ++i;
            }
        }
    }
};

// Elements whose content is text up to their end tag, never markup.
const TagName kRawText[] = {"script", "style",   "textarea", "title",   "xmp",
                            "iframe", "noembed", "noframes", "noscript"};

} // namespace

std::vector<Tag> FindTags(QByteArrayView text)
{
    std::vector<Tag> tags;
    FindTags(text, [&tags](const Tag &tag) { tags.push_back(tag); });
    return tags;
}

void FindTags(QByteArrayView text, const std::function<void(const Tag &)> &found,
              qsizetype *examined)
{
    Reader reader(text);
    const char *data = reader.data;
    const qsizetype n = reader.n;
    int templates = 0; // open <template> elements around the current position
    qsizetype pos = 0;
    while (true) {
        const qsizetype open = reader.find('<', pos);
        if (open < 0 || open + 1 >= n)
            break;
        const char next = data[open + 1];
        if (next == '!') {
            if (open + 3 < n && data[open + 2] == '-' && data[open + 3] == '-') {
                // A comment: "<!-->" and "<!--->" end at once, the others at "-->"
                // or "--!>".
                const qsizetype body = open + 4;
                if (body < n && data[body] == '>') {
                    pos = body + 1;
                    continue;
                }
                if (body + 1 < n && data[body] == '-' && data[body + 1] == '>') {
                    pos = body + 2;
                    continue;
                }
                const qsizetype end = reader.commentEnd(body);
                if (end < 0)
                    break;
                pos = end;
                continue;
            }
            // A declaration (<!DOCTYPE ...>, <![CDATA[ ...) reads to the next ">".
            const qsizetype close = reader.find('>', open + 2);
            if (close < 0)
                break;
            pos = close + 1;
            continue;
        }
        if (next == '?') {
            const qsizetype close = reader.find('>', open + 2);
            if (close < 0)
                break;
            pos = close + 1;
            continue;
        }
        if (next == '/') {
            if (open + 2 >= n)
                break;
            if (!isAlpha(data[open + 2])) {
                // "</>" is dropped; "</" before anything else but a letter reads as a
                // comment up to the next ">".
                const qsizetype close = reader.find('>', open + 2);
                if (close < 0)
                    break;
                pos = close + 1;
                continue;
            }
            const qsizetype end = reader.nameEnd(open + 2);
            const qsizetype close = reader.tagClose(end);
            if (close < 0)
                break;
            if (templates > 0 && sameName(data + open + 2, end - open - 2, "template"))
                --templates;
            pos = close + 1;
            continue;
        }
        if (!isAlpha(next)) {
            // A "<" that opens nothing is text.
            pos = open + 1;
            continue;
        }
        const qsizetype end = reader.nameEnd(open + 1);
        const qsizetype close = reader.tagClose(end);
        if (close < 0)
            break;
        const char *name = data + open + 1;
        const qsizetype length = end - open - 1;
        pos = close + 1;
        if (sameName(name, length, "img") || sameName(name, length, "a")) {
            if (templates == 0)
                found(Tag{open, close + 1, length == 1 ? Tag::Anchor : Tag::Image});
            continue;
        }
        if (sameName(name, length, "base")) {
            if (templates == 0)
                found(Tag{open, close + 1, Tag::Base});
            continue;
        }
        if (sameName(name, length, "template")) {
            ++templates;
            continue;
        }
        if (sameName(name, length, "plaintext"))
            break;
        for (const TagName raw : kRawText) {
            if (sameName(name, length, raw)) {
                const qsizetype stop = reader.rawTextEnd(pos, raw);
                pos = stop < 0 ? n : stop;
                break;
            }
        }
    }
    if (examined)
        *examined = reader.examined;
}

qsizetype AttributeValueAt(QByteArrayView tag, QByteArrayView name)
{
    const qsizetype n = tag.size();
    qsizetype i = 1;
    while (i < n && !isSpace(tag[i]) && tag[i] != '/' && tag[i] != '>')
        ++i;
    while (i < n) {
        while (i < n && (isSpace(tag[i]) || tag[i] == '/'))
            ++i;
        if (i >= n || tag[i] == '>')
            return -1;
        const qsizetype nameStart = i;
        // A name may begin with "=", and ends at a blank, "/", ">" or "=".
        ++i;
        while (i < n && !isSpace(tag[i]) && tag[i] != '/' && tag[i] != '>' && tag[i] != '=')
            ++i;
        bool named = i - nameStart == name.size();
        for (qsizetype k = 0; named && k < name.size(); ++k)
            named = lower(tag[nameStart + k]) == name[k];
        while (i < n && isSpace(tag[i]))
            ++i;
        if (i >= n || tag[i] != '=') {
            if (named)
                return -1;
            continue;
        }
        ++i;
        while (i < n && isSpace(tag[i]))
            ++i;
        if (named)
            return i;
        if (i < n && (tag[i] == '"' || tag[i] == '\'')) {
            const qsizetype quote = tag.indexOf(tag[i], i + 1);
            i = quote < 0 ? n : quote + 1;
        } else {
            while (i < n && !isSpace(tag[i]) && tag[i] != '>')
                ++i;
        }
    }
    return -1;
}

QString DocumentBase(QByteArrayView text, const QString &pageUrl)
{
    QString base;
    bool found = false;
    FindTags(text, [&](const Tag &tag) {
        if (found || tag.kind != Tag::Base)
            return;
        const QByteArrayView tagText = text.sliced(tag.start, tag.end - tag.start);
        qsizetype at = AttributeValueAt(tagText, "href");
        if (at < 0)
            return;
        // Only the first base element with an address counts.
        found = true;
        qsizetype end = tagText.size() - 1;
        if (tagText[at] == '"' || tagText[at] == '\'') {
            const qsizetype quote = tagText.indexOf(tagText[at], at + 1);
            end = quote < 0 ? end : quote;
            ++at;
        } else {
            end = at;
            while (end < tagText.size() && !isSpace(tagText[end]) && tagText[end] != '>')
                ++end;
        }
        const QString value = QString::fromUtf8(tagText.sliced(at, end - at)).trimmed();
        const QUrl resolved = QUrl(pageUrl).resolved(QUrl(value));
        const QString scheme = resolved.scheme().toLower();
        // A data: or javascript: base is no base.
        if (resolved.isValid() && scheme != QLatin1String("data") &&
            scheme != QLatin1String("javascript"))
            base = resolved.toString();
    });
    return base.isEmpty() ? pageUrl : base;
}

} // namespace harvest
