#include "harvest/NameLinker.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// A window of this many bytes is read at a time.
constexpr qsizetype kWindow = qsizetype(1) << 16;

// The lookups gathered before they are made, at most.
constexpr size_t kProbes = 1024;

// What the lookups may cost per byte of a window (bytes hashed and lengths tried)
// before the automaton takes over. Real pages cost well under one.
constexpr qsizetype kLookUpWorkPerByte = 32;

quint64 loadWord(const char *data, qsizetype bytes)
{
    quint64 word = 0;
    std::memcpy(&word, data, size_t(bytes));
    return word;
}

// The eight bytes of a word with every CR read as LF.
quint64 normalizedWord(quint64 word)
{
    constexpr quint64 kOnes = 0x0101010101010101ull;
    constexpr quint64 kLow7 = 0x7F7F7F7F7F7F7F7Full;
    const quint64 t = word ^ (kOnes * 0x0D);
    // The high bit of exactly each byte of t that is zero.
    const quint64 zero = ~(((t & kLow7) + kLow7) | t | kLow7);
    return word ^ ((zero >> 7) * ('\r' ^ '\n'));
}

quint64 mix(quint64 h)
{
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return h;
}

// The hash of bytes read with CR as LF.
quint64 hashOf(const char *data, qsizetype length)
{
    quint64 h = quint64(length) * 0x9E3779B97F4A7C15ull;
    qsizetype i = 0;
    for (; i + 8 <= length; i += 8)
        h = mix(h ^ normalizedWord(loadWord(data + i, 8)));
    if (i < length)
        h = mix(h ^ normalizedWord(loadWord(data + i, length - i)) ^ 0xA5);
    return mix(h);
}

// Do the bytes read the same with CR as LF?
bool sameNormalized(const char *a, const char *b, qsizetype length)
{
    qsizetype i = 0;
    for (; i + 8 <= length; i += 8) {
        if (normalizedWord(loadWord(a + i, 8)) != normalizedWord(loadWord(b + i, 8)))
            return false;
    }
    return i == length || normalizedWord(loadWord(a + i, length - i)) ==
                              normalizedWord(loadWord(b + i, length - i));
}

// The bit of the shape filter for a name's first byte, last byte and length.
unsigned shapeBit(unsigned first, unsigned last, qsizetype length)
{
    quint32 x = (first << 8 | last) ^ (quint32(length) * 0x9E3779B1u);
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    return x & 0xFFFF;
}

bool testBit(const std::vector<unsigned long long> &bits, unsigned bit)
{
    return (bits[bit >> 6] >> (bit & 63)) & 1;
}

void setBit(std::vector<unsigned long long> &bits, unsigned bit)
{
    bits[bit >> 6] |= 1ull << (bit & 63);
}

} // namespace

void NameLinker::addName(QByteArrayView name, int id)
{
    if (name.isEmpty() || id < 0 || m_built)
        return;
    m_longest = qMax(m_longest, name.size());
    m_names.push_back(Name{name.data(), int(name.size()), id});
}

