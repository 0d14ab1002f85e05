#pragma once

#include <QByteArrayView>

#include <functional>
#include <vector>

// Finds recorded file names (UTF-8) in a UTF-8 text in one pass: for every position, the longest
// name that starts there (between equal names the one added first). CR and LF count
// as the same character, as both read as a line break in the Source Code page.
// Built as an Aho-Corasick automaton over the reversed names and run from the end
// of the text backwards, so that each position costs constant time on average.
class NameLinker {
public:
    // Adds a name with its id; empty names are ignored, and a name equal to one
    // added before keeps the earlier id. Names are added before the first search:
    // the tables it builds keep no room for more, and later names are ignored.
    void addName(QByteArrayView name, int id);

    // How many nodes the linker's tables hold, and how many more adding a name
    // would make; the tables cost memory per node.
    qsizetype nodeCount() const { return qsizetype(m_built ? m_nodes.size() : m_links.size()); }
    qsizetype nodesNeeded(QByteArrayView name) const;
    // Makes room for this many nodes in all.
    void reserve(qsizetype nodes) { m_links.reserve(size_t(nodes)); }

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

private:
    // What reading the text needs of a node.
    struct Node {
        int fail = 0;
        int best = -1; // id of the longest name that ends here or on the fail chain
    };
    // What adding names needs of a node.
    struct Links {
        int firstChild = -1; // the node's children, linked through nextSibling
        int nextSibling = -1;
        int id = -1;         // id of the name that ends here, -1 for none
        uchar character = 0; // on the edge from the parent
    };

    static uchar normalized(char c) { return c == '\r' ? uchar('\n') : uchar(c); }
    // A child while names are added: through the lists.
    int listedChild(int node, uchar c) const
    {
        if (node == 0)
            return m_rootEdges[c];
        for (int e = m_links[size_t(node)].firstChild; e >= 0; e = m_links[size_t(e)].nextSibling) {
            if (m_links[size_t(e)].character == c)
                return e;
        }
        return -1;
    }
    // A child once built: a node's children lie side by side in the packed tables.
    int child(int node, uchar c) const
    {
        if (node == 0)
            return m_rootEdges[c];
        for (int e = m_edgeStart[size_t(node)], end = m_edgeStart[size_t(node) + 1]; e < end; ++e) {
            if (m_edgeChars[size_t(e)] == c)
                return m_edgeTargets[size_t(e)];
        }
        return -1;
    }
    void build();

    // The trie of the reversed names: the root's children in a table by character,
    // every other node's in a list while names are added, and packed per node once
    // built (most nodes have one child).
    // While names are added, only the lists; once built, only the packed tables.
    std::vector<Node> m_nodes;
    std::vector<Links> m_links{Links{}};
    std::vector<int> m_nameLength; // by id
    std::vector<int> m_rootEdges = std::vector<int>(256, -1);
    std::vector<int> m_edgeStart;
    std::vector<uchar> m_edgeChars;
    std::vector<int> m_edgeTargets;
    qsizetype m_longest = 0;
    bool m_built = false;
};
