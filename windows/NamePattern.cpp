#include "windows/NamePattern.h"

#include "windows/FileUtils.h"

#include <QHash>
#include <QRegularExpression>
#include <QUrl>

namespace {

// The address a blob: address stands for ("blob:https://h/uuid": https://h/uuid).
QUrl addressOf(const QString &address)
{
    if (address.startsWith(QLatin1String("blob:"), Qt::CaseInsensitive))
        return QUrl(address.mid(5));
    if (address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return QUrl();
    return QUrl(address);
}

// The start of a file name's extension (its dot), or -1.
qsizetype extensionDot(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || name.size() - dot - 1 > 10 || dot == name.size() - 1)
        return -1;
    for (qsizetype i = dot + 1; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.unicode() >= 0x80 || !c.isLetterOrNumber())
            return -1;
    }
    return dot;
}

QString typeWord(const QString &mimeType)
{
    QString sub = mimeType.section(QLatin1Char(';'), 0, 0).trimmed().toLower().section('/', 1);
    if (sub.isEmpty())
        return QStringLiteral("unknown");
    sub.remove(QLatin1String("+xml"));
    if (sub.startsWith(QLatin1String("x-")))
        sub.remove(0, 2);
    if (sub == QLatin1String("vnd.microsoft.icon"))
        sub = QStringLiteral("icon");
    return sub;
}

// The folders of the address's path.
QStringList pathFolders(const QUrl &url)
{
    if (!url.isValid())
        return {};
    QStringList parts = url.path(QUrl::FullyDecoded).split(QLatin1Char('/'));
    parts.removeLast(); // its file name
    parts.removeAll(QString());
    return parts;
}

QString fieldValue(const QString &field, const NameFields &f)
{
    const QUrl url = addressOf(f.address);
    if (field == QLatin1String("n")) {
        const int width = int(QString::number(std::max(f.count, 1)).size());
        return QStringLiteral("%1").arg(f.n, width, 10, QLatin1Char('0'));
    }
    if (field == QLatin1String("name")) {
        const QString file = url.isValid() ? url.fileName(QUrl::FullyDecoded) : QString();
        const qsizetype dot = extensionDot(file);
        QString stem = dot < 0 ? file : file.left(dot);
        while (stem.endsWith(QLatin1Char('.')) || stem.endsWith(QLatin1Char(' ')))
            stem.chop(1);
        return stem.isEmpty() ? QStringLiteral("picture") : stem;
    }
    if (field == QLatin1String("ext")) {
        const QString known = PictureExtension(f.mimeType);
        if (!known.isEmpty())
            return known;
        const QString file = url.isValid() ? url.fileName(QUrl::FullyDecoded) : QString();
        const qsizetype dot = extensionDot(file);
        return dot < 0 ? QString() : file.mid(dot + 1);
    }
    if (field == QLatin1String("host"))
        return url.host();
    if (field == QLatin1String("alt"))
        return f.alt.simplified().left(NamePattern::maxAltCharacters);
    if (field == QLatin1String("width"))
        return f.size.isValid() ? QString::number(f.size.width()) : QString();
    if (field == QLatin1String("height"))
        return f.size.isValid() ? QString::number(f.size.height()) : QString();
    if (field == QLatin1String("type"))
        return typeWord(f.mimeType);
    return QString();
}

// A folder's name made safe; empty when nothing is left of it.
QString safeFolder(const QString &raw)
{
    QString trimmed = raw;
    while (!trimmed.isEmpty() && (trimmed.front() == QLatin1Char('.') || trimmed.front().isSpace()))
        trimmed.remove(0, 1);
    if (trimmed.trimmed().isEmpty())
        return QString();
    return SafeFileName(trimmed, QString());
}

const QRegularExpression &fieldPattern()
{
    static const QRegularExpression pattern(QStringLiteral("\\{([^{}/\\\\]*)\\}"));
    return pattern;
}

} // namespace

const QStringList &NamePattern::fields()
{
    static const QStringList names = {"n",   "name",  "ext",    "host", "path",
                                      "alt", "width", "height", "type"};
    return names;
}

QStringList NamePattern::unknownFields(const QString &pattern)
{
    QStringList out;
    auto it = fieldPattern().globalMatch(pattern);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (!fields().contains(match.captured(1)) && !out.contains(match.captured(0)))
            out.append(match.captured(0));
    }
    return out;
}

