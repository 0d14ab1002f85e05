#include "harvest/Bytes.h"
#include "harvest/Harvest.h"
#include "harvest/Tags.h"
#include "harvest/TextRules.h"
#include "harvest/UrlHelpers.h"
#include "harvest/Utf8Lists.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

using namespace harvest;

namespace {

const QLatin1StringView kHttp("http://");

constexpr bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A text to search for (lower-case ASCII), with the position of its first
// character that is no letter: the search skips ahead to that character.
struct Needle {
    QByteArrayView text;
    qsizetype anchor;
    template <size_t N>
    constexpr Needle(const char (&lower)[N]) : text(lower, N - 1), anchor(anchorOf(lower, N - 1))
    {
    }
    Needle(QByteArrayView lower) : text(lower), anchor(anchorOf(lower.data(), lower.size())) {}
    static constexpr qsizetype anchorOf(const char *lower, qsizetype size)
    {
        qsizetype anchor = 0;
        while (anchor < size && isLetter(lower[anchor]))
            ++anchor;
        return anchor;
    }
};

constexpr Needle kCgiBin("cgi-bin/i/");
constexpr Needle kHrefNeedle("href=");
constexpr Needle kHttpNeedle("http://");
constexpr Needle kBorder(" border=");

struct ScanKind {
    QByteArrayView marker;    // lower case, as written in front of each clean line
    QByteArrayView attribute; // the attribute whose value is taken, lower case
    int k;                    // the pair of lists that receives the entries
    bool links;
};

const ScanKind kImageTags{"<img", "src", 1, false};
const ScanKind kImageLinks{"<a ", "href", 0, true};

char lowerByte(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

bool matchesAt(const char *data, QByteArrayView lowerNeedle)
{
    for (qsizetype k = 0; k < lowerNeedle.size(); ++k) {
        if (lowerByte(data[k]) != lowerNeedle[k])
            return false;
    }
    return true;
}

// Position of the first occurrence of needle (lower-case ASCII) at or after from,
// ignoring the case of ASCII letters; -1 when there is none. The search skips
// ahead to the needle's first character that is no letter, when it has one.
qsizetype indexOfBytes(QByteArrayView text, const Needle &lower, qsizetype from = 0)
{
    const QByteArrayView needle = lower.text;
    const qsizetype n = needle.size();
    const qsizetype last = text.size() - n;
    const char *data = text.data();
    const qsizetype anchor = lower.anchor;
    if (anchor < n) {
        qsizetype i = from;
        while (i <= last) {
            const qsizetype hit = FindByte(data, i + anchor, last + anchor + 1, needle[anchor]);
            if (hit < 0)
                return -1;
            i = hit - anchor;
            if (matchesAt(data + i, needle))
                return i;
            ++i;
        }
        return -1;
    }
    for (qsizetype i = from; i <= last; ++i) {
        if (matchesAt(data + i, needle))
            return i;
    }
    return -1;
}

// Text with every occurrence of needle (found as indexOfBytes finds it, left to
// right) taken out.
QByteArray removeEveryBytes(QByteArrayView text, const Needle &needle)
{
    QByteArray out;
    out.reserve(text.size());
    qsizetype done = 0;
    for (qsizetype at = indexOfBytes(text, needle); at >= 0;
         at = indexOfBytes(text, needle, done)) {
        out.append(text.sliced(done, at - done));
        done = at + needle.text.size();
    }
    out.append(text.sliced(done));
    return out;
}

bool isBlank(char c)
{
    // CR too: a tag's attributes may run over several lines.
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// The value of the search attribute of a tag that holds it, without the attribute
// and without any "href=" in it. A quoted value runs to its own closing quote,
// whatever it holds, ">" and "<" and the other quote included, as a browser reads
// it. Otherwise the value is read from the attribute to the first ">" after it,
// single quotes read as double ones: a value that opens a quote the tag never
// closes runs to the first quote or to that ">", an unquoted one to the first blank
// or ">", without quotes. The value lies in the tag, or in scratch when it had to
// be changed.
QByteArrayView extractValue(QByteArrayView tag, qsizetype valueAt, QByteArray &scratch)
{
    const auto isQuote = [](char c) { return c == '"' || c == '\''; };
    QByteArrayView rest = tag.sliced(valueAt);
    // "href=" right after the attribute is taken out before its first character
    // decides how the value is read; taking it out of the whole rest moves no quote.
    bool cleaned = false;
    if (rest.size() >= kHrefNeedle.text.size() && matchesAt(rest.data(), kHrefNeedle.text)) {
        scratch = removeEveryBytes(rest, kHrefNeedle);
        rest = scratch;
        cleaned = true;
    }
    if (!rest.isEmpty() && isQuote(rest[0])) {
        const qsizetype quote = rest.indexOf(rest[0], 1);
        if (quote >= 0) {
            const QByteArrayView value = rest.sliced(1, quote - 1);
            if (cleaned || indexOfBytes(value, kHrefNeedle) < 0)
                return value;
            scratch = removeEveryBytes(value, kHrefNeedle);
            return scratch;
        }
    }
    const qsizetype close = rest.indexOf('>');
    if (close >= 0)
        rest = rest.first(close + 1);
    if (!cleaned && indexOfBytes(rest, kHrefNeedle) >= 0) {
        scratch = removeEveryBytes(rest, kHrefNeedle);
        rest = scratch;
    }
    if (!rest.isEmpty() && isQuote(rest[0])) {
        qsizetype end = 1;
        while (end < rest.size() && !isQuote(rest[end]))
            ++end;
        return rest.sliced(1, end - 1);
    }
    qsizetype end = 0;
    bool quotes = false;
    while (end < rest.size() && !isBlank(rest[end]) && rest[end] != '>') {
        quotes = quotes || isQuote(rest[end]);
        ++end;
    }
    if (!quotes)
        return rest.first(end);
    QByteArray value;
    for (qsizetype i = 0; i < end; ++i) {
        if (!isQuote(rest[i]))
            value.append(rest[i]);
    }
    scratch = std::move(value);
    return scratch;
}

// The file-name key of a value, as ImageFileName() makes it of the decoded value:
// after "http://" is taken out, the text after the last "/", without " border=" and
// without quotes. It lies in the value, or in scratch when it had to be changed.
QByteArrayView keyOf(QByteArrayView value, QByteArray &scratch)
{
    QByteArrayView key = value;
    if (indexOfBytes(key, kHttpNeedle) >= 0) {
        scratch = removeEveryBytes(key, kHttpNeedle);
        key = scratch;
    }
    const qsizetype slash = key.lastIndexOf('/');
    if (slash >= 0)
        key = key.sliced(slash + 1);
    if (indexOfBytes(key, kBorder) < 0 && !key.contains('"'))
        return key;
    QByteArray changed = removeEveryBytes(key, kBorder);
    changed.replace("\"", "");
    scratch = std::move(changed);
    return scratch;
}

// Does the value of a link lead to a picture file: does its path (the value before
// any query or fragment, trailing blanks left off) end in a picture's extension?
bool leadsToPicture(QByteArrayView value)
{
    qsizetype end = value.size();
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '?' || value[i] == '#') {
            end = i;
            break;
        }
    }
    while (end > 0 && isBlank(value[end - 1]))
        --end;
    const QByteArrayView path = value.first(end);
    for (const QByteArrayView extension : {QByteArrayView(".bmp"), QByteArrayView(".gif"),
                                           QByteArrayView(".jpeg"), QByteArrayView(".jpg")}) {
        if (path.size() >= extension.size() &&
            matchesAt(path.data() + path.size() - extension.size(), extension))
            return true;
    }
    return false;
}

// Two texts in one, in memory of just their size: the lists hold many addresses.
QString joined(QStringView first, QStringView second)
{
    QString out;
    out.reserve(first.size() + second.size());
    out.append(first);
    out.append(second);
    return out;
}

// The page folder and the folders above it, up to the site root. Climbing a level
// normally cuts the folder after its next "/" from the end, so the whole chain is
// kept as cut positions in one text: memory and time stay linear in the folder's
// length however deep it is. Only a folder with "http://" inside it (in a query,
// say) changes on its way up; those few steps are taken one by one.
class FolderClimber {
public:
    explicit FolderClimber(const QString &folder) : m_top(folder) {}

