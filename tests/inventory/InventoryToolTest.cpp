#include "tests/inventory/InventorySite.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Longer than the tool's own patience on the pages here (60 s and 10 s a MB),
// so that a tool that gives up is heard.
constexpr int kToolWaitMs = 120000;

struct ToolRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun resultOf(QProcess &process)
{
    ToolRun result;
    if (process.state() != QProcess::NotRunning)
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// Runs a tool while this process's event loop keeps serving the test site, so
// that any request the tool made would be seen.
ToolRun run(const char *tool, const QStringList &arguments, const QString &folder = QString())
{
    QProcess process;
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(QString::fromLocal8Bit(tool), arguments);
    QUARROW_WAIT_UNTIL(process.state() == QProcess::NotRunning, kToolWaitMs);
    return resultOf(process);
}

ToolRun inventory(const QStringList &arguments)
{
    return run(QUARROW_INVENTORY_TOOL, arguments);
}

ToolRun harvest(const QStringList &arguments, const QString &folder = QString())
{
    return run(QUARROW_HARVEST_TOOL, arguments, folder);
}

// What the saved page uses by itself: its scripts do not run and nothing it
// names is fetched, so no style sheet file, frame or added picture is seen.
QByteArray expectedFor(const QString &base, const QString &origin)
{
    const QString site = base;
    const QList<QPair<QString, QString>> pictures = {
        {origin + "/favicon.ico", "icon"},      {site + "pics/touch.png", "icon"},
        {site + "pics/mask.svg", "icon"},       {site + "pics/share.jpg", "meta"},
        {site + "pics/hero.png", "css"},        {site + "pics/overlay.gif", "css"},
        {site + "pics/r1.png", "css"},          {site + "pics/r2.png", "css"},
        {site + "pics/bullet.gif", "css"},      {site + "pics/quote.gif", "css"},
        {site + "pics/border.png", "css"},      {site + "pics/logo.png", "img,srcset,link"},
        {site + "pics/logo-2x.png", "srcset"},  {site + "pics/wide.webp", "source"},
        {site + "pics/narrow.png", "img"},      {InventorySite::gifDataAddress(), "img"},
        {site + "pics/lazy.jpg", "lazy"},       {site + "pics/lazy-s.jpg", "lazy"},
        {site + "pics/lazy-l.jpg", "lazy"},     {site + "pics/missing.png", "img"},
        {site + "pics/lazy-bg.jpg", "lazy"},    {site + "pics/poster.jpg", "poster"},
        {site + "pics/go.gif", "input"},        {site + "pics/svg-image.png", "svg"},
        {site + "pics/fe.png", "svg"},          {site + "pics/drawing.svg", "object"},
        {site + "pics/embedded.png", "object"}, {site + "pics/big.jpg?size=large#top", "link"},
        {site + "pics/map.gif", "img"},         {site + "pics/area.tif", "link"},
        {site + "pics/inline.png", "css"},      {site + "pics/hidden.png", "css"},
    };
    QByteArray out;
    for (const auto &picture : pictures)
        out += "picture\t" + picture.first.toUtf8() + '\t' + picture.second.toUtf8() + '\n';
    return out;
}

class InventoryTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.start());
        saved = dir.filePath(QStringLiteral("saved page.html"));
        ASSERT_TRUE(testsupport::writeFile(saved, site.pageBytes()));
    }
    QString pageUrl() const { return site.url(QStringLiteral("/page.html")); }
    QByteArray expected() const
    {
        return expectedFor(site.url(QStringLiteral("/site/")), site.origin());
    }
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(testsupport::writeFile(path, bytes)) << path.toStdString();
        return path;
    }

    QTemporaryDir dir;
    InventorySite site;
    QString saved;
};

TEST_F(InventoryTool, ListsTheSavedPageAndFetchesNothing)
{
    const ToolRun direct = inventory({QStringLiteral("--url"), pageUrl(), saved});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, expected());
    EXPECT_EQ(direct.err, QByteArray());
    // The address's value before --inventory is not taken for the option.
    const ToolRun viaHarvest =
        harvest({QStringLiteral("--url"), pageUrl(), QStringLiteral("--inventory"), saved});
    ASSERT_EQ(viaHarvest.status, 0) << viaHarvest.err.constData();
    EXPECT_EQ(viaHarvest.out, direct.out);
    EXPECT_EQ(site.server().requests(), QStringList());
    EXPECT_EQ(site.otherServer().requests(), QStringList());
}

