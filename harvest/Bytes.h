#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace harvest {

// The position of the first c in data[from, to), or -1. Markup puts what the
// harvest looks for every few dozen bytes: the first bytes are looked at sixteen at
// a time here, and only a long run goes to the C library's search, whose call
// costs more than such a short look.
inline qsizetype FindByte(const char *data, qsizetype from, qsizetype to, char c)
{
    if (from >= to)
        return -1;
#ifdef __SSE2__
    const __m128i wanted = _mm_set1_epi8(c);
    for (int step = 0; step < 4 && from + 16 <= to; ++step, from += 16) {
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + from)), wanted)));
        if (mask != 0)
            return from + __builtin_ctz(mask);
    }
    if (to - from < 16) {
        for (; from < to; ++from) {
            if (data[from] == c)
                return from;
        }
        return -1;
    }
#endif
    const void *hit = std::memchr(data + from, c, size_t(to - from));
    return hit ? static_cast<const char *>(hit) - data : -1;
}

// True when `value` holds any of the bytes `Wanted`. Eight bytes at a time: a
// word holds byte b when the word xored with b in every place holds a zero byte.
template <char... Wanted> inline bool HoldsAnyOf(QByteArrayView value)
{
    constexpr quint64 kOnes = 0x0101010101010101ull;
    constexpr quint64 kHigh = 0x8080808080808080ull;
    const auto hasZero = [](quint64 x) { return ((x - kOnes) & ~x & kHigh) != 0; };
    const char *data = value.data();
    const qsizetype n = value.size();
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, 8);
        if ((hasZero(word ^ (kOnes * quint8(Wanted))) || ...))
            return true;
    }
    for (; i < n; ++i) {
        const char c = data[i];
        if (((c == Wanted) || ...))
            return true;
    }
    return false;
}

} // namespace harvest