    // The folder `levels` above the page folder, never above the site root.
    QString up(qsizetype levels)
    {
        if (!m_built)
            build();
        if (levels < qsizetype(m_changed.size()))
            return m_changed[size_t(levels)];
        levels -= qsizetype(m_changed.size());
        if (m_cuts.empty() || levels == 0)
            return m_top;
        return m_top.left(m_cuts[size_t(qMin(levels, qsizetype(m_cuts.size()))) - 1]);
    }

private:
    static bool changesOnTheWayUp(const QString &folder)
    {
        const qsizetype from = folder.startsWith(kHttp) ? kHttp.size() : 0;
        return indexOfIgnoringCase(folder, kHttp, from) >= 0;
    }

    void build()
    {
        m_built = true;
        // A folder with "http://" inside loses it on the first step up; a crafted
        // one may need a few more. Beyond that the climb ends where it is.
        constexpr int kMostChangingSteps = 16;
        while (changesOnTheWayUp(m_top)) {
            if (m_top == SiteRootOf(m_top) || int(m_changed.size()) >= kMostChangingSteps)
                return;
            QString up = BaseDirectoryOf(m_top);
            if (up.size() >= m_top.size())
                return;
            m_changed.push_back(std::exchange(m_top, std::move(up)));
        }
        const qsizetype root = SiteRootOf(m_top).size();
        qsizetype length = m_top.size();
        while (length > root) {
            const qsizetype slash = m_top.lastIndexOf(u'/', length - 2);
            if (slash < 0)
                break;
            length = slash + 1;
            m_cuts.push_back(length);
        }
    }

