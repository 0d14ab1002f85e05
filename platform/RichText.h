#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

// A reader for Rich Text Format documents, as word processors write them.
// It fills a text document with the document's text and its character and
// paragraph formatting: groups, paragraphs and line breaks, tabs, bold,
// italic, underline, font sizes, the font and colour tables, 8-bit characters
// in the document's code page, Unicode characters with their fallback skip
// counts, and special characters. Destinations it does not know (pictures,
// document information, style sheets, headers and footers, anything marked
// ignorable) are skipped. Broken input never fails: unbalanced braces and a
// truncated file keep all the text read so far.
class RichText {
public:
    // True when the data starts like an RTF document ("{\rtf").
    static bool isRtf(const QByteArray &data);

    // Replaces the document's content with the RTF data. Data that is not RTF
    // is shown as plain text (UTF-8 when valid, otherwise Windows-1252).
    static void read(const QByteArray &data, QTextDocument *document);

    // Reads a file into the document; false (document unchanged) when the
    // file cannot be read.
    static bool readFile(const QString &path, QTextDocument *document);

    // The Unicode text of an 8-bit string in a Windows code page (1252 when
    // the code page is unknown).
    static QString decodeCodePage(const QByteArray &bytes, int codePage);
};
