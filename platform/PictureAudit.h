#pragma once

#include "platform/PageInventory.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

// What is wrong with a picture, each finding with a name that stays (for
// scripts and pipelines) and in plain words (for people):
//   missing-alt           no alt text (a decorative alt="" is fine);
//   missing-size          no width and height: the page jumps as it loads;
//   oversized             served at least twice the shown size in both
//                         dimensions and over 20 KB, with what the right size
//                         would save (scaled and re-encoded in its format);
//   heavy                 over 200 KB;
//   animated-gif          an animated GIF over 100 KB;
//   webp-smaller          a JPEG or PNG over 100 KB that WebP makes at least
//                         25% smaller, measured by encoding it;
//   offscreen-eager       outside the first screen at load, without
//                         loading="lazy";
//   lazy-in-first-screen  loading="lazy" in the first screen;
//   broken                the page or its server could not give it.
// The audit reads only facts at hand and takes well under a millisecond a
// picture. What needs the picture's bytes decoded and encoded again (the
// savings of the right size, whether a GIF is animated, what WebP would
// make) is an Estimate, made by estimate() off the window's thread; the
// audit adds those findings once it is given one.
class PictureAudit {
public:
    enum Kind {
        MissingAlt,
        MissingSize,
        Oversized,
        Heavy,
        AnimatedGif,
        WebpSmaller,
        OffscreenEager,
        LazyInFirstScreen,
        Broken,
    };
    struct Issue {
        Kind kind = Broken;
        QString words;
        qint64 savings = -1; // the bytes that fixing it would save, when known
    };
    // What decoding and encoding a picture's bytes told.
    struct Estimate {
        bool made = false;
        QString problem;            // why it could not be made (too large, not a picture)
        QString format;             // what the bytes are: "jpeg", "png", "gif", "webp", "svg"
        QSize naturalSize;          // of its first frame
        int frames = 0;             // of an animation; 1 for a still picture
        qint64 resizedBytes = -1;   // scaled to the shown size and encoded in its format
        bool resizedByArea = false; // no encoder of its format: scaled by the area instead
        qint64 webpBytes = -1;      // encoded as WebP
    };
    // The facts of one picture that the audit reads: a row's own entry, or of
    // its variants the one the page shows.
    struct Facts {
        QString address;         // of the entry the facts are of
        QString type;            // MIME type
        qint64 bytes = -1;       // its size; -1 while unknown
        QSize naturalSize;       // its own size
        QSize shownSize;         // its box, in pixels of the screen; invalid when not shown
        PictureLoad load;        // of every entry of the picture
        bool usedByPage = false; // shown or to be shown (not only a link, a meta image, an icon)
        bool broken = false;
        QString failure; // why it is broken, when known
    };
    struct Limits {
        qint64 maxBytes = 64 * 1024 * 1024;
        qint64 maxPixels = 24 * 1000 * 1000;
    };

    static constexpr qint64 oversizedBytes = 20 * 1024;
    static constexpr qint64 heavyBytes = 200 * 1024;
    static constexpr qint64 animatedGifBytes = 100 * 1024;
    static constexpr qint64 webpBytes = 100 * 1024;
    // WebP counts when it saves at least this part of the bytes.
    static constexpr double webpGain = 0.25;
    // The quality of the lossy encodes (JPEG and WebP), as sites serve them.
    static constexpr int encodeQuality = 85;

    // "missing-alt", "oversized"...
    static QString name(Kind kind);
    // The kind of a name; false in *ok for any other text.
    static Kind named(const QString &name, bool *ok);
    static QStringList names();

    // The facts of a picture: its main entry and the others it stands for (its
    // variants). The shown one gives the type, size and box; the flags of all
    // count. `devicePixelRatio` turns the box into pixels of the screen.
    static Facts factsOf(const InventoryEntry &main, const QList<const InventoryEntry *> &others,
                         double devicePixelRatio, const QString &failure = QString());
    // Its findings, in the order of Kind; with an estimate, those it tells too.
    static QList<Issue> audit(const Facts &facts, const Estimate *estimate = nullptr);
    // True when an estimate of its bytes could add a finding or its savings.
    static bool wantsEstimate(const Facts &facts);
    // The size a picture of `natural` size scaled to cover `shown` has.
    static QSize targetSize(const QSize &natural, const QSize &shown);

    // Decodes `bytes` and encodes them again: scaled to cover `shownSize` in
    // their own format when they are at least twice as large, and as WebP
    // when they are a JPEG or a PNG over webpBytes. Takes up to seconds for a
    // large picture: never on the window's thread.
    static Estimate estimate(const QByteArray &bytes, const QSize &shownSize, const Limits &limits);
};
