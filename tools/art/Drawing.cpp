#include "tools/art/Drawing.h"

#include "tools/art/Palette.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace drawing {

namespace {

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void smooth(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QLinearGradient vertical(qreal top, qreal bottom, const QColor &a, const QColor &b)
{
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    return g;
}

// A pen one device pixel wide whatever the painter's scale.
QPen hairline(const QColor &colour)
{
    QPen pen(colour);
    pen.setCosmetic(true);
    pen.setWidthF(1.0);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

QPolygonF polygon(std::initializer_list<QPointF> points)
{
    return QPolygonF(QList<QPointF>(points));
}

QImage greyed(const QImage &image)
{
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const int g = qGray(line[x]);
            // Keep a hint of the slate blue so the idle icon is not dead grey.
            line[x] = qRgba(qMin(255, g - 6), qMin(255, g), qMin(255, g + 10), qAlpha(line[x]));
        }
    }
    return out;
}

} // namespace

QImage logo(int size, bool grey)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    smooth(p);
    const qreal s = size;
    const qreal margin = size <= 16 ? 0.0 : s * 0.04;
    const QRectF tile(margin, margin, s - 2 * margin, s - 2 * margin);
    const qreal radius = s * 0.22;

    QLinearGradient body(tile.topLeft(), tile.bottomRight());
    body.setColorAt(0, palette::sky);
    body.setColorAt(1, palette::ink);
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(tile, radius, radius);

    // A soft sheen over the upper half.
    QPainterPath sheen;
    sheen.addRoundedRect(tile, radius, radius);
    QLinearGradient shine(0, tile.top(), 0, tile.bottom());
    shine.setColorAt(0, QColor(255, 255, 255, 46));
    shine.setColorAt(0.55, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.drawPath(sheen);

    // The ring of the Q.
    QPen ring(Qt::white);
    ring.setWidthF(s * 0.105);
    p.setPen(ring);
    p.setBrush(Qt::NoBrush);
    const QPointF centre(s * 0.45, s * 0.45);
    p.drawEllipse(centre, s * 0.235, s * 0.235);

    // Its tail: an amber arrow leaving the ring to the lower right.
    QPen shaft(palette::amber);
    shaft.setWidthF(s * 0.1);
    shaft.setCapStyle(Qt::FlatCap);
    p.setPen(shaft);
    p.drawLine(QPointF(s * 0.50, s * 0.50), QPointF(s * 0.70, s * 0.70));
    p.setPen(Qt::NoPen);
    p.setBrush(palette::amber);
    p.drawPolygon(
        polygon({{s * 0.865, s * 0.865}, {s * 0.755, s * 0.565}, {s * 0.565, s * 0.755}}));
    p.end();
    return grey ? greyed(image) : image;
}

