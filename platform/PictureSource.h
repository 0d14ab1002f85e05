#pragma once

#include "platform/PageInventory.h"

#include <QList>
#include <QString>

// Where a picture of the live document came from, told by comparing the live
// document's inventory with the inventory of the markup the server sent, read
// with scripts off:
//   markup:      in the served markup;
//   script:      added or changed by the page's scripts (a lazy attribute's
//                picture that a script put in place counts here);
//   style:       found only in style sheets;
//   placeholder: the img source of a lazy placeholder, swapped for the real
//                picture that its lazy attribute named.
// Pictures first found in a frame are compared only with what the served
// markup holds of its own frames (srcdoc); others stay unknown.
class PictureSource {
public:
    enum Kind { Unknown, Markup, Script, Style, Placeholder };

    // "markup", "script", "style", "placeholder"; empty for Unknown.
    static QString name(Kind kind);
    // The kind of a name; Unknown for any other text.
    static Kind named(const QString &name);
    // The words of a count, as General gives them: "40 in the markup",
    // "18 added by scripts", "3 only in style sheets", "2 lazy placeholders".
    static QString countWords(Kind kind, int count);

    // The source of each picture of `live`, in its order.
    static QList<Kind> compare(const Inventory &live, const Inventory &served);
};
