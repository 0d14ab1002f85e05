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
    // added before keeps the earlier id.
    void addName(QByteArrayView name, int id);

    // How many nodes the linker's tables hold, and how many more adding a name
    // would make; the tables cost memory per node.
    qsizetype nodeCount() const { return qsizetype(m_nodes.size()); }
    qsizetype nodesNeeded(QByteArrayView name) const;
    // Makes room for this many nodes in all.
    void reserve(qsizetype nodes) { m_nodes.reserve(size_t(nodes)); }

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
    struct Node {
        int fail = 0;
        int id = -1;         // id of the name that ends here, -1 for none
        int length = 0;      // depth in the trie
        int bestNode = -1;   // nearest node on the fail chain (this one included) with a name
        int firstChild = -1; // the node's children, linked through nextSibling
        int nextSibling = -1;
        uchar character = 0; // on the edge from the parent
    };

    static uchar normalized(char c) { return c == '\r' ? uchar('\n') : uchar(c); }
    int child(int node, uchar c) const
    {
        if (node == 0)
            return m_rootEdges[c];
        for (int e = m_nodes[size_t(node)].firstChild; e >= 0; e = m_nodes[size_t(e)].nextSibling) {
            if (m_nodes[size_t(e)].character == c)
                return e;
        }
        return -1;
    }
    void build();

    // The trie of the reversed names: the root's children in a table by character,
    // every other node's in a list (most nodes have one child).
    std::vector<Node> m_nodes{Node{}};
    std::vector<int> m_rootEdges = std::vector<int>(256, -1);
    qsizetype m_longest = 0;
    bool m_built = false;
};
