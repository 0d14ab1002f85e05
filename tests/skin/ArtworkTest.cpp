#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <QtEndian>
#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace {

struct IconImage {
    int width;
    int height;
    int bitsPerPixel;
    QByteArray data;
};

// Reads an icon file's directory and the image each entry points at.
QList<IconImage> readIcon(const QByteArray &file)
{
    QList<IconImage> images;
    if (file.size() < 6)
        return images;
    EXPECT_EQ(qFromLittleEndian<quint16>(file.constData()), 0);
    EXPECT_EQ(qFromLittleEndian<quint16>(file.constData() + 2), 1);
    const int count = qFromLittleEndian<quint16>(file.constData() + 4);
    for (int i = 0; i < count; ++i) {
        const char *entry = file.constData() + 6 + 16 * i;
        const quint32 size = qFromLittleEndian<quint32>(entry + 8);
        const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
        EXPECT_LE(qint64(offset) + size, file.size());
        images.append({quint8(entry[0]) ? quint8(entry[0]) : 256,
                       quint8(entry[1]) ? quint8(entry[1]) : 256,
                       qFromLittleEndian<quint16>(entry + 6), file.mid(offset, size)});
    }
    return images;
}

int stride(int width, int bits)
{
    return ((width * bits + 31) / 32) * 4;
}

// A DIB entry: header, palette for 8 bits, colour rows, mask rows.
void checkDib(const IconImage &image)
{
    SCOPED_TRACE(
        QStringLiteral("%1 px, %2 bpp").arg(image.width).arg(image.bitsPerPixel).toStdString());
    if (image.data.startsWith("\x89PNG")) {
        EXPECT_EQ(image.bitsPerPixel, 32);
        return;
    }
    const char *header = image.data.constData();
    ASSERT_GE(image.data.size(), 40);
    EXPECT_EQ(qFromLittleEndian<quint32>(header), 40u);
    EXPECT_EQ(qFromLittleEndian<qint32>(header + 4), image.width);
    EXPECT_EQ(qFromLittleEndian<qint32>(header + 8), image.height * 2);
    EXPECT_EQ(qFromLittleEndian<quint16>(header + 12), 1);
    EXPECT_EQ(qFromLittleEndian<quint16>(header + 14), image.bitsPerPixel);
    const int paletteBytes = image.bitsPerPixel == 8 ? 256 * 4 : 0;
    if (image.bitsPerPixel == 8) {
        EXPECT_EQ(qFromLittleEndian<quint32>(header + 32), 256u);
    }
    const int expected = 40 + paletteBytes +
                         stride(image.width, image.bitsPerPixel) * image.height +
                         stride(image.width, 1) * image.height;
    EXPECT_EQ(image.data.size(), expected);
}

QString resources()
{
    return QStringLiteral(QUARROW_RESOURCES_DIR);
}

} // namespace

