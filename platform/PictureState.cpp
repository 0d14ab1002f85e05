#include "platform/PictureState.h"

#include <algorithm>

PictureState PictureState::of(const InventoryEntry &entry, const QString &failure)
{
    PictureState state;
    const PictureLoad &load = entry.load;
    if (load.timed && !entry.failed) {
        // Less over the network than the body: the cache had it (checked
        // with the server, whose answer was its headers alone).
        if (load.transferred > 0 && load.transferred >= load.encoded)
            state.transferred = load.transferred;
        else if (load.transferred >= 0 && load.encoded > 0)
            state.fromCache = true;
    }
    const bool shownBox = entry.displayedSize.isValid() && !entry.displayedSize.isEmpty();
    if (entry.failed) {
        state.kind = Failed;
        state.failure = failure;
    } else if (load.loaded || load.timed) {
        state.kind = shownBox ? Shown : LoadedNotShown;
    } else if (load.waiting ||
               (!entry.kinds.isEmpty() &&
                std::all_of(entry.kinds.begin(), entry.kinds.end(),
                            [](const QString &kind) { return kind == QLatin1String("lazy"); }))) {
        state.kind = Waiting;
    } else if (shownBox && entry.address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        // The engine keeps no timing of data: pictures; one in a box is there.
        state.kind = Shown;
    } else {
        state.kind = NotLoaded;
    }
    return state;
}

PictureState PictureState::combined(const PictureState &main, const PictureState &variant)
{
    if (main.kind == Failed)
        return main;
    return variant.kind > main.kind ? variant : main;
}

QString PictureState::name() const
{
    switch (kind) {
    case Shown:
        return QStringLiteral("shown");
    case LoadedNotShown:
        return QStringLiteral("loaded");
    case Waiting:
        return QStringLiteral("waiting");
    case Failed:
        return QStringLiteral("failed");
    case NotLoaded:
        break;
    }
    return QStringLiteral("not-loaded");
}

QString PictureState::words(Kind kind)
{
    switch (kind) {
    case Shown:
        return QStringLiteral("shown");
    case LoadedNotShown:
        return QStringLiteral("loaded, not shown");
    case Waiting:
        return QStringLiteral("waiting (lazy)");
    case Failed:
        return QStringLiteral("failed");
    case NotLoaded:
        break;
    }
    return QStringLiteral("not loaded");
}

QString PictureState::text(bool shortly) const
{
    QString out = words(kind);
    if (kind == Failed && !failure.isEmpty())
        out += QStringLiteral(": ") + failure;
    if (fromCache)
        out += QStringLiteral(", from cache");
    else if (transferred > 0)
        out += (shortly ? QStringLiteral(", %1") : QStringLiteral(", %1 transferred"))
                   .arg(PageInventory::byteText(transferred));
    return out;
}