QImage button(const QString &name, int size)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    smooth(p);
    p.scale(size / 20.0, size / 20.0);
    const QPen outline = hairline(palette::ink);

    if (name == QLatin1String("back") || name == QLatin1String("forward")) {
        if (name == QLatin1String("forward")) {
            p.translate(20, 0);
            p.scale(-1, 1);
        }
        p.setPen(outline);
        p.setBrush(vertical(3, 17, palette::sky, palette::slate));
        p.drawPolygon(
            polygon({{2.5, 10}, {9.5, 3}, {9.5, 7}, {17.5, 7}, {17.5, 13}, {9.5, 13}, {9.5, 17}}));
    } else if (name == QLatin1String("stop")) {
        QPolygonF octagon;
        for (int i = 0; i < 8; ++i) {
            const double a = (22.5 + 45.0 * i) * M_PI / 180.0;
            octagon << QPointF(10 + 8.4 * std::cos(a), 10 + 8.4 * std::sin(a));
        }
        p.setPen(hairline(palette::brick.darker(150)));
        p.setBrush(vertical(2, 18, palette::brick.lighter(125), palette::brick.darker(110)));
        p.drawPolygon(octagon);
        QPen cross(Qt::white);
        cross.setWidthF(2.2);
        cross.setCapStyle(Qt::RoundCap);
        p.setPen(cross);
        p.drawLine(QPointF(7, 7), QPointF(13, 13));
        p.drawLine(QPointF(13, 7), QPointF(7, 13));
    } else if (name == QLatin1String("refresh")) {
        QPen arc(palette::slate);
        arc.setWidthF(2.6);
        arc.setCapStyle(Qt::FlatCap);
        p.setPen(arc);
        p.setBrush(Qt::NoBrush);
        const QRectF circle(4, 4.5, 12, 12);
        // Clockwise from the upper right round to the top.
        p.drawArc(circle, 30 * 16, -300 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(palette::slate);
        p.drawPolygon(polygon({{14.2, 4.5}, {9.6, 0.8}, {9.6, 8.2}}));
    } else if (name == QLatin1String("backdir")) {
        p.setPen(hairline(palette::amberDark));
        p.setBrush(vertical(4, 17, palette::amber.lighter(115), palette::amberDark));
        p.drawPolygon(
            polygon({{1.5, 4.5}, {7.5, 4.5}, {9, 6.2}, {18.5, 6.2}, {18.5, 17}, {1.5, 17}}));
        p.setBrush(vertical(8, 17, palette::amber.lighter(130), palette::amber));
        p.drawRect(QRectF(1.5, 8, 17, 9));
        p.setPen(hairline(Qt::white));
        p.setBrush(palette::slate);
        p.drawPolygon(polygon({{10, 7.2},
                               {14.6, 11.8},
                               {11.7, 11.8},
                               {11.7, 16},
                               {8.3, 16},
                               {8.3, 11.8},
                               {5.4, 11.8}}));
    } else if (name == QLatin1String("send")) {
        p.setPen(outline);
        p.setBrush(QColor(Qt::white));
        p.drawPolygon(polygon({{2.5, 1.5}, {9.5, 1.5}, {12.5, 4.5}, {12.5, 17.5}, {2.5, 17.5}}));
        p.setBrush(palette::mist);
        p.drawPolygon(polygon({{9.5, 1.5}, {9.5, 4.5}, {12.5, 4.5}}));
        p.setPen(hairline(palette::sky));
        for (qreal y : {6.5, 9.0, 11.5})
            p.drawLine(QPointF(4.5, y), QPointF(10.5, y));
        p.setPen(outline);
        p.setBrush(vertical(8, 18, palette::amber.lighter(115), palette::amberDark));
        p.drawPolygon(polygon(
            {{7, 11.2}, {12, 11.2}, {12, 8}, {18.5, 13.5}, {12, 19}, {12, 15.8}, {7, 15.8}}));
    } else if (name == QLatin1String("go")) {
        p.setPen(hairline(palette::amberDark.darker(110)));
        p.setBrush(vertical(2, 18, palette::amber.lighter(120), palette::amberDark));
        p.drawEllipse(QPointF(10, 10), 8.4, 8.4);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPolygon(polygon(
            {{5.2, 8.5}, {10, 8.5}, {10, 5.2}, {15, 10}, {10, 14.8}, {10, 11.5}, {5.2, 11.5}}));
    } else if (name == QLatin1String("website")) {
        QRadialGradient sea(QPointF(7.5, 7), 11);
        sea.setColorAt(0, palette::sky.lighter(125));
        sea.setColorAt(1, palette::slate);
        p.setPen(hairline(palette::ink));
        p.setBrush(sea);
        p.drawEllipse(QPointF(10, 10), 8.4, 8.4);
        p.setPen(hairline(QColor(255, 255, 255, 210)));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(10, 10), 3.6, 8.4);
        p.drawLine(QPointF(10, 1.6), QPointF(10, 18.4));
        p.drawLine(QPointF(1.6, 10), QPointF(18.4, 10));
        p.drawLine(QPointF(3.4, 5.8), QPointF(16.6, 5.8));
        p.drawLine(QPointF(3.4, 14.2), QPointF(16.6, 14.2));
    }
    p.end();
    return image;
}