    QString m_top;                  // the folder where the cutting starts
    std::vector<QString> m_changed; // folders above the page folder that are no cut
    std::vector<qsizetype> m_cuts;  // lengths of m_top one, two... levels up
    bool m_built = false;
};

// Turns the values of one scan into addresses. Everything that depends only on the
// page address is worked out once.
class Resolver {
public:
    // base: the address relative references resolve against, without query and
    // fragment; folder: base cut to its folder as the scan does. A file: address
    // is recorded only when the page itself is a file.
    Resolver(const QString &base, const QString &folder, bool filePage)
        : m_climber(folderOf(folder))
    {
        m_pageScheme = SchemeOf(base);
        m_filePage = filePage;

        m_relativeBase = folder;
        const bool hadScheme = replaceEveryIgnoringCase(m_relativeBase, kHttp) > 0;
        if (!m_relativeBase.endsWith(u'/'))
            m_relativeBase = BaseDirectoryOf(m_relativeBase);
        replaceEveryIgnoringCase(m_relativeBase, QLatin1StringView("hometown.aol"),
                                 QLatin1StringView("members.aol"));
        if (hadScheme)
            m_relativeBase.prepend(kHttp);

        if (m_pageScheme == u"https" || m_pageScheme == u"file") {
            m_rootBase = SiteRootOf(folder);
        } else if (containsIgnoringCase(folder, kHttp)) {
            QString host = folder;
            replaceEveryIgnoringCase(host, kHttp);
            const qsizetype slash = host.indexOf(u'/');
            m_rootBase = kHttp + (slash < 0 ? QString() : host.left(slash + 1));
        } else {
            m_rootBase = folder;
        }
    }

    bool filePage() const { return m_filePage; }

    // The address of a value; false when the value may not be recorded.
    bool resolve(const QString &value, QString *address)
    {
        const QString scheme = SchemeOf(value);
        if (!scheme.isEmpty()) {
            if (!IsAllowedAddress(value, m_filePage))
                return false;
            *address = value;
        } else if (value.startsWith(QLatin1StringView("//"))) {
            *address =
                (m_pageScheme.isEmpty() ? QStringLiteral("http") : m_pageScheme) + u':' + value;
        } else if (value.contains(QLatin1StringView("../"))) {
            QString rest = value;
            const qsizetype ups = removeEvery(rest, QLatin1StringView("../"));
            *address = joined(m_climber.up(ups), rest);
        } else if (value.startsWith(u'/')) {
            *address = joined(m_rootBase, QStringView(value).sliced(1));
        } else {
            *address = joined(m_relativeBase, value);
        }
        return IsAllowedAddress(*address, m_filePage);
    }

    // Appends the address of a value, both in UTF-8, to out; false when the value
    // may not be recorded, and then out holds bytes to drop. The same addresses as
    // resolve() gives: values and addresses that a browser reads as they are, which
    // is nearly all, are worked on as bytes; the others go through resolve().
    bool resolve(QByteArrayView value, GrowingArray<char> &out)
    {
        if (!ReadsAsWritten(value)) {
            QString address;
            if (!resolve(TextOfUtf8(value), &address))
                return false;
            const QByteArray bytes = address.toUtf8();
            out.append(bytes.constData(), bytes.size());
            return true;
        }
        if (!SchemeOfPlain(value).isEmpty()) {
            if (!IsAllowedAddress(value, m_filePage))
                return false;
            append(out, value);
            return true;
        }
        if (m_bytes.empty())
            prepareBytes();
        const qsizetype start = out.size();
        const Prefix *prefix;
        if (value.size() >= 2 && value[0] == '/' && value[1] == '/') {
            prefix = &m_bytes.networkPrefix;
            append(out, prefix->bytes);
            append(out, value);
        } else if (const qsizetype first = indexOfDotDotSlash(value, 0); first >= 0) {
            qsizetype ups = 0;
            qsizetype done = 0;
            QByteArray rest;
            for (qsizetype at = first; at >= 0; at = indexOfDotDotSlash(value, done)) {
                rest.append(value.sliced(done, at - done));
                done = at + 3;
                ++ups;
            }
            rest.append(value.sliced(done));
            prefix = &climbed(ups);
            append(out, prefix->bytes);
            append(out, rest);
        } else if (value.startsWith('/')) {
            prefix = &m_bytes.rootBase;
            append(out, prefix->bytes);
            append(out, value.sliced(1));
        } else {
            prefix = &m_bytes.relativeBase;
            append(out, prefix->bytes);
            append(out, value);
        }
        // The rest of the address reads as written, as the value does.
        if (prefix->verdict >= 0)
            return prefix->verdict == 1;
        return IsAllowedAddress(QByteArrayView(out.data() + start, out.size() - start), m_filePage);
    }

private:
    // A text that values are joined to, with what it alone tells of the addresses
    // made with it: 1 allowed, 0 refused, -1 when the whole address must be read.
    struct Prefix {
        QByteArray bytes;
        int verdict = -1;
    };

    static void append(GrowingArray<char> &out, QByteArrayView bytes)
    {
        out.append(bytes.data(), bytes.size());
    }