TEST_F(InventoryTool, DefaultsToTheFilesOwnAddress)
{
    // The page's <base href="/site/"> is read against the file's address.
    const ToolRun direct = inventory({saved});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, expectedFor(QStringLiteral("file:///site/"), QStringLiteral("file://")));
    const ToolRun viaHarvest = harvest({QStringLiteral("--inventory"), saved});
    ASSERT_EQ(viaHarvest.status, 0) << viaHarvest.err.constData();
    EXPECT_EQ(viaHarvest.out, direct.out);
}

// The page's objects and frames never load here, and no view lays the page
// out: the list must not wait for either, however many tools run at once.
TEST_F(InventoryTool, EveryOneOfSeveralToolsAtOnceFinishes)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < 4; ++i) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(QStringLiteral(QUARROW_INVENTORY_TOOL),
                                {QStringLiteral("--url"), pageUrl(), saved});
    }
    auto allDone = [&] {
        for (const auto &process : processes) {
            if (process->state() != QProcess::NotRunning)
                return false;
        }
        return true;
    };
    QUARROW_WAIT_UNTIL(allDone(), kToolWaitMs);
    for (const auto &process : processes) {
        const ToolRun one = resultOf(*process);
        ASSERT_EQ(one.status, 0) << one.err.constData();
        EXPECT_EQ(one.out, expected());
    }
    EXPECT_EQ(site.server().requests(), QStringList());
}

TEST_F(InventoryTool, ReadsPagesBiggerThanTheEngineTakesInMemory)
{
    // More than 2 MB of text in four-byte characters, whose UTF-16 pairs the
    // tool's pieces must not cut: one of the two pages puts a pair across.
    const QByteArray smiles = QByteArray("\xF0\x9F\x98\x80").repeated(800 * 1024);
    for (const QByteArray &filler : {smiles, "x" + smiles}) {
        QByteArray page = site.pageBytes();
        page.replace("<h1>", "<!-- " + filler + " --><h1>");
        ASSERT_GT(page.size(), 3 * 1024 * 1024);
        const QString big = write(QStringLiteral("big.html"), page);
        const ToolRun direct = inventory({QStringLiteral("--url"), pageUrl(), big});
        ASSERT_EQ(direct.status, 0) << direct.err.constData();
        EXPECT_EQ(direct.out, expected());
    }
    EXPECT_EQ(site.server().requests(), QStringList());
}

TEST_F(InventoryTool, ReadsTextThatIsNotUtf8)
{
    const QString url = QStringLiteral("http://h.example/d/");
    // A character set named by the markup...
    ToolRun direct = inventory({QStringLiteral("--url"), url,
                                write(QStringLiteral("latin.html"),
                                      "<meta charset=\"iso-8859-1\"><img src=\"caf\xE9.png\">")});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, QByteArray("picture\thttp://h.example/d/caf%C3%A9.png\timg\n"));
    // ...else UTF-8, where a byte that cannot be read is U+FFFD.
    direct = inventory({QStringLiteral("--url"), url,
                        write(QStringLiteral("bad.html"), "<img src=\"caf\xE9.png\"> \xE6\x97")});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, QByteArray("picture\thttp://h.example/d/caf%EF%BF%BD.png\timg\n"));
    // Bytes that are no text at all make an empty list, not a wait.
    QByteArray noise(256 * 1024, '\0');
    QRandomGenerator random(20261208);
    for (char &byte : noise)
        byte = char(random.bounded(256));
    direct = inventory({QStringLiteral("--url"), url, write(QStringLiteral("noise.bin"), noise)});
    EXPECT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, QByteArray());
    direct = inventory({write(QStringLiteral("empty.html"), QByteArray())});
    EXPECT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, QByteArray());
}

TEST_F(InventoryTool, EscapesTabsAndBreaksInAddresses)
{
    const QString page =
        write(QStringLiteral("escapes.html"),
              "<img src=\"data:image/svg+xml,a%09b\\c\"><a href=\"x\ty.png\">t</a>");
    const ToolRun direct =
        inventory({QStringLiteral("--url"), QStringLiteral("https://example.com/d/"), page});
    ASSERT_EQ(direct.status, 0) << direct.err.constData();
    EXPECT_EQ(direct.out, QByteArray("picture\tdata:image/svg+xml,a%09b\\\\c\timg\n"
                                     "picture\thttps://example.com/d/xy.png\tlink\n"));
}