QString NamePattern::apply(const QString &pattern, const NameFields &f, bool keepFolders)
{
    // The path as pieces, split only where the pattern says (or at {path}).
    QStringList pieces = {QString()};
    auto literal = [&pieces](QStringView text) {
        for (const QChar c : text) {
            if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
                pieces.append(QString());
            else
                pieces.last().append(c);
        }
    };
    auto folders = [&pieces](const QStringList &names) {
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (i > 0)
                pieces.append(QString());
            pieces.last().append(names.at(i));
        }
    };
    if (keepFolders) {
        const QUrl url = addressOf(f.address);
        folders(QStringList{url.host()} + pathFolders(url));
        pieces.append(QString());
    }
    qsizetype at = 0;
    auto it = fieldPattern().globalMatch(pattern);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        literal(QStringView(pattern).mid(at, match.capturedStart() - at));
        at = match.capturedEnd();
        const QString field = match.captured(1);
        if (field == QLatin1String("path"))
            folders(pathFolders(addressOf(f.address)));
        else if (fields().contains(field))
            pieces.last().append(fieldValue(field, f)); // a "/" in it is made safe below
        else
            pieces.last().append(match.captured(0));
    }
    literal(QStringView(pattern).mid(at));

    const QString last = pieces.takeLast();
    QStringList kept;
    int bytes = 0;
    for (const QString &piece : pieces) {
        const QString folder = safeFolder(piece);
        if (folder.isEmpty())
            continue;
        const int size = int(folder.toUtf8().size()) + 1;
        if (kept.size() >= maxFolders || bytes + size > maxFolderBytes)
            break;
        kept.append(folder);
        bytes += size;
    }
    kept.append(SafeFileName(last, f.mimeType));
    return kept.join(QLatin1Char('/'));
}

namespace {

// "800w" -> (800, 'w'); "2x", "1.5x" -> density; nothing -> 1x.
struct Descriptor {
    double value = 1;
    char kind = 'x';
};

Descriptor descriptorOf(const QString &candidate)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]+(?:\\.[0-9]+)?)([wxh])$"));
    const qsizetype space = candidate.lastIndexOf(QLatin1Char(' '));
    if (space < 0)
        return {};
    const QRegularExpressionMatch match = form.match(candidate.mid(space + 1).trimmed());
    if (!match.hasMatch())
        return {};
    return {match.captured(1).toDouble(), char(match.captured(2).at(0).toLatin1())};
}

} // namespace

int WidestCandidate(const QList<int> &entries, const QList<InventoryEntry> &pictures,
                    const std::function<int(int entry)> &knownWidth)
{
    if (entries.isEmpty())
        return -1;
    // What the row's candidates say of each address.
    QHash<QString, Descriptor> said;
    for (const int entry : entries) {
        for (const QString &candidate : pictures.at(entry).variants) {
            const qsizetype space = candidate.lastIndexOf(QLatin1Char(' '));
            const QString address = space < 0 ? candidate : candidate.left(space);
            if (!said.contains(address))
                said.insert(address, descriptorOf(candidate));
        }
    }
    auto widthOf = [&](int entry) {
        const Descriptor d = said.value(pictures.at(entry).address);
        return d.kind == 'w' ? d.value : knownWidth ? double(knownWidth(entry)) : -1.0;
    };
    bool anyWidth = false;
    bool anyDensity = false;
    for (const int entry : entries) {
        const auto found = said.constFind(pictures.at(entry).address);
        if (found != said.cend()) {
            anyWidth = anyWidth || found->kind == 'w';
            anyDensity = anyDensity || (found->kind == 'x' && found->value != 1);
        }
    }
    int best = entries.constFirst();
    if (anyWidth || !anyDensity) {
        // By width: the srcset's own words first, then what is known.
        double bestWidth = widthOf(best);
        for (const int entry : entries) {
            if (widthOf(entry) > bestWidth) {
                bestWidth = widthOf(entry);
                best = entry;
            }
        }
        return best;
    }
    double bestDensity = said.value(pictures.at(best).address).value;
    for (const int entry : entries) {
        const Descriptor d = said.value(pictures.at(entry).address);
        if (d.kind == 'x' && d.value > bestDensity) {
            bestDensity = d.value;
            best = entry;
        }
    }
    return best;
}