TEST(ProgramIcon, HoldsFifteenImagesFiveSizesThreeDepths)
{
    QFile file(QStringLiteral(":/app/icons/AAA.ico"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QList<IconImage> images = readIcon(bytes);
    ASSERT_EQ(images.size(), 15);

    std::set<std::pair<int, int>> found;
    for (const IconImage &image : images) {
        EXPECT_EQ(image.width, image.height);
        found.insert({image.width, image.bitsPerPixel});
        checkDib(image);
    }
    std::set<std::pair<int, int>> wanted;
    for (int size : {128, 64, 48, 32, 16})
        for (int bits : {32, 24, 8})
            wanted.insert({size, bits});
    EXPECT_EQ(found, wanted);

    // Every image decodes at its size; the 32-bit ones carry their own
    // transparency: opaque in the middle, see-through in the corner.
    QImageReader reader(QStringLiteral(":/app/icons/AAA.ico"));
    EXPECT_EQ(reader.imageCount(), 15);
    for (int i = 0; i < images.size(); ++i) {
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << i;
        EXPECT_EQ(image.width(), images[i].width);
        if (images[i].bitsPerPixel == 32) {
            const int s = image.width();
            EXPECT_EQ(qAlpha(image.pixel(s / 2, s / 2)), 255) << i;
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << i;
        }
    }
}

TEST(ToolsMenuIcons, NormalAndHighlightedIconsDecode)
{
    for (const char *name : {"icon.ico", "hoticon.ico"}) {
        SCOPED_TRACE(name);
        QFile file(resources() + QStringLiteral("/beside/") + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QList<IconImage> images = readIcon(file.readAll());
        ASSERT_FALSE(images.isEmpty());
        QSet<int> sizes;
        for (const IconImage &image : images) {
            checkDib(image);
            sizes.insert(image.width);
        }
        EXPECT_TRUE(sizes.contains(16));
        EXPECT_TRUE(sizes.contains(20));
        EXPECT_FALSE(QImage(file.fileName()).isNull());
    }
}

TEST(Pictures, EveryPictureIsThereAtItsSize)
{
    struct Row {
        const char *path;
        QSize size;
    };
    const Row rows[] = {
        {":/app/pictures/splash.jpg", {478, 318}},  {":/app/pictures/about.png", {128, 128}},
        {":/app/icons/help24.png", {24, 24}},       {":/app/skin/check.png", {14, 14}},
        {":/app/skin/partial.png", {14, 14}},       {":/app/buttons/back.png", {20, 20}},
        {":/app/buttons/forward.png", {20, 20}},    {":/app/buttons/stop.png", {20, 20}},
        {":/app/buttons/refresh.png", {20, 20}},    {":/app/buttons/backdir.png", {20, 20}},
        {":/app/buttons/send.png", {20, 20}},       {":/app/buttons/go.png", {20, 20}},
        {":/app/buttons/website.png", {20, 20}},    {":/app/buttons/back@2x.png", {40, 40}},
        {":/app/buttons/website@2x.png", {40, 40}},
    };
    for (const Row &row : rows) {
        const QImage image(QString::fromLatin1(row.path));
        EXPECT_EQ(image.size(), row.size) << row.path;
    }
}

TEST(StartPage, ShowsPicturesAndLinksToPicturesThatAllExist)
{
    const QString folder = resources() + QStringLiteral("/beside");
    QFile file(folder + QStringLiteral("/start.html"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());

    const QRegularExpression img(QStringLiteral("<img\\s[^>]*src=\"([^\"]+)\""),
                                 QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression link(QStringLiteral("<a\\s[^>]*href=\"([^\"]+)\""),
                                  QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression picture(QStringLiteral("\\.(gif|jpe?g|png)$"),
                                     QRegularExpression::CaseInsensitiveOption);
    int images = 0;
    QSet<QString> kinds;
    for (auto it = img.globalMatch(html); it.hasNext(); ++images) {
        const QString src = it.next().captured(1);
        EXPECT_TRUE(QUrl(src).isRelative()) << src.toStdString();
        EXPECT_FALSE(QImage(folder + QLatin1Char('/') + src).isNull()) << src.toStdString();
    }
    int pictureLinks = 0;
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const QString href = it.next().captured(1);
        const QRegularExpressionMatch kind = picture.match(href);
        if (!kind.hasMatch())
            continue;
        ++pictureLinks;
        kinds.insert(kind.captured(1).toLower());
        EXPECT_TRUE(QUrl(href).isRelative()) << href.toStdString();
        EXPECT_FALSE(QImage(folder + QLatin1Char('/') + href).isNull()) << href.toStdString();
    }
    EXPECT_GE(images, 3);
    EXPECT_GE(pictureLinks, 3);
    EXPECT_TRUE(kinds.contains(QStringLiteral("gif")));
    EXPECT_TRUE(kinds.contains(QStringLiteral("jpg")));
    EXPECT_TRUE(kinds.contains(QStringLiteral("png")));
}
