#include "harvest/UrlHelpers.h"

#include "harvest/Bytes.h"

#include "harvest/TextRules.h"
#include "harvest/Utf8Lists.h"

#include <cstring>

using namespace harvest;

namespace {

const QLatin1StringView kHttp("http://");

// "https://" or "file://" and nothing after: the bare start of an address whose
// folder search found no folder.
bool isBareSchemeStart(const QString &d)
{
    return d.compare(QLatin1StringView("https://"), Qt::CaseInsensitive) == 0 ||
           d.compare(QLatin1StringView("file://"), Qt::CaseInsensitive) == 0;
}

bool isSchemeStartChar(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isSchemeChar(QChar c)
{
    return isSchemeStartChar(c) || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
}

// Decodes the character references a browser would decode in an attribute value,
// as far as they can matter for telling the scheme: numeric ones and the named
// ones that stand for ASCII punctuation or white space.
QString decodeReferences(const QString &text)
{
    if (!text.contains(u'&'))
        return text;
    static const struct {
        QLatin1StringView name;
        char16_t value;
    } named[] = {
        {QLatin1StringView("colon;"), u':'},    {QLatin1StringView("tab;"), u'\t'},
        {QLatin1StringView("newline;"), u'\n'}, {QLatin1StringView("sol;"), u'/'},
        {QLatin1StringView("quest;"), u'?'},    {QLatin1StringView("num;"), u'#'},
        {QLatin1StringView("period;"), u'.'},   {QLatin1StringView("plus;"), u'+'},
        {QLatin1StringView("amp;"), u'&'},      {QLatin1StringView("amp"), u'&'},
    };
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c != u'&') {
            out.append(c);
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        if (j < n && text.at(j) == u'#') {
            ++j;
            int base = 10;
            if (j < n && (text.at(j) == u'x' || text.at(j) == u'X')) {
                base = 16;
                ++j;
            }
            const qsizetype digitsStart = j;
            quint32 value = 0;
            while (j < n) {
                const int d = QChar(text.at(j)).digitValue();
                const char16_t h = asciiLower(text.at(j).unicode());
                int v = -1;
                if (d >= 0 && d <= 9 && text.at(j).unicode() < 128)
                    v = d;
                else if (base == 16 && h >= u'a' && h <= u'f')
                    v = h - u'a' + 10;
                if (v < 0 || v >= base)
                    break;
                value = value > 0x10FFFF ? value : value * base + v;
                ++j;
            }
            if (j == digitsStart) {
                out.append(c);
                ++i;
                continue;
            }
            if (j < n && text.at(j) == u';')
                ++j;
            if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
                value = 0xFFFD;
            out.append(QString::fromUcs4(reinterpret_cast<const char32_t *>(&value), 1));
            i = j;
            continue;
        }
        bool matched = false;
        for (const auto &ref : named) {
            if (startsWithIgnoringCase(QStringView(text).mid(j), ref.name)) {
                out.append(QChar(ref.value));
                i = j + ref.name.size();
                matched = true;
                break;
            }
        }
        if (!matched) {
            out.append(c);
            ++i;
        }
    }
    return out;
}

// The address as a browser would read it, for telling its scheme.
QString browserForm(const QString &address)
{
    // Nearly every address has nothing to decode or skip: it is its own form.
    bool plain = address.isEmpty() || address.at(0).unicode() > 0x20;
    for (qsizetype i = 0; plain && i < address.size(); ++i) {
        const char16_t c = address.at(i).unicode();
        plain = c != u'&' && c != u'\t' && c != u'\n' && c != u'\r';
    }
    if (plain)
        return address;
    const QString decoded = decodeReferences(address);
    QString out;
    out.reserve(decoded.size());
    qsizetype i = 0;
    while (i < decoded.size() && decoded.at(i).unicode() <= 0x20)
        ++i;
    for (; i < decoded.size(); ++i) {
        const QChar c = decoded.at(i);
        if (c != u'\t' && c != u'\n' && c != u'\r')
            out.append(c);
    }
    return out;
}

QString schemeOfBrowserForm(const QString &form)
{
    qsizetype i = 0;
    while (i < form.size()) {
        const QChar c = form.at(i);
        if (c == u':' || c == u'/' || c == u'?' || c == u'#' || c == u'\\')
            break;
        ++i;
    }
    if (i == 0 || i == form.size() || form.at(i) != u':')
        return {};
    if (!isSchemeStartChar(form.at(0)))
        return {};
    for (qsizetype k = 1; k < i; ++k) {
        if (!isSchemeChar(form.at(k)))
            return {};
    }
    // The common schemes come back without making a new text.
    static const QString common[] = {QStringLiteral("http"), QStringLiteral("https"),
                                     QStringLiteral("file"), QStringLiteral("data")};
    for (const QString &scheme : common) {
        if (i == scheme.size() &&
            QStringView(form).first(i).compare(scheme, Qt::CaseInsensitive) == 0)
            return scheme;
    }
    return form.left(i).toLower();
}

} // namespace

