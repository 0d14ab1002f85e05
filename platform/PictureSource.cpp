#include "platform/PictureSource.h"

#include <QHash>
#include <QSet>

namespace {

// Kinds that name a picture the page may never show: a lazy attribute waits
// for a script, a link for a click.
bool candidateKind(const QString &kind)
{
    return kind == QLatin1String("lazy") || kind == QLatin1String("link");
}

bool onlyCandidates(const InventoryEntry &entry)
{
    for (const QString &kind : entry.kinds) {
        if (!candidateKind(kind))
            return false;
    }
    return true;
}

bool onlyStyle(const InventoryEntry &entry)
{
    return entry.kinds.size() == 1 && entry.kinds.constFirst() == QLatin1String("css") &&
           entry.load.fromRule;
}

} // namespace

QString PictureSource::name(Kind kind)
{
    switch (kind) {
    case Markup:
        return QStringLiteral("markup");
    case Script:
        return QStringLiteral("script");
    case Style:
        return QStringLiteral("style");
    case Placeholder:
        return QStringLiteral("placeholder");
    case Unknown:
        break;
    }
    return {};
}

PictureSource::Kind PictureSource::named(const QString &name)
{
    for (const Kind kind : {Markup, Script, Style, Placeholder}) {
        if (PictureSource::name(kind) == name)
            return kind;
    }
    return Unknown;
}

QString PictureSource::countWords(Kind kind, int count)
{
    switch (kind) {
    case Markup:
        return QStringLiteral("%1 in the markup").arg(count);
    case Script:
        return QStringLiteral("%1 added by scripts").arg(count);
    case Style:
        return QStringLiteral("%1 only in style sheets").arg(count);
    case Placeholder:
        return count == 1 ? QStringLiteral("1 lazy placeholder")
                          : QStringLiteral("%1 lazy placeholders").arg(count);
    case Unknown:
        break;
    }
    return QStringLiteral("%1 of unknown source").arg(count);
}

QList<PictureSource::Kind> PictureSource::compare(const Inventory &live, const Inventory &served)
{
    QHash<QString, int> servedAt;
    servedAt.reserve(served.pictures.size());
    for (int i = 0; i < served.pictures.size(); ++i)
        servedAt.insert(served.pictures.at(i).address, i);
    // The live pictures that something shows: a lazy attribute's picture
    // found here was put in place.
    QSet<QString> shownLive;
    for (const InventoryEntry &entry : live.pictures) {
        if (!onlyCandidates(entry))
            shownLive.insert(entry.address);
    }

    QList<Kind> out;
    out.reserve(live.pictures.size());
    for (const InventoryEntry &entry : live.pictures) {
        const int at = servedAt.value(entry.address, -1);
        const InventoryEntry *s = at >= 0 ? &served.pictures.at(at) : nullptr;
        if (onlyStyle(entry)) {
            out.append(Style);
            continue;
        }
        if (s && !s->load.placeholderFor.isEmpty()) {
            bool swapped = false;
            for (const QString &real : s->load.placeholderFor) {
                if (shownLive.contains(real)) {
                    swapped = true;
                    break;
                }
            }
            if (swapped) {
                out.append(Placeholder);
                continue;
            }
        }
        if (!s) {
            // A frame's own markup is not at hand.
            out.append(entry.load.inFrame ? Unknown : Script);
            continue;
        }
        // Only named by a lazy attribute in the markup, shown now: a script
        // put it there.
        if (onlyCandidates(*s) && !onlyCandidates(entry))
            out.append(Script);
        else
            out.append(Markup);
    }
    return out;
}