QImage splash()
{
    const int w = 478;
    const int h = 318;
    const int band = 252; // the light band below this holds the splash's label
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    smooth(p);

    QLinearGradient sky(0, 0, w, band);
    sky.setColorAt(0, palette::ink.darker(125));
    sky.setColorAt(1, palette::slate);
    p.fillRect(0, 0, w, band, sky);
    QRadialGradient glow(QPointF(w * 0.82, band * 0.18), w * 0.55);
    glow.setColorAt(0, QColor(palette::sky.red(), palette::sky.green(), palette::sky.blue(), 90));
    glow.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(0, 0, w, band, glow);

    // A fading wall of picture tiles: the Images view, seen from afar.
    const QColor tones[] = {palette::sky,  palette::amber,
                            palette::mist, palette::sky.lighter(130),
                            palette::leaf, palette::slate.lighter(160)};
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 6; ++row) {
        for (int col = 0; col < 6; ++col) {
            const qreal x = 282 + col * 34 - row * 6;
            const qreal y = 16 + row * 38;
            const QRectF tile(x, y, 28, 28);
            // Keep the title and its tagline clear.
            if (x < 260 || y + 28 > band - 10 || tile.intersects(QRectF(150, 58, 262, 118)))
                continue;
            QColor c = tones[(row * 5 + col * 3) % 6];
            c.setAlpha(22 + ((col * 13 + row * 7) % 5) * 12);
            p.setBrush(c);
            p.drawRoundedRect(tile, 5, 5);
        }
    }

    p.drawImage(QPointF(36, 58), logo(104));

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(50);
    title.setBold(true);
    title.setLetterSpacing(QFont::PercentageSpacing, 98);
    p.setFont(title);
    p.setPen(QColor(0, 0, 0, 70));
    p.drawText(QPointF(162, 120), QStringLiteral("Quarrow"));
    p.setPen(Qt::white);
    p.drawText(QPointF(160, 118), QStringLiteral("Quarrow"));

    QFont tagline(QStringLiteral("DejaVu Sans"));
    tagline.setPixelSize(14);
    p.setFont(tagline);
    p.setPen(QColor(0xd4, 0xe3, 0xef));
    p.drawText(QPointF(162, 146), QStringLiteral("The page, its source, and every picture."));

    QPen rule(palette::amber);
    rule.setWidthF(3);
    rule.setCapStyle(Qt::RoundCap);
    p.setPen(rule);
    p.drawLine(QPointF(163, 166), QPointF(262, 166));

    p.fillRect(0, band, w, h - band, palette::ivory);
    p.fillRect(0, band, w, 3, palette::amber);
    p.setPen(hairline(palette::mist.darker(115)));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
    p.end();
    return image;
}

QImage helpIcon(int size)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    smooth(p);
    const qreal s = size;
    QLinearGradient body(0, 0, s, s);
    body.setColorAt(0, palette::sky);
    body.setColorAt(1, palette::ink);
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawEllipse(QRectF(0.5, 0.5, s - 1, s - 1));
    QFont mark(QStringLiteral("DejaVu Sans"));
    mark.setPixelSize(qRound(s * 0.72));
    mark.setBold(true);
    p.setFont(mark);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, -s * 0.02, s, s), Qt::AlignCenter, QStringLiteral("?"));
    p.end();
    return image;
}

QImage checkMark(int size, bool partial)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    smooth(p);
    p.scale(size / 14.0, size / 14.0);
    QPen pen(Qt::white);
    pen.setWidthF(2.0);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    if (partial) {
        p.drawLine(QPointF(3.5, 7), QPointF(10.5, 7));
    } else {
        p.drawPolyline(polygon({{3.2, 7.2}, {5.9, 9.9}, {10.8, 4.2}}));
    }
    p.end();
    return image;
}

