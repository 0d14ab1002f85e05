// Saving pictures the ways people ask: one ZIP file, name patterns, the
// address's folders, the widest variant, what the page already has, and the
// manifest; with real pages in the engine, real servers that record every
// request, and real files.

#include "tests/inventory/OffscreenViewTest.h"
#include "windows/MediaModels.h"
#include "windows/MediaSaver.h"
#include "windows/NamePattern.h"
#include "windows/PageInfoWindow.h"
#include "windows/StagingFolder.h"
#include "windows/ZipArchive.h"

#include "tests/inventory/InventorySite.h"
#include "tests/support/Eventually.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

namespace {

// ---------------------------------------------------------------------------
// Names from patterns.

NameFields fieldsOf(const QString &address, const QString &alt = QString(), int n = 1,
                    int count = 1, const QString &type = QStringLiteral("image/png"),
                    QSize size = QSize())
{
    NameFields f;
    f.address = address;
    f.alt = alt;
    f.n = n;
    f.count = count;
    f.mimeType = type;
    f.size = size;
    return f;
}

// Whatever a page chose, a path that stays in its folder.
void expectContained(const QString &path, const std::string &what)
{
    EXPECT_FALSE(path.isEmpty()) << what;
    EXPECT_FALSE(path.startsWith(QLatin1Char('/'))) << what << ": " << path.toStdString();
    EXPECT_FALSE(path.contains(QLatin1Char('\\'))) << what;
    EXPECT_FALSE(path.contains(QChar(0))) << what;
    const QStringList parts = path.split(QLatin1Char('/'));
    EXPECT_LE(parts.size(), NamePattern::maxFolders + 1) << what;
    for (const QString &part : parts) {
        EXPECT_FALSE(part.isEmpty()) << what << ": " << path.toStdString();
        EXPECT_FALSE(part.startsWith(QLatin1Char('.'))) << what << ": " << path.toStdString();
        EXPECT_LE(part.toUtf8().size(), 255) << what;
        EXPECT_NE(part.trimmed(), QStringLiteral("..")) << what;
    }
}

TEST(NamePatterns, FieldsMakeTheNamesAPatternSays)
{
    const QString photo = QStringLiteral("https://img.example.org/a/b/Photo%20One.JPG?w=2#x");
    const struct {
        const char *pattern;
        NameFields fields;
        bool keepFolders;
        const char *path;
    } cases[] = {
        {"{name}.{ext}", fieldsOf(photo, {}, 1, 1, "image/jpeg"), false, "Photo One.jpg"},
        {"{n} {name}.{ext}", fieldsOf(photo, {}, 7, 200, "image/jpeg"), false, "007 Photo One.jpg"},
        {"{n}", fieldsOf(photo, {}, 12, 9, "image/jpeg"), false, "12.jpg"},
        {"{host}/{n}.{ext}", fieldsOf(photo, {}, 3, 10, "image/webp"), false,
         "img.example.org/03.webp"},
        {"{path}/{name}.{ext}", fieldsOf(photo, {}, 1, 1, "image/jpeg"), false,
         "a/b/Photo One.jpg"},
        {"{name}.{ext}", fieldsOf(photo, {}, 1, 1, "image/jpeg"), true,
         "img.example.org/a/b/Photo One.jpg"},
        {"{alt}.{ext}", fieldsOf(photo, QStringLiteral("  A  red\n  boat "), 1, 1, "image/png"),
         false, "A red boat.png"},
        {"{width}x{height} {type}.{ext}",
         fieldsOf(photo, {}, 1, 1, "image/svg+xml", QSize(640, 480)), false, "640x480 svg.svg"},
        {"{name}-{width}.{ext}", fieldsOf(photo, {}, 1, 1, "image/gif"), false, "Photo One-.gif"},
        {"{type}/{name}.{ext}", fieldsOf(photo, {}, 1, 1, "image/x-icon"), false,
         "icon/Photo One.ico"},
        // A type the name does not show wins over the address's extension.
        {"{name}.{ext}", fieldsOf(QStringLiteral("http://h/x.gif"), {}, 1, 1, "image/png"), false,
         "x.png"},
        {"{name}.{ext}", fieldsOf(QStringLiteral("http://h/x.gif"), {}, 1, 1, QString()), false,
         "x.gif"},
        {"{name}.{ext}",
         fieldsOf(QStringLiteral("data:image/gif;base64,R0lG"), {}, 1, 1, "image/gif"), true,
         "picture.gif"},
        {"{host} {name}.{ext}",
         fieldsOf(QStringLiteral("blob:https://pics.example/5d1c-77"), {}, 1, 1, "image/png"),
         false, "pics.example 5d1c-77.png"},
        {"{size} {name}.{ext}", fieldsOf(photo, {}, 1, 1, "image/jpeg"), false,
         "{size} Photo One.jpg"},
    };
    for (const auto &c : cases) {
        const QString path =
            NamePattern::apply(QString::fromUtf8(c.pattern), c.fields, c.keepFolders);
        EXPECT_EQ(path, QString::fromUtf8(c.path)) << c.pattern;
        expectContained(path, c.pattern);
    }
    EXPECT_EQ(NamePattern::unknownFields(QStringLiteral("{n} {size} {alt} {Name} {size}")),
              QStringList({QStringLiteral("{size}"), QStringLiteral("{Name}")}));
    EXPECT_TRUE(NamePattern::unknownFields(QStringLiteral("{n}{name}{ext}{host}{path}{alt}"
                                                          "{width}{height}{type}"))
                    .isEmpty());
}

TEST(NamePatterns, WhatAPageChoosesNeverLeavesTheFolder)
{
    const QString longAlt = QString(400, QChar(0x5199)); // 3 bytes each in UTF-8
    const struct {
        const char *what;
        QString pattern;
        NameFields fields;
        bool keepFolders;
        const char *path; // empty: only checked to stay inside
    } cases[] = {
        {"alt climbing up", QStringLiteral("{alt}.{ext}"),
         fieldsOf(QStringLiteral("http://h/x.png"), QStringLiteral("../../../etc/passwd")), false,
         "_.._.._etc_passwd.png"},
        {"alt as an absolute path", QStringLiteral("{alt}"),
         fieldsOf(QStringLiteral("http://h/x.png"), QStringLiteral("/etc/cron.d/job")), false,
         "_etc_cron.d_job.png"},
        {"alt with NUL and controls", QStringLiteral("{alt}.{ext}"),
         fieldsOf(QStringLiteral("http://h/x.png"),
                  QStringLiteral("a") + QChar(0) + QStringLiteral("b\x1b[31m\r\nc")),
         false, "a_b_[31m c.png"},
        {"alt with a right-to-left override", QStringLiteral("{alt}.{ext}"),
         fieldsOf(QStringLiteral("http://h/x.png"), QStringLiteral("\u202Egnp.exe")), false,
         "gnp.exe.png"},
        {"alt of dots", QStringLiteral("{alt}/{name}.{ext}"),
         fieldsOf(QStringLiteral("http://h/x.png"), QStringLiteral("..")), false, "x.png"},
        {"pattern climbing up", QStringLiteral("../../{name}.{ext}"),
         fieldsOf(QStringLiteral("http://h/x.png")), false, "x.png"},
        {"absolute pattern", QStringLiteral("/tmp/{name}.{ext}"),
         fieldsOf(QStringLiteral("http://h/x.png")), false, "tmp/x.png"},
        {"backslashes", QStringLiteral("..\\..\\{name}.{ext}"),
         fieldsOf(QStringLiteral("http://h/x.png")), false, "x.png"},
        {"address folders climbing up", QStringLiteral("{name}.{ext}"),
         fieldsOf(QStringLiteral("http://h/a/%2E%2E/%2E%2E/..%2F..%2Fetc/x.png")), true,
         "h/a/etc/x.png"},
        {"encoded slashes in the file name", QStringLiteral("{path}/{name}.{ext}"),
         fieldsOf(QStringLiteral("http://h/a/..%2F..%2Fpasswd.png")), false, ""},
        {"a host of one dot", QStringLiteral("{host}/{name}.{ext}"),
         fieldsOf(QStringLiteral("file:///home/u/x.png")), false, "x.png"},
        {"Windows device names", QStringLiteral("{alt}/{name}.{ext}"),
         fieldsOf(QStringLiteral("http://h/con.png"), QStringLiteral("AUX")), false,
         "AUX_/con_.png"},
        {"very long alt", QStringLiteral("{alt} {alt} {alt}.{ext}"),
         fieldsOf(QStringLiteral("http://h/x.png"), longAlt), false, ""},
        {"unicode", QStringLiteral("{alt}/{name}.{ext}"),
         fieldsOf(QStringLiteral("http://h/%E5%86%99%E7%9C%9F.jpg"),
                  QStringLiteral("\u00e9t\u00e9 \U0001F600"), 1, 1, "image/jpeg"),
         false, "\u00e9t\u00e9 \U0001F600/\u5199\u771f.jpg"},
        {"empty pattern", QString(), fieldsOf(QStringLiteral("http://h/x.png")), false,
         "picture.png"},
        {"hundreds of folders", QStringLiteral("{path}/{name}.{ext}"),
         fieldsOf(QStringLiteral("http://h/") + QStringLiteral("d/").repeated(300) +
                  QStringLiteral("x.png")),
         true, ""},
    };
    for (const auto &c : cases) {
        const QString path = NamePattern::apply(c.pattern, c.fields, c.keepFolders);
        expectContained(path, c.what);
        if (*c.path) {
            EXPECT_EQ(path, QString::fromUtf8(c.path)) << c.what;
        }
    }
    // The long alt is cut, inside whole characters.
    const QString cut = NamePattern::apply(QStringLiteral("{alt} {alt} {alt}.{ext}"),
                                           fieldsOf(QStringLiteral("http://h/x.png"), longAlt));
    EXPECT_LE(cut.toUtf8().size(), 255);
    EXPECT_TRUE(cut.endsWith(QLatin1String(".png")));
    EXPECT_FALSE(cut.contains(QChar(QChar::ReplacementCharacter)));
}

TEST(WidestCandidates, TheWidestThePageOffersIsChosen)
{
    auto entry = [](const char *address, QStringList variants = {}) {
        InventoryEntry e;
        e.address = QString::fromUtf8(address);
        e.variants = variants;
        return e;
    };
    const struct {
        const char *what;
        QList<InventoryEntry> pictures;
        QList<int> widths; // known widths, -1 unknown
        int widest;
    } cases[] = {
        {"width descriptors",
         {entry("http://h/s.png",
                {"http://h/s.png 100w", "http://h/l.png 800w", "http://h/m.png 400w"}),
          entry("http://h/l.png"), entry("http://h/m.png")},
         {-1, -1, -1},
         1},
        {"densities",
         {entry("http://h/a.png",
                {"http://h/a.png 1x", "http://h/a-3x.png 3x", "http://h/a-2x.png 2x"}),
          entry("http://h/a-3x.png"), entry("http://h/a-2x.png")},
         {10, -1, -1},
         1},
        {"a source's width against the img's known width",
         {entry("http://h/narrow.png", {"http://h/wide.webp 800w"}), entry("http://h/wide.webp")},
         {6, -1},
         1},
        {"the img known to be wider than a source says",
         {entry("http://h/big.png", {"http://h/small.webp 300w"}), entry("http://h/small.webp")},
         {1200, -1},
         0},
        {"nothing said: known widths",
         {entry("http://h/a.png"), entry("http://h/b.png")},
         {5, 9},
         1},
        {"nothing known: the first",
         {entry("http://h/a.png"), entry("http://h/b.png")},
         {-1, -1},
         0},
    };
    for (const auto &c : cases) {
        QList<int> entries;
        for (int i = 0; i < c.pictures.size(); ++i)
            entries.append(i);
        const QList<int> widths = c.widths;
        EXPECT_EQ(WidestCandidate(entries, c.pictures, [&widths](int e) { return widths.at(e); }),
                  c.widest)
            << c.what;
    }
}

// ---------------------------------------------------------------------------
// Real pages and real saves.

QByteArray sha256Hex(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// The files a save wrote, in order of their names (they come as they finish).
QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

// Every entry of a folder, hidden ones and those in folders too.
QStringList everything(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out.append(QDir(folder).relativeFilePath(it.next()));
    out.sort();
    return out;
}

// A page in the engine, its servers recording every request.
class SavingPage : public OffscreenViewTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(saveFolder.isValid());
        server = std::make_unique<testsupport::HttpServer>(root.path());
        ASSERT_TRUE(server->start());
        openView(QSize(900, 700));
    }
    void TearDown() override
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox *>(widget))
                widget->close();
        }
        delete window.data();
        saver.reset();
        closeView();
    }

    // Loads the page and waits for its title to say it is ready; its inventory.
    Inventory load(const QByteArray &html, const QString &ready = QStringLiteral("ready"))
    {
        server->setRoute(QStringLiteral("/page.html"), html);
        QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
        page->load(server->url(QStringLiteral("/page.html")));
        EXPECT_TRUE(loaded.wait(30000));
        QUARROW_WAIT_UNTIL(page->title() == ready, 30000);
        EXPECT_EQ(page->title(), ready);
        Inventory inventory;
        bool done = false;
        PageInventory::collect(page, [&](const Inventory &result) {
            inventory = result;
            done = true;
        });
        QUARROW_WAIT_UNTIL(done, 30000);
        EXPECT_TRUE(inventory.valid) << inventory.error.toStdString();
        return inventory;
    }

    // The Page Info window of the inventory, every row in.
    void showWindow(const Inventory &inventory)
    {
        window = new PageInfoWindow(profile.get(), QStringLiteral("QuarrowSavingTest"));
        window->setLivePage(page);
        QSignalSpy shown(window.data(), &PageInfoWindow::inventoryShown);
        window->setInventory(inventory);
        window->show();
        ASSERT_TRUE(shown.count() > 0 || shown.wait(30000));
    }

    SaveSummary saveWithWindow(const SaveOptions &options)
    {
        QSignalSpy finished(window.data(), &PageInfoWindow::saveFinished);
        window->saveAll(options);
        EXPECT_EVENTUALLY(!finished.isEmpty(), 120000);
        return window->lastSummary();
    }

    // A save by the saver itself, with no window fetching anything.
    SaveSummary saveDirectly(const QList<MediaSaver::Item> &items, const MediaSaver::Target &target)
    {
        if (!saver)
            saver = std::make_unique<MediaSaver>(profile.get());
        QSignalSpy finished(saver.get(), &MediaSaver::finished);
        saver->start(items, target, page->url(), false);
        EXPECT_EVENTUALLY(!finished.isEmpty(), 120000);
        return finished.isEmpty() ? SaveSummary()
                                  : finished.constFirst().at(0).value<SaveSummary>();
    }

    static MediaSaver::Item item(const QString &address, const QString &name)
    {
        MediaSaver::Item out;
        out.address = address;
        out.fileName = name;
        return out;
    }

    // The manifest's pictures, by address.
    static QHash<QString, QJsonObject> manifestOf(const QByteArray &json)
    {
        QHash<QString, QJsonObject> out;
        const QJsonArray pictures =
            QJsonDocument::fromJson(json).object().value(QStringLiteral("pictures")).toArray();
        for (const QJsonValue &value : pictures)
            out.insert(value.toObject().value(QStringLiteral("address")).toString(),
                       value.toObject());
        return out;
    }

    int requestsFor(const QString &path) const { return int(server->requests().count(path)); }

    QTemporaryDir root;
    QTemporaryDir saveFolder;
    std::unique_ptr<testsupport::HttpServer> server;
    QPointer<PageInfoWindow> window;
    std::unique_ptr<MediaSaver> saver;
};

