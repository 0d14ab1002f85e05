#pragma once

#include <QString>
#include <QStringView>

// Small text operations shared by the harvest. "Ignoring case" here compares
// ASCII letters without regard to case; every other character must match exactly.
namespace harvest {

inline char16_t asciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

// Position of the first occurrence of needle (lower-case ASCII) at or after from,
// ignoring case; -1 when there is none.
qsizetype indexOfIgnoringCase(QStringView text, QLatin1StringView needle, qsizetype from = 0);

inline bool containsIgnoringCase(QStringView text, QLatin1StringView needle)
{
    return indexOfIgnoringCase(text, needle) >= 0;
}

inline bool startsWithIgnoringCase(QStringView text, QLatin1StringView needle)
{
    return text.size() >= needle.size() &&
           indexOfIgnoringCase(text.first(needle.size()), needle) == 0;
}

// Replaces each non-overlapping occurrence of needle (found ignoring case, left to
// right) by replacement, written as given. Returns how many were replaced.
qsizetype replaceEveryIgnoringCase(QString &text, QLatin1StringView needle,
                                   QLatin1StringView replacement = {});

// As above, matching exactly.
qsizetype removeEvery(QString &text, QLatin1StringView needle);

} // namespace harvest
