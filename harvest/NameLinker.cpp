#include "harvest/NameLinker.h"

qsizetype NameLinker::nodesNeeded(QByteArrayView name) const
{
    int node = 0;
    qsizetype i = name.size() - 1;
    for (; i >= 0; --i) {
        const uchar c = normalized(name[i]);
        const int next = m_built ? child(node, c) : listedChild(node, c);
        if (next < 0)
            break;
        node = next;
    }
    return i + 1;
}

void NameLinker::addName(QByteArrayView name, int id)
{
    if (name.isEmpty() || id < 0 || m_built)
        return;
    m_longest = qMax(m_longest, name.size());
    int node = 0;
    for (qsizetype i = name.size() - 1; i >= 0; --i) {
        const uchar c = normalized(name[i]);
        const int next = listedChild(node, c);
        if (next >= 0) {
            node = next;
            continue;
        }
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
    if (m_links[size_t(node)].id < 0) {
        m_links[size_t(node)].id = id;
        if (size_t(id) >= m_nameLength.size())
            m_nameLength.resize(size_t(id) + 1, 0);
        m_nameLength[size_t(id)] = int(name.size());
    }
}

void NameLinker::build()
{
    // The children of each node packed side by side.
    const size_t count = m_links.size();
    m_edgeStart.assign(count + 1, 0);
    for (size_t node = 1; node < count; ++node) {
        for (int e = m_links[node].firstChild; e >= 0; e = m_links[size_t(e)].nextSibling)
            ++m_edgeStart[node + 1];
    }
    for (size_t node = 0; node < count; ++node)
        m_edgeStart[node + 1] += m_edgeStart[node];
    m_edgeChars.resize(size_t(m_edgeStart[count]));
    m_edgeTargets.resize(size_t(m_edgeStart[count]));
    for (size_t node = 1; node < count; ++node) {
        int at = m_edgeStart[node];
        for (int e = m_links[node].firstChild; e >= 0; e = m_links[size_t(e)].nextSibling) {
            m_edgeChars[size_t(at)] = m_links[size_t(e)].character;
            m_edgeTargets[size_t(at)] = e;
            ++at;
        }
    }
    // What adding names needed goes; each node's best starts as its own name.
    m_nodes.resize(count);
    for (size_t node = 0; node < count; ++node)
        m_nodes[node].best = m_links[node].id;
    std::vector<Links>().swap(m_links);
    // Breadth first, so that every fail target is final before it is used. A node
    // that no name ends at takes the best name of its fail target.
    std::vector<int> queue;
    queue.reserve(count);
    m_nodes[0].fail = 0;
    m_nodes[0].best = -1;
    for (const int target : m_rootEdges) {
        if (target >= 0) {
            m_nodes[size_t(target)].fail = 0;
            queue.push_back(target);
        }
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        const int node = queue[head];
        const int fail = m_nodes[size_t(node)].fail;
        if (m_nodes[size_t(node)].best < 0)
            m_nodes[size_t(node)].best = m_nodes[size_t(fail)].best;
        for (int e = m_edgeStart[size_t(node)]; e < m_edgeStart[size_t(node) + 1]; ++e) {
            const uchar c = m_edgeChars[size_t(e)];
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

void NameLinker::findAll(QByteArrayView text, const std::function<void(const Match &)> &found)
{
    if (!m_built)
        build();
    if (m_nodes.size() <= 1)
        return;
    // The state at a position depends only on the longest name's length of text
    // after it, so each window is read backwards from that far past its end.
    constexpr qsizetype kWindow = qsizetype(1) << 18;
    const qsizetype n = text.size();
    const char *data = text.data();
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
            const uchar c = normalized(data[p]);
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
            const int best = m_nodes[size_t(state)].best;
            if (best >= 0 && p < windowEnd)
                starts.push_back(Match{p, m_nameLength[size_t(best)], best});
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

std::vector<NameLinker::Match> NameLinker::findAll(QByteArrayView text)
{
    std::vector<Match> chosen;
    findAll(text, [&chosen](const Match &match) { chosen.push_back(match); });
    return chosen;
}
