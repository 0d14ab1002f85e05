#include "platform/PageInventory.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>

#include <memory>

namespace {

// A shorter answer is read on the page's thread, at once.
constexpr qsizetype kReadHereChars = 256 * 1024;

QSize sizeOf(const QJsonValue &value)
{
    const QJsonArray pair = value.toArray();
    if (pair.size() != 2)
        return QSize();
    return QSize(pair.at(0).toInt(), pair.at(1).toInt());
}

QStringList stringsOf(const QJsonValue &value)
{
    QStringList out;
    for (const QJsonValue &item : value.toArray())
        out.append(item.toString());
    return out;
}

void readLoad(const QJsonObject &object, PictureLoad &load)
{
    const auto flag = [&object](const char *name) {
        return object.value(QLatin1String(name)).toBool();
    };
    load.fromRule = flag("rule");
    load.inFrame = flag("frame");
    load.loaded = flag("loaded");
    load.waiting = flag("waiting");
    load.lazy = flag("lazy");
    load.lazyInFirstScreen = flag("lazyFirst");
    load.eagerOffScreen = flag("eagerOff");
    load.noAlt = flag("noAlt");
    load.noSize = flag("noSize");
    load.timed = flag("timed");
    if (load.timed) {
        load.transferred = qint64(object.value(QLatin1String("transfer")).toDouble(-1));
        load.encoded = qint64(object.value(QLatin1String("encoded")).toDouble(-1));
    }
    load.placeholderFor = stringsOf(object.value(QLatin1String("placeholder")));
}

} // namespace

QList<int> Inventory::picturesOfUnknownSize() const
{
    QList<int> out;
    for (int i = 0; i < pictures.size(); ++i) {
        if (pictures.at(i).bytes < 0)
            out.append(i);
    }
    return out;
}

const QStringList &PageInventory::kindOrder()
{
    static const QStringList order = {
        QStringLiteral("img"),  QStringLiteral("srcset"), QStringLiteral("source"),
        QStringLiteral("lazy"), QStringLiteral("css"),    QStringLiteral("icon"),
        QStringLiteral("meta"), QStringLiteral("poster"), QStringLiteral("input"),
        QStringLiteral("svg"),  QStringLiteral("object"), QStringLiteral("link")};
    return order;
}

QString PageInventory::script(bool list, bool markup)
{
    // The file is one function of whether to answer the list only.
    static const QString text = [] {
        QFile file(QStringLiteral(":/app/inventory/collect.js"));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(file.readAll());
    }();
    if (text.isEmpty())
        return text;
    if (markup)
        return text + QStringLiteral("(false, true)");
    return text + (list ? QStringLiteral("(true)") : QStringLiteral("(false)"));
}

void PageInventory::collectList(
    QWebEnginePage *page, const std::function<void(const QString &, const QString &)> &callback)
{
    const QString source = script(true);
    if (!page || source.isEmpty()) {
        callback(QString(), page ? QStringLiteral("the collector script is missing")
                                 : QStringLiteral("no page"));
        return;
    }
    QPointer<QWebEnginePage> guard(page);
    page->runJavaScript(source, worldId, [guard, callback](const QVariant &result) {
        if (!guard || result.typeId() != QMetaType::QString) {
            callback(QString(), guard ? QStringLiteral("the collector gave no answer")
                                      : QStringLiteral("the page went away"));
            return;
        }
        callback(result.toString(), QString());
    });
}

void PageInventory::collect(QWebEnginePage *page,
                            const std::function<void(const Inventory &)> &callback)
{
    collectWith(page, script(), callback);
}

void PageInventory::collectMarkup(QWebEnginePage *page,
                                  const std::function<void(const Inventory &)> &callback)
{
    collectWith(page, script(false, true), callback);
}