    static qsizetype indexOfDotDotSlash(QByteArrayView value, qsizetype from)
    {
        for (qsizetype i = from + 2; i < value.size(); ++i) {
            if (value[i] == '/' && value[i - 1] == '.' && value[i - 2] == '.')
                return i - 2;
        }
        return -1;
    }

    // What a prefix tells of every address made of it and a value that reads as
    // written: when the prefix reads as written too and its first delimiter ends
    // the scheme part (or shows there is none), the address's scheme is the
    // prefix's, whatever follows. A "data:" address depends on what follows.
    Prefix prefixOf(const QByteArray &bytes) const
    {
        Prefix prefix;
        prefix.bytes = bytes;
        if (bytes.isEmpty() || !ReadsAsWritten(bytes))
            return prefix;
        bool delimited = false;
        for (const char c : bytes)
            delimited = delimited || c == ':' || c == '/' || c == '?' || c == '#' || c == '\\';
        if (!delimited ||
            SchemeOfPlain(bytes).compare(QByteArrayView("data"), Qt::CaseInsensitive) == 0)
            return prefix;
        prefix.verdict = IsAllowedAddress(QByteArrayView(bytes), m_filePage) ? 1 : 0;
        return prefix;
    }

    void prepareBytes()
    {
        m_bytes.networkPrefix = prefixOf(
            (m_pageScheme.isEmpty() ? QStringLiteral("http") : m_pageScheme).toUtf8() + ':');
        m_bytes.relativeBase = prefixOf(m_relativeBase.toUtf8());
        m_bytes.rootBase = prefixOf(m_rootBase.toUtf8());
        m_bytes.prepared = true;
    }

    // The folder `ups` levels up in UTF-8; the last one is kept, as the values of
    // a page tend to climb alike.
    const Prefix &climbed(qsizetype ups)
    {
        if (ups != m_bytes.climbedUps) {
            m_bytes.climbed = prefixOf(m_climber.up(ups).toUtf8());
            m_bytes.climbedUps = ups;
        }
        return m_bytes.climbed;
    }

    // The folder that relative values are joined to.
    static QString folderOf(const QString &base)
    {
        QString folder = base;
        const bool hadScheme = replaceEveryIgnoringCase(folder, kHttp) > 0;
        if (!folder.endsWith(u'/'))
            folder = BaseDirectoryOf(folder);
        if (hadScheme)
            folder.prepend(kHttp);
        return folder;
    }

    QString m_pageScheme;
    bool m_filePage = false;
    QString m_relativeBase;
    QString m_rootBase;
    FolderClimber m_climber;
    // The same in UTF-8, made when first needed.
    struct {
        bool empty() const { return !prepared; }
        bool prepared = false;
        Prefix networkPrefix; // the page's scheme (or http) and ":"
        Prefix relativeBase;
        Prefix rootBase;
        Prefix climbed;
        qsizetype climbedUps = -1;
    } m_bytes;
};

// A hash of bytes, eight at a time.
quint64 hashBytes(const char *data, qsizetype length)
{
    const auto mix = [](quint64 h) {
        h ^= h >> 32;
        h *= 0xD6E8FEB86659FD93ull;
        return h ^ (h >> 32);
    };
    quint64 h = quint64(length) * 0x9E3779B97F4A7C15ull;
    qsizetype i = 0;
    for (; i + 8 <= length; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, 8);
        h = mix(h ^ word);
    }
    if (i < length) {
        quint64 word = 0;
        std::memcpy(&word, data + i, size_t(length - i));
        h = mix(h ^ word ^ 0xA5);
    }
    return mix(h);
}

// The slots of a KeySet; one table serves both scans of a page.
struct KeySlot {
    quint32 hash;
    quint32 entry; // entry number + 1; 0 for an empty slot
};
using KeyTable = GrowingArray<KeySlot>;

// The keys of a list, found by their bytes: a table of entry numbers with open
// addressing, no allocation per key.
class KeySet {
public:
    explicit KeySet(const Utf8List &keys) : m_keys(keys) { reset(); }

    // Empties the set, then adds every entry of the list.
    void reset()
    {
        m_count = 0;
        clear(m_slots, qMax<qsizetype>(1024, m_slots.size()));
        m_mask = size_t(m_slots.size()) - 1;
        for (qsizetype i = 0; i < m_keys.size(); ++i) {
            const QByteArrayView key = m_keys.at(i);
            insert(i, hashBytes(key.data(), key.size()));
        }
    }

    // Asks for the memory that contains() of a key with this hash will read first.
    void prefetch(quint64 hash) const { __builtin_prefetch(&m_slots[qsizetype(hash & m_mask)]); }
    // The entry whose key a key with this hash most likely equals, or -1.
    qsizetype likelyEntry(quint64 hash) const
    {
        const KeySlot &slot = m_slots[qsizetype(hash & m_mask)];
        return slot.entry != 0 && slot.hash == quint32(hash) ? qsizetype(slot.entry) - 1 : -1;
    }
    const Utf8List &keys() const { return m_keys; }