void NameLinker::build()
{
    m_built = true;
    // The names by their hash, the first added of equal names only.
    size_t capacity = 64;
    while (capacity < 2 * m_names.size())
        capacity *= 2;
    m_table.assign(capacity, Slot{});
    m_mask = capacity - 1;
    m_pairs.assign(1024, 0);
    m_shapes.assign(1024, 0);
    // The distinct pairs of last byte and length, in a small table of their own:
    // names are many, their shapes few.
    constexpr quint64 kFree = ~quint64(0);
    std::vector<quint64> endings(64, kFree);
    size_t endingCount = 0;
    const auto place = [](std::vector<quint64> &table, quint64 ending) {
        const size_t mask = table.size() - 1;
        size_t at = mix(ending) & mask;
        while (table[at] != kFree && table[at] != ending)
            at = (at + 1) & mask;
        return at;
    };
    const auto addEnding = [&](quint64 ending) {
        size_t at = place(endings, ending);
        if (endings[at] == ending)
            return;
        if (2 * (endingCount + 1) > endings.size()) {
            std::vector<quint64> grown(endings.size() * 2, kFree);
            for (const quint64 kept : endings) {
                if (kept != kFree)
                    grown[place(grown, kept)] = kept;
            }
            endings.swap(grown);
            at = place(endings, ending);
        }
        endings[at] = ending;
        ++endingCount;
    };
    // The hashes of the names a little ahead, whose slots are asked for early.
    constexpr size_t kAhead = 16;
    quint64 ahead[kAhead];
    const size_t count = m_names.size();
    for (size_t i = 0; i < qMin(count, kAhead); ++i) {
        ahead[i] = hashOf(m_names[i].data, m_names[i].length);
        __builtin_prefetch(&m_table[ahead[i] & m_mask]);
    }
    for (size_t i = 0; i < count; ++i) {
        const Name &name = m_names[i];
        const quint64 hash = ahead[i % kAhead];
        if (i + kAhead < count) {
            const Name &later = m_names[i + kAhead];
            ahead[i % kAhead] = hashOf(later.data, later.length);
            __builtin_prefetch(&m_table[ahead[i % kAhead] & m_mask]);
        }
        // The slot of an equal name added before, or the first free one.
        size_t slot = hash & m_mask;
        bool equal = false;
        for (; m_table[slot].entry != 0; slot = (slot + 1) & m_mask) {
            if (m_table[slot].tag == quint32(hash >> 32) &&
                sameName(m_table[slot].entry - 1, name.data, name.length)) {
                equal = true;
                break;
            }
        }
        if (equal)
            continue;
        m_table[slot] = Slot{quint32(hash >> 32), unsigned(i + 1)};
        const unsigned char last = normalized(name.data[name.length - 1]);
        if (name.length == 1)
            m_oneByteNames[last] = name.id;
        addEnding(quint64(last) << 32 | quint64(name.length));
        if (name.length >= 2)
            setBit(m_pairs, unsigned(normalized(name.data[name.length - 2])) << 8 | last);
        setBit(m_shapes, shapeBit(normalized(name.data[0]), last, name.length));
        if (size_t(name.id) >= m_nameLength.size())
            m_nameLength.resize(size_t(name.id) + 1, 0);
        m_nameLength[size_t(name.id)] = name.length;
    }
    // The lengths that end in each byte, longest first.
    endings.erase(std::remove(endings.begin(), endings.end(), kFree), endings.end());
    std::sort(endings.begin(), endings.end(),
              [](quint64 a, quint64 b) { return (a >> 32) != (b >> 32) ? a < b : a > b; });
    m_lengthStart.assign(257, 0);
    m_lengths.reserve(endings.size());
    for (const quint64 ending : endings) {
        ++m_lengthStart[size_t(ending >> 32) + 1];
        m_lengths.push_back(int(ending & 0xFFFFFFFF));
    }
    for (size_t c = 0; c < 256; ++c)
        m_lengthStart[c + 1] += m_lengthStart[c];
    // The bytes that end a name, a line break standing for both.
    for (const quint64 ending : endings) {
        m_endsName[ending >> 32] = true;
        if ((ending >> 32) == '\n')
            m_endsName[int('\r')] = true;
    }
    for (int c = 0; c < 256; ++c) {
        if (!m_endsName[c])
            continue;
        if (m_endByteCount == int(sizeof m_endBytes)) {
            m_endByteCount = -1; // too many to compare one by one
            break;
        }
        m_endBytes[m_endByteCount++] = static_cast<unsigned char>(c);
    }
#ifdef __SSE2__
    for (int k = 0; k < m_endByteCount; ++k)
        m_endVectors[k] = _mm_set1_epi8(char(m_endBytes[k]));
#endif
}

bool NameLinker::sameName(unsigned name, const char *text, qsizetype length) const
{
    const Name &known = m_names[name];
    return known.length == length && sameNormalized(known.data, text, length);
}

int NameLinker::lookUp(const char *text, qsizetype length) const
{
    const quint64 hash = hashOf(text, length);
    return lookUp(text, length, hash, m_table[hash & m_mask]);
}

