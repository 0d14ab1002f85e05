#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <unordered_map>
#include <vector>

// Finds recorded file names in a text in one pass: for every position, the longest
// name that starts there (between equal names the one added first). CR and LF count
// as the same character, as both read as a line break in the Source Code page.
// Built as an Aho-Corasick automaton over the reversed names and run from the end
// of the text backwards, so that each position costs constant time on average.
class NameLinker {
public:
    // Adds a name with its id; empty names are ignored, and a name equal to one
    // added before keeps the earlier id.
    void addName(const QString &name, int id);

    // How many nodes the linker's tables hold, and how many more adding a name
    // would make; the tables cost memory per node.
    qsizetype nodeCount() const { return qsizetype(m_nodes.size()); }
    qsizetype nodesNeeded(const QString &name) const;

    struct Match {
        qsizetype position;
        qsizetype length;
        int id;
    };

    // Calls found() with the matches chosen left to right: at each position the
    // longest name, then the search goes on after it, so matches never overlap.
    // The text is read in windows, so the memory it takes does not grow with it.
    void findAll(QStringView text, const std::function<void(const Match &)> &found);
    std::vector<Match> findAll(QStringView text);

private:
    struct Node {
        int fail = 0;
        int id = -1;       // id of the name that ends here, -1 for none
        int length = 0;    // depth in the trie
        int bestNode = -1; // nearest node on the fail chain (this one included) with a name
    };

    static char16_t normalized(char16_t c) { return c == u'\r' ? u'\n' : c; }
    int child(int node, char16_t c) const
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

    std::vector<Node> m_nodes{Node{}};
    // While names are added: every edge in a hash; once built: the root's edges in
    // a table by character, the others packed per node (most nodes have one).
    std::unordered_map<quint64, int> m_edges;
    std::vector<int> m_rootEdges;
    std::vector<int> m_edgeStart;
    std::vector<char16_t> m_edgeChars;
    std::vector<int> m_edgeTargets;
    qsizetype m_longest = 0;
    bool m_built = false;
};