void PageInventory::collectWith(QWebEnginePage *page, const QString &source,
                                const std::function<void(const Inventory &)> &callback)
{
    if (!page || source.isEmpty()) {
        Inventory failed;
        failed.error =
            page ? QStringLiteral("the collector script is missing") : QStringLiteral("no page");
        callback(failed);
        return;
    }
    QPointer<QWebEnginePage> guard(page);
    page->runJavaScript(source, worldId, [guard, callback](const QVariant &result) {
        if (!guard || result.typeId() != QMetaType::QString) {
            Inventory failed;
            failed.error = guard ? QStringLiteral("the collector gave no answer")
                                 : QStringLiteral("the page went away");
            callback(failed);
            return;
        }
        const QString answer = result.toString();
        if (answer.size() < kReadHereChars) {
            callback(fromJson(answer.toUtf8()));
            return;
        }
        // The answer of a page of many pictures takes a while to read: not on
        // the page's thread, which draws the windows.
        auto inventory = std::make_shared<Inventory>();
        QThread *reader =
            QThread::create([inventory, answer] { *inventory = fromJson(answer.toUtf8()); });
        QObject::connect(reader, &QThread::finished, QCoreApplication::instance(),
                         [reader, inventory, callback] {
                             reader->deleteLater();
                             callback(*inventory);
                         });
        reader->start();
    });
}

Inventory PageInventory::fromJson(const QByteArray &json)
{
    Inventory inventory;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        inventory.error =
            QStringLiteral("the collector's answer cannot be read: %1").arg(error.errorString());
        return inventory;
    }
    const QJsonObject root = document.object();
    inventory.pageAddress = root.value(QLatin1String("pageAddress")).toString();
    inventory.title = root.value(QLatin1String("title")).toString();
    inventory.baseUri = root.value(QLatin1String("baseUri")).toString();
    inventory.characterSet = root.value(QLatin1String("characterSet")).toString();
    inventory.documentType = root.value(QLatin1String("documentType")).toString();
    inventory.contentType = root.value(QLatin1String("contentType")).toString();
    inventory.renderMode = root.value(QLatin1String("renderMode")).toString();
    inventory.lastModified = root.value(QLatin1String("lastModified")).toString();
    inventory.markupBytes = qint64(root.value(QLatin1String("markupBytes")).toDouble());
    inventory.linkCount = root.value(QLatin1String("linkCount")).toInt();
    inventory.unreachableFrames = root.value(QLatin1String("unreachableFrames")).toInt();
    inventory.firstScreen = sizeOf(root.value(QLatin1String("firstScreen")));
    inventory.devicePixelRatio = root.value(QLatin1String("devicePixelRatio")).toDouble(1.0);
    if (inventory.devicePixelRatio <= 0)
        inventory.devicePixelRatio = 1.0;
    for (const QJsonValue &pair : root.value(QLatin1String("metaTags")).toArray()) {
        const QJsonArray items = pair.toArray();
        inventory.metaTags.append({items.at(0).toString(), items.at(1).toString()});
    }
    for (const QJsonValue &value : root.value(QLatin1String("links")).toArray()) {
        const QJsonObject object = value.toObject();
        InventoryLink link;
        link.text = object.value(QLatin1String("text")).toString();
        link.address = object.value(QLatin1String("address")).toString();
        link.target = object.value(QLatin1String("target")).toString();
        link.isPicture = object.value(QLatin1String("picture")).toBool();
        inventory.links.append(link);
    }
    for (const QJsonValue &value : root.value(QLatin1String("pictures")).toArray()) {
        const QJsonObject object = value.toObject();
        InventoryEntry entry;
        entry.address = object.value(QLatin1String("address")).toString();
        entry.displayAddress = displayAddress(entry.address);
        entry.kinds = stringsOf(object.value(QLatin1String("kinds")));
        entry.uses = object.value(QLatin1String("uses")).toInt();
        entry.altText = object.value(QLatin1String("alt")).toString();
        entry.element = object.value(QLatin1String("element")).toString();
        entry.naturalSize = sizeOf(object.value(QLatin1String("natural")));
        entry.displayedSize = sizeOf(object.value(QLatin1String("displayed")));
        entry.mimeType = object.value(QLatin1String("type")).toString();
        if (entry.mimeType.isEmpty())
            entry.mimeType = mimeTypeFor(entry.address);
        entry.failed = object.value(QLatin1String("failed")).toBool();
        entry.bytes = dataBytes(entry.address);
        if (entry.bytes < 0) {
            const double bytes = object.value(QLatin1String("bytes")).toDouble(-1);
            entry.bytes = bytes > 0 ? qint64(bytes) : -1;
        }
        entry.variants = stringsOf(object.value(QLatin1String("variants")));
        readLoad(object, entry.load);
        inventory.pictures.append(entry);
    }
    inventory.valid = true;
    return inventory;
}

