#include "tools/art/IcoWriter.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <climits>

namespace {

void put16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void put32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

// Rows of a DIB are padded to a multiple of four bytes.
int stride(int width, int bitsPerPixel)
{
    return ((width * bitsPerPixel + 31) / 32) * 4;
}

// The AND mask: one bit per pixel, set where the icon is transparent.
QByteArray andMask(const QImage &argb)
{
    const int rowBytes = stride(argb.width(), 1);
    QByteArray mask;
    for (int y = argb.height() - 1; y >= 0; --y) {
        QByteArray row(rowBytes, 0);
        const QRgb *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) < 128)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        mask.append(row);
    }
    return mask;
}

// A palette of at most `colours` entries for the visible pixels of an image,
// by median cut: split the box of pixels with the widest channel range at its
// median until there are enough boxes, then average each box.
QList<QRgb> medianCut(const QImage &argb, int colours)
{
    QList<QRgb> pixels;
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) >= 128)
                pixels.append(line[x]);
        }
    }
    auto channel = [](QRgb p, int c) { return c == 0 ? qRed(p) : c == 1 ? qGreen(p) : qBlue(p); };
    // The widest channel of a box and its range.
    auto widest = [&](const QList<QRgb> &box, int &which) {
        int best = -1;
        for (int c = 0; c < 3; ++c) {
            int lo = 255;
            int hi = 0;
            for (QRgb p : box) {
                lo = qMin(lo, channel(p, c));
                hi = qMax(hi, channel(p, c));
            }
            if (hi - lo > best) {
                best = hi - lo;
                which = c;
            }
        }
        return best;
    };
    QList<QList<QRgb>> boxes{pixels};
    while (boxes.size() < colours) {
        int pick = -1;
        int pickChannel = 0;
        int pickRange = 0;
        for (int i = 0; i < boxes.size(); ++i) {
            int c = 0;
            const int range = boxes[i].size() > 1 ? widest(boxes[i], c) : 0;
            if (range > pickRange) {
                pick = i;
                pickRange = range;
                pickChannel = c;
            }
        }
        if (pick < 0)
            break;
        QList<QRgb> box = boxes.takeAt(pick);
        std::sort(box.begin(), box.end(), [&](QRgb a, QRgb b) {
            return channel(a, pickChannel) < channel(b, pickChannel);
        });
        const qsizetype half = box.size() / 2;
        boxes.append(box.mid(0, half));
        boxes.append(box.mid(half));
    }
    QList<QRgb> table;
    for (const QList<QRgb> &box : boxes) {
        if (box.isEmpty())
            continue;
        qint64 r = 0;
        qint64 g = 0;
        qint64 b = 0;
        for (QRgb p : box) {
            r += qRed(p);
            g += qGreen(p);
            b += qBlue(p);
        }
        const qint64 n = box.size();
        table.append(qRgb(int(r / n), int(g / n), int(b / n)));
    }
    return table;
}

// The palette entry nearest to a colour, never entry 0 (kept for the mask).
int nearest(const QList<QRgb> &table, QRgb pixel)
{
    int best = 1;
    int bestDistance = INT_MAX;
    for (int i = 1; i < table.size(); ++i) {
        const int dr = qRed(table[i]) - qRed(pixel);
        const int dg = qGreen(table[i]) - qGreen(pixel);
        const int db = qBlue(table[i]) - qBlue(pixel);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

} // namespace

void IcoWriter::add(const QImage &image, int bitsPerPixel)
{
    m_entries.append({image.width(), image.height(), bitsPerPixel, dib(image, bitsPerPixel)});
}

QByteArray IcoWriter::dib(const QImage &image, int bitsPerPixel)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const int w = argb.width();
    const int h = argb.height();

    QByteArray out;
    // BITMAPINFOHEADER; the height counts the colour rows and the mask rows.
    put32(out, 40);
    put32(out, quint32(w));
    put32(out, quint32(h * 2));
    put16(out, 1);
    put16(out, quint16(bitsPerPixel));
    put32(out, 0); // BI_RGB
    put32(out, quint32((stride(w, bitsPerPixel) + stride(w, 1)) * h));
    put32(out, 0);
    put32(out, 0);
    put32(out, bitsPerPixel == 8 ? 256 : 0);
    put32(out, 0);

    if (bitsPerPixel == 8) {
        // A palette made for this image from its visible pixels; the
        // transparent ones are masked out and get index 0.
        QList<QRgb> table = medianCut(argb, 255);
        table.prepend(qRgb(0, 0, 0));
        while (table.size() < 256)
            table.append(qRgb(0, 0, 0));
        for (int i = 0; i < 256; ++i) {
            out.append(char(qBlue(table[i])));
            out.append(char(qGreen(table[i])));
            out.append(char(qRed(table[i])));
            out.append(char(0));
        }
        QImage indexed(w, h, QImage::Format_Indexed8);
        for (int y = 0; y < h; ++y) {
            const QRgb *src = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
            uchar *dst = indexed.scanLine(y);
            for (int x = 0; x < w; ++x)
                dst[x] = qAlpha(src[x]) < 128 ? 0 : uchar(nearest(table, src[x]));
        }
        const int rowBytes = stride(w, 8);
        for (int y = h - 1; y >= 0; --y) {
            QByteArray row(rowBytes, 0);
            const uchar *line = indexed.constScanLine(y);
            for (int x = 0; x < w; ++x)
                row[x] = char(line[x]);
            out.append(row);
        }
    } else {
        const int bytesPerPixel = bitsPerPixel / 8;
        const int rowBytes = stride(w, bitsPerPixel);
        for (int y = h - 1; y >= 0; --y) {
            QByteArray row(rowBytes, 0);
            const QRgb *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                const QRgb p = line[x];
                const bool hidden = bitsPerPixel == 24 && qAlpha(p) < 128;
                row[x * bytesPerPixel + 0] = char(hidden ? 0 : qBlue(p));
                row[x * bytesPerPixel + 1] = char(hidden ? 0 : qGreen(p));
                row[x * bytesPerPixel + 2] = char(hidden ? 0 : qRed(p));
                if (bytesPerPixel == 4)
                    row[x * 4 + 3] = char(qAlpha(p));
            }
            out.append(row);
        }
    }
    out.append(andMask(argb));
    return out;
}

QByteArray IcoWriter::bytes() const
{
    QByteArray out;
    put16(out, 0);
    put16(out, 1); // an icon, not a cursor
    put16(out, quint16(m_entries.size()));
    quint32 offset = 6 + 16 * quint32(m_entries.size());
    for (const Entry &e : m_entries) {
        out.append(char(e.width >= 256 ? 0 : e.width));
        out.append(char(e.height >= 256 ? 0 : e.height));
        out.append(char(0)); // colour count: 0 for 256 colours and more
        out.append(char(0));
        put16(out, 1);
        put16(out, quint16(e.bitsPerPixel));
        put32(out, quint32(e.dib.size()));
        put32(out, offset);
        offset += quint32(e.dib.size());
    }
    for (const Entry &e : m_entries)
        out.append(e.dib);
    return out;
}

bool IcoWriter::save(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes()) >= 0;
}
