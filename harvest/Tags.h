#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <vector>

// The start tags of a page that the scans look at, found the way a browser's
// tokenizer reads markup, on the page's UTF-8 bytes.
namespace harvest {

struct Tag {
    enum Kind : unsigned char { Image, Anchor, Base };
    qsizetype start = 0; // the "<"
    qsizetype end = 0;   // just past the closing ">"
    Kind kind = Image;
};

// Every <img>, <a> and <base> start tag of the text, in page order, as [start, end) from
// its "<" through the ">" that closes it, however many lines its attributes take
// (a ">" inside a quoted value does not close it). What a browser does not read as a
// tag is left out: markup inside comments, inside the text of <script>, <style>,
// <textarea>, <title>, <xmp>, <iframe>, <noembed>, <noframes> and <noscript>, after
// <plaintext>, inside <template> (whose content never shows), inside another tag's
// attribute values, and a tag the text ends in before it is closed.
// found() is called with each in turn; the vector form gathers them.
//
// *examined, when given, receives how many bytes the reading passed over, a byte
// once for every time a search went over it. The end of a comment, of an element of
// raw text and of a quoted value are each found by a search that goes forward from
// where the reading stands, and the reading goes on from where it stopped: the
// count stays within a small multiple of the text's size, however the text is made.
void FindTags(QByteArrayView text, const std::function<void(const Tag &)> &found,
              qsizetype *examined = nullptr);
std::vector<Tag> FindTags(QByteArrayView text);

// Where the value of the tag's attribute `name` (lower case) begins, after its "="
// and any blanks around it, read attribute by attribute as a browser reads them:
// "data-src=" or a "src=" inside another attribute's value is not "src". The first
// of two attributes of one name counts. -1 when the tag has no such attribute, or
// one without a value. `tag` runs from its "<" to its ">".
qsizetype AttributeValueAt(QByteArrayView tag, QByteArrayView name);

// The document's base address, as a browser makes it of the page's text: the href
// of the first <base> element that has one, resolved against the page's address;
// the page's address when there is none (or when it is a data: or javascript:
// address).
QString DocumentBase(QByteArrayView text, const QString &pageUrl);

} // namespace harvest