TEST_F(SavingPage, AZipOfTwoHundredPicturesReadsBackWhole)
{
    QByteArray html = "<!DOCTYPE html><html><head><title>wait</title></head><body>";
    QHash<QString, QByteArray> served;
    for (int i = 0; i < 200; ++i) {
        const QString path = QStringLiteral("/p/pic%1.png").arg(i);
        // Each picture of its own bytes.
        const QByteArray png = InventorySite::pngBytes(1 + i % 20, 1 + i / 20);
        server->setRoute(path, png, "image/png");
        served.insert(server->urlText(path), png);
        html += QStringLiteral("<img src=\"%1\" alt=\"Picture %2\">").arg(path).arg(i).toUtf8();
    }
    html += "<script>window.addEventListener('load', function () { document.title = 'ready'; "
            "});</script></body></html>";
    showWindow(load(html));
    ASSERT_EQ(window->pictureCount(), 200);
    // The manifest tells where each came from once the served markup is read.
    EXPECT_EVENTUALLY(window->mediaModel()->sourcesKnown(), 30000);

    SaveOptions options;
    options.into = SaveOptions::Into::Zip;
    options.folder = saveFolder.path();
    options.zipName = QStringLiteral("pictures.zip");
    options.pattern = QStringLiteral("{n} {alt}.{ext}");
    options.manifest = true;
    const SaveSummary summary = saveWithWindow(options);
    EXPECT_EQ(summary.savedFiles.size(), 200) << summary.details().toStdString();
    const QString zip = saveFolder.filePath(QStringLiteral("pictures.zip"));
    EXPECT_EQ(summary.archive, zip);
    EXPECT_TRUE(summary.text().startsWith(QStringLiteral("Saved 200 pictures to ")))
        << summary.text().toStdString();
    // Only the ZIP file is left: no part, no staging folder.
    EXPECT_EQ(everything(saveFolder.path()), QStringList({QStringLiteral("pictures.zip")}));

    // unzip reads it whole.
    QProcess test;
    test.start(QStringLiteral("unzip"), {QStringLiteral("-t"), zip});
    ASSERT_TRUE(test.waitForFinished(60000));
    const QByteArray said = test.readAllStandardOutput();
    EXPECT_EQ(test.exitCode(), 0) << said.constData();
    EXPECT_TRUE(said.contains("No errors detected")) << said.constData();
    const QStringList names = ZipArchive::names(zip);
    EXPECT_EQ(names.size(), 201);
    EXPECT_TRUE(names.contains(QStringLiteral("001 Picture 0.png")));
    EXPECT_TRUE(names.contains(QStringLiteral("200 Picture 199.png")));

    // Its manifest holds the hash and the size of each file it holds.
    QTemporaryDir out;
    QProcess extract;
    extract.start(QStringLiteral("unzip"),
                  {QStringLiteral("-q"), zip, QStringLiteral("-d"), out.path()});
    ASSERT_TRUE(extract.waitForFinished(60000));
    ASSERT_EQ(extract.exitCode(), 0);
    const QHash<QString, QJsonObject> manifest =
        manifestOf(testsupport::readFile(out.filePath(QStringLiteral("manifest.json"))));
    ASSERT_EQ(manifest.size(), 200);
    for (auto it = served.cbegin(); it != served.cend(); ++it) {
        const QJsonObject picture = manifest.value(it.key());
        const QString file = picture.value(QStringLiteral("file")).toString();
        const QByteArray bytes = testsupport::readFile(out.filePath(file));
        EXPECT_EQ(bytes, it.value()) << file.toStdString();
        EXPECT_EQ(picture.value(QStringLiteral("sha256")).toString().toLatin1(), sha256Hex(bytes))
            << file.toStdString();
        EXPECT_EQ(picture.value(QStringLiteral("bytes")).toInteger(), bytes.size());
        EXPECT_EQ(picture.value(QStringLiteral("type")).toString(), QStringLiteral("image/png"));
        EXPECT_EQ(picture.value(QStringLiteral("page")).toString(), page->url().toString());
        EXPECT_EQ(picture.value(QStringLiteral("kinds")).toArray(), QJsonArray({"img"}));
        EXPECT_TRUE(picture.value(QStringLiteral("alt")).toString().startsWith("Picture "));
        EXPECT_GT(picture.value(QStringLiteral("width")).toInt(), 0);
        EXPECT_EQ(picture.value(QStringLiteral("source")).toString(), QStringLiteral("markup"));
        EXPECT_TRUE(QStringList({QStringLiteral("shown"), QStringLiteral("loaded")})
                        .contains(picture.value(QStringLiteral("state")).toString()))
            << picture.value(QStringLiteral("state")).toString().toStdString();
    }
}