TEST_F(InventoryTool, RefusesWhatItCannotRead)
{
    const QString missing = dir.filePath(QStringLiteral("nothing.html"));
    ToolRun direct = inventory({missing});
    EXPECT_EQ(direct.status, 2);
    EXPECT_EQ(direct.out, QByteArray());
    EXPECT_EQ(direct.err, "quarrow-inventory: cannot read " + missing.toLocal8Bit() + '\n');
    const ToolRun viaHarvest = harvest({QStringLiteral("--inventory"), missing});
    EXPECT_EQ(viaHarvest.status, 2);
    EXPECT_EQ(viaHarvest.out, QByteArray());
    EXPECT_EQ(viaHarvest.err, "quarrow-harvest: cannot read " + missing.toLocal8Bit() + '\n');

    direct = inventory({dir.path()});
    EXPECT_EQ(direct.status, 2);
    EXPECT_EQ(direct.err, "quarrow-inventory: cannot read " + dir.path().toLocal8Bit() + '\n');
}

TEST_F(InventoryTool, RefusesBadUsage)
{
    for (const QStringList &arguments :
         {QStringList(), QStringList({saved, saved}),
          QStringList({QStringLiteral("--bogus"), saved}), QStringList({QStringLiteral("--url")}),
          QStringList({QStringLiteral("--url"), QStringLiteral("no/scheme"), saved})}) {
        const ToolRun direct = inventory(arguments);
        EXPECT_EQ(direct.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(direct.err.startsWith("quarrow-inventory: ")) << direct.err.constData();
        EXPECT_TRUE(
            direct.err.endsWith("usage: quarrow-inventory [--url PAGE_URL] [--no-script] FILE\n"))
            << direct.err.constData();
        EXPECT_EQ(direct.err.count('\n'), 1) << direct.err.constData();
        EXPECT_EQ(direct.out, QByteArray());
    }
    ToolRun viaHarvest = harvest({QStringLiteral("--inventory")});
    EXPECT_EQ(viaHarvest.status, 2);
    EXPECT_EQ(viaHarvest.err, QByteArray("quarrow-harvest: no FILE given; usage: quarrow-harvest "
                                         "--inventory [--url PAGE_URL] [--no-script] FILE\n"));
    // --out belongs to the classic harvest only.
    viaHarvest =
        harvest({QStringLiteral("--inventory"), QStringLiteral("--out"), dir.path(), saved});
    EXPECT_EQ(viaHarvest.status, 2);
    EXPECT_EQ(viaHarvest.err,
              QByteArray("quarrow-harvest: Unknown option 'out'.; usage: "
                         "quarrow-harvest --inventory [--url PAGE_URL] [--no-script] FILE\n"));
    EXPECT_EQ(viaHarvest.out, QByteArray());
}

TEST_F(InventoryTool, TellsItsVersionAndHelp)
{
    const ToolRun version = inventory({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QByteArray("quarrow-inventory " QUARROW_VERSION "\n"));
    const ToolRun help = inventory({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--url <PAGE_URL>")) << help.out.constData();
    EXPECT_TRUE(help.out.contains("picture<TAB>address<TAB>kinds"));
    const ToolRun viaHarvest = harvest({QStringLiteral("--inventory"), QStringLiteral("--help")});
    EXPECT_EQ(viaHarvest.status, 0);
    EXPECT_TRUE(viaHarvest.out.contains("picture<TAB>address<TAB>kinds"));
}

// Without --inventory, quarrow-harvest is the classic harvest it always was,
// even for a FILE named --inventory after "--".
TEST_F(InventoryTool, HarvestWithoutItIsTheClassicHarvest)
{
    const QByteArray page = "<img src=\"small/cat.jpg\"><a href=\"big/cat.jpg\">cat</a>";
    write(QStringLiteral("--inventory"), page);
    for (const QStringList &arguments :
         {QStringList({QStringLiteral("--url"), QStringLiteral("https://example.com/d/p.html"),
                       QStringLiteral("--out"), dir.path(), QStringLiteral("--"),
                       QStringLiteral("--inventory")}),
          QStringList({QStringLiteral("--url"), QStringLiteral("https://example.com/d/p.html"),
                       QStringLiteral("--out"), dir.path(),
                       dir.filePath(QStringLiteral("--inventory"))})}) {
        const ToolRun classic = harvest(arguments, dir.path());
        ASSERT_EQ(classic.status, 0) << classic.err.constData();
        EXPECT_EQ(classic.err, QByteArray());
        EXPECT_EQ(classic.out, QByteArray("link\thttps://example.com/d/big/cat.jpg\tcat.jpg\n"
                                          "image\thttps://example.com/d/small/cat.jpg\tcat.jpg\n"));
        EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("source.htm"))));
    }
    const ToolRun usage = harvest({});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, QByteArray("quarrow-harvest: no FILE given; usage: quarrow-harvest [--url "
                                    "PAGE_URL] [--base BASE_URL] [--out DIR] FILE\n"));
}

} // namespace