QImage startViews()
{
    const int w = 380;
    const int h = 190;
    QImage image = canvas(w, h);
    QPainter p(&image);
    smooth(p);
    const QString names[] = {QStringLiteral("Browser"), QStringLiteral("Source Code"),
                             QStringLiteral("Images")};
    QFont caption(QStringLiteral("DejaVu Sans"));
    caption.setPixelSize(11);
    caption.setBold(true);
    QFont code(QStringLiteral("DejaVu Sans Mono"));
    code.setPixelSize(8);
    for (int i = 0; i < 3; ++i) {
        const QRectF card(14 + i * 122, 14, 108, 160);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 30));
        p.drawRoundedRect(card.translated(2, 3), 7, 7);
        p.setBrush(Qt::white);
        p.setPen(hairline(palette::mist.darker(125)));
        p.drawRoundedRect(card, 7, 7);
        QPainterPath head;
        head.setFillRule(Qt::WindingFill);
        head.addRoundedRect(QRectF(card.left(), card.top(), card.width(), 24), 7, 7);
        head.addRect(QRectF(card.left(), card.top() + 12, card.width(), 12));
        p.setPen(Qt::NoPen);
        p.setBrush(i == 0 ? palette::slate : palette::slate.lighter(125));
        p.drawPath(head.simplified());
        p.setBrush(palette::amber);
        p.drawRect(QRectF(card.left(), card.top() + 24, card.width(), 2));
        p.setFont(caption);
        p.setPen(Qt::white);
        p.drawText(QRectF(card.left(), card.top(), card.width(), 24), Qt::AlignCenter, names[i]);
        const QRectF body = card.adjusted(10, 34, -10, -10);
        if (i == 0) {
            p.setPen(Qt::NoPen);
            p.setBrush(palette::mist);
            p.drawRoundedRect(QRectF(body.left(), body.top(), body.width(), 44), 3, 3);
            QRadialGradient sun(QPointF(body.left() + 66, body.top() + 14), 10);
            sun.setColorAt(0, palette::amber);
            sun.setColorAt(1, palette::amber.lighter(120));
            p.setBrush(sun);
            p.drawEllipse(QPointF(body.left() + 66, body.top() + 14), 7, 7);
            p.setBrush(palette::leaf);
            p.drawPolygon(polygon({{body.left(), body.top() + 44},
                                   {body.left() + 30, body.top() + 20},
                                   {body.left() + 52, body.top() + 36},
                                   {body.left() + 70, body.top() + 26},
                                   {body.right(), body.top() + 44}}));
            p.setBrush(palette::mist.darker(110));
            for (int line = 0; line < 6; ++line) {
                const qreal width = line % 3 == 2 ? body.width() * 0.6 : body.width();
                p.drawRoundedRect(QRectF(body.left(), body.top() + 54 + line * 12, width, 5), 2, 2);
            }
        } else if (i == 1) {
            p.setFont(code);
            const char *lines[] = {"<body>",    " <h1>Hello</h1>", " <img src=", "  \"sea.jpg\">",
                                   " <a href=", "  \"map.png\">",  " </a>",      "</body>"};
            qreal y = body.top() + 8;
            for (int line = 0; line < 8; ++line) {
                const bool link = line == 3 || line == 5;
                p.setPen(link ? palette::amberDark : (line % 2 ? palette::slate : palette::sky));
                p.drawText(QPointF(body.left(), y), QString::fromLatin1(lines[line]));
                if (link) {
                    p.drawLine(QPointF(body.left() + 12, y + 1.5),
                               QPointF(body.left() + 56, y + 1.5));
                }
                y += 14;
            }
        } else {
            const QColor tones[] = {palette::sky,   palette::amber, palette::leaf,
                                    palette::brick, palette::slate, palette::sky.lighter(130)};
            p.setPen(Qt::NoPen);
            for (int t = 0; t < 6; ++t) {
                const QRectF tile(body.left() + (t % 2) * 46, body.top() + (t / 2) * 40, 42, 28);
                p.setBrush(tones[t]);
                p.drawRoundedRect(tile, 3, 3);
                p.setBrush(palette::mist.darker(110));
                p.drawRoundedRect(QRectF(tile.left(), tile.bottom() + 3, 34, 4), 2, 2);
            }
        }
    }
    p.end();
    return image;
}

