#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <functional>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <vector>

// Finds recorded file names (UTF-8) in a UTF-8 text: for every position, the longest
// name that starts there (between equal names the one added first). CR and LF count
// as the same character, as both read as a line break in the Source Code page.
//
// Two ways give the same matches. The first looks up, at each byte that ends some
// name, the names of the lengths that end in that byte in a hash table: on real
// pages few bytes pass its filters, and its tables are small. Text made to defeat
// the filters (many names of many lengths that look alike) would cost it the
// product of the two; when a window of text costs more than a fixed amount per
// byte, the rest is read by the second: an Aho-Corasick automaton over the reversed
// names, run from the end of each window backwards, so that each position costs
// constant time on average whatever the names.
class NameLinker {
public:
    // Adds a name with its id; empty names are ignored, and a name equal to one
    // added before keeps the earlier id. The name's bytes are read when the tables
    // are built, at the first search, and by the automaton, which is built when
    // first needed: they must stay valid as long as the linker searches. Names added
    // after the first search are ignored.
    void addName(QByteArrayView name, int id);
    // Makes room for this many names.
    void reserve(qsizetype names) { m_names.reserve(size_t(names)); }

    struct Match {
        qsizetype position; // in bytes
        qsizetype length;
        int id;
    };

    // Calls found() with the matches chosen left to right: at each position the
    // longest name, then the search goes on after it, so matches never overlap.
    // The text is read in windows, so the memory it takes does not grow with it.
    void findAll(QByteArrayView text, const std::function<void(const Match &)> &found);
    std::vector<Match> findAll(QByteArrayView text);
    // The same, the matches chosen in each window of the text handed over together,
    // so that the caller can ask for the memory of several at once.
    void findAllByWindow(QByteArrayView text,
                         const std::function<void(const Match *matches, qsizetype count)> &found);

    // Reads every window with the automaton, as text that defeats the lookups is
    // read: both ways can be checked against each other.
    void useAutomatonOnly() { m_automatonOnly = true; }

private:
    struct Name {
        const char *data;
        int length;
        int id;
        QByteArrayView bytes() const { return QByteArrayView(data, length); }
    };

    static unsigned char normalized(char c)
    {
        return c == '\r' ? '\n' : static_cast<unsigned char>(c);
    }

    void build();
    // The matches of the names that start in [from, to), the longest first at each
    // position, in page order; false when the window cost more than its share.
    bool lookUpWindow(QByteArrayView text, qsizetype from, qsizetype to,
                      std::vector<Match> &starts);
    // Looks the gathered probes up, adding the names found to starts.
    void lookUpProbes(const char *data, std::vector<Match> &starts);
    // The same read by the automaton.
    void automatonWindow(QByteArrayView text, qsizetype from, qsizetype to,
                         std::vector<Match> &starts);
    // The position of the name in the hash table that text[from, from + length)
    // equals, or -1.
    int lookUp(const char *text, qsizetype length) const;
    // The same for text of this hash, whose first slot holds `first`.
    struct Slot;
    int lookUp(const char *text, qsizetype length, quint64 hash, Slot first) const;
    // Does the name at this position of m_names read as the text?
    bool sameName(unsigned name, const char *text, qsizetype length) const;

    // The bytes that end a name, as they may stand in the text: when they are few,
    // the search skips the bytes between them sixteen at a time.
    qsizetype skipBack(const char *data, qsizetype from, qsizetype to) const;
    // Bit i set when data[i] ends some name, for count bytes (at most 64).
    quint64 endingMask(const char *data, qsizetype count) const;

    std::vector<Name> m_names;
    std::vector<int> m_nameLength; // by id
    qsizetype m_longest = 0;
    bool m_built = false;
    bool m_automatonOnly = false;

    bool m_endsName[256] = {};
    unsigned char m_endBytes[8] = {};
    int m_endByteCount = 0;
#ifdef __SSE2__
    __m128i m_endVectors[8];
#endif

    // The lookups' tables. Names by their hash: an index into m_names plus one, 0
    // for an empty slot, the first added of equal names only, with more of the hash
    // so that most other names are told apart without reading them.
    struct Slot {
        quint32 tag = 0;
        unsigned entry = 0;
    };
    std::vector<Slot> m_table;
    size_t m_mask = 0;
    // The lengths of the names that end in each byte, longest first: those of byte
    // c from m_lengthStart[c] up to m_lengthStart[c + 1].
    std::vector<int> m_lengthStart;
    std::vector<int> m_lengths;
    // Filters, one bit each: the last two bytes of a name (for names of two bytes or
    // more), and its first byte, last byte and length together, hashed.
    std::vector<unsigned long long> m_pairs;
    std::vector<unsigned long long> m_shapes;
    // The id of the name of each single byte, where there is one.
    int m_oneByteNames[256] = {};
    // The lookups of a window, gathered.
    struct Probe {
        qsizetype start;
        qsizetype length;
        quint64 hash;
        Slot first;
    };
    std::vector<Probe> m_probes;

    // The automaton over the reversed names, made when first needed. A node's
    // children lie side by side, and a name that no other shares the rest of its
    // path with is a chain of nodes side by side.
    struct Node {
        int firstChild = 0;
        int fail = 0;
        int best = -1; // id of the longest name that ends here or on the fail chain
        unsigned short children = 0;
        unsigned char character = 0; // on the edge from the parent
    };
    int child(int node, unsigned char c) const
    {
        if (node == 0)
            return m_rootEdges[c];
        const Node &parent = m_nodes[size_t(node)];
        for (int e = parent.firstChild, end = e + parent.children; e < end; ++e) {
            if (m_nodes[size_t(e)].character == c)
                return e;
        }
        return -1;
    }
    void makeAutomaton();
    void makeTrie();
    void makeFailLinks();
    std::vector<Node> m_nodes;
    int m_rootEdges[256];
};

// Which names fit in tables of a given number of nodes, taken in turn: each name
// fits when the nodes it adds to the trie of the names taken before it do. Used only
// when all the names together would not fit.
class NameNodeBudget {
public:
    explicit NameNodeBudget(qsizetype nodes) : m_left(nodes - 1) {}

    // True, and the name's nodes counted, when they fit in what is left.
    bool take(QByteArrayView name);

private:
    struct Links {
        int firstChild = -1; // the node's children, linked through nextSibling
        int nextSibling = -1;
        unsigned char character = 0;
    };
    qsizetype m_left; // the root is counted
    std::vector<Links> m_links{Links{}};
    std::vector<int> m_rootEdges = std::vector<int>(256, -1);
};