int NameLinker::lookUp(const char *text, qsizetype length, quint64 hash, Slot first) const
{
    size_t slot = hash & m_mask;
    for (Slot at = first; at.entry != 0; at = m_table[slot]) {
        if (at.tag == quint32(hash >> 32) && sameName(at.entry - 1, text, length))
            return int(at.entry - 1);
        slot = (slot + 1) & m_mask;
    }
    return -1;
}

bool NameLinker::lookUpWindow(QByteArrayView text, qsizetype from, qsizetype to,
                              std::vector<Match> &starts)
{
    const char *data = text.data();
    // Every name that starts in the window ends before this.
    const qsizetype end = qMin(text.size(), to + m_longest - 1);
    const qsizetype budget = kLookUpWorkPerByte * (to - from) + 4 * m_longest;
    qsizetype work = 0;
    // The candidates that pass the filters are gathered first and looked up
    // together, in rounds that each ask for the memory the next one reads: the
    // lookups of a window then wait for memory side by side, not one after another.
    std::vector<Probe> &probes = m_probes;
    probes.clear();
    const auto candidates = [&](qsizetype q) {
        // The names that end at q, longest first. Without the last two bytes of a
        // name there, only a name of one byte can end at q.
        const unsigned char last = normalized(data[q]);
        const int *length = m_lengths.data() + m_lengthStart[last];
        const int *const lengthsEnd = m_lengths.data() + m_lengthStart[size_t(last) + 1];
        work += lengthsEnd - length;
        if (q == 0 || !testBit(m_pairs, unsigned(normalized(data[q - 1])) << 8 | last)) {
            if (lengthsEnd[-1] != 1 || q >= to || q < from)
                return;
            length = lengthsEnd - 1;
        }
        for (; length < lengthsEnd; ++length) {
            const qsizetype start = q - *length + 1;
            if (start >= to)
                break;
            if (start < from ||
                !testBit(m_shapes, shapeBit(normalized(data[start]), last, *length)))
                continue;
            if (*length == 1) {
                // A name of one byte needs no lookup.
                starts.push_back(Match{start, 1, m_oneByteNames[last]});
                continue;
            }
            work += *length;
            probes.push_back(Probe{start, *length, hashOf(data + start, *length), Slot{}});
        }
    };
    // The bytes that end a name, found 64 at a time as a mask. The probes are
    // looked up a thousand at a time, so that their memory stays small whatever the
    // page.
    for (qsizetype block = from; block < end; block += 64) {
        for (quint64 mask = endingMask(data + block, qMin<qsizetype>(64, end - block)); mask != 0;
             mask &= mask - 1)
            candidates(block + __builtin_ctzll(mask));
        if (work > budget)
            return false;
        if (probes.size() >= kProbes)
            lookUpProbes(data, starts);
    }
    lookUpProbes(data, starts);
    // In page order, the longest first at each position.
    std::sort(starts.begin(), starts.end(), [](const Match &a, const Match &b) {
        return a.position != b.position ? a.position < b.position : a.length > b.length;
    });
    return true;
}

void NameLinker::lookUpProbes(const char *data, std::vector<Match> &starts)
{
    // A pipeline: while probe i is looked up, the name bytes of probe i + 8, the
    // name of probe i + 16 and the table slot of probe i + 24 are asked for, so that
    // a few dozen waits for memory overlap without flooding the processor with
    // requests it would drop.
    constexpr size_t kStep = 8;
    std::vector<Probe> &probes = m_probes;
    const size_t count = probes.size();
    for (size_t i = 0; i < count + 3 * kStep; ++i) {
        if (i < count)
            __builtin_prefetch(&m_table[probes[i].hash & m_mask]);
        if (i >= kStep && i - kStep < count) {
            Probe &probe = probes[i - kStep];
            probe.first = m_table[probe.hash & m_mask];
            if (probe.first.entry != 0)
                __builtin_prefetch(&m_names[probe.first.entry - 1]);
        }
        if (i >= 2 * kStep && i - 2 * kStep < count) {
            const Probe &probe = probes[i - 2 * kStep];
            if (probe.first.entry != 0)
                __builtin_prefetch(m_names[probe.first.entry - 1].data);
        }
        if (i >= 3 * kStep && i - 3 * kStep < count) {
            const Probe &probe = probes[i - 3 * kStep];
            const int name = lookUp(data + probe.start, probe.length, probe.hash, probe.first);
            if (name >= 0)
                starts.push_back(Match{probe.start, probe.length, m_names[size_t(name)].id});
        }
    }
    probes.clear();
}

