#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

// Writes Windows icon files (an ICO directory of BMP/DIB images) by hand, so
// that every image has exactly the size and colour depth asked for.
class IcoWriter {
public:
    // Adds one image, stored at bitsPerPixel 32, 24 or 8 (8 with a palette).
    void add(const QImage &image, int bitsPerPixel);
    QByteArray bytes() const;
    bool save(const QString &path) const;

private:
    struct Entry {
        int width;
        int height;
        int bitsPerPixel;
        QByteArray dib;
    };
    static QByteArray dib(const QImage &image, int bitsPerPixel);
    QList<Entry> m_entries;
};
