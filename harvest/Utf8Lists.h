#pragma once

#include "harvest/GrowingArray.h"
#include "harvest/ResultLists.h"

#include <QByteArrayView>

namespace harvest {

// One result list in UTF-8, its entries side by side in one block of bytes: no
// allocation per entry, and nothing to convert on the way to a file.
class Utf8List {
public:
    qsizetype size() const { return m_ends.size(); }
    bool isEmpty() const { return m_ends.isEmpty(); }
    QByteArrayView at(qsizetype i) const
    {
        const qsizetype start = i == 0 ? 0 : m_ends[i - 1];
        return QByteArrayView(m_bytes.data() + start, m_ends[i] - start);
    }
    // Asks for the memory where entry i's place is kept.
    void prefetch(qsizetype i) const { __builtin_prefetch(m_ends.data() + i - (i > 0)); }

    void append(QByteArrayView entry)
    {
        m_bytes.append(entry.data(), entry.size());
        m_ends.append(m_bytes.size());
    }

    // An entry made in place: its bytes are appended to pending() and then kept
    // with commit() or dropped with drop().
    GrowingArray<char> &pending() { return m_bytes; }
    QByteArrayView pendingEntry() const
    {
        const qsizetype start = m_ends.isEmpty() ? 0 : m_ends.last();
        return QByteArrayView(m_bytes.data() + start, m_bytes.size() - start);
    }
    void commit() { m_ends.append(m_bytes.size()); }
    void drop() { m_bytes.truncate(m_ends.isEmpty() ? 0 : m_ends.last()); }

    void clear()
    {
        m_bytes.clear();
        m_ends.clear();
    }
    // Keeps the first `count` entries.
    void truncate(qsizetype count)
    {
        if (count >= size())
            return;
        m_ends.truncate(count);
        m_bytes.truncate(count == 0 ? 0 : m_ends[count - 1]);
    }

    QStringList toStringList() const;
    static Utf8List fromStringList(const QStringList &list);

private:
    GrowingArray<char> m_bytes;
    GrowingArray<qsizetype> m_ends;
};

// The four result lists (see ResultLists) in UTF-8.
struct Utf8Lists {
    Utf8List Links[2];
    Utf8List Keys[2];

    void clear()
    {
        for (int k = 0; k < 2; ++k) {
            Links[k].clear();
            Keys[k].clear();
        }
    }

    ResultLists toResultLists() const;
    // Text that is not UTF-8 (a lone surrogate) comes out as toUtf8() writes it.
    static Utf8Lists fromResultLists(const ResultLists &lists);
};

// The text of UTF-8 bytes as QString::fromUtf8() reads them, except that a
// byte-order mark at the start is kept: in a value, an address or a file name it is
// a character like any other, and the text of a page holds it as one.
QString TextOfUtf8(QByteArrayView bytes);

// The length of UTF-8 text in UTF-16 code units, as QString counts it.
qsizetype Utf16Length(QByteArrayView utf8);

} // namespace harvest