TEST_F(SavingPage, ACancelledOrFailedZipLeavesNothing)
{
    server->setRoute(QStringLiteral("/a.png"), InventorySite::pngBytes(3, 3), "image/png");
    server->setRoute(QStringLiteral("/b.png"), InventorySite::pngBytes(4, 4), "image/png");
    server->setRoute(QStringLiteral("/slow.png"), InventorySite::pngBytes(5, 5), "image/png");
    server->stallRoute(QStringLiteral("/slow.png"));
    load("<title>ready</title>");
    const QList<MediaSaver::Item> items = {
        item(server->urlText(QStringLiteral("/a.png")), QStringLiteral("a.png")),
        item(InventorySite::gifDataAddress(), QStringLiteral("d.gif")),
        item(server->urlText(QStringLiteral("/slow.png")), QStringLiteral("slow.png")),
        item(server->urlText(QStringLiteral("/b.png")), QStringLiteral("b.png"))};
    MediaSaver::Target target;
    target.folder = saveFolder.path();
    target.zipName = QStringLiteral("pictures.zip");
    target.manifest = true;

    saver = std::make_unique<MediaSaver>(profile.get());
    QSignalSpy finished(saver.get(), &MediaSaver::finished);
    saver->start(items, target, page->url(), false);
    // The other pictures are in the staging folder; the slow one never ends.
    EXPECT_EVENTUALLY(requestsFor(QStringLiteral("/slow.png")) == 1 &&
                          requestsFor(QStringLiteral("/b.png")) == 1,
                      30000);
    EXPECT_EQ(everything(saveFolder.path()).size() > 0, true);
    saver->cancel();
    EXPECT_EVENTUALLY(!finished.isEmpty(), 30000);
    ASSERT_FALSE(finished.isEmpty());
    SaveSummary summary = finished.constFirst().at(0).value<SaveSummary>();
    EXPECT_TRUE(summary.cancelled);
    EXPECT_TRUE(summary.archive.isEmpty());
    EXPECT_TRUE(summary.savedFiles.isEmpty());
    EXPECT_TRUE(summary.text().startsWith(QStringLiteral("No ZIP file was written.")))
        << summary.text().toStdString();
    // The staging folder is gone; the engine takes away the part file of the
    // download it cancelled.
    EXPECT_FALSE(everything(saveFolder.path()).join(' ').contains(QLatin1String(".saving")));
    EXPECT_EVENTUALLY(everything(saveFolder.path()).isEmpty(), 10000);
    EXPECT_EQ(everything(saveFolder.path()), QStringList()) << summary.details().toStdString();

    // A ZIP file that cannot be put in place (a folder has its name) leaves
    // nothing either, and says why.
    ASSERT_TRUE(QDir(saveFolder.path()).mkdir(QStringLiteral("pictures.zip")));
    QList<MediaSaver::Item> quick = items;
    quick.removeAt(2);
    summary = saveDirectly(quick, target);
    EXPECT_TRUE(summary.archive.isEmpty());
    EXPECT_EQ(summary.archiveError, QStringLiteral("pictures.zip is a folder"));
    EXPECT_TRUE(summary.text().contains(QStringLiteral("pictures.zip is a folder")));
    EXPECT_EQ(everything(saveFolder.path()), QStringList({QStringLiteral("pictures.zip")}));

    // A staging folder a killed save left behind goes with the next save.
    QString error;
    std::unique_ptr<StagingFolder> held = StagingFolder::make(saveFolder.path(), &error);
    ASSERT_TRUE(held) << error.toStdString();
    const QString heldName = QFileInfo(held->path()).fileName();
    const QString left = saveFolder.filePath(QStringLiteral(".quarrow-00000000000000aa.saving"));
    ASSERT_TRUE(QDir().mkpath(left + QStringLiteral("/inner")));
    ASSERT_TRUE(testsupport::writeFile(left + QStringLiteral("/inner/x.part"), "half"));
    target.zipName = QStringLiteral("second.zip");
    summary = saveDirectly(quick, target);
    EXPECT_EQ(summary.archive, saveFolder.filePath(QStringLiteral("second.zip")));
    // The one a running save holds stays.
    EXPECT_EQ(everything(saveFolder.path()), QStringList({heldName, QStringLiteral("pictures.zip"),
                                                          QStringLiteral("second.zip")}));
}