    bool contains(QByteArrayView key) const
    {
        return contains(key, hashBytes(key.data(), key.size()));
    }
    bool contains(QByteArrayView key, quint64 hash) const
    {
        for (size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
            const KeySlot &slot = m_slots[qsizetype(i)];
            if (slot.entry == 0)
                return false;
            if (slot.hash == quint32(hash) && m_keys.at(qsizetype(slot.entry) - 1) == key)
                return true;
        }
    }

    // Adds entry i of the list, whose key has this hash and is not in the set yet.
    void insert(qsizetype i, quint64 hash)
    {
        if (2 * (m_count + 1) > m_slots.size())
            grow();
        place(m_slots, m_mask, quint32(hash), i);
        ++m_count;
    }

private:
    static void clear(KeyTable &table, qsizetype size)
    {
        table.resizeForOverwrite(size);
        std::memset(static_cast<void *>(table.data()), 0, size_t(size) * sizeof(KeySlot));
    }

    // The slot is found by the low bits of the hash, which it keeps: growing needs
    // no key read again.
    static void place(KeyTable &table, size_t mask, quint32 hash, qsizetype i)
    {
        size_t at = hash & mask;
        while (table[qsizetype(at)].entry != 0)
            at = (at + 1) & mask;
        table[qsizetype(at)] = KeySlot{hash, quint32(i + 1)};
    }

    void grow()
    {
        KeyTable grown;
        clear(grown, 2 * m_slots.size());
        const size_t mask = size_t(grown.size()) - 1;
        for (qsizetype s = 0; s < m_slots.size(); ++s) {
            const KeySlot slot = m_slots[s];
            if (slot.entry != 0)
                place(grown, mask, slot.hash, qsizetype(slot.entry) - 1);
        }
        m_slots = std::move(grown);
        m_mask = mask;
    }

    const Utf8List &m_keys;
    KeyTable m_slots;
    size_t m_mask = 0;
    qsizetype m_count = 0;
};

// The scans of a page's tags, both kinds in one reading of them. Each tag's value
// and key are found as the tag is read; what depends on the keys recorded before
// (the lookup in the table of known keys, which waits for memory, and all that
// follows it) is done a batch of tags later, in page order, after the memory of
// the whole batch has been asked for at once.
//
// The link scan's entries are charged to the lists' budget after the image scan's,
// as when the two scans run one after the other: in one reading, the links are
// charged at the end, and if they do not all fit (or anything was refused), the
// link scan is made again on its own, as it would have been.
class PageScan {
public:
    PageScan(QByteArrayView text, const QString &pageUrl, const QString &baseUrl, Utf8Lists &lists,
             ScanBudget *budget)
        : m_text(text), m_lists(lists),
          m_budget(budget), m_known{KeySet(lists.Keys[0]), KeySet(lists.Keys[1])}
    {
        const QString base = WithoutQueryAndFragment(baseUrl.isEmpty() ? pageUrl : baseUrl);
        m_resolver.emplace(base, ScanFolder(base), SchemeOf(pageUrl) == u"file");
    }

    void run(bool images, bool links)
    {
        const bool limited = m_budget && m_budget->charsLeft >= 0;
        m_images = images;
        m_links = links;
        m_deferLinks = images && links && limited;
        m_redoLinks = false;
        m_linkCost = 0;
        const qsizetype linksBefore = m_lists.Links[0].size();
        const qsizetype keysBefore = m_lists.Keys[0].size();
        FindTags(m_text, [this](const Tag &tag) { take(tag); });
        flush();
        if (!m_deferLinks)
            return;
        if (m_redoLinks || m_budget->refused > 0 || m_linkCost > m_budget->charsLeft) {
            m_lists.Links[0].truncate(linksBefore);
            m_lists.Keys[0].truncate(keysBefore);
            m_known[0].reset();
            run(false, true);
            return;
        }
        m_budget->charsLeft -= m_linkCost;
    }

private:
    // A tag's value and key on their way to the lists. They lie in the page text,
    // or in m_held when the tag's text had to be changed to find them.
    struct Found {
        int k;
        bool tooLong;
        bool valueHeld;
        bool keyHeld;
        qsizetype value;
        qsizetype valueLength;
        qsizetype key;
        qsizetype keyLength;
        quint64 hash;
        qsizetype likely;        // the entry the key most likely equals, or -1
        const char *likelyBytes; // its bytes
    };
    static constexpr size_t kBatch = 32;

    bool inText(QByteArrayView bytes) const
    {
        return bytes.data() >= m_text.data() &&
               bytes.data() + bytes.size() <= m_text.data() + m_text.size();
    }
    // Where bytes are kept until the batch is done: an offset into the text, or
    // into m_held (the second value true).
    std::pair<qsizetype, bool> hold(QByteArrayView bytes)
    {
        if (inText(bytes))
            return {bytes.data() - m_text.data(), false};
        const qsizetype at = m_held.size();
        m_held.append(bytes.data(), bytes.size());
        return {at, true};
    }
    QByteArrayView held(qsizetype at, qsizetype length, bool isHeld) const
    {
        return QByteArrayView((isHeld ? m_held.data() : m_text.data()) + at, length);
    }