QByteArray PageInventory::dataContent(const QString &address, bool *ok)
{
    const qsizetype comma = address.indexOf(QLatin1Char(','));
    const bool isData = address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
    if (ok)
        *ok = isData && comma >= 0;
    if (!isData || comma < 0)
        return {};
    const QStringView header = QStringView(address).mid(5, comma - 5);
    const QByteArray payload = QByteArray::fromPercentEncoding(address.mid(comma + 1).toUtf8());
    if (!header.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive))
        return payload;
    const auto decoded = QByteArray::fromBase64Encoding(payload.trimmed());
    if (ok)
        *ok = bool(decoded);
    return decoded.decoded;
}

qint64 PageInventory::dataBytes(const QString &address)
{
    if (!address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return -1;
    const qsizetype comma = address.indexOf(QLatin1Char(','));
    if (comma < 0)
        return -1;
    const QStringView header = QStringView(address).mid(5, comma - 5);
    const QStringView payload = QStringView(address).mid(comma + 1);
    if (header.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)) {
        // Six bits a character; padding and spaces carry none.
        qint64 characters = 0;
        for (const QChar c : payload) {
            if (c.isLetterOrNumber() || c == QLatin1Char('+') || c == QLatin1Char('/') ||
                c == QLatin1Char('-') || c == QLatin1Char('_'))
                ++characters;
        }
        return characters * 6 / 8;
    }
    return QByteArray::fromPercentEncoding(payload.toUtf8()).size();
}

QString PageInventory::byteText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

QString PageInventory::displayAddress(const QString &address)
{
    if (!address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return address;
    const qsizetype comma = address.indexOf(QLatin1Char(','));
    // The type and the first characters of the content are enough to tell it.
    const qsizetype shown = 5;
    if (comma < 0 || address.size() - comma - 1 <= shown)
        return address;
    return address.left(comma + 1 + shown) + QChar(0x2026) + QStringLiteral(" (") +
           byteText(dataBytes(address)) + QLatin1Char(')');
}

QString PageInventory::mimeTypeFor(const QString &address)
{
    if (address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        const qsizetype end = address.indexOf(QRegularExpression(QStringLiteral("[;,]")), 5);
        return end > 5 ? address.mid(5, end - 5).toLower() : QString();
    }
    const QString path = QUrl(address).path();
    const QString suffix = path.mid(path.lastIndexOf(QLatin1Char('.')) + 1).toLower();
    if (path.lastIndexOf(QLatin1Char('.')) < path.lastIndexOf(QLatin1Char('/')))
        return QString();
    static const QHash<QString, QString> types = {
        {QStringLiteral("bmp"), QStringLiteral("image/bmp")},
        {QStringLiteral("gif"), QStringLiteral("image/gif")},
        {QStringLiteral("jpg"), QStringLiteral("image/jpeg")},
        {QStringLiteral("jpeg"), QStringLiteral("image/jpeg")},
        {QStringLiteral("jpe"), QStringLiteral("image/jpeg")},
        {QStringLiteral("png"), QStringLiteral("image/png")},
        {QStringLiteral("apng"), QStringLiteral("image/apng")},
        {QStringLiteral("webp"), QStringLiteral("image/webp")},
        {QStringLiteral("svg"), QStringLiteral("image/svg+xml")},
        {QStringLiteral("avif"), QStringLiteral("image/avif")},
        {QStringLiteral("ico"), QStringLiteral("image/vnd.microsoft.icon")},
        {QStringLiteral("tif"), QStringLiteral("image/tiff")},
        {QStringLiteral("tiff"), QStringLiteral("image/tiff")},
        {QStringLiteral("jxl"), QStringLiteral("image/jxl")},
    };
    return types.value(suffix);
}