TEST_F(SavingPage, KeptFoldersAreMadeInsideTheFolderAndFollowNoLink)
{
    server->setRoute(QStringLiteral("/a/b/x.png"), InventorySite::pngBytes(3, 2), "image/png");
    server->setRoute(QStringLiteral("/c/y.png"), InventorySite::pngBytes(2, 3), "image/png");
    load("<title>ready</title>");
    QTemporaryDir outside;
    const QString host = server->url().host();
    QList<MediaSaver::Item> items;
    for (const QString &path : {QStringLiteral("/a/b/x.png"), QStringLiteral("/c/y.png")}) {
        const QString address = server->urlText(path);
        items.append(item(
            address, NamePattern::apply(NamePattern::defaultPattern(), fieldsOf(address), true)));
    }
    EXPECT_EQ(items.at(0).fileName, host + QStringLiteral("/a/b/x.png"));
    MediaSaver::Target target;
    target.folder = saveFolder.path();

    // A link planted where the host's folder goes: nothing is written through it.
    ASSERT_TRUE(QFile::link(outside.path(), saveFolder.filePath(host)));
    SaveSummary summary = saveDirectly(items, target);
    EXPECT_TRUE(summary.savedFiles.isEmpty());
    ASSERT_EQ(summary.skipped.size(), 2) << summary.details().toStdString();
    EXPECT_EQ(summary.skipped.at(0).second, host + QStringLiteral(" is a link"));
    EXPECT_EQ(everything(outside.path()), QStringList());

    // A file where a folder goes is not replaced.
    ASSERT_TRUE(QFile::remove(saveFolder.filePath(host)));
    ASSERT_TRUE(QDir(saveFolder.path()).mkdir(host));
    ASSERT_TRUE(testsupport::writeFile(saveFolder.filePath(host + QStringLiteral("/c")), "mine"));
    summary = saveDirectly(items, target);
    EXPECT_EQ(summary.savedFiles, QStringList({host + QStringLiteral("/a/b/x.png")}));
    ASSERT_EQ(summary.skipped.size(), 1);
    EXPECT_EQ(summary.skipped.at(0).second, QStringLiteral("c is not a folder"));
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(host + QStringLiteral("/c"))), "mine");
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(host + QStringLiteral("/a/b/x.png"))),
              InventorySite::pngBytes(3, 2));

    // Saved again beside what is there, not over it.
    ASSERT_TRUE(QFile::remove(saveFolder.filePath(host + QStringLiteral("/c"))));
    const QStringList names = {items.at(0).fileName, items.at(1).fileName};
    const QStringList unique = MediaSaver::uniqueNames(names, saveFolder.path(), false);
    EXPECT_EQ(unique.at(0), host + QStringLiteral("/a/b/x (2).png"));
    items[0].fileName = unique.at(0);
    items[1].fileName = unique.at(1);
    summary = saveDirectly(items, target);
    EXPECT_EQ(sorted(summary.savedFiles), QStringList({host + QStringLiteral("/a/b/x (2).png"),
                                                       host + QStringLiteral("/c/y.png")}));
    EXPECT_EQ(
        everything(saveFolder.path()),
        QStringList({host, host + QStringLiteral("/a"), host + QStringLiteral("/a/b"),
                     host + QStringLiteral("/a/b/x (2).png"), host + QStringLiteral("/a/b/x.png"),
                     host + QStringLiteral("/c"), host + QStringLiteral("/c/y.png")}));
}

