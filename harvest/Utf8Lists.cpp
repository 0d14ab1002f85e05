#include "harvest/Utf8Lists.h"

#include <QStringDecoder>
#include <QtAlgorithms>

#include <cstring>

namespace harvest {

QString TextOfUtf8(QByteArrayView bytes)
{
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

QStringList Utf8List::toStringList() const
{
    QStringList out;
    out.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        out.append(TextOfUtf8(at(i)));
    return out;
}

Utf8List Utf8List::fromStringList(const QStringList &list)
{
    Utf8List out;
    for (const QString &entry : list)
        out.append(entry.toUtf8());
    return out;
}

ResultLists Utf8Lists::toResultLists() const
{
    ResultLists out;
    for (int k = 0; k < 2; ++k) {
        out.Links[k] = Links[k].toStringList();
        out.Keys[k] = Keys[k].toStringList();
    }
    return out;
}

Utf8Lists Utf8Lists::fromResultLists(const ResultLists &lists)
{
    Utf8Lists out;
    for (int k = 0; k < 2; ++k) {
        out.Links[k] = Utf8List::fromStringList(lists.Links[k]);
        out.Keys[k] = Utf8List::fromStringList(lists.Keys[k]);
    }
    return out;
}

qsizetype Utf16Length(QByteArrayView utf8)
{
    // Every byte but a continuation byte (10xxxxxx) starts a character; a lead byte
    // of four (11110xxx) starts one of two code units. Eight bytes at a time.
    constexpr quint64 kHigh = 0x8080808080808080ull;
    const char *data = utf8.data();
    const qsizetype n = utf8.size();
    qsizetype units = n;
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, 8);
        if ((word & kHigh) == 0)
            continue;
        const quint64 continuation = word & ~(word << 1) & kHigh;
        const quint64 fourLong = word & (word << 1) & (word << 2) & (word << 3) & kHigh;
        units += qsizetype(qPopulationCount(fourLong)) - qsizetype(qPopulationCount(continuation));
    }
    for (; i < n; ++i) {
        const uchar b = uchar(data[i]);
        units -= (b & 0xC0) == 0x80;
        units += b >= 0xF0;
    }
    return units;
}

} // namespace harvest
