// quarrow-art: draws the program's pictures and icons into resources/.
// Usage: quarrow-art [resources folder]

#include "tools/art/Drawing.h"
#include "tools/art/IcoWriter.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

QString root;
bool ok = true;

QString target(const QString &relative)
{
    const QString path = root + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

void save(const QImage &image, const QString &relative, int quality = -1)
{
    if (!image.save(target(relative), nullptr, quality)) {
        QTextStream(stderr) << "cannot write " << relative << '\n';
        ok = false;
    }
}

void saveIco(const IcoWriter &ico, const QString &relative)
{
    if (!ico.save(target(relative))) {
        QTextStream(stderr) << "cannot write " << relative << '\n';
        ok = false;
    }
}

// Qt cannot write GIF; ImageMagick converts the PNG we drew.
void saveGif(const QImage &image, const QString &relative)
{
    QTemporaryDir scratch;
    const QString png = scratch.filePath(QStringLiteral("picture.png"));
    image.save(png);
    const int code = QProcess::execute(QStringLiteral("convert"), {png, target(relative)});
    if (code != 0) {
        QTextStream(stderr) << "convert failed for " << relative << '\n';
        ok = false;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(QUARROW_RESOURCES_DIR);

    // The program icon: five sizes, each at 32, 24 and 8 bits per pixel.
    IcoWriter aaa;
    for (int size : {128, 64, 48, 32, 16}) {
        const QImage image = drawing::logo(size);
        for (int bits : {32, 24, 8})
            aaa.add(image, bits);
    }
    saveIco(aaa, QStringLiteral("app/icons/AAA.ico"));
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        save(drawing::logo(size), QStringLiteral("app/icons/hicolor/quarrow-%1.png").arg(size));
    save(drawing::helpIcon(24), QStringLiteral("app/icons/help24.png"));

    save(drawing::splash(), QStringLiteral("app/pictures/splash.jpg"), 92);
    save(drawing::logo(128), QStringLiteral("app/pictures/about.png"));

    for (const char *name :
         {"back", "forward", "stop", "refresh", "backdir", "send", "go", "website"}) {
        const QString base = QStringLiteral("app/buttons/") + QLatin1String(name);
        save(drawing::button(QLatin1String(name), 20), base + QStringLiteral(".png"));
        save(drawing::button(QLatin1String(name), 40), base + QStringLiteral("@2x.png"));
    }

    save(drawing::checkMark(14, false), QStringLiteral("app/skin/check.png"));
    save(drawing::checkMark(14, true), QStringLiteral("app/skin/partial.png"));

    // The tools-menu button: muted when idle, in colour when highlighted.
    IcoWriter idle;
    IcoWriter hot;
    for (int size : {32, 24, 20, 16}) {
        idle.add(drawing::logo(size, true), 32);
        hot.add(drawing::logo(size), 32);
    }
    for (int size : {32, 16}) {
        idle.add(drawing::logo(size, true), 8);
        hot.add(drawing::logo(size), 8);
    }
    saveIco(idle, QStringLiteral("beside/icon.ico"));
    saveIco(hot, QStringLiteral("beside/hoticon.ico"));

    // The start page's pictures.
    save(drawing::logo(96), QStringLiteral("beside/start/logo.png"));
    save(drawing::startViews(), QStringLiteral("beside/start/views.png"));
    save(drawing::startLandscape(960, 540), QStringLiteral("beside/start/valley.jpg"), 88);
    save(drawing::startLandscape(320, 180), QStringLiteral("beside/start/valley-small.jpg"), 90);
    saveGif(drawing::startTiles(), QStringLiteral("beside/start/tiles.gif"));
    saveGif(drawing::startArrow(), QStringLiteral("beside/start/arrow.gif"));

    return ok ? 0 : 1;
}