    void take(const Tag &tag)
    {
        if (tag.kind == Tag::Base)
            return;
        const bool isLink = tag.kind == Tag::Anchor;
        if (isLink ? !m_links : !m_images)
            return;
        const ScanKind &kind = isLink ? kImageLinks : kImageTags;
        QByteArrayView tagText = m_text.sliced(tag.start, tag.end - tag.start);
        if (isLink && indexOfBytes(tagText, kCgiBin) >= 0) {
            // The link scan reads its tags without "cgi-bin/i/".
            m_cleaned = removeEveryBytes(tagText, kCgiBin);
            tagText = m_cleaned;
        }
        const qsizetype valueAt = AttributeValueAt(tagText, kind.attribute);
        if (valueAt < 0)
            return;
        const QByteArrayView value = extractValue(tagText, valueAt, m_valueScratch);
        // An empty value names the page itself, not a picture.
        if (value.trimmed().isEmpty() || (isLink && !leadsToPicture(value)))
            return;
        Found found{};
        found.k = kind.k;
        if (value.size() > kLongestRecordedValue && Utf16Length(value) > kLongestRecordedValue) {
            // No browser opens an address this long; it would cost megabytes in
            // every list and view.
            found.tooLong = true;
        } else {
            const QByteArrayView key = keyOf(value, m_keyScratch);
            std::tie(found.value, found.valueHeld) = hold(value);
            found.valueLength = value.size();
            std::tie(found.key, found.keyHeld) = hold(key);
            found.keyLength = key.size();
            found.hash = hashBytes(key.data(), key.size());
            m_known[found.k].prefetch(found.hash);
        }
        m_batch[m_batchSize++] = found;
        if (m_batchSize == kBatch)
            flush();
    }

    void flush()
    {
        // A key seen before is compared with the one the table holds: the memory of
        // those is asked for a batch at a time, in two rounds, the place of the
        // likely entry and then its bytes.
        for (size_t i = 0; i < m_batchSize; ++i) {
            Found &found = m_batch[i];
            found.likely = found.tooLong ? -1 : m_known[found.k].likelyEntry(found.hash);
            if (found.likely >= 0)
                m_known[found.k].keys().prefetch(found.likely);
        }
        for (size_t i = 0; i < m_batchSize; ++i) {
            Found &found = m_batch[i];
            if (found.likely >= 0) {
                found.likelyBytes = m_known[found.k].keys().at(found.likely).data();
                __builtin_prefetch(found.likelyBytes);
            }
        }
        for (size_t i = 0; i < m_batchSize; ++i)
            record(m_batch[i]);
        m_batchSize = 0;
        m_held.clear();
    }

    void record(const Found &found)
    {
        if (found.tooLong) {
            if (found.k == 0 && m_deferLinks)
                m_redoLinks = true;
            else if (m_budget)
                ++m_budget->refused;
            return;
        }
        const QByteArrayView key = held(found.key, found.keyLength, found.keyHeld);
        KeySet &known = m_known[found.k];
        if (known.contains(key, found.hash))
            return;
        Utf8List &addresses = m_lists.Links[found.k];
        if (!m_resolver->resolve(held(found.value, found.valueLength, found.valueHeld),
                                 addresses.pending())) {
            addresses.drop();
            return;
        }
        if (m_budget && m_budget->charsLeft >= 0) {
            // Once the lists are full, nothing more is recorded. The cost counts
            // characters as the lists' text holds them.
            const qsizetype cost = Utf16Length(addresses.pendingEntry()) + Utf16Length(key);
            if (found.k == 0 && m_deferLinks) {
                m_linkCost += cost;
            } else {
                if (m_budget->refused > 0 || cost > m_budget->charsLeft) {
                    addresses.drop();
                    ++m_budget->refused;
                    return;
                }
                m_budget->charsLeft -= cost;
            }
        }
        addresses.commit();
        Utf8List &keys = m_lists.Keys[found.k];
        keys.append(key);
        known.insert(keys.size() - 1, found.hash);
    }

    QByteArrayView m_text;
    Utf8Lists &m_lists;
    ScanBudget *m_budget;
    std::optional<Resolver> m_resolver;
    KeySet m_known[2];
    bool m_images = false;
    bool m_links = false;
    bool m_deferLinks = false;
    bool m_redoLinks = false;
    qsizetype m_linkCost = 0;
    QByteArray m_cleaned;
    QByteArray m_valueScratch;
    QByteArray m_keyScratch;
    Found m_batch[kBatch];
    size_t m_batchSize = 0;
    GrowingArray<char> m_held;
};