void NameLinker::automatonWindow(QByteArrayView text, qsizetype from, qsizetype to,
                                 std::vector<Match> &starts)
{
    // The state at a position depends only on the longest name's length of text
    // after it, so the window is read backwards from that far past its end.
    const char *data = text.data();
    const qsizetype readFrom = qMin(text.size(), to + m_longest);
    // Backwards: after reading text[p..readFrom) reversed, the state's fail chain
    // holds exactly the names that start at p, the longest first.
    int state = 0;
    for (qsizetype p = readFrom - 1; p >= from; --p) {
        if (state == 0) {
            // Most bytes end no name: at the root they are skipped.
            p = skipBack(data, p, from);
            if (p < from)
                break;
            state = m_rootEdges[normalized(data[p])];
        } else {
            const unsigned char c = normalized(data[p]);
            int next = child(state, c);
            while (next < 0 && state != 0) {
                state = m_nodes[size_t(state)].fail;
                next = child(state, c);
            }
            state = next < 0 ? 0 : next;
        }
        const int best = m_nodes[size_t(state)].best;
        if (best >= 0 && p < to)
            starts.push_back(Match{p, m_nameLength[size_t(best)], best});
    }
    std::reverse(starts.begin(), starts.end());
}

void NameLinker::findAllByWindow(
    QByteArrayView text, const std::function<void(const Match *matches, qsizetype count)> &found)
{
    if (!m_built)
        build();
    if (m_names.empty())
        return;
    const qsizetype n = text.size();
    std::vector<Match> starts;
    std::vector<Match> chosen;
    bool automaton = m_automatonOnly;
    qsizetype covered = 0;
    for (qsizetype from = 0; from < n; from += kWindow) {
        const qsizetype to = qMin(n, from + kWindow);
        starts.clear();
        if (!automaton && !lookUpWindow(text, from, to, starts)) {
            automaton = true;
            starts.clear();
        }
        if (automaton) {
            if (m_nodes.empty())
                makeAutomaton();
            automatonWindow(text, from, to, starts);
        }
        // Take the leftmost match, skip what it covers, and so on.
        chosen.clear();
        for (const Match &match : starts) {
            if (match.position < covered)
                continue;
            chosen.push_back(match);
            covered = match.position + match.length;
        }
        if (!chosen.empty())
            found(chosen.data(), qsizetype(chosen.size()));
    }
}

void NameLinker::findAll(QByteArrayView text, const std::function<void(const Match &)> &found)
{
    findAllByWindow(text, [&found](const Match *matches, qsizetype count) {
        for (qsizetype i = 0; i < count; ++i)
            found(matches[i]);
    });
}

std::vector<NameLinker::Match> NameLinker::findAll(QByteArrayView text)
{
    std::vector<Match> chosen;
    findAll(text, [&chosen](const Match &match) { chosen.push_back(match); });
    return chosen;
}

quint64 NameLinker::endingMask(const char *data, qsizetype count) const
{
#ifdef __SSE2__
    if (m_endByteCount >= 0 && count == 64) {
        quint64 mask = 0;
        for (int part = 0; part < 4; ++part) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 16 * part));
            __m128i hits = _mm_setzero_si128();
            for (int k = 0; k < m_endByteCount; ++k)
                hits = _mm_or_si128(hits, _mm_cmpeq_epi8(v, m_endVectors[k]));
            mask |= quint64(unsigned(_mm_movemask_epi8(hits))) << (16 * part);
        }
        return mask;
    }
