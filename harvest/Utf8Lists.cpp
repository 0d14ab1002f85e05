#include "harvest/Utf8Lists.h"

namespace harvest {

QStringList Utf8List::toStringList() const
{
    QStringList out;
    out.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        out.append(QString::fromUtf8(at(i)));
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
    // Every byte but a continuation byte starts a character; one of four bytes
    // takes two code units.
    qsizetype units = 0;
    for (const char c : utf8) {
        const uchar b = uchar(c);
        units += (b & 0xC0) != 0x80;
        units += b >= 0xF0;
    }
    return units;
}

} // namespace harvest