// The next tag marker at or after from, or -1. Most "<" open no marker: the
// search looks at "<" and the next byte together, sixteen places at a time.
qsizetype findMarker(const char *data, qsizetype n, qsizetype from, QByteArrayView marker)
{
    const qsizetype last = n - marker.size();
#ifdef __SSE2__
    if (marker.size() >= 2 && marker[0] == '<' && marker[1] >= 'a' && marker[1] <= 'z') {
        const __m128i less = _mm_set1_epi8('<');
        const __m128i second = _mm_set1_epi8(marker[1]);
        const __m128i caseBit = _mm_set1_epi8(0x20);
        for (; from + 16 <= last; from += 16) {
            const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + from));
            const __m128i next =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + from + 1));
            unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(
                _mm_cmpeq_epi8(first, less), _mm_cmpeq_epi8(_mm_or_si128(next, caseBit), second))));
            for (; mask != 0; mask &= mask - 1) {
                const qsizetype at = from + __builtin_ctz(mask);
                if (matchesAt(data + at, marker))
                    return at;
            }
        }
    }
#endif
    while (from <= last) {
        const void *hit = std::memchr(data + from, '<', size_t(last - from + 1));
        if (!hit)
            return -1;
        const qsizetype at = static_cast<const char *>(hit) - data;
        if (matchesAt(data + at, marker))
            return at;
        from = at + 1;
    }
    return -1;
}

qsizetype findByte(const char *data, qsizetype from, qsizetype to, char c)
{
    return FindByte(data, from, to, c);
}

qsizetype findLastByte(const char *data, qsizetype from, qsizetype to, char c)
{
    const void *hit = from < to ? memrchr(data + from, c, size_t(to - from)) : nullptr;
    return hit ? static_cast<const char *>(hit) - data : -1;
}

// Checks the characters of text that start in [from, to) (the last may run past
// to) for well-formed UTF-8: no overlong forms, no surrogates, nothing above
// U+10FFFF. Returns where the last of them ends, or -1 at the first that is not
// well-formed. Runs of ASCII are checked 32 or 8 bytes at a time.
qsizetype utf8Run(QByteArrayView text, qsizetype from, qsizetype to)
{
    const auto *data = reinterpret_cast<const uchar *>(text.data());
    const qsizetype n = text.size();
    qsizetype i = from;
    while (i < to) {
        if (i + 32 <= to) {
            quint64 words[4];
            std::memcpy(words, data + i, 32);
            if (((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ull) == 0) {
                i += 32;
                continue;
            }
        }
        if (i + 8 <= to) {
            quint64 word;
            std::memcpy(&word, data + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        const uchar c = data[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        qsizetype length;
        uchar low = 0x80;
        uchar high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0)
                low = 0xA0;
            else if (c == 0xED)
                high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0)
                low = 0x90;
            else if (c == 0xF4)
                high = 0x8F;
        } else {
            return -1;
        }
        if (i + length > n || data[i + 1] < low || data[i + 1] > high)
            return -1;
        for (qsizetype k = 2; k < length; ++k) {
            if ((data[i + k] & 0xC0) != 0x80)
                return -1;
        }
        i += length;
    }
    return i;
}

bool isUtf8(QByteArrayView text)
{
    return utf8Run(text, 0, text.size()) == text.size();
}

} // namespace

