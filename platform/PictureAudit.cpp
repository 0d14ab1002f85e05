#include "platform/PictureAudit.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <cmath>

namespace {

const char *const kNames[] = {"missing-alt",     "missing-size",         "oversized",
                              "heavy",           "animated-gif",         "webp-smaller",
                              "offscreen-eager", "lazy-in-first-screen", "broken"};

QString sizeText(const QSize &size)
{
    return QStringLiteral("%1 \u00d7 %2").arg(size.width()).arg(size.height());
}

QString bytesText(qint64 bytes)
{
    return PageInventory::byteText(bytes);
}

bool vector(const QString &type)
{
    return type.startsWith(QLatin1String("image/svg"), Qt::CaseInsensitive);
}

// Twice the shown size in both dimensions, at least.
bool twiceShown(const QSize &natural, const QSize &shown)
{
    return natural.isValid() && shown.isValid() && !shown.isEmpty() &&
           natural.width() >= 2 * shown.width() && natural.height() >= 2 * shown.height();
}

qint64 encodedSize(const QImage &image, const char *format, int quality)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.write(image))
        return -1;
    return buffer.data().size();
}

// Kinds that show a picture, or will once loaded.
bool usedKind(const QString &kind)
{
    return kind != QLatin1String("link") && kind != QLatin1String("meta") &&
           kind != QLatin1String("icon");
}

} // namespace

QString PictureAudit::name(Kind kind)
{
    return QString::fromLatin1(kNames[int(kind)]);
}

PictureAudit::Kind PictureAudit::named(const QString &name, bool *ok)
{
    for (int i = 0; i < int(std::size(kNames)); ++i) {
        if (name == QLatin1String(kNames[i])) {
            if (ok)
                *ok = true;
            return Kind(i);
        }
    }
    if (ok)
        *ok = false;
    return Broken;
}

QStringList PictureAudit::names()
{
    QStringList out;
    for (const char *name : kNames)
        out.append(QString::fromLatin1(name));
    return out;
}

QSize PictureAudit::targetSize(const QSize &natural, const QSize &shown)
{
    if (!natural.isValid() || natural.isEmpty() || !shown.isValid() || shown.isEmpty())
        return {};
    const double scale = std::max(double(shown.width()) / natural.width(),
                                  double(shown.height()) / natural.height());
    return QSize(std::max(1, int(std::ceil(natural.width() * scale))),
                 std::max(1, int(std::ceil(natural.height() * scale))));
}

PictureAudit::Facts PictureAudit::factsOf(const InventoryEntry &main,
                                          const QList<const InventoryEntry *> &others,
                                          double devicePixelRatio, const QString &failure)
{
    // The entry the page shows: the first with a box, loaded ones first.
    const InventoryEntry *shown = nullptr;
    const auto hasBox = [](const InventoryEntry *e) {
        return e->displayedSize.isValid() && !e->displayedSize.isEmpty();
    };
    QList<const InventoryEntry *> all{&main};
    all.append(others);
    for (const InventoryEntry *e : all) {
        if (hasBox(e) && (e->load.loaded || e->load.timed)) {
            shown = e;
            break;
        }
    }
    for (const InventoryEntry *e : all) {
        if (!shown && hasBox(e))
            shown = e;
    }
    Facts facts;
    const InventoryEntry &chosen = shown ? *shown : main;
    facts.address = chosen.address;
    facts.type = chosen.mimeType;
    facts.bytes = chosen.bytes;
    facts.naturalSize = chosen.naturalSize;
    if (hasBox(&chosen)) {
        const double ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
        facts.shownSize = QSize(int(std::lround(chosen.displayedSize.width() * ratio)),
                                int(std::lround(chosen.displayedSize.height() * ratio)));
    }
    for (const InventoryEntry *e : all) {
        PictureLoad &load = facts.load;
        load.fromRule |= e->load.fromRule;
        load.loaded |= e->load.loaded;
        load.waiting |= e->load.waiting;
        load.lazy |= e->load.lazy;
        load.lazyInFirstScreen |= e->load.lazyInFirstScreen;
        load.eagerOffScreen |= e->load.eagerOffScreen;
        load.noAlt |= e->load.noAlt;
        load.noSize |= e->load.noSize;
        load.timed |= e->load.timed;
    }
    facts.load.inFrame = main.load.inFrame;
    facts.usedByPage = std::any_of(chosen.kinds.begin(), chosen.kinds.end(), usedKind);
    facts.broken = main.failed;
    facts.failure = failure;
    return facts;
}

bool PictureAudit::wantsEstimate(const Facts &facts)
{
    if (!facts.usedByPage || facts.broken || vector(facts.type))
        return false;
    // The type may still be the name's: the estimate reads the bytes.
    const bool large = facts.bytes < 0 || facts.bytes > webpBytes;
    const bool oversized =
        (facts.bytes < 0 || facts.bytes > oversizedBytes) && facts.shownSize.isValid() &&
        (!facts.naturalSize.isValid() || twiceShown(facts.naturalSize, facts.shownSize));
    return oversized || large;
}

