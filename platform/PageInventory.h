#pragma once

#include <QList>
#include <QPair>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

class QWebEnginePage;

// One distinct picture of a page, with every place that uses it.
//
// Each address is one entry, listed in document order of its first use: a
// picture named by an img, a srcset candidate, a style rule and a link is one
// entry with four kinds. `uses` counts every place that names it: each element
// attribute (src, each srcset or lazy attribute candidate, poster, href...),
// each computed style of an element or of its ::before / ::after, and each rule
// of a readable style sheet.
//
// The srcset candidates of one img (its own srcset, its picture's sources and
// its lazy srcset attributes) are each an entry of their own (kind srcset,
// source or lazy) and are also grouped as the `variants` of that img's main
// entry: the entry of its src, or without one of the picture it shows, or of
// its first candidate.
// What the live document tells of how a picture was loaded and of the elements
// that use it, for its state and its issues. Every flag is of any element
// using it: one img without alt text sets noAlt.
struct PictureLoad {
    bool fromRule = false; // a style rule names it
    bool inFrame = false;  // first found in a frame's (or an object's) document
    bool loaded = false;   // an img using it has loaded it
    bool waiting = false;  // an img with loading="lazy" has not loaded it yet
    bool lazy = false;     // an img using it has loading="lazy"
    bool lazyInFirstScreen = false;
    bool eagerOffScreen =
        false;           // an img without loading="lazy" outside the first screen (and none in it)
    bool noAlt = false;  // an img or image input using it has no alt attribute
    bool noSize = false; // an img using it has no width or no height
    bool timed = false;  // the engine's timing has an entry for it
    qint64 transferred = -1; // bytes over the network by that entry; 0: from a cache
    qint64 encoded = -1;     // the body's bytes by that entry; 0 when the engine does not say
    // In the markup: it is the src of an img whose lazy attributes name these
    // other pictures (at most 64).
    QStringList placeholderFor;
};

struct InventoryEntry {
    QString address;        // absolute; data: addresses in full
    QString displayAddress; // data: addresses shortened, others as they are
    QStringList kinds;      // in the order of PageInventory::kindOrder()
    int uses = 0;
    QString altText;      // the first non-empty alt or title of the elements using it
    QString element;      // the first place it is used: "img#logo.header", "style .a:hover"
    QSize naturalSize;    // from a loaded img showing it; invalid when unknown
    QSize displayedSize;  // the largest box that shows it; invalid when unknown
    QString mimeType;     // from the data: type, the element's type or the extension
    qint64 bytes = -1;    // -1: unknown
    bool failed = false;  // an img showing it could not load it
    QStringList variants; // "address descriptor" ("…/a-2x.png 2x", "…/a.png 480w")
    PictureLoad load;
};

struct InventoryLink {
    QString text;
    QString address;
    QString target;
    bool isPicture = false;
};

struct Inventory {
    bool valid = false;
    QString error; // why, when not valid

    QString pageAddress;
    QString title;
    QString baseUri;
    QString characterSet;
    QString documentType; // "<!DOCTYPE html>", empty without one
    QString contentType;  // the document's MIME type: "text/html"
    QString renderMode;   // "standards" or "quirks"
    QString lastModified;
    qint64 markupBytes = 0; // UTF-8 bytes of the document's markup as the engine writes it
    int linkCount = 0;
    // Frames (and objects) showing a document of another origin, whose pictures
    // the collector could not list.
    int unreachableFrames = 0;
    // The size of the top document's window when the inventory was taken (its
    // first screen); invalid when it had none. Pixels of the page, and how many
    // pixels of the screen each is.
    QSize firstScreen;
    double devicePixelRatio = 1.0;
    QList<QPair<QString, QString>> metaTags; // name (or property, http-equiv) and content
    QList<InventoryLink> links;              // the top document's and its same-origin frames'
    QList<InventoryEntry> pictures;

    // The pictures whose size in bytes the engine did not know: the ones to ask
    // the server about.
    QList<int> picturesOfUnknownSize() const;
};

// Takes the inventory of the live document of a page, by a script that runs in
// a JavaScript world of its own (not the page's): the page's scripts can
// neither see nor change it, and it runs with the page's scripts turned off.
// It reaches every part of the document it may read: open shadow roots (a
// host's shadow tree right after the host), same-origin frames at any depth and
// the SVG documents of same-origin objects and embeds, each where it stands.
// Frames of other origins cannot be entered; they are counted.
class PageInventory {
public:
    // The isolated world the collector runs in, used by nothing else.
    static constexpr quint32 worldId = 211;

    // Collects and calls back once, on the page's thread (the application's main
    // thread); a long answer is read on a thread of its own meanwhile. When the
    // page goes away or the script fails, the inventory comes back not valid.
    static void collect(QWebEnginePage *page,
                        const std::function<void(const Inventory &)> &callback);

    // The pictures' addresses and kinds only, in the same order, without
    // measuring anything: one line a picture, "address<TAB>kinds" (the kinds
    // comma-separated), with tab, CR, LF, NUL and backslash in the address
    // written as \t, \r, \n, \0 and \\. Calls back once, on the page's thread;
    // `error` is empty when `lines` holds the list.
    static void
    collectList(QWebEnginePage *page,
                const std::function<void(const QString &lines, const QString &error)> &callback);

    // The inventory of a document that nothing but its own markup made (a
    // SavedPage with scripts off): the same pictures, read without computing a
    // style or measuring a box, so several times faster on a large page. Its
    // entries have no sizes, boxes or states.
    static void collectMarkup(QWebEnginePage *page,
                              const std::function<void(const Inventory &)> &callback);

    // The collector script, for the whole inventory or for the list only; or,
    // with `markup`, for a document its markup alone made.
    static QString script(bool list = false, bool markup = false);
    // Reads the collector's answer.
    static Inventory fromJson(const QByteArray &json);

private:
    static void collectWith(QWebEnginePage *page, const QString &source,
                            const std::function<void(const Inventory &)> &callback);

public:
    // The kinds of use, in the order entries list them.
    static const QStringList &kindOrder();
    // data: addresses as "data:image/png;base64,iVBOR… (1.2 KB)"; others unchanged.
    static QString displayAddress(const QString &address);
    // The picture type told by a data: address or a file extension; empty when unknown.
    static QString mimeTypeFor(const QString &address);
    // The content of a data: address, decoded; ok is false when it cannot be
    // (not a data: address, no comma, broken base64).
    static QByteArray dataContent(const QString &address, bool *ok = nullptr);
    // The size of a data: address's content; -1 for other addresses.
    static qint64 dataBytes(const QString &address);
    // "120 bytes", "1.2 KB", "3.4 MB".
    static QString byteText(qint64 bytes);
};
