#pragma once

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

class QWebEnginePage;

// The element of a page that uses a picture, as the page shows it.
struct PicturePlace {
    enum class Found {
        NoAnswer, // the page went away, or its script failed
        Nowhere,  // no element uses the picture now (a style sheet's rule only)
        NoBox,    // an element uses it, but the page shows no box for it (hidden, in the head)
        Shown,    // scrolled into the middle of the view; `box` is where it lies
    };
    Found found = Found::NoAnswer;
    QString element; // "img#logo.header"
    QString kind;    // how it uses the picture: "img", "source", "css", "meta", "icon"...
    QRectF box;      // in the view's CSS pixels (the top document's viewport)
};

// Where the markup of the element that uses a picture starts in the body's
// markup (document.body.outerHTML) as the page holds it now.
struct MarkupPlace {
    bool answered = false;
    bool found = false;  // some element uses the picture
    bool inBody = false; // that element, or the frame or shadow host that holds it, is in the body
    QString element;     // the element that uses it
    QString kind;
    QString holder;  // the element of the body that holds it: itself, a frame or a shadow host
    QString through; // "frame" or "shadow" when the holder is not the element itself; else empty
    // The body's markup before the element's markup, and the first 256 code
    // units of that; both empty when the place cannot be told.
    QString before;
    QString startTag;

    // The line (from 1) where the element's markup starts in `markup`, the body's
    // markup as it was read earlier, lines ending at CR, LF or CR LF; 0 when that
    // markup is not the same as the page's now up to the element's start tag
    // (the page has changed there since).
    int lineIn(QStringView markup) const;
};

// Finds, in a page's live document, where a picture is used and which pictures
// a point shows, by a script in the program's own JavaScript world
// (QWebEngineScript::ApplicationWorld): the page's scripts neither see it nor
// change what it reads, and it changes nothing in the document. Its same-origin
// frames and open shadow trees are searched where they stand. Each call answers
// once, on the page's thread.
class PicturePlaces {
public:
    // The first element that uses one of `addresses` (the first with a box, else
    // the first at all), scrolled into the middle of the view. `styled`: the
    // picture is known to be used by a style (a background, ::before...), so
    // the elements' styles are read from the start; else only when no element
    // names it otherwise.
    static void show(QWebEnginePage *page, const QStringList &addresses, bool styled,
                     const std::function<void(const PicturePlace &)> &callback);
    // Where the element last shown lies now; an empty rectangle when it has gone.
    static void measure(QWebEnginePage *page, const std::function<void(const QRectF &)> &callback);
    // Where the first element in the body that uses one of `addresses` starts in
    // the body's markup.
    static void findInMarkup(QWebEnginePage *page, const QStringList &addresses, bool styled,
                             const std::function<void(const MarkupPlace &)> &callback);
    // The pictures shown at a point of the view (CSS pixels), topmost first:
    // img, poster, input and SVG image pictures and the style's pictures (a
    // background, ::before, ::after) of every element there.
    static void picturesAt(QWebEnginePage *page, const QPointF &point,
                           const std::function<void(const QStringList &)> &callback);

    // The line (from 1) at `offset`: the line breaks before it, CR LF, a lone CR
    // and a lone LF each one, and one.
    static int lineAt(QStringView text, qsizetype offset);

    // The script, for a request (a JSON object).
    static QString script(const QString &requestJson);
};