#endif
    quint64 mask = 0;
    for (qsizetype i = 0; i < count; ++i)
        mask |= quint64(m_endsName[static_cast<unsigned char>(data[i])]) << i;
    return mask;
}

qsizetype NameLinker::skipBack(const char *data, qsizetype from, qsizetype to) const
{
    qsizetype p = from;
#ifdef __SSE2__
    if (m_endByteCount >= 0) {
        const __m128i *wanted = m_endVectors;
        while (p - 15 >= to) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + p - 15));
            __m128i hits = _mm_setzero_si128();
            for (int k = 0; k < m_endByteCount; ++k)
                hits = _mm_or_si128(hits, _mm_cmpeq_epi8(v, wanted[k]));
            const unsigned mask = unsigned(_mm_movemask_epi8(hits));
            if (mask != 0)
                return p - 15 + (31 - __builtin_clz(mask));
            p -= 16;
        }
    }
#endif
    while (p >= to && !m_endsName[static_cast<unsigned char>(data[p])])
        --p;
    return p;
}

void NameLinker::makeAutomaton()
{
    std::fill(std::begin(m_rootEdges), std::end(m_rootEdges), -1);
    makeTrie();
    makeFailLinks();
}

void NameLinker::makeTrie()
{
    // Depth first: each node holds the names that share its path, as a range of
    // `order`; splitting that range by the names' next character (from the end)
    // makes the node's children, numbered one after the other. A name that no other
    // shares the rest of its path with becomes a chain of nodes side by side, so
    // that reading it in the text goes through memory in order. Each name is looked
    // at once per character, and no table grows by pointers.
    const int count = int(m_names.size());
    std::vector<int> order(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        order[size_t(i)] = i;
    // The key of each name in a range: its next character from the end shifted by
    // one, or 0 when the name ends at the range's node.
    std::vector<int> keys(static_cast<size_t>(count));
    std::vector<int> scratch(static_cast<size_t>(count));
    struct Range {
        int node;
        int from;
        int to;
        qsizetype depth;
    };
    std::vector<Range> pending{Range{0, 0, count, 0}};
    m_nodes.assign(1, Node{});
    qsizetype characters = 1;
    for (const Name &name : m_names)
        characters += name.length;
    m_nodes.reserve(size_t(characters));
    int counts[257];
    const auto character = [this](int name, qsizetype depth) {
        const Name &bytes = m_names[size_t(name)];
        return normalized(bytes.data[bytes.length - 1 - depth]);
    };
    // The names of a range keep the order they were added in, so the first that
    // ends at a node is the one added first.
    const auto end = [this](int node, int name) {
        Node &here = m_nodes[size_t(node)];
        if (here.best < 0)
            here.best = m_names[size_t(name)].id;
    };
    while (!pending.empty()) {
        const Range range = pending.back();
        pending.pop_back();
        int *names = order.data() + range.from;
        const int size = range.to - range.from;
        if (size == 1 && range.node != 0) {
            // One name: the rest of it is a chain.
            const int name = names[0];
            const qsizetype length = m_names[size_t(name)].length;
            int node = range.node;
            for (qsizetype depth = range.depth; depth < length; ++depth) {
                const int created = int(m_nodes.size());
                m_nodes[size_t(node)].firstChild = created;
                m_nodes[size_t(node)].children = 1;
                Node fresh;
                fresh.character = character(name, depth);
                m_nodes.push_back(fresh);
                node = created;
            }
            end(node, name);
            continue;
        }
        int *key = keys.data() + range.from;
        for (int i = 0; i < size; ++i) {
            key[i] = range.depth < m_names[size_t(names[i])].length
                         ? int(character(names[i], range.depth)) + 1
                         : 0;
        }
        if (size <= 16) {
            // Few names: sorted in place by their key.
            for (int i = 1; i < size; ++i) {
                const int name = names[i];
                const int k = key[i];
                int j = i;
                while (j > 0 && key[j - 1] > k) {
                    names[j] = names[j - 1];
                    key[j] = key[j - 1];
                    --j;
                }
                names[j] = name;
                key[j] = k;
            }
        } else {
            std::fill(std::begin(counts), std::end(counts), 0);
            for (int i = 0; i < size; ++i)
                ++counts[key[i]];
            int at = 0;
            for (int &c : counts)
                at += std::exchange(c, at);
            int *sorted = scratch.data() + range.from;
            for (int i = 0; i < size; ++i)
                sorted[counts[key[i]]++] = names[i];
            std::copy(sorted, sorted + size, names);
            for (int i = 0; i < size; ++i)
                key[i] = range.depth < m_names[size_t(names[i])].length
                             ? int(character(names[i], range.depth)) + 1
                             : 0;
        }
        int i = 0;
        // The names that end here: the one added first gives the node its id.
        for (; i < size && key[i] == 0; ++i)
            end(range.node, names[i]);
        // The children side by side, then their subtrees, the first child's first.
        const int firstChild = int(m_nodes.size());
        m_nodes[size_t(range.node)].firstChild = firstChild;
        const size_t firstPending = pending.size();
        while (i < size) {
            const int k = key[i];
            int stop = i + 1;
            while (stop < size && key[stop] == k)
                ++stop;
            const int created = int(m_nodes.size());
            Node fresh;
            fresh.character = static_cast<unsigned char>(k - 1);
            m_nodes.push_back(fresh);
            ++m_nodes[size_t(range.node)].children;
            if (range.node == 0)
                m_rootEdges[k - 1] = created;
            pending.push_back(Range{created, range.from + i, range.from + stop, range.depth + 1});
            i = stop;
        }
        std::reverse(pending.begin() + qsizetype(firstPending), pending.end());
    }
}

void NameLinker::makeFailLinks()
{
    // Breadth first, so that every fail target (a shorter path) is final before it
    // is used; a node that no name ends at takes the best name of its fail target.
    const size_t count = m_nodes.size();
    std::vector<int> queue;
    queue.reserve(count);
    queue.push_back(0);
    m_nodes[0].fail = 0;
    m_nodes[0].best = -1;
    for (size_t head = 0; head < queue.size(); ++head) {
        const int node = queue[head];
        const Node parent = m_nodes[size_t(node)];
        for (int e = parent.firstChild, end = e + parent.children; e < end; ++e) {
            Node &target = m_nodes[size_t(e)];
            int fail = 0;
            if (node != 0) {
                int f = parent.fail;
                int next = child(f, target.character);
                while (next < 0 && f != 0) {
                    f = m_nodes[size_t(f)].fail;
                    next = child(f, target.character);
                }
                fail = next < 0 ? 0 : next;
            }
            target.fail = fail;
            if (target.best < 0)
                target.best = m_nodes[size_t(fail)].best;
            queue.push_back(e);
        }
    }
}

bool NameNodeBudget::take(QByteArrayView name)
{
    // The nodes the name shares with the names taken before it, then the new ones.
    int node = 0;
    qsizetype i = name.size() - 1;
    const auto normalized = [](char c) {
        return c == '\r' ? (unsigned char)'\n' : static_cast<unsigned char>(c);
    };
    const auto childOf = [this](int parent, unsigned char c) {
        if (parent == 0)
            return m_rootEdges[c];
        for (int e = m_links[size_t(parent)].firstChild; e >= 0;
             e = m_links[size_t(e)].nextSibling) {
            if (m_links[size_t(e)].character == c)
                return e;
        }
        return -1;
    };
    for (; i >= 0; --i) {
        const int next = childOf(node, normalized(name[i]));
        if (next < 0)
            break;
        node = next;
    }
    const qsizetype needed = i + 1;
    if (needed > m_left)
        return false;
    m_left -= needed;
    for (; i >= 0; --i) {
        const unsigned char c = normalized(name[i]);
        const int created = int(m_links.size());
        Links fresh;
        fresh.character = c;
        if (node == 0) {
            m_rootEdges[c] = created;
        } else {
            fresh.nextSibling = m_links[size_t(node)].firstChild;
            m_links[size_t(node)].firstChild = created;
        }
        m_links.push_back(fresh);
        node = created;
    }
    return true;
}