QList<PictureAudit::Issue> PictureAudit::audit(const Facts &facts, const Estimate *estimate)
{
    QList<Issue> out;
    const auto add = [&out](Kind kind, const QString &words, qint64 savings = -1) {
        out.append(Issue{kind, words, savings});
    };
    const PictureLoad &load = facts.load;
    if (load.noAlt)
        add(MissingAlt, QStringLiteral("no alt text"));
    if (load.noSize)
        add(MissingSize, QStringLiteral("no width and height: the page jumps as it loads"));

    const bool weighed = facts.usedByPage && !facts.broken;
    const QSize natural =
        estimate && estimate->naturalSize.isValid() && !facts.naturalSize.isValid()
            ? estimate->naturalSize
            : facts.naturalSize;
    if (weighed && facts.bytes > oversizedBytes && !vector(facts.type) &&
        twiceShown(natural, facts.shownSize)) {
        QString words =
            QStringLiteral("served at %1 for %2").arg(sizeText(natural), sizeText(facts.shownSize));
        qint64 savings = -1;
        if (estimate && estimate->made && estimate->resizedBytes >= 0) {
            savings = std::max<qint64>(0, facts.bytes - estimate->resizedBytes);
            words += QStringLiteral(": the right size would save about %1").arg(bytesText(savings));
        } else if (estimate && !estimate->problem.isEmpty()) {
            words += QStringLiteral(" (no estimate: %1)").arg(estimate->problem);
        } else {
            words += QStringLiteral(" (estimating what the right size would save\u2026)");
        }
        add(Oversized, words, savings);
    }
    if (weighed && facts.bytes > heavyBytes)
        add(Heavy, QStringLiteral("heavy: %1").arg(bytesText(facts.bytes)));
    if (weighed && estimate && estimate->made && estimate->format == QLatin1String("gif") &&
        estimate->frames > 1 && facts.bytes > animatedGifBytes)
        add(AnimatedGif, QStringLiteral("an animated GIF of %1: a video or WebP would be smaller")
                             .arg(bytesText(facts.bytes)));
    if (weighed && estimate && estimate->made && estimate->webpBytes >= 0 &&
        facts.bytes > webpBytes &&
        (estimate->format == QLatin1String("jpeg") || estimate->format == QLatin1String("png")) &&
        double(estimate->webpBytes) <= double(facts.bytes) * (1.0 - webpGain)) {
        const qint64 savings = facts.bytes - estimate->webpBytes;
        add(WebpSmaller,
            QStringLiteral("WebP would make it %1% smaller (%2 less)")
                .arg(int(std::floor(100.0 * double(savings) / double(facts.bytes))))
                .arg(bytesText(savings)),
            savings);
    }
    // How a picture that is not there is loaded matters little.
    if (load.eagerOffScreen && !facts.broken)
        add(OffscreenEager, QStringLiteral("off screen at load, without loading=\"lazy\""));
    if (load.lazyInFirstScreen && !facts.broken)
        add(LazyInFirstScreen, QStringLiteral("lazy, but in the first screen"));
    if (facts.broken)
        add(Broken, facts.failure.isEmpty() ? QStringLiteral("broken")
                                            : QStringLiteral("broken: %1").arg(facts.failure));
    return out;
}

PictureAudit::Estimate PictureAudit::estimate(const QByteArray &bytes, const QSize &shownSize,
                                              const Limits &limits)
{
    Estimate out;
    if (bytes.size() > limits.maxBytes) {
        out.problem = QStringLiteral("larger than %1").arg(bytesText(limits.maxBytes));
        return out;
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    out.format = QString::fromLatin1(reader.format()).toLower();
    if (out.format.isEmpty()) {
        out.problem = QStringLiteral("not a picture");
        return out;
    }
    if (out.format == QLatin1String("svg") || out.format == QLatin1String("svgz")) {
        out.made = true; // drawn at any size: nothing to estimate
        return out;
    }
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > limits.maxPixels) {
        out.problem = size.isValid() ? QStringLiteral("too large to estimate")
                                     : QStringLiteral("its size cannot be read");
        return out;
    }
    out.naturalSize = size;
    out.frames = reader.supportsAnimation() ? std::max(1, reader.imageCount()) : 1;
    QImage image = reader.read();
    if (image.isNull()) {
        out.problem = reader.errorString();
        return out;
    }
    const QByteArray format = out.format.toLatin1();
    if (twiceShown(size, shownSize)) {
        const QSize target = targetSize(size, shownSize);
        const QImage scaled = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const bool lossy = format == "jpeg" || format == "webp";
        const bool writable = QImageWriter::supportedImageFormats().contains(format) &&
                              format != "gif" && !(out.frames > 1);
        if (writable)
            out.resizedBytes = encodedSize(scaled, format.constData(), lossy ? encodeQuality : -1);
        if (out.resizedBytes < 0) {
            // No encoder of its own format (a GIF): by the area.
            out.resizedBytes = qint64(double(bytes.size()) * target.width() * target.height() /
                                      (double(size.width()) * size.height()));
            out.resizedByArea = true;
        }
    }
    if ((format == "jpeg" || format == "png") && bytes.size() > webpBytes) {
        if (image.format() != QImage::Format_ARGB32 && image.format() != QImage::Format_RGB32)
            image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                  : QImage::Format_RGB32);
        out.webpBytes = encodedSize(image, "webp", encodeQuality);
    }
    out.made = true;
    return out;
}
