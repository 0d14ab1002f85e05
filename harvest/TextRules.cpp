#include "harvest/TextRules.h"

namespace harvest {

qsizetype indexOfIgnoringCase(QStringView text, QLatin1StringView needle, qsizetype from)
{
    const qsizetype n = needle.size();
    if (n == 0)
        return from <= text.size() ? from : -1;
    const qsizetype last = text.size() - n;
    const char16_t *data = text.utf16();
    // Anchor the search on the first character of the needle that has no other
    // case, so that the vectorised character search can skip ahead.
    qsizetype anchor = 0;
    while (anchor < n && needle.at(anchor) >= u'a' && needle.at(anchor) <= u'z')
        ++anchor;
    if (anchor < n) {
        const QChar anchorChar = needle.at(anchor);
        qsizetype i = from;
        while (i <= last) {
            const qsizetype hit = text.indexOf(anchorChar, i + anchor);
            if (hit < 0)
                return -1;
            i = hit - anchor;
            if (i > last)
                return -1;
            qsizetype k = 0;
            while (k < n && asciiLower(data[i + k]) == char16_t(needle.at(k).unicode()))
                ++k;
            if (k == n)
                return i;
            ++i;
        }
        return -1;
    }
    const char16_t first = char16_t(needle.at(0).unicode());
    const char16_t firstUpper = char16_t(first - 32);
    for (qsizetype i = from; i <= last; ++i) {
        if (data[i] != first && data[i] != firstUpper)
            continue;
        qsizetype k = 1;
        while (k < n && asciiLower(data[i + k]) == char16_t(needle.at(k).unicode()))
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

qsizetype replaceEveryIgnoringCase(QString &text, QLatin1StringView needle,
                                   QLatin1StringView replacement)
{
    qsizetype at = indexOfIgnoringCase(text, needle);
    if (at < 0)
        return 0;
    QString out;
    out.reserve(text.size());
    qsizetype done = 0;
    qsizetype count = 0;
    while (at >= 0) {
        out.append(QStringView(text).mid(done, at - done));
        out.append(replacement);
        done = at + needle.size();
        ++count;
        at = indexOfIgnoringCase(text, needle, done);
    }
    out.append(QStringView(text).mid(done));
    text = std::move(out);
    return count;
}

qsizetype removeEvery(QString &text, QLatin1StringView needle)
{
    qsizetype at = text.indexOf(needle);
    if (at < 0)
        return 0;
    QString out;
    out.reserve(text.size());
    qsizetype done = 0;
    qsizetype count = 0;
    while (at >= 0) {
        out.append(QStringView(text).mid(done, at - done));
        done = at + needle.size();
        ++count;
        at = text.indexOf(needle, done);
    }
    out.append(QStringView(text).mid(done));
    text = std::move(out);
    return count;
}

} // namespace harvest
