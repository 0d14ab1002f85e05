#include "harvest/Tags.h"

#include "harvest/Bytes.h"

#include <cstring>

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

qsizetype find(const char *data, qsizetype n, char c, qsizetype from)
{
    return FindByte(data, from, n, c);
}

qsizetype findText(const char *data, qsizetype n, const char *what, qsizetype from)
{
    const qsizetype length = qsizetype(std::strlen(what));
    for (qsizetype at = find(data, n, what[0], from); at >= 0 && at + length <= n;
         at = find(data, n, what[0], at + 1)) {
        if (std::memcmp(data + at, what, size_t(length)) == 0)
            return at;
    }
    return -1;
}

// Past the end of a tag's name, or n.
qsizetype nameEnd(const char *data, qsizetype n, qsizetype from)
{
    while (from < n && !isSpace(data[from]) && data[from] != '/' && data[from] != '>')
        ++from;
    return from;
}

// The ">" that closes a tag whose attributes start at i, or -1 when the text ends
// first. Attribute names and unquoted values end at a blank, "/" or ">"; a quoted
// value runs to its own closing quote, whatever it holds.
qsizetype tagClose(const char *data, qsizetype n, qsizetype i)
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
            const qsizetype quote = find(data, n, data[i], i + 1);
            if (quote < 0)
                return -1;
            i = quote + 1;
        } else if (data[i] != '>') {
            while (i < n && !isSpace(data[i]) && data[i] != '>')
                ++i;
        }
    }
}

// Where the end tag "</name" that closes an element of raw text starts, or -1.
qsizetype rawTextEnd(const char *data, qsizetype n, qsizetype from, TagName lowerName)
{
    const qsizetype length = lowerName.length;
    for (qsizetype at = find(data, n, '<', from); at >= 0; at = find(data, n, '<', at + 1)) {
        if (at + 2 + length > n)
            return -1;
        if (data[at + 1] != '/' || !sameName(data + at + 2, length, lowerName))
            continue;
        const qsizetype after = at + 2 + length;
        if (after == n || isSpace(data[after]) || data[after] == '/' || data[after] == '>')
            return at;
    }
    return -1;
}

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

void FindTags(QByteArrayView text, const std::function<void(const Tag &)> &found)
{
    const char *data = text.data();
    const qsizetype n = text.size();
    int templates = 0; // open <template> elements around the current position
    qsizetype pos = 0;
    while (true) {
        const qsizetype open = find(data, n, '<', pos);
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
                const qsizetype plain = findText(data, n, "-->", body);
                const qsizetype bang = findText(data, n, "--!>", body);
                if (plain < 0 && bang < 0)
                    break;
                pos = (bang < 0 || (plain >= 0 && plain < bang)) ? plain + 3 : bang + 4;
                continue;
            }
            // A declaration (<!DOCTYPE ...>, <![CDATA[ ...) reads to the next ">".
            const qsizetype close = find(data, n, '>', open + 2);
            if (close < 0)
                break;
            pos = close + 1;
            continue;
        }
        if (next == '?') {
            const qsizetype close = find(data, n, '>', open + 2);
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
                const qsizetype close = find(data, n, '>', open + 2);
                if (close < 0)
                    break;
                pos = close + 1;
                continue;
            }
            const qsizetype end = nameEnd(data, n, open + 2);
            const qsizetype close = tagClose(data, n, end);
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
        const qsizetype end = nameEnd(data, n, open + 1);
        const qsizetype close = tagClose(data, n, end);
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
        if (sameName(name, length, "template")) {
            ++templates;
            continue;
        }
        if (sameName(name, length, "plaintext"))
            break;
        for (const TagName raw : kRawText) {
            if (sameName(name, length, raw)) {
                const qsizetype stop = rawTextEnd(data, n, pos, raw);
                pos = stop < 0 ? n : stop;
                break;
            }
        }
    }
}

} // namespace harvest