TEST_F(SavingPage, OnlyTheWidestVariantIsSavedWhenAsked)
{
    for (const auto &[path, width] : {std::pair{"/s.png", 4},
                                      {"/m.png", 8},
                                      {"/l.png", 16},
                                      {"/narrow.png", 2},
                                      {"/wide.png", 12}})
        server->setRoute(QString::fromUtf8(path), InventorySite::pngBytes(width, 2), "image/png");
    const Inventory inventory =
        load("<!DOCTYPE html><title>ready</title>"
             "<img src=\"/s.png\" srcset=\"/s.png 100w, /l.png 800w, /m.png 400w\" sizes=\"4px\" "
             "alt=\"Sized\">"
             "<picture><source srcset=\"/wide.png 1200w\" media=\"(min-width: 9000px)\">"
             "<img src=\"/narrow.png\" alt=\"Narrow\"></picture>");
    showWindow(inventory);
    ASSERT_EQ(window->pictureCount(), 2);

    SaveOptions options;
    options.folder = saveFolder.path();
    options.largestVariant = true;
    options.pattern = QStringLiteral("{n} {alt} {name}");
    SaveSummary summary = saveWithWindow(options);
    EXPECT_EQ(sorted(summary.savedFiles),
              QStringList({QStringLiteral("1 Sized l.png"), QStringLiteral("2 Narrow wide.png")}))
        << summary.details().toStdString();
    EXPECT_TRUE(summary.variantFiles.isEmpty());
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("1 Sized l.png"))),
              InventorySite::pngBytes(16, 2));

    // Without it, each picture comes with its variants.
    QTemporaryDir all;
    options.folder = all.path();
    options.largestVariant = false;
    options.pattern = NamePattern::defaultPattern();
    summary = saveWithWindow(options);
    QStringList files = summary.savedFiles + summary.variantFiles;
    files.sort();
    EXPECT_EQ(files, QStringList({"l.png", "m.png", "narrow.png", "s.png", "wide.png"}));
}

