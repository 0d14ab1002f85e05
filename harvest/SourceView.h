#pragma once

#include "harvest/ByteSink.h"
#include "harvest/Harvest.h"
#include "harvest/Utf8Lists.h"

#include <QByteArrayView>

namespace harvest {

struct SourceViewOptions {
    // Long lines wrap at first; the page's root element then has the class "wrap",
    // and the view can take it away or give it back at any time.
    bool wrapLongLines = true;
    // Written inside <head> as it is, after the charset: the place for the policy the
    // view serves the page with.
    QByteArrayView headExtra;
};

// The page the Source Code view shows for a harvest (UTF-8, a complete HTML
// document): the page text escaped as the Source Code page escapes it and linked
// where that page links it, each line of it an element of its own, numbered by the
// style sheet (so that the numbers are neither copied nor found), coloured as markup
// (block by block while the colours have taken less than 1 MB, and never more than
// four times the page), and cut into blocks
// that the engine lays out only once they come into sight.
// A line ends at CR, LF or CR LF. A linked name that holds a line break is linked
// on each of its lines, so that no anchor crosses a line. The first line says what
// the view shows, and the Source Code page's notice follows it when that page has
// one. *cuts, when given, receives what was left unlinked, as WriteSourcePage()
// counts it.
void WriteSourceView(QByteArrayView pageText, const Utf8Lists &lists, ByteSink &sink,
                     const SourceViewOptions &options = {}, SourcePageCuts *cuts = nullptr);

struct ImageViewOptions {
    QByteArrayView headExtra; // as in SourceViewOptions
};

// The page the Images view shows: the Images page's blocks (those WriteImagePage()
// writes within the same byteLimit, its notice first when it has one), a hundred to
// a block laid out only once in sight, in a document whose pictures are never wider
// than the view; "No pictures on this page" when none were recorded. *shown, when
// given, receives the number of pictures.
void WriteImageView(const Utf8Lists &lists, qsizetype byteLimit, ByteSink &sink,
                    qsizetype *shown = nullptr, const ImageViewOptions &options = {});

} // namespace harvest
