#pragma once

// Pictures crafted as a hostile page serves them: a few bytes on the wire
// whose headers promise a picture far larger than they are worth decoding.
// Shared by the tests and the benchmarks of the thumbnailer.

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <limits>

namespace crafted {

inline quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline QByteArray bigEndian(quint32 value)
{
    QByteArray out(4, 0);
    for (int i = 0; i < 4; ++i)
        out[i] = char(value >> (24 - 8 * i));
    return out;
}

inline QByteArray littleEndian(quint32 value, int bytes)
{
    QByteArray out(bytes, 0);
    for (int i = 0; i < bytes; ++i)
        out[i] = char(value >> (8 * i));
    return out;
}

inline QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    return bigEndian(quint32(data.size())) + type + data + bigEndian(crc32(type + data));
}

// A grey PNG of zeros, width × height, of `bits` a pixel (1 or 8): its rows
// compress to almost nothing. With `rows` < height the picture stops early,
// as a crafted one does.
inline QByteArray greyPng(quint32 width, quint32 height, int bits = 8,
                          quint32 rows = std::numeric_limits<quint32>::max())
{
    rows = qMin(rows, height);
    const QByteArray header =
        bigEndian(width) + bigEndian(height) + char(bits) + QByteArray("\0\0\0\0", 4);
    const QByteArray pixels(qsizetype(rows) * ((qsizetype(width) * bits + 7) / 8 + 1), 0);
    return QByteArray("\x89PNG\r\n\x1a\n") + pngChunk("IHDR", header) +
           pngChunk("IDAT", qCompress(pixels, 9).mid(4)) + pngChunk("IEND", {});
}

inline QByteArray riffChunk(const QByteArray &type, const QByteArray &data)
{
    return type + littleEndian(quint32(data.size()), 4) + data + (data.size() % 2 ? "\0" : "");
}

// A lossless WebP whose header says width × height, with almost no data.
inline QByteArray stillWebp(quint32 width, quint32 height)
{
    const quint32 bits = (width - 1) | ((height - 1) << 14) | (1u << 28);
    const QByteArray vp8l = QByteArray("\x2f", 1) + littleEndian(bits, 4) + QByteArray(16, 0);
    return "RIFF" + littleEndian(quint32(4 + 8 + vp8l.size()), 4) + "WEBP" + "VP8L" +
           littleEndian(quint32(vp8l.size()), 4) + vp8l;
}

// An animated WebP whose canvas is side × side, with one frame of 1 × 1: its
// decoder makes the whole canvas before the first frame.
inline QByteArray animatedWebp(int side)
{
    QImage dot(1, 1, QImage::Format_ARGB32);
    dot.fill(Qt::red);
    QByteArray still;
    QBuffer buffer(&still);
    buffer.open(QIODevice::WriteOnly);
    dot.save(&buffer, "webp", 100); // 100: lossless, one VP8L chunk
    const QByteArray frame = still.mid(12);
    const QByteArray vp8x = QByteArray("\x12\0\0\0", 4) + littleEndian(quint32(side - 1), 3) +
                            littleEndian(quint32(side - 1), 3);
    const QByteArray anim = littleEndian(0, 4) + littleEndian(0, 2);
    const QByteArray anmf = littleEndian(0, 3) + littleEndian(0, 3) + littleEndian(0, 3) +
                            littleEndian(0, 3) + littleEndian(100, 3) + QByteArray(1, 0) + frame;
    const QByteArray body =
        "WEBP" + riffChunk("VP8X", vp8x) + riffChunk("ANIM", anim) + riffChunk("ANMF", anmf);
    return "RIFF" + littleEndian(quint32(body.size()), 4) + body;
}

} // namespace crafted
