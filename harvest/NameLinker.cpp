#include "harvest/NameLinker.h"

#include <deque>

namespace {

quint64 edgeKey(int node, char16_t c)
{
    return (quint64(quint32(node)) << 16) | c;
}

} // namespace

qsizetype NameLinker::nodesNeeded(const QString &name) const
{
    int node = 0;
    qsizetype i = name.size() - 1;
    for (; i >= 0; --i) {
        const auto found = m_edges.find(edgeKey(node, normalized(name.at(i).unicode())));
        if (found == m_edges.end())
            break;
        node = found->second;
    }
    return i + 1;
}

void NameLinker::addName(const QString &name, int id)
{
    if (name.isEmpty())
        return;
    m_built = false;
    m_longest = qMax(m_longest, name.size());
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

void NameLinker::findAll(QStringView text, const std::function<void(const Match &)> &found)
{
    if (m_nodes.size() == 1)
        return;
    if (!m_built)
        build();
    // The state at a position depends only on the longest name's length of text
    // after it, so each window is read backwards from that far past its end.
    constexpr qsizetype kWindow = qsizetype(1) << 18;
    const qsizetype n = text.size();
    const char16_t *data = text.utf16();
    std::vector<Match> starts;
    qsizetype covered = 0;
    for (qsizetype windowStart = 0; windowStart < n; windowStart += kWindow) {
        const qsizetype windowEnd = qMin(n, windowStart + kWindow);
        const qsizetype readFrom = qMin(n, windowEnd + m_longest);
        starts.clear();
        // Backwards: after reading text[p..readFrom) reversed, the state's fail chain
        // holds exactly the names that start at p, the longest first.
        int state = 0;
        for (qsizetype p = readFrom - 1; p >= windowStart; --p) {
            const char16_t c = normalized(data[p]);
            if (state == 0) {
                // Most characters end no name: stay at the root without further work.
                state = m_rootEdges[c];
                if (state < 0) {
                    state = 0;
                    continue;
                }
            } else {
                int next = child(state, c);
                while (next < 0 && state != 0) {
                    state = m_nodes[size_t(state)].fail;
                    next = child(state, c);
                }
                state = next < 0 ? 0 : next;
            }
            const int best = m_nodes[size_t(state)].bestNode;
            if (best >= 0 && p < windowEnd)
                starts.push_back(Match{p, m_nodes[size_t(best)].length, m_nodes[size_t(best)].id});
        }
        // Forwards: take the leftmost match, skip what it covers, and so on.
        for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
            if (it->position < covered)
                continue;
            found(*it);
            covered = it->position + it->length;
        }
    }
}

std::vector<NameLinker::Match> NameLinker::findAll(QStringView text)
{
    std::vector<Match> chosen;
    findAll(text, [&chosen](const Match &match) { chosen.push_back(match); });
    return chosen;
}
