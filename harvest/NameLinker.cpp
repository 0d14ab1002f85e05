#include "harvest/NameLinker.h"

#include <deque>

namespace {

quint64 edgeKey(int node, char16_t c)
{
    return (quint64(quint32(node)) << 16) | c;
}

} // namespace

void NameLinker::addName(const QString &name, int id)
{
    if (name.isEmpty())
        return;
    m_built = false;
    int node = 0;
    for (qsizetype i = name.size() - 1; i >= 0; --i) {
        const char16_t c = normalized(name.at(i).unicode());
        const auto found = m_edges.find(edgeKey(node, c));
        if (found != m_edges.end()) {
            node = found->second;
            continue;
        }
        const int created = int(m_nodes.size());
        Node fresh;
        fresh.length = m_nodes[node].length + 1;
        m_nodes.push_back(fresh);
        m_edges.emplace(edgeKey(node, c), created);
        node = created;
    }
    if (m_nodes[node].id < 0)
        m_nodes[node].id = id;
}

void NameLinker::build()
{
    m_rootEdges.assign(0x10000, -1);
    const size_t count = m_nodes.size();
    m_edgeStart.assign(count + 1, 0);
    for (const auto &[key, target] : m_edges)
        ++m_edgeStart[size_t(key >> 16) + 1];
    for (size_t i = 0; i < count; ++i)
        m_edgeStart[i + 1] += m_edgeStart[i];
    m_edgeChars.assign(m_edges.size(), 0);
    m_edgeTargets.assign(m_edges.size(), 0);
    std::vector<int> fill(m_edgeStart.begin(), m_edgeStart.end() - 1);
    for (const auto &[key, target] : m_edges) {
        const size_t from = size_t(key >> 16);
        const char16_t c = char16_t(key & 0xFFFF);
        const int at = fill[from]++;
        m_edgeChars[size_t(at)] = c;
        m_edgeTargets[size_t(at)] = target;
        if (from == 0)
            m_rootEdges[c] = target;
    }
    // Breadth first, so that every fail target is final before it is used.
    std::deque<int> queue;
    m_nodes[0].fail = 0;
    m_nodes[0].bestNode = -1;
    for (int e = m_edgeStart[0]; e < m_edgeStart[1]; ++e) {
        m_nodes[size_t(m_edgeTargets[size_t(e)])].fail = 0;
        queue.push_back(m_edgeTargets[size_t(e)]);
    }
    while (!queue.empty()) {
        const int node = queue.front();
        queue.pop_front();
        const int fail = m_nodes[size_t(node)].fail;
        m_nodes[size_t(node)].bestNode =
            m_nodes[size_t(node)].id >= 0 ? node : m_nodes[size_t(fail)].bestNode;
        for (int e = m_edgeStart[size_t(node)]; e < m_edgeStart[size_t(node) + 1]; ++e) {
            const char16_t c = m_edgeChars[size_t(e)];
            const int target = m_edgeTargets[size_t(e)];
            int f = fail;
            int next = child(f, c);
            while (next < 0 && f != 0) {
                f = m_nodes[size_t(f)].fail;
                next = child(f, c);
            }
            m_nodes[size_t(target)].fail = (next >= 0 && next != target) ? next : 0;
            queue.push_back(target);
        }
    }
    m_built = true;
}

std::vector<NameLinker::Match> NameLinker::findAll(QStringView text)
{
    std::vector<Match> chosen;
    if (m_nodes.size() == 1)
        return chosen;
    if (!m_built)
        build();
    // Backwards: after reading text[p..end) reversed, the state's fail chain holds
    // exactly the names that start at p, the longest first.
    std::vector<Match> starts;
    const char16_t *data = text.utf16();
    int state = 0;
    for (qsizetype p = text.size() - 1; p >= 0; --p) {
        const char16_t c = normalized(data[p]);
        if (state == 0) {
            // Most characters end no name: stay at the root without further work.
            state = m_rootEdges[c];
            if (state < 0) {
                state = 0;
                continue;
            }
            const int best = m_nodes[size_t(state)].bestNode;
            if (best >= 0)
                starts.push_back(Match{p, m_nodes[size_t(best)].length, m_nodes[size_t(best)].id});
            continue;
        }
        int next = child(state, c);
        while (next < 0 && state != 0) {
            state = m_nodes[state].fail;
            next = child(state, c);
        }
        state = next < 0 ? 0 : next;
        const int best = m_nodes[state].bestNode;
        if (best >= 0)
            starts.push_back(Match{p, m_nodes[best].length, m_nodes[best].id});
    }
    // Forwards: take the leftmost match, skip what it covers, and so on.
    qsizetype covered = 0;
    for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
        if (it->position < covered)
            continue;
        chosen.push_back(*it);
        covered = it->position + it->length;
    }
    return chosen;
}
