#pragma once

#include "platform/PageInventory.h"

#include <QString>

// Whether the page loaded a picture, from its live document and the engine's
// own timing entries:
//   shown:            loaded, and some element shows it in a box of its own;
//   loaded, not shown: loaded (a preload, a hidden element, a candidate);
//   waiting (lazy):   an img with loading="lazy", or a lazy attribute's
//                     picture, that nothing has loaded yet;
//   failed:           the page could not load it (with the status, once known);
//   not loaded:       named only (a link, a meta image, a candidate not chosen).
// With the bytes that came over the network for it, or "from cache" when the
// engine's timing says none did; nothing when the engine does not say (a
// picture of another site that does not allow its timing to be read).
struct PictureState {
    enum Kind { NotLoaded, Waiting, Failed, LoadedNotShown, Shown };
    Kind kind = NotLoaded;
    qint64 transferred = -1; // over the network; -1 when not told
    bool fromCache = false;
    QString failure; // "404 Not Found"; empty while unknown

    // The state of one entry; `failure` says why it failed, when it did.
    static PictureState of(const InventoryEntry &entry, const QString &failure = QString());
    // The state of a picture with variants: the furthest along of them, or
    // failed when the main one failed.
    static PictureState combined(const PictureState &main, const PictureState &variant);

    // "shown", "loaded", "waiting", "failed", "not-loaded".
    QString name() const;
    // "shown, 12.3 KB transferred", "shown, from cache", "waiting (lazy)",
    // "failed: 404 Not Found". Short: "shown, 12.3 KB", as a table cell has room for.
    QString text(bool shortly = false) const;
    // The words of the state alone: "loaded, not shown".
    static QString words(Kind kind);
};