TEST_F(SavingPage, WhatThePageHasIsSavedWithoutANewRequest)
{
    const QByteArray shown = InventorySite::pngBytes(7, 5);
    const QByteArray fromBlob = InventorySite::pngBytes(6, 6);
    const QByteArray linked = InventorySite::pngBytes(9, 9);
    const QByteArray moved = InventorySite::pngBytes(8, 3);
    server->setRoute(QStringLiteral("/shown.png"), shown, "image/png");
    server->setRoute(QStringLiteral("/linked.png"), linked, "image/png");
    server->setRoute(QStringLiteral("/final.png"), moved, "image/png");
    server->redirectRoute(QStringLiteral("/moved.png"), server->urlText("/final.png").toUtf8());
    const QString data = InventorySite::gifDataAddress();
    load(QStringLiteral("<!DOCTYPE html><title>wait</title>"
                        "<img id=\"shown\" src=\"/shown.png\" alt=\"Shown\">"
                        "<img id=\"data\" src=\"%1\" alt=\"Data\">"
                        "<img id=\"blob\" alt=\"Made here\">"
                        "<a href=\"/linked.png\">linked</a>"
                        "<script>"
                        "var bytes = Uint8Array.from(atob('%2'), function (c) {"
                        "  return c.charCodeAt(0); });"
                        "var img = document.getElementById('blob');"
                        "img.onload = function () { document.title = 'ready'; };"
                        "img.src = URL.createObjectURL(new Blob([bytes], {type: 'image/png'}));"
                        "</script>")
             .arg(data, QString::fromLatin1(fromBlob.toBase64()))
             .toUtf8());
    QString blob;
    bool asked = false;
    page->runJavaScript(QStringLiteral("document.getElementById('blob').src"),
                        [&](const QVariant &value) {
                            blob = value.toString();
                            asked = true;
                        });
    QUARROW_WAIT_UNTIL(asked, 20000);
    ASSERT_TRUE(blob.startsWith(QLatin1String("blob:http://127.0.0.1:"))) << blob.toStdString();
    const QStringList before = server->requests();
    ASSERT_EQ(requestsFor(QStringLiteral("/shown.png")), 1);

    const QString shownAddress = server->urlText(QStringLiteral("/shown.png"));
    const QString linkedAddress = server->urlText(QStringLiteral("/linked.png"));
    const QString movedAddress = server->urlText(QStringLiteral("/moved.png"));
    QList<MediaSaver::Item> items = {
        item(shownAddress, QStringLiteral("shown.png")), item(data, QStringLiteral("data.gif")),
        item(blob, QStringLiteral("made.png")), item(linkedAddress, QStringLiteral("linked.png")),
        item(movedAddress, QStringLiteral("moved.png"))};
    items[0].alt = QStringLiteral("Shown");
    items[0].kinds = {QStringLiteral("img")};
    MediaSaver::Target target;
    target.folder = saveFolder.path();
    target.manifest = true;
    target.fromPage = true;
    target.page = page;
    const SaveSummary summary = saveDirectly(items, target);
    EXPECT_EQ(summary.savedFiles.size(), 5) << summary.details().toStdString();
    EXPECT_EQ(summary.fromPage, 2);

    // The shown picture and the blob came from the page; only what it had not
    // shown was asked of the server (and the redirect followed).
    QStringList asks = server->requests().mid(before.size());
    asks.removeAll(QStringLiteral("/favicon.ico")); // the page's own, whenever it comes
    asks.sort();
    EXPECT_EQ(asks, QStringList({"/final.png", "/linked.png", "/moved.png"}));
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("shown.png"))), shown);
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("made.png"))), fromBlob);
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("data.gif"))),
              InventorySite::gifBytes());
    EXPECT_EQ(testsupport::readFile(saveFolder.filePath(QStringLiteral("moved.png"))), moved);

    // The manifest, written whole beside them, says where each came from.
    const QHash<QString, QJsonObject> manifest =
        manifestOf(testsupport::readFile(saveFolder.filePath(QStringLiteral("manifest.json"))));
    ASSERT_EQ(manifest.size(), 5);
    const struct {
        QString address;
        const char *obtained;
        QString finalAddress;
    } expected[] = {
        {shownAddress, "page", shownAddress},
        {data, "data", data},
        {blob, "page", blob},
        {linkedAddress, "download", linkedAddress},
        {movedAddress, "download", server->urlText(QStringLiteral("/final.png"))},
    };
    for (const auto &e : expected) {
        const QJsonObject picture = manifest.value(e.address);
        EXPECT_EQ(picture.value(QStringLiteral("obtained")).toString(),
                  QString::fromUtf8(e.obtained))
            << e.address.left(60).toStdString();
        EXPECT_EQ(picture.value(QStringLiteral("finalAddress")).toString(), e.finalAddress);
        const QByteArray bytes = testsupport::readFile(
            saveFolder.filePath(picture.value(QStringLiteral("file")).toString()));
        EXPECT_EQ(picture.value(QStringLiteral("sha256")).toString().toLatin1(), sha256Hex(bytes));
        EXPECT_EQ(picture.value(QStringLiteral("bytes")).toInteger(), bytes.size());
    }
    EXPECT_EQ(manifest.value(shownAddress).value(QStringLiteral("width")).toInt(), 7);
    EXPECT_EQ(manifest.value(shownAddress).value(QStringLiteral("height")).toInt(), 5);
    EXPECT_EQ(manifest.value(shownAddress).value(QStringLiteral("alt")).toString(), "Shown");
    EXPECT_EQ(everything(saveFolder.path()),
              QStringList({"data.gif", "linked.png", "made.png", "manifest.json", "moved.png",
                           "shown.png"}));
}