QString BaseDirectoryOf(const QString &url)
{
    QString s = url;
    const bool hadScheme = replaceEveryIgnoringCase(s, kHttp) > 0;
    if (s.endsWith(u'/'))
        s.chop(1);
    const qsizetype last = s.lastIndexOf(u'/');
    QString d = last < 0 ? QString() : s.left(last + 1);
    if (hadScheme)
        d.prepend(kHttp);
    if (!d.isEmpty() && d != kHttp && !isBareSchemeStart(d))
        return d;
    return s + u'/';
}

QString ImageFileName(const QString &reference)
{
    QString t = reference;
    replaceEveryIgnoringCase(t, kHttp);
    const qsizetype last = t.lastIndexOf(u'/');
    if (last >= 0)
        t = t.mid(last + 1);
    replaceEveryIgnoringCase(t, QLatin1StringView(" border="));
    t.remove(u'"');
    return t;
}

namespace harvest {

QString SchemeOf(const QString &address)
{
    return schemeOfBrowserForm(browserForm(address));
}

bool IsAllowedAddress(const QString &address, bool filePage)
{
    const QString form = browserForm(address);
    const QString scheme = schemeOfBrowserForm(form);
    if (scheme.isEmpty() || scheme == u"http" || scheme == u"https")
        return true;
    if (scheme == u"file")
        return filePage;
    if (scheme == u"data")
        return startsWithIgnoringCase(form, QLatin1StringView("data:image/"));
    return false;
}

bool ReadsAsWritten(QByteArrayView address)
{
    if (!address.isEmpty() && uchar(address.front()) <= 0x20)
        return false;
    return !harvest::HoldsAnyOf<'&', '\t', '\n', '\r'>(address);
}

QByteArrayView SchemeOfPlain(QByteArrayView address)
{
    // As schemeOfBrowserForm() reads it; a byte of a character beyond ASCII is no
    // scheme character, as the character is not.
    qsizetype i = 0;
    while (i < address.size()) {
        const char c = address[i];
        if (c == ':' || c == '/' || c == '?' || c == '#' || c == '\\')
            break;
        ++i;
    }
    if (i == 0 || i == address.size() || address[i] != ':' ||
        !isSchemeStartChar(QLatin1Char(address[0])))
        return {};
    for (qsizetype k = 1; k < i; ++k) {
        if (!isSchemeChar(QLatin1Char(address[k])))
            return {};
    }
    return address.first(i);
}

bool HasScheme(QByteArrayView address)
{
    if (ReadsAsWritten(address))
        return !SchemeOfPlain(address).isEmpty();
    return !SchemeOf(TextOfUtf8(address)).isEmpty();
}

bool IsAllowedAddress(QByteArrayView address, bool filePage)
{
    if (!ReadsAsWritten(address))
        return IsAllowedAddress(TextOfUtf8(address), filePage);
    const QByteArrayView scheme = SchemeOfPlain(address);
    // Scheme characters are ASCII: a letter's case is its bit 0x20.
    const auto is = [](QByteArrayView text, QByteArrayView lowerName) {
        if (text.size() != lowerName.size())
            return false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if ((text[i] | 0x20) != lowerName[i])
                return false;
        }
        return true;
    };
    if (scheme.isEmpty() || is(scheme, "http") || is(scheme, "https"))
        return true;
    if (is(scheme, "file"))
        return filePage;
    if (is(scheme, "data"))
        return address.size() >= 11 &&
               address.first(11).compare(QByteArrayView("data:image/"), Qt::CaseInsensitive) == 0;
    return false;
}

QString SiteRootOf(const QString &url)
{
    const qsizetype mark = url.indexOf(QLatin1StringView("://"));
    const qsizetype slash = url.indexOf(u'/', mark < 0 ? 0 : mark + 3);
    return slash < 0 ? url + u'/' : url.left(slash + 1);
}

} // namespace harvest