QImage startLandscape(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    smooth(p);
    const qreal w = width;
    const qreal h = height;
    QLinearGradient sky(0, 0, 0, h * 0.7);
    sky.setColorAt(0, QColor(0x7f, 0xb4, 0xda));
    sky.setColorAt(0.75, QColor(0xd9, 0xe6, 0xee));
    sky.setColorAt(1, QColor(0xf6, 0xdd, 0xb0));
    p.fillRect(image.rect(), sky);

    QRadialGradient sun(QPointF(w * 0.72, h * 0.34), h * 0.22);
    sun.setColorAt(0, QColor(0xff, 0xf1, 0xc9));
    sun.setColorAt(0.35, palette::amber.lighter(120));
    sun.setColorAt(0.36, QColor(0xf3, 0xc8, 0x7f, 120));
    sun.setColorAt(1, QColor(0xf3, 0xc8, 0x7f, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(w * 0.72, h * 0.34), h * 0.22, h * 0.22);

    auto ridge = [&](qreal base, qreal amplitude, qreal phase, const QColor &top,
                     const QColor &bottom) {
        QPainterPath path(QPointF(0, h));
        path.lineTo(0, base);
        const int steps = 48;
        for (int i = 0; i <= steps; ++i) {
            const qreal x = w * i / steps;
            const qreal t = x / w * 6.28318;
            const qreal y = base - amplitude * (0.6 * std::sin(t * 1.3 + phase) +
                                                0.3 * std::sin(t * 3.1 + phase * 2) +
                                                0.1 * std::sin(t * 7.7 + phase));
            path.lineTo(x, y);
        }
        path.lineTo(w, h);
        path.closeSubpath();
        p.setBrush(vertical(base - amplitude, h, top, bottom));
        p.drawPath(path);
    };
    ridge(h * 0.56, h * 0.12, 0.4, QColor(0x8d, 0xa7, 0xc0), QColor(0xa9, 0xbd, 0xcf));
    ridge(h * 0.68, h * 0.10, 2.1, palette::slate.lighter(150), palette::slate.lighter(120));
    ridge(h * 0.80, h * 0.08, 4.0, palette::leaf.lighter(115), palette::leaf.darker(130));
    ridge(h * 0.92, h * 0.05, 5.3, palette::leaf.darker(140), palette::ink);
    p.end();
    return image;
}

QImage startTiles()
{
    const int w = 240;
    const int h = 150;
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(palette::ivory);
    QPainter p(&image);
    smooth(p);
    const QColor tones[] = {palette::sky,   palette::amber, palette::leaf,
                            palette::brick, palette::slate, palette::mist.darker(115)};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 5; ++col) {
            const QRectF tile(10 + col * 45, 10 + row * 45, 40, 40);
            const QColor c = tones[(row * 2 + col) % 6];
            p.setPen(Qt::NoPen);
            p.setBrush(vertical(tile.top(), tile.bottom(), c.lighter(115), c.darker(110)));
            p.drawRoundedRect(tile, 6, 6);
            p.setBrush(QColor(255, 255, 255, 200));
            switch ((row + col * 2) % 3) {
            case 0:
                p.drawEllipse(tile.center(), 9, 9);
                break;
            case 1:
                p.drawPolygon(polygon({{tile.left() + 8, tile.bottom() - 9},
                                       {tile.center().x(), tile.top() + 9},
                                       {tile.right() - 8, tile.bottom() - 9}}));
                break;
            default:
                p.drawRoundedRect(tile.adjusted(10, 10, -10, -10), 2, 2);
                break;
            }
        }
    }
    p.end();
    return image;
}

QImage startArrow()
{
    QImage image = canvas(48, 48);
    QPainter p(&image);
    smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(8, 40, palette::amber.lighter(115), palette::amberDark));
    p.drawPolygon(polygon({{6, 19}, {24, 19}, {24, 8}, {43, 24}, {24, 40}, {24, 29}, {6, 29}}));
    p.end();
    return image;
}

} // namespace drawing