TEST_F(SavingPage, ABlobOfAPageNoLongerShownIsNotSaved)
{
    load("<title>wait</title><img id=\"b\"><script>"
         "var img = document.getElementById('b');"
         "img.onload = function () { document.title = 'ready'; };"
         "img.src = URL.createObjectURL(new Blob([atob('R0lGODlhAQABAAAAACwAAAAAAQABAAA=')],"
         " {type: 'image/gif'}));</script>");
    MediaSaver::Target target;
    target.folder = saveFolder.path();
    target.page = page;
    // A blob the page revoked, and one of another page.
    SaveSummary summary = saveDirectly(
        {item(QStringLiteral("blob:") + server->urlText(QStringLiteral("/no-such-blob")),
              QStringLiteral("gone.gif"))},
        target);
    ASSERT_EQ(summary.failed.size(), 1);
    EXPECT_TRUE(summary.failed.at(0).second.startsWith(QStringLiteral("the page cannot read it")))
        << summary.failed.at(0).second.toStdString();
    // A blob over the limit is not taken from the page.
    QString blob;
    bool asked = false;
    page->runJavaScript(QStringLiteral("document.getElementById('b').src"),
                        [&](const QVariant &value) {
                            blob = value.toString();
                            asked = true;
                        });
    QUARROW_WAIT_UNTIL(asked, 20000);
    saver->setByteLimit(20);
    summary = saveDirectly({item(blob, QStringLiteral("big.gif"))}, target);
    ASSERT_EQ(summary.failed.size(), 1);
    EXPECT_EQ(summary.failed.at(0).second, QStringLiteral("larger than 20 bytes"));
    saver->setByteLimit(MediaSaver::defaultByteLimit);
    summary = saveDirectly({item(blob, QStringLiteral("small.gif"))}, target);
    EXPECT_EQ(summary.savedFiles, QStringList({QStringLiteral("small.gif")}));
    EXPECT_TRUE(QFile::remove(saveFolder.filePath(QStringLiteral("small.gif"))));

    target.page = nullptr;
    summary = saveDirectly({item(QStringLiteral("blob:http://127.0.0.1:1/x"), "x.gif")}, target);
    ASSERT_EQ(summary.failed.size(), 1);
    EXPECT_EQ(summary.failed.at(0).second,
              QStringLiteral("the page that made it is not shown any more"));
    EXPECT_EQ(everything(saveFolder.path()), QStringList());
}

} // namespace