namespace harvest {

QByteArray ValidUtf8(const QByteArray &bytes)
{
    // QString::fromUtf8() drops a byte-order mark at the start.
    const bool marked = bytes.startsWith(kByteOrderMark);
    if (isUtf8(QByteArrayView(bytes).sliced(marked ? 3 : 0)))
        return marked ? bytes.mid(3) : bytes;
    return QString::fromUtf8(bytes).toUtf8();
}

QByteArrayView ValidUtf8(QByteArrayView bytes, QByteArray *converted)
{
    const QByteArrayView text = bytes.startsWith(kByteOrderMark) ? bytes.sliced(3) : bytes;
    if (isUtf8(text))
        return text;
    *converted = QString::fromUtf8(bytes).toUtf8();
    return *converted;
}

QByteArrayView WriteValidUtf8(QByteArrayView bytes, ByteSink &sink, QByteArray *converted,
                              bool *holdsCgiBin)
{
    // Each piece is checked just before it is written, while it is in the cache,
    // and handed on whole.
    constexpr qsizetype kPiece = qsizetype(256) << 10;
    const QByteArrayView text = bytes.startsWith(kByteOrderMark) ? bytes.sliced(3) : bytes;
    bool found = false;
    for (qsizetype done = 0; done < text.size();) {
        const qsizetype end = utf8Run(text, done, qMin(text.size(), done + kPiece));
        if (end < 0) {
            sink.restart();
            *converted = QString::fromUtf8(bytes).toUtf8();
            sink.write(*converted);
            if (holdsCgiBin)
                *holdsCgiBin = indexOfBytes(*converted, kCgiBin) >= 0;
            return *converted;
        }
        if (holdsCgiBin && !found) {
            // From far enough back that one across two pieces is found too.
            const qsizetype from = qMax<qsizetype>(0, done - kCgiBin.text.size() + 1);
            found = indexOfBytes(text.sliced(from, end - from), kCgiBin) >= 0;
        }
        sink.write(text.sliced(done, end - done));
        done = end;
    }
    if (holdsCgiBin)
        *holdsCgiBin = found;
    return text;
}

QString WithoutQueryAndFragment(const QString &url)
{
    qsizetype end = url.size();
    for (qsizetype i = 0; i < url.size(); ++i) {
        if (url.at(i) == u'?' || url.at(i) == u'#') {
            end = i;
            break;
        }
    }
    return end == url.size() ? url : url.left(end);
}

QString ScanFolder(const QString &baseUrl)
{
    const QString base = WithoutQueryAndFragment(baseUrl);
    // The folder, unless the address ends in "/" or in a top-level domain of the
    // old web.
    if (base.endsWith(u'/') || base.endsWith(QLatin1StringView(".com")) ||
        base.endsWith(QLatin1StringView(".net")) || base.endsWith(QLatin1StringView(".edu")) ||
        base.endsWith(QLatin1StringView(".gov")))
        return base;
    return BaseDirectoryOf(base);
}

void ScanText(bool links, QByteArrayView pageText, const QString &pageUrl, const QString &baseUrl,
              Utf8Lists &lists, ScanBudget *budget)
{
    PageScan(pageText, pageUrl, baseUrl, lists, budget).run(!links, links);
}

void ScanPage(QByteArrayView pageText, const QString &pageUrl, const QString &baseUrl,
              Utf8Lists &lists, ScanBudget &budget)
{
    PageScan(pageText, pageUrl, baseUrl, lists, &budget).run(true, true);
}

void ScanText(bool links, QByteArrayView pageText, const QString &pageUrl, const QString &baseUrl,
              ResultLists &lists, ScanBudget *budget)
{
    const int k = links ? kImageLinks.k : kImageTags.k;
    Utf8Lists bytes;
    bytes.Keys[k] = Utf8List::fromStringList(lists.Keys[k]);
    const qsizetype before = bytes.Keys[k].size();
    ScanText(links, pageText, pageUrl, baseUrl, bytes, budget);
    for (qsizetype i = 0; i < bytes.Links[k].size(); ++i) {
        lists.Links[k].append(TextOfUtf8(bytes.Links[k].at(i)));
        lists.Keys[k].append(TextOfUtf8(bytes.Keys[k].at(before + i)));
    }
}

void MakeCleanText(QByteArrayView pageText, bool links, bool tagsOnly, QByteArray &out)
{
    out.resize(0);
    ByteArraySink sink(out);
    WriteCleanText(pageText, links, tagsOnly, sink);
    sink.flush();
}

void WriteCleanText(QByteArrayView pageText, bool links, bool tagsOnly, ByteSink &sink)
{
    WriteCleanTexts(pageText, links, tagsOnly ? nullptr : &sink, tagsOnly ? &sink : nullptr);
}

void WriteCleanTexts(QByteArrayView pageText, bool links, ByteSink *lines, ByteSink *tags,
                     const bool *holdsCgiBin)
{
    QByteArray cleaned;
    QByteArrayView text = pageText;
    if (links && (holdsCgiBin ? *holdsCgiBin : indexOfBytes(text, kCgiBin) >= 0)) {
        // The removal never crosses a line break, so it can be made on the whole text.
        cleaned = removeEveryBytes(text, kCgiBin);
        text = cleaned;
    }
    const QByteArrayView marker = links ? kImageLinks.marker : kImageTags.marker;
    const char *data = text.data();
    const qsizetype n = text.size();
    qsizetype lineStart = 0;
    qsizetype resume = 0;
    bool firstKept = true;
    // Each tag line goes to both texts.
    const auto write = [lines, tags](QByteArrayView bytes) {
        if (lines)
            lines->write(bytes);
        if (tags)
            tags->write(bytes);
    };
    qsizetype at = findMarker(data, n, 0, marker);
    while (at >= 0) {
        // The line of this first marker of a line starts after the last line end
        // before it (CR, or CR LF).
        const qsizetype cr = findLastByte(data, resume, at, '\r');
        if (cr >= 0)
            lineStart = cr + 1 + (data[cr + 1] == '\n' ? 1 : 0);
        // The text before the first tag keeps a line of its own; each tag starts a
        // new line that runs to the next tag or to the end of the text line.
        if ((at > lineStart || firstKept) && lines) {
            lines->write(QByteArrayView(data + lineStart, at - lineStart));
            lines->write("\r\n");
        }
        firstKept = false;
        while (true) {
            const qsizetype following = findMarker(data, n, at + marker.size(), marker);
            const qsizetype limit = following < 0 ? n : following;
            const qsizetype lineEnd = findByte(data, at, limit, '\r');
            const qsizetype end = lineEnd < 0 ? limit : lineEnd;
            // Each tag begins with its marker written in lower case.
            write(marker);
            write(QByteArrayView(data + at + marker.size(), end - at - marker.size()));
            write("\r\n");
            at = following;
            if (lineEnd >= 0 || following < 0) {
                resume = end;
                break;
            }
        }
    }
}

} // namespace harvest
